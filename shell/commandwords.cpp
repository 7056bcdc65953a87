#include "shell/commandwords.h"

#include <string_view>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool EscapableInDoubleQuotes(char c) {
    return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n';
}

bool NeedsQuotes(const std::string& word) {
    if (word.empty())
        return true;
    for (const char c : word) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') ||
                           std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
        if (!plain)
            return true;
    }
    return false;
}

} // namespace

std::vector<std::string> SplitCommandWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    // A word exists once any of its characters (or an empty pair of quotes) has been seen.
    bool inWord = false;
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (IsBlank(c)) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            ++i;
        } else if (c == '\'') {
            inWord = true;
            const size_t close = text.find('\'', i + 1);
            const size_t end = close == std::string::npos ? n : close;
            word.append(text, i + 1, end - i - 1);
            i = close == std::string::npos ? n : close + 1;
        } else if (c == '"') {
            inWord = true;
            ++i;
            while (i < n && text[i] != '"') {
                if (text[i] == '\\' && i + 1 < n && EscapableInDoubleQuotes(text[i + 1])) {
                    if (text[i + 1] != '\n')
                        word += text[i + 1];
                    i += 2;
                } else {
                    word += text[i++];
                }
            }
            ++i; // the closing quote, if any
        } else if (c == '\\') {
            if (i + 1 < n && text[i + 1] == '\n') {
                i += 2;
                continue;
            }
            inWord = true;
            word += i + 1 < n ? text[i + 1] : '\\'; // a final backslash stays itself
            i += 2;
        } else {
            inWord = true;
            word += c;
            ++i;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::string JoinCommandWords(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        if (!text.empty())
            text += ' ';
        if (!NeedsQuotes(word)) {
            text += word;
            continue;
        }
        // Inside single quotes everything is literal but the quote itself, which closes them,
        // is written as \', and opens them again.
        text += '\'';
        for (const char c : word)
            text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        text += '\'';
    }
    return text;
}
