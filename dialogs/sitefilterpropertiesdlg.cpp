#include "dialogs/sitefilterpropertiesdlg.h"

#include "dialogs/displaytext.h"
#include "dialogs/sortedlistwidget.h"
#include "model/sitefilter.h"
#include "model/sitefilterlist.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

namespace {

// filters.wfx keeps strings of up to 8,191 bytes.
constexpr std::size_t kMaxStringBytes = 8191;

} // namespace

CSiteFilterPropertiesDlg::CSiteFilterPropertiesDlg(CSiteFilterList& filters, CSiteFilter* filter,
                                                   QWidget* parent)
    : QDialog(parent), m_filters(filters), m_filter(filter) {
    setWindowTitle(QStringLiteral("Site Filter Properties"));
    setObjectName(QStringLiteral("SiteFilterPropertiesDialog"));
    auto* grid = new QGridLayout(this);
    m_urlFilter = new QRadioButton(QStringLiteral("URL Filter"), this);
    m_urlFilter->setObjectName(QStringLiteral("urlFilter"));
    m_wordFilter = new QRadioButton(QStringLiteral("Word Filter"), this);
    m_wordFilter->setObjectName(QStringLiteral("wordFilter"));
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(m_urlFilter);
    kinds->addButton(m_wordFilter);
    grid->addWidget(m_urlFilter, 0, 0);
    grid->addWidget(m_wordFilter, 0, 1);

    m_strings = new CSortedListWidget(this);
    m_strings->setObjectName(QStringLiteral("strings"));
    grid->addWidget(m_strings, 1, 0, 1, 2);
    m_deleteButton = new QPushButton(QStringLiteral("&Delete"), this);
    m_deleteButton->setObjectName(QStringLiteral("delete"));
    m_deleteButton->setAutoDefault(false);
    grid->addWidget(m_deleteButton, 1, 2, Qt::AlignTop);

    m_newString = new QLineEdit(this);
    m_newString->setObjectName(QStringLiteral("newString"));
    grid->addWidget(m_newString, 2, 0, 1, 2);
    m_addButton = new QPushButton(QStringLiteral("&Add"), this);
    m_addButton->setObjectName(QStringLiteral("add"));
    m_addButton->setAutoDefault(false);
    grid->addWidget(m_addButton, 2, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    grid->addWidget(buttons, 3, 0, 1, 3);

    if (m_filter) {
        (m_filter->m_type == CSiteFilter::kWordFilter ? m_wordFilter : m_urlFilter)
            ->setChecked(true);
        for (const std::string& text : m_filter->m_strings)
            m_strings->AddBytes(ToDisplayText(text), text);
    } else {
        m_newFilter = std::make_unique<CSiteFilter>(CSiteFilter::kUrlFilter);
        m_filter = m_newFilter.get();
        m_urlFilter->setChecked(true);
    }
    m_addButton->setEnabled(false);
    m_deleteButton->setEnabled(false);

    connect(m_newString, &QLineEdit::textChanged, this, &CSiteFilterPropertiesDlg::OnTextChanged);
    connect(m_addButton, &QPushButton::clicked, this, &CSiteFilterPropertiesDlg::OnAdd);
    connect(m_deleteButton, &QPushButton::clicked, this, &CSiteFilterPropertiesDlg::OnDelete);
    connect(m_strings, &QListWidget::itemSelectionChanged, this,
            &CSiteFilterPropertiesDlg::OnSelectionChanged);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSiteFilterPropertiesDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

CSiteFilterPropertiesDlg::~CSiteFilterPropertiesDlg() = default;

void CSiteFilterPropertiesDlg::OnTextChanged(const QString& text) {
    m_addButton->setEnabled(!text.isEmpty());
}

void CSiteFilterPropertiesDlg::OnAdd() {
    const QString text = m_newString->text();
    if (text.isEmpty())
        return;
    const std::string bytes = FromDisplayText(text);
    if (bytes.size() > kMaxStringBytes) {
        QMessageBox::warning(this, QStringLiteral("Wayfold"),
                             QStringLiteral("A filter string holds at most 8,191 bytes."));
        return;
    }
    m_strings->AddBytes(text, bytes);
    m_newString->clear();
    m_addButton->setEnabled(false);
}

void CSiteFilterPropertiesDlg::OnDelete() {
    const QList<QListWidgetItem*> selected = m_strings->selectedItems();
    if (selected.isEmpty())
        return;
    delete m_strings->takeItem(m_strings->row(selected.first()));
}

void CSiteFilterPropertiesDlg::OnSelectionChanged() {
    m_deleteButton->setEnabled(!m_strings->selectedItems().isEmpty());
}

void CSiteFilterPropertiesDlg::accept() {
    m_filter->m_type =
        m_urlFilter->isChecked() ? CSiteFilter::kUrlFilter : CSiteFilter::kWordFilter;
    m_filter->m_strings.clear();
    for (const std::string& text : m_strings->AllBytes())
        m_filter->AddString(text);
    if (m_newFilter)
        m_filters.AddFilter(std::move(m_newFilter));
    QDialog::accept();
}
