// Bursts of pages against the running program: a stand-in browser echoes 2,000 distinct pages
// of a local server in one burst, then 200 pages of a server that accepts connections and never
// answers. Every page of the first burst must be stored, every worker of both must end (the
// second by the fetch's stall time-out), no thread or descriptor may be left behind, and the
// window must stay responsive throughout.
//
// Responsiveness is measured from outside through the user-interface thread, which serves the
// DDE conversations and runs the window's timers: a browser service of the test's own
// ("IEXPLORE") is asked WWW_Version by Wayfold's 500 ms poll timer, so the gaps between those
// questions show that the timers keep running, and a WWW_OpenURL request to Wayfold is answered
// only when its event loop (the one that paints) is free.

#include "browserlink/ddeitemtext.h"
#include "browserlink/ddeml.h"

#include "tests/browserlink/ddetestsupport.h"
#include "tests/robustness/wayfoldprocess.h"
#include "tests/support/loopbackhttpserver.h"

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <mutex>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBurstPages = 2000;
constexpr int kSilentPages = 200;

// A browser service of the test's own that answers WWW_Version and takes URL echo
// registrations, noting when Wayfold's poll asks.
class CPolledBrowser {
public:
    CPolledBrowser() {
        EXPECT_EQ(DdeInitialize(
                      &m_id,
                      [this](uint32_t type, uint32_t, HCONV, HSZ topic, HSZ, HDDEDATA, uintptr_t,
                             uintptr_t) { return OnDde(type, topic); },
                      0, 0),
                  DMLERR_NO_ERROR);
        m_service = DdeCreateStringHandle(m_id, "IEXPLORE", CP_WINANSI);
        EXPECT_TRUE(DdeNameService(m_id, m_service, HSZ{}, DNS_REGISTER));
        m_clock.start();
    }
    ~CPolledBrowser() { DdeUninitialize(m_id); }

    int PollCount() const { return static_cast<int>(m_polls.size()); }
    // The longest time between two polls after `fromMs` (test clock), the last poll to `toMs`
    // included.
    qint64 LongestGap(qint64 fromMs, qint64 toMs) const {
        qint64 last = fromMs, longest = 0;
        for (qint64 at : m_polls) {
            if (at < fromMs)
                continue;
            longest = std::max(longest, at - last);
            last = at;
        }
        return std::max(longest, toMs - last);
    }
    qint64 Now() const { return m_clock.elapsed(); }

private:
    HDDEDATA OnDde(uint32_t type, HSZ topic) {
        if (type == XTYP_CONNECT)
            return HDDEDATA{1};
        const std::string name = DdeQueryString(m_id, topic);
        if (type == XTYP_POKE)
            return HDDEDATA{DDE_FACK};
        if (type == XTYP_REQUEST && name == "WWW_Version") {
            m_polls.push_back(m_clock.elapsed());
            const std::string reply = *BuildDdeReplyBytes("DW", {0x00010000u});
            return DdeCreateDataHandle(m_id, reply.data(), static_cast<uint32_t>(reply.size()), 0,
                                       HSZ{}, CF_TEXT, 0);
        }
        return {};
    }

    uint32_t m_id = 0;
    HSZ m_service;
    QElapsedTimer m_clock;
    std::vector<qint64> m_polls;
};

// Asks Wayfold's TARN3 service WWW_OpenURL; the time to the answer in ms, or -1 for none.
qint64 AnswerTime() {
    static uint32_t id = [] {
        uint32_t made = 0;
        DdeInitialize(&made, nullptr, 0, 0);
        return made;
    }();
    QElapsedTimer timer;
    timer.start();
    const HSZ service = DdeCreateStringHandle(id, "TARN3", CP_WINANSI);
    const HSZ topic = DdeCreateStringHandle(id, "WWW_OpenURL", CP_WINANSI);
    const HCONV conv = DdeConnect(id, service, topic, nullptr);
    bool answered = false;
    if (conv) {
        const HSZ item = DdeCreateStringHandle(
            id,
            BuildDdeItemText("QCS,QCS,DW,DW,QCS,QCS,CS",
                             {std::string("http://127.0.0.1:1/"), DdeValue{}, 0xFFFFFFFFu, 0u,
                              DdeValue{}, DdeValue{}, std::string("NETSCAPE")}),
            CP_WINANSI);
        const HDDEDATA data =
            DdeClientTransaction(nullptr, 0, conv, item, CF_TEXT, XTYP_REQUEST, 10000, nullptr);
        answered = static_cast<bool>(data);
        DdeFreeDataHandle(data);
        DdeFreeStringHandle(id, item);
        DdeDisconnect(conv);
    }
    DdeFreeStringHandle(id, topic);
    DdeFreeStringHandle(id, service);
    return answered ? timer.elapsed() : -1;
}

// Watches the program while workers run: the slowest answer, the most threads.
struct CWatch {
    qint64 slowestAnswerMs = 0;
    int unanswered = 0;
    int mostThreads = 0;

    void Sample(CWayfoldProcess& wayfold) {
        const qint64 answer = AnswerTime();
        if (answer < 0)
            ++unanswered;
        slowestAnswerMs = std::max(slowestAnswerMs, answer);
        mostThreads = std::max(mostThreads, wayfold.ThreadCount());
    }
    // Samples every 200 ms until `done` or the time runs out; true when done.
    bool Until(CWayfoldProcess& wayfold, const std::function<bool()>& done, int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > timeoutMs || !wayfold.IsRunning())
                return false;
            Sample(wayfold);
            WaitUntil([] { return false; }, 200);
        }
        return true;
    }
};

// A loopback server that takes every connection and never reads or writes: each fetch from it
// waits for its stall time-out.
class CSilentServer {
public:
    CSilentServer() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_fd, 1024) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("cannot listen");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            for (;;) {
                const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0)
                    return; // the listening socket was shut down
                std::lock_guard<std::mutex> lock(m_mutex);
                m_held.push_back(fd);
            }
        });
    }
    ~CSilentServer() {
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
        for (int fd : m_held)
            ::close(fd);
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    int AcceptedCount() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(m_held.size());
    }

private:
    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<int> m_held;
};

int WayfoldRequests(const CLoopbackHttpServer& server) {
    int count = 0;
    for (const CRecordedRequest& request : server.Requests())
        count += request.Header("user-agent") == "Wayfold" ? 1 : 0;
    return count;
}

// Pages without words or links: the burst is about the workers and the store, and a map of
// thousands of word lines costs a full repaint per echo (measured separately, see the report).
std::string Page(int i) {
    return "<html><head><title>#" + std::to_string(i) + "</title></head><body>" +
           std::to_string(i * 7) + "</body></html>";
}

TEST(BurstTest, TwoThousandPagesStoredAndSilentServerWorkersEndWhileTheWindowStaysResponsive) {
    CPrivateDdeDir dde;
    CLoopbackHttpServer http;
    CSilentServer silentHttp;
    for (int i = 0; i < kBurstPages; ++i)
        http.ServeText("/p" + std::to_string(i) + ".html", Page(i));

    CWayfoldProcess wayfold(dde.Path());
    ASSERT_TRUE(wayfold.Start()) << wayfold.Output();
    CPolledBrowser polled;
    QProcess browser;
    browser.setProcessEnvironment(wayfold.Environment());
    browser.setProcessChannelMode(QProcess::MergedChannels);
    browser.start(QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-browser"), {});
    ASSERT_TRUE(browser.waitForStarted(10000));
    std::string browserOutput;
    ASSERT_TRUE(WaitUntil(
        [&] {
            browserOutput += browser.readAll().toStdString();
            return browserOutput.find("URL echo registered") != std::string::npos &&
                   polled.PollCount() >= 2;
        },
        10000))
        << browserOutput;
    WaitUntil([] { return false; }, 1000);
    const int baseThreads = wayfold.ThreadCount();
    const int baseDescriptors = wayfold.DescriptorCount();

    // The burst: every visit echoed to Wayfold at once.
    std::string visits;
    for (int i = 0; i < kBurstPages; ++i)
        visits += "visit " + http.Url("/p" + std::to_string(i) + ".html") + "\n";
    const qint64 burstStart = polled.Now();
    browser.write(visits.data(), static_cast<qint64>(visits.size()));
    CWatch burst;
    ASSERT_TRUE(burst.Until(
        wayfold,
        [&] {
            return WayfoldRequests(http) >= kBurstPages && wayfold.ThreadCount() <= baseThreads;
        },
        150000))
        << WayfoldRequests(http) << " pages fetched, " << wayfold.ThreadCount() << " threads\n"
        << wayfold.Output();
    const qint64 burstEnd = polled.Now();
    // Timer 1 fires every 500 ms; a few ticks may be lost to a busy machine, not more.
    EXPECT_EQ(burst.unanswered, 0);
    EXPECT_LT(burst.slowestAnswerMs, 1000);
    EXPECT_LT(polled.LongestGap(burstStart, burstEnd), 2500);
    EXPECT_TRUE(WaitUntil([&] { return wayfold.DescriptorCount() <= baseDescriptors; }, 5000))
        << wayfold.DescriptorCount() << " descriptors, " << baseDescriptors << " before";
    std::printf("burst of %d pages: %lld ms, up to %d threads (%d before), slowest answer %lld "
                "ms, longest gap between polls %lld ms\n",
                kBurstPages, static_cast<long long>(burstEnd - burstStart), burst.mostThreads,
                baseThreads, static_cast<long long>(burst.slowestAnswerMs),
                static_cast<long long>(polled.LongestGap(burstStart, burstEnd)));

    // 200 pages nobody answers: the workers wait for the stall time-out (60 s) and end.
    visits.clear();
    for (int i = 0; i < kSilentPages; ++i)
        visits += "visit " + silentHttp.Url("/s" + std::to_string(i) + ".html") + "\n";
    const qint64 silentStart = polled.Now();
    browser.write(visits.data(), static_cast<qint64>(visits.size()));
    CWatch silent;
    ASSERT_TRUE(silent.Until(
        wayfold, [&] { return silentHttp.AcceptedCount() >= kSilentPages; }, 60000))
        << silentHttp.AcceptedCount() << " connections";
    ASSERT_TRUE(silent.Until(
        wayfold, [&] { return wayfold.ThreadCount() <= baseThreads; }, 120000))
        << wayfold.ThreadCount() << " threads";
    const qint64 silentEnd = polled.Now();
    EXPECT_EQ(silent.unanswered, 0);
    EXPECT_LT(silent.slowestAnswerMs, 1000);
    EXPECT_LT(polled.LongestGap(silentStart, silentEnd), 2500);
    // The stall time-out, not anything sooner, ended them.
    EXPECT_GE(silentEnd - silentStart, 55000);
    EXPECT_TRUE(WaitUntil([&] { return wayfold.DescriptorCount() <= baseDescriptors; }, 5000))
        << wayfold.DescriptorCount() << " descriptors, " << baseDescriptors << " before";
    std::printf("%d silent pages: workers ended after %lld ms, up to %d threads, slowest answer "
                "%lld ms, longest gap between polls %lld ms\n",
                kSilentPages, static_cast<long long>(silentEnd - silentStart), silent.mostThreads,
                static_cast<long long>(silent.slowestAnswerMs),
                static_cast<long long>(polled.LongestGap(silentStart, silentEnd)));

    browser.write("quit\n");
    EXPECT_TRUE(browser.waitForFinished(10000));
    // The results of the last workers are handled before the program is told to close.
    EXPECT_GE(AnswerTime(), 0);
    ASSERT_TRUE(wayfold.Stop(60000)) << wayfold.Output();

    const std::string dump = wayfold.DumpUrls();
    ASSERT_FALSE(dump.empty());
    int stored = 0;
    for (int i = 0; i < kBurstPages; ++i)
        stored += dump.find("\"url\":\"" + http.Url("/p" + std::to_string(i) + ".html") +
                            "\",\"title\":\"#" + std::to_string(i) + "\"") != std::string::npos
                      ? 1
                      : 0;
    EXPECT_EQ(stored, kBurstPages);
    EXPECT_EQ(dump.find(silentHttp.Url("/s")), std::string::npos);
}

} // namespace
