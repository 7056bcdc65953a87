#pragma once

#include <string>
#include <string_view>
#include <utility>

// One token of a scanned page. The kinds are bit values.
class CHtmlToken {
public:
    enum EKind : int {
        TK_TAG = 1,    // Text(): the tag's content without angle brackets and double quotes
        TK_LINK = 2,   // Target(): the link target as written in the tag
        TK_TEXT = 4,   // Text(): one run of text between two tags
        TK_ENDLINK = 8 // neither text nor target
    };

    // value is the text of a TK_TAG or TK_TEXT token, the target of a TK_LINK token.
    CHtmlToken(int kind, std::string value) : m_kind(kind), m_value(std::move(value)) {}

    int Kind() const { return m_kind; }
    // Empty for TK_LINK and TK_ENDLINK. Valid as long as the token.
    std::string_view Text() const {
        return (m_kind & (TK_TAG | TK_TEXT)) != 0 ? std::string_view(m_value) : std::string_view();
    }
    // Empty except for TK_LINK. Valid as long as the token.
    std::string_view Target() const {
        return m_kind == TK_LINK ? std::string_view(m_value) : std::string_view();
    }

private:
    int m_kind;
    std::string m_value; // one string serves both, which keeps the token array small
};
