#pragma once

// Character classes of the classic "C" locale for single bytes. Bytes 0x80-0xFF belong to none
// of them, whatever locale the process runs in.
namespace ClassicChars {

inline bool IsSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
inline bool IsUpper(unsigned char c) {
    return c >= 'A' && c <= 'Z';
}
inline bool IsLower(unsigned char c) {
    return c >= 'a' && c <= 'z';
}
inline bool IsAlpha(unsigned char c) {
    return IsUpper(c) || IsLower(c);
}
inline bool IsPunct(unsigned char c) {
    return (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
           (c >= 0x7B && c <= 0x7E);
}
inline char ToUpper(unsigned char c) {
    return static_cast<char>(IsLower(c) ? c - 'a' + 'A' : c);
}
inline char ToLower(unsigned char c) {
    return static_cast<char>(IsUpper(c) ? c - 'A' + 'a' : c);
}

} // namespace ClassicChars
