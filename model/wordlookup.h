#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

class CWordEntry;

// A text made ready for CWordLookup: its hash and, up to 15 bytes, its bytes zero-padded in
// two integers with the length in the top byte.
struct CWordKey {
    std::uint64_t lo = 0;
    std::uint64_t hi = 0;
    std::uint32_t hash = 0;
    std::string_view text;
};

// A hash look-up from texts to word entries and the numbers 0, 1, 2 ... in the order the texts
// were added: the loader's index of word entries, looked up once for each of the twenty million
// word references of a large store. A text of up to 15 bytes is kept in its slot, so a look-up
// reads one slot and no other memory; longer texts are compared through the view given to Add.
// Large tables sit on huge pages where the system offers them, to spare the address cache.
class CWordLookup {
public:
    static constexpr std::uint32_t kMissing = 0xFFFFFFFFu;

    static CWordKey MakeKey(std::string_view text);
    // The order of the keys' texts, as std::string compares them.
    static bool Less(const CWordKey& a, const CWordKey& b) {
        if (((a.hi | b.hi) & kLongText) == kLongText)
            return a.text < b.text;
        // Byte order read big end first is text order; the length breaks a tie of the padding.
        const std::uint64_t aLo = __builtin_bswap64(a.lo), bLo = __builtin_bswap64(b.lo);
        return aLo != bLo ? aLo < bLo : __builtin_bswap64(a.hi) < __builtin_bswap64(b.hi);
    }

    // Room for `expected` texts before the table grows.
    explicit CWordLookup(std::size_t expected);
    ~CWordLookup();
    CWordLookup(const CWordLookup&) = delete;
    CWordLookup& operator=(const CWordLookup&) = delete;

    // The number of the key's text, or kMissing; `entry` receives the entry stored with it.
    std::uint32_t Find(const CWordKey& key, CWordEntry*& entry) const {
        for (std::size_t i = SlotOf(key.hash);; i = i + 1 == m_capacity ? 0 : i + 1) {
            const Slot& slot = m_slots[i];
            if (slot.numberPlusOne == 0)
                return kMissing;
            if (slot.hash == key.hash && slot.hi == key.hi && Matches(slot, key)) {
                entry = slot.entry;
                return slot.numberPlusOne - 1;
            }
        }
    }
    // Asks for the slot a look-up of the key starts at, so that several look-ups can wait for
    // memory at once.
    void Prefetch(const CWordKey& key) const { __builtin_prefetch(&m_slots[SlotOf(key.hash)]); }
    // Stores a text that is not there yet with its entry (not owned) under the next number and
    // returns that number. A text above 15 bytes is compared through key.text later: its bytes
    // must stay where they are while the look-up lives.
    std::uint32_t Add(const CWordKey& key, CWordEntry* entry);
    std::size_t Size() const { return m_size; }
    // Room for `expected` texts in all before the table grows again.
    void Reserve(std::size_t expected);

private:
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t numberPlusOne = 0; // 0 for a free slot
        std::uint64_t lo = 0;            // a long text: its address
        std::uint64_t hi = 0;
        CWordEntry* entry = nullptr;
    };
    struct CFree {
        void operator()(Slot* slots) const;
    };
    static constexpr std::uint64_t kLongText = 0xFFull << 56;

    std::size_t SlotOf(std::uint32_t hash) const {
        return static_cast<std::size_t>((std::uint64_t(hash) * m_capacity) >> 32);
    }
    static bool Matches(const Slot& slot, const CWordKey& key) {
        if ((key.hi & kLongText) != kLongText)
            return slot.lo == key.lo;
        return std::memcmp(reinterpret_cast<const char*>(slot.lo), key.text.data(),
                           key.text.size()) == 0;
    }
    void Allocate(std::size_t capacity);
    void Rehash(std::size_t capacity);
    void Place(const Slot& slot);

    std::unique_ptr<Slot[], CFree> m_slots;
    std::size_t m_capacity = 0;
    std::size_t m_size = 0;
};

namespace wordlookup_detail {
inline std::uint64_t Load8(const char* p) {
    std::uint64_t value;
    std::memcpy(&value, p, 8);
    return value;
}
inline std::uint64_t Load4(const char* p) {
    std::uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}
inline std::uint64_t Mix(std::uint64_t h) {
    h = (h ^ (h >> 32)) * 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 29);
}
} // namespace wordlookup_detail

// Fixed-size loads that may overlap stand in for a copy of the text's length, which would be
// a call.
inline CWordKey CWordLookup::MakeKey(std::string_view text) {
    using namespace wordlookup_detail;
    CWordKey key;
    key.text = text;
    const char* p = text.data();
    const std::size_t n = text.size();
    std::uint64_t h = 0;
    if (n <= 15) {
        if (n >= 8) {
            key.lo = Load8(p);
            key.hi = n == 8 ? 0 : Load8(p + n - 8) >> (8 * (16 - n));
        } else if (n >= 4) {
            key.lo = Load4(p) | (Load4(p + n - 4) >> (8 * (8 - n))) << 32;
        } else {
            for (std::size_t i = 0; i < n; ++i)
                key.lo |= std::uint64_t(static_cast<unsigned char>(p[i])) << (8 * i);
        }
        key.hi |= std::uint64_t(n) << 56;
        h = key.lo * 0x9E3779B97F4A7C15ull ^ key.hi * 0xC2B2AE3D27D4EB4Full;
    } else {
        key.hi = kLongText | n;
        h = n * 0xC2B2AE3D27D4EB4Full;
        std::size_t i = 0;
        for (; i + 8 < n; i += 8)
            h = Mix(h ^ Load8(p + i) * 0x9E3779B97F4A7C15ull);
        h ^= Load8(p + n - 8) * 0x9E3779B97F4A7C15ull;
    }
    key.hash = static_cast<std::uint32_t>(Mix(h) >> 32);
    return key;
}
