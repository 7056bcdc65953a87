#pragma once

#include <string>
#include <vector>

// One outgoing link of a page: its absolute URL and the text the page shows for it.
struct CLinkPair {
    std::string m_url;
    std::string m_text;
};

// The links of one page in page order, the same URL possibly several times. Owned by whoever
// asked the scan for it.
class CLinkList {
public:
    void Add(std::string url, std::string text);
    // Makes room for count pairs in all, so that adding up to them moves none.
    void Reserve(size_t count) { m_pairs.reserve(count); }

    int GetCount() const { return static_cast<int>(m_pairs.size()); }
    const CLinkPair& operator[](int index) const { return m_pairs[static_cast<size_t>(index)]; }
    std::vector<CLinkPair>::const_iterator begin() const { return m_pairs.begin(); }
    std::vector<CLinkPair>::const_iterator end() const { return m_pairs.end(); }

private:
    std::vector<CLinkPair> m_pairs;
};
