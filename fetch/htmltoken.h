#pragma once

#include <string>
#include <utility>

// One token of a scanned page. The kinds are bit values.
class CHtmlToken {
public:
    enum EKind : int {
        TK_TAG = 1,    // m_text: the tag's content without angle brackets and double quotes
        TK_LINK = 2,   // m_target: the link target as written in the tag
        TK_TEXT = 4,   // m_text: one run of text between two tags
        TK_ENDLINK = 8 // no text, no target
    };

    CHtmlToken(int kind, std::string text, std::string target)
        : m_kind(kind), m_text(std::move(text)), m_target(std::move(target)) {}

    int m_kind;
    std::string m_text;   // empty for TK_LINK and TK_ENDLINK
    std::string m_target; // empty except for TK_LINK
};
