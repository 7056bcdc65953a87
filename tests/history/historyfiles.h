#pragma once

// Browser history databases made with SQLite the way the browsers make theirs: the tables and
// columns the readers use.

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::int64_t kDay = 86400;
inline constexpr std::int64_t kT = 1700000000; // 2023-11-14
inline constexpr std::int64_t k1601 = 11644473600;

// A database made with SQLite the way the browsers make theirs (the tables and columns read).
class CTestDb {
public:
    explicit CTestDb(const std::string& path) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &m_db), SQLITE_OK);
        Exec("PRAGMA synchronous=OFF");
    }
    ~CTestDb() { sqlite3_close(m_db); }
    void Exec(const std::string& sql) {
        char* message = nullptr;
        EXPECT_EQ(sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
            << sql << ": " << (message ? message : "");
        sqlite3_free(message);
    }

private:
    sqlite3* m_db = nullptr;
};

inline void MakeFirefox(CTestDb& db) {
    db.Exec("CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title "
            "LONGVARCHAR, hidden INTEGER DEFAULT 0 NOT NULL);"
            "CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, place_id INTEGER, "
            "visit_date INTEGER, visit_type INTEGER)");
}

inline void AddFirefoxVisits(CTestDb& db, int id, const std::string& url,
                             const std::vector<std::int64_t>& times, int type = 1, int hidden = 0) {
    db.Exec("INSERT OR IGNORE INTO moz_places (id, url, hidden) VALUES (" + std::to_string(id) +
            ", '" + url + "', " + std::to_string(hidden) + ")");
    for (std::int64_t time : times)
        db.Exec("INSERT INTO moz_historyvisits (place_id, visit_date, visit_type) VALUES (" +
                std::to_string(id) + ", " + std::to_string(time * 1000000) + ", " +
                std::to_string(type) + ")");
}

inline void MakeChromium(CTestDb& db) {
    db.Exec("CREATE TABLE urls (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, "
            "visit_count INTEGER DEFAULT 0 NOT NULL, last_visit_time INTEGER NOT NULL DEFAULT 0, "
            "hidden INTEGER DEFAULT 0 NOT NULL);"
            "CREATE TABLE visits (id INTEGER PRIMARY KEY, url INTEGER NOT NULL, visit_time "
            "INTEGER NOT NULL, transition INTEGER DEFAULT 0 NOT NULL)");
}

inline void AddChromiumVisits(CTestDb& db, int id, const std::string& url,
                              const std::vector<std::int64_t>& times, std::int64_t transition = 0) {
    db.Exec("INSERT OR IGNORE INTO urls (id, url) VALUES (" + std::to_string(id) + ", '" + url +
            "')");
    for (std::int64_t time : times)
        db.Exec("INSERT INTO visits (url, visit_time, transition) VALUES (" + std::to_string(id) +
                ", " + std::to_string((time + k1601) * 1000000) + ", " +
                std::to_string(transition) + ")");
}
