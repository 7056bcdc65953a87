#include "dialogs/sitefiltersdlg.h"

#include "dialogs/displaytext.h"
#include "dialogs/sitefilterpropertiesdlg.h"
#include "model/sitefilter.h"
#include "model/sitefilterlist.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

QPushButton* MakeButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

CSiteFiltersDlg::CSiteFiltersDlg(CSiteFilterList& filters, QWidget* parent)
    : QDialog(parent), m_filters(filters) {
    setWindowTitle(QStringLiteral("Site Filters"));
    setObjectName(QStringLiteral("SiteFiltersDialog"));
    auto* grid = new QGridLayout(this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("filters"));
    grid->addWidget(m_list, 0, 0, 5, 1);
    m_addButton = MakeButton(QStringLiteral("&Add"), QStringLiteral("add"), this);
    m_editButton = MakeButton(QStringLiteral("&Edit"), QStringLiteral("edit"), this);
    m_deleteButton = MakeButton(QStringLiteral("&Delete"), QStringLiteral("delete"), this);
    auto* closeButton = MakeButton(QStringLiteral("&Close"), QStringLiteral("close"), this);
    closeButton->setDefault(true);
    grid->addWidget(m_addButton, 0, 1);
    grid->addWidget(m_editButton, 1, 1);
    grid->addWidget(m_deleteButton, 2, 1);
    grid->setRowStretch(3, 1);
    grid->addWidget(closeButton, 4, 1);

    FillList();
    m_editButton->setEnabled(false);
    m_deleteButton->setEnabled(false);

    connect(m_list, &QListWidget::itemSelectionChanged, this, &CSiteFiltersDlg::OnSelectionChanged);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CSiteFiltersDlg::OnEdit);
    connect(m_addButton, &QPushButton::clicked, this, &CSiteFiltersDlg::OnAdd);
    connect(m_editButton, &QPushButton::clicked, this, &CSiteFiltersDlg::OnEdit);
    connect(m_deleteButton, &QPushButton::clicked, this, &CSiteFiltersDlg::OnDelete);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    resize(420, 300);
}

void CSiteFiltersDlg::FillList() {
    // Emptying the list is no selection change of the user's: the buttons keep their state.
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    for (const auto& filter : m_filters.FilterArray())
        m_list->addItem(filter ? ToDisplayText(filter->TextForm()) : QString());
}

int CSiteFiltersDlg::SelectedRow() const {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->row(selected.first());
}

void CSiteFiltersDlg::OnSelectionChanged() {
    const bool selected = SelectedRow() >= 0;
    m_editButton->setEnabled(selected);
    m_deleteButton->setEnabled(selected);
}

void CSiteFiltersDlg::OnAdd() {
    CSiteFilterPropertiesDlg properties(m_filters, nullptr, this);
    if (properties.exec() == QDialog::Accepted)
        FillList();
}

void CSiteFiltersDlg::OnEdit() {
    const int row = SelectedRow();
    if (row < 0 || row >= m_filters.Count())
        return;
    CSiteFilter* filter = m_filters.FilterArray()[static_cast<std::size_t>(row)].get();
    if (!filter)
        return;
    CSiteFilterPropertiesDlg properties(m_filters, filter, this);
    if (properties.exec() == QDialog::Accepted)
        FillList();
}

void CSiteFiltersDlg::OnDelete() {
    const int row = SelectedRow();
    if (row < 0)
        return;
    // The buttons stay as they are, with no line selected.
    const QSignalBlocker blocker(m_list);
    delete m_list->takeItem(row);
    m_list->clearSelection();
    m_list->setCurrentRow(-1);
    m_filters.TakeFilter(row);
}

void CSiteFiltersDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        OnAdd();
        return;
    }
    QDialog::keyPressEvent(event);
}
