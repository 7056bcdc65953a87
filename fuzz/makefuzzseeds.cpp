// wayfold-fuzz-seeds: writes the seed inputs of the fuzz targets, one folder per target, with
// the program's own writers, so the seeds are files as Wayfold itself makes them. The files
// are kept in tests/data/fuzz/; run this again after a file format changes:
//     wayfold-fuzz-seeds tests/data/fuzz

#include "browserlink/ddeframe.h"
#include "browserlink/ddeitemtext.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/sitefilterlist.h"
#include "model/wordentry.h"
#include "model/wordlist.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
std::string g_root;

std::string SeedPath(const std::string& target, const std::string& name) {
    fs::create_directories(g_root + "/" + target);
    const std::string path = g_root + "/" + target + "/" + name;
    fs::remove(path);
    return path;
}

void WriteSeed(const std::string& target, const std::string& name, const std::string& bytes) {
    std::ofstream(SeedPath(target, name), std::ios::binary) << bytes;
}

CSite* AddVisited(CSiteDatabase& db, const std::string& url, const std::string& title,
                  const std::vector<std::string>& words, const std::vector<std::string>& links) {
    auto site = std::make_unique<CSite>(url, title, "NONE", 1, 946684800);
    CSite* added = db.AddSite(std::move(site));
    for (const std::string& word : words) {
        CWordEntry* entry = db.FindOrMakeWord(word);
        entry->AddSite(added);
        added->AddWord(entry);
    }
    for (const std::string& link : links)
        added->AddLink(std::make_unique<CSite>(link, "", "", 0, 946684800));
    return added;
}

void UrlDatabaseSeeds() {
    {
        CSiteDatabase db;
        db.Open(SeedPath("urldatabase", "empty.wfx"));
        db.Save();
    }
    {
        CSiteDatabase db;
        db.Open(SeedPath("urldatabase", "three-sites.wfx"));
        AddVisited(db, "http://a.example/", "Alpha home", {"ALPHA", "HOME"},
                   {"http://b.example/one.html", "mailto:someone@a.example"});
        CSite* one = AddVisited(db, "http://b.example/one.html", "One of B", {"ONE", "HOME"},
                                {"http://a.example/", "two.html"});
        one->m_annotation = "my note";
        one->Hide();
        AddVisited(db, "file:///home/user/page.html", "", {}, {});
        db.Save();
    }
    std::string bytes;
    std::ifstream in(g_root + "/urldatabase/three-sites.wfx", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    WriteSeed("urldatabase", "three-sites-cut.wfx", bytes.substr(0, bytes.size() / 2));
}

void CategorySeeds() {
    CSiteDatabase db;
    AddVisited(db, "http://a.example/", "Alpha", {}, {});
    AddVisited(db, "http://b.example/one.html", "One", {}, {});
    CCategoryTree tree;
    tree.Open(SeedPath("categorytree", "three-categories.wfx"), db);
    CCategory* news = tree.Register(std::make_unique<CCategory>("News"));
    news->m_words.Add("NEWS", 10);
    news->m_words.Add("PAPER", 3);
    news->AddSite(db.FindSite("http://a.example/"));
    CCategory* sport = tree.Register(std::make_unique<CCategory>("Sport"));
    sport->m_words.Add("FOOTBALL", 7);
    sport->AddSite(db.FindSite("http://b.example/one.html"));
    tree.Reparent(sport, news->m_index);
    CCategory* gone = tree.Register(std::make_unique<CCategory>("Gone"));
    tree.Register(std::make_unique<CCategory>("Last"));
    tree.TakeFromSlot(gone->m_index);
    tree.Save();
    tree.DetachFile();
}

void FilterSeeds() {
    CSiteFilterList::Filters filters;
    auto words = std::make_unique<CSiteFilter>(CSiteFilter::kWordFilter, "casino");
    words->AddString("lottery");
    filters.push_back(std::move(words));
    auto urls = std::make_unique<CSiteFilter>(CSiteFilter::kUrlFilter, "ads.example");
    urls->AddString("two\nlines");
    filters.push_back(std::move(urls));
    WriteSeed("sitefilterlist", "two-filters.wfx",
              CSiteFilterList::ExpandLineEnds(CSiteFilterList::ToFileBytes(filters)));
    WriteSeed("sitefilterlist", "empty.wfx",
              CSiteFilterList::ExpandLineEnds(CSiteFilterList::ToFileBytes({})));
}

void StopWordSeeds() {
    WriteSeed("wordlist", "stop.wfx", "THE\nAND\nOF\nA\nTO\n");
    WriteSeed("wordlist", "mixed.wfx", "the\n\n  And\r\nof the\n");
}

void PageSeeds() {
    WriteSeed("htmlscan", "page.html",
              "http://a.example/dir/page.html\n"
              "<html><head><title>A page &amp; more</title>"
              "<meta name=\"keywords\" content=\"alpha, beta gamma\"></head>"
              "<body><h1>Heading</h1><p>Some words here.</p>"
              "<a href=\"other.html\">Other</a> <a href='/root.html'>Root</a>"
              "<A HREF=http://b.example/>B site</A><!-- a comment <a href=x> -->"
              "<script>var a = '<a href=\"y\">';</script></body></html>");
    WriteSeed("htmlscan", "broken.html",
              "file:///home/user/index.html\n"
              "<title>Unclosed <a href=\"x.html\">x<a href=y.html>y</a><meta name=keywords "
              "content=\"one");
    WriteSeed("htmlscan", "no-url.html", "<p>text only, no url line</p><a href=\"#top\">top</a>");
}

void LinkSeeds() {
    WriteSeed("resolvelink", "relative", "http://a.example/dir/page.html?q=1#f\n../up/x.html");
    WriteSeed("resolvelink", "absolute", "http://a.example/\nhttps://b.example:8080/a/./b/../c");
    WriteSeed("resolvelink", "local", "file:///home/user/page.html\npictures/p.html");
    WriteSeed("resolvelink", "query", "http://user@a.example:81/a/b\n?only=query");
    WriteSeed("resolvelink", "other", "mailto:x@a.example\n//b.example/path");
}

std::string Frame(const DdeFrame& frame) {
    std::string bytes;
    EncodeDdeFrame(frame, bytes);
    return bytes;
}

void DdeSeeds() {
    DdeFrame connect;
    connect.kind = DdeFrameKind::Connect;
    connect.service = "TARN2";
    connect.topic = "WWW_OpenURL";
    DdeFrame request;
    request.kind = DdeFrameKind::Request;
    request.format = 1;
    request.item = BuildDdeItemText("QCS,QCS,DW,DW,QCS,QCS,CS",
                                    {std::string("http://a.example/"), DdeValue{}, 0xFFFFFFFFu, 0u,
                                     DdeValue{}, DdeValue{}, std::string("TARN2")});
    WriteSeed("ddewire", "open-url", Frame(connect) + Frame(request));

    DdeFrame echoConnect = connect;
    echoConnect.service = "TARN1";
    echoConnect.topic = "WWW_URLEcho";
    DdeFrame poke;
    poke.kind = DdeFrameKind::Poke;
    poke.format = 1;
    poke.item = BuildDdeItemText("QCS,QCS,DW,QCS", {std::string("http://a.example/x.html"),
                                                    std::string("text/html"), 3u, DdeValue{}});
    poke.data = std::string("\0", 1);
    WriteSeed("ddewire", "url-echo", Frame(echoConnect) + Frame(poke));

    DdeFrame connected;
    connected.kind = DdeFrameKind::Connected;
    connected.accepted = true;
    DdeFrame data;
    data.kind = DdeFrameKind::Data;
    data.present = true;
    data.format = 1;
    data.data = *BuildDdeReplyBytes("DW,QCS,QCS", {7u, std::string("Netscape"), std::string("")});
    DdeFrame ack;
    ack.kind = DdeFrameKind::Ack;
    ack.flags = 0x8000;
    DdeFrame binary = data;
    binary.data = *BuildDdeReplyBytes("DW", {0x12345u});
    WriteSeed("ddewire", "replies", Frame(connected) + Frame(data) + Frame(ack) + Frame(binary));
}
// A small history database in the browser's schema (the tables and columns the readers use),
// pages of 512 bytes so that the file stays a few kilobytes.
void WriteHistorySeed(const std::string& name, const std::string& sql) {
    const std::string path = SeedPath("historyreader", name);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK)
        sqlite3_exec(
            db,
            ("PRAGMA page_size=512; PRAGMA journal_mode=DELETE; BEGIN; " + sql + "; COMMIT; VACUUM")
                .c_str(),
            nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void HistorySeeds() {
    WriteHistorySeed(
        "places.sqlite",
        "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, "
        "hidden INTEGER DEFAULT 0 NOT NULL);"
        "CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, place_id INTEGER, visit_date "
        "INTEGER, visit_type INTEGER);"
        "INSERT INTO moz_places VALUES (1, 'http://a.example/', 'A', 0), "
        "(2, 'https://b.example/x#f', 'B', 0), (3, 'http://a.example/frame', NULL, 1), "
        "(4, 'file:///home/user/page.html', NULL, 0), (5, 'about:config', NULL, 0);"
        "INSERT INTO moz_historyvisits (place_id, visit_date, visit_type) VALUES "
        "(1, 1700000000000000, 1), (1, 1700000100000000, 2), (2, 1700000200000000, 1), "
        "(3, 1700000300000000, 8), (4, 1700000400000000, 1), (5, 1700000500000000, 1)");
    WriteHistorySeed(
        "History",
        "CREATE TABLE urls (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, "
        "visit_count INTEGER DEFAULT 0 NOT NULL, last_visit_time INTEGER NOT NULL DEFAULT 0, "
        "hidden INTEGER DEFAULT 0 NOT NULL);"
        "CREATE TABLE visits (id INTEGER PRIMARY KEY, url INTEGER NOT NULL, visit_time INTEGER "
        "NOT NULL, transition INTEGER DEFAULT 0 NOT NULL);"
        "INSERT INTO urls (id, url) VALUES (1, 'http://a.example/'), (2, 'https://b.example/'), "
        "(3, 'http://a.example/frame');"
        "INSERT INTO visits (url, visit_time, transition) VALUES (1, 13344473600000000, 0), "
        "(1, 13344473700000000, 805306369), (2, 13344473800000000, 1), (3, 13344473900000000, 3)");
    WriteSeed("historyreader", "profiles.ini",
              "[Install4F96D1932A9F858E]\nDefault=abc.default-esr\n\n[Profile0]\nName=default-esr\n"
              "IsRelative=1\nPath=abc.default-esr\nDefault=1\n");
    WriteSeed("historyreader", "Local State",
              "{\"profile\":{\"info_cache\":{\"Default\":{\"name\":\"Person 1\"},"
              "\"Profile 1\":{\"name\":\"Work\"}},\"last_used\":\"Profile 1\"}}");
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wayfold-fuzz-seeds FOLDER\n");
        return 2;
    }
    g_root = argv[1];
    UrlDatabaseSeeds();
    CategorySeeds();
    FilterSeeds();
    StopWordSeeds();
    PageSeeds();
    LinkSeeds();
    DdeSeeds();
    HistorySeeds();
    return 0;
}
