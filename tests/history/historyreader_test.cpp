#include "history/browserprofiles.h"
#include "history/historyreader.h"
#include "tests/history/historyfiles.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct CPageRow {
    std::string url;
    std::int64_t lastVisit;
    int visits;
    bool operator==(const CPageRow&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CPageRow& row) {
    return out << row.url << " " << row.lastVisit << " x" << row.visits;
}

std::vector<CPageRow> Rows(const CHistoryReadResult& result) {
    std::vector<CPageRow> rows;
    for (const CHistoryPage& page : result.pages)
        rows.push_back({page.url, page.lastVisit, page.visits});
    return rows;
}

void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class HistoryReaderTest : public ::testing::Test {
protected:
    CTempDir m_dir;
};

TEST_F(HistoryReaderTest, Firefox_PagesCountedOrderedAndTimedInThePeriod) {
    const std::string file = m_dir.File("places.sqlite");
    {
        CTestDb db(file);
        MakeFirefox(db);
        AddFirefoxVisits(db, 1, "http://a.test/", {kT - 9 * kDay, kT - 8 * kDay, kT - 7 * kDay});
        AddFirefoxVisits(db, 2, "https://b.test/", {kT - kDay});
        AddFirefoxVisits(db, 3, "FILE:///home/me/c.html",
                         {kT - 5 * kDay, kT - 3 * kDay, kT - 2 * kDay});
        AddFirefoxVisits(db, 4, "http://frame.test/", {kT}, 8);     // a frame
        AddFirefoxVisits(db, 5, "http://embed.test/", {kT}, 4);     // embedded content
        AddFirefoxVisits(db, 6, "http://hidden.test/", {kT}, 1, 1); // a redirect source
        AddFirefoxVisits(db, 7, "ftp://d.test/", {kT});
        AddFirefoxVisits(db, 8, "http://e.test/x.GIF", {kT});
        AddFirefoxVisits(db, 9, "about:config", {kT});
    }
    const CHistoryReadResult visited = ReadHistory(file, {0, EHistoryOrder::MostVisited});
    EXPECT_EQ(visited.error, "");
    EXPECT_EQ(Rows(visited), (std::vector<CPageRow>{{"FILE:///home/me/c.html", kT - 2 * kDay, 3},
                                                    {"http://a.test/", kT - 7 * kDay, 3},
                                                    {"https://b.test/", kT - kDay, 1}}));
    const CHistoryReadResult recent = ReadHistory(file, {0, EHistoryOrder::MostRecent});
    ASSERT_EQ(recent.pages.size(), 3u);
    EXPECT_EQ(recent.pages[0].url, "https://b.test/");
    EXPECT_EQ(recent.pages[2].url, "http://a.test/");
    // The last week: a.test drops out, c.test counts the two visits in it.
    const CHistoryReadResult week = ReadHistory(file, {kT - 4 * kDay, EHistoryOrder::MostVisited});
    EXPECT_EQ(Rows(week), (std::vector<CPageRow>{{"FILE:///home/me/c.html", kT - 2 * kDay, 2},
                                                 {"https://b.test/", kT - kDay, 1}}));
}

TEST_F(HistoryReaderTest, Chromium_TimesFrom1601AndSubframesLeftOut) {
    const std::string file = m_dir.File("History");
    {
        CTestDb db(file);
        MakeChromium(db);
        AddChromiumVisits(db, 1, "https://a.test/", {kT - 3 * kDay, kT - kDay});
        // A typed visit with qualifier bits (redirect chain end) is a page like any other.
        AddChromiumVisits(db, 2, "http://b.test/", {kT}, 0x30000000 | 1);
        AddChromiumVisits(db, 3, "http://subframe.test/", {kT}, 3);
        AddChromiumVisits(db, 4, "http://manual-subframe.test/", {kT}, 0x10000000 | 4);
        db.Exec("UPDATE urls SET hidden = 1 WHERE id = 2");
        AddChromiumVisits(db, 5, "http://c.test/", {kT - 2 * kDay});
    }
    const CHistoryReadResult result = ReadHistory(file, {kT - 2 * kDay, EHistoryOrder::MostRecent});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(Rows(result), (std::vector<CPageRow>{{"https://a.test/", kT - kDay, 1},
                                                   {"http://c.test/", kT - 2 * kDay, 1}}));
}

// The browser keeps its database locked and its latest pages in the write-ahead log; the reader
// works on a copy of both and never opens the live files.
TEST_F(HistoryReaderTest, LiveDatabase_LogReadAndLockIgnored) {
    const std::string file = m_dir.File("places.sqlite");
    CTestDb browser(file);
    browser.Exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0");
    MakeFirefox(browser);
    AddFirefoxVisits(browser, 1, "http://logged.test/", {kT});
    browser.Exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE");
    AddFirefoxVisits(browser, 2, "http://uncommitted.test/", {kT});
    ASSERT_TRUE(std::filesystem::exists(file + "-wal"));
    const auto before = std::filesystem::last_write_time(file);

    const CHistoryReadResult result = ReadHistory(file, {});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(Rows(result), (std::vector<CPageRow>{{"http://logged.test/", kT, 1}}));
    EXPECT_EQ(std::filesystem::last_write_time(file), before);
    browser.Exec("COMMIT");

    // A rollback-journal database in the middle of a write transaction reads as committed.
    const std::string chromium = m_dir.File("History");
    CTestDb writer(chromium);
    MakeChromium(writer);
    AddChromiumVisits(writer, 1, "http://committed.test/", {kT});
    writer.Exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE");
    AddChromiumVisits(writer, 2, "http://pending.test/", {kT});
    EXPECT_EQ(Rows(ReadHistory(chromium, {})),
              (std::vector<CPageRow>{{"http://committed.test/", kT, 1}}));
    writer.Exec("COMMIT");
}

TEST_F(HistoryReaderTest, UnreadableSources_MessageAndNothingRead) {
    const std::string good = m_dir.File("good.sqlite");
    {
        CTestDb db(good);
        MakeFirefox(db);
        db.Exec("BEGIN");
        for (int i = 1; i <= 400; ++i)
            AddFirefoxVisits(
                db, i, "http://page" + std::to_string(i) + ".test/" + std::string(200, 'x'), {kT});
        db.Exec("COMMIT");
    }
    std::ifstream in(good, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 40000u);

    const std::string garbage = m_dir.File("garbage");
    WriteText(garbage, std::string(5000, 'G'));
    const std::string cut = m_dir.File("cut.sqlite");
    WriteText(cut, bytes.substr(0, bytes.size() / 3));
    const std::string damaged = m_dir.File("damaged.sqlite");
    std::string scrambled = bytes;
    for (std::size_t i = 4096; i < scrambled.size(); i += 7)
        scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5a);
    WriteText(damaged, scrambled);
    const std::string empty = m_dir.File("other.sqlite");
    { CTestDb(empty).Exec("CREATE TABLE notes (id INTEGER, text TEXT)"); }
    const std::string noColumn = m_dir.File("nocolumn.sqlite");
    {
        CTestDb db(noColumn);
        db.Exec("CREATE TABLE urls (id INTEGER PRIMARY KEY, url TEXT);"
                "CREATE TABLE visits (id INTEGER PRIMARY KEY, url INTEGER)");
    }
    struct CCase {
        std::string file;
        std::string message;
    };
    const std::vector<CCase> cases{
        {m_dir.File("missing"), "Can't read " + m_dir.File("missing") + ": No such file"},
        {m_dir.Path(), "Can't read " + m_dir.Path() + ": it is not a file."},
        {garbage, garbage + " is damaged or is not a browser history."},
        {cut, cut + " is damaged or is not a browser history."},
        {damaged, damaged + " is damaged or is not a browser history."},
        {empty, empty + " is not a browser history: it has neither"},
        {noColumn, noColumn + " is not a Chromium history Wayfold can read: no such column"},
    };
    for (const CCase& c : cases) {
        const CHistoryReadResult result = ReadHistory(c.file, {});
        EXPECT_EQ(result.error.substr(0, c.message.size()), c.message) << c.file;
        EXPECT_TRUE(result.pages.empty()) << c.file;
        EXPECT_FALSE(result.cancelled) << c.file;
    }
    std::atomic<bool> stop{true};
    const CHistoryReadResult stopped = ReadHistory(good, {}, &stop);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_TRUE(stopped.pages.empty());
    EXPECT_EQ(stopped.error, "");
}

TEST_F(HistoryReaderTest, RowsWithBadValues_LeftOutTheRestRead) {
    const std::string file = m_dir.File("places.sqlite");
    {
        CTestDb db(file);
        MakeFirefox(db);
        AddFirefoxVisits(db, 1, "http://fine.test/", {kT});
        db.Exec("INSERT INTO moz_places (id, url) VALUES (2, X'687474703a2f2f626c6f622e74657374')");
        db.Exec("INSERT INTO moz_places (id, url) VALUES (3, 'http://text-time.test/');"
                "INSERT INTO moz_historyvisits (place_id, visit_date, visit_type) "
                "VALUES (3, 'yesterday', 1)");
        AddFirefoxVisits(db, 2, "", {kT});
        AddFirefoxVisits(db, 4, "http://before-1970.test/", {-5});
        AddFirefoxVisits(db, 5, "http://after-2038.test/", {std::int64_t{1} << 32});
        AddFirefoxVisits(db, 6, "http://bad url.test/", {kT});
        AddFirefoxVisits(db, 7, "http://long.test/" + std::string(8200, 'a'), {kT});
        AddFirefoxVisits(db, 8, "http://fine2.test/", {kT - 1});
    }
    const CHistoryReadResult result = ReadHistory(file, {});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(Rows(result), (std::vector<CPageRow>{{"http://fine.test/", kT, 1},
                                                   {"http://fine2.test/", kT - 1, 1}}));
}

TEST(HistorySelectionTest, CapCountsOnlyPagesNotKnown) {
    const std::vector<CHistoryPage> pages{{"a", 1, 1}, {"b", 1, 1}, {"c", 1, 1}, {"d", 1, 1}};
    const auto urls = [](const std::vector<CHistoryPage>& chosen) {
        std::string joined;
        for (const CHistoryPage& page : chosen)
            joined += page.url;
        return joined;
    };
    EXPECT_EQ(urls(SelectHistoryPages(pages, 2, {})), "ab");
    EXPECT_EQ(urls(SelectHistoryPages(pages, 2, [](const std::string& url) { return url == "a"; })),
              "bc");
    EXPECT_EQ(urls(SelectHistoryPages(pages, 10, [](const std::string& url) { return url < "c"; })),
              "cd");
}

TEST_F(HistoryReaderTest, Profiles_FoundWithNamesDefaultsAndCommandLineNames) {
    CProfileRoots roots{m_dir.File("home"), m_dir.File("xdg")};
    const std::string firefox = roots.home + "/.mozilla/firefox";
    WriteText(firefox + "/profiles.ini",
              "[Profile1]\nName=work\nIsRelative=0\nPath=" + m_dir.File("elsewhere/work") +
                  "\n\n[Profile0]\nName=default-esr\nIsRelative=1\nPath=ab12.default-esr\n"
                  "Default=1\n\n[Profile2]\nName=empty\nIsRelative=1\nPath=none\n\n"
                  "[Install3B6073811A6ABF12]\nDefault=ab12.default-esr\n\n[General]\n"
                  "Version=2\n");
    WriteText(firefox + "/ab12.default-esr/places.sqlite", "");
    WriteText(m_dir.File("elsewhere/work/places.sqlite"), "");
    const std::string chromium = roots.configHome + "/chromium";
    WriteText(chromium + "/Local State",
              R"({"profile":{"info_cache":{"Default":{"name":"Person 1"},)"
              R"("Profile 1":{"name":"Holidays"}},"last_used":"Profile 1"}})");
    WriteText(chromium + "/Default/History", "");
    WriteText(chromium + "/Profile 1/History", "");
    WriteText(chromium + "/Profile 2/Preferences", "");
    // Not under $XDG_CONFIG_HOME: not looked at.
    WriteText(roots.home + "/.config/google-chrome/Default/History", "");

    const std::vector<CBrowserProfile> found = FindBrowserProfiles(roots);
    std::vector<std::string> shown;
    for (const CBrowserProfile& profile : found)
        shown.push_back(profile.key + "|" + profile.browser + "|" + profile.profile + "|" +
                        (profile.isDefault ? "default" : ""));
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "firefox|Firefox|default-esr|default", "firefox|Firefox|work|",
                         "chromium|Chromium|Holidays|default", "chromium|Chromium|Person 1|"}));
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[1].historyFile, m_dir.File("elsewhere/work/places.sqlite"));
    EXPECT_EQ(found[2].historyFile,
              std::filesystem::weakly_canonical(chromium) / "Profile 1/History");

    struct CCase {
        std::string word;
        std::string history; // empty: an error is expected
    };
    const std::vector<CCase> cases{
        {"Firefox-ESR", found[0].historyFile},
        {"chromium", found[2].historyFile},
        {chromium + "/Default", chromium + "/Default/History"},
        {m_dir.File("elsewhere/work/places.sqlite"), m_dir.File("elsewhere/work/places.sqlite")},
        {"chrome", ""},
        {"netscape", ""},
    };
    for (const CCase& c : cases) {
        CBrowserProfile source;
        std::string error;
        EXPECT_EQ(ResolveHistorySource(c.word, found, source, error), !c.history.empty()) << c.word;
        EXPECT_EQ(source.historyFile, c.history) << c.word;
        EXPECT_EQ(error.empty(), !c.history.empty()) << c.word;
    }
}

} // namespace
