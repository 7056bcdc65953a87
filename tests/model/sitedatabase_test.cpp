#include "model/binaryio.h"
#include "model/errorreport.h"
#include "model/random.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "tests/model/storetestfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unordered_map>
#include <vector>

namespace {
// The file layout, spelled out independently of the code under test.
std::string WordRecord(const std::string& text, int x, int y, int count) {
    return StringBytes(text) + Int32Bytes(x) + Int32Bytes(y) + Int32Bytes(count);
}
std::string LinkRecord(const std::string& url, const std::string& title,
                       const std::string& annotation, int hidden, int x, int y) {
    return Int32Bytes(int(url.size())) + Int32Bytes(int(title.size())) +
           Int32Bytes(int(annotation.size())) + Int32Bytes(hidden) + Int32Bytes(x) + Int32Bytes(y) +
           url + title + annotation;
}
std::string SiteRecord(const std::string& url, const std::string& title,
                       const std::string& annotation, int visited, int hidden, int x, int y,
                       int time, const std::vector<std::string>& words,
                       const std::vector<std::string>& links) {
    std::string record = Int32Bytes(int(url.size())) + Int32Bytes(int(title.size())) +
                         Int32Bytes(int(annotation.size())) + Int32Bytes(int(links.size())) +
                         Int32Bytes(visited) + Int32Bytes(hidden) + Int32Bytes(x) + Int32Bytes(y) +
                         Int32Bytes(time) + url + title + annotation +
                         Int32Bytes(int(words.size()));
    for (const auto& word : words)
        record += StringBytes(word);
    for (const auto& link : links)
        record += link;
    return record;
}

// A small file as another tool would write it: two words, three sites, links, odd positions.
std::string HandMadeFile() {
    return Int32Bytes(1) + Int32Bytes(3) + WordRecord("ALPHA", 10, 20, 3) +
           WordRecord("Q", 1, 1, 1) + WordRecord("BETA", -4, 2100, 1) + Int32Bytes(3) +
           SiteRecord("http://a/", "Site A", "<NONE>", 1, 0, -7, 2500, 1700000000,
                      {"ALPHA", "BETA", "X"},
                      {LinkRecord("http://b/", " ", "<NONE>", 1, -7, 3),
                       LinkRecord("http://a/x", "next", "note", 0, 2500, 40)}) +
           SiteRecord("http://b/", "Site B", "mine", 1, 1, 2000, 0, 1600000000, {"ALPHA"}, {}) +
           SiteRecord("http://a/", "Again A", "<NONE>", 1, 0, 100, 200, 1650000000, {}, {});
}

CSite* MakeSite(CSiteDatabase& db, const std::string& url, std::int32_t time = 1700000000) {
    return db.AddSite(std::make_unique<CSite>(url, "title " + url, "<NONE>", 1, time));
}

void GiveWord(CSiteDatabase& db, CSite* site, const std::string& text) {
    CWordEntry* entry = db.FindOrMakeWord(text);
    site->AddWord(entry);
    entry->AddSite(site);
}
} // namespace

TEST(SiteDatabase, MissingFileIsEmptyAndFirstSaveWritesVersionAndZeroCounts) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    {
        CErrorRecorder errors;
        CSiteDatabase db;
        EXPECT_TRUE(db.Open(path));
        EXPECT_TRUE(db.Sites().empty());
        EXPECT_EQ(db.Version(), 1);
        EXPECT_TRUE(errors.Messages().empty());
    }
    EXPECT_EQ(FileBytes(path), Int32Bytes(1) + Int32Bytes(0) + Int32Bytes(0));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"urls.wfx"});
}

TEST(SiteDatabase, NeverOpenedDatabaseWritesNothing) {
    CTestFolder folder;
    { CSiteDatabase db; }
    EXPECT_TRUE(folder.Names().empty());
}

TEST(SiteDatabase, SaveWritesTheLayoutByteForByte) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    {
        CSiteDatabase db;
        db.Open(path);
        CSite* a = MakeSite(db, "http://a/", 1700000000);
        a->m_x = 5;
        a->m_y = 1995;
        a->m_annotation = "my note";
        GiveWord(db, a, "ALPHA");
        GiveWord(db, a, "BETA");
        CWordEntry* alpha = db.FindOrMakeWord("ALPHA");
        alpha->m_x = 10;
        alpha->m_y = 20;
        alpha->m_count = 2;
        CWordEntry* beta = db.FindOrMakeWord("BETA");
        beta->m_x = 30;
        beta->m_y = 40;
        CSite* link = a->AddLink(std::make_unique<CSite>("http://l/", " ", "<NONE>", 0));
        link->m_x = -7;
        link->m_y = 3;
        link->m_hidden = 1;
        a->m_links.push_back(nullptr); // an empty slot is not written
        CSite* b = MakeSite(db, "http://b/", 1600000000);
        b->m_x = 0;
        b->m_y = 7;
        b->m_hidden = 1;
        b->m_title = "";
        ASSERT_TRUE(db.Save());
    }
    const std::string expected =
        Int32Bytes(1) + Int32Bytes(2) + WordRecord("ALPHA", 10, 20, 2) +
        WordRecord("BETA", 30, 40, 1) + Int32Bytes(2) +
        SiteRecord("http://a/", "title http://a/", "my note", 1, 0, 5, 1995, 1700000000,
                   {"ALPHA", "BETA"}, {LinkRecord("http://l/", " ", "<NONE>", 1, -7, 3)}) +
        SiteRecord("http://b/", "", "<NONE>", 1, 1, 0, 7, 1600000000, {}, {});
    EXPECT_EQ(FileBytes(path), expected);
}

TEST(SiteDatabase, LoadsAHandMadeFileWithClampsAndDroppedShortWords) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    WriteFileBytes(path, HandMadeFile());
    CErrorRecorder errors;
    CSiteDatabase db;
    const auto before = static_cast<std::int32_t>(std::time(nullptr));
    ASSERT_TRUE(db.OpenReadOnly(path));
    EXPECT_TRUE(errors.Messages().empty());

    ASSERT_EQ(db.Words().size(), 2u);
    EXPECT_FALSE(db.HasWord("Q"));
    const CWordEntry& alpha = *db.Words().at("ALPHA");
    EXPECT_EQ(alpha.m_x, 10);
    EXPECT_EQ(alpha.m_y, 20);
    EXPECT_EQ(alpha.m_count, 3);
    const CWordEntry& beta = *db.Words().at("BETA");
    EXPECT_EQ(beta.m_x, -4); // word positions are not clamped
    EXPECT_EQ(beta.m_y, 2100);

    ASSERT_EQ(db.Sites().size(), 3u);
    const CSite& a = *db.Sites()[0];
    EXPECT_EQ(a.m_url, "http://a/");
    EXPECT_EQ(a.m_title, "Site A");
    EXPECT_EQ(a.m_annotation, "<NONE>");
    EXPECT_EQ(a.m_visited, 1);
    EXPECT_EQ(a.m_x, 5);
    EXPECT_EQ(a.m_y, 1995);
    EXPECT_EQ(a.m_time, 1700000000);
    EXPECT_EQ(a.m_width, 20);
    ASSERT_EQ(a.m_words.size(), 2u);
    EXPECT_EQ(a.m_words.at("ALPHA"), &alpha);
    EXPECT_EQ(alpha.m_sites.size(), 2u); // a and b; the later http://a/ has no words
    EXPECT_EQ(beta.m_sites.at("http://a/"), &a);

    ASSERT_EQ(a.m_links.size(), 2u);
    const CSite& link = *a.m_links[0];
    EXPECT_EQ(link.m_url, "http://b/");
    EXPECT_EQ(link.m_title, " ");
    EXPECT_EQ(link.m_visited, 0);
    EXPECT_EQ(link.m_hidden, 1);
    EXPECT_EQ(link.m_x, -7);
    EXPECT_EQ(link.m_y, 3);
    EXPECT_EQ(link.m_width, 15);
    EXPECT_GE(link.m_time, before);
    EXPECT_EQ(a.m_links[1]->m_x, 2500);
    EXPECT_EQ(a.m_links[1]->m_annotation, "note");

    const CSite& b = *db.Sites()[1];
    EXPECT_EQ(b.m_x, 2000);
    EXPECT_EQ(b.m_y, 0);
    EXPECT_EQ(b.m_hidden, 1);
    EXPECT_EQ(alpha.m_sites.at("http://b/"), &b);

    // Both records of http://a/ stay; the URL map finds the later one.
    EXPECT_EQ(db.FindSite("http://a/"), db.Sites()[2].get());
    EXPECT_EQ(db.IndexOfSite("http://a/"), 2);
    EXPECT_EQ(db.IndexOfSite("http://b/"), 1);
    EXPECT_EQ(db.IndexOfSite("http://none/"), -1);
    EXPECT_EQ(db.FindSite("http://none/"), nullptr);
}

TEST(SiteDatabase, SaveAndReloadKeepEverythingButLinkTimes) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    WriteFileBytes(path, HandMadeFile());
    {
        CSiteDatabase db;
        ASSERT_TRUE(db.Open(path));
    }
    // Another tool's file and ours are interchangeable: rewriting changes only what the
    // loader mends (clamped positions, dropped one-letter words).
    CSiteDatabase first;
    ASSERT_TRUE(first.OpenReadOnly(path));
    const std::string saved = FileBytes(path);
    {
        CSiteDatabase again;
        ASSERT_TRUE(again.Open(path));
    }
    EXPECT_EQ(FileBytes(path), saved);

    CSiteDatabase second;
    ASSERT_TRUE(second.OpenReadOnly(path));
    ASSERT_EQ(first.Sites().size(), second.Sites().size());
    for (std::size_t i = 0; i < first.Sites().size(); ++i) {
        const CSite& x = *first.Sites()[i];
        const CSite& y = *second.Sites()[i];
        EXPECT_EQ(x.m_url, y.m_url);
        EXPECT_EQ(x.m_title, y.m_title);
        EXPECT_EQ(x.m_annotation, y.m_annotation);
        EXPECT_EQ(x.m_hidden, y.m_hidden);
        EXPECT_EQ(x.m_x, y.m_x);
        EXPECT_EQ(x.m_y, y.m_y);
        EXPECT_EQ(x.m_time, y.m_time);
        EXPECT_EQ(x.TimeText(), y.TimeText());
        ASSERT_EQ(x.m_links.size(), y.m_links.size());
        for (std::size_t j = 0; j < x.m_links.size(); ++j) {
            EXPECT_EQ(x.m_links[j]->m_url, y.m_links[j]->m_url);
            EXPECT_EQ(x.m_links[j]->m_x, y.m_links[j]->m_x);
            EXPECT_EQ(x.m_links[j]->m_hidden, y.m_links[j]->m_hidden);
        }
        std::vector<std::string> wordsX, wordsY;
        for (const auto& [text, entry] : x.m_words)
            wordsX.push_back(text);
        for (const auto& [text, entry] : y.m_words)
            wordsY.push_back(text);
        EXPECT_EQ(wordsX, wordsY);
    }
    ASSERT_EQ(first.Words().size(), second.Words().size());
    for (const auto& [text, entry] : first.Words()) {
        const CWordEntry& other = *second.Words().at(text);
        EXPECT_EQ(entry->m_x, other.m_x);
        EXPECT_EQ(entry->m_y, other.m_y);
        EXPECT_EQ(entry->m_count, other.m_count);
        EXPECT_EQ(entry->m_sites.size(), other.m_sites.size());
    }
}

TEST(SiteDatabase, HasWordNeverAddsButFindOrMakeDoes) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    {
        CSiteDatabase db;
        db.Open(path);
        EXPECT_FALSE(db.HasWord("UNKNOWN"));
        EXPECT_EQ(db.FindOrMakeWord("A"), nullptr);
        EXPECT_EQ(db.FindOrMakeWord(""), nullptr);
        CWordEntry* word = db.FindOrMakeWord("go");
        ASSERT_NE(word, nullptr);
        EXPECT_EQ(word->m_text, "GO");
        EXPECT_EQ(word->m_count, 1);
        EXPECT_GE(word->m_x, 20);
        EXPECT_LE(word->m_x, 1980);
        EXPECT_EQ(db.FindOrMakeWord("go"), word);
    }
    const std::string bytes = FileBytes(path);
    ASSERT_EQ(bytes.size(), 30u);
    EXPECT_EQ(bytes.substr(0, 14), Int32Bytes(1) + Int32Bytes(1) + StringBytes("GO"));
    EXPECT_EQ(bytes.substr(22), Int32Bytes(1) + Int32Bytes(0)); // count 1, no sites
}

TEST(SiteDatabase, RemovingTheLastSiteOfAWordRemovesTheWord) {
    CSiteDatabase db;
    CSite* a = MakeSite(db, "http://a/");
    CSite* b = MakeSite(db, "http://b/");
    GiveWord(db, a, "SHARED");
    GiveWord(db, b, "SHARED");
    GiveWord(db, a, "ONLYA");
    db.FindOrMakeWord("ORPHAN"); // carried by no site: not touched by a removal

    std::unique_ptr<CSite> removed = db.RemoveSite(a);
    ASSERT_EQ(removed.get(), a);
    EXPECT_EQ(removed->m_hidden, 1);
    EXPECT_TRUE(removed->m_words.empty());
    EXPECT_FALSE(db.HasWord("ONLYA"));
    EXPECT_TRUE(db.HasWord("ORPHAN"));
    ASSERT_TRUE(db.HasWord("SHARED"));
    EXPECT_EQ(db.Words().at("SHARED")->m_sites.size(), 1u);
    EXPECT_EQ(db.FindSite("http://a/"), nullptr);
    ASSERT_EQ(db.Sites().size(), 1u);
    EXPECT_EQ(db.Sites()[0].get(), b);
    EXPECT_EQ(db.RemoveSite(a), nullptr);
}

TEST(SiteDatabase, RemovesALinkByIdentityEvenWhenItSharesAVisitedUrl) {
    CSiteDatabase db;
    CSite* a = MakeSite(db, "http://a/");
    CSite* b = MakeSite(db, "http://b/");
    GiveWord(db, b, "BWORD");
    CSite* first = a->AddLink(std::make_unique<CSite>("http://b/", "", "<NONE>", 0));
    CSite* second = a->AddLink(std::make_unique<CSite>("http://c/", "", "<NONE>", 0));

    std::unique_ptr<CSite> removed = db.RemoveSite(first);
    EXPECT_EQ(removed.get(), first);
    ASSERT_EQ(a->m_links.size(), 1u);
    EXPECT_EQ(a->m_links[0].get(), second);
    // The visited site of the same URL is untouched.
    EXPECT_EQ(db.FindSite("http://b/"), b);
    EXPECT_EQ(db.Sites().size(), 2u);
    EXPECT_TRUE(db.HasWord("BWORD"));
    EXPECT_EQ(b->m_hidden, 0);
}

TEST(SiteDatabase, DuplicateUrlsBothStayAndRemovingTheLaterFindsTheEarlier) {
    CSiteDatabase db;
    CSite* early = MakeSite(db, "http://same/");
    CSite* late = MakeSite(db, "http://same/");
    EXPECT_EQ(db.Sites().size(), 2u);
    EXPECT_EQ(db.FindSite("http://same/"), late);
    db.RemoveSite(late);
    EXPECT_EQ(db.FindSite("http://same/"), early);
    db.RemoveSite(early);
    EXPECT_EQ(db.FindSite("http://same/"), nullptr);
    EXPECT_TRUE(db.UrlMap().empty());
}

TEST(SiteDatabase, RekeySiteMovesUrlMapAndWordEntries) {
    CSiteDatabase db;
    CSite* a = MakeSite(db, "http://old/");
    CSite* other = MakeSite(db, "http://other/");
    GiveWord(db, a, "ALPHA");
    GiveWord(db, other, "ALPHA");
    CSite* link = other->AddLink(std::make_unique<CSite>("http://old/", "", "<NONE>", 0));

    ASSERT_TRUE(db.RekeySite(a, "http://new/"));
    EXPECT_EQ(a->m_url, "http://new/");
    EXPECT_EQ(db.FindSite("http://new/"), a);
    EXPECT_EQ(db.FindSite("http://old/"), nullptr);
    const auto& sites = db.Words().at("ALPHA")->m_sites;
    EXPECT_EQ(sites.count("http://old/"), 0u);
    EXPECT_EQ(sites.at("http://new/"), a);
    EXPECT_EQ(sites.at("http://other/"), other);
    EXPECT_EQ(link->m_url, "http://old/"); // links keep their own URL

    ASSERT_TRUE(db.RekeySite(link, "http://moved/"));
    EXPECT_EQ(link->m_url, "http://moved/");
    EXPECT_EQ(db.FindSite("http://moved/"), nullptr);

    CSite stranger("http://x/", "", "", 1, 1);
    EXPECT_FALSE(db.RekeySite(&stranger, "http://y/"));
    EXPECT_EQ(stranger.m_url, "http://x/");

    // After a reload the edited URL is what the file holds, and removal still finds it.
    std::unique_ptr<CSite> removed = db.RemoveSite(a);
    EXPECT_EQ(removed.get(), a);
    EXPECT_EQ(db.Words().at("ALPHA")->m_sites.size(), 1u);
}

TEST(SiteDatabase, TextsAboveTheLimitAreCutSoTheFileStaysReadable) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    const std::string longTitle(9000, 't');
    {
        CSiteDatabase db;
        db.Open(path);
        CSite* site = MakeSite(db, std::string(8191, 'u'));
        site->m_title = longTitle;
    }
    CErrorRecorder errors;
    CSiteDatabase db;
    ASSERT_TRUE(db.OpenReadOnly(path));
    ASSERT_EQ(db.Sites().size(), 1u);
    EXPECT_EQ(db.Sites()[0]->m_url.size(), 8191u);
    EXPECT_EQ(db.Sites()[0]->m_title, longTitle.substr(0, 8191));
    EXPECT_TRUE(errors.Messages().empty());
}

// ---- damaged files ----

namespace {
struct DamageCase {
    const char* name;
    std::string bytes;
    std::size_t sitesKept;
};

std::vector<DamageCase> DamageCases() {
    const std::string head = Int32Bytes(1) + Int32Bytes(1) + WordRecord("ALPHA", 1, 2, 1);
    const std::string goodSite =
        SiteRecord("http://g/", "good", "<NONE>", 1, 0, 1, 1, 5, {"ALPHA"}, {});
    const std::string nine = Int32Bytes(9) + Int32Bytes(4) + Int32Bytes(6) + Int32Bytes(0) +
                             Int32Bytes(1) + Int32Bytes(0) + Int32Bytes(1) + Int32Bytes(1) +
                             Int32Bytes(5);
    return {
        {"empty file", "", 0},
        {"huge word count", Int32Bytes(1) + Int32Bytes(0x7fffffff), 0},
        {"negative word count", Int32Bytes(1) + Int32Bytes(-1) + Int32Bytes(0), 0},
        {"huge site count", head + Int32Bytes(0x7fffffff) + goodSite, 0},
        {"negative site count", head + Int32Bytes(-2), 0},
        {"negative url length", head + Int32Bytes(2) + goodSite + Int32Bytes(-1) + nine.substr(4),
         1},
        {"url length past the end",
         head + Int32Bytes(2) + goodSite + Int32Bytes(1000) + nine.substr(4), 1},
        {"title above the limit",
         head + Int32Bytes(1) + Int32Bytes(1) + Int32Bytes(8192) + nine.substr(8) + "u" +
             std::string(8192, 't') + "<NONE>" + Int32Bytes(0),
         0},
        {"huge site word count",
         head + Int32Bytes(2) + goodSite + nine + "http://x" + "titl" + "<NONE>" +
             Int32Bytes(0x40000000),
         1},
        {"huge link count",
         head + Int32Bytes(2) + goodSite + Int32Bytes(9) + Int32Bytes(4) + Int32Bytes(6) +
             Int32Bytes(0x7ffffff0) + Int32Bytes(1) + Int32Bytes(0) + Int32Bytes(1) +
             Int32Bytes(1) + Int32Bytes(5) + "http://x" + "titl" + "<NONE>" + Int32Bytes(0),
         1},
        {"negative link count",
         head + Int32Bytes(2) + goodSite + Int32Bytes(9) + Int32Bytes(4) + Int32Bytes(6) +
             Int32Bytes(-3) + Int32Bytes(1) + Int32Bytes(0) + Int32Bytes(1) + Int32Bytes(1) +
             Int32Bytes(5) + "http://x" + "titl" + "<NONE>" + Int32Bytes(0),
         1},
        {"negative word length",
         Int32Bytes(1) + Int32Bytes(1) + Int32Bytes(-5) + Int32Bytes(0) + Int32Bytes(0) +
             Int32Bytes(0) + Int32Bytes(0),
         0},
        {"bytes after the last site", head + Int32Bytes(1) + goodSite + "x", 1},
    };
}
} // namespace

TEST(SiteDatabase, DamagedFilesAreReportedKeptAndSetAsideAtTheNextSave) {
    for (const DamageCase& damage : DamageCases()) {
        SCOPED_TRACE(damage.name);
        CTestFolder folder;
        const std::string path = folder.File("urls.wfx");
        WriteFileBytes(path, damage.bytes);
        CErrorRecorder errors;
        {
            CSiteDatabase db;
            EXPECT_FALSE(db.Open(path));
            EXPECT_TRUE(db.IsDamaged());
            ASSERT_EQ(errors.Messages().size(), 1u);
            EXPECT_NE(errors.Messages()[0].find(path), std::string::npos);
            EXPECT_EQ(db.Sites().size(), damage.sitesKept);
        }
        EXPECT_EQ(FileBytes(path + ".damaged"), damage.bytes);
        CSiteDatabase reread;
        EXPECT_TRUE(reread.OpenReadOnly(path));
        EXPECT_EQ(reread.Sites().size(), damage.sitesKept);
        EXPECT_EQ(errors.Messages().size(), 1u);
    }
}

TEST(SiteDatabase, TruncationAtEveryOffsetKeepsTheSitesBeforeIt) {
    const std::string whole = HandMadeFile();
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    std::size_t lastKept = 0;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        WriteFileBytes(path, whole.substr(0, cut));
        CErrorRecorder errors;
        CSiteDatabase db;
        EXPECT_FALSE(db.OpenReadOnly(path));
        ASSERT_EQ(errors.Messages().size(), 1u);
        EXPECT_LT(db.Sites().size(), 3u);
        EXPECT_GE(db.Sites().size(), lastKept);
        lastKept = db.Sites().size();
        if (!db.Sites().empty()) {
            EXPECT_EQ(db.Sites()[0]->m_title, "Site A");
        }
        for (const auto& [text, entry] : db.Words())
            for (const auto& [url, site] : entry->m_sites)
                EXPECT_NE(std::find_if(db.Sites().begin(), db.Sites().end(),
                                       [site = site](const auto& s) { return s.get() == site; }),
                          db.Sites().end());
    }
    EXPECT_EQ(lastKept, 2u);
    EXPECT_EQ(FileBytes(path).size(), whole.size() - 1); // read-only: never set aside
}

TEST(SiteDatabase, WrongVersionKeepsItsMessageAndIsSetAsideNotOverwritten) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    const std::string original = Int32Bytes(2) + Int32Bytes(0) + Int32Bytes(0);
    WriteFileBytes(path, original);
    WriteFileBytes(path + ".damaged", "older");
    {
        CErrorRecorder errors;
        CSiteDatabase db;
        EXPECT_FALSE(db.Open(path));
        EXPECT_TRUE(db.Sites().empty());
        EXPECT_EQ(errors.Messages(),
                  std::vector<std::string>{"Url database is from wrong version: can't read."});
    }
    EXPECT_EQ(FileBytes(path + ".damaged"), "older");
    EXPECT_EQ(FileBytes(path + ".damaged.2"), original);
    EXPECT_EQ(FileBytes(path), Int32Bytes(1) + Int32Bytes(0) + Int32Bytes(0));
}

TEST(SiteDatabase, ADamagedFileIsSetAsideOnlyOnce) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    WriteFileBytes(path, HandMadeFile().substr(0, 150));
    CErrorRecorder errors;
    CSiteDatabase db;
    EXPECT_FALSE(db.Open(path));
    ASSERT_TRUE(db.Save());
    ASSERT_TRUE(db.Save());
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"urls.wfx", "urls.wfx.damaged"}));
}

TEST(SiteDatabase, ReadOnlyOpenNeverTouchesTheFile) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    const std::string damaged = HandMadeFile().substr(0, 77);
    WriteFileBytes(path, damaged);
    {
        CErrorRecorder errors;
        CSiteDatabase db;
        db.OpenReadOnly(path);
        MakeSite(db, "http://new/");
        EXPECT_FALSE(db.Save());
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"urls.wfx"});
    EXPECT_EQ(FileBytes(path), damaged);
}

TEST(SiteDatabase, UnopenableTargetReportsTheMessageAndWritesNothing) {
    CTestFolder folder;
    const std::string path = folder.File("missing-dir/urls.wfx");
    CErrorRecorder errors;
    {
        CSiteDatabase db;
        EXPECT_TRUE(db.Open(path));
        MakeSite(db, "http://a/");
        EXPECT_FALSE(db.Save());
    }
    EXPECT_EQ(errors.Messages(),
              (std::vector<std::string>{"Can't open url database for writing.",
                                        "Can't open url database for writing."}));
    EXPECT_TRUE(folder.Names().empty());
}

namespace {
// Lets writes past `bytes` fail as on a full disk, for as long as it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
} // namespace

TEST(SiteDatabase, AFailedWriteKeepsTheOldFileAndShowsOneMessage) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    WriteFileBytes(path, HandMadeFile());
    for (const bool large : {false, true}) {
        SCOPED_TRACE(large);
        CErrorRecorder errors;
        CSiteDatabase db;
        ASSERT_TRUE(db.Open(path));
        // Large enough that the writer's buffer goes to disk in the middle of the records.
        for (int i = 0; large && i < 300; ++i)
            MakeSite(db, "http://big/" + std::to_string(i))->m_title = std::string(8000, 'x');
        {
            FileSizeLimit limit(large ? 4096 : 16);
            EXPECT_FALSE(db.Save());
        }
        ASSERT_EQ(errors.Messages().size(), 1u);
        const std::string& message = errors.Messages()[0];
        if (large)
            EXPECT_TRUE(message == "Error writing title to URL database." ||
                        message == "Error writing url to URL database." ||
                        message == "Error writing annotation to URL database." ||
                        message == "Error writing meta-data to URL database.")
                << message;
        else
            EXPECT_EQ(message,
                      "Error writing url database " + path + "; the previous file is kept.");
        EXPECT_EQ(FileBytes(path), HandMadeFile());
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"urls.wfx"});
        db.OpenReadOnly(path); // no save at the end of the scope
    }
}

TEST(SiteDatabase, ADamagedFileReturnsToItsPlaceWhenTheSaveFails) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    const std::string damaged = HandMadeFile().substr(0, 150);
    WriteFileBytes(path, damaged);
    CErrorRecorder errors;
    CSiteDatabase db;
    EXPECT_FALSE(db.Open(path));
    {
        FileSizeLimit limit(16);
        EXPECT_FALSE(db.Save());
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"urls.wfx"});
    EXPECT_EQ(FileBytes(path), damaged);
    ASSERT_TRUE(db.Save());
    EXPECT_EQ(FileBytes(path + ".damaged"), damaged);
    EXPECT_EQ(errors.Messages().size(), 2u);
}

TEST(SiteDatabase, LowerCaseWordsInAFileMeetTheirUpperCaseEntry) {
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    WriteFileBytes(path, Int32Bytes(1) + Int32Bytes(1) + WordRecord("alpha", 10, 20, 2) +
                             Int32Bytes(1) +
                             SiteRecord("http://a/", "A", "<NONE>", 1, 0, 1, 1, 5, {"Alpha"}, {}));
    CSiteDatabase db;
    ASSERT_TRUE(db.OpenReadOnly(path));
    ASSERT_EQ(db.Words().size(), 1u);
    const CWordEntry& alpha = *db.Words().at("ALPHA");
    EXPECT_EQ(alpha.m_x, 10);
    EXPECT_EQ(db.Sites()[0]->m_words.at("ALPHA"), &alpha);
    EXPECT_EQ(alpha.m_sites.size(), 1u);
}

// ---- the loader against a literal reading, on random stores ----

namespace {
std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - ('a' - 'A'));
    }
    return text;
}

// urls.wfx read record by record through the database's own operations, one word entry found
// or made and told of its site at a time: the simple method the loader must agree with.
void LoadLiterally(const std::string& bytes, CSiteDatabase& db) {
    CBinaryReader reader(bytes);
    std::int32_t version = 0, words = 0, sites = 0;
    ASSERT_TRUE(reader.ReadInt32(version) && reader.ReadInt32(words));
    for (std::int32_t i = 0; i < words; ++i) {
        std::string text;
        std::int32_t x = 0, y = 0, count = 0;
        ASSERT_TRUE(reader.ReadString(text) && reader.ReadInt32(x) && reader.ReadInt32(y) &&
                    reader.ReadInt32(count));
        if (CWordEntry* entry = db.FindOrMakeWord(Upper(text))) {
            entry->m_x = x;
            entry->m_y = y;
            entry->m_count = count;
        }
    }
    ASSERT_TRUE(reader.ReadInt32(sites));
    const auto clamp = [](std::int32_t v) { return v < 0 ? 5 : v > 2000 ? 1995 : v; };
    for (std::int32_t i = 0; i < sites; ++i) {
        std::int32_t n[9] = {};
        for (std::int32_t& value : n)
            ASSERT_TRUE(reader.ReadInt32(value));
        std::string url, title, annotation;
        ASSERT_TRUE(reader.ReadBytes(n[0], url) && reader.ReadBytes(n[1], title) &&
                    reader.ReadBytes(n[2], annotation));
        auto site = std::make_unique<CSite>(url, title, annotation, n[4], n[8]);
        site->m_hidden = n[5];
        site->m_x = clamp(n[6]);
        site->m_y = clamp(n[7]);
        std::int32_t siteWords = 0;
        ASSERT_TRUE(reader.ReadInt32(siteWords));
        for (std::int32_t w = 0; w < siteWords; ++w) {
            std::string text;
            ASSERT_TRUE(reader.ReadString(text));
            if (CWordEntry* entry = db.FindOrMakeWord(Upper(text))) {
                site->m_words.emplace(entry->m_text, entry);
                entry->AddSite(site.get());
            }
        }
        for (std::int32_t l = 0; l < n[3]; ++l) {
            std::int32_t m[6] = {};
            for (std::int32_t& value : m)
                ASSERT_TRUE(reader.ReadInt32(value));
            std::string linkUrl, linkTitle, linkAnnotation;
            ASSERT_TRUE(reader.ReadBytes(m[0], linkUrl) && reader.ReadBytes(m[1], linkTitle) &&
                        reader.ReadBytes(m[2], linkAnnotation));
            auto link = std::make_unique<CSite>(linkUrl, linkTitle, linkAnnotation, 0, 0);
            link->m_hidden = m[3];
            link->m_x = m[4];
            link->m_y = m[5];
            site->m_links.push_back(std::move(link));
        }
        db.AddSite(std::move(site));
    }
    ASSERT_TRUE(reader.AtEnd());
}

// Where each visited site sits in the database's array.
std::unordered_map<const CSite*, int> Slots(const CSiteDatabase& db) {
    std::unordered_map<const CSite*, int> slots;
    for (std::size_t i = 0; i < db.Sites().size(); ++i)
        slots.emplace(db.Sites()[i].get(), static_cast<int>(i));
    return slots;
}

// The entry's sites as (URL, slot in the database's array), in map order.
std::vector<std::pair<std::string, int>> SitesOf(const std::unordered_map<const CSite*, int>& slots,
                                                 const CWordEntry& entry) {
    std::vector<std::pair<std::string, int>> sites;
    for (const auto& [url, site] : entry.m_sites) {
        const auto slot = slots.find(site);
        sites.emplace_back(url, slot == slots.end() ? -1 : slot->second);
    }
    return sites;
}

// Everything a user can see of two stores, and every cross reference, is the same; link times
// are the time of loading, so they are only checked to be recent.
void ExpectSameStore(const CSiteDatabase& a, const CSiteDatabase& b, std::int32_t loadedAfter) {
    ASSERT_EQ(a.Sites().size(), b.Sites().size());
    for (std::size_t i = 0; i < a.Sites().size(); ++i) {
        const CSite& x = *a.Sites()[i];
        const CSite& y = *b.Sites()[i];
        SCOPED_TRACE("site " + std::to_string(i) + " " + x.m_url);
        EXPECT_EQ(x.m_url, y.m_url);
        EXPECT_EQ(x.m_title, y.m_title);
        EXPECT_EQ(x.m_annotation, y.m_annotation);
        EXPECT_EQ(x.m_visited, y.m_visited);
        EXPECT_EQ(x.m_hidden, y.m_hidden);
        EXPECT_EQ(x.m_x, y.m_x);
        EXPECT_EQ(x.m_y, y.m_y);
        EXPECT_EQ(x.m_width, y.m_width);
        EXPECT_EQ(x.m_time, y.m_time);
        ASSERT_EQ(x.m_links.size(), y.m_links.size());
        for (std::size_t j = 0; j < x.m_links.size(); ++j) {
            const CSite& p = *x.m_links[j];
            const CSite& q = *y.m_links[j];
            EXPECT_EQ(p.m_url, q.m_url);
            EXPECT_EQ(p.m_title, q.m_title);
            EXPECT_EQ(p.m_annotation, q.m_annotation);
            EXPECT_EQ(q.m_visited, 0);
            EXPECT_EQ(q.m_width, 15);
            EXPECT_EQ(p.m_hidden, q.m_hidden);
            EXPECT_EQ(p.m_x, q.m_x);
            EXPECT_EQ(p.m_y, q.m_y);
            EXPECT_GE(q.m_time, loadedAfter);
        }
        std::vector<std::string> wordsX, wordsY;
        for (const auto& [text, entry] : x.m_words) {
            wordsX.push_back(text);
            EXPECT_EQ(entry, a.Words().at(text).get());
        }
        for (const auto& [text, entry] : y.m_words) {
            wordsY.push_back(text);
            EXPECT_EQ(entry, b.Words().at(text).get());
        }
        EXPECT_EQ(wordsX, wordsY);
    }
    ASSERT_EQ(a.Words().size(), b.Words().size());
    const auto slotsA = Slots(a), slotsB = Slots(b);
    for (const auto& [text, entry] : a.Words()) {
        SCOPED_TRACE("word " + text);
        const auto other = b.Words().find(text);
        ASSERT_NE(other, b.Words().end());
        EXPECT_EQ(entry->m_text, other->second->m_text);
        EXPECT_EQ(entry->m_x, other->second->m_x);
        EXPECT_EQ(entry->m_y, other->second->m_y);
        EXPECT_EQ(entry->m_count, other->second->m_count);
        EXPECT_EQ(SitesOf(slotsA, *entry), SitesOf(slotsB, *other->second));
    }
    ASSERT_EQ(a.UrlMap().size(), b.UrlMap().size());
    for (const auto& [url, site] : a.UrlMap()) {
        const auto other = b.UrlMap().find(url);
        ASSERT_NE(other, b.UrlMap().end()) << url;
        EXPECT_EQ(slotsA.at(site), slotsB.at(other->second)) << url;
    }
}

// A file as another tool might write it: words in any case and order, given twice, of one
// letter, longer than a look-up slot holds, or only in a site's list; sites sharing URLs,
// positions off the map.
std::string RandomForeignFile(std::mt19937& random) {
    std::vector<std::string> vocabulary;
    for (int i = 0; i < 60; ++i) {
        std::string word;
        const int length = i % 10 == 0 ? 1 : i % 7 == 0 ? 17 + i % 9 : 2 + i % 9;
        for (int c = 0; c < length; ++c)
            word += static_cast<char>((random() % 2 ? 'a' : 'A') + random() % 6);
        vocabulary.push_back(word);
    }
    const auto anyWord = [&] { return vocabulary[random() % vocabulary.size()]; };
    std::string file = Int32Bytes(1);
    const int words = static_cast<int>(random() % 40);
    file += Int32Bytes(words);
    for (int i = 0; i < words; ++i)
        file += WordRecord(anyWord(), int(random() % 2000), int(random() % 2000),
                           1 + int(random() % 5));
    const int sites = static_cast<int>(random() % 30);
    file += Int32Bytes(sites);
    for (int i = 0; i < sites; ++i) {
        std::vector<std::string> siteWords(random() % 12);
        for (std::string& word : siteWords)
            word = anyWord();
        if (random() % 3 == 0)
            std::sort(siteWords.begin(), siteWords.end());
        std::vector<std::string> links(random() % 4);
        for (std::string& link : links)
            link =
                LinkRecord("http://l" + std::to_string(random() % 9) + "/", anyWord(), "<NONE>",
                           int(random() % 2), int(random() % 2100) - 50, int(random() % 2100) - 50);
        file += SiteRecord("http://s" + std::to_string(random() % 12) + "/", anyWord(),
                           random() % 4 ? "<NONE>" : "note", 1, int(random() % 2),
                           int(random() % 2100) - 50, int(random() % 2100) - 50,
                           1600000000 + int(random() % 1000), siteWords, links);
    }
    return file;
}
} // namespace

TEST(SiteDatabase, LoaderAgreesWithALiteralReadingOnRandomForeignFiles) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        CTestFolder folder;
        const std::string path = folder.File("urls.wfx");
        const std::string bytes = RandomForeignFile(random);
        WriteFileBytes(path, bytes);
        const auto loadedAfter = static_cast<std::int32_t>(std::time(nullptr));
        SeedRandom(static_cast<unsigned>(round));
        CSiteDatabase literal;
        LoadLiterally(bytes, literal);
        SeedRandom(static_cast<unsigned>(round));
        CSiteDatabase loaded;
        ASSERT_TRUE(loaded.OpenReadOnly(path));
        ExpectSameStore(literal, loaded, loadedAfter);
        if (HasFailure())
            return;
    }
}

// Our own files take the loader's fast way (upper-case words in order): the loaded store is the
// store that was saved, and saving it again writes the same bytes.
TEST(SiteDatabase, RandomStoresLoadAsTheyWereSavedAndSaveTheSameBytes) {
    std::mt19937 random(1208);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        CTestFolder folder;
        const std::string path = folder.File("urls.wfx");
        auto saved = std::make_unique<CSiteDatabase>();
        saved->Open(path);
        const int sites = 1 + static_cast<int>(random() % 60);
        for (int i = 0; i < sites; ++i) {
            CSite* site =
                MakeSite(*saved, "http://s" + std::to_string(random() % 40) + "/", 1600000000 + i);
            site->m_x = int(random() % 2001);
            site->m_y = int(random() % 2001);
            site->m_hidden = int(random() % 2);
            for (int w = int(random() % 30); w > 0; --w) {
                const int rank = int(random() % 200);
                GiveWord(*saved, site,
                         (rank % 3 ? "W" : "LONGER-THAN-A-SLOT-") + std::to_string(rank * rank));
            }
            for (int l = int(random() % 5); l > 0; --l) {
                CSite* link = site->AddLink(std::make_unique<CSite>(
                    "http://l" + std::to_string(random() % 30) + "/", "link", "<NONE>", 0));
                link->m_x = int(random() % 2001);
            }
        }
        saved->FindOrMakeWord("UNCARRIED");
        ASSERT_TRUE(saved->Save());
        const std::string bytes = FileBytes(path);

        const auto loadedAfter = static_cast<std::int32_t>(std::time(nullptr));
        CSiteDatabase loaded;
        ASSERT_TRUE(loaded.Open(path));
        ExpectSameStore(*saved, loaded, loadedAfter);
        ASSERT_TRUE(loaded.Save());
        EXPECT_EQ(FileBytes(path), bytes);
        saved.reset(); // saves the same store once more
        EXPECT_EQ(FileBytes(path), bytes);
        if (HasFailure())
            return;
    }
}

namespace {
// A file of several blocks of the loader's reading: long texts, and one site whose word list
// alone is larger than a block. siteEnds receives where each site record ends.
std::string LargeForeignFile(std::mt19937& random, std::vector<std::size_t>& siteEnds) {
    std::string file = Int32Bytes(1) + Int32Bytes(500);
    for (int i = 0; i < 500; ++i)
        file += WordRecord(std::string(1, i % 2 ? 'w' : 'W').append(std::to_string(i * 7)), i, i,
                           1 + i % 3);
    const int sites = 700;
    file += Int32Bytes(sites);
    for (int i = 0; i < sites; ++i) {
        std::vector<std::string> words(i == 350 ? 250000 : random() % 40);
        for (std::size_t w = 0; w < words.size(); ++w)
            words[w] = i == 350 ? std::to_string(1000000 + w) // in order, as our files hold them
                                : std::string("W").append(std::to_string(random() % 900));
        std::vector<std::string> links(random() % 3);
        for (std::string& link : links)
            link =
                LinkRecord("http://l/" + std::string(random() % 3000, 'l'), "t", "<NONE>", 0, 1, 2);
        file += SiteRecord("http://s" + std::to_string(random() % 500) + "/",
                           std::string(random() % 8192, 'T'), "<NONE>", 1, 0, 10, 20, 1600000000,
                           words, links);
        siteEnds.push_back(file.size());
    }
    return file;
}
} // namespace

// The loader reads a block at a time and parses again a record cut by a block's end: whole or
// cut anywhere, a large file loads as a literal reading of it does.
TEST(SiteDatabase, LargeFilesLoadAsALiteralReadingAndKeepTheSitesBeforeACut) {
    std::mt19937 random(77);
    std::vector<std::size_t> siteEnds;
    const std::string bytes = LargeForeignFile(random, siteEnds);
    ASSERT_GT(bytes.size(), std::size_t(4) << 20);
    CTestFolder folder;
    const std::string path = folder.File("urls.wfx");
    WriteFileBytes(path, bytes);
    const auto loadedAfter = static_cast<std::int32_t>(std::time(nullptr));
    SeedRandom(5);
    CSiteDatabase literal;
    LoadLiterally(bytes, literal);
    SeedRandom(5);
    CSiteDatabase loaded;
    ASSERT_TRUE(loaded.OpenReadOnly(path));
    ExpectSameStore(literal, loaded, loadedAfter);

    const std::size_t block = std::size_t(1) << 20;
    for (std::size_t cut : {block - 1, block, block + 1, siteEnds[350] - 5, siteEnds[351] + 3,
                            3 * block, bytes.size() - 1}) {
        WriteFileBytes(path, bytes.substr(0, cut));
        CErrorRecorder errors;
        CSiteDatabase damaged;
        EXPECT_FALSE(damaged.OpenReadOnly(path)) << cut;
        const auto kept = static_cast<std::size_t>(
            std::upper_bound(siteEnds.begin(), siteEnds.end(), cut) - siteEnds.begin());
        EXPECT_EQ(damaged.Sites().size(), kept) << cut;
        ASSERT_EQ(errors.Messages().size(), 1u);
        EXPECT_NE(errors.Messages()[0].find(path), std::string::npos);
    }
}
