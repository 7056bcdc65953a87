#include "fetch/linklist.h"

#include <algorithm>
#include <cstring>

namespace {
// URLs and link texts go to chunks of this size (or one of their own when longer).
constexpr size_t kChunk = 16 * 1024;
} // namespace

void CLinkList::Add(std::string_view url, std::string_view text) {
    const std::string_view keptUrl = Keep(url);
    m_pairs.push_back(CLinkPair{keptUrl, Keep(text)});
}

std::string_view CLinkList::Keep(std::string_view bytes) {
    if (bytes.empty())
        return {};
    if (bytes.size() > m_room) {
        const size_t size = std::max(kChunk, bytes.size());
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(size));
        m_top = m_chunks.back().get();
        m_room = size;
    }
    char* kept = m_top;
    std::memcpy(kept, bytes.data(), bytes.size());
    m_top += bytes.size();
    m_room -= bytes.size();
    return std::string_view(kept, bytes.size());
}
