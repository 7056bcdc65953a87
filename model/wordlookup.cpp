#include "model/wordlookup.h"

#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
}

CWordLookup::CWordLookup(std::size_t expected) {
    Allocate(expected + expected / 2 + 64);
}

CWordLookup::~CWordLookup() = default;

void CWordLookup::CFree::operator()(Slot* slots) const {
    std::free(slots);
}

void CWordLookup::Allocate(std::size_t capacity) {
    const std::size_t bytes = capacity * sizeof(Slot);
    const std::size_t alignment = bytes >= kHugePage ? kHugePage : 64;
    const std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
    void* memory = std::aligned_alloc(alignment, rounded);
    if (!memory)
        throw std::bad_alloc();
    if (alignment == kHugePage)
        ::madvise(memory, rounded, MADV_HUGEPAGE);
    Slot* slots = static_cast<Slot*>(memory);
    for (std::size_t i = 0; i < capacity; ++i)
        new (&slots[i]) Slot();
    m_slots.reset(slots);
    m_capacity = capacity;
}

void CWordLookup::Place(const Slot& slot) {
    std::size_t i = SlotOf(slot.hash);
    while (m_slots[i].numberPlusOne != 0)
        i = i + 1 == m_capacity ? 0 : i + 1;
    m_slots[i] = slot;
}

void CWordLookup::Rehash(std::size_t capacity) {
    std::unique_ptr<Slot[], CFree> old = std::move(m_slots);
    const std::size_t oldCapacity = m_capacity;
    Allocate(capacity);
    for (std::size_t i = 0; i < oldCapacity; ++i) {
        if (old[i].numberPlusOne != 0)
            Place(old[i]);
    }
}

void CWordLookup::Reserve(std::size_t expected) {
    const std::size_t capacity = expected + expected / 2 + 64;
    if (capacity > m_capacity)
        Rehash(capacity);
}

std::uint32_t CWordLookup::Add(const CWordKey& key, CWordEntry* entry) {
    if ((m_size + 1) * 3 > m_capacity * 2)
        Rehash(m_capacity * 2);
    Slot slot;
    slot.hash = key.hash;
    slot.numberPlusOne = static_cast<std::uint32_t>(m_size + 1);
    slot.hi = key.hi;
    slot.entry = entry;
    slot.lo = (key.hi & kLongText) == kLongText ? reinterpret_cast<std::uint64_t>(key.text.data())
                                                : key.lo;
    Place(slot);
    return static_cast<std::uint32_t>(m_size++);
}
