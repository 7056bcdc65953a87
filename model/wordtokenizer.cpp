#include "model/wordtokenizer.h"

#include <utility>

namespace {
// Letters of the classic C locale; bytes outside ASCII are never letters.
bool IsClassicLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char ToClassicUpper(unsigned char c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
}
} // namespace

CWordTokenizer::CWordTokenizer(std::string text) : m_text(std::move(text)) {}

bool CWordTokenizer::Next(std::string& piece) {
    if (m_done)
        return false;
    piece.clear();
    while (m_pos < m_text.size()) {
        const auto c = static_cast<unsigned char>(m_text[m_pos++]);
        if (!IsClassicLetter(c))
            return true;
        piece.push_back(ToClassicUpper(c));
    }
    m_done = true;
    return !piece.empty();
}
