#pragma once

#include <cstdint>
#include <vector>

// A small tally of integer keys with a count each: a category's child slots and a site's
// category slots. Removing marks an entry; walks skip removed entries. Adding a key whose
// entry is marked removed brings that entry back.
class CIndexTally {
public:
    struct Entry {
        std::int32_t key = 0;
        std::int32_t count = 0;
        bool removed = false;
    };

    void Add(std::int32_t key, std::int32_t n = 1);
    // Marks the first entry with this key removed; false when there is none not yet removed.
    bool Remove(std::int32_t key);
    bool Contains(std::int32_t key) const;

    // All entries, removed ones included, in insertion order; callers skip `removed`.
    const std::vector<Entry>& Entries() const { return m_entries; }
    int Size() const { return static_cast<int>(m_entries.size()); }
    // Counted when asked: a tally holds a few entries, and every site carries one.
    int ActiveCount() const {
        int active = 0;
        for (const Entry& entry : m_entries)
            active += entry.removed ? 0 : 1;
        return active;
    }

    // Every key not removed, in entry order.
    std::vector<std::int32_t> ActiveKeys() const;
    // Changes every entry's key `from` to `to` (a category registered again in a new slot).
    void ReplaceKey(std::int32_t from, std::int32_t to);
    void Clear();

private:
    std::vector<Entry> m_entries;
};
