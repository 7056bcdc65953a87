#include "fetch/htmlscan.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(WAYFOLD_PLAIN_BLOCKS)
#include <emmintrin.h>
#endif

#include "fetch/classicchars.h"
#include "fetch/resolvelink.h"
#include "fetch/urlsplitter.h"

namespace {

// The tokenizer looks at 16 bytes at a time and may read up to two blocks past the byte it is
// at; the last bytes of the page are read from a padded copy. Every area it writes to has room
// for one block past the last byte that counts.
constexpr size_t kBlock = 16;
constexpr size_t kReadAhead = 2 * kBlock;
constexpr size_t kSlack = 4 * kBlock;
// Token texts and words go to chunks of this size; a run, tag or word starts only where the
// longest one fits.
constexpr size_t kChunk = 60 * 1024;

// The bytes below bit n.
uint32_t Below(uint32_t n) {
    return (1u << n) - 1u;
}

// WAYFOLD_PLAIN_BLOCKS builds the portable block functions where SSE2 is there too, for their test.
#if defined(__SSE2__) && !defined(WAYFOLD_PLAIN_BLOCKS)
using Block = __m128i;

Block LoadBlock(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
void StoreBlock(char* p, Block block) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), block);
}
__m128i Equal(Block block, char c) {
    return _mm_cmpeq_epi8(block, _mm_set1_epi8(c));
}
uint32_t Mask(__m128i bytes) {
    return static_cast<uint32_t>(_mm_movemask_epi8(bytes));
}
// Bytes from low to high (both below 0x80); bytes 0x80-0xFF compare as negative and fall in none.
__m128i InRange(Block block, char low, char high) {
    return _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8(static_cast<char>(low - 1))),
                         _mm_cmplt_epi8(block, _mm_set1_epi8(static_cast<char>(high + 1))));
}

// The bytes that need their own rule outside a tag: '<' '>' '&' and NUL, which ends the page.
uint32_t TextStops(Block block) {
    const __m128i angles = _mm_or_si128(Equal(block, '<'), Equal(block, '>'));
    return Mask(_mm_or_si128(angles, _mm_or_si128(Equal(block, '&'), Equal(block, '\0'))));
}
uint32_t LineFeeds(Block block) {
    return Mask(Equal(block, '\n'));
}
Block LineFeedsAsBlanks(Block block) {
    return _mm_xor_si128(block, _mm_and_si128(Equal(block, '\n'), _mm_set1_epi8('\n' ^ ' ')));
}
// White space of the classic locale: 0x09-0x0D and the blank.
uint32_t Spaces(Block block) {
    return Mask(_mm_or_si128(InRange(block, 0x09, 0x0D), Equal(block, ' ')));
}
// The bytes that end a search: the one looked for and NUL.
uint32_t Found(Block block, char c) {
    return Mask(_mm_or_si128(Equal(block, c), Equal(block, '\0')));
}
// The bytes that end a tag: '>' and NUL, which ends the page.
uint32_t TagEnds(Block block) {
    return Mask(_mm_or_si128(Equal(block, '>'), Equal(block, '\0')));
}
// The bytes dropped from a tag: '"' and a second '<'.
uint32_t TagDrops(Block block) {
    return Mask(_mm_or_si128(Equal(block, '"'), Equal(block, '<')));
}
// Bytes that are neither white space, punctuation nor digits in the classic locale: letters,
// control bytes but the white space 0x09-0x0D, DEL, and 0x80-0xFF.
uint32_t WordBytes(Block block) {
    // A letter folded to lower case and moved by 0x80 - 'a' lands in 0x80-0x99, the lowest
    // signed bytes; nothing else does.
    const __m128i folded = _mm_add_epi8(_mm_or_si128(block, _mm_set1_epi8(0x20)),
                                        _mm_set1_epi8(static_cast<char>(0x80 - 'a')));
    const __m128i letters = _mm_cmplt_epi8(folded, _mm_set1_epi8(static_cast<char>(0x80 + 26)));
    // Below 0x20 as signed bytes: the control bytes and 0x80-0xFF.
    const __m128i controlsAndHigh = _mm_cmplt_epi8(block, _mm_set1_epi8(0x20));
    const __m128i others = _mm_andnot_si128(InRange(block, 0x09, 0x0D), controlsAndHigh);
    return Mask(_mm_or_si128(_mm_or_si128(letters, Equal(block, 0x7F)), others));
}
#else
struct Block {
    unsigned char bytes[kBlock];
};

Block LoadBlock(const char* p) {
    Block block;
    std::memcpy(block.bytes, p, kBlock);
    return block;
}
void StoreBlock(char* p, const Block& block) {
    std::memcpy(p, block.bytes, kBlock);
}
template <typename Test> uint32_t MaskOf(const Block& block, Test test) {
    uint32_t mask = 0;
    for (size_t i = 0; i < kBlock; ++i)
        mask |= test(block.bytes[i]) ? 1u << i : 0u;
    return mask;
}
uint32_t TextStops(const Block& block) {
    return MaskOf(block,
                  [](unsigned char c) { return c == '<' || c == '>' || c == '&' || c == '\0'; });
}
uint32_t LineFeeds(const Block& block) {
    return MaskOf(block, [](unsigned char c) { return c == '\n'; });
}
Block LineFeedsAsBlanks(Block block) {
    for (unsigned char& c : block.bytes)
        c = c == '\n' ? ' ' : c;
    return block;
}
uint32_t Spaces(const Block& block) {
    return MaskOf(block, [](unsigned char c) { return ClassicChars::IsSpace(c); });
}
uint32_t Found(const Block& block, char wanted) {
    return MaskOf(block, [wanted](unsigned char c) { return c == wanted || c == '\0'; });
}
uint32_t TagEnds(const Block& block) {
    return MaskOf(block, [](unsigned char c) { return c == '>' || c == '\0'; });
}
uint32_t TagDrops(const Block& block) {
    return MaskOf(block, [](unsigned char c) { return c == '"' || c == '<'; });
}
uint32_t WordBytes(const Block& block) {
    return MaskOf(block, [](unsigned char c) {
        return !ClassicChars::IsSpace(c) && !ClassicChars::IsPunct(c) && !ClassicChars::IsDigit(c);
    });
}
#endif

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
// convert the target. The tag must be followed by a block of readable bytes.
bool MatchLinkTag(std::string_view tag, char letter, std::string_view href,
                  std::string_view& target) {
    if (tag.empty() || tag[0] != letter)
        return false;
    size_t i = SkipSpaces(tag, 1);
    if (tag.substr(i, href.size()) != href)
        return false;
    i = SkipSpaces(tag, i + href.size());
    const size_t start = i;
    while (i < tag.size()) {
        const uint32_t spaces = Spaces(LoadBlock(tag.data() + i));
        if (spaces != 0) {
            i += static_cast<size_t>(std::countr_zero(spaces));
            break;
        }
        i += kBlock;
    }
    i = std::min(i, tag.size());
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

// One pass over the page. The products go straight into the scan: the text of the open run or
// tag is written at the top of the text chunk and becomes a token's text in place; the open
// word is written at the top of the word chunk and becomes a word in place. Bytes without a
// rule of their own are handled 16 at a time.
class CHtmlScan::CTokenizer {
public:
    // The page ends at its first NUL byte, if it has one.
    CTokenizer(CHtmlScan& scan, std::string_view page)
        : m_scan(scan), m_end(page.data() + page.size()),
          m_limit(page.size() > kReadAhead ? Address(m_end - kReadAhead) : 0) {
        NewTextChunk();
        NewWordChunk();
    }

    void Run(const char* p) {
        for (;;) {
            p = TakeText(p);
            if (p == nullptr)
                return;
            p = TakeTag(p);
            if (p == nullptr)
                return;
        }
        // A pending run, word or tag at the end of the page is dropped.
    }

private:
    static uintptr_t Address(const char* p) { return reinterpret_cast<uintptr_t>(p); }

    // From m_limit on the page is read from a copy closed by NULs, so blocks read past its end
    // stop there.
    const char* Readable(const char* p) {
        if (Address(p) >= m_limit)
            return ToTail(p);
        return p;
    }

    const char* ToTail(const char* p) {
        const size_t length = static_cast<size_t>(m_end - p);
        std::memset(m_tail, 0, sizeof(m_tail));
        if (length > 0)
            std::memcpy(m_tail, p, length);
        m_end = m_tail + length;
        m_limit = UINTPTR_MAX; // the copy is read to its end
        return m_tail;
    }

    void NewTextChunk() {
        m_scan.m_chunks.push_back(std::make_unique_for_overwrite<char[]>(kChunk));
        m_top = m_scan.m_chunks.back().get();
        m_textEnd = m_top + kChunk;
    }

    void NewWordChunk() {
        m_scan.m_chunks.push_back(std::make_unique_for_overwrite<char[]>(kChunk));
        m_wordTop = m_scan.m_chunks.back().get();
        m_wordEnd = m_wordTop + kChunk;
    }

    // Called whenever a new run or tag is about to start at m_top.
    void KeepTextRoom() {
        if (static_cast<size_t>(m_textEnd - m_top) < kMaxRun + kSlack)
            NewTextChunk();
    }

    // Called whenever a new word is about to start at m_wordTop.
    void KeepWordRoom() {
        if (static_cast<size_t>(m_wordEnd - m_wordTop) < kMaxText + kSlack)
            NewWordChunk();
    }

    // Outside a tag from p on. Returns the position just after the '<' that opens the next tag,
    // or nullptr at the end of the page.
    const char* TakeText(const char* p) {
        for (;;) {
            p = Readable(p);
            const Block block = LoadBlock(p);
            const uint32_t textStops = TextStops(block);
            // With a stop first, as between two tags, there are no plain bytes to look at.
            if ((textStops & 1u) == 0) {
                const uint32_t wordBytes = WordBytes(block);
                // A line feed is a blank in the run that neither is content nor ends a word.
                // Right after a non-word byte it is read with the block as one; right after a
                // word byte it joins two words and gets its own rule.
                const uint32_t lineFeeds = LineFeeds(block);
                const uint32_t stops =
                    textStops | (lineFeeds & ((wordBytes << 1) | (m_wordLength > 0 ? 1u : 0u)));
                const uint32_t plain = stops != 0 ? static_cast<uint32_t>(std::countr_zero(stops))
                                                  : static_cast<uint32_t>(kBlock);
                if (plain != 0)
                    OnPlainText(p, block, wordBytes, lineFeeds, plain);
                p += plain;
                if (plain == kBlock)
                    continue;
            }
            switch (*p) {
            case '<':
                OnLessThan();
                return p + 1;
            case '\n':
                // A line feed counts as a blank in the run but neither is content nor ends a word.
                AppendBlankToRun();
                ++p;
                break;
            case '&':
                if (p[1] != ' ' && p[1] != '\0') {
                    p = SkipEntity(p);
                    if (p == nullptr)
                        return nullptr;
                } else {
                    const Block ampersand = LoadBlock(p);
                    OnPlainText(p, ampersand, WordBytes(ampersand), 0, 1);
                    ++p;
                }
                break;
            case '>':
                // Outside a tag a '>' is dropped.
                ++p;
                break;
            default:
                return nullptr; // the NUL that ends the page
            }
        }
    }

    // Inside a tag from p on. Returns the position after the tag's '>' (or the end of the skipped
    // script or style), or nullptr at the end of the page.
    const char* TakeTag(const char* p) {
        for (;;) {
            p = Readable(p);
            const Block block = LoadBlock(p);
            const uint32_t ends = TagEnds(block);
            const uint32_t length = ends != 0 ? static_cast<uint32_t>(std::countr_zero(ends))
                                              : static_cast<uint32_t>(kBlock);
            // Double quotes are dropped, and so is a second '<': the tag goes on.
            AppendToTag(p, block, TagDrops(block) & Below(length), length);
            p += length;
            if (length == kBlock)
                continue;
            if (*p != '>')
                return nullptr; // the NUL that ends the page
            const bool skip = ClassifyTag();
            m_tagLength = 0;
            ++p;
            return skip ? FindClosingTag(p) : p;
        }
    }

    // The first `count` bytes of the block at p but the dropped ones.
    void AppendToTag(const char* p, Block block, uint32_t dropped, uint32_t count) {
        if (m_tagLength >= kMaxText)
            return;
        if (dropped == 0) {
            StoreBlock(m_top + m_tagLength, block);
            m_tagLength = std::min<size_t>(m_tagLength + count, kMaxText);
            return;
        }
        uint32_t from = 0;
        for (;;) {
            const uint32_t to =
                dropped != 0 ? static_cast<uint32_t>(std::countr_zero(dropped)) : count;
            if (to > from && m_tagLength < kMaxText) {
                StoreBlock(m_top + m_tagLength, LoadBlock(p + from));
                m_tagLength = std::min<size_t>(m_tagLength + (to - from), kMaxText);
            }
            if (dropped == 0)
                return;
            from = to + 1;
            dropped &= dropped - 1;
        }
    }

    // The first `count` bytes of the block at p, none of which has a rule of its own apart from
    // line feeds that follow no word byte: content of the run (as far as it has room) and
    // material of words, which end at white space, punctuation and digits.
    void OnPlainText(const char* p, Block block, uint32_t wordMask, uint32_t lineFeeds,
                     uint32_t count) {
        const uint32_t valid = Below(count);
        if (m_runLength < kMaxRun) {
            StoreBlock(m_top + m_runLength, lineFeeds != 0 ? LineFeedsAsBlanks(block) : block);
            m_runLength = std::min<size_t>(m_runLength + count, kMaxRun);
            if ((valid & ~lineFeeds) != 0)
                m_runHasContent = true;
        }
        uint32_t wordBytes = wordMask & valid;
        if (m_wordLength > 0) {
            const uint32_t others = ~wordBytes & valid;
            const uint32_t length =
                others != 0 ? static_cast<uint32_t>(std::countr_zero(others)) : count;
            AppendToWord(p, length);
            if (length == count)
                return;
            EndWord();
            wordBytes &= ~Below(length);
        }
        while (wordBytes != 0) {
            const uint32_t start = static_cast<uint32_t>(std::countr_zero(wordBytes));
            const uint32_t others = ~wordBytes & valid & ~Below(start);
            if (others == 0) {
                AppendToWord(p + start, count - start);
                return;
            }
            const uint32_t end = static_cast<uint32_t>(std::countr_zero(others));
            if (end - start >= 3) {
                StoreBlock(m_wordTop, LoadBlock(p + start));
                m_scan.m_words.emplace_back(m_wordTop, end - start);
                m_wordTop += end - start;
                KeepWordRoom();
            }
            wordBytes &= ~Below(end);
        }
    }

    void AppendToWord(const char* bytes, size_t count) {
        if (m_wordLength >= kMaxText)
            return;
        char* to = m_wordTop + m_wordLength;
        if (count <= kBlock)
            StoreBlock(to, LoadBlock(bytes));
        else
            std::memcpy(to, bytes, std::min(count, kMaxText - m_wordLength));
        m_wordLength = std::min(m_wordLength + count, kMaxText);
    }

    void EndWord() {
        if (m_wordLength >= 3) {
            m_scan.m_words.emplace_back(m_wordTop, m_wordLength);
            m_wordTop += m_wordLength;
            KeepWordRoom();
        }
        m_wordLength = 0;
    }

    void AppendBlankToRun() {
        if (m_runLength < kMaxRun)
            m_top[m_runLength++] = ' ';
    }

    void OnLessThan() {
        if (m_wordLength > 0)
            EndWord();
        if (m_runLength > 0) {
            if (m_runHasContent) {
                m_scan.m_tokens.emplace_back(CHtmlToken::TK_TEXT,
                                             std::string_view(m_top, m_runLength));
                m_top += m_runLength;
            }
            m_runLength = 0;
            m_runHasContent = false;
        }
        KeepTextRoom();
    }

    // Stores the tag's token; true when the tag opens a script or a style sheet, whose content
    // is then skipped: it is not page text.
    bool ClassifyTag() {
        const bool skip = StoreTag();
        KeepTextRoom();
        return skip;
    }

    bool StoreTag() {
        const std::string_view tag(m_top, m_tagLength);
        const char first = tag.empty() ? '\0' : tag[0];
        std::string_view target;
        if ((first == 'a' && MatchLinkTag(tag, 'a', "href=", target)) ||
            (first == 'A' && MatchLinkTag(tag, 'A', "HREF=", target))) {
            m_scan.m_linkTokens.push_back(m_scan.m_tokens.size());
            m_scan.m_tokens.emplace_back(CHtmlToken::TK_LINK, target);
            m_top += m_tagLength;
            return false;
        }
        if (first == '/' && (tag == "/a" || tag == "/A")) {
            m_scan.m_tokens.emplace_back(CHtmlToken::TK_ENDLINK, std::string_view());
            return false;
        }
        if ((first == 'm' || first == 'M') && (tag.starts_with("meta") || tag.starts_with("META")))
            m_scan.m_metaTags.push_back(m_scan.m_tokens.size());
        if ((first == 't' || first == 'T' || first == '/') &&
            (tag == "title" || tag == "TITLE" || tag == "/title" || tag == "/TITLE"))
            m_scan.m_titleTags.push_back(m_scan.m_tokens.size());
        m_scan.m_tokens.emplace_back(CHtmlToken::TK_TAG, tag);
        m_top += m_tagLength;
        if (first != 's' && first != 'S')
            return false;
        const std::string_view name = TagName(tag);
        if (EqualsNoCase(name, "script"))
            m_skipUntil = "</script";
        else if (EqualsNoCase(name, "style"))
            m_skipUntil = "</style";
        else
            return false;
        return true;
    }

    // Position of the next byte c from p on, or nullptr when the page ends first.
    const char* Find(const char* p, char c) {
        for (;;) {
            p = Readable(p);
            const uint32_t found = Found(LoadBlock(p), c);
            if (found != 0) {
                p += std::countr_zero(found);
                return *p == c ? p : nullptr;
            }
            p += kBlock;
        }
    }

    // Position of the next m_skipUntil (any case) from p on, or nullptr when the page has none.
    const char* FindClosingTag(const char* p) {
        for (;;) {
            p = Find(p, '<');
            if (p == nullptr)
                return nullptr;
            // The closing tag's bytes are readable: a block is, and a NUL ends the comparison.
            const std::string_view text(p, m_skipUntil.size());
            if (EqualsNoCase(text, m_skipUntil))
                return p;
            ++p;
        }
    }

    // Skips an entity from its '&' up to its ';', leaving a blank in the run. Returns the
    // position of the ';' (read next as ordinary text) or nullptr when the page has none.
    const char* SkipEntity(const char* ampersand) {
        AppendBlankToRun();
        return Find(ampersand + 1, ';');
    }

    CHtmlScan& m_scan;
    const char* m_end; // of the page, or of its padded copy once that is read
    uintptr_t m_limit; // blocks from here on are read from the padded copy; 0: all of them
    char m_tail[kReadAhead + kSlack];
    char* m_top = nullptr; // the open run or tag starts here; earlier texts belong to tokens
    char* m_textEnd = nullptr;
    size_t m_runLength = 0; // at most kMaxRun
    size_t m_tagLength = 0; // at most kMaxText
    bool m_runHasContent = false;
    char* m_wordTop = nullptr; // the open word starts here; earlier words are stored
    char* m_wordEnd = nullptr;
    size_t m_wordLength = 0;      // at most kMaxText; not 0 while a word is open
    std::string_view m_skipUntil; // closing tag that ends a script or style
};

CHtmlScan CHtmlScan::Scan(std::string_view page) {
    CHtmlScan scan;
    // Documentation pages have about one token per 18 bytes and one word per 32; room for twice
    // as many keeps dense pages from growing the arrays (a copy each time). Room that is never
    // written costs address space only.
    scan.m_tokens.reserve(page.size() / 8);
    scan.m_words.reserve(page.size() / 16);
    CTokenizer(scan, page).Run(page.data());
    return scan;
}

const std::string* CHtmlScan::GetTitle() {
    if (!m_titleAsked) {
        m_titleAsked = true;
        // The texts from the first opening title tag to the first closing one; no title without
        // a closing tag, an empty one without an opening tag before it.
        size_t opening = m_tokens.size();
        for (const size_t index : m_titleTags) {
            if (m_tokens[index].Text()[0] != '/') {
                opening = std::min(opening, index);
                continue;
            }
            std::string title;
            for (size_t i = opening + 1; i < index; ++i) {
                const CHtmlToken& token = m_tokens[i];
                if (token.Kind() == CHtmlToken::TK_TEXT &&
                    title.size() + token.Text().size() <= kMaxText)
                    title += token.Text();
            }
            m_title = std::move(title);
            break;
        }
    }
    return m_title ? &*m_title : nullptr;
}

void CHtmlScan::ExtractKeywords() {
    for (const size_t index : m_metaTags) {
        const std::string_view text = m_tokens[index].Text();
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
    // Only the tokens from a link up to the end of the link count: an end of link outside a link
    // and texts outside links change nothing. So each walk starts at a link token not yet
    // passed and ends at the next end of link, which closes the link with the text gathered.
    CLinkList links;
    links.Reserve(m_linkTokens.size());
    const SUrlParts pageParts = CUrlSplitter::Split(pageUrl);
    std::string target; // both reused from link to link
    std::string linkText;
    size_t walked = 0;
    for (const size_t first : m_linkTokens) {
        if (first < walked)
            continue;
        linkText.clear();
        size_t i = first;
        for (; i < m_tokens.size(); ++i) {
            const CHtmlToken& token = m_tokens[i];
            if (token.Kind() == CHtmlToken::TK_LINK) {
                // A second link before the end of the first replaces its target; the text stays.
                ResolveLink(pageUrl, pageParts, token.Target(), target);
            } else if (token.Kind() == CHtmlToken::TK_TEXT) {
                if (linkText.size() < kMaxText)
                    linkText.append(token.Text(), 0, kMaxText - linkText.size());
            } else if (token.Kind() == CHtmlToken::TK_ENDLINK) {
                links.Add(target, linkText.empty() ? std::string_view(" ") : linkText);
                break;
            }
        }
        walked = i + 1; // a link never closed is not added, and nothing follows it
    }
    return links;
}
