#include "fetch/pagetext.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::optional<std::string> TextOf(std::initializer_list<std::string_view> chunks,
                                  std::size_t maxBytes = 1024) {
    CPageText page(maxBytes);
    for (std::string_view chunk : chunks)
        page.Append(chunk);
    return page.Finish();
}

TEST(PageText, ThreeLinesArriveAsThreeCrlfLines) {
    EXPECT_EQ(TextOf({"one\ntwo\nthree\n"}), "one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(TextOf({"one\r\ntwo\r\nthree\r\n"}), "one\r\ntwo\r\nthree\r\n");
}

TEST(PageText, LastLineWithoutLineEndIsStillALine) {
    EXPECT_EQ(TextOf({"one\ntwo"}), "one\r\ntwo\r\n");
}

TEST(PageText, NothingReadGivesNoPageButAnEmptyLineIsAPage) {
    EXPECT_EQ(TextOf({}), std::nullopt);
    EXPECT_EQ(TextOf({""}), std::nullopt);
    EXPECT_EQ(TextOf({"\n"}), "\r\n");
    EXPECT_EQ(TextOf({"\r\n\n"}), "\r\n\r\n");
}

TEST(PageText, CarriageReturnOnlyDroppedJustBeforeLineFeed) {
    EXPECT_EQ(TextOf({"a\rb\n"}), "a\rb\r\n");
    EXPECT_EQ(TextOf({"a\r\r\n"}), "a\r\r\n");
}

TEST(PageText, LinesSplitAcrossChunksAreJoined) {
    EXPECT_EQ(TextOf({"fir", "st\r", "\nsec", "ond", "\n"}), "first\r\nsecond\r\n");
    EXPECT_EQ(TextOf({"a\r", "", "\n"}), "a\r\n");
}

TEST(PageText, LimitCutsTheTextAndClosesTheCutLine) {
    CPageText page(10);
    EXPECT_FALSE(page.Append("abcd\nefghijkl\nmore\n"));
    EXPECT_TRUE(page.IsFull());
    EXPECT_FALSE(page.Append("ignored\n"));
    // "abcd\r\n" (6) + "ef" + "\r\n" = 10 bytes.
    EXPECT_EQ(page.Finish(), "abcd\r\nef\r\n");
}

TEST(PageText, LimitNeverOpensAnEmptyLineAtTheCut) {
    CPageText page(8);
    page.Append("abcd\nxyz\n");
    EXPECT_EQ(page.Finish(), "abcd\r\n");
    CPageText exact(6);
    EXPECT_TRUE(exact.Append("abcd\n"));
    EXPECT_FALSE(exact.Append("x"));
    EXPECT_EQ(exact.Finish(), "abcd\r\n");
}

TEST(PageText, TextNeverExceedsTheLimitWhateverTheLineEnds) {
    for (const std::string& body : {std::string(100, '\n'), std::string(100, 'x'),
                                    std::string("a\r\nb\r\n") + std::string(90, 'c')}) {
        for (std::size_t limit : {0u, 1u, 2u, 3u, 7u, 50u}) {
            CPageText page(limit);
            page.Append(body);
            const auto text = page.Finish();
            if (text) {
                EXPECT_LE(text->size(), limit);
                EXPECT_EQ(text->substr(text->size() - 2), "\r\n");
            }
        }
    }
}

} // namespace
