#include "dialogs/categoryrankingsdlg.h"
#include "fetch/pageurl.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/random.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/sitefilter.h"
#include "model/sitefilterlist.h"
#include "model/wordentry.h"
#include "model/wordlist.h"
#include "shell/addurlpipeline.h"
#include "tests/dialogs/modalhelper.h"
#include "tests/shell/shellfixture.h"
#include "tests/support/loopbackhttpserver.h"
#include "tests/support/reservedport.h"
#include "views/urllist.h"

#include <QListWidget>

#include <gtest/gtest.h>

#include <set>

namespace {

const char* const kPhysicsPage =
    "<html><head><title>Quantum Physics Notes</title>"
    "<meta name=\"keywords\" content=\"physics, quantum\"></head>"
    "<body>Physics physics PHYSICS and lenses. "
    "<a href=\"/other\">Other page</a> <a href=\"http://elsewhere.example/\">Elsewhere</a>"
    "</body></html>";

class AddUrlPipelineTest : public CShellFixture {
protected:
    void SetUp() override {
        CShellFixture::SetUp();
        PutSetting("Rank Cats", 0);
    }

    // "Science" (defining word PHYSICS) with the child "Optics" (defining word LENS).
    void MakeCategories() {
        CCategoryTree& tree = *Frame().CategoryTree();
        m_science = tree.Register(std::make_unique<CCategory>("Science"));
        m_science->m_words.Add("PHYSICS", 1);
        m_optics = tree.Register(std::make_unique<CCategory>("Optics"));
        m_optics->m_words.Add("LENS", 1);
        ASSERT_TRUE(tree.Reparent(m_optics, m_science->m_index));
    }

    // Hands the URL to the pipeline as the browser link does.
    void Add(const std::string& url) {
        if (!Frame().isVisible())
            Frame().ShowAtSavedPlace(); // the log book fills its tree when first shown
        ASSERT_TRUE(Frame().IsNewUrl(url));
        Frame().StartAddUrl(url);
    }

    bool WaitForWorkers(int ms = 20000) {
        return WaitUntil(
            [this] {
                const CAddUrlPipeline* pipeline = Frame().Pipeline();
                return pipeline->ThreadCount() == 0 && !pipeline->IsHandlingPage();
            },
            ms);
    }

    std::vector<std::string> StatusTexts() const {
        std::vector<std::string> texts;
        for (const QString& text : m_statusTexts)
            texts.push_back(text.toStdString());
        return texts;
    }

    CSite* Stored(const std::string& url) { return Frame().Database()->FindSite(url); }

    CLoopbackHttpServer m_server;
    CCategory* m_science = nullptr;
    CCategory* m_optics = nullptr;
};

TEST_F(AddUrlPipelineTest, Pipeline_PageIsFetchedStoredPlacedCategorizedAndLogged) {
    MakeCategories();
    m_server.ServeText("/physics", kPhysicsPage);
    const std::string url = m_server.Url("/physics");
    Add(url);
    EXPECT_EQ(Frame().Pipeline()->ThreadCount(), 1);
    EXPECT_TRUE(Frame().Pipeline()->IsAnimating());
    ASSERT_TRUE(WaitForWorkers());

    EXPECT_EQ(StatusTexts(),
              (std::vector<std::string>{"Processing: " + url, "Categorized " + url + " as Science",
                                        "Idle"}));
    EXPECT_TRUE(m_errors.empty());
    CSite* site = Stored(url);
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->m_title, "Quantum Physics Notes");
    EXPECT_EQ(site->m_annotation, "<NONE>");
    EXPECT_EQ(site->m_visited, 1);
    EXPECT_TRUE(site->m_words.contains("PHYSICS"));
    EXPECT_TRUE(site->m_words.contains("QUANTUM"));
    EXPECT_TRUE(site->m_words.contains("LENSES"));
    // A word repeated on the page is added to the site once.
    EXPECT_EQ(site->m_words.at("PHYSICS")->m_count, 1);
    EXPECT_EQ(site->m_words.at("PHYSICS")->m_sites.count(url), 1u);
    ASSERT_EQ(site->m_links.size(), 2u);
    EXPECT_EQ(site->m_links[0]->m_url, m_server.Url("/other"));
    EXPECT_EQ(site->m_links[0]->m_title, "Other page");
    EXPECT_EQ(site->m_links[0]->m_visited, 0);
    EXPECT_EQ(Frame().Database()->FindSite(m_server.Url("/other")), nullptr);
    for (const auto& link : site->m_links) {
        EXPECT_LE(std::abs(link->m_x - site->m_x), 333);
        EXPECT_LE(std::abs(link->m_y - site->m_y), 333);
    }
    EXPECT_TRUE(m_science->HoldsSite(site));
    EXPECT_FALSE(m_optics->HoldsSite(site));
    CUrlList& logBook = *Frame().LogBook();
    EXPECT_TRUE(logBook.ItemOfSite(site).isValid());
    logBook.model()->rowCount(logBook.ItemOfCategory(m_science));
    EXPECT_EQ(logBook.ItemsShowing(site).size(), 2u); // under SITES and Science
    EXPECT_EQ(Frame().ShownBusyIcon(), 0);
    EXPECT_FALSE(Frame().Pipeline()->IsAnimating());
    EXPECT_FALSE(Frame().IsNewUrl(url));

    CloseFrame();
    CSiteDatabase reloaded;
    ASSERT_TRUE(reloaded.Open(m_home.File("urls.wfx")));
    ASSERT_NE(reloaded.FindSite(url), nullptr);
    EXPECT_EQ(reloaded.FindSite(url)->m_title, "Quantum Physics Notes");
}

TEST_F(AddUrlPipelineTest, Pipeline_ChildCategoryIsNamedAfterItsParent) {
    MakeCategories();
    m_server.ServeText("/lens", "<title>Lens</title>lens lens lens");
    Add(m_server.Url("/lens"));
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(StatusTexts().at(1), "Categorized " + m_server.Url("/lens") + " as Science:Optics");
    EXPECT_TRUE(m_optics->HoldsSite(Stored(m_server.Url("/lens"))));
}

TEST_F(AddUrlPipelineTest, Pipeline_WithoutAFittingCategorySaysSo) {
    m_server.ServeText("/plain", "<title>Plain</title>nothing here fits");
    Add(m_server.Url("/plain"));
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(StatusTexts(), (std::vector<std::string>{"Processing: " + m_server.Url("/plain"),
                                                       "Can't categorize this site\n", "Idle"}));
    EXPECT_NE(Stored(m_server.Url("/plain")), nullptr);
}

TEST_F(AddUrlPipelineTest, Pipeline_RankCatsOnLetsTheRankingsDialogFileTheSite) {
    PutSetting("Rank Cats", 1);
    MakeCategories();
    m_server.ServeText("/physics", kPhysicsPage);
    std::vector<std::string> listed;
    AnswerNextModal<CCategoryRankingsDlg>([&](CCategoryRankingsDlg* dialog) {
        for (CCategory* category : dialog->ListedCategories())
            listed.push_back(category->m_name);
        dialog->accept();
    });
    Add(m_server.Url("/physics"));
    ASSERT_TRUE(WaitForWorkers());

    EXPECT_EQ(listed, (std::vector<std::string>{"Science"}));
    for (const std::string& text : StatusTexts())
        EXPECT_EQ(text.find("Categorized"), std::string::npos) << text;
    EXPECT_EQ(StatusTexts().back(), "Idle");
    CSite* site = Stored(m_server.Url("/physics"));
    ASSERT_NE(site, nullptr);
    EXPECT_TRUE(m_science->HoldsSite(site));
    CUrlList& logBook = *Frame().LogBook();
    logBook.model()->rowCount(logBook.ItemOfCategory(m_science));
    EXPECT_EQ(logBook.ItemsShowing(site).size(), 2u);
}

TEST_F(AddUrlPipelineTest, Pipeline_ALaterPageWaitsUntilTheRankingsDialogCloses) {
    PutSetting("Rank Cats", 1);
    MakeCategories();
    m_server.ServeText("/first", "<title>First</title>physics");
    m_server.ServeText("/second", "<title>Second</title>physics too");
    int sitesWhileOpen = -1;
    bool secondRequested = false;
    AnswerNextModal<CCategoryRankingsDlg>([&](CCategoryRankingsDlg* dialog) {
        // Let the second page arrive while this dialog runs its own event loop.
        Frame().StartAddUrl(m_server.Url("/second"));
        secondRequested = WaitUntil([&] { return m_server.RequestsFor("/second").size() == 1; });
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        sitesWhileOpen = static_cast<int>(Frame().Database()->Sites().size());
        AnswerNextModal<CCategoryRankingsDlg>([](CCategoryRankingsDlg* next) { next->accept(); });
        dialog->accept();
    });
    Add(m_server.Url("/first"));
    ASSERT_TRUE(WaitUntil([&] { return Frame().Database()->Sites().size() == 2u; }));
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_TRUE(secondRequested);
    EXPECT_EQ(sitesWhileOpen, 1);
    EXPECT_TRUE(m_science->HoldsSite(Stored(m_server.Url("/first"))));
    EXPECT_TRUE(m_science->HoldsSite(Stored(m_server.Url("/second"))));
    EXPECT_EQ(StatusTexts().back(), "Idle");
}

TEST_F(AddUrlPipelineTest, Pipeline_SignalDuringTheRankingsDialogClosesAfterThePage) {
    PutSetting("Rank Cats", 1);
    MakeCategories();
    m_server.ServeText("/first", "<title>First</title>physics");
    m_server.ServeText("/second", "<title>Second</title>physics");
    bool asked = false;
    AnswerNextModal<CCategoryRankingsDlg>([&](CCategoryRankingsDlg*) {
        asked = true;
        // The second page arrives behind the open dialog, then the signal comes.
        Frame().StartAddUrl(m_server.Url("/second"));
        WaitUntil([&] { return m_server.RequestsFor("/second").size() == 1; });
        Frame().CloseOnSignal();
    });
    Add(m_server.Url("/first"));
    ASSERT_TRUE(WaitUntil([&] { return Frame().Database() == nullptr; }));
    EXPECT_TRUE(asked);
    EXPECT_FALSE(Frame().isVisible());
    CSiteDatabase reloaded;
    ASSERT_TRUE(reloaded.Open(m_home.File("urls.wfx")));
    EXPECT_NE(reloaded.FindSite(m_server.Url("/first")), nullptr);
    EXPECT_EQ(reloaded.Sites().size(), 1u);
    EXPECT_EQ(SettingInFile("Rank Cats").toInt(), 1);
}

TEST_F(AddUrlPipelineTest, Pipeline_FilteredSiteIsNotStoredAndStillEndsIdle) {
    MakeCategories();
    Frame().SiteFilters()->AddFilter(
        std::make_unique<CSiteFilter>(CSiteFilter::kUrlFilter, "/ads/"));
    Frame().SiteFilters()->AddFilter(
        std::make_unique<CSiteFilter>(CSiteFilter::kWordFilter, "Casino"));
    m_server.ServeText("/ads/banner", kPhysicsPage);
    m_server.ServeText("/games", "<title>Games</title>casino physics");
    Add(m_server.Url("/ads/banner"));
    Add(m_server.Url("/games"));
    ASSERT_TRUE(WaitForWorkers());

    EXPECT_TRUE(Frame().Database()->Sites().empty());
    EXPECT_TRUE(Frame().Database()->Words().empty());
    EXPECT_TRUE(m_science->m_sites.empty());
    EXPECT_EQ(Frame().LogBook()->model()->rowCount(Frame().LogBook()->SitesRoot()), 0);
    const std::vector<std::string> texts = StatusTexts();
    EXPECT_EQ(texts.back(), "Idle");
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Idle"), 2);
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(AddUrlPipelineTest, Pipeline_FailedFetchNamesTheUrlAndIsNotTriedAgain) {
    CReservedPort refused;
    const std::string url = refused.Url("/gone");
    Add(url);
    ASSERT_TRUE(WaitForWorkers());
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0],
              "Can't open " + url + ". Check Internet connection and/or proxy settings.");
    // The status text stays as it was and the animation has stopped.
    EXPECT_EQ(StatusTexts(), (std::vector<std::string>{"Processing: " + url}));
    EXPECT_EQ(Frame().ShownBusyIcon(), 0);
    EXPECT_FALSE(Frame().Pipeline()->IsAnimating());
    EXPECT_FALSE(Frame().IsNewUrl(url));
    EXPECT_TRUE(Frame().Database()->Sites().empty());
}

TEST_F(AddUrlPipelineTest, Pipeline_UrlRulesEscapeBytesDropFragmentsAndRefuseErrorPages) {
    const struct {
        const char* reported;
        const char* page;
    } cases[] = {
        {"http://h/a b.html", "http://h/a%20b.html"},
        {"http://h/a%20b.html", "http://h/a%20b.html"},
        {"https://h/p\x01\x7f\xc3\xa9?q=1 2", "https://h/p%01%7F%C3%A9?q=1%202"},
        {"http://h/page.html#a b", "http://h/page.html"},
        {"file:///tmp/a b.html#x", "file:///tmp/a b.html"},
        {"/tmp/caf\xc3\xa9.html", "/tmp/caf\xc3\xa9.html"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PageUrl(c.reported), c.page) << c.reported;

    m_server.ServeText("/a%20b", "<title>Blank</title>blank");
    m_server.ServeText("/page", "<title>Page</title>page");
    Add(m_server.Url("/a b"));
    Add(m_server.Url("/page#one"));
    EXPECT_FALSE(Frame().IsNewUrl(m_server.Url("/page#two")));
    EXPECT_FALSE(Frame().IsNewUrl(m_server.Url("/a%20b")));
    Add(m_server.Url("/missing")); // answered 404 with a body
    ASSERT_TRUE(WaitForWorkers());

    EXPECT_EQ(m_server.RequestsFor("/a%20b").size(), 1u);
    EXPECT_EQ(m_server.RequestsFor("/page").size(), 1u);
    EXPECT_NE(Stored(m_server.Url("/a%20b")), nullptr);
    EXPECT_NE(Stored(m_server.Url("/page")), nullptr);
    EXPECT_EQ(Frame().Database()->Sites().size(), 2u);
    EXPECT_EQ(m_errors, std::vector<std::string>{"Can't open " + m_server.Url("/missing") +
                                                 ". Check Internet connection and/or proxy "
                                                 "settings."});

    // A site stored with its fragment by an earlier version stays known as it is.
    Frame().Database()->AddSite(
        std::make_unique<CSite>(m_server.Url("/old#part"), "Old", "<NONE>", 1));
    EXPECT_FALSE(Frame().IsNewUrl(m_server.Url("/old#part")));
}

TEST_F(AddUrlPipelineTest, Pipeline_ThreeUrlsAnimateUntilTheLastEndsAndThenShowIconZero) {
    m_server.ServeText("/one", "<title>One</title>alpha");
    m_server.ServeText("/two", "<title>Two</title>beta");
    m_server.NeverAnswer("/slow");
    Add(m_server.Url("/one"));
    Add(m_server.Url("/slow"));
    Add(m_server.Url("/two"));
    EXPECT_EQ(Frame().Pipeline()->ThreadCount(), 3);
    ASSERT_TRUE(WaitUntil([&] { return Frame().Database()->Sites().size() == 2u; }));
    ASSERT_TRUE(WaitUntil([&] { return m_server.RequestsFor("/slow").size() == 1u; }));

    // One worker still runs: the icon keeps turning.
    std::set<int> shown;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 400) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        shown.insert(Frame().ShownBusyIcon());
    }
    EXPECT_EQ(Frame().Pipeline()->ThreadCount(), 1);
    EXPECT_TRUE(Frame().Pipeline()->IsAnimating());
    EXPECT_GE(shown.size(), 3u);
    EXPECT_LE(*shown.rbegin(), 18);

    m_server.Stop(); // the held request fails
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(Frame().ShownBusyIcon(), 0);
    EXPECT_EQ(Frame().Pipeline()->AnimFrame(), 0);
    EXPECT_FALSE(Frame().Pipeline()->IsAnimating());
    EXPECT_EQ(m_errors.size(), 1u);
}

TEST_F(AddUrlPipelineTest, Pipeline_SameUrlTwiceWhileRunningStartsOneWorker) {
    m_server.ServeText("/once", "<title>Once</title>words");
    const std::string url = m_server.Url("/once");
    Add(url);
    EXPECT_FALSE(Frame().IsNewUrl(url));
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_FALSE(Frame().IsNewUrl(url));
    EXPECT_EQ(m_server.RequestsFor("/once").size(), 1u);
    EXPECT_EQ(Frame().Database()->Sites().size(), 1u);

    // Once the user deletes the site, the URL may come again.
    Frame().ForgetStartedUrl(url);
    EXPECT_FALSE(Frame().IsNewUrl(url)); // still stored
}

TEST_F(AddUrlPipelineTest, Pipeline_AResultForAStoredUrlIsIgnored) {
    CSite* site = Frame().Database()->AddSite(
        std::make_unique<CSite>("http://kept.example/", "Kept", "<NONE>", 1));
    Frame().Pipeline()->OnAddUrlDone("http://kept.example/", std::string("<title>New</title>x"));
    EXPECT_EQ(Frame().Database()->Sites().size(), 1u);
    EXPECT_EQ(site->m_title, "Kept");
    EXPECT_EQ(StatusTexts(), (std::vector<std::string>{"Idle"}));
}

TEST_F(AddUrlPipelineTest, Pipeline_NewSiteIsPlacedNearTheStoredSitesItLinksTo) {
    SeedRandom(7);
    CSite* known = Frame().Database()->AddSite(
        std::make_unique<CSite>("http://known.example/", "Known", "<NONE>", 1));
    known->m_x = 1500;
    known->m_y = 400;
    WriteFile("stop.wfx", "");
    Frame().StopList()->Add("ONLY");
    Frame().StopList()->Add("STOP");
    Frame().StopList()->Add("WORDS");
    m_server.ServeText("/near", "<title>Only stop words</title>only stop words "
                                "<a href=\"http://known.example/\">only</a>");
    Add(m_server.Url("/near"));
    ASSERT_TRUE(WaitForWorkers());
    CSite* site = Stored(m_server.Url("/near"));
    ASSERT_NE(site, nullptr);
    EXPECT_TRUE(site->m_words.empty());
    EXPECT_LE(std::abs(site->m_x - 1500), 200);
    EXPECT_LE(std::abs(site->m_y - 400), 200);
    ASSERT_EQ(site->m_links.size(), 1u);
    EXPECT_LE(std::abs(site->m_links[0]->m_x - site->m_x), 333);
}

TEST_F(AddUrlPipelineTest, Pipeline_KnownWordIsMovedNearTheNewWordsOfThePage) {
    SeedRandom(11);
    CSite* old = Frame().Database()->AddSite(
        std::make_unique<CSite>("http://old.example/", "Old", "<NONE>", 1));
    CWordEntry* shared = Frame().Database()->FindOrMakeWord("SHARED");
    old->AddWord(shared);
    shared->AddSite(old);
    m_server.ServeText("/words", "freshword shared");
    Add(m_server.Url("/words"));
    ASSERT_TRUE(WaitForWorkers());
    const CWordEntry* fresh = Frame().Database()->Words().at("FRESHWORD").get();
    ASSERT_NE(fresh->m_x, 0);
    ASSERT_NE(fresh->m_y, 0);
    // The set is walked in order: FRESHWORD (new, n becomes 2) before SHARED, which then
    // moves to within 200 of the sums divided by n.
    EXPECT_LE(std::abs(shared->m_x - fresh->m_x / 2), 200);
    EXPECT_LE(std::abs(shared->m_y - fresh->m_y / 2), 200);
    EXPECT_EQ(shared->m_sites.size(), 2u);
}

TEST_F(AddUrlPipelineTest, Pipeline_BinaryPageAndEightThousandCharacterUrlAreStored) {
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 37 + 11) % 256));
    m_server.ServeText("/binary", binary);
    const std::string longPath = "/long?q=" + std::string(8000, 'q');
    m_server.ServeText(longPath, "<title>Long</title>long url");
    Add(m_server.Url("/binary"));
    Add(m_server.Url(longPath));
    ASSERT_TRUE(WaitForWorkers());

    EXPECT_NE(Stored(m_server.Url("/binary")), nullptr);
    ASSERT_NE(Stored(m_server.Url(longPath)), nullptr);
    EXPECT_EQ(Stored(m_server.Url(longPath))->m_title, "Long");
    EXPECT_TRUE(m_errors.empty());
    EXPECT_EQ(StatusTexts().back(), "Idle");
}

TEST_F(AddUrlPipelineTest, Pipeline_PageWithTwentyThousandLinksIsStored) {
    std::string manyLinks = "<title>Many</title>";
    for (int i = 0; i < 20000; ++i)
        manyLinks += "<a href=\"/l" + std::to_string(i) + "\">x</a>";
    m_server.ServeText("/many", manyLinks);
    Add(m_server.Url("/many"));
    ASSERT_TRUE(WaitForWorkers());
    ASSERT_NE(Stored(m_server.Url("/many")), nullptr);
    EXPECT_EQ(Stored(m_server.Url("/many"))->m_links.size(), 20000u);
    EXPECT_EQ(Stored(m_server.Url("/many"))->m_links[19999]->m_url, m_server.Url("/l19999"));
    const QModelIndex logged = Frame().LogBook()->ItemOfSite(Stored(m_server.Url("/many")));
    ASSERT_TRUE(logged.isValid());
    EXPECT_EQ(Frame().LogBook()->model()->rowCount(logged), 20000);
    EXPECT_EQ(StatusTexts().back(), "Idle");
}

} // namespace
