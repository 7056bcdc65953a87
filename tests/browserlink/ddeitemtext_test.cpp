#include "browserlink/ddeitemtext.h"

#include <gtest/gtest.h>

namespace {

std::string TextOf(const DdeValue& value) {
    return std::get<std::string>(value);
}

TEST(DdeItemText, QuotedTextRoundTripsQuotesAndKeepsLoneBackslashes) {
    struct Case {
        std::string text;
        std::string encoded;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\temp\\file", "\"C:\\temp\\file\""},
        {"a,b", "\"a,b\""},
        {"", "\"\""},
    };
    for (const Case& c : cases) {
        const std::string item = BuildDdeItemText("QCS", {c.text});
        EXPECT_EQ(item, c.encoded) << c.text;
        EXPECT_EQ(TextOf(ParseDdeItemText(item, "QCS")[0]), c.text) << c.text;
    }
}

TEST(DdeItemText, MissingValuesKeepTheirCommas) {
    EXPECT_EQ(BuildDdeItemText("QCS,DW,DW", {std::string(), DdeValue{}, 7u}), "\"\",,7");
    const auto values = ParseDdeItemText("\"\",,7", "QCS,DW,DW");
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(TextOf(values[0]), "");
    EXPECT_EQ(std::get<uint32_t>(values[1]), 0u);
    EXPECT_EQ(std::get<uint32_t>(values[2]), 7u);
}

TEST(DdeItemText, ClientWritesDecimalAndServerWritesHex) {
    EXPECT_EQ(BuildDdeItemText("DW,DW", {255u, 0xFFFFFFFFu}), "255,4294967295");
    EXPECT_EQ(BuildDdeReplyText("DW,DW", {255u, 0u}), "0xff,0");
    EXPECT_EQ(BuildDdeItemText("BL,BL", {true, false}), "TRUE,FALSE");
    EXPECT_EQ(BuildDdeItemText("CS", {std::string("WWW_Version")}), "WWW_Version");
}

TEST(DdeItemText, UnknownTokenEndsItemButLeavesReplyFieldEmpty) {
    EXPECT_EQ(BuildDdeItemText("DW,XX,DW", {1u, 2u, 3u}), "1,");
    EXPECT_EQ(BuildDdeReplyText("DW,XX,DW", {1u, 2u, 3u}), "0x1,,0x3");
}

TEST(DdeItemText, OpenUrlItemSendsEmptyTextsAsMissingFields) {
    const std::string item = BuildDdeItemText("QCS,QCS,DW,DW,QCS,QCS,CS",
                                              {std::string("http://x/"), DdeValue{}, 0xFFFFFFFFu,
                                               0u, DdeValue{}, DdeValue{}, std::string("TARN2")});
    EXPECT_EQ(item, "\"http://x/\",,4294967295,0,,,TARN2");
}

TEST(DdeItemText, ReplyOfOneDwOrBlIsBinary) {
    EXPECT_EQ(*BuildDdeReplyBytes("DW", {0x01020304u}), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(*BuildDdeReplyBytes("BL", {false}), std::string("\0\0", 2));
    EXPECT_EQ(*BuildDdeReplyBytes("BL", {true}), std::string("\1\0", 2));
    EXPECT_EQ(*BuildDdeReplyBytes("QCS,QCS", {std::string("u"), std::string("t")}),
              std::string("\"u\",\"t\"\0", 8));
    EXPECT_FALSE(BuildDdeReplyBytes("DW", {DdeValue{}}).has_value());

    // A DW reply is read from its four bytes, never as text.
    EXPECT_EQ(std::get<uint32_t>(ParseDdeReplyBytes(std::string("7\0\0\0", 4), "DW")[0]), 0x37u);
    EXPECT_EQ(std::get<uint32_t>(ParseDdeReplyBytes("12", "DW")[0]), 0u);
    EXPECT_FALSE(std::get<bool>(ParseDdeReplyBytes(std::string("\0\0", 2), "BL")[0]));
    const auto pair = ParseDdeReplyBytes(std::string("\"a\\\"b\",\"t\"\0junk", 15), "QCS,QCS");
    EXPECT_EQ(TextOf(pair[0]), "a\"b");
    EXPECT_EQ(TextOf(pair[1]), "t");
}

TEST(DdeItemText, GetItemFieldSkipsQuotedCommas) {
    const std::string item = "12,\"a, b\",last";
    EXPECT_EQ(GetItemField(item, 1), "12");
    EXPECT_EQ(GetItemField(item, 2), "a, b");
    EXPECT_EQ(GetItemField(item, 3), "last");
    EXPECT_FALSE(GetItemField(item, 4));
    EXPECT_FALSE(GetItemField(item, 0));
    EXPECT_FALSE(GetItemField("", 1));
    EXPECT_FALSE(GetItemField("1,,3", 2));
    EXPECT_EQ(GetItemField("\"x\\\",y\",z", 2), "z");       // escaped quote does not close
    EXPECT_EQ(GetItemField("\"x\\\",y\",z", 1), "x\\\",y"); // escapes still in place
    EXPECT_EQ(GetItemField("\"open", 1), "open");           // unterminated quote: to the end
    EXPECT_FALSE(GetItemField("\"open,2", 2));
}

TEST(DdeItemText, DecodingIsForgiving) {
    struct Case {
        std::string text;
        uint32_t number;
        std::string quoted;
        bool flag;
    };
    const Case cases[] = {
        {"5,\"x\",true", 5, "x", true},
        {"-1,unquoted,TRUE", 0xFFFFFFFF, "unquoted", true},
        {"99999999999,,yes", 0xFFFFFFFF, "", false},
        {"abc", 0, "", false},
        {"", 0, "", false},
        {" 42", 42, "", false},
    };
    for (const Case& c : cases) {
        const auto values = ParseDdeItemText(c.text, "DW,QCS,BL");
        EXPECT_EQ(std::get<uint32_t>(values[0]), c.number) << c.text;
        EXPECT_EQ(TextOf(values[1]), c.quoted) << c.text;
        EXPECT_EQ(std::get<bool>(values[2]), c.flag) << c.text;
    }
}

TEST(DdeItemText, FormatTokensMatchByPrefix) {
    const auto tokens = SplitDdeFormat("DWORD,QCSX,CS,BL,ZZ");
    const std::vector<DdeToken> expected = {DdeToken::DW, DdeToken::QCS, DdeToken::CS, DdeToken::BL,
                                            DdeToken::Unknown};
    EXPECT_EQ(tokens, expected);
    EXPECT_TRUE(SplitDdeFormat("").empty());
}

TEST(DdeItemText, ValueAtGivesTheFieldOrEmptyForMissingAndMistypedOnes) {
    const auto values = ParseDdeItemText("\"http://a/\",7", "QCS,DW");
    EXPECT_EQ(DdeTextAt(values, 0), "http://a/");
    EXPECT_EQ(DdeNumberAt(values, 1), 7u);
    // The other type, or past the end.
    EXPECT_EQ(DdeTextAt(values, 1), "");
    EXPECT_EQ(DdeNumberAt(values, 0), 0u);
    EXPECT_EQ(DdeTextAt(values, 2), "");
    EXPECT_EQ(DdeNumberAt(values, 2), 0u);
}

} // namespace
