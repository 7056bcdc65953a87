// Fuzzes the stop.wfx reader: any file must load (whole or up to its damage) without a crash,
// and the words of a file read whole must be the words read back after a save.

#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzscratchdir.h"

#include "model/wordlist.h"

#include <cstdlib>
#include <set>
#include <string>

namespace {
// The words as a reader finds them on any line but the first: white space at the start of a
// line is skipped there (the file has always been read so), and a word of white space alone
// vanishes.
std::set<std::string> Words(const CWordList& list) {
    std::set<std::string> words;
    for (const auto& entry : list.Entries()) {
        const size_t start = entry.word.find_first_not_of(" \t\n\v\f\r");
        if (start != std::string::npos)
            words.insert(entry.word.substr(start));
    }
    return words;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzScratchDir& scratch = CFuzzScratchDir::Instance();
    const std::string path = scratch.WriteInput("stop.wfx", data, size);

    std::set<std::string> saved;
    {
        CWordList list;
        const bool whole = list.Open(path, CWordList::kUpperCase | CWordList::kPlainFormat);
        for (const auto& entry : list.Entries())
            FUZZ_REQUIRE(!entry.word.empty() && entry.word.size() <= 8191 &&
                         list.Contains(entry.word));
        if (!whole) {
            list.DetachFile(); // a damaged file would be set aside at destruction
            return 0;
        }
        saved = Words(list);
        FUZZ_REQUIRE(list.Save());
        list.DetachFile();
    }
    CWordList again;
    FUZZ_REQUIRE(again.Open(path, CWordList::kUpperCase | CWordList::kPlainFormat));
    again.DetachFile();
    FUZZ_REQUIRE(Words(again) == saved);
    return 0;
}
