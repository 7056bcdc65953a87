// Fuzzes the native-messaging framing of wayfold-bridge: the input is the byte stream a browser
// sends. However the stream is cut into pieces, the reader must find the same messages, none
// longer than the limit, and every message it finds must encode back to its own bytes.

#include "fuzz/fuzzcheck.h"

#include "tools/wayfold-bridge/nativemessagereader.h"

#include <algorithm>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);

    CNativeMessageReader whole;
    const std::vector<std::string> messages = whole.Feed(bytes, size);
    for (const std::string& message : messages) {
        FUZZ_REQUIRE(message.size() <= kMaxNativeMessageBytes);
        const auto encoded = EncodeNativeMessage(message);
        FUZZ_REQUIRE(encoded && encoded->size() == message.size() + 4);
    }

    // The same stream in pieces whose sizes come from its own first byte.
    const size_t step = size > 0 ? 1 + data[0] % 7 : 1;
    CNativeMessageReader pieces;
    std::vector<std::string> found;
    for (size_t at = 0; at < size; at += step) {
        const size_t length = std::min(step, size - at);
        for (std::string& message : pieces.Feed(bytes + at, length))
            found.push_back(std::move(message));
    }
    FUZZ_REQUIRE(found == messages);
    FUZZ_REQUIRE(pieces.SkippedCount() == whole.SkippedCount());
    FUZZ_REQUIRE(pieces.InsideMessage() == whole.InsideMessage());
    return 0;
}
