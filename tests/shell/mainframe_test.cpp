#include "common/debuglog.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordlist.h"
#include "shell/busyicons.h"
#include "shell/korvodoc.h"
#include "shell/settings.h"
#include "tests/shell/shellfixture.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

using MainFrameTest = CShellFixture;

TEST_F(MainFrameTest, MainFrame_FirstStartShowsTitlesWithActiveModeOffMaximized) {
    CMainFrame& frame = Frame();
    EXPECT_EQ(MainFrame(), &frame);
    EXPECT_EQ(frame.windowTitle(), "Wayfold 2.0");
    EXPECT_EQ(frame.Settings().viewFlags, 0xF2);
    EXPECT_FALSE(frame.IsActiveMode());
    EXPECT_EQ(frame.Settings().home, m_home.Path());
    EXPECT_TRUE(frame.ViewFlagAction(kViewTitle)->isChecked());
    EXPECT_FALSE(frame.ViewFlagAction(kViewUrl)->isChecked());
    EXPECT_TRUE(frame.ViewFlagAction(kViewCategories)->isChecked());
    EXPECT_TRUE(frame.SortAction(kSortByTitle)->isChecked());
    EXPECT_TRUE(frame.RankCatsAction()->isChecked());
    EXPECT_EQ(frame.LicenseText(), "Test license\n");
    frame.ShowAtSavedPlace();
    EXPECT_TRUE(frame.isMaximized());
    EXPECT_EQ(frame.ShownBusyIcon(), 0);
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(MainFrameTest, MainFrame_SavedRectangleIsUsedUnlessLeftIsZero) {
    PutSetting("WINL", 0);
    PutSetting("WINT", 40);
    PutSetting("WINR", 700);
    PutSetting("WINB", 600);
    Frame().ShowAtSavedPlace();
    EXPECT_TRUE(Frame().isMaximized());
    TearDown();
    SetUp();

    PutSetting("WINL", 30);
    PutSetting("WINT", 40);
    PutSetting("WINR", 700);
    PutSetting("WINB", 600);
    Frame().ShowAtSavedPlace();
    EXPECT_FALSE(Frame().isMaximized());
    EXPECT_EQ(Frame().geometry().width(), 670);
    EXPECT_EQ(Frame().geometry().height(), 560);
}

TEST_F(MainFrameTest, MainFrame_OverviewSavedTenWideOpensFiftyWide) {
    PutSetting("METAVIEW_WIDTH", 10);
    PutSetting("TREEVIEW_HEIGHT", -3);
    CMainFrame& frame = Frame();
    EXPECT_EQ(frame.Settings().metaViewWidth, 50);
    EXPECT_EQ(frame.Settings().treeViewHeight, 463);
    EXPECT_EQ(frame.OverviewPane()->minimumWidth(), 50);
    frame.ShowAtSavedPlace();
    EXPECT_GE(frame.OverviewPane()->width(), 50);
    EXPECT_GE(frame.OverviewPane()->height(), 50);
}

TEST_F(MainFrameTest, MainFrame_TogglingViewUrlsTwiceWritesUrlViewZero) {
    CMainFrame& frame = Frame();
    int updates = 0;
    QObject::connect(m_document.get(), &CKorvoDoc::ViewsUpdated, [&] { ++updates; });
    frame.ViewFlagAction(kViewUrl)->trigger();
    EXPECT_EQ(frame.Settings().viewFlags, 0xF3);
    EXPECT_TRUE(frame.ViewFlagAction(kViewUrl)->isChecked());
    frame.ViewFlagAction(kViewUrl)->trigger();
    EXPECT_EQ(frame.Settings().viewFlags, 0xF2);
    EXPECT_FALSE(frame.ViewFlagAction(kViewUrl)->isChecked());
    EXPECT_EQ(updates, 2);
    CloseFrame();
    EXPECT_EQ(SettingInFile("URL View").toInt(), 0);
    EXPECT_EQ(SettingInFile("TITLE View").toInt(), 2);
    EXPECT_EQ(SettingInFile("CATS View").toInt(), 0x80);
    EXPECT_EQ(SettingInFile("Active Mode").toInt(), 0);
    EXPECT_EQ(SettingInFile("Home").toString().toStdString(), m_home.Path());
}

// The map options are off at first, sit in the View menu (Declutter Labels on the toolbar too)
// and are written at close like the other view values.
TEST_F(MainFrameTest, MainFrame_MapOptionsAreViewFlagsOfTheViewMenuWrittenAtClose) {
    CMainFrame& frame = Frame();
    struct COption {
        std::int32_t bit;
        const char* text;
        bool onToolBar;
        const char* key;
    };
    const COption options[] = {{kViewDeclutter, "Declutter Labels", true, "DECLUTTER View"},
                               {kViewSoftLines, "Soft Lines", false, "SOFT LINES View"}};
    for (const COption& option : options) {
        QAction* action = frame.ViewFlagAction(option.bit);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text().toStdString(), option.text);
        EXPECT_TRUE(frame.ViewMenu()->actions().contains(action));
        EXPECT_EQ(frame.ToolBar()->actions().contains(action), option.onToolBar);
        EXPECT_FALSE(action->isChecked());
        action->trigger();
        EXPECT_TRUE(action->isChecked());
    }
    EXPECT_EQ(frame.Settings().viewFlags, 0xF2 | kViewDeclutter | kViewSoftLines);
    CloseFrame();
    for (const COption& option : options)
        EXPECT_EQ(SettingInFile(option.key).toInt(), option.bit) << option.key;
}

TEST_F(MainFrameTest, MainFrame_SortCommandsCheckOneItemAndAreWrittenAtClose) {
    CMainFrame& frame = Frame();
    frame.SortAction(kSortByDate)->trigger();
    EXPECT_EQ(frame.Settings().sortType, kSortByDate);
    EXPECT_TRUE(frame.SortAction(kSortByDate)->isChecked());
    EXPECT_FALSE(frame.SortAction(kSortByTitle)->isChecked());
    EXPECT_FALSE(frame.SortAction(kSortByUrl)->isChecked());
    frame.RankCatsAction()->trigger();
    EXPECT_EQ(frame.Settings().rankCats, 0);
    EXPECT_FALSE(frame.RankCatsAction()->isChecked());
    CloseFrame();
    EXPECT_EQ(SettingInFile("Sort Type").toInt(), 2);
    EXPECT_EQ(SettingInFile("Rank Cats").toInt(), 0);
}

TEST_F(MainFrameTest, MainFrame_CloseWritesEveryDataFileAndReleasesTheStore) {
    CMainFrame& frame = Frame();
    frame.Database()->AddSite(std::make_unique<CSite>("http://kept.example/", "Kept", "<NONE>", 1));
    CCategory* science = frame.CategoryTree()->Register(std::make_unique<CCategory>("Science"));
    science->AddSite(frame.Database()->FindSite("http://kept.example/"));
    CloseFrame();
    EXPECT_EQ(frame.Database(), nullptr);
    EXPECT_EQ(frame.CategoryTree(), nullptr);
    EXPECT_EQ(frame.LogBook(), nullptr);
    for (const char* name : {"urls.wfx", "cats.wfx", "stop.wfx", "filters.wfx"})
        EXPECT_TRUE(HomeHasFile(name)) << name;

    // The category was written while its site still existed.
    CSiteDatabase database;
    ASSERT_TRUE(database.Open(m_home.File("urls.wfx")));
    ASSERT_NE(database.FindSite("http://kept.example/"), nullptr);
    CCategoryTree tree;
    ASSERT_TRUE(tree.Open(m_home.File("cats.wfx"), database));
    tree.DetachFile();
    ASSERT_NE(tree.CategoryAt(0), nullptr);
    EXPECT_EQ(tree.CategoryAt(0)->m_sites.size(), 1u);
}

TEST_F(MainFrameTest, MainFrame_DataFilesComeFromHome) {
    CTempDir other;
    {
        std::ofstream(other.File("license.txt")) << "Other license";
        std::ofstream(other.File("stop.wfx")) << "the\nand\n";
    }
    PutSetting("Home", QString::fromStdString(other.Path()));
    CMainFrame& frame = Frame();
    EXPECT_EQ(frame.LicenseText(), "Other license");
    EXPECT_TRUE(frame.StopList()->Contains("THE"));
    EXPECT_TRUE(frame.StopList()->Contains("AND"));
    CloseFrame();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(other.File("urls.wfx"))));
    EXPECT_FALSE(HomeHasFile("urls.wfx"));
}

TEST_F(MainFrameTest, MainFrame_MissingLicenseIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QFile::remove(QString::fromStdString(m_home.File("license.txt")));
    EXPECT_EXIT(
        {
            SetErrorHandler([](const std::string& text, bool fatal) {
                std::fprintf(stderr, "%s:%s\n", fatal ? "fatal" : "error", text.c_str());
            });
            Frame();
        },
        ::testing::ExitedWithCode(1), "fatal:Can't open license.txt for read.");
}

TEST_F(MainFrameTest, MainFrame_HidingASiteHidesItsLinksAndClearsSelection) {
    CMainFrame& frame = Frame();
    CSite* site =
        frame.Database()->AddSite(std::make_unique<CSite>("http://a.example/", "A", "<NONE>", 1));
    CSite* link = site->AddLink(std::make_unique<CSite>("http://b.example/", "B", "<NONE>", 0));
    site->m_selected = true;
    link->m_selected = true;
    CSite* other =
        frame.Database()->AddSite(std::make_unique<CSite>("http://c.example/", "C", "<NONE>", 1));

    frame.Document()->HideSite(site);
    EXPECT_EQ(site->m_hidden, 1);
    EXPECT_EQ(link->m_hidden, 1);
    EXPECT_FALSE(site->m_selected);
    EXPECT_FALSE(link->m_selected);
    EXPECT_EQ(other->m_hidden, 0);

    frame.Document()->ShowLinks(site);
    EXPECT_EQ(link->m_hidden, 0);
    EXPECT_EQ(site->m_hidden, 1);

    frame.Document()->HideAll();
    EXPECT_EQ(other->m_hidden, 1);
    EXPECT_EQ(link->m_hidden, 1);
    frame.Document()->ShowAll();
    EXPECT_EQ(site->m_hidden, 0);
    EXPECT_EQ(link->m_hidden, 0);
    EXPECT_EQ(other->m_hidden, 0);
}

TEST_F(MainFrameTest, MainFrame_SiteLabelNamesTheCategoriesOfTheTree) {
    CMainFrame& frame = Frame();
    CSite* site = frame.Database()->AddSite(
        std::make_unique<CSite>("http://a.example/", "A title", "<NONE>", 1));
    CCategory* science = frame.CategoryTree()->Register(std::make_unique<CCategory>("Science"));
    CCategory* art = frame.CategoryTree()->Register(std::make_unique<CCategory>("Art"));
    science->AddSite(site);
    art->AddSite(site);
    EXPECT_EQ(frame.Document()->SiteLabelText(*site, true), "A title;Science/Art");
    frame.SetViewFlag(kViewUrl, true);
    EXPECT_EQ(frame.Document()->SiteLabelText(*site, false),
              "http://a.example/\n\rA title\n\rScience/Art");
}

TEST_F(MainFrameTest, MainFrame_StatusBarShowsBusyIconAndText) {
    CMainFrame& frame = Frame();
    frame.SetStatusText("Processing: http://x.example/");
    EXPECT_EQ(frame.StatusText(), "Processing: http://x.example/");
    auto* busy = frame.statusBar()->findChild<QLabel*>("BusyPane");
    ASSERT_NE(busy, nullptr);
    EXPECT_EQ(busy->width(), 100);
    frame.ShowBusyIcon(7);
    EXPECT_EQ(busy->pixmap().toImage(), BusyIcon(7).toImage());
    EXPECT_NE(BusyIcon(7).toImage(), BusyIcon(0).toImage());
    EXPECT_EQ(BusyIcon(19).toImage(), BusyIcon(0).toImage());
}

TEST_F(MainFrameTest, MainFrame_LongStatusTextDoesNotWidenTheWindow) {
    CMainFrame& frame = Frame();
    frame.ShowAtSavedPlace();
    const int before = frame.minimumSizeHint().width();
    frame.SetStatusText("Processing: http://long.example/?q=" + std::string(8000, 'q'));
    EXPECT_EQ(frame.minimumSizeHint().width(), before);
    EXPECT_LT(frame.minimumSizeHint().width(), 1000);
}

TEST_F(MainFrameTest, MainFrame_QuestionMarkKeyTogglesDebugModeAndRefreshes) {
    CMainFrame& frame = Frame();
    frame.ShowAtSavedPlace();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    int updates = 0;
    QObject::connect(m_document.get(), &CKorvoDoc::ViewsUpdated, [&] { ++updates; });
    const bool before = IsDebugMode();
    QTest::keyClick(&frame, Qt::Key_Question);
    EXPECT_NE(IsDebugMode(), before);
    EXPECT_EQ(updates, 1);
    QTest::keyClick(&frame, Qt::Key_Question, Qt::ShiftModifier);
    EXPECT_EQ(IsDebugMode(), before);
    EXPECT_EQ(updates, 2);
}

TEST_F(MainFrameTest, MainFrame_SignalCloseWritesSettingsAndFiles) {
    CMainFrame& frame = Frame();
    frame.ShowAtSavedPlace();
    frame.CloseOnSignal();
    EXPECT_TRUE(WaitUntil([&] { return frame.Database() == nullptr; }));
    EXPECT_TRUE(HomeHasFile("urls.wfx"));
    EXPECT_EQ(SettingInFile("TITLE View").toInt(), 2);
    EXPECT_FALSE(frame.isVisible());
}

} // namespace
