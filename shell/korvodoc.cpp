#include "shell/korvodoc.h"

#include "model/category.h"
#include "model/categoryindex.h"
#include "model/categorytree.h"
#include "model/commonstopwords.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/sitefilterlist.h"
#include "model/wordlist.h"
#include "shell/defaultbrowser.h"
#include "shell/sitelabeltext.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {

std::string CurrentDirIfEmpty(std::string dir) {
    return dir.empty() ? QDir::currentPath().toStdString() : dir;
}

} // namespace

CKorvoDoc::CKorvoDoc(std::string currentDir, QObject* parent)
    : QObject(parent), m_title("Wayfold 2.0"),
      m_settings(CurrentDirIfEmpty(std::move(currentDir)), FindDefaultBrowserCommand()) {}

CKorvoDoc::~CKorvoDoc() {
    CloseDataFiles();
}

void CKorvoDoc::ReadSettings() {
    QSettings store("Quellon", "Wayfold");
    m_settings.Read(store);
}

void CKorvoDoc::WriteSettings(void (CSettings::*writer)(QSettings&) const) const {
    QSettings store("Quellon", "Wayfold");
    (m_settings.*writer)(store);
    store.sync();
}

void CKorvoDoc::OpenDataFiles() {
    const std::string& home = m_settings.home;
    const std::string stopFile = home + "/stop.wfx";
    // Without a stop list every page would share THE, AND, OF with every category; a first
    // start begins with the common English words, written at exit like any stop list.
    const bool firstStart = !QFileInfo::exists(QString::fromStdString(stopFile));
    m_stopList = std::make_unique<CWordList>();
    m_stopList->Open(stopFile, CWordList::kUpperCase | CWordList::kPlainFormat);
    if (firstStart)
        AddCommonStopWords(*m_stopList);
    m_siteFilters = std::make_unique<CSiteFilterList>();
    m_siteFilters->Open(home + "/filters.wfx");
    m_database = std::make_unique<CSiteDatabase>();
    m_database->Open(home + "/urls.wfx");
    m_categoryTree = std::make_unique<CCategoryTree>();
    m_categoryTree->Open(home + "/cats.wfx", *m_database);
    QTimer::singleShot(0, this, &CKorvoDoc::WarmScoreIndex);
}

void CKorvoDoc::WarmScoreIndex() {
    if (!m_categoryTree)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(4);
    if (!m_categoryTree->ScoreIndex().Warm(*m_categoryTree, deadline))
        QTimer::singleShot(0, this, &CKorvoDoc::WarmScoreIndex);
}

void CKorvoDoc::CloseDataFiles() {
    m_categoryTree.reset();
    m_database.reset();
    m_stopList.reset();
    m_siteFilters.reset();
}

std::string CKorvoDoc::SiteLabelText(const CSite& site, bool oneLine) const {
    const CCategoryTree* tree = m_categoryTree.get();
    return ::SiteLabelText(site, oneLine, m_settings.viewFlags,
                           [tree](std::int32_t slot) -> const std::string* {
                               const CCategory* category = tree ? tree->CategoryAt(slot) : nullptr;
                               return category ? &category->m_name : nullptr;
                           });
}

// ---- node operations --------------------------------------------------------------------------

void CKorvoDoc::SetHidden(CSite& site, bool hidden) {
    site.m_hidden = hidden ? 1 : 0;
    site.m_selected = false;
}

void CKorvoDoc::HideSite(CSite* site) {
    if (!site)
        return;
    SetHidden(*site, true);
    NoteSiteChanged(site);
    HideLinks(site);
}

void CKorvoDoc::ShowSite(CSite* site) {
    if (!site)
        return;
    SetHidden(*site, false);
    NoteSiteChanged(site);
    ShowLinks(site);
}

void CKorvoDoc::HideLinks(CSite* site) {
    if (!site)
        return;
    for (const auto& link : site->m_links) {
        if (link) {
            SetHidden(*link, true);
            NoteSiteChanged(link.get(), site);
        }
    }
}

void CKorvoDoc::ShowLinks(CSite* site) {
    if (!site)
        return;
    for (const auto& link : site->m_links) {
        if (link) {
            SetHidden(*link, false);
            NoteSiteChanged(link.get(), site);
        }
    }
}

void CKorvoDoc::HideAll() {
    if (!m_database)
        return;
    for (const auto& site : m_database->Sites()) {
        if (!site)
            continue;
        SetHidden(*site, true);
        for (const auto& link : site->m_links) {
            if (link)
                SetHidden(*link, true);
        }
    }
    NoteStoreChanged();
}

void CKorvoDoc::ShowAll() {
    if (!m_database)
        return;
    for (const auto& site : m_database->Sites()) {
        if (!site)
            continue;
        SetHidden(*site, false);
        for (const auto& link : site->m_links) {
            if (link)
                SetHidden(*link, false);
        }
    }
    NoteStoreChanged();
}

// ---- change notices ---------------------------------------------------------------------------

void CKorvoDoc::MarkModified() {
    if (m_database)
        m_database->SetModified();
}

void CKorvoDoc::NoteSiteAdded(CSite* site) {
    MarkModified();
    emit SiteAdded(site);
}

void CKorvoDoc::NoteSiteAboutToBeRemoved(CSite* site) {
    emit SiteAboutToBeRemoved(site);
}

void CKorvoDoc::NoteSiteRemoved(CSite* site) {
    MarkModified();
    emit SiteRemoved(site);
}

void CKorvoDoc::NoteSiteChanged(CSite* site, CSite* owner) {
    MarkModified();
    emit SiteChanged(site, owner);
}

void CKorvoDoc::NoteWordChanged(CWordEntry* word) {
    MarkModified();
    emit WordChanged(word);
}

void CKorvoDoc::NoteSiteFiled(CCategory* category, CSite* site) {
    MarkModified();
    emit SiteFiled(category, site);
}

void CKorvoDoc::NoteCategoriesChanged() {
    MarkModified();
    emit CategoriesChanged();
}

void CKorvoDoc::NoteStoreChanged() {
    MarkModified();
    emit StoreChanged();
}

void CKorvoDoc::Refresh() {
    NoteStoreChanged();
    UpdateAllViews();
}

// ---- views ------------------------------------------------------------------------------------

void CKorvoDoc::AddView(QObject* view, std::function<void()> update) {
    if (view && update)
        m_views.push_back({view, std::move(update)});
}

void CKorvoDoc::RemoveView(QObject* view) {
    std::erase_if(m_views, [view](const CView& v) { return v.object == view; });
}

int CKorvoDoc::ViewCount() const {
    return static_cast<int>(std::count_if(m_views.begin(), m_views.end(),
                                          [](const CView& v) { return !v.object.isNull(); }));
}

void CKorvoDoc::UpdateAllViews() {
    std::erase_if(m_views, [](const CView& v) { return v.object.isNull(); });
    // A view's update may add or remove views; walk a copy.
    const std::vector<CView> views = m_views;
    for (const CView& view : views)
        if (!view.object.isNull())
            view.update();
    emit ViewsUpdated();
}
