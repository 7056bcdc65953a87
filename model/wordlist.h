#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A list of words with a value each, kept in order of first insertion with an exact,
// case-sensitive index. The stop-word list (stop.wfx) is one: a text file with one word per
// line, read at Open ("\r\n" line ends read as "\n" ends) and written back with "\n" ends
// when the list is destroyed.
class CWordList {
public:
    // Mode flags: convert every word read from the file to upper case; plain format (one word
    // per line, the value counts occurrences). The stop list uses both.
    static constexpr std::int32_t kUpperCase = 1;
    static constexpr std::int32_t kPlainFormat = 2;

    struct Entry {
        std::string word;
        std::int32_t value = 0;
    };

    CWordList() = default;
    // Writes the file when a file name is set (silently: a failed write keeps the old file).
    ~CWordList();
    CWordList(const CWordList&) = delete;
    CWordList& operator=(const CWordList&) = delete;

    // Reads the file, remembers its name for the write at destruction and returns true. A
    // missing file gives an empty list. A file that cannot be read whole (a line longer than
    // 8,191 bytes, a read error) is reported through ShowError naming the file, the words read
    // before the damage are kept, the file is set aside before it is written again, and false
    // is returned.
    bool Open(const std::string& fileName, std::int32_t modeFlags);
    // Forgets the file name: nothing is written at destruction.
    void DetachFile() { m_fileName.clear(); }

    // Exact key look-up; the stop list holds upper-case words, so callers pass upper case.
    bool Contains(const std::string& word) const;
    // Value + 1 when present, else appended with value 1. Returns the entry position.
    int Add(const std::string& word);
    // Value replaced when present, else appended with that value. Returns the entry position.
    int Set(const std::string& word, std::int32_t value);
    void Clear();
    // Sorts the entries byte-wise (strcmp order) and rebuilds the index.
    void SortAlphabetically();

    // Writes the file now, atomically: a temporary file renamed over the old one. Words that
    // could not be read back (empty, or holding a line end) are left out. False when there is
    // no file name or the write failed; the old file is then untouched.
    bool Save();

    const std::vector<Entry>& Entries() const { return m_entries; }
    int Count() const { return static_cast<int>(m_entries.size()); }
    std::int32_t ModeFlags() const { return m_modeFlags; }
    const std::string& FileName() const { return m_fileName; }

private:
    void ReadText(const std::string& text);

    std::int32_t m_modeFlags = kUpperCase | kPlainFormat;
    std::vector<Entry> m_entries;
    std::map<std::string, int> m_index; // word -> entry position
    std::string m_fileName;
    bool m_damaged = false;
};
