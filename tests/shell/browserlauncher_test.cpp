#include "shell/browserlauncher.h"

#include "model/errorreport.h"
#include "model/site.h"
#include "shell/browserlinkaccess.h"
#include "shell/commandwords.h"
#include "shell/settings.h"
#include "tests/dialogs/modalhelper.h"
#include "tests/support/tempdir.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

using Words = std::vector<std::string>;

// Links whose registered flags the test sets; WWW_OpenURL calls are recorded.
class CFakeLinks : public CBrowserLinkAccess {
public:
    bool IsRegistered(EBrowserLinkIndex which) const override { return registered[which]; }
    void OpenUrl(EBrowserLinkIndex which, const std::string& url) override {
        opened.emplace_back(which, url);
    }

    bool registered[kBrowserLinkCount] = {};
    std::vector<std::pair<EBrowserLinkIndex, std::string>> opened;
};

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousHandler =
            SetErrorHandler([this](const std::string& text, bool) { m_errors.push_back(text); });
        m_settings.defaultBrowser = 0;
        m_settings.browser = 1;
        m_settings.browserPath = m_dir.File("no-such-browser");
    }
    void TearDown() override { SetErrorHandler(m_previousHandler); }

    // A browser program that writes each of its arguments on a line of `out`.
    std::string WriteRecorder(const std::string& path, const std::string& out) {
        std::ofstream script(path);
        script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << out
               << ".part'\n/bin/mv '" << out << ".part' '" << out << "'\n";
        script.close();
        ::chmod(path.c_str(), 0700);
        return path;
    }

    // The recorded arguments, once the detached program has written them (waits up to 10 s).
    static Words WaitForArguments(const std::string& out) {
        QElapsedTimer clock;
        clock.start();
        while (!QFile::exists(QString::fromStdString(out)) && clock.elapsed() < 10000)
            QThread::msleep(20);
        std::ifstream file(out);
        Words lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }

    CTempDir m_dir;
    CSettings m_settings{"/start"};
    CFakeLinks m_links;
    std::vector<std::string> m_errors;
    ErrorHandler m_previousHandler;
};

} // namespace

TEST(LaunchErrorText, FourCodesHaveTheirMessagesOthersNone) {
    EXPECT_EQ(CBrowserLauncher::LaunchErrorText(0, "x y"), "Can't start x y. Out of memory.");
    EXPECT_EQ(CBrowserLauncher::LaunchErrorText(2, "x y"), "Can't find x y.");
    EXPECT_EQ(CBrowserLauncher::LaunchErrorText(3, "x y"), "Invalid path x y.");
    EXPECT_EQ(CBrowserLauncher::LaunchErrorText(11, "x y"), "Can't start x y. Invalid executable.");
    for (int code : {1, 5, 31, 32, 42})
        EXPECT_EQ(CBrowserLauncher::LaunchErrorText(code, "x y"), "") << code;
}

TEST(CommandWords, JoinedWordsSplitBackToThemselves) {
    const std::vector<Words> cases = {
        {"/usr/bin/firefox"},
        {"/usr/bin/flatpak", "run", "--branch=stable", "org.mozilla.firefox"},
        {"/opt/my browser/run", "it's", "", "$HOME", "a\"b\\c", "tab\there"},
    };
    for (const Words& words : cases)
        EXPECT_EQ(SplitCommandWords(JoinCommandWords(words)), words) << JoinCommandWords(words);
    EXPECT_EQ(JoinCommandWords({"/usr/bin/chromium", "--new-window"}),
              "/usr/bin/chromium --new-window");
    EXPECT_EQ(JoinCommandWords({"/opt/my browser/run", "it's"}),
              "'/opt/my browser/run' 'it'\\''s'");
}

TEST(CommandWords, SplitsLikeAShellWithoutExpanding) {
    EXPECT_EQ(SplitCommandWords(""), Words{});
    EXPECT_EQ(SplitCommandWords("  \t "), Words{});
    EXPECT_EQ(SplitCommandWords("/usr/bin/firefox"), Words{"/usr/bin/firefox"});
    EXPECT_EQ(SplitCommandWords(" a  b\tc "), (Words{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandWords("'/opt/my browser/run' -new"),
              (Words{"/opt/my browser/run", "-new"}));
    EXPECT_EQ(SplitCommandWords("\"/opt/my browser/run\" \"a \\\"q\\\" \\$x \\y\""),
              (Words{"/opt/my browser/run", "a \"q\" $x \\y"}));
    EXPECT_EQ(SplitCommandWords("/opt/my\\ browser/run"), Words{"/opt/my browser/run"});
    EXPECT_EQ(SplitCommandWords("a'b c'\"d e\"f"), Words{"ab cd ef"});
    EXPECT_EQ(SplitCommandWords("'' x \"\""), (Words{"", "x", ""}));
    EXPECT_EQ(SplitCommandWords("'it\\s'"), Words{"it\\s"});
    EXPECT_EQ(SplitCommandWords("$HOME ~ *.sh `id` $(id);x|y&z"),
              (Words{"$HOME", "~", "*.sh", "`id`", "$(id);x|y&z"}));
    EXPECT_EQ(SplitCommandWords("a\\\nb"), Words{"ab"});
    EXPECT_EQ(SplitCommandWords("'open quote runs on"), Words{"open quote runs on"});
    EXPECT_EQ(SplitCommandWords("end\\"), Words{"end\\"});
}

TEST_F(LauncherTest, ProgramStartErrorsNameThePathAndTheUrl) {
    const std::string url = "http://example.test/a";

    m_settings.browserPath = m_dir.File("missing/browser");
    CBrowserLauncher(m_settings, &m_links, nullptr).OpenUrl(url);

    const std::string regular = m_dir.File("regular");
    std::ofstream(regular) << "text";
    m_settings.browserPath = regular + "/browser";
    CBrowserLauncher(m_settings, &m_links, nullptr).OpenUrl(url);

    ::chmod(regular.c_str(), 0600);
    m_settings.browserPath = regular;
    CBrowserLauncher(m_settings, &m_links, nullptr).OpenUrl(url);

    m_settings.browserPath = m_dir.Path();
    CBrowserLauncher(m_settings, &m_links, nullptr).OpenUrl(url);

    EXPECT_EQ(m_errors,
              (Words{"Can't find " + m_dir.File("missing/browser") + " " + url + ".",
                     "Invalid path " + regular + "/browser " + url + ".",
                     "Can't start " + regular + " " + url + ". Invalid executable.",
                     "Can't start " + m_dir.Path() + " " + url + ". Invalid executable."}));
}

TEST_F(LauncherTest, EmptyBrowserPathAsksToConfigureTheBrowser) {
    CBrowserLauncher launcher(m_settings, &m_links, nullptr);
    int configureCalls = 0;
    launcher.SetConfigureBrowserHandler([&] { ++configureCalls; });
    QString question;
    for (const char* path : {"", " \t "}) {
        m_settings.browserPath = path;
        AnswerNextModal<QMessageBox>([&](QMessageBox* box) {
            question = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        launcher.OpenUrl("http://example.test/e");
    }
    EXPECT_EQ(configureCalls, 2);
    EXPECT_EQ(question.toStdString(),
              "No browser program is set under \"Browser Path\", so Wayfold cannot open "
              "http://example.test/e. Press OK to configure browser, CANCEL to ignore.");
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(LauncherTest, UrlWithShellSyntaxReachesBrowserAsOneArgumentAndRunsNothing) {
    const std::string out = m_dir.File("args.txt");
    const std::string marker = m_dir.File("touched");
    m_settings.browserPath = WriteRecorder(m_dir.File("browser.sh"), out);
    const std::string url = "http://example.test/?a=1;touch " + marker + ";b=$(touch " + marker +
                            ")`touch " + marker + "`|cat&";

    CBrowserLauncher(m_settings, &m_links, nullptr).OpenUrl(url);

    EXPECT_EQ(WaitForArguments(out), Words{url});
    EXPECT_TRUE(m_errors.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(marker)));
}

TEST_F(LauncherTest, QuotedBrowserPathWordsBecomeSeparateArguments) {
    CTempDir spaced;
    const std::string folder = spaced.File("my browser");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string out = m_dir.File("args.txt");
    const std::string program = WriteRecorder(folder + "/run it", out);
    m_settings.browserPath = "'" + program + "' --flag \"two words\" back\\ slash '$HOME'";

    CBrowserLauncher(m_settings, &m_links, nullptr).OpenUrl("http://example.test/");

    EXPECT_EQ(WaitForArguments(out),
              (Words{"--flag", "two words", "back slash", "$HOME", "http://example.test/"}));
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(LauncherTest, BareProgramNameIsFoundThroughPath) {
    const std::string out = m_dir.File("args.txt");
    WriteRecorder(m_dir.File("wayfold-test-browser"), out);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", ("/nonexistent-folder:" + m_dir.Path()).c_str(), 1);
    m_settings.browserPath = "wayfold-test-browser --new-tab";
    CBrowserLauncher(m_settings, &m_links, nullptr).OpenUrl("http://example.test/p");
    m_settings.browserPath = "wayfold-no-such-browser-anywhere";
    CBrowserLauncher(m_settings, &m_links, nullptr).OpenUrl("http://example.test/p");
    ::setenv("PATH", oldPath.c_str(), 1);

    EXPECT_EQ(WaitForArguments(out), (Words{"--new-tab", "http://example.test/p"}));
    EXPECT_EQ(m_errors,
              Words{"Can't find wayfold-no-such-browser-anywhere http://example.test/p."});
}

TEST_F(LauncherTest, NamedBrowserGoesToItsRegisteredLinkFirst) {
    const std::string url = "http://example.test/x";
    m_links.registered[kLinkNSShell] = true;
    CBrowserLauncher launcher(m_settings, &m_links, nullptr);
    launcher.OpenUrl(url); // NETSCAPE not registered: NSShell
    m_links.registered[kLinkNetscape] = true;
    launcher.OpenUrl(url); // both: NETSCAPE
    m_settings.browser = 2;
    m_links.registered[kLinkIExplore] = true;
    launcher.OpenUrl(url);
    m_settings.browser = 3;
    m_links.registered[kLinkOpera] = true;
    launcher.OpenUrl(url);

    using Sent = std::pair<EBrowserLinkIndex, std::string>;
    EXPECT_EQ(
        m_links.opened,
        (std::vector<Sent>{
            {kLinkNSShell, url}, {kLinkNetscape, url}, {kLinkIExplore, url}, {kLinkOpera, url}}));
    EXPECT_TRUE(m_errors.empty()); // the missing browser path was never tried
}

TEST_F(LauncherTest, OperaWithoutLiveLinkAndMissingPathCantFindPathAndUrl) {
    m_settings.browser = 3;
    m_links.registered[kLinkNetscape] = true;
    m_links.registered[kLinkNSShell] = true;
    m_links.registered[kLinkIExplore] = true;
    CBrowserLauncher(m_settings, &m_links, nullptr).OpenUrl("http://example.test/o");
    EXPECT_TRUE(m_links.opened.empty());
    EXPECT_EQ(m_errors, Words{"Can't find " + m_settings.browserPath + " http://example.test/o."});
}

TEST_F(LauncherTest, NoLinksAtAllStartsTheProgramAndUnknownBrowserDoesNothing) {
    CBrowserLauncher(m_settings, nullptr, nullptr).OpenUrl("http://example.test/n");
    m_settings.browser = 4;
    m_links.registered[kLinkNetscape] = true;
    CBrowserLauncher(m_settings, &m_links, nullptr).OpenUrl("http://example.test/n");
    EXPECT_TRUE(m_links.opened.empty());
    EXPECT_EQ(m_errors, Words{"Can't find " + m_settings.browserPath + " http://example.test/n."});
}

TEST_F(LauncherTest, DefaultBrowserGetsTheSiteUrlAndNoLinkIsUsed) {
    m_settings.defaultBrowser = 1;
    m_links.registered[kLinkNetscape] = true;
    CBrowserLauncher launcher(m_settings, &m_links, nullptr);
    Words asked;
    launcher.SetDefaultBrowserOpener([&](const std::string& url) {
        asked.push_back(url);
        return true;
    });
    CSite site("http://example.test/site", "Title", "<NONE>", 1);
    launcher.OpenSite(&site);
    launcher.OpenSite(nullptr);
    EXPECT_EQ(asked, Words{"http://example.test/site"});
    EXPECT_TRUE(m_links.opened.empty());
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(LauncherTest, DefaultBrowserFailingForFileUrlIsReported) {
    m_settings.defaultBrowser = 1;
    CBrowserLauncher launcher(m_settings, &m_links, nullptr);
    int openerCalls = 0;
    launcher.SetDefaultBrowserOpener([&](const std::string&) {
        ++openerCalls;
        return false;
    });
    const std::string missing = "file://" + m_dir.File("missing.html");
    const std::string present = "file://" + m_dir.File("present.html");
    std::ofstream(m_dir.File("present.html")) << "<html></html>";
    const std::string throughFile = "file://" + m_dir.File("present.html") + "/x.html";

    launcher.OpenUrl(missing);     // found missing before the opener is asked
    launcher.OpenUrl(present);     // the opener fails
    launcher.OpenUrl(throughFile); // a path element is a file

    EXPECT_EQ(openerCalls, 1);
    EXPECT_EQ(m_errors, (Words{"Can't find " + missing + ".", "Can't find " + present + ".",
                               "Invalid path " + throughFile + "."}));
}

TEST_F(LauncherTest, DefaultBrowserFailingForWebUrlAsksToConfigure) {
    m_settings.defaultBrowser = 1;
    CBrowserLauncher launcher(m_settings, &m_links, nullptr);
    launcher.SetDefaultBrowserOpener([](const std::string&) { return false; });
    int configureCalls = 0;
    launcher.SetConfigureBrowserHandler([&] { ++configureCalls; });

    QString question;
    int buttonCount = 0;
    AnswerNextModal<QMessageBox>([&](QMessageBox* box) {
        question = box->text();
        buttonCount = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Cancel)->click();
    });
    launcher.OpenUrl("http://example.test/web");
    EXPECT_EQ(configureCalls, 0);

    AnswerNextModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });
    launcher.OpenUrl("http://example.test/web");
    EXPECT_EQ(configureCalls, 1);

    EXPECT_EQ(question.toStdString(),
              "Error: Default browser access is not available for certain older Windows 95 (tm) "
              "set-ups. Press OK to configure browser, CANCEL to ignore.");
    EXPECT_EQ(buttonCount, 2);
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(LauncherTest, MakerHomePageFailureIsAlwaysReported) {
    m_settings.defaultBrowser = 1;
    CBrowserLauncher launcher(m_settings, &m_links, nullptr);
    Words asked;
    launcher.SetDefaultBrowserOpener([&](const std::string& url) {
        asked.push_back(url);
        return false;
    });
    launcher.OpenMakerHomePage();
    EXPECT_EQ(asked, Words{CBrowserLauncher::kMakerHomePage});
    EXPECT_EQ(m_errors, Words{std::string("Can't find ") + CBrowserLauncher::kMakerHomePage + "."});

    m_settings.defaultBrowser = 0;
    m_settings.browser = 2;
    m_links.registered[kLinkIExplore] = true;
    launcher.OpenMakerHomePage();
    ASSERT_EQ(m_links.opened.size(), 1u);
    EXPECT_EQ(m_links.opened[0].second, CBrowserLauncher::kMakerHomePage);
}
