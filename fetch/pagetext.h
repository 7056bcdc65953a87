#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Builds a page text from raw bytes the way a line-by-line reader delivers it: the bytes are
// split into lines at "\n", a "\r" just before the "\n" is dropped, and every line is followed
// by "\r\n". A last line without a line end is still a line. The text never grows beyond its
// byte limit: once full, further bytes are dropped and the cut line is closed with "\r\n".
class CPageText {
public:
    explicit CPageText(std::size_t maxBytes);

    // Adds the next bytes of the body. Returns false once the limit is reached (then the part
    // of `bytes` that did not fit, and everything after it, is dropped).
    bool Append(std::string_view bytes);
    bool IsFull() const { return m_full; }

    // The finished text, or no page when nothing at all was read. Call once, at the end.
    std::optional<std::string> Finish();

private:
    bool AppendToLine(std::string_view part);
    void EndLine();

    std::size_t m_maxBytes;
    std::string m_text;
    bool m_lineOpen = false; // bytes of an unfinished line are at the end of m_text
    bool m_full = false;
};
