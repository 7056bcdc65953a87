// Hostile peers against the running program: random frames, truncated frames, oversized
// lengths, conversations that connect and then say nothing, and two thousand connections, sent
// to the real `wayfold` (offscreen, private DDE folder). Afterwards it must still answer a
// well-behaved client at once, take in a stand-in browser's page, hold no connection it was
// given up on, and its memory must stay bounded. And browsers that Wayfold waits for in vain
// (hung, slow, broken or paused) must not stop it answering, polling the others, taking their
// pages in and ending at once on SIGTERM.

#include "browserlink/ddeframe.h"
#include "browserlink/ddeitemtext.h"
#include "browserlink/ddeml.h"

#include "tests/browserlink/ddetestsupport.h"
#include "tests/robustness/wayfoldprocess.h"
#include "tests/support/loopbackhttpserver.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kServices[] = {"TARN1", "TARN2", "TARN3", "TARN4"};

// A blocking client socket that sends bytes, not frames.
class CHostilePeer {
public:
    explicit CHostilePeer(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval wait{5, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        if (m_fd >= 0 &&
            ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~CHostilePeer() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool IsConnected() const { return m_fd >= 0; }
    // False when the program has closed the conversation before everything was sent.
    bool Send(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0 && errno != EINTR)
                return false;
            sent += n > 0 ? static_cast<size_t>(n) : 0;
        }
        return true;
    }
    // True when the program closes the conversation within the time (whatever it sent first).
    bool WaitForClose(int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            pollfd fd{m_fd, POLLIN, 0};
            if (::poll(&fd, 1, 50) == 1) {
                char buffer[4096];
                const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
                if (n == 0 || (n < 0 && errno != EINTR))
                    return true;
            }
        }
        return false;
    }

private:
    int m_fd = -1;
};

std::string Encoded(const DdeFrame& frame) {
    std::string bytes;
    EncodeDdeFrame(frame, bytes);
    return bytes;
}

std::string ConnectFrame(const std::string& service, const std::string& topic) {
    DdeFrame frame;
    frame.kind = DdeFrameKind::Connect;
    frame.service = service;
    frame.topic = topic;
    return Encoded(frame);
}

std::string OpenUrlRequest(const std::string& url) {
    DdeFrame frame;
    frame.kind = DdeFrameKind::Request;
    frame.format = 1;
    frame.item =
        BuildDdeItemText("QCS,QCS,DW,DW,QCS,QCS,CS", {url, DdeValue{}, 0xFFFFFFFFu, 0u, DdeValue{},
                                                      DdeValue{}, std::string("NETSCAPE")});
    return Encoded(frame);
}

// Bytes that are mostly almost frames: a small length and a kind, known or not, then noise.
std::string RandomFrames(std::mt19937& random) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 80);
    std::string bytes;
    const int frames = 1 + byte(random) % 4;
    for (int f = 0; f < frames; ++f) {
        const uint32_t n = static_cast<uint32_t>(length(random));
        bytes += Le32(byte(random) % 8 == 0 ? static_cast<uint32_t>(random()) : n);
        const char kinds[] = {0x01, 0x02, 0x03, 0x04, char(0x81), char(0x82), 0x00, char(0xFF)};
        if (n > 0)
            bytes += kinds[byte(random) % 8];
        for (uint32_t i = 1; i < n; ++i)
            bytes += static_cast<char>(byte(random));
    }
    return bytes;
}

// Speaks to Wayfold's services as a browser does, through the DDE library.
class CPoliteClient {
public:
    CPoliteClient() { EXPECT_EQ(DdeInitialize(&m_id, nullptr, 0, 0), DMLERR_NO_ERROR); }
    ~CPoliteClient() { DdeUninitialize(m_id); }

    // The WWW_OpenURL answer of the service (its 4-byte DW), or nothing; `elapsedMs` gets
    // the time from connecting to the answer.
    std::optional<std::string> OpenUrl(const std::string& service, qint64& elapsedMs) {
        QElapsedTimer timer;
        timer.start();
        const HSZ serviceName = DdeCreateStringHandle(m_id, service, CP_WINANSI);
        const HSZ topic = DdeCreateStringHandle(m_id, "WWW_OpenURL", CP_WINANSI);
        const HCONV conv = DdeConnect(m_id, serviceName, topic, nullptr);
        std::optional<std::string> answer;
        if (conv) {
            const std::string text =
                BuildDdeItemText("QCS,QCS,DW,DW,QCS,QCS,CS",
                                 {std::string("http://127.0.0.1:1/x.html"), DdeValue{}, 0xFFFFFFFFu,
                                  0u, DdeValue{}, DdeValue{}, std::string("NETSCAPE")});
            const HSZ item = DdeCreateStringHandle(m_id, text, CP_WINANSI);
            const HDDEDATA data =
                DdeClientTransaction(nullptr, 0, conv, item, CF_TEXT, XTYP_REQUEST, 5000, nullptr);
            if (data) {
                answer = DdeGetDataBytes(data);
                DdeFreeDataHandle(data);
            }
            DdeFreeStringHandle(m_id, item);
            DdeDisconnect(conv);
        }
        DdeFreeStringHandle(m_id, topic);
        DdeFreeStringHandle(m_id, serviceName);
        elapsedMs = timer.elapsed();
        return answer;
    }

private:
    uint32_t m_id = 0;
};

void ExpectAnswersAtOnce(CPoliteClient& client, const char* when) {
    for (const char* service : kServices) {
        qint64 elapsedMs = 0;
        const auto answer = client.OpenUrl(service, elapsedMs);
        ASSERT_TRUE(answer.has_value()) << service << " " << when;
        EXPECT_EQ(answer->size(), 4u) << service << " " << when;
        EXPECT_LT(elapsedMs, 1000) << service << " " << when;
    }
}

class HostilePeersTest : public ::testing::Test {
protected:
    std::string Socket(int i) const { return m_dde.SocketPath(kServices[i % 4]); }

    CPrivateDdeDir m_dde;
    CLoopbackHttpServer m_http;
};

TEST_F(HostilePeersTest, WayfoldStillAnswersAndStaysBoundedAfterHostilePeers) {
    m_http.ServeText("/after.html", "<html><head><title>After</title></head><body>Calm "
                                    "again</body></html>");
    CWayfoldProcess wayfold(m_dde.Path());
    ASSERT_TRUE(wayfold.Start()) << wayfold.Output();
    CPoliteClient client;
    ExpectAnswersAtOnce(client, "at start");
    WaitUntil([] { return false; }, 1000);
    const long baseRssKb = wayfold.ResidentKb();
    const int baseDescriptors = wayfold.DescriptorCount();
    ASSERT_GT(baseRssKb, 0);

    std::mt19937 random(4242);

    // Random frames: every conversation is ended or answered, none crashes the program.
    for (int i = 0; i < 400; ++i) {
        CHostilePeer peer(Socket(i));
        ASSERT_TRUE(peer.IsConnected()) << "connection " << i << "\n" << wayfold.Output();
        if (i % 2 == 0)
            peer.Send(ConnectFrame(kServices[i % 4], "WWW_URLEcho"));
        peer.Send(RandomFrames(random));
    }
    ASSERT_TRUE(wayfold.IsRunning()) << wayfold.Output();
    ExpectAnswersAtOnce(client, "after random frames");

    // Oversized and impossible lengths end the conversation at once, before any body.
    for (uint32_t length : {0u, kDdeMaxFrameLength + 1, 0x80000000u, 0xFFFFFFFFu}) {
        CHostilePeer peer(Socket(static_cast<int>(length % 4)));
        ASSERT_TRUE(peer.IsConnected());
        peer.Send(Le32(length) + std::string(1, '\x01'));
        EXPECT_TRUE(peer.WaitForClose(2000)) << "length " << length;
    }
    // A body that runs past its frame ends it too.
    {
        CHostilePeer peer(Socket(1));
        peer.Send(RawFrame(0x01, RawString("TARN2") + Le32(1000) + "WWW"));
        EXPECT_TRUE(peer.WaitForClose(2000));
    }

    // Held open while everything else goes on: truncated frames, CONNECT and then silence,
    // and a frame announcing the largest body allowed with only its first megabyte sent.
    std::vector<std::unique_ptr<CHostilePeer>> silent;
    for (int i = 0; i < 50; ++i) {
        auto peer = std::make_unique<CHostilePeer>(Socket(i));
        const std::string frame = ConnectFrame(kServices[i % 4], "WWW_OpenURL");
        peer->Send(frame.substr(0, 1 + static_cast<size_t>(i) % (frame.size() - 1)));
        silent.push_back(std::move(peer));
    }
    for (int i = 0; i < 50; ++i) {
        auto peer = std::make_unique<CHostilePeer>(Socket(i));
        peer->Send(ConnectFrame(kServices[i % 4], "WWW_OpenURL"));
        silent.push_back(std::move(peer));
    }
    {
        auto peer = std::make_unique<CHostilePeer>(Socket(2));
        peer->Send(Le32(kDdeMaxFrameLength) + std::string(1, '\x01') +
                   std::string(1024 * 1024, 'x'));
        silent.push_back(std::move(peer));
    }
    ExpectAnswersAtOnce(client, "with 101 silent peers");

    // Thousands of connections, in batches that come and go: a CONNECT and a request each,
    // and every fourth one leaves without reading its answers.
    for (int batch = 0; batch < 10; ++batch) {
        std::vector<std::unique_ptr<CHostilePeer>> peers;
        for (int i = 0; i < 200; ++i) {
            auto peer = std::make_unique<CHostilePeer>(Socket(batch + i));
            ASSERT_TRUE(peer->IsConnected()) << "batch " << batch << " connection " << i;
            peer->Send(ConnectFrame(kServices[(batch + i) % 4], "WWW_OpenURL") +
                       (i % 4 == 0 ? std::string() : OpenUrlRequest("http://127.0.0.1:1/")));
            peers.push_back(std::move(peer));
        }
    }
    ASSERT_TRUE(wayfold.IsRunning()) << wayfold.Output();
    ExpectAnswersAtOnce(client, "after 2,000 connections");

    // A well-behaved stand-in browser is found by the next poll and its page is stored.
    QProcess browser;
    browser.setProcessEnvironment(wayfold.Environment());
    browser.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer sinceStart;
    sinceStart.start();
    browser.start(QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-browser"), {});
    ASSERT_TRUE(browser.waitForStarted(10000));
    std::string browserOutput;
    ASSERT_TRUE(WaitUntil(
        [&] {
            browserOutput += browser.readAll().toStdString();
            return browserOutput.find("URL echo registered") != std::string::npos;
        },
        5000))
        << browserOutput;
    // The poll runs every 500 ms; the browser needs a moment to start.
    EXPECT_LT(sinceStart.elapsed(), 3000);
    const std::string visit = "visit " + m_http.Url("/after.html") + "\n";
    browser.write(visit.data(), static_cast<qint64>(visit.size()));
    EXPECT_TRUE(WaitUntil([&] { return !m_http.RequestsFor("/after.html").empty(); }, 5000))
        << browserOutput << wayfold.Output();

    browser.write("quit\n");
    EXPECT_TRUE(browser.waitForFinished(5000));

    // Conversations given up by their peers are let go; memory stayed bounded.
    silent.clear();
    EXPECT_TRUE(WaitUntil([&] { return wayfold.DescriptorCount() <= baseDescriptors + 2; }, 5000))
        << wayfold.DescriptorCount() << " descriptors, " << baseDescriptors << " at start";
    const long rssKb = wayfold.ResidentKb();
    std::printf("Wayfold resident memory: %ld KiB at start, %ld KiB after the hostile peers\n",
                baseRssKb, rssKb);
    EXPECT_LT(rssKb, baseRssKb + 64 * 1024);

    ASSERT_TRUE(wayfold.Stop()) << wayfold.Output();
    const std::string dump = wayfold.DumpUrls();
    EXPECT_NE(dump.find("\"url\":\"" + m_http.Url("/after.html") + "\",\"title\":\"After\""),
              std::string::npos)
        << dump;
}

// A browser on NETSCAPE that Wayfold asks in vain: it hangs once the conversation is accepted,
// answers 3 s late, closes in the middle of its answer, or is paused after it registered.
enum class EBadBrowser { kHangs, kSlow, kClosesMidFrame, kPausedAfterRegistering };

class BadBrowserTest : public HostilePeersTest, public ::testing::WithParamInterface<EBadBrowser> {
protected:
    // A stand-in browser of the test's Wayfold, started on `service`; true once it registered.
    bool StartBrowser(QProcess& browser, const CWayfoldProcess& wayfold, const char* service) {
        browser.setProcessEnvironment(wayfold.Environment());
        browser.setProcessChannelMode(QProcess::MergedChannels);
        browser.start(QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-browser"),
                      {"--service", service});
        std::string output;
        return browser.waitForStarted(10000) &&
               WaitUntil(
                   [&] {
                       output += browser.readAll().toStdString();
                       return output.find("URL echo registered") != std::string::npos;
                   },
                   3000);
    }
};

std::string BadBrowserName(const ::testing::TestParamInfo<EBadBrowser>& info) {
    const char* const names[] = {"Hangs", "AnswersAfter3s", "ClosesMidFrame",
                                 "PausedAfterRegistering"};
    return names[static_cast<int>(info.param)];
}

TEST_P(BadBrowserTest, WayfoldAnswersPollsTakesPagesAndEndsOnSigtermAtOnce) {
    m_http.ServeText("/healthy.html", "<html><head><title>Healthy</title></head><body>Taken in "
                                      "while another browser hangs</body></html>");
    using EBehaviour = CMisbehavingPeer::EBehaviour;
    std::unique_ptr<CMisbehavingPeer> peer;
    const std::string netscape = m_dde.SocketPath("NETSCAPE");
    if (GetParam() == EBadBrowser::kHangs)
        peer = std::make_unique<CMisbehavingPeer>(netscape, EBehaviour::kHangs);
    else if (GetParam() == EBadBrowser::kSlow)
        peer = std::make_unique<CMisbehavingPeer>(netscape, EBehaviour::kSlow);
    else if (GetParam() == EBadBrowser::kClosesMidFrame)
        peer = std::make_unique<CMisbehavingPeer>(netscape, EBehaviour::kClosesMidFrame);
    CWayfoldProcess wayfold(m_dde.Path());
    ASSERT_TRUE(wayfold.Start()) << wayfold.Output();
    QProcess paused;
    if (GetParam() == EBadBrowser::kPausedAfterRegistering) {
        ASSERT_TRUE(StartBrowser(paused, wayfold, "NETSCAPE"));
        ::kill(static_cast<pid_t>(paused.processId()), SIGSTOP);
        WaitUntil([] { return false; }, 600); // the next poll asks it
    }

    // Served conversations are answered at once; timer 1 finds a browser started now.
    CPoliteClient client;
    ExpectAnswersAtOnce(client, "while Wayfold waits for a browser");
    QProcess healthy;
    ASSERT_TRUE(StartBrowser(healthy, wayfold, "IEXPLORE")) << wayfold.Output();
    const std::string visit = "visit " + m_http.Url("/healthy.html") + "\n";
    healthy.write(visit.data(), static_cast<qint64>(visit.size()));
    ASSERT_TRUE(WaitUntil([&] { return !m_http.RequestsFor("/healthy.html").empty(); }, 5000));
    WaitUntil([] { return false; }, 500); // the page is stored

    QElapsedTimer ending;
    ending.start();
    EXPECT_TRUE(wayfold.Stop(2000)) << wayfold.Output();
    EXPECT_LT(ending.elapsed(), 2000);
    EXPECT_NE(wayfold.DumpUrls().find("\"url\":\"" + m_http.Url("/healthy.html") +
                                      "\",\"title\":\"Healthy\""),
              std::string::npos);
    if (paused.state() != QProcess::NotRunning) {
        paused.kill();
        paused.waitForFinished(5000);
    }
    healthy.kill();
    healthy.waitForFinished(5000);
}

INSTANTIATE_TEST_SUITE_P(, BadBrowserTest,
                         ::testing::Values(EBadBrowser::kHangs, EBadBrowser::kSlow,
                                           EBadBrowser::kClosesMidFrame,
                                           EBadBrowser::kPausedAfterRegistering),
                         BadBrowserName);

} // namespace
