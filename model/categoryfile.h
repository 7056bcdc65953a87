#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One category as cats.wfx stores it: URLs instead of sites.
struct CCategoryRecord {
    std::string name;
    std::int32_t parent = -1;
    std::vector<std::int32_t> children;
    std::vector<std::string> urls;
    std::vector<std::pair<std::string, std::int32_t>> words; // word, weight
};

// The bytes of cats.wfx. All integers 32-bit signed little-endian; a string is a 32-bit byte
// count and the bytes (none when the count is 0 or less: an empty text). Slot count S, then S
// slots: flag 0 (empty) or 1 followed by name, parent, child count and child indices, site count
// and URLs, word count and (word, weight).
class CCategoryFile {
public:
    using Slots = std::vector<std::optional<CCategoryRecord>>;

    // Reads the slots. An empty file gives no slots. False when the file is damaged (too short
    // for the slot count, a negative count, a flag other than 0 or 1, a count or length running
    // past the end or a text above 8,191 bytes, or bytes left over); `slots` then holds the
    // slots read before the damage, the cut-off category included when its name was read.
    static bool Parse(std::string_view bytes, Slots& slots);
    // Texts longer than 8,191 bytes are cut there, so the file always reads back whole.
    static std::string Serialize(const Slots& slots);
};
