// The history import on the real main window, offscreen: a places.sqlite of PAGES pages (1,000
// by default) made here, its pages served by ten loopback HTTP servers (127.0.0.1 to
// 127.0.0.10, so that the limit of two fetches per host does not hold the four back), imported
// through the command line's road (background read, progress dialog, add-URL pipeline) into an
// empty store (the first day) and into generated stores of SITES visited sites, each once with
// the map panes shown and once with them hidden (their pictures are drawn on two worker threads
// that share the two cores with the window's thread). Reports pages a second and the longest
// time the window's event loop stood still (a heartbeat timer of 1 ms) from the command until
// the import finished. Prints one JSON object: {"imports": [...]}.
//
//   wayfold-import-bench [PAGES [SITES...]]
#include "bench/heartbeat.h"
#include "bench/syntheticstore.h"
#include "bench/windowhome.h"
#include "dialogs/historyimportcommand.h"
#include "model/sitedatabase.h"
#include "shell/historyimport.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "tests/support/loopbackhttpserver.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kHosts = 10;
constexpr std::int64_t kLastVisit = 1780000000;

struct CResult {
    int pages = 0;
    int storeSites = 0;
    bool mapsShown = true;
    double readMs = 0;
    double pagesPerSecond = 0;
    double longestStandStillMs = 0;
    int stored = 0;
    int failed = 0;
};

std::string PagePath(int number) {
    return "/page" + std::to_string(number) + ".html";
}

// Twenty words and ten links to other pages of the history.
std::string Page(int number, int pages,
                 const std::vector<std::unique_ptr<CLoopbackHttpServer>>& hosts) {
    std::string page =
        "<html><head><title>History page " + std::to_string(number) + "</title></head><body>";
    for (int w = 0; w < 20; ++w)
        page += CSyntheticStore::VocabularyWord((number * 37 + w * 101) % 5000) + " ";
    for (int l = 0; l < 10; ++l) {
        const int target = (number * 13 + l * 97) % pages;
        page += "<a href=\"" + hosts[target % kHosts]->Url(PagePath(target)) + "\">link " +
                std::to_string(l) + "</a> ";
    }
    return page + "</body></html>";
}

bool Exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A Firefox history of the pages, the most visited first in page order.
bool WritePlaces(const std::string& file, int pages,
                 const std::vector<std::unique_ptr<CLoopbackHttpServer>>& hosts) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK)
        return false;
    bool ok = Exec(db, "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, "
                       "hidden INTEGER DEFAULT 0 NOT NULL);"
                       "CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, place_id "
                       "INTEGER, visit_date INTEGER, visit_type INTEGER); BEGIN");
    for (int i = 0; ok && i < pages; ++i) {
        const std::string id = std::to_string(i + 1);
        ok = Exec(db, "INSERT INTO moz_places (id, url) VALUES (" + id + ", '" +
                          hosts[i % kHosts]->Url(PagePath(i)) + "')");
        for (int v = 0; ok && v <= (pages - i) / 100; ++v)
            ok = Exec(db, "INSERT INTO moz_historyvisits (place_id, visit_date, visit_type) "
                          "VALUES (" +
                              id + ", " + std::to_string((kLastVisit - i * 60 - v) * 1000000) +
                              ", 1)");
    }
    ok = ok && Exec(db, "COMMIT");
    sqlite3_close(db);
    return ok;
}

CResult RunImport(int pages, int storeSites, bool mapsShown, CHeartbeat& heartbeat) {
    CResult result;
    result.pages = pages;
    result.storeSites = storeSites;
    result.mapsShown = mapsShown;
    QTemporaryDir home;
    const QString path = home.path();
    PrepareWindowHome(path, true); // imported pages never ask
    if (storeSites > 0) {
        CStoreShape shape;
        shape.sites = storeSites;
        shape.linksPerSite = 10;
        shape.wordsPerSite = 20;
        shape.vocabulary = 2 * storeSites;
        shape.categories = storeSites / 10;
        shape.sitesPerCategory = 10;
        shape.wordsPerCategory = 5;
        std::fprintf(stderr, "generating %d sites\n", storeSites);
        CSyntheticStore store(shape, (path + "/urls.wfx").toStdString());
    }
    QDir::setCurrent(path);

    std::vector<std::unique_ptr<CLoopbackHttpServer>> hosts;
    for (int h = 1; h <= kHosts; ++h)
        hosts.push_back(std::make_unique<CLoopbackHttpServer>("127.0.0." + std::to_string(h)));
    for (int i = 0; i < pages; ++i)
        hosts[i % kHosts]->ServeText(PagePath(i), Page(i, pages, hosts));
    const std::string places = (path + "/places.sqlite").toStdString();
    if (!WritePlaces(places, pages, hosts)) {
        std::fprintf(stderr, "cannot write %s\n", places.c_str());
        std::exit(1);
    }

    auto document = std::make_unique<CKorvoDoc>();
    auto frame = std::make_unique<CMainFrame>(document.get());
    frame->Create();
    frame->ShowAtSavedPlace();
    document->UpdateAllViews();
    if (!mapsShown) {
        frame->MapPane()->hide();
        frame->OverviewPane()->hide();
    }
    RunFor(500);

    CHistoryImportCommand& command = *frame->HistoryImport();
    QElapsedTimer clock;
    clock.start();
    heartbeat.Restart();
    command.ImportFromCommandLine(places);
    RunUntil([&] { return command.Import() != nullptr; });
    result.readMs = clock.nsecsElapsed() / 1e6;
    const bool finished = RunUntil([&] { return !command.Import()->IsRunning(); }, 600000);
    result.longestStandStillMs = heartbeat.LongestMs();
    const CHistoryImport& import = *command.Import();
    result.pagesPerSecond = import.PagesPerSecond();
    result.stored = import.Counts().stored;
    result.failed = import.Counts().failed;
    std::fprintf(stderr,
                 "%d pages into %d sites, maps %s: %s, read %.0f ms, %.1f pages a second, %d "
                 "stored, %d failed, window stood still at most %.1f ms\n",
                 pages, storeSites, mapsShown ? "shown" : "hidden",
                 finished ? "finished" : "TIMED OUT", result.readMs, result.pagesPerSecond,
                 result.stored, result.failed, result.longestStandStillMs);
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
    const int pages = argc > 1 ? std::atoi(argv[1]) : 1000;
    std::vector<int> stores;
    for (int i = 2; i < argc; ++i)
        stores.push_back(std::atoi(argv[i]));
    if (stores.empty())
        stores = {0};
    CHeartbeat heartbeat;
    std::printf("{\"imports\": [");
    const char* separator = "";
    for (const int sites : stores) {
        for (const bool mapsShown : {true, false}) {
            const CResult r = RunImport(pages, sites, mapsShown, heartbeat);
            std::printf("%s{\"pages\": %d, \"store_sites\": %d, \"maps_shown\": %s, "
                        "\"read_ms\": %.1f, \"pages_per_second\": %.1f, "
                        "\"longest_stand_still_ms\": %.1f, \"stored\": %d, \"failed\": %d}",
                        separator, r.pages, r.storeSites, r.mapsShown ? "true" : "false", r.readMs,
                        r.pagesPerSecond, r.longestStandStillMs, r.stored, r.failed);
            std::fflush(stdout);
            separator = ", ";
        }
    }
    std::printf("]}\n");
    return 0;
}
