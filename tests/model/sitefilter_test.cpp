#include "model/sitefilter.h"
#include "model/sitefilterlist.h"

#include "tests/model/storetestfiles.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {
std::unique_ptr<CSiteFilter> Filter(std::int32_t type, std::vector<std::string> strings) {
    auto filter = std::make_unique<CSiteFilter>(type);
    for (const auto& s : strings)
        filter->AddString(s);
    return filter;
}

std::vector<std::string> TextForms(const CSiteFilterList& list) {
    std::vector<std::string> texts;
    for (const auto& filter : list.FilterArray())
        texts.push_back(filter->TextForm());
    return texts;
}
} // namespace

TEST(SiteFilter, TextFormNamesTheTypeAndJoinsTheStringsWithSlashes) {
    EXPECT_EQ(Filter(2, {"banner", "ads"})->TextForm(), "URLS:ads/banner");
    EXPECT_EQ(Filter(1, {"Casino"})->TextForm(), "WORDS:Casino");
    EXPECT_EQ(Filter(2, {})->TextForm(), "URLS:");
    EXPECT_EQ(Filter(7, {"x"})->TextForm(), "");
    EXPECT_EQ(CSiteFilter(1, "poker").TextForm(), "WORDS:poker");
}

TEST(SiteFilter, RepeatedStringIsKeptOnce) {
    auto filter = Filter(2, {"ads", "ads"});
    EXPECT_EQ(filter->m_strings.size(), 1u);
}

TEST(SiteFilterList, UrlFilterIsACaseSensitiveSubstringOfTheUrl) {
    CSiteFilterList list;
    list.AddFilter(Filter(2, {"ads"}));
    EXPECT_TRUE(list.IsFiltered("http://example.com/ads/1.html", std::set<std::string>{}));
    EXPECT_FALSE(list.IsFiltered("http://example.com/ADS/1.html", std::set<std::string>{}));
}

TEST(SiteFilterList, WordFilterComparesInUpperCaseWithThePageWords) {
    CSiteFilterList list;
    list.AddFilter(Filter(1, {"Casino"}));
    EXPECT_TRUE(list.IsFiltered("http://a/", std::set<std::string>{"POKER", "CASINO"}));
    EXPECT_FALSE(list.IsFiltered("http://a/", std::set<std::string>{"Casino"}));
    EXPECT_FALSE(list.IsFiltered("http://a/Casino", std::set<std::string>{}));
}

TEST(SiteFilterList, OtherTypesActAsUrlFiltersAndEmptyStringsMatchNothing) {
    CSiteFilterList list;
    list.AddFilter(Filter(9, {"track"}));
    list.AddFilter(Filter(2, {""}));
    list.AddFilter(Filter(1, {""}));
    EXPECT_TRUE(list.IsFiltered("http://track.example/", std::set<std::string>{}));
    EXPECT_FALSE(list.IsFiltered("http://example/", std::set<std::string>{""}));
}

TEST(SiteFilterList, EmptyListFiltersNothing) {
    CSiteFilterList list;
    EXPECT_FALSE(list.IsFiltered("http://ads/", std::set<std::string>{"ADS"}));
}

TEST(SiteFilterList, TakeFilterHandsTheFilterOutAndKeepsTheOrder) {
    CSiteFilterList list;
    list.AddFilter(Filter(2, {"a"}));
    list.AddFilter(Filter(2, {"b"}));
    list.AddFilter(Filter(2, {"c"}));
    auto taken = list.TakeFilter(1);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->TextForm(), "URLS:b");
    EXPECT_EQ(TextForms(list), (std::vector<std::string>{"URLS:a", "URLS:c"}));
    EXPECT_FALSE(list.TakeFilter(2));
    EXPECT_FALSE(list.TakeFilter(-1));
}

TEST(SiteFilterFile, EveryDataByte0x0AIsStoredAs0x0D0x0A) {
    CTestFolder folder;
    const std::string path = folder.File("filters.wfx");
    {
        CSiteFilterList list;
        list.Open(path);
        list.AddFilter(Filter(2, {std::string("a\nb")}));
        for (int i = 0; i < 9; ++i)
            list.AddFilter(Filter(1, {}));
    }
    // Ten filters: the count 0x0A itself gets a 0x0D before it.
    std::string expected = "\r\n" + std::string(3, '\0');
    expected += Int32Bytes(2) + Int32Bytes(1) + Int32Bytes(3) + "a\r\nb";
    for (int i = 0; i < 9; ++i)
        expected += Int32Bytes(1) + Int32Bytes(0);
    EXPECT_EQ(FileBytes(path), expected);
}

TEST(SiteFilterFile, HandMadeFileWhoseCountsHoldTheByte0x0AIsReadBackWhole) {
    // 10 filters; the first has 10 strings, the second a string of 10 bytes with a 0x0D 0x0A in
    // it, the third a lone 0x0D.
    std::string data = Int32Bytes(10);
    data += Int32Bytes(2) + Int32Bytes(10);
    for (char c = 'a'; c < 'a' + 10; ++c)
        data += StringBytes(std::string(1, c));
    data += Int32Bytes(2) + Int32Bytes(1) + StringBytes("12\r\n567890");
    data += Int32Bytes(2) + Int32Bytes(1) + StringBytes("x\ry");
    for (int i = 3; i < 10; ++i)
        data += Int32Bytes(1) + Int32Bytes(1) + StringBytes("W" + std::to_string(i));
    const std::string stored = CSiteFilterList::ExpandLineEnds(data);
    ASSERT_NE(stored, data);

    CTestFolder folder;
    const std::string path = folder.File("filters.wfx");
    WriteFileBytes(path, stored);
    CErrorRecorder errors;
    {
        CSiteFilterList list;
        EXPECT_TRUE(list.Open(path));
        ASSERT_EQ(list.Count(), 10);
        EXPECT_EQ(list.FilterArray()[0]->m_strings.size(), 10u);
        EXPECT_EQ(*list.FilterArray()[1]->m_strings.begin(), "12\r\n567890");
        EXPECT_EQ(*list.FilterArray()[2]->m_strings.begin(), "x\ry");
        EXPECT_EQ(list.FilterArray()[9]->TextForm(), "WORDS:W9");
    }
    EXPECT_TRUE(errors.Messages().empty());
    EXPECT_EQ(FileBytes(path), stored);
}

TEST(SiteFilterFile, EmptyFiltersEmptyStringsAndOddBytesRoundTripByteForByte) {
    std::string data = Int32Bytes(4);
    data += Int32Bytes(2) + Int32Bytes(0);
    data += Int32Bytes(1) + Int32Bytes(2) + StringBytes("") +
            StringBytes(std::string("\xff\x00\x1a\r", 4));
    data += Int32Bytes(5) + Int32Bytes(1) + StringBytes("\n\n");
    data += Int32Bytes(-3) + Int32Bytes(0);
    const std::string stored = CSiteFilterList::ExpandLineEnds(data);
    CTestFolder folder;
    const std::string path = folder.File("filters.wfx");
    WriteFileBytes(path, stored);
    {
        CSiteFilterList list;
        EXPECT_TRUE(list.Open(path));
        EXPECT_EQ(list.Count(), 4);
    }
    EXPECT_EQ(FileBytes(path), stored);
}

TEST(SiteFilterFile, MissingFileGivesAnEmptyListAndWritesTheCountZero) {
    CTestFolder folder;
    const std::string path = folder.File("filters.wfx");
    CErrorRecorder errors;
    {
        CSiteFilterList list;
        EXPECT_TRUE(list.Open(path));
        EXPECT_EQ(list.Count(), 0);
    }
    EXPECT_TRUE(errors.Messages().empty());
    EXPECT_EQ(FileBytes(path), Int32Bytes(0));
}

TEST(SiteFilterFile, LineEndTranslationIsReversible) {
    for (const std::string& data : {std::string("\r\n"), std::string("\r\r\n\n"),
                                    std::string("\n\r"), std::string("a\rb\n")}) {
        EXPECT_EQ(CSiteFilterList::CollapseLineEnds(CSiteFilterList::ExpandLineEnds(data)), data);
    }
    EXPECT_EQ(CSiteFilterList::CollapseLineEnds("a\nb\r"), "a\nb\r");
}

TEST(SiteFilterDamage, DamagedFilesKeepWhatWasReadReportAndAreSetAside) {
    const std::string good = Int32Bytes(2) + Int32Bytes(1) + StringBytes("ads");
    const struct {
        const char* what;
        std::string data;
        std::size_t kept;
    } cases[] = {
        {"count past the end", Int32Bytes(3) + good + good, 2},
        {"string count past the end", Int32Bytes(2) + good + Int32Bytes(2) + Int32Bytes(99), 1},
        {"string length past the end",
         Int32Bytes(2) + good + Int32Bytes(2) + Int32Bytes(1) + Int32Bytes(50) + "abc", 1},
        {"string above 8191 bytes",
         Int32Bytes(1) + Int32Bytes(2) + Int32Bytes(1) + StringBytes(std::string(8192, 'x')), 0},
        {"negative filter count", Int32Bytes(-1), 0},
        {"negative string count", Int32Bytes(1) + Int32Bytes(2) + Int32Bytes(-4), 0},
        {"bytes left over", Int32Bytes(1) + good + "zz", 1},
        {"count cut short", std::string("\x01\x00", 2), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CTestFolder folder;
        const std::string path = folder.File("filters.wfx");
        WriteFileBytes(path, c.data);
        CErrorRecorder errors;
        {
            CSiteFilterList list;
            EXPECT_FALSE(list.Open(path));
            EXPECT_EQ(list.Count(), static_cast<int>(c.kept));
            ASSERT_EQ(errors.Messages().size(), 1u);
            EXPECT_NE(errors.Messages()[0].find(path), std::string::npos);
        }
        EXPECT_EQ(FileBytes(path + ".damaged"), c.data);
        EXPECT_EQ(errors.Messages().size(), 1u);
        std::string expected = Int32Bytes(static_cast<std::int32_t>(c.kept));
        for (std::size_t i = 0; i < c.kept; ++i)
            expected += Int32Bytes(2) + Int32Bytes(1) + StringBytes("ads");
        EXPECT_EQ(FileBytes(path), expected);
    }
}

TEST(SiteFilterFile, UnwritableFileShowsTheMessageAndLeavesNothingBehind) {
    CTestFolder folder;
    const std::string path = folder.File("missing-folder/filters.wfx");
    CErrorRecorder errors;
    {
        CSiteFilterList list;
        list.Open(path);
        list.AddFilter(Filter(2, {"ads"}));
    }
    EXPECT_EQ(errors.Messages(),
              std::vector<std::string>{"Can't open " + path + "to write site filter strategies."});
    EXPECT_TRUE(folder.Names().empty());
}
