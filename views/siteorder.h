#pragma once

#include <cstdint>
#include <string_view>

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
    // Sixteen bytes that order as the sites do, except that equal keys leave the decision to
    // the full comparison: sorting by key first reads each site once.
    struct CKey {
        std::uint64_t high = 0;
        std::uint64_t low = 0;
        bool operator==(const CKey& other) const { return high == other.high && low == other.low; }
        bool operator<(const CKey& other) const {
            return high != other.high ? high < other.high : low < other.low;
        }
    };

    explicit CSiteOrder(std::int32_t sortType = 0);

    std::int32_t SortType() const { return m_sortType; }
    // True when `a` comes before `b`.
    bool operator()(const CSite* a, const CSite* b) const;
    CKey KeyOf(const CSite& site) const;

private:
    std::int32_t m_sortType;
};
