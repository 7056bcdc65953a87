// Fuzzes the page scanner: the first line of the input is the page's URL, the rest the page.
// Any page must scan without a crash, and every text the scanner keeps stays within its limits.

#include "fetch/htmlscan.h"
#include "fuzz/fuzzcheck.h"

#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = input.find('\n');
    const bool hasUrl = lineEnd != std::string_view::npos && lineEnd < 512;
    const std::string_view pageUrl =
        hasUrl ? input.substr(0, lineEnd) : std::string_view("http://fuzz.example/dir/page.html");
    const std::string_view page = hasUrl ? input.substr(lineEnd + 1) : input;

    CHtmlScan scan = CHtmlScan::Scan(page);
    for (const CHtmlToken& token : scan.Tokens()) {
        FUZZ_REQUIRE(token.Text().size() <= CHtmlScan::kMaxRun);
        FUZZ_REQUIRE(token.Target().size() <= CHtmlScan::kMaxRun);
    }
    for (const std::string_view word : scan.Words())
        FUZZ_REQUIRE(!word.empty() && word.size() <= CHtmlScan::kMaxText);

    const std::string* title = scan.GetTitle();
    FUZZ_REQUIRE(!title || title->size() <= CHtmlScan::kMaxText);
    FUZZ_REQUIRE(scan.GetTitle() == title);

    scan.ExtractKeywords();
    for (const std::string& keyword : scan.Keywords())
        FUZZ_REQUIRE(keyword.size() <= CHtmlScan::kMaxText);

    const CLinkList links = scan.GetLinks(pageUrl);
    for (const CLinkPair& link : links) {
        FUZZ_REQUIRE(link.m_url.size() <= CHtmlScan::kMaxText);
        FUZZ_REQUIRE(link.m_text.size() <= CHtmlScan::kMaxText);
    }
    return 0;
}
