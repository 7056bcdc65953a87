// Fuzzes the urls.wfx loader: any file must load (whole or up to its damage) without a crash,
// leave a consistent database, and a database read whole must come back the same after a save.

#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzscratchdir.h"

#include "model/random.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <cstdlib>
#include <set>
#include <string>

namespace {
// Every pointer the database holds leads to an object it owns.
void CheckConsistent(const CSiteDatabase& db) {
    std::set<const CSite*> sites;
    for (const auto& site : db.Sites())
        if (site)
            sites.insert(site.get());
    for (const auto& [url, site] : db.UrlMap())
        FUZZ_REQUIRE(sites.count(site) == 1 && site->m_url == url);
    for (const auto& [text, entry] : db.Words()) {
        FUZZ_REQUIRE(entry && entry->m_text == text);
        for (const auto& [url, site] : entry->m_sites)
            FUZZ_REQUIRE(sites.count(site) == 1 && site->m_url == url);
    }
    for (const CSite* site : sites) {
        FUZZ_REQUIRE(site->m_url.size() <= 8191 && site->m_title.size() <= 8191);
        for (const auto& [text, entry] : site->m_words) {
            const auto found = db.Words().find(text);
            FUZZ_REQUIRE(found != db.Words().end() && found->second.get() == entry);
        }
    }
}

// What a save must keep: everything the file holds, in order.
// A site stored with time 0 takes the time of its load, which two loads need not share:
// withTimes false leaves the times out.
std::string Describe(const CSiteDatabase& db, bool withTimes = true) {
    std::string text;
    const auto add = [&text](const std::string& part) {
        text += std::to_string(part.size()) + ":" + part + ";";
    };
    for (const auto& [key, entry] : db.Words())
        add(key + " " + std::to_string(entry->m_x) + " " + std::to_string(entry->m_y) + " " +
            std::to_string(entry->m_count));
    for (const auto& site : db.Sites()) {
        if (!site)
            continue;
        add(site->m_url);
        add(site->m_title);
        add(site->m_annotation);
        add(std::to_string(site->m_visited) + " " + std::to_string(site->m_hidden) + " " +
            std::to_string(site->m_x) + " " + std::to_string(site->m_y) + " " +
            (withTimes ? std::to_string(site->m_time) : std::string()));
        for (const auto& [word, entry] : site->m_words)
            add("w " + word);
        for (const auto& link : site->m_links) {
            if (!link)
                continue;
            add(link->m_url);
            add(link->m_title);
            add(link->m_annotation);
            add(std::to_string(link->m_hidden) + " " + std::to_string(link->m_x) + " " +
                std::to_string(link->m_y));
        }
    }
    return text;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzScratchDir& scratch = CFuzzScratchDir::Instance();
    const std::string path = scratch.WriteInput("urls.wfx", data, size);

    // Read in one block and in small blocks, so that records span the blocks' edges, the
    // loader keeps the same (positions drawn alike from one seed).
    bool whole = false;
    {
        SeedRandom(1);
        CSiteDatabase db;
        whole = db.OpenReadOnly(path);
        CheckConsistent(db);
        FUZZ_REQUIRE(whole == !db.IsDamaged());
        const std::string described = Describe(db, false);
        CSiteDatabase::SetLoadBlockSize(64 + size % 193);
        SeedRandom(1);
        CSiteDatabase inBlocks;
        const bool wholeInBlocks = inBlocks.OpenReadOnly(path);
        CSiteDatabase::SetLoadBlockSize(std::size_t(1) << 20);
        FUZZ_REQUIRE(wholeInBlocks == whole && Describe(inBlocks, false) == described);
    }
    if (!whole)
        return 0;

    // A database read whole survives a save and a second load unchanged. (Loads differ from
    // each other where the loader draws positions or takes the time, so the save is compared
    // with the load it came from.)
    std::string saved;
    {
        CSiteDatabase db;
        FUZZ_REQUIRE(db.Open(path));
        saved = Describe(db);
        FUZZ_REQUIRE(db.Save());
    }
    CSiteDatabase again;
    FUZZ_REQUIRE(again.OpenReadOnly(path));
    CheckConsistent(again);
    FUZZ_REQUIRE(Describe(again) == saved);
    return 0;
}
