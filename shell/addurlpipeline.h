#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

class CMainFrame;
class CSite;

// The add-URL pipeline: turns an accepted URL into a stored, placed and categorized site. A
// fetch worker downloads the page; its completion is posted to the main frame as an event and
// handed to OnAddUrlDone on the user-interface thread. Owned by the main frame; it reaches the
// store, the log book and the status bar only through the main frame.
class CAddUrlPipeline : public QObject {
    Q_OBJECT
public:
    // A worker's result, posted to the main frame, which passes it to OnAddUrlDone.
    class CDoneEvent : public QEvent {
    public:
        static const QEvent::Type kType;
        CDoneEvent(std::string url, std::optional<std::string> page)
            : QEvent(kType), m_url(std::move(url)), m_page(std::move(page)) {}
        std::string m_url;
        std::optional<std::string> m_page;
    };

    // How an imported page ended.
    enum class EImportOutcome {
        Stored,   // a new site
        Known,    // the database had a site with the URL when the page came
        Filtered, // a site filter refused it
        Failed    // nothing could be read
    };
    // A page that comes from a browser's history (the history import) rather than an echo.
    struct CImportedPage {
        std::int32_t visitTime = 0; // kept as the site's m_time; 0 for the time it is stored
        // Told how the page ended, once, on the user-interface thread, after the page was
        // handled. Not told when the import was cancelled or the pipeline shut down first.
        std::function<void(EImportOutcome)> done;
    };

    static constexpr int kBusyFrames = 19;
    static constexpr int kAnimationPeriodMs = 50;

    explicit CAddUrlPipeline(CMainFrame& frame);
    ~CAddUrlPipeline() override;

    // True when neither the URL as reported nor its page URL (PageUrl: no "#fragment", bytes a
    // URL may not hold escaped) is a visited site in the database or was started in this run.
    bool IsNewUrl(const std::string& url) const;
    // Starts one fetch worker for the page URL of `reported` (no queue, no limit) and shows
    // "Processing: " + that URL. The site is stored under the page URL.
    void StartAddUrl(const std::string& reported);
    // Starts the fetch of an imported page as StartAddUrl does; its site keeps the visit time,
    // it is filed without the Category Rankings dialog, and a page that cannot be read is told
    // to `page.done` instead of being shown in an error box (and may be imported again).
    void StartImportedPage(const std::string& url, CImportedPage page);
    // The imported pages still being fetched are dropped: their results are ignored when they
    // come, and their URLs may be imported again.
    void CancelImportedPages();
    int ImportedPagesInFlight() const { return static_cast<int>(m_importedPages.size()); }
    // A worker's result. Results are handled one at a time in order of arrival: one that comes
    // while an earlier page is still open in a dialog (rankings, error box) waits for it.
    void OnAddUrlDone(std::string url, std::optional<std::string> page);
    // Lets the URL be added again (the user deleted its site).
    void ForgetStartedUrl(const std::string& url);
    // Drops results not yet handled and ignores later ones (the main frame is closing).
    void Shutdown();

    // True while a page is being handled (possibly inside a modal dialog).
    bool IsHandlingPage() const { return m_handling; }
    int ThreadCount() const { return m_threadCount; }
    int AnimFrame() const { return m_animFrame; }
    bool IsAnimating() const { return m_animTimer.isActive(); }
    const std::set<std::string>& StartedUrls() const { return m_startedUrls; }

signals:
    // Emitted when the queue of results has been worked off (or dropped by Shutdown).
    void Idle();

private:
    struct CPostBox;
    struct CResult {
        std::string url;
        std::optional<std::string> page;
    };

    void HandleQueuedResults();
    void HandleResult(const CResult& result);
    EImportOutcome StoreAndPlacePage(const std::string& url, const std::string& page,
                                     const CImportedPage* imported);
    bool DropCancelledImport(const std::string& url);
    void OnAnimationTimer();
    void StopAnimation();

    CMainFrame& m_frame;
    std::shared_ptr<CPostBox> m_postBox; // shared with the workers, which may outlive us
    std::set<std::string> m_startedUrls;
    int m_threadCount = 0;
    int m_animFrame = 0;
    QTimer m_animTimer;
    std::deque<CResult> m_pending;
    bool m_handling = false;
    bool m_shutDown = false;
    // The history import's pages being fetched, and those whose import was cancelled.
    std::map<std::string, CImportedPage> m_importedPages;
    std::multiset<std::string> m_cancelledImports;
};
