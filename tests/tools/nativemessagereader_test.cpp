#include "tools/wayfold-bridge/nativemessagereader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Prefix(uint32_t length) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &length, 4);
    return bytes;
}

std::vector<std::string> FeedAll(CNativeMessageReader& reader, const std::string& bytes) {
    return reader.Feed(bytes.data(), bytes.size());
}

using Messages = std::vector<std::string>;

TEST(NativeMessageFrame, EncodesTheLengthInNativeByteOrderBeforeTheText) {
    const std::string json = R"({"type":"open","url":"http://127.0.0.1/ä"})";
    EXPECT_EQ(*EncodeNativeMessage(json), Prefix(static_cast<uint32_t>(json.size())) + json);
    EXPECT_EQ(*EncodeNativeMessage(""), Prefix(0));
}

TEST(NativeMessageFrame, RefusesToEncodeAMessageOverTheLimit) {
    EXPECT_TRUE(EncodeNativeMessage(std::string(kMaxNativeMessageBytes, 'x')).has_value());
    EXPECT_FALSE(EncodeNativeMessage(std::string(kMaxNativeMessageBytes + 1, 'x')).has_value());
}

TEST(NativeMessageReader, CutsMessagesArrivingTogetherOrByteByByte) {
    const std::string stream = *EncodeNativeMessage("{\"a\":1}") + *EncodeNativeMessage("") +
                               *EncodeNativeMessage("[2,3]");
    CNativeMessageReader together;
    EXPECT_EQ(FeedAll(together, stream), (Messages{"{\"a\":1}", "", "[2,3]"}));
    EXPECT_FALSE(together.InsideMessage());

    CNativeMessageReader piecemeal;
    Messages got;
    for (char byte : stream) {
        for (std::string& message : piecemeal.Feed(&byte, 1))
            got.push_back(std::move(message));
    }
    EXPECT_EQ(got, (Messages{"{\"a\":1}", "", "[2,3]"}));
}

TEST(NativeMessageReader, KeepsAPartialMessageUntilItsRestComes) {
    const std::string frame = *EncodeNativeMessage("{\"type\":\"closed\",\"tabId\":4}");
    CNativeMessageReader reader;
    EXPECT_TRUE(FeedAll(reader, frame.substr(0, 2)).empty());
    EXPECT_TRUE(reader.InsideMessage());
    EXPECT_TRUE(FeedAll(reader, frame.substr(2, 10)).empty());
    EXPECT_TRUE(reader.InsideMessage());
    EXPECT_EQ(FeedAll(reader, frame.substr(12)), (Messages{"{\"type\":\"closed\",\"tabId\":4}"}));
    EXPECT_FALSE(reader.InsideMessage());
}

TEST(NativeMessageReader, SkipsAnOversizedMessageAndReadsTheNextOne) {
    const std::string big(kMaxNativeMessageBytes + 1, 'x');
    const std::string stream =
        Prefix(static_cast<uint32_t>(big.size())) + big + *EncodeNativeMessage("{\"after\":true}");
    CNativeMessageReader reader;
    Messages got;
    // In pieces, as a pipe delivers them.
    for (size_t at = 0; at < stream.size(); at += 65536) {
        const std::string piece = stream.substr(at, 65536);
        for (std::string& message : FeedAll(reader, piece))
            got.push_back(std::move(message));
    }
    EXPECT_EQ(got, (Messages{"{\"after\":true}"}));
    EXPECT_EQ(reader.SkippedCount(), 1);
    EXPECT_FALSE(reader.InsideMessage());
}

TEST(NativeMessageReader, HugeLengthIsNeverAllocatedAndLeavesTheStreamInsideIt) {
    CNativeMessageReader reader;
    EXPECT_TRUE(FeedAll(reader, Prefix(0xFFFFFFFFu) + std::string(1000, 'y')).empty());
    EXPECT_EQ(reader.SkippedCount(), 1);
    EXPECT_TRUE(reader.InsideMessage());
}

} // namespace
