#include "browserlink/browserurlrules.h"

#include <strings.h>

bool IsImageUrl(const std::string& url) {
    if (url.size() < 4)
        return false;
    const char* tail = url.c_str() + url.size() - 4;
    return strcasecmp(tail, ".gif") == 0 || strcasecmp(tail, ".jpg") == 0;
}

bool IsEchoedPageType(const std::string& mimeType) {
    return mimeType == "text/html" || mimeType == "internal/parser";
}

std::string ReplacePercent20(const std::string& url) {
    std::string out;
    out.reserve(url.size());
    for (size_t i = 0; i < url.size(); ++i) {
        if (url.compare(i, 3, "%20") == 0) {
            out += ' ';
            i += 2;
        } else {
            out += url[i];
        }
    }
    return out;
}

std::vector<uint32_t> DecodeWindowList(const std::string& bytes) {
    std::vector<uint32_t> ids;
    for (size_t pos = 0; pos + 4 <= bytes.size(); pos += 4) {
        uint32_t id = 0;
        for (int i = 3; i >= 0; --i)
            id = (id << 8) | static_cast<unsigned char>(bytes[pos + static_cast<size_t>(i)]);
        if (id == 0)
            break;
        ids.push_back(id);
    }
    return ids;
}

std::string EncodeWindowList(const std::vector<uint32_t>& ids) {
    std::string bytes;
    auto put = [&bytes](uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    for (uint32_t id : ids)
        put(id);
    put(0);
    return bytes;
}
