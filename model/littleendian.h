#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Appends a 32-bit little-endian integer, the integer layout of every binary data file.
inline void AppendInt32(std::string& bytes, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<char>((u >> shift) & 0xFF));
}

// Appends a string as the data files store it: a 32-bit byte count, then the bytes.
inline void AppendString(std::string& bytes, std::string_view text) {
    AppendInt32(bytes, static_cast<std::int32_t>(text.size()));
    bytes.append(text);
}
