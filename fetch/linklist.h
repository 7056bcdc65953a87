#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

// One outgoing link of a page: its absolute URL and the text the page shows for it. Both are
// views into the storage of the CLinkList that holds the pair: valid as long as that list, also
// after it has been moved.
struct CLinkPair {
    std::string_view m_url;
    std::string_view m_text;
};

// The links of one page in page order, the same URL possibly several times. Owned by whoever
// asked the scan for it; keeps its own copy of every URL and text.
class CLinkList {
public:
    // Copies url and text into the list.
    void Add(std::string_view url, std::string_view text);
    // Makes room for count pairs in all, so that adding up to them moves none.
    void Reserve(size_t count) { m_pairs.reserve(count); }

    int GetCount() const { return static_cast<int>(m_pairs.size()); }
    const CLinkPair& operator[](int index) const { return m_pairs[static_cast<size_t>(index)]; }
    std::vector<CLinkPair>::const_iterator begin() const { return m_pairs.begin(); }
    std::vector<CLinkPair>::const_iterator end() const { return m_pairs.end(); }

private:
    std::string_view Keep(std::string_view bytes);

    std::vector<std::unique_ptr<char[]>> m_chunks; // the bytes of the pairs; never move
    char* m_top = nullptr;                         // free room of the last chunk starts here
    size_t m_room = 0;
    std::vector<CLinkPair> m_pairs;
};
