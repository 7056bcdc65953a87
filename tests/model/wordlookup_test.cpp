#include "model/wordentry.h"
#include "model/wordlookup.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {
// Texts around every length the keys treat apart (up to 3, 4 to 7, 8, 9 to 15, 16 and more),
// with NUL bytes, bytes above 127 and shared prefixes.
std::string RandomText(std::mt19937& random) {
    static const int kLengths[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 14, 15, 16, 17, 23, 24, 40};
    const int length = kLengths[random() % std::size(kLengths)];
    std::string text;
    for (int i = 0; i < length; ++i) {
        const unsigned pick = random() % 10;
        text += pick == 0   ? '\0'
                : pick == 1 ? static_cast<char>(0xC3)
                            : static_cast<char>('A' + pick);
    }
    return text;
}
} // namespace

// The look-up must answer as a std::map from text to number would, through growth from a
// table far too small for what is put in.
TEST(WordLookup, FindsWhatAStdMapFindsOnRandomTexts) {
    std::mt19937 random(7);
    CWordLookup lookup(4);
    std::map<std::string, std::uint32_t> expected;
    std::vector<std::unique_ptr<CWordEntry>> entries;
    std::vector<std::unique_ptr<std::string>> owned; // long texts are compared where they lie
    for (int i = 0; i < 20000; ++i) {
        owned.push_back(std::make_unique<std::string>(RandomText(random)));
        const CWordKey key = CWordLookup::MakeKey(*owned.back());
        CWordEntry* found = nullptr;
        const std::uint32_t number = lookup.Find(key, found);
        const auto it = expected.find(*owned.back());
        if (it == expected.end()) {
            ASSERT_EQ(number, CWordLookup::kMissing) << i;
            entries.push_back(std::make_unique<CWordEntry>(std::to_string(i)));
            const std::uint32_t added = lookup.Add(key, entries.back().get());
            EXPECT_EQ(added, expected.size());
            expected.emplace(*owned.back(), added);
        } else {
            ASSERT_EQ(number, it->second) << i;
            EXPECT_EQ(found, entries[number].get());
        }
    }
    EXPECT_EQ(lookup.Size(), expected.size());
    // Every text again, from a copy elsewhere in memory.
    for (const auto& [text, number] : expected) {
        const std::string copy = text;
        CWordEntry* found = nullptr;
        EXPECT_EQ(lookup.Find(CWordLookup::MakeKey(copy), found), number);
    }
}

TEST(WordLookup, KeyOrderIsTheOrderOfStrings) {
    std::mt19937 random(11);
    for (int i = 0; i < 50000; ++i) {
        std::string a = RandomText(random);
        // Half the pairs share a prefix, so that lengths and padding decide.
        std::string b = random() % 2 ? a.substr(0, random() % (a.size() + 1)) + RandomText(random)
                                     : RandomText(random);
        EXPECT_EQ(CWordLookup::Less(CWordLookup::MakeKey(a), CWordLookup::MakeKey(b)), a < b)
            << '"' << a << "\" \"" << b << '"';
    }
}
