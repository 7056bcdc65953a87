#include "fetch/urlsplitter.h"

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

} // namespace

CUrlSplitter::CUrlSplitter(std::string_view url) {
    const size_t hash = url.find('#');
    if (hash != std::string_view::npos) {
        m_hasFragment = true;
        m_fragment = url.substr(hash + 1);
        url = url.substr(0, hash);
    }
    const size_t question = url.find('?');
    if (question != std::string_view::npos) {
        m_hasQuery = true;
        m_query = url.substr(question + 1);
        url = url.substr(0, question);
    }
    const size_t schemeLength = SchemeLength(url);
    if (schemeLength > 0) {
        m_scheme = url.substr(0, schemeLength);
        url = url.substr(schemeLength + 1);
    }
    if (url.size() >= 2 && url[0] == '/' && url[1] == '/') {
        m_hasAuthority = true;
        url = url.substr(2);
        const size_t slash = url.find('/');
        m_authority = url.substr(0, slash);
        url = slash == std::string_view::npos ? std::string_view() : url.substr(slash);
        SplitAuthority();
    }
    m_path = url;
    Classify();
}

void CUrlSplitter::SplitAuthority() {
    std::string_view hostPort = m_authority;
    const size_t at = hostPort.rfind('@');
    if (at != std::string_view::npos)
        hostPort = hostPort.substr(at + 1);
    // The port follows the last colon, unless that colon sits inside an IPv6 literal.
    const size_t colon = hostPort.rfind(':');
    const size_t bracket = hostPort.rfind(']');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        m_port = hostPort.substr(colon + 1);
        hostPort = hostPort.substr(0, colon);
    }
    m_host = hostPort;
}

void CUrlSplitter::Classify() {
    if (m_scheme.empty())
        m_class = EUrlClass::Unrecognised;
    else if (EqualsNoCase(m_scheme, "http") || EqualsNoCase(m_scheme, "https"))
        m_class = EUrlClass::Http;
    else if (EqualsNoCase(m_scheme, "file"))
        m_class = EUrlClass::File;
    else
        m_class = EUrlClass::Other;
}
