#pragma once

#include "model/textcase.h"

#include <cstdint>
#include <set>
#include <string>

class CBinaryReader;

// One site filter: a set of words (type 1) or of URL fragments (type 2, and any other type)
// that keep a whole page out of the URL database.
class CSiteFilter {
public:
    static constexpr std::int32_t kWordFilter = 1;
    static constexpr std::int32_t kUrlFilter = 2;

    explicit CSiteFilter(std::int32_t type = kUrlFilter) : m_type(type) {}
    CSiteFilter(std::int32_t type, const std::string& firstString);

    // A string already in the set is kept once.
    void AddString(const std::string& text) { m_strings.insert(text); }
    // "URLS:" or "WORDS:" followed by the strings joined with "/" in set order; empty for a
    // filter of any other type.
    std::string TextForm() const;
    // Whether this filter keeps the page out: a word filter compares its strings in upper case
    // with the page's upper-case words, any other filter looks for its strings as
    // case-sensitive substrings of the URL. An empty string never matches.
    template <typename HasWord> bool Matches(const std::string& url, const HasWord& hasWord) const;

    // Reads type, string count and strings. False (with the strings read so far kept) when a
    // count or length runs past the end of the data or above 8,191 bytes.
    bool Read(CBinaryReader& reader);
    // Appends type, string count and strings (32-bit little-endian integers, strings as a
    // length and the bytes) to `bytes`.
    void AppendTo(std::string& bytes) const;

    std::int32_t m_type = kUrlFilter;
    std::set<std::string> m_strings; // byte-wise order
};

template <typename HasWord>
bool CSiteFilter::Matches(const std::string& url, const HasWord& hasWord) const {
    for (const std::string& text : m_strings) {
        if (text.empty())
            continue;
        if (m_type == kWordFilter ? hasWord(ToUpperClassic(text))
                                  : url.find(text) != std::string::npos)
            return true;
    }
    return false;
}
