#include "dialogs/sitepropertiesdlg.h"

#include "dialogs/displaytext.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace {
// Texts of up to 8,191 bytes are kept whole (the edit's own limit is far lower).
constexpr int kMaxTextLength = 8191;

QLineEdit* AddEditBox(QWidget* parent, QGridLayout* grid, int row, const QString& caption,
                      const QString& name, const std::string& text) {
    auto* box = new QGroupBox(caption, parent);
    auto* edit = new QLineEdit(ToDisplayText(text), box);
    edit->setObjectName(name);
    edit->setMaxLength(kMaxTextLength);
    edit->setCursorPosition(0);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(edit);
    grid->addWidget(box, row, 0, 1, 2);
    return edit;
}

QListWidget* AddListBox(QWidget* parent, QGridLayout* grid, int column, const QString& caption,
                        const QString& name, QGroupBox** box) {
    *box = new QGroupBox(caption, parent);
    auto* list = new QListWidget(*box);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    auto* layout = new QVBoxLayout(*box);
    layout->addWidget(list);
    grid->addWidget(*box, 4, column);
    return list;
}
} // namespace

CSitePropertiesDlg::CSitePropertiesDlg(const CSite& site, const CSiteDatabase& database,
                                       const CCategoryTree& categories, QWidget* parent)
    : QDialog(parent), m_originalUrl(site.m_url), m_originalTitle(site.m_title),
      m_originalAnnotation(site.m_annotation) {
    setWindowTitle(QStringLiteral("Edit Properties"));
    auto* grid = new QGridLayout(this);
    m_urlText = AddEditBox(this, grid, 0, QStringLiteral("URL"), QStringLiteral("url"), site.m_url);
    m_titleText =
        AddEditBox(this, grid, 1, QStringLiteral("TITLE"), QStringLiteral("title"), site.m_title);
    m_dateText =
        AddEditBox(this, grid, 2, QStringLiteral("Date"), QStringLiteral("date"), site.TimeText());
    m_dateText->setReadOnly(true);
    m_dateText->setAlignment(Qt::AlignCenter);
    m_annotationText = AddEditBox(this, grid, 3, QStringLiteral("Annotation"),
                                  QStringLiteral("annotation"), site.m_annotation);
    m_wordsList =
        AddListBox(this, grid, 0, QStringLiteral("Words"), QStringLiteral("words"), &m_wordsBox);
    m_categoriesList = AddListBox(this, grid, 1, QStringLiteral("Categories"),
                                  QStringLiteral("categories"), &m_categoriesBox);

    m_hiddenFlag = new QCheckBox(QStringLiteral("Hidden"), this);
    m_hiddenFlag->setObjectName(QStringLiteral("hidden"));
    m_hiddenFlag->setChecked(site.m_hidden != 0);
    grid->addWidget(m_hiddenFlag, 5, 0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, 5, 1);

    const bool linkOnly = site.m_visited == 0 && database.UrlMap().count(site.m_url) == 0;
    if (linkOnly) {
        m_showsLists = false;
        m_wordsBox->hide();
        m_categoriesBox->hide();
    } else {
        FillLists(site, categories);
    }
    setMinimumWidth(520);
}

void CSitePropertiesDlg::FillLists(const CSite& site, const CCategoryTree& categories) {
    for (const auto& word : site.m_words) {
        m_wordsList->addItem(ToDisplayText(word.first));
    }
    for (int slot = 0; slot < categories.SlotCount(); ++slot) {
        const CCategory* category = categories.CategoryAt(slot);
        if (category != nullptr && category->HoldsSite(&site)) {
            m_categoriesList->addItem(ToDisplayText(category->PathName()));
        }
    }
}

// Bytes that are not UTF-8 are shown as Latin-1; an untouched text keeps its bytes as they were.
std::string CSitePropertiesDlg::EditedBytes(const QLineEdit* edit, const std::string& original) {
    const QString text = edit->text();
    return text == ToDisplayText(original) ? original : FromDisplayText(text);
}

std::string CSitePropertiesDlg::Url() const {
    return EditedBytes(m_urlText, m_originalUrl);
}

std::string CSitePropertiesDlg::Title() const {
    return EditedBytes(m_titleText, m_originalTitle);
}

std::string CSitePropertiesDlg::Annotation() const {
    return EditedBytes(m_annotationText, m_originalAnnotation);
}

bool CSitePropertiesDlg::Hidden() const {
    return m_hiddenFlag->isChecked();
}
