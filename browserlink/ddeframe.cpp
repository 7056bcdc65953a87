#include "browserlink/ddeframe.h"

namespace {

void PutUint32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

uint32_t GetUint32(const char* bytes) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

void PutString(std::string& out, const std::string& text) {
    PutUint32(out, static_cast<uint32_t>(text.size()));
    out += text;
}

// Reads fields from one frame body; any read past the end marks the body as malformed.
class CBodyReader {
public:
    CBodyReader(const char* bytes, size_t size) : m_bytes(bytes), m_size(size) {}

    bool ReadUint8(uint8_t& value) {
        if (m_size - m_pos < 1)
            return false;
        value = static_cast<unsigned char>(m_bytes[m_pos++]);
        return true;
    }
    bool ReadUint32(uint32_t& value) {
        if (m_size - m_pos < 4)
            return false;
        value = GetUint32(m_bytes + m_pos);
        m_pos += 4;
        return true;
    }
    bool ReadString(std::string& text) {
        uint32_t length = 0;
        if (!ReadUint32(length) || m_size - m_pos < length)
            return false;
        text.assign(m_bytes + m_pos, length);
        m_pos += length;
        return true;
    }
    bool ReadFlag(bool& flag) {
        uint8_t value = 0;
        if (!ReadUint8(value) || value > 1)
            return false;
        flag = value == 1;
        return true;
    }
    bool AtEnd() const { return m_pos == m_size; }

private:
    const char* m_bytes;
    size_t m_size;
    size_t m_pos = 0;
};

bool DecodeBody(CBodyReader& reader, DdeFrame& frame) {
    uint8_t kind = 0;
    if (!reader.ReadUint8(kind))
        return false;
    frame = DdeFrame{};
    frame.kind = static_cast<DdeFrameKind>(kind);
    switch (frame.kind) {
    case DdeFrameKind::Connect:
        return reader.ReadString(frame.service) && reader.ReadString(frame.topic);
    case DdeFrameKind::Connected:
        return reader.ReadFlag(frame.accepted);
    case DdeFrameKind::Request:
        return reader.ReadUint32(frame.format) && reader.ReadString(frame.item);
    case DdeFrameKind::Data:
        if (!reader.ReadFlag(frame.present))
            return false;
        return !frame.present || (reader.ReadUint32(frame.format) && reader.ReadString(frame.data));
    case DdeFrameKind::Poke:
        return reader.ReadUint32(frame.format) && reader.ReadString(frame.item) &&
               reader.ReadString(frame.data);
    case DdeFrameKind::Ack:
        return reader.ReadUint32(frame.flags);
    }
    return false;
}

} // namespace

bool EncodeDdeFrame(const DdeFrame& frame, std::string& out) {
    std::string body;
    body.push_back(static_cast<char>(frame.kind));
    switch (frame.kind) {
    case DdeFrameKind::Connect:
        PutString(body, frame.service);
        PutString(body, frame.topic);
        break;
    case DdeFrameKind::Connected:
        body.push_back(frame.accepted ? 1 : 0);
        break;
    case DdeFrameKind::Request:
        PutUint32(body, frame.format);
        PutString(body, frame.item);
        break;
    case DdeFrameKind::Data:
        body.push_back(frame.present ? 1 : 0);
        if (frame.present) {
            PutUint32(body, frame.format);
            PutString(body, frame.data);
        }
        break;
    case DdeFrameKind::Poke:
        PutUint32(body, frame.format);
        PutString(body, frame.item);
        PutString(body, frame.data);
        break;
    case DdeFrameKind::Ack:
        PutUint32(body, frame.flags);
        break;
    }
    out.clear();
    if (body.size() > kDdeMaxFrameLength)
        return false;
    PutUint32(out, static_cast<uint32_t>(body.size()));
    out += body;
    return true;
}

DdeFrameStatus DecodeDdeFrame(const char* bytes, size_t size, DdeFrame& frame, size_t& consumed) {
    consumed = 0;
    if (size < 4)
        return DdeFrameStatus::NeedMore;
    const uint32_t length = GetUint32(bytes);
    if (length < 1 || length > kDdeMaxFrameLength)
        return DdeFrameStatus::Malformed;
    if (size - 4 < length)
        return DdeFrameStatus::NeedMore;
    CBodyReader reader(bytes + 4, length);
    if (!DecodeBody(reader, frame) || !reader.AtEnd())
        return DdeFrameStatus::Malformed;
    consumed = 4 + static_cast<size_t>(length);
    return DdeFrameStatus::Complete;
}
