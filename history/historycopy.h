#pragma once

#include <atomic>
#include <memory>
#include <string>

// A private copy of a browser's history database and its write-ahead log ("-wal"), made so
// that the live file, which the browser keeps locked while it runs, is never opened. The copy
// lives in a folder of its own (mode 0700) under the temporary folder and goes with the object.
class CHistoryCopy {
public:
    // Copies `file` and, when there is one, `file` + "-wal". A browser may write while the copy
    // is made: when either file changed during the copy, it is made again (a few times). Gives
    // null and a message in `error` when the file is missing, is not a regular file or cannot be
    // read, or when no private folder can be made; null without a message when `stop` was set.
    static std::unique_ptr<CHistoryCopy> Make(const std::string& file, std::string& error,
                                              const std::atomic<bool>* stop = nullptr);
    ~CHistoryCopy();
    CHistoryCopy(const CHistoryCopy&) = delete;
    CHistoryCopy& operator=(const CHistoryCopy&) = delete;

    // The copied database; its log, when there was one, lies beside it with "-wal" appended.
    const std::string& DatabasePath() const { return m_database; }

private:
    explicit CHistoryCopy(std::string folder);

    std::string m_folder;
    std::string m_database;
};
