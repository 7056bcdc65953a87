#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A category's defining words, each with a weight, in order of first insertion. Words are kept
// exactly as given (the hierarchy stores them in upper case).
class CWeightedWordList {
public:
    struct Entry {
        std::string word;
        std::int32_t weight = 0;
    };

    // Adds the weight to the entry with exactly this text, or appends the pair. Returns the
    // entry's position. A sum beyond the 32-bit range stops at its end.
    int Add(const std::string& word, std::int32_t weight);
    // Position of the entry with exactly this text, or -1.
    int Find(const std::string& word) const;
    void Clear() { m_entries.clear(); }

    const std::vector<Entry>& Entries() const { return m_entries; }
    int Count() const { return static_cast<int>(m_entries.size()); }
    bool Empty() const { return m_entries.empty(); }

private:
    std::vector<Entry> m_entries;
};
