#include "shell/addurlpipeline.h"

#include "common/debuglog.h"
#include "fetch/fetchworker.h"
#include "fetch/htmlscan.h"
#include "fetch/pageurl.h"
#include "model/errorreport.h"
#include "model/random.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/sitefilterlist.h"
#include "model/textcase.h"
#include "model/wordentry.h"
#include "model/wordlist.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"

#include <QCoreApplication>

#include <cstdint>
#include <mutex>

const QEvent::Type CAddUrlPipeline::CDoneEvent::kType =
    static_cast<QEvent::Type>(QEvent::registerEventType());

// Where the workers post their results. Workers may finish after the main frame is gone, so
// they reach it only through this box, which the pipeline closes before it goes away.
struct CAddUrlPipeline::CPostBox {
    std::mutex mutex;
    QObject* target = nullptr;

    void Post(std::string url, std::optional<std::string> page) {
        std::lock_guard<std::mutex> lock(mutex);
        if (target)
            QCoreApplication::postEvent(target, new CDoneEvent(std::move(url), std::move(page)));
    }
    void Close() {
        std::lock_guard<std::mutex> lock(mutex);
        target = nullptr;
    }
};

namespace {

// Running sums of the positions a new site is placed among.
struct CPlacement {
    std::int64_t sumX = 0;
    std::int64_t sumY = 0;
    std::int64_t n = 1;

    bool HasSums() const { return sumX != 0 && sumY != 0; }
    void Add(std::int32_t x, std::int32_t y) {
        sumX += x;
        sumY += y;
    }
    // The mean of the sums plus a random offset of up to +/-200 in each direction.
    std::int32_t NearX() const {
        return static_cast<std::int32_t>(sumX / n) + RandomBetween(-200, 200);
    }
    std::int32_t NearY() const {
        return static_cast<std::int32_t>(sumY / n) + RandomBetween(-200, 200);
    }
};

// The page's words: keywords, then body words, upper case, stop words left out, each once.
std::set<std::string> PageWordSet(const CHtmlScan& scan, const CWordList* stopList) {
    std::set<std::string> words;
    const auto take = [&](std::string_view word) {
        std::string upper = ToUpperClassic(word);
        if (stopList && stopList->Contains(upper))
            return;
        words.insert(std::move(upper));
    };
    for (const std::string& word : scan.Keywords())
        take(word);
    for (const std::string_view word : scan.Words())
        take(word);
    return words;
}

void IndexWords(CSiteDatabase& database, CSite& site, const std::set<std::string>& words,
                CPlacement& placement) {
    for (const std::string& word : words) {
        const bool known = database.HasWord(word);
        CWordEntry* entry = database.FindOrMakeWord(word);
        if (!entry)
            continue;
        if (!known) {
            placement.Add(entry->m_x, entry->m_y);
            ++placement.n;
        } else if (placement.HasSums()) {
            entry->m_x = placement.NearX();
            entry->m_y = placement.NearY();
        } else {
            entry->m_x = RandomBetween(0, 2000);
            entry->m_y = RandomBetween(0, 2000);
        }
        site.AddWord(entry);
        entry->AddSite(&site);
    }
}

void AddLinkSites(const CSiteDatabase& database, CSite& site, const CLinkList& links,
                  CPlacement& placement) {
    for (const CLinkPair& link : links) {
        std::string url(link.m_url);
        if (const CSite* known = database.FindSite(url))
            placement.Add(known->m_x, known->m_y);
        auto linkSite =
            std::make_unique<CSite>(std::move(url), std::string(link.m_text), "<NONE>", 0, 0, 0);
        linkSite->m_x = RandomBetween(-333, 333);
        linkSite->m_y = RandomBetween(-333, 333);
        site.AddLink(std::move(linkSite));
    }
}

void PlaceSite(CSite& site, const CPlacement& placement) {
    if (placement.HasSums()) {
        site.m_x = placement.NearX();
        site.m_y = placement.NearY();
    }
    for (const auto& link : site.m_links) {
        if (!link)
            continue;
        link->m_x += site.m_x;
        link->m_y += site.m_y;
    }
}

} // namespace

CAddUrlPipeline::CAddUrlPipeline(CMainFrame& frame)
    : m_frame(frame), m_postBox(std::make_shared<CPostBox>()) {
    m_postBox->target = &frame;
    m_animTimer.setInterval(kAnimationPeriodMs);
    connect(&m_animTimer, &QTimer::timeout, this, &CAddUrlPipeline::OnAnimationTimer);
}

CAddUrlPipeline::~CAddUrlPipeline() {
    m_postBox->Close();
}

// The URL is known both as reported (a stored file may hold it so, fragment and all) and as
// the page URL it is fetched and stored under.
bool CAddUrlPipeline::IsNewUrl(const std::string& url) const {
    const std::string page = PageUrl(url);
    const CSiteDatabase* database = m_frame.Database();
    if (database && (database->FindSite(url) || database->FindSite(page)))
        return false;
    return !m_startedUrls.contains(url) && !m_startedUrls.contains(page);
}

void CAddUrlPipeline::StartAddUrl(const std::string& reported) {
    if (m_shutDown)
        return;
    const std::string url = PageUrl(reported);
    m_startedUrls.insert(url);
    m_frame.SetStatusText("Processing: " + url);
    if (m_threadCount == 0) {
        m_animFrame = 0;
        m_animTimer.start();
    }
    ++m_threadCount;
    DebugLog("Starting AddUrl Thread");
    std::shared_ptr<CPostBox> postBox = m_postBox;
    StartFetchWorker(url, m_frame.ConnectionSettings(),
                     [postBox](std::string doneUrl, std::optional<std::string> page) {
                         postBox->Post(std::move(doneUrl), std::move(page));
                     });
}

void CAddUrlPipeline::StartImportedPage(const std::string& url, CImportedPage page) {
    if (m_shutDown)
        return;
    // The worker reports, and the site is stored under, the page URL.
    const std::string pageUrl = PageUrl(url);
    m_importedPages[pageUrl] = std::move(page);
    StartAddUrl(pageUrl);
}

void CAddUrlPipeline::CancelImportedPages() {
    for (const auto& entry : m_importedPages) {
        m_cancelledImports.insert(entry.first);
        m_startedUrls.erase(entry.first);
    }
    m_importedPages.clear();
}

bool CAddUrlPipeline::DropCancelledImport(const std::string& url) {
    const auto it = m_cancelledImports.find(url);
    if (it == m_cancelledImports.end())
        return false;
    m_cancelledImports.erase(it);
    return true;
}

void CAddUrlPipeline::OnAddUrlDone(std::string url, std::optional<std::string> page) {
    if (m_shutDown)
        return;
    m_pending.push_back({std::move(url), std::move(page)});
    // A result arriving inside a modal dialog of an earlier page waits for that page.
    if (!m_handling)
        HandleQueuedResults();
}

void CAddUrlPipeline::ForgetStartedUrl(const std::string& url) {
    m_startedUrls.erase(url);
}

void CAddUrlPipeline::Shutdown() {
    m_shutDown = true;
    m_postBox->Close();
    m_pending.clear();
    m_importedPages.clear();
    StopAnimation();
}

void CAddUrlPipeline::HandleQueuedResults() {
    m_handling = true;
    while (!m_pending.empty() && !m_shutDown) {
        const CResult result = std::move(m_pending.front());
        m_pending.pop_front();
        HandleResult(result);
    }
    m_handling = false;
    emit Idle();
}

void CAddUrlPipeline::HandleResult(const CResult& result) {
    DebugLog("A Url add thread has ended. processing page.");
    --m_threadCount;
    if (m_threadCount < 1) {
        m_threadCount = 0;
        StopAnimation();
    }

    auto imported = m_importedPages.extract(result.url);
    if (imported.empty() && DropCancelledImport(result.url))
        return;
    const CImportedPage* importedPage = imported.empty() ? nullptr : &imported.mapped();

    if (!result.page) {
        if (importedPage) {
            // The import counts and lists its failures; an error box per page would stop it.
            // A later import tries the page again.
            m_startedUrls.erase(result.url);
            if (importedPage->done)
                importedPage->done(EImportOutcome::Failed);
            return;
        }
        if (!m_frame.IsActiveMode())
            m_frame.ResetCaptureButton();
        ShowError("Can't open " + result.url +
                  ". Check Internet connection and/or proxy settings.");
        return;
    }

    EImportOutcome outcome = EImportOutcome::Known;
    CSiteDatabase* database = m_frame.Database();
    if (database && !database->FindSite(result.url))
        outcome = StoreAndPlacePage(result.url, *result.page, importedPage);
    if (m_shutDown)
        return;

    m_frame.SetStatusText("Idle");
    if (!m_frame.IsActiveMode())
        m_frame.ResetCaptureButton();
    // The store told the views what it gained; the log book's order follows here (for
    // imported pages, a few times a second by the import).
    if (!importedPage)
        m_frame.Document()->UpdateAllViews();
    if (importedPage && importedPage->done)
        importedPage->done(outcome);
}

CAddUrlPipeline::EImportOutcome CAddUrlPipeline::StoreAndPlacePage(const std::string& url,
                                                                   const std::string& page,
                                                                   const CImportedPage* imported) {
    CSiteDatabase& database = *m_frame.Database();
    CHtmlScan scan = CHtmlScan::Scan(page);
    const std::string* title = scan.GetTitle();
    scan.ExtractKeywords();
    const CLinkList links = scan.GetLinks(url);

    const std::int32_t time = imported ? imported->visitTime : 0;
    auto newSite =
        std::make_unique<CSite>(url, title ? *title : std::string(), "<NONE>", 1, time, 0);
    const std::set<std::string> words = PageWordSet(scan, m_frame.StopList());

    const CSiteFilterList* filters = m_frame.SiteFilters();
    if (filters && filters->IsFiltered(url, words))
        return EImportOutcome::Filtered;

    CSite* site = database.AddSite(std::move(newSite));
    CPlacement placement;
    IndexWords(database, *site, words, placement);
    AddLinkSites(database, *site, links, placement);
    PlaceSite(*site, placement);

    m_frame.Document()->NoteSiteAdded(site);
    m_frame.CategorizeSite(site, /*offerRankings=*/imported == nullptr);
    return EImportOutcome::Stored;
}

void CAddUrlPipeline::OnAnimationTimer() {
    if (m_threadCount <= 0)
        return;
    m_animFrame = (m_animFrame + 1) % kBusyFrames;
    m_frame.ShowBusyIcon(m_animFrame);
}

void CAddUrlPipeline::StopAnimation() {
    m_animFrame = 0;
    m_animTimer.stop();
    m_frame.ShowBusyIcon(0);
}
