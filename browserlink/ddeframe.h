#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Frames of the local DDE substitute's wire protocol. Every message is a 32-bit
// little-endian length N (1 to 16 MiB) followed by N bytes: a one-byte kind and the kind's
// fields. A string field is a 32-bit little-endian byte count and the bytes, no NUL.
// Plain C++: no Qt, so the codec can be fuzzed alone.

enum class DdeFrameKind : uint8_t {
    Connect = 0x01,   // client, first frame: service, topic
    Connected = 0x81, // server: accepted (1 or 0); after 0 the server closes
    Request = 0x02,   // client: format, item
    Data = 0x82,      // server: present; when 1: format, data
    Poke = 0x03,      // client: format, item, data
    Ack = 0x83,       // server: flags
};

// Longest frame body accepted or sent.
constexpr uint32_t kDdeMaxFrameLength = 16u * 1024u * 1024u;

// One decoded frame. Only the fields of its kind are meaningful.
struct DdeFrame {
    DdeFrameKind kind = DdeFrameKind::Connect;
    std::string service;   // Connect
    std::string topic;     // Connect
    bool accepted = false; // Connected
    bool present = false;  // Data
    uint32_t format = 0;   // Request, Data (when present), Poke
    std::string item;      // Request, Poke
    std::string data;      // Data (when present), Poke: raw bytes
    uint32_t flags = 0;    // Ack
};

// Encodes the frame with its length prefix into `out`. Returns false (and leaves `out`
// empty) when the body would exceed kDdeMaxFrameLength.
bool EncodeDdeFrame(const DdeFrame& frame, std::string& out);

enum class DdeFrameStatus {
    Complete,  // one frame decoded; `consumed` bytes belong to it
    NeedMore,  // the bytes so far are a valid beginning; read more
    Malformed, // length out of range, unknown kind, field past its frame or trailing bytes
};

// Decodes the first frame of `bytes`. A length out of range is reported as soon as the four
// length bytes are there, so a reader never buffers more than one frame's limit.
DdeFrameStatus DecodeDdeFrame(const char* bytes, size_t size, DdeFrame& frame, size_t& consumed);
