#include "bench/sqlitestore.h"

#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"

#include <sqlite3.h>

#include <cstdio>
#include <unordered_map>

namespace {
class CStatement {
public:
    CStatement(sqlite3* db, const char* sql) {
        sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr);
    }
    ~CStatement() { sqlite3_finalize(m_statement); }
    sqlite3_stmt* operator*() const { return m_statement; }
    bool Ok() const { return m_statement != nullptr; }

private:
    sqlite3_stmt* m_statement = nullptr;
};

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

bool StepDone(sqlite3_stmt* statement) {
    const bool done = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_reset(statement);
    return done;
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return std::string(text ? text : "",
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

const char* const kSchema =
    "CREATE TABLE words(id INTEGER PRIMARY KEY, text TEXT, x INTEGER, y INTEGER, count INTEGER);"
    "CREATE TABLE sites(id INTEGER PRIMARY KEY, url TEXT, title TEXT, annotation TEXT,"
    " visited INTEGER, hidden INTEGER, x INTEGER, y INTEGER, time INTEGER);"
    "CREATE TABLE site_words(site INTEGER, word INTEGER);"
    "CREATE TABLE links(site INTEGER, url TEXT, title TEXT, annotation TEXT, hidden INTEGER,"
    " x INTEGER, y INTEGER);";
} // namespace

bool CSqliteStore::Write(const CSiteDatabase& database, const std::string& path) {
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    bool ok = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    {
        CStatement word(db, "INSERT INTO words VALUES(?,?,?,?,?)");
        CStatement site(db, "INSERT INTO sites VALUES(?,?,?,?,?,?,?,?,?)");
        CStatement siteWord(db, "INSERT INTO site_words VALUES(?,?)");
        CStatement link(db, "INSERT INTO links VALUES(?,?,?,?,?,?,?)");
        ok = ok && word.Ok() && site.Ok() && siteWord.Ok() && link.Ok();
        std::unordered_map<const CWordEntry*, sqlite3_int64> wordIds;
        sqlite3_int64 id = 0;
        for (const auto& [text, entry] : database.Words()) {
            if (!ok)
                break;
            wordIds[entry.get()] = ++id;
            sqlite3_bind_int64(*word, 1, id);
            BindText(*word, 2, entry->m_text);
            sqlite3_bind_int(*word, 3, entry->m_x);
            sqlite3_bind_int(*word, 4, entry->m_y);
            sqlite3_bind_int(*word, 5, entry->m_count);
            ok = StepDone(*word);
        }
        sqlite3_int64 siteId = 0;
        for (const auto& s : database.Sites()) {
            if (!ok || !s)
                continue;
            ++siteId;
            sqlite3_bind_int64(*site, 1, siteId);
            BindText(*site, 2, s->m_url);
            BindText(*site, 3, s->m_title);
            BindText(*site, 4, s->m_annotation);
            sqlite3_bind_int(*site, 5, s->m_visited);
            sqlite3_bind_int(*site, 6, s->m_hidden);
            sqlite3_bind_int(*site, 7, s->m_x);
            sqlite3_bind_int(*site, 8, s->m_y);
            sqlite3_bind_int(*site, 9, s->m_time);
            ok = StepDone(*site);
            for (const auto& [text, entry] : s->m_words) {
                sqlite3_bind_int64(*siteWord, 1, siteId);
                sqlite3_bind_int64(*siteWord, 2, wordIds[entry]);
                ok = ok && StepDone(*siteWord);
            }
            for (const auto& l : s->m_links) {
                if (!l)
                    continue;
                sqlite3_bind_int64(*link, 1, siteId);
                BindText(*link, 2, l->m_url);
                BindText(*link, 3, l->m_title);
                BindText(*link, 4, l->m_annotation);
                sqlite3_bind_int(*link, 5, l->m_hidden);
                sqlite3_bind_int(*link, 6, l->m_x);
                sqlite3_bind_int(*link, 7, l->m_y);
                ok = ok && StepDone(*link);
            }
        }
    }
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

bool CSqliteStore::Read(const std::string& path, CRecords& records) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    bool ok = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    {
        std::unordered_map<sqlite3_int64, std::size_t> wordIndex;
        CStatement words(db, "SELECT id, text, x, y, count FROM words ORDER BY id");
        while (ok && sqlite3_step(*words) == SQLITE_ROW) {
            wordIndex[sqlite3_column_int64(*words, 0)] = records.words.size();
            records.words.push_back(
                CWordRecord{ColumnText(*words, 1), sqlite3_column_int(*words, 2),
                            sqlite3_column_int(*words, 3), sqlite3_column_int(*words, 4)});
        }
        CStatement sites(db, "SELECT url, title, annotation, visited, hidden, x, y, time FROM"
                             " sites ORDER BY id");
        while (ok && sqlite3_step(*sites) == SQLITE_ROW) {
            CSiteRecord site;
            site.url = ColumnText(*sites, 0);
            site.title = ColumnText(*sites, 1);
            site.annotation = ColumnText(*sites, 2);
            site.visited = sqlite3_column_int(*sites, 3);
            site.hidden = sqlite3_column_int(*sites, 4);
            site.x = sqlite3_column_int(*sites, 5);
            site.y = sqlite3_column_int(*sites, 6);
            site.time = sqlite3_column_int(*sites, 7);
            records.sites.push_back(std::move(site));
        }
        CStatement siteWords(db, "SELECT site, word FROM site_words ORDER BY rowid");
        while (ok && sqlite3_step(*siteWords) == SQLITE_ROW) {
            const auto site = static_cast<std::size_t>(sqlite3_column_int64(*siteWords, 0) - 1);
            records.sites[site].words.push_back(
                records.words[wordIndex[sqlite3_column_int64(*siteWords, 1)]].text);
        }
        CStatement links(db, "SELECT site, url, title, annotation, hidden, x, y FROM links"
                             " ORDER BY rowid");
        while (ok && sqlite3_step(*links) == SQLITE_ROW) {
            const auto site = static_cast<std::size_t>(sqlite3_column_int64(*links, 0) - 1);
            records.sites[site].links.push_back(
                CLinkRecord{ColumnText(*links, 1), ColumnText(*links, 2), ColumnText(*links, 3),
                            sqlite3_column_int(*links, 4), sqlite3_column_int(*links, 5),
                            sqlite3_column_int(*links, 6)});
        }
    }
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}
