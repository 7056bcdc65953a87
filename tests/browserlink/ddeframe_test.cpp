#include "browserlink/ddeframe.h"

#include <gtest/gtest.h>

namespace {

std::string Le32(uint32_t value) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

DdeFrameStatus Decode(const std::string& bytes, DdeFrame& frame, size_t& consumed) {
    return DecodeDdeFrame(bytes.data(), bytes.size(), frame, consumed);
}

TEST(DdeFrame, EveryKindRoundTrips) {
    std::vector<DdeFrame> frames(7);
    frames[0].kind = DdeFrameKind::Connect;
    frames[0].service = "TARN2";
    frames[0].topic = "WWW_URLEcho";
    frames[1].kind = DdeFrameKind::Connected;
    frames[1].accepted = true;
    frames[2].kind = DdeFrameKind::Request;
    frames[2].format = 1;
    frames[2].item = "WWW_Version";
    frames[3].kind = DdeFrameKind::Data;
    frames[3].present = true;
    frames[3].format = 1;
    frames[3].data = std::string("\"u\"\0", 4);
    frames[4].kind = DdeFrameKind::Data;
    frames[5].kind = DdeFrameKind::Poke;
    frames[5].format = 1;
    frames[5].item = "\"TARN2\"";
    frames[6].kind = DdeFrameKind::Ack;
    frames[6].flags = 0x8000;
    std::string stream;
    for (const DdeFrame& frame : frames) {
        std::string bytes;
        ASSERT_TRUE(EncodeDdeFrame(frame, bytes));
        stream += bytes;
    }
    size_t offset = 0;
    for (const DdeFrame& expected : frames) {
        DdeFrame frame;
        size_t consumed = 0;
        ASSERT_EQ(DecodeDdeFrame(stream.data() + offset, stream.size() - offset, frame, consumed),
                  DdeFrameStatus::Complete);
        offset += consumed;
        EXPECT_EQ(frame.kind, expected.kind);
        EXPECT_EQ(frame.service, expected.service);
        EXPECT_EQ(frame.topic, expected.topic);
        EXPECT_EQ(frame.accepted, expected.accepted);
        EXPECT_EQ(frame.present, expected.present);
        EXPECT_EQ(frame.format, expected.format);
        EXPECT_EQ(frame.item, expected.item);
        EXPECT_EQ(frame.data, expected.data);
        EXPECT_EQ(frame.flags, expected.flags);
    }
    EXPECT_EQ(offset, stream.size());
}

TEST(DdeFrame, WireLayoutIsLittleEndianWithCountedStrings) {
    DdeFrame frame;
    frame.kind = DdeFrameKind::Connect;
    frame.service = "AB";
    frame.topic = "C";
    std::string bytes;
    ASSERT_TRUE(EncodeDdeFrame(frame, bytes));
    EXPECT_EQ(bytes, Le32(12) + "\x01" + Le32(2) + "AB" + Le32(1) + "C");
}

TEST(DdeFrame, PartialFramesNeedMore) {
    DdeFrame frame;
    frame.kind = DdeFrameKind::Ack;
    frame.flags = 0x4000;
    std::string bytes;
    ASSERT_TRUE(EncodeDdeFrame(frame, bytes));
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        size_t consumed = 99;
        EXPECT_EQ(Decode(bytes.substr(0, cut), frame, consumed), DdeFrameStatus::NeedMore) << cut;
        EXPECT_EQ(consumed, 0u);
    }
}

TEST(DdeFrame, BadFramesAreMalformed) {
    const std::string cases[] = {
        Le32(0),                                      // empty frame
        Le32(kDdeMaxFrameLength + 1),                 // too long, known from the length alone
        Le32(0xFFFFFFFF),                             // far too long
        Le32(1) + "\x7f",                             // unknown kind
        Le32(2) + "\x81\x02",                         // accepted neither 0 nor 1
        Le32(6) + "\x01" + Le32(100) + "x",           // string runs past the frame
        Le32(4) + std::string("\x83\x00\x80\x00", 4), // flags cut short
        Le32(6) + "\x83" + Le32(0x8000) + std::string(1, '\0'), // trailing byte
        Le32(2) + "\x82\x01",                                   // present data without format
    };
    for (const std::string& bytes : cases) {
        DdeFrame frame;
        size_t consumed = 0;
        EXPECT_EQ(Decode(bytes, frame, consumed), DdeFrameStatus::Malformed);
    }
}

TEST(DdeFrame, LargestFrameIsAcceptedAndOneMoreByteRefused) {
    DdeFrame frame;
    frame.kind = DdeFrameKind::Poke;
    // kind + format + two string counts = 13 bytes of overhead.
    frame.data.assign(kDdeMaxFrameLength - 13, 'x');
    std::string bytes;
    ASSERT_TRUE(EncodeDdeFrame(frame, bytes));
    DdeFrame decoded;
    size_t consumed = 0;
    EXPECT_EQ(Decode(bytes, decoded, consumed), DdeFrameStatus::Complete);
    EXPECT_EQ(decoded.data.size(), frame.data.size());
    frame.data.push_back('x');
    EXPECT_FALSE(EncodeDdeFrame(frame, bytes));
    EXPECT_TRUE(bytes.empty());
}

} // namespace
