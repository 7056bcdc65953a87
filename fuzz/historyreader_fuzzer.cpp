// Fuzzes the browser history readers: any file given as a history must give pages or a message,
// never a crash; pages read are importable, counted and in the order asked for. The same bytes
// as a Firefox profiles.ini and a Chromium Local State must not upset the profile finder.

#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzscratchdir.h"

#include "history/browserprofiles.h"
#include "history/historyreader.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool InOrder(const CHistoryPage& a, const CHistoryPage& b, EHistoryOrder order) {
    if (order == EHistoryOrder::MostVisited && a.visits != b.visits)
        return a.visits > b.visits;
    if (a.lastVisit != b.lastVisit)
        return a.lastVisit > b.lastVisit;
    if (order == EHistoryOrder::MostRecent && a.visits != b.visits)
        return a.visits > b.visits;
    return a.url <= b.url;
}

void CheckRead(const std::string& file, EHistoryOrder order) {
    const CHistoryReadResult result = ReadHistory(file, {0, order});
    FUZZ_REQUIRE(!result.cancelled);
    if (!result.error.empty()) {
        FUZZ_REQUIRE(result.pages.empty());
        return;
    }
    for (std::size_t i = 0; i < result.pages.size(); ++i) {
        const CHistoryPage& page = result.pages[i];
        FUZZ_REQUIRE(IsImportableUrl(page.url));
        FUZZ_REQUIRE(page.visits >= 1 && page.lastVisit >= 0);
        if (i > 0)
            FUZZ_REQUIRE(InOrder(result.pages[i - 1], page, order));
    }
}

void CheckProfiles(const std::string& root, const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (const fs::path& file : {fs::path(root) / "home/.mozilla/firefox/profiles.ini",
                                 fs::path(root) / "config/chromium/Local State"}) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
    for (const CBrowserProfile& profile : FindBrowserProfiles({root + "/home", root + "/config"}))
        FUZZ_REQUIRE(!profile.browser.empty() && !profile.historyFile.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzScratchDir& scratch = CFuzzScratchDir::Instance();
    const std::string file = scratch.WriteInput("History", data, size);
    CheckRead(file, EHistoryOrder::MostVisited);
    CheckRead(file, EHistoryOrder::MostRecent);
    CheckProfiles(scratch.File("profiles"), data, size);
    return 0;
}
