#include "model/random.h"
#include "model/site.h"
#include "model/wordentry.h"
#include "model/wordtokenizer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {
std::vector<std::string> Pieces(const std::string& text) {
    std::vector<std::string> pieces;
    CWordTokenizer tokenizer(text);
    std::string piece;
    while (tokenizer.Next(piece))
        pieces.push_back(piece);
    return pieces;
}

using Words = std::vector<std::string>;
} // namespace

TEST(WordTokenizer, SplitsAtEveryNonLetterIncludingEmptyPieces) {
    EXPECT_EQ(Pieces("ab,,Cd"), (Words{"AB", "", "CD"}));
    EXPECT_EQ(Pieces(",ab"), (Words{"", "AB"}));
    EXPECT_EQ(Pieces("ab,"), (Words{"AB"}));
    EXPECT_EQ(Pieces("ab"), (Words{"AB"}));
    EXPECT_EQ(Pieces(""), (Words{}));
    EXPECT_EQ(Pieces("x1y"), (Words{"X", "Y"}));
}

TEST(WordTokenizer, BytesAboveAsciiAndNulAreSeparators) {
    EXPECT_EQ(Pieces("caf\xc3\xa9s"), (Words{"CAF", "", "S"}));
    EXPECT_EQ(Pieces(std::string("ab\0cd", 5)), (Words{"AB", "CD"}));
}

TEST(WordTokenizer, ReturnsNothingOnceExhausted) {
    CWordTokenizer tokenizer("a b");
    std::string piece;
    EXPECT_TRUE(tokenizer.Next(piece));
    EXPECT_TRUE(tokenizer.Next(piece));
    EXPECT_EQ(piece, "B");
    EXPECT_FALSE(tokenizer.Next(piece));
    EXPECT_FALSE(tokenizer.Next(piece));
}

TEST(Site, ConstructionSetsSizesFlagsAndRandomPosition) {
    SeedRandom(7);
    const int x = RandomBetween(0, 2000);
    const int y = RandomBetween(0, 2000);
    SeedRandom(7);
    CSite visited("http://a/", "Title", "<NONE>", 1, 1700000000, 42);
    EXPECT_EQ(visited.m_x, x);
    EXPECT_EQ(visited.m_y, y);
    EXPECT_EQ(visited.m_width, 20);
    EXPECT_EQ(visited.m_height, 20);
    EXPECT_EQ(visited.m_hidden, 0);
    EXPECT_FALSE(visited.m_selected);
    EXPECT_EQ(visited.m_time, 1700000000);
    EXPECT_EQ(visited.m_unused, 42);

    CSite link("http://b/", "text", "<NONE>", 0, 1700000000);
    EXPECT_EQ(link.m_width, 15);
    EXPECT_EQ(link.m_height, 15);
    EXPECT_GE(link.m_x, 0);
    EXPECT_LE(link.m_x, 2000);
}

TEST(Site, TimeZeroMeansNow) {
    const auto before = static_cast<std::int32_t>(std::time(nullptr));
    CSite site("u", "t", "a", 1, 0);
    EXPECT_GE(site.m_time, before);
    EXPECT_LE(site.m_time, before + 5);
}

TEST(Site, TimeTextIsClassicLocaleDateAndTime) {
    CSite site("u", "t", "a", 1, 1700000000);
    std::tm parts{};
    const std::time_t t = 1700000000;
    localtime_r(&t, &parts);
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char expected[64];
    std::snprintf(expected, sizeof expected, "%s %s %2d %02d:%02d:%02d %d", days[parts.tm_wday],
                  months[parts.tm_mon], parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  parts.tm_year + 1900);
    EXPECT_EQ(site.TimeText(), expected);

    site.SetTime(1000000000);
    EXPECT_NE(site.TimeText(), expected);
    EXPECT_EQ(site.m_time, 1000000000);
}

TEST(Site, AddWordStoresOnceAndCountsRepeats) {
    CSite site("u", "t", "a", 1, 1);
    CWordEntry alpha("alpha");
    site.AddWord(&alpha);
    EXPECT_EQ(alpha.m_count, 1);
    site.AddWord(&alpha);
    EXPECT_EQ(alpha.m_count, 2);
    ASSERT_EQ(site.m_words.size(), 1u);
    EXPECT_EQ(site.m_words.at("ALPHA"), &alpha);
}

TEST(Site, AddLinkKeepsOrderAndRefusesTheSameObjectTwice) {
    CSite site("u", "t", "a", 1, 1);
    CSite* first = site.AddLink(std::make_unique<CSite>("l1", "", "<NONE>", 0));
    CSite* second = site.AddLink(std::make_unique<CSite>("l2", "", "<NONE>", 0));
    EXPECT_EQ(site.AddLink(std::unique_ptr<CSite>(first)), first);
    ASSERT_EQ(site.m_links.size(), 2u);
    EXPECT_EQ(site.m_links[0].get(), first);
    EXPECT_EQ(site.m_links[1].get(), second);
}

TEST(Site, GeometryOfVisitedAndLinkNodes) {
    CSite visited("u", "t", "a", 1, 1);
    visited.m_x = 100;
    visited.m_y = 200;
    visited.m_width = 30;
    visited.m_height = 25;
    const CRect bounds = visited.NodeBounds();
    EXPECT_EQ(bounds.left, 95);
    EXPECT_EQ(bounds.top, 195);
    EXPECT_EQ(bounds.right, 170);
    EXPECT_EQ(bounds.bottom, 230);
    EXPECT_EQ(visited.Center().x, 110);
    EXPECT_EQ(visited.Center().y, 210);
    // Strict on both sides, by the diameter rather than the label width.
    EXPECT_TRUE(visited.HitTest(101, 201));
    EXPECT_TRUE(visited.HitTest(119, 219));
    EXPECT_FALSE(visited.HitTest(100, 210));
    EXPECT_FALSE(visited.HitTest(120, 210));
    EXPECT_FALSE(visited.HitTest(110, 200));
    EXPECT_FALSE(visited.HitTest(110, 220));
    EXPECT_FALSE(visited.HitTest(125, 210));

    CSite link("l", "t", "a", 0, 1);
    link.m_x = 0;
    link.m_y = 0;
    EXPECT_EQ(link.Center().x, 7);
    EXPECT_EQ(link.Center().y, 7);
    EXPECT_TRUE(link.HitTest(14, 14));
    EXPECT_FALSE(link.HitTest(15, 14));
}

TEST(Site, TitleAndAnnotationWordsKeepTwoLettersOrMore) {
    CSite site("u", "A web-page: of Go, x", "see <NONE> none, NONEs ok", 1, 1);
    EXPECT_EQ(site.TitleWords(), (Words{"WEB", "PAGE", "OF", "GO"}));
    EXPECT_EQ(site.AnnotationWords(), (Words{"SEE", "NONES", "OK"}));
    CSite plain("u", "NONE", "<NONE>", 1, 1);
    EXPECT_EQ(plain.TitleWords(), (Words{"NONE"}));
    EXPECT_TRUE(plain.AnnotationWords().empty());
}

TEST(WordEntry, UpperCasesTextAndRecordsSitesByUrl) {
    CWordEntry entry("miXed1\xe9");
    EXPECT_EQ(entry.m_text, "MIXED1\xe9");
    EXPECT_EQ(entry.m_count, 1);
    EXPECT_EQ(entry.m_width, 10);
    CSite a("http://a/", "", "", 1, 1);
    CSite b("http://a/", "", "", 1, 1);
    entry.AddSite(&a);
    entry.AddSite(&b);
    ASSERT_EQ(entry.m_sites.size(), 1u);
    EXPECT_EQ(entry.m_sites.at("http://a/"), &b);
}

TEST(WordEntry, GeometryIsTheTenUnitDot) {
    CWordEntry entry("w");
    entry.m_x = 50;
    entry.m_y = 60;
    entry.m_width = 30;
    entry.m_height = 12;
    const CRect bounds = entry.NodeBounds();
    EXPECT_EQ(bounds.left, 50);
    EXPECT_EQ(bounds.top, 60);
    EXPECT_EQ(bounds.right, 90);
    EXPECT_EQ(bounds.bottom, 82);
    EXPECT_EQ(entry.Center().x, 55);
    EXPECT_EQ(entry.Center().y, 65);
    EXPECT_TRUE(entry.HitTest(51, 69));
    EXPECT_FALSE(entry.HitTest(50, 65));
    EXPECT_FALSE(entry.HitTest(60, 65));
    EXPECT_FALSE(entry.HitTest(55, 70));
}
