#pragma once

#include "model/sitefilter.h"

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The site filters (filters.wfx): filters in the order they were added, owned by the list.
// Read at Open, written back when the list is destroyed.
//
// filters.wfx: filter count, then per filter its type, string count and strings (32-bit
// little-endian integers; strings as a byte count and the bytes). The file has always been
// written in a text mode that stores every 0x0A byte as 0x0D 0x0A, and is read back so.
class CSiteFilterList {
public:
    using Filters = std::vector<std::unique_ptr<CSiteFilter>>;

    CSiteFilterList() = default;
    // Writes the file when a file name is set, then frees every filter.
    ~CSiteFilterList();
    CSiteFilterList(const CSiteFilterList&) = delete;
    CSiteFilterList& operator=(const CSiteFilterList&) = delete;

    // Reads the file and remembers its name for the write at destruction; true when read
    // whole. A missing file gives an empty list. A damaged file (a count or length running past
    // the end or above 8,191 bytes, bytes left over, a read error) is reported through ShowError
    // naming the file, the filters read before the damage are kept, the file is set aside
    // before it is written again, and false is returned.
    bool Open(const std::string& fileName);
    // Forgets the file name: nothing is written at destruction.
    void DetachFile() { m_fileName.clear(); }

    // Appends the filter; returns it (owned by the list).
    CSiteFilter* AddFilter(std::unique_ptr<CSiteFilter> filter);
    // Takes the filter at the index out of the list and hands it to the caller; null when the
    // index is out of range.
    std::unique_ptr<CSiteFilter> TakeFilter(int index);

    // True when a filter keeps the page out: the first filter, in list order, one of whose
    // strings matches (CSiteFilter::Matches). `pageWords` holds the page's upper-case words.
    bool IsFiltered(const std::string& url, const std::set<std::string>& pageWords) const;
    template <typename HasWord>
    bool IsFiltered(const std::string& url, const HasWord& hasWord) const {
        for (const auto& filter : m_filters)
            if (filter && filter->Matches(url, hasWord))
                return true;
        return false;
    }

    // Writes the file now, atomically. On failure shows "Can't open " + name + "to write site
    // filter strategies." and returns false; the old file is then untouched.
    bool Save();

    const Filters& FilterArray() const { return m_filters; }
    int Count() const { return static_cast<int>(m_filters.size()); }
    const std::string& FileName() const { return m_fileName; }

    // The file bytes of the filters, and the filters of file bytes (false when damaged, with
    // the filters read before the damage in `filters`). Used by the file and by tools.
    static std::string ToFileBytes(const Filters& filters);
    static bool FromFileBytes(std::string_view fileBytes, Filters& filters);
    // The text-mode line-end translation: 0x0A -> 0x0D 0x0A when written, 0x0D 0x0A -> 0x0A
    // when read (a 0x0D not followed by 0x0A stays).
    static std::string ExpandLineEnds(std::string_view data);
    static std::string CollapseLineEnds(std::string_view stored);

private:
    Filters m_filters;
    std::string m_fileName;
    bool m_damaged = false;
};
