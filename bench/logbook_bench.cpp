// The log book over generated stores of 10,000, 30,000 and 100,000 visited sites with 10 links
// and 20 words each (a vocabulary of twice the site count) and a category for every hundred
// sites: filling it at start (the roots painted, and with "SITES" open), taking in one new page
// as the add-URL pipeline hands it over (added, filed, refreshed, repainted) with "SITES" closed
// and open, and a change of the sort type.
#include "bench/syntheticstore.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "shell/korvodoc.h"
#include "shell/settings.h"
#include "views/urllist.h"

#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

constexpr int kSiteCounts[] = {10000, 30000, 100000};

CStoreShape Shape(int sites) {
    CStoreShape shape;
    shape.sites = sites;
    shape.linksPerSite = 10;
    shape.wordsPerSite = 20;
    shape.vocabulary = 2 * sites;
    shape.categories = 0;
    shape.sitesPerCategory = 0;
    return shape;
}

// A document on the generated store written as urls.wfx and read back as at start, with one
// category for every hundred sites (fifty at the top, the others below them) of fifty sites
// each.
class CLogBookWorld {
public:
    explicit CLogBookWorld(int sites) : m_sites(sites) {
        const std::string home = m_home.path().toStdString();
        { CSyntheticStore store(Shape(sites), home + "/urls.wfx"); }
        m_document = std::make_unique<CKorvoDoc>(home);
        m_document->OpenDataFiles();
        m_document->Settings().viewFlags = kViewTitle | kViewUrl;
        m_document->Settings().sortType = kSortByTitle;
        CCategoryTree& tree = *m_document->CategoryTree();
        const auto& all = m_document->Database()->Sites();
        for (int c = 0; c < sites / 100; ++c) {
            CCategory* category =
                tree.Register(std::make_unique<CCategory>("Category " + std::to_string(c)));
            if (c >= 50)
                tree.Reparent(category, c % 50);
            for (int s = 0; s < 50; ++s)
                category->AddSite(all[static_cast<std::size_t>((c * 50 + s) * 7 % sites)].get());
        }
    }
    ~CLogBookWorld() { m_document->CategoryTree()->DetachFile(); }

    int Sites() const { return m_sites; }
    CKorvoDoc& Document() { return *m_document; }

    // A new visited page with ten links, in the database but not yet announced.
    CSite* AddPage() {
        const std::string url = "http://new" + std::to_string(m_pages++) + ".example.org/";
        auto page =
            std::make_unique<CSite>(url, "new page " + std::to_string(m_pages), "<NONE>", 1);
        for (int i = 0; i < 10; ++i)
            page->AddLink(std::make_unique<CSite>(url + std::to_string(i), "link", "<NONE>", 0));
        return m_document->Database()->AddSite(std::move(page));
    }
    // Takes the page out again as a cut does.
    void RemovePage(CSite* page) {
        m_document->NoteSiteAboutToBeRemoved(page);
        std::unique_ptr<CSite> gone = m_document->Database()->RemoveSite(page);
        m_document->CategoryTree()->ForgetSite(page);
        m_document->NoteSiteRemoved(page);
    }

private:
    QTemporaryDir m_home;
    int m_sites;
    int m_pages = 0;
    std::unique_ptr<CKorvoDoc> m_document;
};

// One store at a time: the 100,000-site store alone takes a good part of a gigabyte.
std::unique_ptr<CLogBookWorld> g_world;

CLogBookWorld& World(int sites) {
    if (!g_world || g_world->Sites() != sites) {
        g_world.reset();
        g_world = std::make_unique<CLogBookWorld>(sites);
    }
    return *g_world;
}

// A log book window as the main frame shows it, painted once.
std::unique_ptr<CUrlList> ShownLogBook(CKorvoDoc& document, bool sitesOpen) {
    auto list = std::make_unique<CUrlList>(document);
    list->resize(400, 700);
    list->show(); // builds on first display
    if (sitesOpen)
        list->expand(list->SitesRoot());
    benchmark::DoNotOptimize(list->grab());
    return list;
}

void Fill(benchmark::State& state, bool sitesOpen) {
    CKorvoDoc& document = World(static_cast<int>(state.range(0))).Document();
    for (auto _ : state) {
        std::unique_ptr<CUrlList> list = ShownLogBook(document, sitesOpen);
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
}

void BM_LogBookFillAtStart(benchmark::State& state) {
    Fill(state, false);
}

void BM_LogBookFillWithSitesOpen(benchmark::State& state) {
    Fill(state, true);
}

void AddPage(benchmark::State& state, bool sitesOpen) {
    CLogBookWorld& world = World(static_cast<int>(state.range(0)));
    CKorvoDoc& document = world.Document();
    std::unique_ptr<CUrlList> list = ShownLogBook(document, sitesOpen);
    CCategory* category = document.CategoryTree()->CategoryAt(0);
    for (auto _ : state) {
        state.PauseTiming();
        CSite* page = world.AddPage();
        state.ResumeTiming();
        document.NoteSiteAdded(page);
        category->AddSite(page);
        document.NoteSiteFiled(category, page);
        document.Refresh();
        QCoreApplication::processEvents(); // the view lays out and repaints
        state.PauseTiming();
        world.RemovePage(page);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_LogBookAddSite(benchmark::State& state) {
    AddPage(state, false);
}

void BM_LogBookAddSiteWithSitesOpen(benchmark::State& state) {
    AddPage(state, true);
}

void BM_LogBookSortTypeChange(benchmark::State& state) {
    CKorvoDoc& document = World(static_cast<int>(state.range(0))).Document();
    std::unique_ptr<CUrlList> list = ShownLogBook(document, true);
    for (auto _ : state) {
        document.Settings().sortType = (document.Settings().sortType + 1) % 3;
        document.Refresh();
        QCoreApplication::processEvents();
    }
    document.Settings().sortType = kSortByTitle;
    document.Refresh();
}

void RegisterAll() {
    for (int sites : kSiteCounts) {
        benchmark::RegisterBenchmark("BM_LogBookFillAtStart", BM_LogBookFillAtStart)
            ->Arg(sites)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_LogBookFillWithSitesOpen", BM_LogBookFillWithSitesOpen)
            ->Arg(sites)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_LogBookAddSite", BM_LogBookAddSite)
            ->Arg(sites)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_LogBookAddSiteWithSitesOpen",
                                     BM_LogBookAddSiteWithSitesOpen)
            ->Arg(sites)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_LogBookSortTypeChange", BM_LogBookSortTypeChange)
            ->Arg(sites)
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_world.reset();
    return 0;
}
