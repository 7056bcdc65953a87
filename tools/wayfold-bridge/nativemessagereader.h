#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Native messaging, the way browsers talk to a helper program over its standard input and
// output: every message is UTF-8 JSON preceded by its length as a 32-bit number in the
// machine's own byte order. Plain C++, so the framing can be tested alone.

// Longest message taken in either direction, in bytes. Browsers refuse anything over 1 MB from
// a host; what the extension sends (a URL and a title) is far smaller.
constexpr uint32_t kMaxNativeMessageBytes = 1024 * 1024;

// The length prefix followed by the text; std::nullopt when the text is longer than
// kMaxNativeMessageBytes.
std::optional<std::string> EncodeNativeMessage(const std::string& json);

// Cuts the byte stream coming from the browser into messages. Bytes may arrive in pieces of
// any size. A message longer than kMaxNativeMessageBytes is skipped without being stored, and
// the stream goes on with the next one.
class CNativeMessageReader {
public:
    // Takes the next bytes of the stream; returns the messages they completed, in order.
    std::vector<std::string> Feed(const char* data, size_t size);

    // How many messages were skipped for their length since the reader was made.
    int SkippedCount() const { return m_skipped; }
    // True when the stream stopped inside a message (a length prefix or a message body).
    bool InsideMessage() const { return !m_header.empty() || m_remaining > 0; }

private:
    std::string m_header;     // the length prefix read so far
    std::string m_body;       // the message read so far
    uint32_t m_remaining = 0; // bytes of the current message still to come
    bool m_skipping = false;  // the current message is too long and is being passed over
    int m_skipped = 0;
};
