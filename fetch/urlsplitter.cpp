#include "fetch/urlsplitter.h"

#include <cstdint>
#include <cstring>

#include "fetch/classicchars.h"

namespace {

bool IsSchemeChar(unsigned char c) {
    return ClassicChars::IsAlpha(c) || ClassicChars::IsDigit(c) || c == '+' || c == '-' || c == '.';
}

// Length of the scheme at the start of the URL (without the ':'), or 0 when there is none.
size_t SchemeLength(std::string_view url) {
    if (url.empty() || !ClassicChars::IsAlpha(static_cast<unsigned char>(url[0])))
        return 0;
    size_t i = 1;
    while (i < url.size() && IsSchemeChar(static_cast<unsigned char>(url[i])))
        ++i;
    if (i >= url.size() || url[i] != ':')
        return 0;
    return i;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ClassicChars::ToLower(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    }
    return true;
}

// Whether any of the eight bytes at p is '#' or '?' (a byte is zero after the exclusive or
// exactly when it matched; the test below is true exactly when some byte is zero).
bool HasHashOrQuestion(const char* p) {
    uint64_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHighs = 0x8080808080808080u;
    const uint64_t hashes = bytes ^ (kOnes * '#');
    const uint64_t questions = bytes ^ (kOnes * '?');
    return (((hashes - kOnes) & ~hashes) | ((questions - kOnes) & ~questions)) & kHighs;
}

// The port follows the last colon, unless that colon sits inside an IPv6 literal.
void SplitAuthority(SUrlParts& parts) {
    std::string_view hostPort = parts.authority;
    const size_t at = hostPort.rfind('@');
    if (at != std::string_view::npos)
        hostPort = hostPort.substr(at + 1);
    const size_t colon = hostPort.rfind(':');
    const size_t bracket = hostPort.rfind(']');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        parts.port = hostPort.substr(colon + 1);
        hostPort = hostPort.substr(0, colon);
    }
    parts.host = hostPort;
}

EUrlClass ClassOf(std::string_view scheme) {
    if (scheme.empty())
        return EUrlClass::Unrecognised;
    if (EqualsNoCase(scheme, "http") || EqualsNoCase(scheme, "https"))
        return EUrlClass::Http;
    if (EqualsNoCase(scheme, "file"))
        return EUrlClass::File;
    return EUrlClass::Other;
}

} // namespace

SUrlParts CUrlSplitter::Split(std::string_view url) {
    SUrlParts parts;
    // The fragment starts at the first '#', the query at the first '?' before it; one pass
    // finds both (links are short, so a plain loop beats two searches).
    size_t hash = std::string_view::npos;
    size_t question = std::string_view::npos;
    size_t i = 0;
    while (i + 8 <= url.size() && !HasHashOrQuestion(url.data() + i))
        i += 8;
    for (; i < url.size(); ++i) {
        if (url[i] == '#') {
            hash = i;
            break;
        }
        if (url[i] == '?' && question == std::string_view::npos)
            question = i;
    }
    if (hash != std::string_view::npos) {
        parts.hasFragment = true;
        parts.fragment = url.substr(hash + 1);
        url = url.substr(0, hash);
    }
    if (question != std::string_view::npos) {
        parts.hasQuery = true;
        parts.query = url.substr(question + 1);
        url = url.substr(0, question);
    }
    const size_t schemeLength = SchemeLength(url);
    if (schemeLength > 0) {
        parts.scheme = url.substr(0, schemeLength);
        url = url.substr(schemeLength + 1);
    }
    if (url.size() >= 2 && url[0] == '/' && url[1] == '/') {
        parts.hasAuthority = true;
        url = url.substr(2);
        const size_t slash = url.find('/');
        parts.authority = url.substr(0, slash);
        url = slash == std::string_view::npos ? std::string_view() : url.substr(slash);
        SplitAuthority(parts);
    }
    parts.path = url;
    parts.urlClass = ClassOf(parts.scheme);
    return parts;
}

CUrlSplitter::CUrlSplitter(std::string_view url) {
    const SUrlParts parts = Split(url);
    m_class = parts.urlClass;
    m_scheme = parts.scheme;
    m_hasAuthority = parts.hasAuthority;
    m_authority = parts.authority;
    m_host = parts.host;
    m_port = parts.port;
    m_path = parts.path;
    m_hasQuery = parts.hasQuery;
    m_query = parts.query;
    m_hasFragment = parts.hasFragment;
    m_fragment = parts.fragment;
}
