#include "shell/historyimport.h"

#include "fetch/urlsplitter.h"

#include <algorithm>

namespace {

// The politeness limit applies per host name; local files share one.
std::string HostOf(const std::string& url) {
    const SUrlParts parts = CUrlSplitter::Split(url);
    if (parts.urlClass != EUrlClass::Http)
        return std::string();
    std::string host(parts.host);
    std::transform(host.begin(), host.end(), host.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return host;
}

} // namespace

CHistoryImport::CHistoryImport(CAddUrlPipeline& pipeline, std::function<void()> refreshViews,
                               QObject* parent)
    : QObject(parent), m_pipeline(&pipeline), m_refreshViews(std::move(refreshViews)) {
    m_refreshTimer.setInterval(kRefreshPeriodMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] {
        if (!m_refreshDue)
            return;
        m_refreshDue = false;
        if (m_refreshViews)
            m_refreshViews();
    });
}

CHistoryImport::~CHistoryImport() {
    if (m_running && m_pipeline)
        m_pipeline->CancelImportedPages();
}

void CHistoryImport::Start(std::vector<CHistoryPage> pages) {
    m_pages = std::move(pages);
    m_counts = CCounts{};
    m_counts.toDo = static_cast<int>(m_pages.size());
    for (std::size_t i = 0; i < m_pages.size(); ++i)
        m_hosts[HostOf(m_pages[i].url)].waiting.push_back(i);
    for (const auto& [host, state] : m_hosts)
        m_ready.emplace(state.waiting.front(), host);
    m_running = true;
    m_clock.start();
    m_refreshTimer.start();
    StartPages();
}

void CHistoryImport::Cancel() {
    if (!m_running)
        return;
    m_cancelled = true;
    if (m_pipeline)
        m_pipeline->CancelImportedPages();
    m_inFlight = 0;
    Finish();
}

double CHistoryImport::PagesPerSecond() const {
    if (!m_clock.isValid())
        return 0.0;
    const qint64 ms = m_elapsedAtEndMs >= 0 ? m_elapsedAtEndMs : m_clock.elapsed();
    return ms > 0 ? m_counts.done * 1000.0 / static_cast<double>(ms) : 0.0;
}

void CHistoryImport::StartPages() {
    while (m_running && m_inFlight < kMaxPagesInFlight && !m_ready.empty()) {
        const auto [index, host] = *m_ready.begin();
        m_ready.erase(m_ready.begin());
        CHost& state = m_hosts[host];
        state.waiting.pop_front();
        StartPage(index);
        MarkReady(host);
    }
    if (m_running && m_inFlight == 0 && m_ready.empty())
        Finish();
}

void CHistoryImport::StartPage(std::size_t index) {
    const CHistoryPage& page = m_pages[index];
    const std::string host = HostOf(page.url);
    if (!m_pipeline || !m_pipeline->IsNewUrl(page.url)) {
        ++m_counts.known;
        ++m_counts.done;
        return;
    }
    ++m_inFlight;
    ++m_hosts[host].inFlight;
    CAddUrlPipeline::CImportedPage imported;
    imported.visitTime = page.lastVisit;
    QPointer<CHistoryImport> self(this);
    imported.done = [self, host, url = page.url](CAddUrlPipeline::EImportOutcome outcome) {
        if (self)
            self->PageEnded(host, outcome, url);
    };
    m_pipeline->StartImportedPage(page.url, std::move(imported));
}

void CHistoryImport::PageEnded(const std::string& host, CAddUrlPipeline::EImportOutcome outcome,
                               const std::string& url) {
    if (!m_running)
        return;
    --m_inFlight;
    --m_hosts[host].inFlight;
    ++m_counts.done;
    switch (outcome) {
    case CAddUrlPipeline::EImportOutcome::Stored:
        ++m_counts.stored;
        m_refreshDue = true;
        break;
    case CAddUrlPipeline::EImportOutcome::Known:
        ++m_counts.known;
        break;
    case CAddUrlPipeline::EImportOutcome::Filtered:
        ++m_counts.filtered;
        break;
    case CAddUrlPipeline::EImportOutcome::Failed:
        ++m_counts.failed;
        m_failedUrls.push_back(url);
        break;
    }
    MarkReady(host);
    StartPages();
}

void CHistoryImport::MarkReady(const std::string& host) {
    const CHost& state = m_hosts[host];
    if (!state.waiting.empty() && state.inFlight < kMaxPagesPerHost)
        m_ready.emplace(state.waiting.front(), host);
}

void CHistoryImport::Finish() {
    m_running = false;
    m_elapsedAtEndMs = m_clock.elapsed();
    m_refreshTimer.stop();
    m_ready.clear();
    if (m_refreshViews)
        m_refreshViews();
    emit Finished();
}
