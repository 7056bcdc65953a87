#pragma once

#include <sqlite3.h>

#include <memory>

// Owning handles of an SQLite connection and statement.
struct CSqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using CSqliteDb = std::unique_ptr<sqlite3, CSqliteCloser>;

struct CSqliteFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using CSqliteStatement = std::unique_ptr<sqlite3_stmt, CSqliteFinalizer>;

// Prepares `sql` on `db`; null on failure (sqlite3_errmsg tells why).
inline CSqliteStatement PrepareStatement(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return CSqliteStatement(statement);
}
