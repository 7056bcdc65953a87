#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fetch/htmltoken.h"
#include "fetch/linklist.h"

// The scan of one downloaded page: its tokens and body words, and on request its title, meta
// keywords and links. A small single-pass tokenizer over bytes, not an HTML parser.
//
// The texts of the tokens and the words are views into storage the scan owns. They stay valid as
// long as the scan, also after it has been moved (the storage itself never moves), and end with
// it.
class CHtmlScan {
public:
    // The longest text the scanner keeps in one title, link text, tag or word.
    static constexpr size_t kMaxText = 8191;
    // The longest run of text stored as one TK_TEXT token.
    static constexpr size_t kMaxRun = 8192;

    // Tokenizes the page (read up to its first NUL byte) and collects its body words. Never
    // fails; an empty page gives no tokens. Keywords stay empty and the title unasked. The scan
    // keeps its own copy of every byte it hands out: page may go away afterwards.
    static CHtmlScan Scan(std::string_view page);

    // The page title, or nullptr when the page has no closing title tag. The string belongs to
    // the scan and lives as long as it; the first call computes it, later calls return the same.
    const std::string* GetTitle();

    // Appends the words of the page's keywords meta tag, in upper case, to Keywords().
    void ExtractKeywords();

    // The page's links with their link texts, made absolute against pageUrl, the URL the page
    // was fetched from. The list belongs to the caller.
    CLinkList GetLinks(std::string_view pageUrl) const;

    const std::vector<CHtmlToken>& Tokens() const { return m_tokens; }
    const std::vector<std::string>& Keywords() const { return m_keywords; } // upper case
    // Case as written, repeats kept; views valid as long as the scan.
    const std::vector<std::string_view>& Words() const { return m_words; }

private:
    class CTokenizer;

    std::vector<std::unique_ptr<char[]>> m_chunks; // token texts and words; never move
    std::vector<size_t> m_metaTags;   // indexes of the tag tokens that start with "meta" or "META"
    std::vector<size_t> m_linkTokens; // indexes of the TK_LINK tokens
    std::vector<size_t> m_titleTags;  // indexes of the opening and closing title tags
    std::optional<std::string> m_title;
    bool m_titleAsked = false;
    std::vector<std::string> m_keywords;
    std::vector<CHtmlToken> m_tokens;
    std::vector<std::string_view> m_words;
};
