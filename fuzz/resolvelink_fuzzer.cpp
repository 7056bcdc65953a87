// Fuzzes link resolution and the URL splitter: the input is a page URL and a link target
// separated by the first newline. Nothing may crash, and a result stays within its limit.

#include "fetch/resolvelink.h"
#include "fetch/urlsplitter.h"
#include "fuzz/fuzzcheck.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {
void CheckSplit(std::string_view url) {
    const CUrlSplitter split(url);
    // Every part is a piece of the URL as written.
    FUZZ_REQUIRE(split.Scheme().size() + split.Authority().size() + split.Path().size() +
                     split.Query().size() + split.Fragment().size() <=
                 url.size());
    FUZZ_REQUIRE(split.Host().size() + split.Port().size() <= split.Authority().size());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = input.find('\n');
    const std::string_view pageUrl = input.substr(0, lineEnd);
    const std::string_view target =
        lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);

    CheckSplit(pageUrl);
    CheckSplit(target);
    const std::string resolved = ResolveLink(pageUrl, target);
    FUZZ_REQUIRE(resolved.size() <= kMaxResolvedLinkLength);
    CheckSplit(resolved);
    // A result resolved again against its own page is still within the limit.
    FUZZ_REQUIRE(ResolveLink(pageUrl, resolved).size() <= kMaxResolvedLinkLength);
    return 0;
}
