#include "fetch/htmlscan.h"

#include <cstring>

#include "fetch/classicchars.h"
#include "fetch/resolvelink.h"

namespace {

// Byte classes of the tokenizer, one table lookup per byte.
enum : unsigned char {
    kWordByte = 1, // neither white space, punctuation nor a digit (0x80-0xFF included)
    kTextStop = 2, // needs its own rule outside a tag: '<' '>' '&' line feed
    kTagStop = 4   // needs its own rule inside a tag: '<' '>' '"'
};

struct SByteTable {
    unsigned char classes[256] = {};
    SByteTable() {
        for (int b = 0; b < 256; ++b) {
            const auto c = static_cast<unsigned char>(b);
            if (!ClassicChars::IsSpace(c) && !ClassicChars::IsPunct(c) && !ClassicChars::IsDigit(c))
                classes[b] |= kWordByte;
        }
        for (unsigned char c : {'<', '>', '&', '\n'})
            classes[c] |= kTextStop;
        for (unsigned char c : {'<', '>', '"'})
            classes[c] |= kTagStop;
    }
    bool Is(char c, unsigned char cls) const {
        return (classes[static_cast<unsigned char>(c)] & cls) != 0;
    }
};

const SByteTable kBytes;

bool EqualsNoCase(std::string_view text, std::string_view lowerCase) {
    if (text.size() != lowerCase.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (ClassicChars::ToLower(static_cast<unsigned char>(text[i])) != lowerCase[i])
            return false;
    }
    return true;
}

size_t SkipSpaces(std::string_view text, size_t i) {
    while (i < text.size() && ClassicChars::IsSpace(static_cast<unsigned char>(text[i])))
        ++i;
    return i;
}

// Reads the tag as sscanf(tag, "<letter> <href>%s", target) would: the letters exactly as
// given, the blank as any run of white space (also none), the target as the next run of
// non-white bytes after the equals sign. Returns false when the formatted scan would not
// convert the target.
bool MatchLinkTag(std::string_view tag, char letter, std::string_view href,
                  std::string_view& target) {
    if (tag.empty() || tag[0] != letter)
        return false;
    size_t i = SkipSpaces(tag, 1);
    if (tag.substr(i, href.size()) != href)
        return false;
    i = SkipSpaces(tag, i + href.size());
    const size_t start = i;
    while (i < tag.size() && !ClassicChars::IsSpace(static_cast<unsigned char>(tag[i])))
        ++i;
    if (i == start)
        return false;
    target = tag.substr(start, i - start);
    return true;
}

std::string_view TagName(std::string_view tag) {
    size_t i = 0;
    while (i < tag.size() && !ClassicChars::IsSpace(static_cast<unsigned char>(tag[i])))
        ++i;
    return tag.substr(0, i);
}

// Appends as much of the bytes as keeps text within limit bytes.
void AppendCapped(std::string& text, std::string_view bytes, size_t limit) {
    if (text.size() < limit)
        text.append(bytes.substr(0, limit - text.size()));
}

} // namespace

// The state of one pass over the page: the open tag, the current text run and the current
// word. Every product goes straight into the scan. Bytes without a rule of their own are
// handled a stretch at a time.
class CHtmlScan::CTokenizer {
public:
    CTokenizer(CHtmlScan& scan, std::string_view page) : m_scan(scan), m_page(page) {
        m_tag.reserve(256);
        m_run.reserve(1024);
        m_word.reserve(64);
    }

    void Run() {
        const size_t end = m_page.size();
        size_t i = 0;
        while (i < end) {
            if (!m_skipUntil.empty()) {
                i = FindClosingTag(i);
                m_skipUntil = {};
                continue;
            }
            i = m_inTag ? TakeTagStretch(i) : TakeTextStretch(i);
            if (i >= end)
                break;
            const char c = m_page[i];
            if (c == '<') {
                OnLessThan();
            } else if (c == '>') {
                OnGreaterThan();
            } else if (c == '\n') {
                // A line feed counts as a blank in the run but neither is content nor ends a word.
                AppendCapped(m_run, " ", kMaxRun);
            } else if (c == '&') {
                if (i + 1 < end && m_page[i + 1] != ' ') {
                    i = SkipEntity(i);
                    continue;
                }
                OnPlainText(m_page.substr(i, 1));
            }
            // A double quote inside a tag is dropped.
            ++i;
        }
        // A pending run, word or tag at the end of the page is dropped.
    }

private:
    size_t StretchEnd(size_t from, unsigned char stop) const {
        while (from < m_page.size() && !kBytes.Is(m_page[from], stop))
            ++from;
        return from;
    }

    size_t TakeTagStretch(size_t from) {
        const size_t to = StretchEnd(from, kTagStop);
        AppendCapped(m_tag, m_page.substr(from, to - from), kMaxText);
        return to;
    }

    size_t TakeTextStretch(size_t from) {
        const size_t to = StretchEnd(from, kTextStop);
        OnPlainText(m_page.substr(from, to - from));
        return to;
    }

    // Text bytes without a rule of their own: content of the run (as far as it has room) and
    // material of words, which end at white space, punctuation and digits.
    void OnPlainText(std::string_view text) {
        if (text.empty())
            return;
        if (m_run.size() < kMaxRun) {
            AppendCapped(m_run, text, kMaxRun);
            m_runHasContent = true;
        }
        size_t i = 0;
        while (i < text.size()) {
            const size_t start = i;
            while (i < text.size() && kBytes.Is(text[i], kWordByte))
                ++i;
            AppendCapped(m_word, text.substr(start, i - start), kMaxText);
            if (i < text.size()) {
                EndWord();
                ++i;
            }
        }
    }

    void OnLessThan() {
        EndWord();
        if (!m_run.empty()) {
            if (m_runHasContent)
                m_scan.m_tokens.emplace_back(CHtmlToken::TK_TEXT, m_run);
            m_run.clear();
            m_runHasContent = false;
        }
        // The tag content is kept, so a second '<' inside a tag is simply dropped.
        m_inTag = true;
    }

    void OnGreaterThan() {
        if (m_inTag) {
            ClassifyTag();
            m_tag.clear();
        }
        m_inTag = false;
    }

    void ClassifyTag() {
        std::string_view target;
        if (MatchLinkTag(m_tag, 'a', "href=", target) ||
            MatchLinkTag(m_tag, 'A', "HREF=", target)) {
            m_scan.m_tokens.emplace_back(CHtmlToken::TK_LINK, std::string(target));
        } else if (m_tag == "/a" || m_tag == "/A") {
            m_scan.m_tokens.emplace_back(CHtmlToken::TK_ENDLINK, std::string());
        } else {
            m_scan.m_tokens.emplace_back(CHtmlToken::TK_TAG, m_tag);
            // Script code and style sheets are not page text.
            const std::string_view name = TagName(m_tag);
            if (EqualsNoCase(name, "script"))
                m_skipUntil = "</script";
            else if (EqualsNoCase(name, "style"))
                m_skipUntil = "</style";
        }
    }

    // Position of the next m_skipUntil (any case), or the end of the page.
    size_t FindClosingTag(size_t from) const {
        const size_t end = m_page.size();
        while (from < end) {
            const void* found = std::memchr(m_page.data() + from, '<', end - from);
            if (found == nullptr)
                return end;
            from = static_cast<size_t>(static_cast<const char*>(found) - m_page.data());
            if (EqualsNoCase(m_page.substr(from, m_skipUntil.size()), m_skipUntil))
                return from;
            ++from;
        }
        return end;
    }

    // Skips an entity from its '&' up to its ';', leaving a blank in the run. Returns the
    // position of the ';' (read next as ordinary text) or the end of the page.
    size_t SkipEntity(size_t ampersand) {
        AppendCapped(m_run, " ", kMaxRun);
        const size_t semicolon = m_page.find(';', ampersand + 1);
        return semicolon == std::string_view::npos ? m_page.size() : semicolon;
    }

    void EndWord() {
        if (m_word.empty())
            return;
        if (m_word.size() >= 3)
            m_scan.m_words.push_back(m_word);
        m_word.clear();
    }

    CHtmlScan& m_scan;
    std::string_view m_page;
    bool m_inTag = false;
    std::string m_tag;
    std::string m_run;
    bool m_runHasContent = false;
    std::string m_word;
    std::string_view m_skipUntil; // closing tag that ends a script or style; empty otherwise
};

CHtmlScan CHtmlScan::Scan(std::string_view page) {
    const size_t nul = page.find('\0');
    if (nul != std::string_view::npos)
        page = page.substr(0, nul);
    CHtmlScan scan;
    CTokenizer(scan, page).Run();
    return scan;
}

const std::string* CHtmlScan::GetTitle() {
    if (!m_titleAsked) {
        m_titleAsked = true;
        std::string title;
        bool inTitle = false;
        for (const CHtmlToken& token : m_tokens) {
            if (token.Kind() == CHtmlToken::TK_TAG) {
                if (token.Text() == "title" || token.Text() == "TITLE") {
                    inTitle = true;
                } else if (token.Text() == "/title" || token.Text() == "/TITLE") {
                    m_title = std::move(title);
                    break;
                }
            } else if (token.Kind() == CHtmlToken::TK_TEXT && inTitle &&
                       title.size() + token.Text().size() <= kMaxText) {
                title += token.Text();
            }
        }
    }
    return m_title ? &*m_title : nullptr;
}

void CHtmlScan::ExtractKeywords() {
    for (const CHtmlToken& token : m_tokens) {
        if (token.Kind() != CHtmlToken::TK_TAG)
            continue;
        const std::string_view text = token.Text();
        const std::string_view start = text.substr(0, 4);
        if (start != "meta" && start != "META")
            continue;
        if (text.find("Keywords") == std::string_view::npos &&
            text.find("KEYWORDS") == std::string_view::npos &&
            text.find("keywords") == std::string_view::npos)
            continue;
        size_t content = text.find("Content=");
        if (content == std::string_view::npos)
            content = text.find("CONTENT=");
        if (content == std::string_view::npos)
            continue;

        std::string keyword;
        for (size_t i = content + 8; i <= text.size(); ++i) {
            const unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
            if (ClassicChars::IsAlpha(c)) {
                keyword += ClassicChars::ToUpper(c);
            } else if (!keyword.empty()) {
                m_keywords.push_back(std::move(keyword));
                keyword.clear();
            }
        }
        return;
    }
}

CLinkList CHtmlScan::GetLinks(std::string_view pageUrl) const {
    CLinkList links;
    std::optional<std::string> openTarget;
    std::string linkText;
    bool collecting = false;
    for (const CHtmlToken& token : m_tokens) {
        switch (token.Kind()) {
        case CHtmlToken::TK_LINK:
            openTarget = ResolveLink(pageUrl, token.Target());
            collecting = true;
            break;
        case CHtmlToken::TK_ENDLINK:
            if (openTarget) {
                links.Add(std::move(*openTarget), linkText.empty() ? " " : linkText);
                openTarget.reset();
            }
            linkText.clear();
            collecting = false;
            break;
        case CHtmlToken::TK_TEXT:
            if (collecting && linkText.size() < kMaxText)
                linkText.append(token.Text(), 0, kMaxText - linkText.size());
            break;
        default:
            break;
        }
    }
    return links;
}
