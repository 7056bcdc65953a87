#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fetch/linklist.h"

// The plain page scanner the fast CHtmlScan is checked against: one owned string per token and
// word, a byte-at-a-time tokenizer and a link resolver that splits both URLs into owned parts.
// Test-only; its results are the ones the fast scanner must reproduce byte for byte.
class CReferenceHtmlScan {
public:
    struct SToken {
        int kind;          // CHtmlToken's kind values
        std::string value; // text of a tag or text token, target of a link token
    };

    static constexpr size_t kMaxText = 8191;
    static constexpr size_t kMaxRun = 8192;

    static CReferenceHtmlScan Scan(std::string_view page);
    const std::string* GetTitle();
    void ExtractKeywords();
    CLinkList GetLinks(std::string_view pageUrl) const;

    const std::vector<SToken>& Tokens() const { return m_tokens; }
    const std::vector<std::string>& Keywords() const { return m_keywords; }
    const std::vector<std::string>& Words() const { return m_words; }

    // The link resolver of the plain scanner, for the same comparison on single URLs.
    static std::string ResolveLink(std::string_view pageUrl, std::string_view target);

private:
    class CTokenizer;

    std::optional<std::string> m_title;
    bool m_titleAsked = false;
    std::vector<std::string> m_keywords;
    std::vector<SToken> m_tokens;
    std::vector<std::string> m_words;
};
