#include "dialogs/categorypropertiesdlg.h"

#include "dialogs/displaytext.h"
#include "dialogs/textentrydlg.h"
#include "model/category.h"
#include "model/site.h"
#include "model/textcase.h"

#include <QByteArray>

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <set>

namespace {
// Each list entry keeps the bytes it stands for; the text shown may differ (Latin-1 fallback).
constexpr int kBytesRole = Qt::UserRole;

void AddBytesItem(QListWidget* list, const std::string& bytes) {
    auto* item = new QListWidgetItem(ToDisplayText(bytes), list);
    item->setData(kBytesRole, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string BytesOf(const QListWidgetItem* item) {
    return item->data(kBytesRole).toByteArray().toStdString();
}

QGroupBox* Group(QWidget* parent, const QString& caption, QWidget* content) {
    auto* box = new QGroupBox(caption, parent);
    auto* layout = new QVBoxLayout(box);
    content->setParent(box);
    layout->addWidget(content);
    return box;
}

QLineEdit* ReadOnlyText(const QString& name, const std::string& text) {
    auto* edit = new QLineEdit(ToDisplayText(text));
    edit->setObjectName(name);
    edit->setReadOnly(true);
    return edit;
}
} // namespace

CCategoryPropertiesDlg::CCategoryPropertiesDlg(CCategory& category, QWidget* parent)
    : QDialog(parent), m_category(category) {
    setWindowTitle(QStringLiteral("Category Properties"));
    const CCategory* parentCategory = category.Parent();

    auto* grid = new QGridLayout(this);
    grid->addWidget(Group(this, QStringLiteral("Category"),
                          ReadOnlyText(QStringLiteral("name"), category.m_name)),
                    0, 0);
    grid->addWidget(Group(this, QStringLiteral("Parent"),
                          ReadOnlyText(QStringLiteral("parent"),
                                       parentCategory ? parentCategory->m_name : std::string())),
                    0, 1);

    m_urlsList = new QListWidget;
    m_urlsList->setObjectName(QStringLiteral("urls"));
    m_wordsList = new QListWidget;
    m_wordsList->setObjectName(QStringLiteral("words"));
    QGroupBox* urlsBox = Group(this, QStringLiteral("Categorized URLs"), m_urlsList);
    QGroupBox* wordsBox = Group(this, QStringLiteral("Defining Words"), m_wordsList);
    grid->addWidget(urlsBox, 1, 0);
    grid->addWidget(wordsBox, 1, 1);

    m_addButton = new QPushButton(QStringLiteral("Add"), this);
    m_deleteButton = new QPushButton(QStringLiteral("Delete"), this);
    auto* wordButtons = new QHBoxLayout;
    wordButtons->addWidget(m_addButton);
    wordButtons->addWidget(m_deleteButton);
    grid->addLayout(wordButtons, 2, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCategoryPropertiesDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, 3, 0, 1, 2);

    connect(m_addButton, &QPushButton::clicked, this, &CCategoryPropertiesDlg::OnAdd);
    connect(m_deleteButton, &QPushButton::clicked, this, &CCategoryPropertiesDlg::OnDelete);
    connect(m_wordsList, &QListWidget::itemSelectionChanged, this,
            [this] { m_deleteButton->setEnabled(!m_wordsList->selectedItems().isEmpty()); });

    // The parent is the category in slot m_parent; a top-level category shows only its name.
    if (parentCategory == nullptr) {
        urlsBox->hide();
        wordsBox->hide();
        m_addButton->hide();
        m_deleteButton->hide();
    } else {
        for (const auto& entry : category.m_words.Entries()) {
            AddBytesItem(m_wordsList, entry.word);
        }
        for (const CSite* site : category.m_sites) {
            AddBytesItem(m_urlsList, site->m_url);
        }
        m_deleteButton->setEnabled(false);
    }
    setMinimumWidth(480);
}

void CCategoryPropertiesDlg::OnAdd() {
    CTextEntryDlg entry;
    if (entry.exec() != QDialog::Accepted || entry.Text().isEmpty()) {
        return;
    }
    AddBytesItem(m_wordsList, ToUpperClassic(FromDisplayText(entry.Text())));
    m_modified = true;
}

void CCategoryPropertiesDlg::OnDelete() {
    const int row = m_wordsList->currentRow();
    if (row < 0 || m_wordsList->selectedItems().isEmpty()) {
        return;
    }
    delete m_wordsList->takeItem(row);
    m_modified = true;
}

void CCategoryPropertiesDlg::accept() {
    if (m_modified) {
        ApplyToCategory();
    }
    QDialog::accept();
}

void CCategoryPropertiesDlg::ApplyToCategory() {
    std::set<std::string> listedUrls;
    for (int row = 0; row < m_urlsList->count(); ++row) {
        listedUrls.insert(BytesOf(m_urlsList->item(row)));
    }
    const std::vector<CSite*> sites = m_category.m_sites;
    for (CSite* site : sites) {
        if (listedUrls.count(site->m_url) == 0) {
            m_category.RemoveSite(site);
        }
    }

    m_category.m_words.Clear();
    for (int row = 0; row < m_wordsList->count(); ++row) {
        m_category.m_words.Add(BytesOf(m_wordsList->item(row)), 1);
    }
}
