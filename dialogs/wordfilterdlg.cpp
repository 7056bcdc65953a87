#include "dialogs/wordfilterdlg.h"

#include "dialogs/displaytext.h"
#include "dialogs/sortedlistwidget.h"
#include "model/wordlist.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QValidator>

namespace {

// stop.wfx keeps words of up to 8,191 bytes, one a line.
constexpr std::size_t kMaxWordBytes = 8191;

// Turns every typed letter into a capital, as the edit has always done.
class CUpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

CWordFilterDlg::CWordFilterDlg(CWordList& stopList, QWidget* parent)
    : QDialog(parent), m_stopList(stopList) {
    setWindowTitle(QStringLiteral("Word Filter"));
    setObjectName(QStringLiteral("WordFilterDialog"));
    auto* grid = new QGridLayout(this);
    m_words = new CSortedListWidget(this);
    m_words->setObjectName(QStringLiteral("words"));
    grid->addWidget(m_words, 0, 0);
    m_deleteButton = new QPushButton(QStringLiteral("Delete"), this);
    m_deleteButton->setObjectName(QStringLiteral("delete"));
    m_deleteButton->setAutoDefault(false);
    grid->addWidget(m_deleteButton, 0, 1, Qt::AlignTop);
    m_newWord = new QLineEdit(this);
    m_newWord->setObjectName(QStringLiteral("newWord"));
    m_newWord->setValidator(new CUpperCaseValidator(m_newWord));
    grid->addWidget(m_newWord, 1, 0);
    m_addButton = new QPushButton(QStringLiteral("Add"), this);
    m_addButton->setObjectName(QStringLiteral("add"));
    m_addButton->setAutoDefault(false);
    grid->addWidget(m_addButton, 1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(buttons, 2, 0, 1, 2);

    m_stopList.SortAlphabetically();
    m_words->setUpdatesEnabled(false);
    for (const CWordList::Entry& entry : m_stopList.Entries())
        m_words->AddBytes(ToDisplayText(entry.word), entry.word);
    m_words->setUpdatesEnabled(true);
    m_deleteButton->setEnabled(false);
    m_addButton->setEnabled(false);

    connect(m_newWord, &QLineEdit::textChanged, this, &CWordFilterDlg::OnTextChanged);
    connect(m_addButton, &QPushButton::clicked, this, &CWordFilterDlg::OnAdd);
    connect(m_deleteButton, &QPushButton::clicked, this, &CWordFilterDlg::OnDelete);
    connect(m_words, &QListWidget::itemSelectionChanged, this, &CWordFilterDlg::OnSelectionChanged);
    connect(buttons, &QDialogButtonBox::accepted, this, &CWordFilterDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(320, 400);
}

void CWordFilterDlg::OnTextChanged(const QString& text) {
    m_addButton->setEnabled(!text.isEmpty());
}

void CWordFilterDlg::OnAdd() {
    const QString text = m_newWord->text();
    if (text.isEmpty())
        return;
    const std::string word = FromDisplayText(text);
    if (word.size() > kMaxWordBytes) {
        QMessageBox::warning(this, QStringLiteral("Wayfold"),
                             QStringLiteral("A stop word holds at most 8,191 bytes."));
    } else if (m_stopList.Contains(word)) {
        QMessageBox message(QMessageBox::NoIcon, QStringLiteral("Wayfold"),
                            QStringLiteral("String ") + text + QStringLiteral(" already exists"),
                            QMessageBox::Ok, this);
        message.exec();
    } else {
        m_words->AddBytes(text, word);
        m_newWord->clear();
    }
    m_addButton->setEnabled(false);
}

void CWordFilterDlg::OnDelete() {
    const QList<QListWidgetItem*> selected = m_words->selectedItems();
    if (!selected.isEmpty()) {
        // No entry is left selected, so the next click on any entry enables "Delete" again.
        const QSignalBlocker blocker(m_words);
        delete m_words->takeItem(m_words->row(selected.first()));
        m_words->clearSelection();
        m_words->setCurrentItem(nullptr);
    }
    m_deleteButton->setEnabled(false);
}

void CWordFilterDlg::OnSelectionChanged() {
    m_deleteButton->setEnabled(true);
}

void CWordFilterDlg::accept() {
    m_stopList.Clear();
    for (const std::string& word : m_words->AllBytes())
        m_stopList.Add(word);
    QDialog::accept();
}
