// The main frame's display and browser commands: the colour and font commands in the Options
// menu, the maker's home page in the Help menu, and OpenSite reaching the browser through a
// registered link of the stand-in browser or through the browser program.

#include "browserlink/browserlinkset.h"
#include "model/site.h"
#include "shell/browserlauncher.h"
#include "shell/browserwatch.h"
#include "shell/colorref.h"
#include "shell/displaysettings.h"
#include "tests/browserlink/ddetestsupport.h"
#include "tests/dialogs/modalhelper.h"
#include "tests/shell/shellfixture.h"

#include <QAction>
#include <QColorDialog>
#include <QMenu>
#include <QProcess>

#include <sys/stat.h>

namespace {

QAction* FindAction(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

// One wayfold-browser process serving `service`; what it was asked to open comes on its
// standard output.
class CStandInBrowser {
public:
    explicit CStandInBrowser(const QString& service) {
        m_process.start(QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-browser"),
                        {QStringLiteral("--service"), service});
        EXPECT_TRUE(m_process.waitForStarted(10000));
        EXPECT_TRUE(WaitUntil([this] {
            m_errors += m_process.readAllStandardError().toStdString();
            return m_errors.find("is ready") != std::string::npos;
        }));
    }
    ~CStandInBrowser() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // The lines of standard output so far.
    QStringList Opened() {
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QProcess m_process;
    std::string m_errors;
    QString m_output;
};

class FrameLaunchTest : public CShellFixture {
protected:
    CPrivateDdeDir m_dde;
};

} // namespace

TEST_F(FrameLaunchTest, FrameLaunch_OptionsColourCommandWritesSettingsFileAndUpdatesViews) {
    CMainFrame& frame = Frame();
    int updates = 0;
    QObject::connect(m_document.get(), &CKorvoDoc::ViewsUpdated, [&] { ++updates; });
    QAction* command = FindAction(frame.OptionsMenu(), QStringLiteral("Map Category Color"));
    ASSERT_NE(command, nullptr);
    ASSERT_NE(FindAction(frame.OptionsMenu(), QStringLiteral("Words &Font")), nullptr);
    AnswerNextModal<QColorDialog>([](QColorDialog* dialog) {
        dialog->setCurrentColor(QColor(0x0A, 0x0B, 0x0C));
        dialog->accept();
    });
    command->trigger();
    EXPECT_EQ(SettingInFile("Category Color").toUInt(), 0x0C0B0Au);
    EXPECT_EQ(frame.Settings().categoryColor, 0x0C0B0Au);
    EXPECT_EQ(RefFromColor(frame.DisplaySettings()->DrawingObjects().categoryPen.color()),
              0x0C0B0Au);
    EXPECT_EQ(updates, 1);
}

TEST_F(FrameLaunchTest, FrameLaunch_HelpMenuOpensMakerHomePage) {
    CMainFrame& frame = Frame();
    QAction* command = FindAction(frame.HelpMenu(), QStringLiteral("&Quellon Software"));
    ASSERT_NE(command, nullptr);
    std::vector<std::string> asked;
    frame.Launcher()->SetDefaultBrowserOpener([&](const std::string& url) {
        asked.push_back(url);
        return false;
    });
    command->trigger();
    EXPECT_EQ(asked, std::vector<std::string>{CBrowserLauncher::kMakerHomePage});
    EXPECT_EQ(m_errors, std::vector<std::string>{std::string("Can't find ") +
                                                 CBrowserLauncher::kMakerHomePage + "."});
}

TEST_F(FrameLaunchTest, FrameLaunch_OperaWithoutBrowserRunningReportsMissingProgram) {
    PutSetting("Default Browser", 0);
    PutSetting("Browser", 3);
    PutSetting("Browser Path", QString::fromStdString(m_home.File("opera")));
    CMainFrame& frame = Frame();
    CSite site("http://example.test/o", "O", "<NONE>", 1);
    frame.OpenSite(&site);
    EXPECT_EQ(m_errors, std::vector<std::string>{"Can't find " + m_home.File("opera") +
                                                 " http://example.test/o."});
}

TEST_F(FrameLaunchTest, FrameLaunch_NetscapeChosenAndOnlyNSShellRunningGetsTheUrl) {
    CStandInBrowser nsshell(QStringLiteral("NSShell"));
    PutSetting("Default Browser", 0);
    PutSetting("Browser", 1);
    PutSetting("Browser Path", QString::fromStdString(m_home.File("netscape")));
    CMainFrame& frame = Frame();
    CBrowserLinkSet& links = frame.BrowserWatch()->Links();
    ASSERT_TRUE(WaitUntil(
        [&] { return links.IsRegistered(kLinkNSShell) && !links.IsPolling(kLinkNetscape); }));
    ASSERT_FALSE(links.IsRegistered(kLinkNetscape));

    CSite site("http://example.test/page;$(touch x).html", "P", "<NONE>", 1);
    frame.OpenSite(&site);
    EXPECT_TRUE(WaitUntil([&] { return !nsshell.Opened().isEmpty(); }));
    EXPECT_EQ(nsshell.Opened(),
              QStringList{QStringLiteral("http://example.test/page;$(touch x).html")});
    EXPECT_TRUE(m_errors.empty()); // the missing program was never started
}
