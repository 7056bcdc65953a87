#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Readers of the browsers' history databases: Firefox-family "places.sqlite" (moz_places and
// moz_historyvisits, times in microseconds since 1970) and Chromium-family "History" (urls and
// visits, times in microseconds since 1601). Plain C++ over SQLite; the database is read from
// a private copy (CHistoryCopy), read-only.

// One page of the history as the import takes it.
struct CHistoryPage {
    std::string url;
    std::int32_t lastVisit = 0; // the last visit in the period, seconds since 1970 UTC
    std::int32_t visits = 0;    // visits in the period
};

enum class EHistoryOrder { MostVisited, MostRecent };

enum class EHistoryPeriod { LastWeek, LastMonth, LastYear, All };

// The first second (since 1970) of the period that ends at `now`; 0 for All.
std::int64_t PeriodStart(EHistoryPeriod period, std::int64_t now);

struct CHistoryQuery {
    std::int64_t since = 0; // seconds since 1970: earlier visits are left out
    EHistoryOrder order = EHistoryOrder::MostVisited;
};

struct CHistoryReadResult {
    // In the query's order: most visits first (ties: the more recent, then by URL), or the most
    // recent first (ties: more visits, then by URL). Empty when `error` is set.
    std::vector<CHistoryPage> pages;
    std::string error;      // for the user; empty when the history was read
    bool cancelled = false; // `stop` was set; nothing was read
};

// The URLs an import takes: "http:", "https:" and "file:" URLs (the scheme in any case) of at
// most 8,191 bytes without blanks or control characters, and not ending in ".gif" or ".jpg".
bool IsImportableUrl(std::string_view url);

// Reads the pages visited since `query.since` from the database `file`: visits of frames,
// embedded content and downloads and hidden pages are left out, and so are rows whose values
// are not of the expected types or range and URLs IsImportableUrl refuses. A file that is
// missing, damaged, not a database, locked, or without the tables and columns above gives a
// message and no pages. `stop`, when set from another thread, ends the read (cancelled).
CHistoryReadResult ReadHistory(const std::string& file, const CHistoryQuery& query,
                               const std::atomic<bool>* stop = nullptr);

// The first `cap` pages, in order, for which `isKnown` (may be empty) is false.
std::vector<CHistoryPage>
SelectHistoryPages(const std::vector<CHistoryPage>& pages, std::size_t cap,
                   const std::function<bool(const std::string&)>& isKnown);
