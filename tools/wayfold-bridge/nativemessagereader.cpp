#include "tools/wayfold-bridge/nativemessagereader.h"

#include <algorithm>
#include <cstring>

std::optional<std::string> EncodeNativeMessage(const std::string& json) {
    if (json.size() > kMaxNativeMessageBytes)
        return std::nullopt;
    const uint32_t length = static_cast<uint32_t>(json.size());
    std::string frame(sizeof length, '\0');
    std::memcpy(frame.data(), &length, sizeof length); // native byte order, as browsers expect
    frame += json;
    return frame;
}

std::vector<std::string> CNativeMessageReader::Feed(const char* data, size_t size) {
    std::vector<std::string> messages;
    while (size > 0) {
        if (m_remaining == 0 && !m_skipping) {
            const size_t take = std::min(size, sizeof(uint32_t) - m_header.size());
            m_header.append(data, take);
            data += take;
            size -= take;
            if (m_header.size() < sizeof(uint32_t))
                break;
            uint32_t length = 0;
            std::memcpy(&length, m_header.data(), sizeof length);
            m_header.clear();
            m_skipping = length > kMaxNativeMessageBytes;
            if (m_skipping)
                ++m_skipped;
            m_remaining = length;
            if (length == 0) {
                messages.emplace_back();
                continue;
            }
        }
        const size_t take = std::min<size_t>(size, m_remaining);
        if (!m_skipping)
            m_body.append(data, take);
        data += take;
        size -= take;
        m_remaining -= static_cast<uint32_t>(take);
        if (m_remaining == 0) {
            if (!m_skipping)
                messages.push_back(std::move(m_body));
            m_body.clear();
            m_skipping = false;
        }
    }
    return messages;
}
