#include "fetch/htmlscan.h"

#include <cstring>

#include "fetch/classicchars.h"
#include "fetch/resolvelink.h"

namespace {

bool IsWordByte(unsigned char c) {
    return !ClassicChars::IsSpace(c) && !ClassicChars::IsPunct(c) && !ClassicChars::IsDigit(c);
}

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

} // namespace

// The state of one pass over the page: the open tag, the current text run and the current
// word. Every product goes straight into the scan.
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
            const char c = m_page[i];
            if (c == '<') {
                OnLessThan();
            } else if (c == '>') {
                OnGreaterThan();
            } else if (m_inTag) {
                if (c != '"' && m_tag.size() < kMaxText)
                    m_tag += c;
            } else if (c == '&' && i + 1 < end && m_page[i + 1] != ' ') {
                i = SkipEntity(i);
                continue;
            } else {
                OnTextByte(c);
            }
            ++i;
        }
        // A pending run, word or tag at the end of the page is dropped.
    }

private:
    void OnLessThan() {
        EndWord();
        if (!m_run.empty()) {
            if (m_runHasContent)
                m_scan.m_tokens.emplace_back(CHtmlToken::TK_TEXT, m_run, std::string());
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
            m_scan.m_tokens.emplace_back(CHtmlToken::TK_LINK, std::string(), std::string(target));
        } else if (m_tag == "/a" || m_tag == "/A") {
            m_scan.m_tokens.emplace_back(CHtmlToken::TK_ENDLINK, std::string(), std::string());
        } else {
            m_scan.m_tokens.emplace_back(CHtmlToken::TK_TAG, m_tag, std::string());
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
        if (m_run.size() < kMaxRun)
            m_run += ' ';
        const size_t semicolon = m_page.find(';', ampersand + 1);
        return semicolon == std::string_view::npos ? m_page.size() : semicolon;
    }

    void OnTextByte(char c) {
        const bool runHasRoom = m_run.size() < kMaxRun;
        if (c == '\n') {
            // A line feed counts as a blank in the run but neither is content nor ends a word.
            if (runHasRoom)
                m_run += ' ';
            return;
        }
        // Bytes past the run's limit still feed the current word.
        if (runHasRoom) {
            m_run += c;
            m_runHasContent = true;
        }
        if (IsWordByte(static_cast<unsigned char>(c))) {
            if (m_word.size() < kMaxText)
                m_word += c;
        } else {
            EndWord();
        }
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
            if (token.m_kind == CHtmlToken::TK_TAG) {
                if (token.m_text == "title" || token.m_text == "TITLE") {
                    inTitle = true;
                } else if (token.m_text == "/title" || token.m_text == "/TITLE") {
                    m_title = std::move(title);
                    break;
                }
            } else if (token.m_kind == CHtmlToken::TK_TEXT && inTitle &&
                       title.size() + token.m_text.size() <= kMaxText) {
                title += token.m_text;
            }
        }
    }
    return m_title ? &*m_title : nullptr;
}

void CHtmlScan::ExtractKeywords() {
    for (const CHtmlToken& token : m_tokens) {
        if (token.m_kind != CHtmlToken::TK_TAG)
            continue;
        const std::string_view text = token.m_text;
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
        switch (token.m_kind) {
        case CHtmlToken::TK_LINK:
            openTarget = ResolveLink(pageUrl, token.m_target);
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
                linkText.append(token.m_text, 0, kMaxText - linkText.size());
            break;
        default:
            break;
        }
    }
    return links;
}
