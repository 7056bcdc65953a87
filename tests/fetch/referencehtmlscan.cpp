// The plain scanner the fast one is checked against; see referencehtmlscan.h.
#include "tests/fetch/referencehtmlscan.h"

#include <cstring>

#include "fetch/classicchars.h"
#include "fetch/htmltoken.h"
#include "fetch/resolvelink.h"
#include "fetch/urlsplitter.h"

// The URL splitter and link resolver of the plain scanner.
namespace ReferenceUrl {

// Splits one URL into scheme, authority (user info, host, port), path, query and fragment the
// way RFC 3986 reads a URI reference. Nothing is decoded or normalised: every part is a copy of
// the bytes as written, so the splitter never refers back to its input. Never fails; text that
// is not a URL at all is a relative reference whose path is the whole text.
class CReferenceUrlSplitter {
public:
    explicit CReferenceUrlSplitter(std::string_view url);

    EUrlClass Class() const { return m_class; }

    // Without the ':'; as written; empty when the URL has no scheme.
    const std::string& Scheme() const { return m_scheme; }

    // True when "//" introduces an authority (it may still be empty, as in "file:///tmp/x").
    bool HasAuthority() const { return m_hasAuthority; }
    const std::string& Authority() const { return m_authority; } // "user@host:port" as written
    const std::string& Host() const { return m_host; } // without user info and port; "[v6]" kept
    const std::string& Port() const { return m_port; } // digits as written; empty when none

    // The object path, percent escapes kept; may be empty ("http://host" has none).
    const std::string& Path() const { return m_path; }

    bool HasQuery() const { return m_hasQuery; }
    const std::string& Query() const { return m_query; } // without the '?'
    bool HasFragment() const { return m_hasFragment; }
    const std::string& Fragment() const { return m_fragment; } // without the '#'

private:
    void SplitAuthority();
    void Classify();

    EUrlClass m_class = EUrlClass::Unrecognised;
    std::string m_scheme;
    bool m_hasAuthority = false;
    std::string m_authority;
    std::string m_host;
    std::string m_port;
    std::string m_path;
    bool m_hasQuery = false;
    std::string m_query;
    bool m_hasFragment = false;
    std::string m_fragment;
};

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

CReferenceUrlSplitter::CReferenceUrlSplitter(std::string_view url) {
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

void CReferenceUrlSplitter::SplitAuthority() {
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

void CReferenceUrlSplitter::Classify() {
    if (m_scheme.empty())
        m_class = EUrlClass::Unrecognised;
    else if (EqualsNoCase(m_scheme, "http") || EqualsNoCase(m_scheme, "https"))
        m_class = EUrlClass::Http;
    else if (EqualsNoCase(m_scheme, "file"))
        m_class = EUrlClass::File;
    else
        m_class = EUrlClass::Other;
}

namespace {

// RFC 3986 section 5.2.4, done in one pass over the segments.
std::string RemoveDotSegments(std::string_view path) {
    std::string output;
    output.reserve(path.size());
    auto dropLastSegment = [&output] {
        const size_t slash = output.rfind('/');
        output.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!path.empty()) {
        if (path.starts_with("../")) {
            path.remove_prefix(3);
        } else if (path.starts_with("./")) {
            path.remove_prefix(2);
        } else if (path.starts_with("/./")) {
            path.remove_prefix(2);
        } else if (path == "/.") {
            path = "/";
        } else if (path.starts_with("/../")) {
            path.remove_prefix(3);
            dropLastSegment();
        } else if (path == "/..") {
            path = "/";
            dropLastSegment();
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            const size_t next = path.find('/', 1);
            const size_t length = next == std::string_view::npos ? path.size() : next;
            output.append(path.substr(0, length));
            path.remove_prefix(length);
        }
    }
    return output;
}

// RFC 3986 section 5.2.3.
std::string MergePaths(const CReferenceUrlSplitter& base, const std::string& referencePath) {
    if (base.HasAuthority() && base.Path().empty())
        return "/" + referencePath;
    const size_t slash = base.Path().rfind('/');
    if (slash == std::string::npos)
        return referencePath;
    return base.Path().substr(0, slash + 1) + referencePath;
}

// RFC 3986 section 5.2.2 for a reference without a scheme, recomposed as section 5.3 says.
std::string ResolveAgainstHttpPage(const CReferenceUrlSplitter& base,
                                   const CReferenceUrlSplitter& reference) {
    const CReferenceUrlSplitter* authoritySource = &base;
    std::string path;
    const std::string* query = nullptr;
    if (reference.HasAuthority()) {
        authoritySource = &reference;
        path = RemoveDotSegments(reference.Path());
        query = reference.HasQuery() ? &reference.Query() : nullptr;
    } else if (reference.Path().empty()) {
        path = base.Path();
        if (reference.HasQuery())
            query = &reference.Query();
        else if (base.HasQuery())
            query = &base.Query();
    } else {
        if (reference.Path().front() == '/')
            path = RemoveDotSegments(reference.Path());
        else
            path = RemoveDotSegments(MergePaths(base, reference.Path()));
        query = reference.HasQuery() ? &reference.Query() : nullptr;
    }

    std::string result = base.Scheme();
    result += ':';
    if (authoritySource->HasAuthority()) {
        result += "//";
        result += authoritySource->Authority();
    }
    result += path;
    if (query != nullptr) {
        result += '?';
        result += *query;
    }
    if (reference.HasFragment()) {
        result += '#';
        result += reference.Fragment();
    }
    return result;
}

std::string LocalDirectoryOf(std::string_view pageUrl) {
    const size_t separator = pageUrl.find_last_of("/\\");
    if (separator == std::string_view::npos)
        return {};
    return std::string(pageUrl.substr(0, separator + 1));
}

bool IsLocal(EUrlClass urlClass) {
    return urlClass == EUrlClass::File || urlClass == EUrlClass::Unrecognised;
}

std::string Capped(std::string url) {
    if (url.size() > kMaxResolvedLinkLength)
        url.resize(kMaxResolvedLinkLength);
    return url;
}

} // namespace

std::string ResolveLink(std::string_view pageUrl, std::string_view target) {
    const CReferenceUrlSplitter reference(target);
    if (reference.Class() == EUrlClass::Http)
        return Capped(std::string(target));
    const CReferenceUrlSplitter page(pageUrl);
    if (page.Class() == EUrlClass::Http && reference.Class() == EUrlClass::Unrecognised)
        return Capped(ResolveAgainstHttpPage(page, reference));
    if (!IsLocal(page.Class()) || !IsLocal(reference.Class()))
        return Capped(std::string(target));
    std::string result = LocalDirectoryOf(pageUrl);
    result += target;
    return Capped(std::move(result));
}

} // namespace ReferenceUrl

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
class CReferenceHtmlScan::CTokenizer {
public:
    CTokenizer(CReferenceHtmlScan& scan, std::string_view page) : m_scan(scan), m_page(page) {
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
                m_scan.m_tokens.push_back(SToken{CHtmlToken::TK_TEXT, m_run});
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
            m_scan.m_tokens.push_back(SToken{CHtmlToken::TK_LINK, std::string(target)});
        } else if (m_tag == "/a" || m_tag == "/A") {
            m_scan.m_tokens.push_back(SToken{CHtmlToken::TK_ENDLINK, std::string()});
        } else {
            m_scan.m_tokens.push_back(SToken{CHtmlToken::TK_TAG, m_tag});
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

    CReferenceHtmlScan& m_scan;
    std::string_view m_page;
    bool m_inTag = false;
    std::string m_tag;
    std::string m_run;
    bool m_runHasContent = false;
    std::string m_word;
    std::string_view m_skipUntil; // closing tag that ends a script or style; empty otherwise
};

CReferenceHtmlScan CReferenceHtmlScan::Scan(std::string_view page) {
    const size_t nul = page.find('\0');
    if (nul != std::string_view::npos)
        page = page.substr(0, nul);
    CReferenceHtmlScan scan;
    CTokenizer(scan, page).Run();
    return scan;
}

const std::string* CReferenceHtmlScan::GetTitle() {
    if (!m_titleAsked) {
        m_titleAsked = true;
        std::string title;
        bool inTitle = false;
        for (const SToken& token : m_tokens) {
            if (token.kind == CHtmlToken::TK_TAG) {
                if (token.value == "title" || token.value == "TITLE") {
                    inTitle = true;
                } else if (token.value == "/title" || token.value == "/TITLE") {
                    m_title = std::move(title);
                    break;
                }
            } else if (token.kind == CHtmlToken::TK_TEXT && inTitle &&
                       title.size() + token.value.size() <= kMaxText) {
                title += token.value;
            }
        }
    }
    return m_title ? &*m_title : nullptr;
}

void CReferenceHtmlScan::ExtractKeywords() {
    for (const SToken& token : m_tokens) {
        if (token.kind != CHtmlToken::TK_TAG)
            continue;
        const std::string_view text = token.value;
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

CLinkList CReferenceHtmlScan::GetLinks(std::string_view pageUrl) const {
    CLinkList links;
    std::optional<std::string> openTarget;
    std::string linkText;
    bool collecting = false;
    for (const SToken& token : m_tokens) {
        switch (token.kind) {
        case CHtmlToken::TK_LINK:
            openTarget = ReferenceUrl::ResolveLink(pageUrl, token.value);
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
                linkText.append(token.value, 0, kMaxText - linkText.size());
            break;
        default:
            break;
        }
    }
    return links;
}

std::string CReferenceHtmlScan::ResolveLink(std::string_view pageUrl, std::string_view target) {
    return ReferenceUrl::ResolveLink(pageUrl, target);
}
