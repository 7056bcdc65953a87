#include "model/indextally.h"

void CIndexTally::Add(std::int32_t key, std::int32_t n) {
    for (Entry& entry : m_entries) {
        if (entry.key == key) {
            entry.count += n;
            entry.removed = false;
            return;
        }
    }
    m_entries.push_back(Entry{key, n, false});
}

bool CIndexTally::Remove(std::int32_t key) {
    for (Entry& entry : m_entries) {
        if (entry.key == key && !entry.removed) {
            entry.removed = true;
            return true;
        }
    }
    return false;
}

bool CIndexTally::Contains(std::int32_t key) const {
    for (const Entry& entry : m_entries)
        if (entry.key == key && !entry.removed)
            return true;
    return false;
}

std::vector<std::int32_t> CIndexTally::ActiveKeys() const {
    std::vector<std::int32_t> keys;
    for (const Entry& entry : m_entries)
        if (!entry.removed)
            keys.push_back(entry.key);
    return keys;
}

void CIndexTally::ReplaceKey(std::int32_t from, std::int32_t to) {
    for (Entry& entry : m_entries)
        if (entry.key == from)
            entry.key = to;
}

void CIndexTally::Clear() {
    m_entries.clear();
}
