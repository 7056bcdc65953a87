// The log book over a store of 10,000 visited sites with 20 links each: building the tree on
// first display, the view update (every label rebuilt, then the sites sorted), and adding a
// page with 20,000 links to the built tree.
#include "bench/syntheticstore.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "shell/settings.h"
#include "views/urllist.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

CStoreShape Shape() {
    CStoreShape shape;
    shape.sites = 10000;
    shape.linksPerSite = 20;
    shape.wordsPerSite = 20;
    shape.vocabulary = 20000;
    shape.categories = 0;
    shape.sitesPerCategory = 0;
    return shape;
}

// A main frame whose Home (the current directory) holds the generated store as urls.wfx, with
// settings and DDE sockets in the same private folder.
class CLogBookWorld {
public:
    CLogBookWorld() {
        const QString home = m_home.path();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home);
        setenv("WAYFOLD_DDE_DIR", (home + "/dde").toLocal8Bit().constData(), 1);
        QFile license(home + "/license.txt");
        if (license.open(QIODevice::WriteOnly))
            license.write("Benchmark\n");
        license.close();
        { CSyntheticStore store(Shape(), (home + "/urls.wfx").toStdString()); }
        QDir::setCurrent(home);
        m_document = std::make_unique<CKorvoDoc>();
        m_frame = std::make_unique<CMainFrame>(m_document.get());
        m_frame->Create();
        m_frame->Settings().viewFlags = kViewTitle | kViewUrl;
    }
    CMainFrame& Frame() { return *m_frame; }

private:
    QTemporaryDir m_home;
    std::unique_ptr<CKorvoDoc> m_document;
    std::unique_ptr<CMainFrame> m_frame;
};

// Made on first use, gone before the application object.
std::unique_ptr<CLogBookWorld> g_world;

CLogBookWorld& World() {
    if (!g_world)
        g_world = std::make_unique<CLogBookWorld>();
    return *g_world;
}

void BM_LogBookBuild(benchmark::State& state) {
    World();
    for (auto _ : state) {
        auto list = std::make_unique<CUrlList>();
        list->Build();
        benchmark::DoNotOptimize(list->SitesRoot()->childCount());
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
}

void BM_LogBookUpdate(benchmark::State& state) {
    World();
    CUrlList list;
    list.Build();
    std::int32_t sortType = kSortByTitle;
    for (auto _ : state) {
        // Each round sorts from another order, as a changed "Sort Type" does.
        sortType = (sortType + 1) % 3;
        World().Frame().Settings().sortType = sortType;
        list.OnUpdate();
    }
    World().Frame().Settings().sortType = kSortByTitle;
}

void BM_LogBookAddPageWithTwentyThousandLinks(benchmark::State& state) {
    World();
    CUrlList list;
    list.Build();
    CSite page("http://many.example/", "Many links", "<NONE>", 1);
    for (int i = 0; i < 20000; ++i) {
        const std::string number = std::to_string((i * 7919) % 20000);
        page.AddLink(std::make_unique<CSite>("http://many.example/l" + number, "link " + number,
                                             "<NONE>", 0));
    }
    for (auto _ : state) {
        list.AddSite(&page);
        state.PauseTiming();
        delete list.ItemOfSite(&page);
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_LogBookBuild)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LogBookUpdate)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LogBookAddPageWithTwentyThousandLinks)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_world.reset();
    return 0;
}
