#pragma once

#include "history/historyreader.h"
#include "shell/addurlpipeline.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// One run of the history import: hands the chosen pages of a browser's history to the add-URL
// pipeline as a polite crawler does, at most four pages at a time and at most two per host,
// in the order given (a page waits while its host is busy, later pages of other hosts go
// first). A page the pipeline already knows when its turn comes (stored, or fetched in this run)
// is not fetched again. Runs on the user-interface thread; the fetches run on the pipeline's
// workers.
class CHistoryImport : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxPagesInFlight = 4;
    static constexpr int kMaxPagesPerHost = 2;
    // The log book and the views are refreshed at most this often while pages come in.
    static constexpr int kRefreshPeriodMs = 1000;

    struct CCounts {
        int toDo = 0;     // pages chosen
        int done = 0;     // pages ended, in any way
        int stored = 0;   // new sites
        int known = 0;    // already in Wayfold (or fetched in this run)
        int filtered = 0; // refused by a site filter
        int failed = 0;   // could not be read
    };

    // `refreshViews` is called, at most every kRefreshPeriodMs and once at the end, while the
    // import stores pages (the pipeline leaves that to the import).
    CHistoryImport(CAddUrlPipeline& pipeline, std::function<void()> refreshViews,
                   QObject* parent = nullptr);
    ~CHistoryImport() override;

    // Starts the import of `pages` (in order). Call once.
    void Start(std::vector<CHistoryPage> pages);
    // Stops: no further page is started and the pages being fetched are dropped. What was
    // stored stays. Emits Finished when the import was running.
    void Cancel();

    bool IsRunning() const { return m_running; }
    bool WasCancelled() const { return m_cancelled; }
    const CCounts& Counts() const { return m_counts; }
    // Pages ended a second since the start (until the end).
    double PagesPerSecond() const;
    // The URLs that could not be read, in the order they failed.
    const std::vector<std::string>& FailedUrls() const { return m_failedUrls; }
    int PagesInFlight() const { return m_inFlight; }

signals:
    // The import ended: every page was handled, or it was cancelled.
    void Finished();

private:
    struct CHost {
        std::deque<std::size_t> waiting; // indexes into m_pages
        int inFlight = 0;
    };

    void StartPages();
    void StartPage(std::size_t index);
    void PageEnded(const std::string& host, CAddUrlPipeline::EImportOutcome outcome,
                   const std::string& url);
    void MarkReady(const std::string& host);
    void Finish();

    QPointer<CAddUrlPipeline> m_pipeline; // goes before the import when the window closes
    std::function<void()> m_refreshViews;
    std::vector<CHistoryPage> m_pages;
    std::map<std::string, CHost> m_hosts;
    // Hosts that may start a page now, by the position of their next page.
    std::set<std::pair<std::size_t, std::string>> m_ready;
    int m_inFlight = 0;
    CCounts m_counts;
    std::vector<std::string> m_failedUrls;
    QElapsedTimer m_clock;
    qint64 m_elapsedAtEndMs = -1;
    QTimer m_refreshTimer;
    bool m_refreshDue = false;
    bool m_running = false;
    bool m_cancelled = false;
};
