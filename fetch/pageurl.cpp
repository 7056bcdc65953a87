#include "fetch/pageurl.h"

#include "fetch/urlsplitter.h"

namespace {
bool MustEscape(unsigned char c) {
    return c <= 0x20 || c >= 0x7F;
}
} // namespace

std::string EscapeUrlBytes(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(url.size());
    for (const char byte : url) {
        const auto c = static_cast<unsigned char>(byte);
        if (!MustEscape(c)) {
            escaped.push_back(byte);
            continue;
        }
        escaped.push_back('%');
        escaped.push_back(kHex[c >> 4]);
        escaped.push_back(kHex[c & 0x0F]);
    }
    return escaped;
}

std::string_view WithoutFragment(std::string_view url) {
    return url.substr(0, url.find('#'));
}

std::string PageUrl(std::string_view reported) {
    const std::string_view page = WithoutFragment(reported);
    const EUrlClass urlClass = CUrlSplitter::Split(page).urlClass;
    if (urlClass == EUrlClass::File || urlClass == EUrlClass::Unrecognised)
        return std::string(page);
    return EscapeUrlBytes(page);
}
