#include "tools/wayfold-dump/jsonwriter.h"

namespace {
constexpr std::size_t kFlushSize = 1 << 16;

// Length of the valid UTF-8 sequence at the start of bytes, or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF are not valid).
std::size_t Utf8SequenceLength(std::string_view bytes) {
    const auto byte = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

void AppendEscapedByte(std::string& out, unsigned char c) {
    static const char hex[] = "0123456789abcdef";
    out += "\\u00";
    out += hex[c >> 4];
    out += hex[c & 0xF];
}

void AppendQuoted(std::string& out, std::string_view bytes) {
    out += '"';
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(bytes.substr(i));
            if (length == 0) {
                AppendEscapedByte(out, c);
                ++i;
            } else {
                out.append(bytes.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20)
                AppendEscapedByte(out, c);
            else
                out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
}
} // namespace

std::string CJsonWriter::Quote(std::string_view bytes) {
    std::string out;
    AppendQuoted(out, bytes);
    return out;
}

void CJsonWriter::BeforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasItems.empty()) {
        if (m_hasItems.back())
            m_buffer += ',';
        m_hasItems.back() = true;
    }
    if (m_lineBreak) {
        m_buffer += '\n';
        m_lineBreak = false;
    }
}

void CJsonWriter::BeginObject() {
    BeforeValue();
    m_buffer += '{';
    m_hasItems.push_back(false);
}

void CJsonWriter::EndObject() {
    m_hasItems.pop_back();
    m_buffer += '}';
    Flush();
}

void CJsonWriter::BeginArray() {
    BeforeValue();
    m_buffer += '[';
    m_hasItems.push_back(false);
}

void CJsonWriter::EndArray() {
    m_hasItems.pop_back();
    m_buffer += ']';
    Flush();
}

void CJsonWriter::Key(std::string_view key) {
    BeforeValue();
    AppendQuoted(m_buffer, key);
    m_buffer += ':';
    m_afterKey = true;
}

void CJsonWriter::String(std::string_view bytes) {
    BeforeValue();
    AppendQuoted(m_buffer, bytes);
}

void CJsonWriter::Int(std::int64_t value) {
    BeforeValue();
    m_buffer += std::to_string(value);
}

void CJsonWriter::Null() {
    BeforeValue();
    m_buffer += "null";
}

void CJsonWriter::Flush() {
    if (m_buffer.size() < kFlushSize)
        return;
    if (std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_out) != m_buffer.size())
        m_failed = true;
    m_buffer.clear();
}

bool CJsonWriter::Finish() {
    m_buffer += '\n';
    if (std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_out) != m_buffer.size())
        m_failed = true;
    m_buffer.clear();
    if (std::fflush(m_out) != 0 || std::ferror(m_out))
        m_failed = true;
    return !m_failed;
}
