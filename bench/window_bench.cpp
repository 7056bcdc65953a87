// The real main window, offscreen, on generated stores of 10,000, 30,000 and 100,000 visited
// sites (10 links and 20 words each, a vocabulary of twice the sites, categories of 10 sites):
// how long the window's event loop stands still (a heartbeat timer of 1 ms) from the start until
// it answers, for each page that arrives through the add-URL pipeline from a loopback HTTP
// server, and for each pan or zoom step made with the overview; and how long until the exact
// pictures follow. Prints one JSON object: {"worlds": [...]}.
//
//   wayfold-window-bench [SITES...]
#include "bench/heartbeat.h"
#include "bench/syntheticstore.h"
#include "bench/windowhome.h"
#include "model/sitedatabase.h"
#include "shell/addurlpipeline.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "tests/support/loopbackhttpserver.h"
#include "views/korvoview.h"
#include "views/metaview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kPages = 12;
constexpr int kPanSteps = 12;
constexpr int kPageRestMs = 1000;

CStoreShape Shape(int sites) {
    CStoreShape shape;
    shape.sites = sites;
    shape.linksPerSite = 10;
    shape.wordsPerSite = 20;
    shape.vocabulary = 2 * sites;
    shape.categories = sites / 10;
    shape.sitesPerCategory = 10;
    shape.wordsPerCategory = 5;
    return shape;
}

std::string Page(int number, int sites) {
    std::string page =
        "<html><head><title>New page " + std::to_string(number) + "</title></head><body>";
    for (int w = 0; w < 20; ++w)
        page += CSyntheticStore::VocabularyWord((number * 37 + w * 101) % (2 * sites)) + " ";
    for (int l = 0; l < 10; ++l)
        page += "<a href=\"" + CSyntheticStore::SiteUrl((number * 13 + l * 997) % sites) +
                "\">link " + std::to_string(l) + "</a> ";
    return page + "</body></html>";
}

struct CResult {
    int sites = 0;
    double startMs = 0;
    double firstPictureMs = 0;
    double pageWorstMs = 0;
    double pageMedianMs = 0;
    double panWorstMs = 0;
    double exactAfterLastChangeMs = 0;
};

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

CResult RunWorld(int sites, CHeartbeat& heartbeat) {
    CResult result;
    result.sites = sites;
    QTemporaryDir home;
    const QString path = home.path();
    PrepareWindowHome(path, false);
    std::fprintf(stderr, "generating %d sites\n", sites);
    { CSyntheticStore store(Shape(sites), (path + "/urls.wfx").toStdString()); }
    QDir::setCurrent(path);
    CLoopbackHttpServer server;

    // Start: what the application does, until the event loop first turns.
    QElapsedTimer start;
    start.start();
    auto document = std::make_unique<CKorvoDoc>();
    auto frame = std::make_unique<CMainFrame>(document.get());
    frame->Create();
    frame->ShowAtSavedPlace();
    document->UpdateAllViews();
    const long ticks = heartbeat.Ticks();
    RunUntil([&] { return heartbeat.Ticks() > ticks; });
    result.startMs = start.nsecsElapsed() / 1e6;

    auto* map = qobject_cast<CKorvoView*>(frame->MapPane());
    auto* overview = qobject_cast<CMetaView*>(frame->OverviewPane());
    auto exact = [&] { return map->IsPictureCurrent() && overview->IsPictureCurrent(); };
    RunUntil(exact);
    result.firstPictureMs = start.nsecsElapsed() / 1e6;
    std::fprintf(stderr, "%d sites: window answers after %.0f ms, exact pictures after %.0f ms\n",
                 sites, result.startMs, result.firstPictureMs);

    // Pages, one about every second as a browsing user's arrive: each from its start until it
    // is stored, then a second more, which takes in the pictures drawn meanwhile.
    std::vector<double> pages;
    for (int i = 0; i < kPages; ++i) {
        const std::string name = "/page" + std::to_string(i) + ".html";
        server.ServeText(name, Page(i, sites));
        const std::size_t before = frame->Database()->Sites().size();
        heartbeat.Restart();
        frame->StartAddUrl(server.Url(name));
        RunUntil([&] {
            return frame->Database()->Sites().size() > before &&
                   !frame->Pipeline()->IsHandlingPage();
        });
        RunFor(kPageRestMs);
        pages.push_back(heartbeat.LongestMs());
    }
    result.pageWorstMs = *std::max_element(pages.begin(), pages.end());
    result.pageMedianMs = Median(pages);
    std::fprintf(stderr, "%d sites: pages blocked the window at most %.1f ms (median %.1f):", sites,
                 result.pageWorstMs, result.pageMedianMs);
    for (double page : pages)
        std::fprintf(stderr, " %.0f", page);
    std::fprintf(stderr, "\n");

    // Pan and zoom with the overview: move its rectangle, then resize it by its handle.
    double panWorst = 0;
    QElapsedTimer lastChange;
    for (int step = 0; step < kPanSteps; ++step) {
        const QRect rect = overview->ViewRect();
        const bool zoom = step % 3 == 2;
        const QPoint from = zoom ? rect.bottomRight() - QPoint(3, 3) : rect.center();
        const QPoint to = from + QPoint(step % 2 ? -9 : 11, zoom ? 7 : (step % 2 ? 5 : -6));
        heartbeat.Restart();
        QTest::mousePress(overview, Qt::LeftButton, {}, from);
        QTest::mouseMove(overview, (from + to) / 2);
        QTest::mouseMove(overview, to);
        QTest::mouseRelease(overview, Qt::LeftButton, {}, to);
        lastChange.start();
        RunFor(60);
        panWorst = std::max(panWorst, heartbeat.LongestMs());
    }
    result.panWorstMs = panWorst;
    RunUntil(exact);
    result.exactAfterLastChangeMs = lastChange.nsecsElapsed() / 1e6;
    std::fprintf(stderr,
                 "%d sites: pan and zoom steps blocked the window at most %.1f ms; exact picture "
                 "%.0f ms after the last step\n",
                 sites, result.panWorstMs, result.exactAfterLastChangeMs);

    frame->close();
    frame.reset();
    document.reset();
    QDir::setCurrent(QDir::tempPath());
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {10000, 30000, 100000};
    CHeartbeat heartbeat;
    std::printf("{\"worlds\": [");
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const CResult r = RunWorld(sizes[i], heartbeat);
        std::printf("%s{\"sites\": %d, \"start_ms\": %.1f, \"first_picture_ms\": %.1f, "
                    "\"page_worst_ms\": %.1f, \"page_median_ms\": %.1f, \"pan_worst_ms\": %.1f, "
                    "\"exact_after_last_change_ms\": %.1f}",
                    i ? ", " : "", r.sites, r.startMs, r.firstPictureMs, r.pageWorstMs,
                    r.pageMedianMs, r.panWorstMs, r.exactAfterLastChangeMs);
        std::fflush(stdout);
    }
    std::printf("]}\n");
    return 0;
}
