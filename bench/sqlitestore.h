#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CSiteDatabase;

// The peer of the urls.wfx file in the benchmarks: the same records in an SQLite file, written
// and read in one transaction. Tables: words(id, text, x, y, count), sites(id, url, title,
// annotation, visited, hidden, x, y, time), site_words(site, word) and links(site, url,
// title, annotation, hidden, x, y).
class CSqliteStore {
public:
    struct CLinkRecord {
        std::string url, title, annotation;
        std::int32_t hidden = 0, x = 0, y = 0;
    };
    struct CSiteRecord {
        std::string url, title, annotation;
        std::int32_t visited = 0, hidden = 0, x = 0, y = 0, time = 0;
        std::vector<std::string> words;
        std::vector<CLinkRecord> links;
    };
    struct CWordRecord {
        std::string text;
        std::int32_t x = 0, y = 0, count = 0;
    };
    struct CRecords {
        std::vector<CWordRecord> words;
        std::vector<CSiteRecord> sites;
    };

    // Writes the database's records to a new file at path (an old one is removed first).
    // False on any SQLite error.
    static bool Write(const CSiteDatabase& database, const std::string& path);
    // Reads every record of the file; false on any SQLite error.
    static bool Read(const std::string& path, CRecords& records);
};
