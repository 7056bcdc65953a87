#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

class CSite;

// Compares texts byte by byte with the ASCII letters folded to lower case: below, equal to or
// above zero as `a` sorts before, with or after `b`. A text sorts before its longer extensions.
int CompareWithoutCase(std::string_view a, std::string_view b);

// The order of the visited sites under "SITES" for a sort type: by title (leading white space
// removed, without regard to case), by URL (byte-wise) or by date (newest first); an unknown
// type sorts by title. Sites equal by their sort type follow by title, by URL without regard
// to case, by URL bytes and at last by address, so that the order depends on the sites only,
// never on the order in which they came.
class CSiteOrder {
public:
    explicit CSiteOrder(std::int32_t sortType = 0);

    std::int32_t SortType() const { return m_sortType; }
    // True when `a` comes before `b`.
    bool operator()(const CSite* a, const CSite* b) const;
    // Puts the sites into this order (faster than std::sort with the comparison above).
    void Sort(std::vector<CSite*>& sites) const;

private:
    std::int32_t m_sortType;
};
