#include "model/weightedwordlist.h"

#include <limits>

namespace {
std::int32_t SaturatingSum(std::int32_t a, std::int32_t b) {
    const std::int64_t sum = std::int64_t(a) + b;
    if (sum > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (sum < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(sum);
}
} // namespace

int CWeightedWordList::Add(const std::string& word, std::int32_t weight) {
    const int found = Find(word);
    if (found >= 0) {
        Entry& entry = m_entries[static_cast<std::size_t>(found)];
        entry.weight = SaturatingSum(entry.weight, weight);
        return found;
    }
    m_entries.push_back(Entry{word, weight});
    return Count() - 1;
}

int CWeightedWordList::Find(const std::string& word) const {
    for (int i = 0; i < Count(); ++i)
        if (m_entries[static_cast<std::size_t>(i)].word == word)
            return i;
    return -1;
}
