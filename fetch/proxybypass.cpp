#include "fetch/proxybypass.h"

#include "fetch/classicchars.h"

namespace {

bool SameLetter(char a, char b) {
    return ClassicChars::ToLower(static_cast<unsigned char>(a)) ==
           ClassicChars::ToLower(static_cast<unsigned char>(b));
}

// Glob match with '*' only. On a mismatch the last '*' swallows one more character, which is
// enough for a single wildcard kind and stays linear in practice.
bool MatchesWildcard(std::string_view text, std::string_view pattern) {
    std::size_t t = 0, p = 0;
    std::size_t starAt = std::string_view::npos, resumeAt = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = t;
        } else if (p < pattern.size() && SameLetter(pattern[p], text[t])) {
            ++p;
            ++t;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            t = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool MatchesEntry(std::string_view host, std::string_view entry) {
    if (entry.size() == 7 && MatchesWildcard(entry, "<local>"))
        return host.find('.') == std::string_view::npos;
    return MatchesWildcard(host, entry);
}

bool IsSeparator(char c) {
    return c == ';' || ClassicChars::IsSpace(static_cast<unsigned char>(c));
}

} // namespace

bool IsBypassedHost(std::string_view host, std::string_view bypassList) {
    if (host.empty())
        return false;
    std::size_t pos = 0;
    while (pos < bypassList.size()) {
        while (pos < bypassList.size() && IsSeparator(bypassList[pos]))
            ++pos;
        std::size_t end = pos;
        while (end < bypassList.size() && !IsSeparator(bypassList[end]))
            ++end;
        if (end > pos && MatchesEntry(host, bypassList.substr(pos, end - pos)))
            return true;
        pos = end;
    }
    return false;
}
