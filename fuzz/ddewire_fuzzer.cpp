// Fuzzes the DDE substitute's wire: the input is the byte stream a peer sends. Frames are
// decoded one after another as a connection reads them; each decoded frame must encode and
// decode to itself, every prefix of it must ask for more bytes, and its item and data must
// parse under the verbs' formats (and one the input chooses) without a crash.

#include "browserlink/ddeframe.h"
#include "browserlink/ddeitemtext.h"
#include "fuzz/fuzzcheck.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {
bool SameFrame(const DdeFrame& a, const DdeFrame& b) {
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case DdeFrameKind::Connect:
        return a.service == b.service && a.topic == b.topic;
    case DdeFrameKind::Connected:
        return a.accepted == b.accepted;
    case DdeFrameKind::Request:
        return a.format == b.format && a.item == b.item;
    case DdeFrameKind::Data:
        return a.present == b.present && (!a.present || (a.format == b.format && a.data == b.data));
    case DdeFrameKind::Poke:
        return a.format == b.format && a.item == b.item && a.data == b.data;
    case DdeFrameKind::Ack:
        return a.flags == b.flags;
    }
    return false;
}

// The formats the browser verbs use, and one taken from the peer's bytes.
void ParseArguments(const DdeFrame& frame) {
    static const std::vector<std::string> kFormats{"QCS,QCS,DW,DW,QCS,QCS,CS",
                                                   "QCS,DW,DW",
                                                   "DW,DW",
                                                   "QCS,QCS",
                                                   "QCS,QCS,DW,QCS",
                                                   "DW,QCS,QCS",
                                                   "DW",
                                                   "BL",
                                                   "CS",
                                                   "QCS,QCS,DW,QCS,QCS"};
    std::vector<std::string> formats = kFormats;
    formats.push_back(frame.topic.substr(0, 256));
    for (const std::string& format : formats) {
        SplitDdeFormat(format);
        ParseDdeItemText(frame.item, format);
        ParseDdeReplyBytes(frame.data, format);
    }
    for (int n = -1; n <= 9; ++n)
        GetItemField(frame.item, n);
    UnescapeDdeText(QuoteDdeText(frame.item));

    // Binary replies come back as they were built.
    if (frame.data.size() >= 4) {
        const uint32_t number = static_cast<unsigned char>(frame.data[0]) |
                                static_cast<unsigned char>(frame.data[1]) << 8 |
                                static_cast<unsigned char>(frame.data[2]) << 16 |
                                static_cast<uint32_t>(static_cast<unsigned char>(frame.data[3]))
                                    << 24;
        const auto bytes = BuildDdeReplyBytes("DW", {number});
        FUZZ_REQUIRE(bytes && std::get<uint32_t>(ParseDdeReplyBytes(*bytes, "DW")[0]) == number);
    }
    const auto flag = BuildDdeReplyBytes("BL", {!frame.item.empty()});
    FUZZ_REQUIRE(flag && std::get<bool>(ParseDdeReplyBytes(*flag, "BL")[0]) == !frame.item.empty());
}

void CheckFrame(const char* bytes, size_t consumed, const DdeFrame& frame) {
    std::string encoded;
    FUZZ_REQUIRE(EncodeDdeFrame(frame, encoded));
    DdeFrame again;
    size_t againConsumed = 0;
    FUZZ_REQUIRE(DecodeDdeFrame(encoded.data(), encoded.size(), again, againConsumed) ==
                 DdeFrameStatus::Complete);
    FUZZ_REQUIRE(againConsumed == encoded.size() && SameFrame(frame, again));

    // A reader that has only part of the frame waits for the rest.
    for (size_t cut : {size_t{0}, size_t{1}, size_t{4}, size_t{5}, consumed / 2, consumed - 1}) {
        if (cut >= consumed)
            continue;
        DdeFrame partial;
        size_t partialConsumed = 0;
        FUZZ_REQUIRE(DecodeDdeFrame(bytes, cut, partial, partialConsumed) ==
                     DdeFrameStatus::NeedMore);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    size_t pos = 0;
    while (pos <= size) {
        DdeFrame frame;
        size_t consumed = 0;
        const DdeFrameStatus status = DecodeDdeFrame(bytes + pos, size - pos, frame, consumed);
        if (status != DdeFrameStatus::Complete)
            break;
        FUZZ_REQUIRE(consumed >= 5 && consumed <= size - pos && consumed <= kDdeMaxFrameLength + 4);
        CheckFrame(bytes + pos, consumed, frame);
        ParseArguments(frame);
        pos += consumed;
    }
    return 0;
}
