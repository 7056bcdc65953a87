#pragma once

#include <cstdint>
#include <string_view>

// One token of a scanned page. The kinds are bit values. A token does not own its text: the
// bytes belong to the CHtmlScan that made it and stay valid as long as that scan (also after
// the scan is moved).
class CHtmlToken {
public:
    enum EKind : int {
        TK_TAG = 1,    // Text(): the tag's content without angle brackets and double quotes
        TK_LINK = 2,   // Target(): the link target as written in the tag
        TK_TEXT = 4,   // Text(): one run of text between two tags
        TK_ENDLINK = 8 // neither text nor target
    };

    // value is the text of a TK_TAG or TK_TEXT token, the target of a TK_LINK token; its bytes
    // must outlive the token.
    CHtmlToken(int kind, std::string_view value)
        : m_data(value.data()), m_size(static_cast<uint32_t>(value.size())), m_kind(kind) {}

    int Kind() const { return m_kind; }
    // Empty for TK_LINK and TK_ENDLINK.
    std::string_view Text() const {
        return (m_kind & (TK_TAG | TK_TEXT)) != 0 ? Value() : std::string_view();
    }
    // Empty except for TK_LINK.
    std::string_view Target() const { return m_kind == TK_LINK ? Value() : std::string_view(); }

private:
    std::string_view Value() const { return std::string_view(m_data, m_size); }

    const char* m_data; // one view serves both text and target, which keeps the token small
    uint32_t m_size;    // token texts hold at most 8,192 bytes
    int m_kind;
};
