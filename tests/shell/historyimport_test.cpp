#include "shell/historyimport.h"

#include "dialogs/historyimportcommand.h"
#include "dialogs/importprogressdlg.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/sitefilter.h"
#include "model/sitefilterlist.h"
#include "tests/history/historyfiles.h"
#include "tests/shell/shellfixture.h"
#include "tests/support/loopbackhttpserver.h"
#include "tests/support/reservedport.h"
#include "views/urllist.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

std::string Page(const std::string& title) {
    return "<html><head><title>" + title + "</title></head><body>physics " + title +
           "</body></html>";
}

class HistoryImportTest : public CShellFixture {
protected:
    void SetUp() override {
        CShellFixture::SetUp();
        // Any modal dialog (rankings, error box) is counted and closed.
        QObject::connect(&m_modalWatch, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ++m_modalDialogs;
                dialog->reject();
            }
        });
        m_modalWatch.start(10);
    }

    CHistoryImport& NewImport() {
        if (!Frame().isVisible())
            Frame().ShowAtSavedPlace();
        m_import = std::make_unique<CHistoryImport>(*Frame().Pipeline(), [this] { ++m_refreshes; });
        return *m_import;
    }

    bool WaitForImport(int ms = 20000) {
        return WaitUntil([this] { return !m_import->IsRunning(); }, ms) &&
               WaitUntil([this] { return Frame().Pipeline()->ThreadCount() == 0; }, ms);
    }

    QTimer m_modalWatch;
    int m_modalDialogs = 0;
    int m_refreshes = 0;
    std::unique_ptr<CHistoryImport> m_import;
};

TEST_F(HistoryImportTest, Import_PagesStoredWithVisitTimesWithoutDialogsAndEveryOutcomeCounted) {
    PutSetting("Rank Cats", 1);
    CLoopbackHttpServer server;
    CReservedPort closed;
    CCategoryTree& tree = *Frame().CategoryTree();
    CCategory* science = tree.Register(std::make_unique<CCategory>("Science"));
    science->m_words.Add("PHYSICS", 1);
    Frame().SiteFilters()->AddFilter(
        std::make_unique<CSiteFilter>(CSiteFilter::kUrlFilter, "/ads/"));
    for (const char* path : {"/a", "/b", "/c", "/ads/d", "/known"})
        server.ServeText(path, Page(path + 1));
    Frame().Database()->AddSite(
        std::make_unique<CSite>(server.Url("/known"), "Known", "<NONE>", 1, 5, 0));

    const std::vector<CHistoryPage> pages{
        {server.Url("/a"), 1600000001, 9},     {server.Url("/known"), 1600000002, 8},
        {closed.Url("/gone"), 1600000003, 7},  {server.Url("/b"), 1600000004, 6},
        {server.Url("/ads/d"), 1600000005, 5}, {server.Url("/c"), 1600000006, 4}};
    CHistoryImport& import = NewImport();
    int finished = 0;
    QObject::connect(&import, &CHistoryImport::Finished, [&] { ++finished; });
    import.Start(pages);
    ASSERT_TRUE(WaitForImport());

    EXPECT_EQ(finished, 1);
    const CHistoryImport::CCounts& counts = import.Counts();
    EXPECT_EQ(counts.toDo, 6);
    EXPECT_EQ(counts.done, 6);
    EXPECT_EQ(counts.stored, 3);
    EXPECT_EQ(counts.known, 1);
    EXPECT_EQ(counts.filtered, 1);
    EXPECT_EQ(counts.failed, 1);
    EXPECT_EQ(import.FailedUrls(), std::vector<std::string>{closed.Url("/gone")});
    EXPECT_GT(import.PagesPerSecond(), 0.0);
    EXPECT_TRUE(m_errors.empty());
    EXPECT_EQ(m_modalDialogs, 0);
    EXPECT_GE(m_refreshes, 1);
    for (const auto& [path, time] : std::vector<std::pair<std::string, int>>{
             {"/a", 1600000001}, {"/b", 1600000004}, {"/c", 1600000006}}) {
        const CSite* site = Frame().Database()->FindSite(server.Url(path));
        ASSERT_NE(site, nullptr) << path;
        EXPECT_EQ(site->m_time, time) << path;
        EXPECT_TRUE(science->HoldsSite(site)) << path;
        EXPECT_TRUE(Frame().LogBook()->ItemOfSite(site).isValid()) << path;
    }
    EXPECT_EQ(Frame().Database()->FindSite(server.Url("/ads/d")), nullptr);
    EXPECT_EQ(Frame().Database()->FindSite(server.Url("/known"))->m_time, 5);

    // Importing again fetches nothing that was stored or filtered; only the page that could
    // not be read is tried again.
    const std::size_t requests = server.Requests().size();
    CHistoryImport& again = NewImport();
    again.Start(pages);
    ASSERT_TRUE(WaitForImport());
    EXPECT_EQ(again.Counts().known, 5);
    EXPECT_EQ(again.Counts().failed, 1);
    EXPECT_EQ(server.Requests().size(), requests);
}

TEST_F(HistoryImportTest, Import_FourPagesAtOnceTwoPerHostAndCancelDropsThoseUnderWay) {
    CLoopbackHttpServer hostA("127.0.0.1");
    CLoopbackHttpServer hostB("127.0.0.2");
    CLoopbackHttpServer hostC("127.0.0.3");
    std::vector<CHistoryPage> pages;
    for (CLoopbackHttpServer* server : {&hostA, &hostB, &hostC}) {
        for (const char* path : {"/1", "/2", "/3"}) {
            server->NeverAnswer(path);
            pages.push_back({server->Url(path), 1600000000, 1});
        }
    }
    CHistoryImport& import = NewImport();
    import.Start(pages);
    ASSERT_TRUE(WaitUntil([&] { return hostA.Requests().size() + hostB.Requests().size() == 4; }));
    WaitUntil([] { return false; }, 300); // time for a fifth fetch, which must not come
    EXPECT_EQ(hostA.Requests().size(), 2u);
    EXPECT_EQ(hostB.Requests().size(), 2u);
    EXPECT_EQ(hostC.Requests().size(), 0u);
    EXPECT_EQ(import.PagesInFlight(), 4);

    import.Cancel();
    EXPECT_FALSE(import.IsRunning());
    EXPECT_TRUE(import.WasCancelled());
    EXPECT_EQ(Frame().Pipeline()->ImportedPagesInFlight(), 0);
    // The held fetches end; their results are dropped without a word.
    hostA.Stop();
    hostB.Stop();
    ASSERT_TRUE(WaitUntil([this] { return Frame().Pipeline()->ThreadCount() == 0; }));
    EXPECT_EQ(hostC.Requests().size(), 0u);
    EXPECT_TRUE(Frame().Database()->Sites().empty());
    EXPECT_TRUE(m_errors.empty());
    EXPECT_TRUE(Frame().IsNewUrl(pages[0].url)); // a later import may take it again
}

// The command line's road: a history file read in the background, its pages imported, and the
// window closed by a signal while a page is still being fetched.
TEST_F(HistoryImportTest, CommandLine_FileImportedAndClosingKeepsWhatWasStored) {
    CLoopbackHttpServer server;
    server.ServeText("/stored", Page("stored"));
    server.NeverAnswer("/held");
    const std::string file = m_home.File("places.sqlite");
    {
        CTestDb db(file);
        MakeFirefox(db);
        AddFirefoxVisits(db, 1, server.Url("/stored"), {kT - kDay, kT});
        AddFirefoxVisits(db, 2, server.Url("/held"), {kT - 2 * kDay});
    }
    Frame().ShowAtSavedPlace();
    CHistoryImportCommand& command = *Frame().HistoryImport();
    command.ImportFromCommandLine(file);
    ASSERT_TRUE(
        WaitUntil([&] { return command.Import() && command.Import()->Counts().stored == 1; }));
    EXPECT_EQ(command.Import()->Counts().toDo, 2);
    EXPECT_TRUE(command.ProgressDialog()->isVisible());
    EXPECT_FALSE(command.ProgressDialog()->isModal());
    Frame().CloseOnSignal();
    ASSERT_TRUE(WaitUntil([this] { return !Frame().isVisible(); }));
    server.Stop();

    CSiteDatabase saved;
    ASSERT_TRUE(saved.Open(m_home.File("urls.wfx")));
    ASSERT_EQ(saved.Sites().size(), 1u);
    EXPECT_EQ(saved.Sites()[0]->m_url, server.Url("/stored"));
    EXPECT_EQ(saved.Sites()[0]->m_time, kT);
    EXPECT_TRUE(m_errors.empty());
}

// A source that cannot be used is told in the progress dialog, not in an error box.
TEST_F(HistoryImportTest, CommandLine_UnusableSourceToldInTheProgressDialog) {
    Frame().ShowAtSavedPlace();
    CHistoryImportCommand& command = *Frame().HistoryImport();
    command.SetProfileRoots({m_home.File("nohome"), m_home.File("noconfig")});
    const std::string garbage = m_home.File("History");
    WriteFile("History", std::string(3000, 'x'));
    struct CCase {
        std::string word;
        std::string message;
    };
    for (const CCase& c : std::vector<CCase>{
             {"firefox", "No history of Firefox was found."},
             {"mosaic", "mosaic is neither a history file nor a browser Wayfold knows"},
             {garbage, garbage + " is damaged or is not a browser history."}}) {
        command.ImportFromCommandLine(c.word);
        ASSERT_TRUE(WaitUntil([&] { return command.ProgressDialog()->IsFinished(); })) << c.word;
        EXPECT_TRUE(
            command.ProgressDialog()->StatusText().startsWith(QString::fromStdString(c.message)))
            << command.ProgressDialog()->StatusText().toStdString();
    }
    EXPECT_TRUE(m_errors.empty());
    EXPECT_EQ(m_modalDialogs, 0);
}

} // namespace
