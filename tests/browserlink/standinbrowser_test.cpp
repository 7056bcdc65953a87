// Wayfold's browser link talking to the stand-in browser, wayfold-browser, in its own process.

#include "browserlink/browserlink.h"
#include "browserlink/browserlinkowner.h"
#include "browserlink/browserlinkset.h"
#include "common/debuglog.h"
#include "model/errorreport.h"

#include "tests/browserlink/ddetestsupport.h"
#include "tests/support/currentdirectory.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace {

class CRecordingOwner : public CBrowserLinkOwner {
public:
    bool IsActiveMode() const override { return active; }
    bool IsNewUrl(const std::string& url) override {
        return std::find(started.begin(), started.end(), url) == started.end();
    }
    void StartAddUrl(const std::string& url) override { started.push_back(url); }
    bool Started(const std::string& url) const {
        return std::find(started.begin(), started.end(), url) != started.end();
    }

    bool active = true;
    std::vector<std::string> started;
};

// One wayfold-browser process with its output collected.
class CStandIn {
public:
    explicit CStandIn(const QStringList& arguments) {
        m_process.start(QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-browser"), arguments);
        EXPECT_TRUE(m_process.waitForStarted(10000));
        EXPECT_TRUE(WaitUntil([this] { return Errors().find("is ready") != std::string::npos; }))
            << Errors();
    }
    ~CStandIn() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    void Command(const std::string& line) {
        m_process.write((line + "\n").c_str());
        m_process.waitForBytesWritten(5000);
    }
    void EndInput() { m_process.closeWriteChannel(); }
    bool Exited() {
        return WaitUntil([this] { return m_process.state() == QProcess::NotRunning; });
    }
    std::string Output() {
        m_output += m_process.readAllStandardOutput().toStdString();
        return m_output;
    }
    std::string Errors() {
        m_errors += m_process.readAllStandardError().toStdString();
        return m_errors;
    }

private:
    QProcess m_process;
    std::string m_output;
    std::string m_errors;
};

class StandInBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(InitializeBrowserDde());
        m_previous =
            SetErrorHandler([this](const std::string& text, bool) { errors.push_back(text); });
        links = std::make_unique<CBrowserLinkSet>(&owner);
    }
    void TearDown() override {
        links.reset();
        SetErrorHandler(m_previous);
        UninitializeBrowserDde();
    }
    // One poll, waited for to its end.
    void PollAndWait() {
        links->PollBrowsers();
        EXPECT_TRUE(WaitUntil([this] {
            for (int i = 0; i < kBrowserLinkCount; ++i)
                if (links->IsPolling(static_cast<EBrowserLinkIndex>(i)))
                    return false;
            return true;
        }));
    }
    // Polls every 100 ms, as timer 1 would (less often), until `done` holds.
    bool PollUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
        return WaitUntil(
            [&] {
                links->PollBrowsers();
                return done() || !WaitUntil(done, 100) ? done() : true;
            },
            timeoutMs);
    }

    CPrivateDdeDir dir;
    CRecordingOwner owner;
    std::unique_ptr<CBrowserLinkSet> links;
    std::vector<std::string> errors;

private:
    ErrorHandler m_previous;
};

TEST_F(StandInBrowserTest, PollRegistersItAndVisitsArriveAsEchoes) {
    CStandIn browser({});
    PollAndWait();
    ASSERT_TRUE(links->IsRegistered(kLinkNetscape));
    EXPECT_FALSE(links->IsRegistered(kLinkOpera));

    browser.Command("visit http://127.0.0.1:9/page.html");
    browser.Command("visit http://127.0.0.1:9/picture.GIF");
    browser.Command("visit http://127.0.0.1:9/notes.txt text/plain");
    browser.Command("visit http://127.0.0.1:9/parsed.html internal/parser");
    ASSERT_TRUE(WaitUntil([&] { return owner.Started("http://127.0.0.1:9/parsed.html"); }))
        << browser.Errors();
    EXPECT_EQ(owner.started, (std::vector<std::string>{"http://127.0.0.1:9/page.html",
                                                       "http://127.0.0.1:9/parsed.html"}));
    EXPECT_TRUE(errors.empty());
}

TEST_F(StandInBrowserTest, ExitIsNoticedByNextPollAndRestartIsRegisteredAgain) {
    auto browser = std::make_unique<CStandIn>(QStringList{});
    PollAndWait();
    ASSERT_TRUE(links->IsRegistered(kLinkNetscape));
    browser->Command("quit");
    ASSERT_TRUE(browser->Exited());
    PollAndWait();
    EXPECT_FALSE(links->IsRegistered(kLinkNetscape));

    browser = std::make_unique<CStandIn>(QStringList{});
    PollAndWait();
    ASSERT_TRUE(links->IsRegistered(kLinkNetscape));
    browser->Command("visit http://127.0.0.1:9/again.html");
    EXPECT_TRUE(WaitUntil([&] { return owner.Started("http://127.0.0.1:9/again.html"); }))
        << browser->Errors();
}

TEST_F(StandInBrowserTest, DetectionIsWrittenToTheDebugLog) {
    CPrivateDdeDir logFolder;
    setenv("WAYFOLD_DDE_DIR", dir.Path().c_str(), 1);
    CCurrentDirectory inLogFolder(logFolder.Path());
    ToggleDebugMode();
    // One at a time: browsers polled together are detected in the order they answer.
    CStandIn netscape({"--service", "netscape"});
    PollAndWait();
    CStandIn opera({"--service", "OPERA", "--no-echo"});
    PollAndWait();
    std::ifstream file(logFolder.Path() + "/debug.wfx");
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), "[1] Detected Netscape\n[2] Detected Opera\n");
}

// What `echo "visit URL" | wayfold-browser` does: the command waits for the echo registration,
// then the browser quits at the end of its input.
TEST_F(StandInBrowserTest, PipedVisitWaitsForRegistrationThenQuits) {
    CStandIn browser({});
    browser.Command("visit http://127.0.0.1:9/piped.html");
    browser.EndInput();
    ASSERT_TRUE(PollUntil([&] { return owner.Started("http://127.0.0.1:9/piped.html"); }))
        << browser.Errors();
    EXPECT_TRUE(browser.Exited());
}

TEST_F(StandInBrowserTest, OpenUrlReachesTheRegisteredBrowser) {
    CStandIn browser({"--service", "IEXPLORE"});
    PollAndWait();
    ASSERT_TRUE(links->IsRegistered(kLinkIExplore));
    CBrowserLink& link = links->Link(kLinkIExplore);
    link.OpenUrl("http://127.0.0.1:9/opened.html", "", 0xFFFFFFFF, 0, "", "",
                 link.OwnServiceName());
    EXPECT_TRUE(WaitUntil([&] { return browser.Output() == "http://127.0.0.1:9/opened.html\n"; }))
        << browser.Output();
    // The new window is listed and shows the URL.
    const auto windows = Await<std::vector<uint32_t>>([&](auto done) { link.ListWindows(done); });
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(Await<std::string>([&](auto done) { link.GetWindowInfo(windows[1], done); }),
              "http://127.0.0.1:9/opened.html");
}

TEST_F(StandInBrowserTest, SilentOperaIsReadByTheWindowScan) {
    CStandIn opera({"--service", "OPERA", "--no-echo"});
    opera.Command("visit http://127.0.0.1:9/first.html");
    opera.Command("window");
    opera.Command("visit http://127.0.0.1:9/second%20page.html");
    opera.Command("window");
    opera.Command("visit http://127.0.0.1:9/image.jpg");
    ASSERT_TRUE(PollUntil([&] { return owner.started.size() >= 2; })) << opera.Errors();
    EXPECT_EQ(owner.started, (std::vector<std::string>{"http://127.0.0.1:9/first.html",
                                                       "http://127.0.0.1:9/second page.html"}));
}

TEST_F(StandInBrowserTest, PassiveCaptureTakesEveryBrowsersCurrentPages) {
    owner.active = false;
    CStandIn nsshell({"--service", "NSShell", "--no-echo"});
    CStandIn ie({"--service", "IEXPLORE", "--no-echo"});
    nsshell.Command("visit http://127.0.0.1:9/ns.html");
    ie.Command("visit http://127.0.0.1:9/ie-one.html");
    ie.Command("window");
    ie.Command("visit http://127.0.0.1:9/ns.html");
    ie.Command("window");
    ie.Command("visit http://127.0.0.1:9/ie-two.html");
    std::multiset<std::string> taken;
    ASSERT_TRUE(WaitUntil([&] {
        taken.clear();
        // Each capture starts from nothing, as if no page had been taken yet.
        owner.started.clear();
        bool over = false;
        links->CaptureCurrentPages(
            [&](const std::string& url) {
                taken.insert(url);
                owner.StartAddUrl(url);
            },
            [&](int) { over = true; });
        return WaitUntil([&] { return over; }) && taken.size() == 3;
    })) << taken.size();
    // Browsers asked together answer in any order; the page both show is taken once.
    EXPECT_EQ(taken, (std::multiset<std::string>{"http://127.0.0.1:9/ns.html",
                                                 "http://127.0.0.1:9/ie-one.html",
                                                 "http://127.0.0.1:9/ie-two.html"}));
}

TEST_F(StandInBrowserTest, SecondBrowserOnTheSameServiceIsRefused) {
    CStandIn first({});
    QProcess second;
    second.start(QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-browser"), {"-s", "NETSCAPE"});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("already served"));
}

} // namespace
