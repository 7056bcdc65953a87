#include "fetch/fetchworker.h"
#include "tests/support/helperprocess.h"
#include "tests/support/loopbackhttpserver.h"
#include "tests/support/loopbackproxies.h"
#include "tests/support/reservedport.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

CConnectionSettings HttpProxyAt(int port, std::string noProxies = {}) {
    CConnectionSettings settings;
    settings.proxy = 1;
    settings.httpProxyServer = "127.0.0.1";
    settings.httpProxyPort = port;
    settings.noProxies = std::move(noProxies);
    return settings;
}

CConnectionSettings SocksProxyAt(int port) {
    CConnectionSettings settings;
    settings.proxy = 1;
    settings.socksProxyServer = "127.0.0.1";
    settings.socksProxyPort = port;
    return settings;
}

std::string ReadTestData(const std::string& name) {
    const char* dir = std::getenv("WAYFOLD_TEST_DATA");
    const std::string path = std::string(dir ? dir : WAYFOLD_SOURCE_DIR "/tests/data") + "/" + name;
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CScopedEnvironment {
public:
    CScopedEnvironment(const char* name, const std::string& value) : m_name(name) {
        ::setenv(name, value.c_str(), 1);
    }
    ~CScopedEnvironment() { ::unsetenv(m_name); }

private:
    const char* m_name;
};

#define SKIP_UNLESS_INSTALLED(program)                                                             \
    if (!CHelperProcess::IsInstalled(program))                                                     \
    GTEST_SKIP() << program " is not installed (Debian package " program "); skipping"

// --- Direct fetches ---------------------------------------------------------------------------

TEST(FetchPage, ThreeLinesArriveAsThreeCrlfLinesWithTheWayfoldAgent) {
    CLoopbackHttpServer server;
    server.ServeText("/three", "one\ntwo\r\nthree");
    EXPECT_EQ(FetchPage(server.Url("/three"), {}), "one\r\ntwo\r\nthree\r\n");
    const auto requests = server.RequestsFor("/three");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("user-agent"), "Wayfold");
    EXPECT_EQ(requests[0].Header("via"), "");
}

TEST(FetchPage, EmptyBodyGivesNoPage) {
    CLoopbackHttpServer server;
    server.ServeText("/empty", "");
    EXPECT_EQ(FetchPage(server.Url("/empty"), {}), std::nullopt);
    EXPECT_EQ(server.RequestsFor("/empty").size(), 1u);
}

TEST(FetchPage, StatusOf400OrAboveGivesNoPageWhateverItsBody) {
    CLoopbackHttpServer server;
    EXPECT_EQ(FetchPage(server.Url("/nowhere"), {}), std::nullopt); // 404 with a body
    server.Serve("/bad", CHttpResponse{400, {}, "<title>Bad Request</title>"});
    EXPECT_EQ(FetchPage(server.Url("/bad"), {}), std::nullopt);
    server.Serve("/broken", CHttpResponse{503, {}, "down"});
    EXPECT_EQ(FetchPage(server.Url("/broken"), {}), std::nullopt);
    server.Serve("/fine", CHttpResponse{399, {}, "kept"});
    EXPECT_EQ(FetchPage(server.Url("/fine"), {}), "kept\r\n");
}

TEST(FetchPage, RedirectsAreFollowedUpToTen) {
    CLoopbackHttpServer server;
    server.ServeText("/target", "arrived\n");
    server.Redirect("/moved", "/target", 301);
    EXPECT_EQ(FetchPage(server.Url("/moved"), {}), "arrived\r\n");

    server.Redirect("/hop0", server.Url("/target"));
    for (int hop = 1; hop <= 10; ++hop)
        server.Redirect("/hop" + std::to_string(hop), "/hop" + std::to_string(hop - 1), 307);
    EXPECT_EQ(FetchPage(server.Url("/hop9"), {}), "arrived\r\n"); // ten redirects
    EXPECT_EQ(FetchPage(server.Url("/hop10"), {}), std::nullopt); // eleven
}

TEST(FetchPage, RedirectToALocalFileIsNotFollowed) {
    CTempDir dir;
    std::ofstream(dir.File("secret")) << "private\n";
    CLoopbackHttpServer server;
    server.Redirect("/sneaky", "file://" + dir.File("secret"));
    EXPECT_EQ(FetchPage(server.Url("/sneaky"), {}), std::nullopt);
}

TEST(FetchPage, GzipBodyArrivesDecoded) {
    const std::string gzipped = ReadTestData("fetch/threelines.txt.gz");
    ASSERT_FALSE(gzipped.empty());
    CLoopbackHttpServer server;
    server.Serve("/zipped", CHttpResponse{200, {{"Content-Encoding", "gzip"}}, gzipped});
    EXPECT_EQ(FetchPage(server.Url("/zipped"), {}),
              "first line of a gzip page\r\nsecond line\r\nthird line\r\n");
    EXPECT_NE(server.RequestsFor("/zipped").at(0).Header("accept-encoding").find("gzip"),
              std::string::npos);
}

TEST(FetchPage, PageOverTheCapIsCutAt32MiB) {
    const std::string line = std::string(99, 'w') + "\n";
    std::string body;
    body.reserve(33u << 20);
    while (body.size() < (33u << 20))
        body += line;
    CLoopbackHttpServer server;
    server.ServeText("/huge", std::move(body));
    const auto page = FetchPage(server.Url("/huge"), {});
    ASSERT_TRUE(page);
    EXPECT_LE(page->size(), 32u << 20);
    EXPECT_GT(page->size(), (32u << 20) - 101);
    EXPECT_EQ(page->substr(0, 101), std::string(99, 'w') + "\r\n");
    EXPECT_EQ(page->substr(page->size() - 2), "\r\n");
}

TEST(FetchPage, StalledTransferIsAbandoned) {
    CLoopbackHttpServer server;
    server.NeverAnswer("/silent");
    CFetchLimits limits;
    limits.stallSeconds = 1;
    EXPECT_EQ(FetchPage(server.Url("/silent"), {}, limits), std::nullopt);
    EXPECT_EQ(server.RequestsFor("/silent").size(), 1u);
}

TEST(FetchPage, ConnectTimeoutCoversAProxyThatNeverAnswers) {
    CLoopbackHttpServer silentProxy;
    silentProxy.SetSilent(true);
    CFetchLimits limits;
    limits.connectTimeoutSeconds = 1;
    limits.stallSeconds = 60;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchPage("http://127.0.0.1:9/", SocksProxyAt(silentProxy.Port()), limits),
              std::nullopt);
    // Only the connect limit can have ended it this early.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
}

TEST(FetchPage, DefaultLimitsAreThirtySecondConnectSixtySecondStallAnd32MiB) {
    const CFetchLimits limits;
    EXPECT_EQ(limits.connectTimeoutSeconds, 30);
    EXPECT_EQ(limits.stallSeconds, 60);
    EXPECT_EQ(limits.maxPageBytes, 32u * 1024 * 1024);
    EXPECT_EQ(limits.maxRedirects, 10);
}

TEST(FetchPage, FailedHttpUrlIsNeverReadFromDisk) {
    CTempDir dir;
    std::ofstream(dir.File("id_rsa")) << "PRIVATE KEY\n";
    const CReservedPort dead;
    EXPECT_EQ(FetchPage(dead.Url(dir.File("id_rsa")), {}), std::nullopt);
    EXPECT_EQ(
        FetchPage("https://127.0.0.1:" + std::to_string(dead.Port()) + dir.File("id_rsa"), {}),
        std::nullopt);
    EXPECT_EQ(FetchPage("gopher://127.0.0.1" + dir.File("id_rsa"), {}), std::nullopt);
}

// --- Through the proxies ----------------------------------------------------------------------

TEST(FetchPage, HttpUrlGoesThroughTheHttpProxyAndFailsWithoutIt) {
    SKIP_UNLESS_INSTALLED("tinyproxy");
    CTempDir dir;
    CHelperProcess proxy;
    ASSERT_TRUE(StartTinyproxy(proxy, dir.Path())) << "tinyproxy did not start";
    CLoopbackHttpServer server;
    server.ServeText("/page", "via proxy\n");

    EXPECT_EQ(FetchPage(server.Url("/page"), HttpProxyAt(proxy.Port())), "via proxy\r\n");
    const auto requests = server.RequestsFor("/page");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].Header("via").find("tinyproxy"), std::string::npos);
    EXPECT_EQ(requests[0].Header("user-agent"), "QUORL");

    proxy.Stop();
    EXPECT_EQ(FetchPage(server.Url("/page"), HttpProxyAt(proxy.Port())), std::nullopt);
    EXPECT_EQ(server.RequestsFor("/page").size(), 1u);
}

TEST(FetchPage, BypassedHostIsReachedDirectly) {
    SKIP_UNLESS_INSTALLED("tinyproxy");
    CTempDir dir;
    CHelperProcess proxy;
    ASSERT_TRUE(StartTinyproxy(proxy, dir.Path())) << "tinyproxy did not start";
    CLoopbackHttpServer server;
    server.ServeText("/page", "direct\n");

    EXPECT_EQ(FetchPage(server.Url("/page"), HttpProxyAt(proxy.Port(), "example.org; 127.0.0.*")),
              "direct\r\n");
    const std::string localUrl = "http://localhost:" + std::to_string(server.Port()) + "/page";
    EXPECT_EQ(FetchPage(localUrl, HttpProxyAt(proxy.Port(), "<local>")), "direct\r\n");
    for (const CRecordedRequest& request : server.RequestsFor("/page")) {
        EXPECT_EQ(request.Header("via"), "");
        EXPECT_EQ(request.Header("user-agent"), "QUORL");
    }
    EXPECT_EQ(server.RequestsFor("/page").size(), 2u);
}

TEST(FetchPage, HttpUrlGoesThroughTheSocksProxyOnlyWhileItRuns) {
    SKIP_UNLESS_INSTALLED("microsocks");
    CTempDir dir;
    CLoopbackHttpServer server;
    server.ServeText("/page", "socks\n");
    auto notRunning = std::make_optional<CReservedPort>();
    const int socksPort = notRunning->Port();

    EXPECT_EQ(FetchPage(server.Url("/page"), SocksProxyAt(socksPort)), std::nullopt);
    EXPECT_TRUE(server.Requests().empty());
    notRunning.reset();

    CHelperProcess socks;
    // Its connections leave from 127.0.0.2, so the server can tell them from direct ones.
    ASSERT_TRUE(StartMicrosocks(socks, dir.Path(), socksPort, "127.0.0.2"))
        << "microsocks did not start";
    EXPECT_EQ(FetchPage(server.Url("/page"), SocksProxyAt(socksPort)), "socks\r\n");
    const auto requests = server.RequestsFor("/page");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].peerAddress, "127.0.0.2");
    EXPECT_EQ(requests[0].Header("user-agent"), "QUORL");
}

TEST(FetchPage, WithoutProxyListTheEnvironmentProxyIsUsedAndBypassListIgnored) {
    SKIP_UNLESS_INSTALLED("tinyproxy");
    CTempDir dir;
    CHelperProcess proxy;
    ASSERT_TRUE(StartTinyproxy(proxy, dir.Path())) << "tinyproxy did not start";
    CLoopbackHttpServer server;
    server.ServeText("/page", "env\n");
    const CScopedEnvironment httpProxy("http_proxy",
                                       "http://127.0.0.1:" + std::to_string(proxy.Port()));

    CConnectionSettings noServers; // switch on, no server named: as if the switch were off
    noServers.proxy = 1;
    noServers.noProxies = "127.0.0.1";
    EXPECT_EQ(FetchPage(server.Url("/page"), noServers), "env\r\n");
    const auto requests = server.RequestsFor("/page");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].Header("via").find("tinyproxy"), std::string::npos);
    EXPECT_EQ(requests[0].Header("user-agent"), "Wayfold");
}

// --- Workers ----------------------------------------------------------------------------------

class CCompletionRecorder {
public:
    FetchCompletion Callback() {
        return [this](std::string url, std::optional<std::string> page) {
            const std::lock_guard lock(m_mutex);
            m_calls[url].push_back(std::move(page));
            m_threads.push_back(std::this_thread::get_id());
            m_arrived.notify_all();
        };
    }
    bool WaitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_for(lock, 60s, [&] { return m_threads.size() >= count; });
    }
    std::map<std::string, std::vector<std::optional<std::string>>> Calls() {
        const std::lock_guard lock(m_mutex);
        return m_calls;
    }
    std::vector<std::thread::id> Threads() {
        const std::lock_guard lock(m_mutex);
        return m_threads;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::map<std::string, std::vector<std::optional<std::string>>> m_calls;
    std::vector<std::thread::id> m_threads;
};

TEST(FetchWorker, SeveralWorkersEachDeliverExactlyOneCompletionOnTheirOwnThread) {
    CLoopbackHttpServer server;
    CTempDir dir;
    std::ofstream(dir.File("local.html")) << "local\n";
    std::map<std::string, std::optional<std::string>> expected;
    for (int i = 0; i < 8; ++i) {
        const std::string path = "/page" + std::to_string(i);
        server.ServeText(path, "page " + std::to_string(i) + "\n");
        expected[server.Url(path)] = "page " + std::to_string(i) + "\r\n";
    }
    const CReservedPort dead;
    expected[dead.Url("/dead")] = std::nullopt;
    expected["file://" + dir.File("local.html")] = "local\r\n";

    CCompletionRecorder recorder;
    for (const auto& [url, page] : expected)
        StartFetchWorker(url, {}, recorder.Callback());
    ASSERT_TRUE(recorder.WaitFor(expected.size()));
    std::this_thread::sleep_for(100ms); // room for a stray second completion to show up

    const auto calls = recorder.Calls();
    ASSERT_EQ(calls.size(), expected.size());
    for (const auto& [url, page] : expected) {
        SCOPED_TRACE(url);
        ASSERT_EQ(calls.at(url).size(), 1u);
        EXPECT_EQ(calls.at(url)[0], page);
    }
    for (std::thread::id id : recorder.Threads())
        EXPECT_NE(id, std::this_thread::get_id());
}

} // namespace
