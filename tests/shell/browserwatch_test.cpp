// The main frame following the browsers: DDE at creation, the four links and their poll, timer 1,
// "&Active Mode", the capture button, and a page visited in the stand-in browser becoming a
// stored site through the add-URL pipeline.

#include "browserlink/browserlink.h"
#include "browserlink/browserlinkset.h"
#include "dialogs/capturebuttondlg.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "shell/browserwatch.h"
#include "tests/browserlink/ddetestsupport.h"
#include "tests/shell/shellfixture.h"
#include "tests/support/loopbackhttpserver.h"

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>

#include <QElapsedTimer>

#include <csignal>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

// One wayfold-browser process.
class CStandIn {
public:
    explicit CStandIn(const QStringList& arguments) {
        m_process.start(QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-browser"), arguments);
        EXPECT_TRUE(m_process.waitForStarted(10000));
        EXPECT_TRUE(
            CShellFixture_Wait([this] { return Errors().find("is ready") != std::string::npos; }));
    }
    ~CStandIn() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    void Command(const std::string& line) {
        m_process.write((line + "\n").c_str());
        m_process.waitForBytesWritten(5000);
    }
    // Stops the process as a debugger or a busy machine would: it answers nothing.
    void Pause() { ::kill(static_cast<pid_t>(m_process.processId()), SIGSTOP); }
    std::string Errors() {
        m_errors += m_process.readAllStandardError().toStdString();
        return m_errors;
    }
    static bool CShellFixture_Wait(const std::function<bool()>& done) {
        return WaitUntil(done, 10000);
    }

private:
    QProcess m_process;
    std::string m_errors;
};

class BrowserWatchTest : public CShellFixture {
protected:
    void SetUp() override {
        CShellFixture::SetUp();
        setenv("WAYFOLD_DDE_DIR", m_dde.Path().c_str(), 1);
    }
    CBrowserWatch& Watch() { return *Frame().BrowserWatch(); }
    CPrivateDdeDir m_dde;
};

const char kPage[] = "<html><head><title>Followed page</title></head>"
                     "<body>Wayfold follows this page</body></html>";

TEST_F(BrowserWatchTest, BrowserWatch_RefusedSocketFolderShowsMessageAndFrameRunsOn) {
    ASSERT_EQ(chmod(m_dde.Path().c_str(), 0755), 0);
    Frame();
    EXPECT_EQ(m_errors, std::vector<std::string>{"DDE could not initialize"});
    EXPECT_EQ(g_ddeInstance, 0u);
    ASSERT_NE(Frame().BrowserWatch(), nullptr);
    EXPECT_TRUE(Watch().PollTimer()->isActive());
    Watch().Links().PollBrowsers(); // stays silent
    EXPECT_EQ(m_errors.size(), 1u);
}

TEST_F(BrowserWatchTest, BrowserWatch_LinksInOrderFirstPollAndTimerOne) {
    CStandIn browser({});
    Frame();
    // Registered by the first poll, without the timer.
    Watch().PollTimer()->stop();
    EXPECT_TRUE(WaitUntil([&] { return Watch().Links().IsRegistered(kLinkNetscape); }));
    Watch().PollTimer()->start();
    const auto number = [&](EBrowserLinkIndex which) {
        return std::stoi(Watch().Links().Link(which).OwnServiceName().substr(4));
    };
    EXPECT_EQ(number(kLinkNetscape), number(kLinkNSShell) + 1);
    EXPECT_EQ(number(kLinkIExplore), number(kLinkNSShell) + 2);
    EXPECT_EQ(number(kLinkOpera), number(kLinkNSShell) + 3);
    EXPECT_EQ(Watch().PollTimer()->interval(), 500);
    EXPECT_TRUE(Watch().PollTimer()->isActive());

    // A browser started later is found by timer 1.
    CStandIn opera({"--service", "OPERA", "--no-echo"});
    EXPECT_TRUE(WaitUntil([&] { return Watch().Links().IsRegistered(kLinkOpera); }, 5000));
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(BrowserWatchTest, BrowserWatch_ActiveModeCommandSwapsTheCaptureButton) {
    Frame();
    QAction* action = Watch().ActiveModeAction();
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), "&Active Mode");
    EXPECT_TRUE(Frame().OptionsMenu()->actions().contains(action));
    EXPECT_TRUE(Frame().ToolBar()->actions().contains(action));
    // First start: passive, so the capture button shows.
    EXPECT_FALSE(action->isChecked());
    ASSERT_NE(Watch().CaptureButton(), nullptr);
    EXPECT_EQ(Watch().CaptureButton()->windowTitle(), "QUORL: Passive Mode");
    EXPECT_TRUE(Watch().CaptureButton()->isVisible());

    action->trigger();
    EXPECT_TRUE(action->isChecked());
    EXPECT_TRUE(Frame().IsActiveMode());
    EXPECT_EQ(Watch().CaptureButton(), nullptr);
    action->trigger();
    EXPECT_FALSE(Frame().IsActiveMode());
    ASSERT_NE(Watch().CaptureButton(), nullptr);
    action->trigger();
    CloseFrame();
    EXPECT_EQ(SettingInFile("Active Mode").toInt(), 1);
}

TEST_F(BrowserWatchTest, BrowserWatch_CloseDropsLinksWithoutUnregisteringEchoes) {
    CStandIn browser({});
    Frame();
    ASSERT_TRUE(WaitUntil([&] { return Watch().Links().IsRegistered(kLinkNetscape); }));
    const std::string own = Watch().Links().Link(kLinkNetscape).OwnServiceName();
    EXPECT_TRUE(CRawPeer(m_dde.SocketPath(own)).IsConnected());
    CloseFrame();
    EXPECT_EQ(Frame().BrowserWatch(), nullptr);
    EXPECT_FALSE(CRawPeer(m_dde.SocketPath(own)).IsConnected());
    WaitUntil([] { return false; }, 300);
    EXPECT_NE(browser.Errors().find("URL echo registered for " + own), std::string::npos);
    EXPECT_EQ(browser.Errors().find("unregistered"), std::string::npos);
}

TEST_F(BrowserWatchTest, BrowserWatch_VisitInActiveModeBecomesAStoredSite) {
    CLoopbackHttpServer server;
    server.ServeText("/page.html", kPage);
    PutSetting("Active Mode", 1);
    CStandIn browser({});
    Frame();
    ASSERT_TRUE(WaitUntil([&] { return Watch().Links().IsRegistered(kLinkNetscape); }));
    EXPECT_EQ(Watch().CaptureButton(), nullptr);
    const std::string url = server.Url("/page.html");
    browser.Command("visit " + url);
    ASSERT_TRUE(WaitUntil([&] {
        const CSite* site = Frame().Database()->FindSite(url);
        return site && site->m_visited;
    })) << browser.Errors();
    EXPECT_EQ(Frame().Database()->FindSite(url)->m_title, "Followed page");
    EXPECT_EQ(server.RequestsFor("/page.html").size(), 1u);
}

TEST_F(BrowserWatchTest, BrowserWatch_PassiveVisitWaitsForTheCaptureButton) {
    CLoopbackHttpServer server;
    server.ServeText("/shown.html", kPage);
    CStandIn browser({"--service", "IEXPLORE"});
    Frame();
    ASSERT_TRUE(WaitUntil([&] { return Watch().Links().IsRegistered(kLinkIExplore); }));
    const std::string url = server.Url("/shown.html");
    browser.Command("visit " + url);
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(Frame().Database()->FindSite(url), nullptr); // echoed, but passive

    CCaptureButtonDlg* button = Watch().CaptureButton();
    ASSERT_NE(button, nullptr);
    // The browsers answer after the click; the button is busy once the page is taken.
    bool busyWhenTaken = false;
    QObject listening;
    QObject::connect(&Frame(), &CMainFrame::StatusTextChanged, &listening,
                     [&](const QString& text) {
                         if (text.toStdString() == "Processing: " + url)
                             busyWhenTaken = button->IsBusy();
                     });
    button->Button()->click();
    ASSERT_TRUE(WaitUntil([&] {
        const CSite* site = Frame().Database()->FindSite(url);
        return site && site->m_visited;
    })) << browser.Errors();
    EXPECT_TRUE(busyWhenTaken);
    EXPECT_TRUE(WaitUntil([&] { return !button->IsBusy(); }));
}

// A browser on NETSCAPE that hangs once its conversation is accepted, answers 3 s late, closes
// in the middle of its answer, or is paused after it registered; a healthy browser on IEXPLORE.
enum class EBadBrowser { kHangs, kSlow, kClosesMidFrame, kPausedAfterRegistering };

class BadBrowserTest : public BrowserWatchTest,
                       public ::testing::WithParamInterface<EBadBrowser> {};

std::string BadBrowserName(const ::testing::TestParamInfo<EBadBrowser>& info) {
    const char* const names[] = {"Hangs", "AnswersAfter3s", "ClosesMidFrame",
                                 "PausedAfterRegistering"};
    return names[static_cast<int>(info.param)];
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// While the window waits for the bad browser its event loop keeps turning, the healthy
// browser's page is taken in, and closing on a signal saves the data at once.
TEST_P(BadBrowserTest, BrowserWatch_WindowKeepsTurningTakesTheHealthyPageAndClosesAtOnce) {
    CLoopbackHttpServer server;
    server.ServeText("/healthy.html", kPage);
    PutSetting("Active Mode", 1);
    using EBehaviour = CMisbehavingPeer::EBehaviour;
    std::unique_ptr<CMisbehavingPeer> peer;
    std::unique_ptr<CStandIn> paused;
    switch (GetParam()) {
    case EBadBrowser::kHangs:
        peer = std::make_unique<CMisbehavingPeer>(m_dde.SocketPath("NETSCAPE"), EBehaviour::kHangs);
        break;
    case EBadBrowser::kSlow:
        peer = std::make_unique<CMisbehavingPeer>(m_dde.SocketPath("NETSCAPE"), EBehaviour::kSlow);
        break;
    case EBadBrowser::kClosesMidFrame:
        peer = std::make_unique<CMisbehavingPeer>(m_dde.SocketPath("NETSCAPE"),
                                                  EBehaviour::kClosesMidFrame);
        break;
    case EBadBrowser::kPausedAfterRegistering:
        paused = std::make_unique<CStandIn>(QStringList{});
        break;
    }
    CStandIn healthy({"--service", "IEXPLORE"});
    Frame();
    CBrowserLinkSet& links = Watch().Links();
    if (paused) {
        ASSERT_TRUE(WaitUntil([&] { return links.IsRegistered(kLinkNetscape); }));
        paused->Pause();
    }
    CHeartbeat heartbeat;
    ASSERT_TRUE(WaitUntil([&] { return links.IsRegistered(kLinkIExplore); }));
    const std::string url = server.Url("/healthy.html");
    healthy.Command("visit " + url);
    ASSERT_TRUE(WaitUntil([&] {
        const CSite* site = Frame().Database()->FindSite(url);
        return site && site->m_visited;
    })) << healthy.Errors();
    if (GetParam() == EBadBrowser::kSlow) { // registered in the end, and asked again
        ASSERT_TRUE(WaitUntil([&] { return links.IsRegistered(kLinkNetscape); }));
    }
    WaitUntil([] { return false; }, 500);
    if (GetParam() != EBadBrowser::kClosesMidFrame) {
        ASSERT_TRUE(WaitUntil([&] { return links.IsPolling(kLinkNetscape); }));
    }
    if (GetParam() == EBadBrowser::kHangs) { // the poll that waits is not started again
        EXPECT_EQ(peer->Connections(), 1);
    }
    EXPECT_GE(heartbeat.Beats(), 15);

    QElapsedTimer closing;
    closing.start();
    Frame().CloseOnSignal();
    EXPECT_TRUE(WaitUntil([&] { return Frame().BrowserWatch() == nullptr; }, 2000));
    EXPECT_LT(closing.elapsed(), 2000);
    EXPECT_NE(ReadFile(m_home.File("urls.wfx")).find(url), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(, BadBrowserTest,
                         ::testing::Values(EBadBrowser::kHangs, EBadBrowser::kSlow,
                                           EBadBrowser::kClosesMidFrame,
                                           EBadBrowser::kPausedAfterRegistering),
                         BadBrowserName);

} // namespace
