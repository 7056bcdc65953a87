// Fuzzes the filters.wfx reader: any file must load (whole or up to its damage) without a
// crash, the filters must answer, and filters read whole must survive a write and a read.

#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzscratchdir.h"

#include "model/sitefilterlist.h"

#include <cstdlib>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzScratchDir& scratch = CFuzzScratchDir::Instance();
    const std::string path = scratch.WriteInput("filters.wfx", data, size);

    CSiteFilterList list;
    const bool whole = list.Open(path);
    list.DetachFile(); // a damaged file would be set aside at destruction
    const std::set<std::string> words{"NEWS", "SPORT", "A"};
    list.IsFiltered("http://news.example/sport/a.html", words);
    for (const auto& filter : list.FilterArray()) {
        FUZZ_REQUIRE(filter != nullptr);
        (void)filter->TextForm();
    }

    // The same bytes through the in-memory entry points, and the line-end translation.
    const std::string_view stored(reinterpret_cast<const char*>(data), size);
    CSiteFilterList::Filters filters;
    const bool parsed = CSiteFilterList::FromFileBytes(stored, filters);
    FUZZ_REQUIRE(parsed == whole);
    FUZZ_REQUIRE(filters.size() == list.FilterArray().size());
    if (!parsed)
        return 0;
    const std::string bytes = CSiteFilterList::ToFileBytes(filters);
    FUZZ_REQUIRE(CSiteFilterList::CollapseLineEnds(CSiteFilterList::ExpandLineEnds(bytes)) ==
                 bytes);
    CSiteFilterList::Filters again;
    FUZZ_REQUIRE(CSiteFilterList::FromFileBytes(CSiteFilterList::ExpandLineEnds(bytes), again));
    FUZZ_REQUIRE(CSiteFilterList::ToFileBytes(again) == bytes);
    return 0;
}
