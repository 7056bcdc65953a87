#include "history/historyreader.h"

#include "history/historycopy.h"
#include "history/sqlitehandle.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <set>
#include <unordered_map>

namespace {

constexpr std::int64_t kMicrosecondsPerSecond = 1000000;
constexpr std::int64_t kSeconds1601To1970 = 11644473600;
constexpr std::size_t kMaxUrlBytes = 8191;
// A history is far smaller; a larger table is cut rather than filling the memory.
constexpr int kMaxPages = 2000000;

struct CSchema {
    const char* browser;
    const char* pagesTable;
    const char* visitsTable;
    std::int64_t epochSeconds; // seconds from the schema's epoch to 1970
    const char* sql;           // ?1: the first visit time kept, in the schema's units
};

// Frames (Firefox visit types 4 and 8; Chromium core transitions 3 and 4), embedded content
// and downloads (Firefox 4 and 7) are not pages the user looked at; hidden pages are frames
// and redirect sources.
const CSchema kFirefox{
    "Firefox", "moz_places", "moz_historyvisits", 0,
    "SELECT p.url, COUNT(*), MAX(v.visit_date) FROM moz_historyvisits v "
    "JOIN moz_places p ON p.id = v.place_id "
    "WHERE v.visit_date >= ?1 AND v.visit_type NOT IN (0, 4, 7, 8) AND IFNULL(p.hidden, 0) = 0 "
    "GROUP BY p.id LIMIT ?2"};
const CSchema kChromium{"Chromium", "urls", "visits", kSeconds1601To1970,
                        "SELECT u.url, COUNT(*), MAX(v.visit_time) FROM visits v "
                        "JOIN urls u ON u.id = v.url "
                        "WHERE v.visit_time >= ?1 AND (v.transition & 255) NOT IN (3, 4) "
                        "AND IFNULL(u.hidden, 0) = 0 GROUP BY u.id LIMIT ?2"};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
           });
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           StartsWithNoCase(text.substr(text.size() - suffix.size()), suffix);
}

class CHistoryDatabase {
public:
    CHistoryDatabase(const std::string& shownName, const std::atomic<bool>* stop)
        : m_shownName(shownName), m_stop(stop) {}

    bool Open(const std::string& path) {
        sqlite3* db = nullptr;
        const int code = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        m_db.reset(db);
        if (code != SQLITE_OK)
            return Fail(code);
        // The file comes from outside: its schema may not run functions of ours.
        sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        if (m_stop)
            sqlite3_progress_handler(db, 1000, &CHistoryDatabase::ShouldStop,
                                     const_cast<std::atomic<bool>*>(m_stop));
        return true;
    }

    const CSchema* FindSchema() {
        const CSqliteStatement statement =
            PrepareStatement(m_db.get(), "SELECT name FROM sqlite_master WHERE type = 'table'");
        if (!statement) {
            Fail(sqlite3_errcode(m_db.get()));
            return nullptr;
        }
        std::set<std::string> tables;
        int code;
        while ((code = sqlite3_step(statement.get())) == SQLITE_ROW) {
            if (const unsigned char* name = sqlite3_column_text(statement.get(), 0))
                tables.insert(reinterpret_cast<const char*>(name));
        }
        if (code != SQLITE_DONE) {
            Fail(code);
            return nullptr;
        }
        for (const CSchema* schema : {&kFirefox, &kChromium}) {
            if (tables.contains(schema->pagesTable) && tables.contains(schema->visitsTable))
                return schema;
        }
        m_error = m_shownName +
                  " is not a browser history: it has neither the tables moz_places and "
                  "moz_historyvisits (Firefox) nor urls and visits (Chromium).";
        return nullptr;
    }

    bool ReadPages(const CSchema& schema, std::int64_t since, std::vector<CHistoryPage>& pages) {
        const CSqliteStatement statement = PrepareStatement(m_db.get(), schema.sql);
        if (!statement) {
            m_error = m_shownName + " is not a " + schema.browser +
                      " history Wayfold can read: " + sqlite3_errmsg(m_db.get()) + ".";
            return false;
        }
        const std::int64_t first =
            (std::clamp<std::int64_t>(since, 0, std::numeric_limits<std::int32_t>::max()) +
             schema.epochSeconds) *
            kMicrosecondsPerSecond;
        sqlite3_bind_int64(statement.get(), 1, first);
        sqlite3_bind_int(statement.get(), 2, kMaxPages);
        int code;
        while ((code = sqlite3_step(statement.get())) == SQLITE_ROW) {
            CHistoryPage page;
            if (TakeRow(statement.get(), schema, page))
                pages.push_back(std::move(page));
        }
        if (code != SQLITE_DONE)
            return Fail(code);
        return true;
    }

    const std::string& Error() const { return m_error; }
    bool Cancelled() const { return m_cancelled; }

private:
    static int ShouldStop(void* stop) { return static_cast<std::atomic<bool>*>(stop)->load(); }

    // Every value is checked: a URL of text, a count and a time of integers in range.
    static bool TakeRow(sqlite3_stmt* row, const CSchema& schema, CHistoryPage& page) {
        if (sqlite3_column_type(row, 0) != SQLITE_TEXT ||
            sqlite3_column_type(row, 1) != SQLITE_INTEGER ||
            sqlite3_column_type(row, 2) != SQLITE_INTEGER)
            return false;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, 0));
        const std::string_view url(text ? text : "",
                                   static_cast<std::size_t>(sqlite3_column_bytes(row, 0)));
        if (!IsImportableUrl(url))
            return false;
        const std::int64_t seconds =
            sqlite3_column_int64(row, 2) / kMicrosecondsPerSecond - schema.epochSeconds;
        const std::int64_t visits = sqlite3_column_int64(row, 1);
        if (seconds <= 0 || seconds > std::numeric_limits<std::int32_t>::max() || visits <= 0 ||
            visits > std::numeric_limits<std::int32_t>::max())
            return false;
        page.url.assign(url);
        page.lastVisit = static_cast<std::int32_t>(seconds);
        page.visits = static_cast<std::int32_t>(visits);
        return true;
    }

    bool Fail(int code) {
        switch (code & 0xff) {
        case SQLITE_INTERRUPT:
            m_cancelled = true;
            break;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            m_error = m_shownName + " is damaged or is not a browser history.";
            break;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            m_error = m_shownName + " is locked by another program; try again later.";
            break;
        default:
            m_error = "Can't read " + m_shownName + ": " +
                      (m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(code)) + ".";
            break;
        }
        return false;
    }

    std::string m_shownName;
    const std::atomic<bool>* m_stop;
    CSqliteDb m_db;
    std::string m_error;
    bool m_cancelled = false;
};

// The same URL in two rows (a damaged index lets that happen) becomes one page.
void MergeDuplicates(std::vector<CHistoryPage>& pages) {
    // The keys view the URLs kept in `merged`, which never reallocates.
    std::unordered_map<std::string_view, std::size_t> first;
    first.reserve(pages.size());
    std::vector<CHistoryPage> merged;
    merged.reserve(pages.size());
    for (CHistoryPage& page : pages) {
        const auto found = first.find(page.url);
        if (found == first.end()) {
            merged.push_back(std::move(page));
            first.emplace(merged.back().url, merged.size() - 1);
            continue;
        }
        CHistoryPage& kept = merged[found->second];
        kept.visits = static_cast<std::int32_t>(std::min<std::int64_t>(
            std::int64_t{kept.visits} + page.visits, std::numeric_limits<std::int32_t>::max()));
        kept.lastVisit = std::max(kept.lastVisit, page.lastVisit);
    }
    pages = std::move(merged);
}

void SortPages(std::vector<CHistoryPage>& pages, EHistoryOrder order) {
    const auto key = [order](const CHistoryPage& page) {
        return order == EHistoryOrder::MostVisited ? std::make_pair(page.visits, page.lastVisit)
                                                   : std::make_pair(page.lastVisit, page.visits);
    };
    std::sort(pages.begin(), pages.end(), [&](const CHistoryPage& a, const CHistoryPage& b) {
        const auto keyA = key(a);
        const auto keyB = key(b);
        return keyA != keyB ? keyA > keyB : a.url < b.url;
    });
}

} // namespace

bool IsImportableUrl(std::string_view url) {
    if (url.empty() || url.size() > kMaxUrlBytes)
        return false;
    if (std::any_of(url.begin(), url.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte <= 0x20 || byte == 0x7f;
        }))
        return false;
    if (EndsWithNoCase(url, ".gif") || EndsWithNoCase(url, ".jpg"))
        return false;
    return StartsWithNoCase(url, "http:") || StartsWithNoCase(url, "https:") ||
           StartsWithNoCase(url, "file:");
}

std::int64_t PeriodStart(EHistoryPeriod period, std::int64_t now) {
    constexpr std::int64_t kDay = 24 * 60 * 60;
    switch (period) {
    case EHistoryPeriod::LastWeek:
        return now - 7 * kDay;
    case EHistoryPeriod::LastMonth:
        return now - 31 * kDay;
    case EHistoryPeriod::LastYear:
        return now - 366 * kDay;
    case EHistoryPeriod::All:
        break;
    }
    return 0;
}

CHistoryReadResult ReadHistory(const std::string& file, const CHistoryQuery& query,
                               const std::atomic<bool>* stop) {
    CHistoryReadResult result;
    const std::unique_ptr<CHistoryCopy> copy = CHistoryCopy::Make(file, result.error, stop);
    if (!copy) {
        result.cancelled = result.error.empty();
        return result;
    }
    CHistoryDatabase database(file, stop);
    const CSchema* schema = nullptr;
    if (database.Open(copy->DatabasePath()))
        schema = database.FindSchema();
    if (!schema || !database.ReadPages(*schema, query.since, result.pages)) {
        result.pages.clear();
        result.error = database.Error();
        result.cancelled = database.Cancelled();
        return result;
    }
    MergeDuplicates(result.pages);
    SortPages(result.pages, query.order);
    return result;
}

std::vector<CHistoryPage>
SelectHistoryPages(const std::vector<CHistoryPage>& pages, std::size_t cap,
                   const std::function<bool(const std::string&)>& isKnown) {
    std::vector<CHistoryPage> chosen;
    for (const CHistoryPage& page : pages) {
        if (chosen.size() >= cap)
            break;
        if (!isKnown || !isKnown(page.url))
            chosen.push_back(page);
    }
    return chosen;
}
