#pragma once

#include <cstddef>
#include <string>

// Splits a text into upper-case words at every character that is not a letter (A-Z, a-z; bytes
// 0x80-0xFF are not letters). Every separator ends a piece, so two adjacent separators give an
// empty piece; the rest after the last separator is returned once when it is not empty. Callers
// drop the pieces they do not want by length.
class CWordTokenizer {
public:
    explicit CWordTokenizer(std::string text);

    // Stores the next piece in `piece` and returns true; false when no piece is left.
    bool Next(std::string& piece);

private:
    std::string m_text;
    std::size_t m_pos = 0;
    bool m_done = false;
};
