#include "dialogs/searchdlg.h"

#include "dialogs/displaytext.h"
#include "dialogs/sortedlistwidget.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "model/wordlist.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kSiteRole = Qt::UserRole;
// The keyword edit holds at most one 8,191-byte text.
constexpr int kMaxKeywordLength = 8191;

QPushButton* AddButton(QVBoxLayout* column, const QString& text, const QString& name,
                       QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    column->addWidget(button);
    return button;
}

QCheckBox* AddCheckBox(QHBoxLayout* row, const QString& text, bool checked, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(text);
    box->setChecked(checked);
    row->addWidget(box);
    return box;
}

} // namespace

CSearchDlg::CSearchDlg(const CSiteDatabase& database, const CWordList& stopList, bool searchWords,
                       bool searchTitles, bool searchAnnotations, QWidget* parent)
    : QDialog(parent), m_database(database), m_stopList(stopList) {
    setWindowTitle(QStringLiteral("Search"));
    setObjectName(QStringLiteral("SearchDialog"));

    auto* grid = new QGridLayout(this);
    auto* prompt = new QLabel(QStringLiteral("Enter Keywords:"), this);
    m_keywordText = new QLineEdit(this);
    m_keywordText->setObjectName(QStringLiteral("keywords"));
    m_keywordText->setMaxLength(kMaxKeywordLength);
    prompt->setBuddy(m_keywordText);
    grid->addWidget(prompt, 0, 0);
    grid->addWidget(m_keywordText, 1, 0);

    auto* options = new QHBoxLayout;
    m_searchWords = AddCheckBox(options, QStringLiteral("Search Words"), searchWords, this);
    m_searchTitles = AddCheckBox(options, QStringLiteral("Search Titles"), searchTitles, this);
    m_searchAnnotations =
        AddCheckBox(options, QStringLiteral("Search Annotations"), searchAnnotations, this);
    grid->addLayout(options, 2, 0);

    m_keywordList = new CSortedListWidget(this);
    m_keywordList->setObjectName(QStringLiteral("keywordList"));
    m_keywordList->installEventFilter(this);
    grid->addWidget(m_keywordList, 3, 0);

    m_siteList = new QListWidget(this);
    m_siteList->setObjectName(QStringLiteral("siteList"));
    grid->addWidget(m_siteList, 4, 0);

    auto* buttons = new QVBoxLayout;
    m_centerButton = AddButton(buttons, QStringLiteral("Center"), QStringLiteral("center"), this);
    m_propertiesButton =
        AddButton(buttons, QStringLiteral("Properties"), QStringLiteral("properties"), this);
    m_openButton =
        AddButton(buttons, QStringLiteral("Open in Browser"), QStringLiteral("open"), this);
    buttons->addStretch();
    auto* closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setObjectName(QStringLiteral("close"));
    closeButton->setDefault(true);
    buttons->addWidget(closeButton);
    grid->addLayout(buttons, 0, 1, 5, 1);

    connect(m_keywordText, &QLineEdit::textEdited, this, &CSearchDlg::OnKeywordTyped);
    for (QCheckBox* box : {m_searchWords, m_searchTitles, m_searchAnnotations})
        connect(box, &QCheckBox::clicked, this, &CSearchDlg::RebuildKeywords);
    connect(m_keywordList, &QListWidget::itemSelectionChanged, this,
            &CSearchDlg::OnKeywordSelected);
    connect(m_siteList, &QListWidget::itemSelectionChanged, this,
            &CSearchDlg::OnSiteSelectionChanged);
    connect(m_siteList, &QListWidget::itemDoubleClicked, this, &CSearchDlg::OnSiteDoubleClicked);
    connect(m_centerButton, &QPushButton::clicked, this, &CSearchDlg::OnCenter);
    connect(m_propertiesButton, &QPushButton::clicked, this, &CSearchDlg::OnProperties);
    connect(m_openButton, &QPushButton::clicked, this, &CSearchDlg::OnOpenInBrowser);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    SetSiteButtonsEnabled(false);
    RebuildKeywords();
    resize(520, 480);
}

bool CSearchDlg::SearchWords() const {
    return m_searchWords->isChecked();
}

bool CSearchDlg::SearchTitles() const {
    return m_searchTitles->isChecked();
}

bool CSearchDlg::SearchAnnotations() const {
    return m_searchAnnotations->isChecked();
}

void CSearchDlg::RebuildKeywords() {
    m_selectingByTyping = true; // emptying the list is no selection by the user
    m_keywordList->setUpdatesEnabled(false);
    m_keywordList->clear();
    m_keywordSites.clear();
    if (SearchWords())
        AddIndexWords();
    if (SearchTitles())
        AddSplitWords(true);
    if (SearchAnnotations())
        AddSplitWords(false);
    m_keywordList->setUpdatesEnabled(true);
    m_selectingByTyping = false;
}

void CSearchDlg::AddIndexWords() {
    for (const auto& [text, entry] : m_database.Words()) {
        if (!entry)
            continue;
        const int index = AddKeyword(entry->m_text);
        for (const auto& [url, site] : entry->m_sites)
            if (site)
                m_keywordSites[index].emplace(url, site);
    }
}

void CSearchDlg::AddSplitWords(bool fromTitles) {
    for (const auto& site : m_database.Sites()) {
        if (!site)
            continue;
        const std::vector<std::string> words =
            fromTitles ? site->TitleWords() : site->AnnotationWords();
        for (const std::string& word : words)
            if (!m_stopList.Contains(word))
                FileSiteUnderWord(word, site.get());
    }
}

void CSearchDlg::FileSiteUnderWord(const std::string& word, CSite* site) {
    int row = m_keywordList->FindString(0, ToDisplayText(word));
    int index = 0;
    if (row < 0)
        index = AddKeyword(word);
    else
        index = m_keywordList->RowData(row).toInt();
    m_keywordSites[index].emplace(site->m_url, site);
}

int CSearchDlg::AddKeyword(const std::string& text) {
    const int index = static_cast<int>(m_keywordSites.size());
    m_keywordSites.emplace_back();
    m_keywordList->AddString(ToDisplayText(text), index);
    return index;
}

void CSearchDlg::OnKeywordTyped(const QString& text) {
    if (text.isEmpty())
        return;
    const int row = m_keywordList->FindString(0, text);
    if (row < 0)
        return;
    m_selectingByTyping = true;
    m_keywordList->setCurrentRow(row);
    m_keywordList->scrollToItem(m_keywordList->item(row));
    m_selectingByTyping = false;
    ShowSitesOf(row);
}

void CSearchDlg::OnKeywordSelected() {
    if (m_selectingByTyping)
        return;
    const QList<QListWidgetItem*> selected = m_keywordList->selectedItems();
    if (selected.isEmpty())
        return;
    ShowSitesOf(m_keywordList->row(selected.first()));
    m_keywordText->setText(selected.first()->text());
}

void CSearchDlg::ShowSitesOf(int keywordRow) {
    const QVariant data = m_keywordList->RowData(keywordRow);
    if (!data.isValid())
        return;
    const int index = data.toInt();
    if (index < 0 || index >= static_cast<int>(m_keywordSites.size()))
        return;
    m_siteList->clear();
    for (const auto& [url, site] : m_keywordSites[index]) {
        auto* item = new QListWidgetItem(SiteEntryText(*site), m_siteList);
        item->setData(kSiteRole, QVariant::fromValue(reinterpret_cast<quintptr>(site)));
    }
    // The new entries are not selected, so there is nothing for the buttons to act on.
    SetSiteButtonsEnabled(false);
}

QString CSearchDlg::SiteEntryText(const CSite& site) {
    return ToDisplayText(site.m_title + ":" + site.m_url);
}

CSite* CSearchDlg::SelectedSite() const {
    const QList<QListWidgetItem*> selected = m_siteList->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    return reinterpret_cast<CSite*>(selected.first()->data(kSiteRole).value<quintptr>());
}

void CSearchDlg::OnSiteSelectionChanged() {
    SetSiteButtonsEnabled(SelectedSite() != nullptr);
}

void CSearchDlg::SetSiteButtonsEnabled(bool enabled) {
    for (QPushButton* button : {m_centerButton, m_propertiesButton, m_openButton})
        button->setEnabled(enabled);
}

void CSearchDlg::OnCenter() {
    if (CSite* site = SelectedSite())
        emit CenterRequested(site);
}

void CSearchDlg::OnProperties() {
    CSite* site = SelectedSite();
    if (!site)
        return;
    emit PropertiesRequested(site);
    if (QListWidgetItem* item = m_siteList->currentItem(); item && item->isSelected())
        item->setText(SiteEntryText(*site));
}

void CSearchDlg::OnOpenInBrowser() {
    if (CSite* site = SelectedSite())
        emit OpenRequested(site);
}

void CSearchDlg::OnSiteDoubleClicked() {
    CSite* site = SelectedSite();
    if (!site)
        return;
    emit OpenRequested(site);
    accept();
}

bool CSearchDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_keywordList && event->type() == QEvent::FocusIn)
        SetSiteButtonsEnabled(false);
    return QDialog::eventFilter(watched, event);
}
