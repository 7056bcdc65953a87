#include "views/siteorder.h"

#include "model/site.h"
#include "shell/settings.h"

#include <algorithm>
#include <functional>

namespace {

unsigned char Folded(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view WithoutLeadingBlanks(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start]))
        ++start;
    return text.substr(start);
}

int CompareTitles(const CSite& a, const CSite& b) {
    return CompareWithoutCase(WithoutLeadingBlanks(a.m_title), WithoutLeadingBlanks(b.m_title));
}

int CompareUrls(const CSite& a, const CSite& b) {
    const int folded = CompareWithoutCase(a.m_url, b.m_url);
    return folded != 0 ? folded : a.m_url.compare(b.m_url);
}

// Eight bytes of the text from `start` on, folded when asked, as a number that orders as the
// texts do (a shorter text is padded with zero bytes).
std::uint64_t Prefix(std::string_view text, std::size_t start, bool fold) {
    std::uint64_t key = 0;
    for (std::size_t i = start; i < start + 8; ++i) {
        const unsigned char byte =
            i < text.size() ? (fold ? Folded(text[i]) : static_cast<unsigned char>(text[i])) : 0;
        key = (key << 8) | byte;
    }
    return key;
}

} // namespace

int CompareWithoutCase(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char ca = Folded(a[i]);
        const unsigned char cb = Folded(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

CSiteOrder::CSiteOrder(std::int32_t sortType) : m_sortType(sortType) {}

bool CSiteOrder::operator()(const CSite* a, const CSite* b) const {
    int order = 0;
    switch (m_sortType) {
    case kSortByUrl:
        order = a->m_url.compare(b->m_url);
        if (order == 0)
            order = CompareTitles(*a, *b);
        break;
    case kSortByDate:
        if (a->m_time != b->m_time)
            return a->m_time > b->m_time;
        [[fallthrough]];
    default:
        order = CompareTitles(*a, *b);
        if (order == 0)
            order = CompareUrls(*a, *b);
        break;
    }
    return order != 0 ? order < 0 : std::less<const CSite*>()(a, b);
}

CSiteOrder::CKey CSiteOrder::KeyOf(const CSite& site) const {
    const std::string_view title = WithoutLeadingBlanks(site.m_title);
    switch (m_sortType) {
    case kSortByUrl:
        return {Prefix(site.m_url, 0, false), Prefix(site.m_url, 8, false)};
    case kSortByDate:
        // Newest first: the time turned around, then the title.
        return {0xFFFFFFFFull - (static_cast<std::uint32_t>(site.m_time) ^ 0x80000000u),
                Prefix(title, 0, true)};
    default:
        return {Prefix(title, 0, true), Prefix(title, 8, true)};
    }
}
