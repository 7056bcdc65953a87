#pragma once

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Stamps for CRefMap, shared by every map of the program.
inline std::uint64_t NextRefMapStamp() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

// A map from text to object that keeps only pointers: the key of each object is one of its own
// string members (a word entry's text, a site's URL), read through TKey::Of(const T*), so no
// key is copied. The pointers are
// kept sorted by key in one vector, which iterates in the order of a std::map with the same
// keys and costs 8 bytes an entry instead of a tree node and a string.
//
// Reads like the std::map it replaces: find, at, count, contains, size, iteration over
// (key, pointer) pairs. The key given to an insertion must be the object's own key, and an
// object's key must not change while it is in a map (take it out, change it, put it back).
// Nothing is owned. Every change takes a new stamp, unique across all maps of the program, so
// a cache can tell whether a map is still as it saw it.
template <class T, class TKey> class CRefMap {
public:
    using key_type = std::string;
    using mapped_type = T*;
    using size_type = std::size_t;
    // (key, pointer), handed out by value: bind it as `const auto&`.
    using value_type = std::pair<const std::string&, T*>;

    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = CRefMap::value_type;
        using difference_type = std::ptrdiff_t;
        using reference = value_type;
        struct pointer {
            value_type pair;
            const value_type* operator->() const { return &pair; }
        };

        const_iterator() = default;
        explicit const_iterator(typename std::vector<T*>::const_iterator it) : m_it(it) {}
        value_type operator*() const { return value_type(TKey::Of(*m_it), *m_it); }
        pointer operator->() const { return pointer{**this}; }
        const_iterator& operator++() {
            ++m_it;
            return *this;
        }
        const_iterator operator++(int) { return const_iterator(m_it++); }
        const_iterator& operator--() {
            --m_it;
            return *this;
        }
        const_iterator operator--(int) { return const_iterator(m_it--); }
        const_iterator& operator+=(difference_type n) {
            m_it += n;
            return *this;
        }
        const_iterator operator+(difference_type n) const { return const_iterator(m_it + n); }
        const_iterator operator-(difference_type n) const { return const_iterator(m_it - n); }
        difference_type operator-(const const_iterator& other) const { return m_it - other.m_it; }
        value_type operator[](difference_type n) const { return *(*this + n); }
        bool operator==(const const_iterator& other) const = default;
        auto operator<=>(const const_iterator& other) const = default;
        typename std::vector<T*>::const_iterator Base() const { return m_it; }

    private:
        typename std::vector<T*>::const_iterator m_it;
    };
    using iterator = const_iterator;

    CRefMap() : m_stamp(NextStamp()) {}
    CRefMap(const CRefMap& other) : m_items(other.m_items), m_stamp(NextStamp()) {}
    CRefMap& operator=(const CRefMap& other) {
        m_items = other.m_items;
        m_stamp = NextStamp();
        return *this;
    }

    const_iterator begin() const { return const_iterator(m_items.begin()); }
    const_iterator end() const { return const_iterator(m_items.end()); }
    size_type size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    void reserve(size_type n) { m_items.reserve(n); }

    const_iterator find(std::string_view key) const {
        const auto it = LowerBound(key);
        return it != m_items.end() && KeyOf(*it) == key ? const_iterator(it) : end();
    }
    size_type count(std::string_view key) const { return find(key) == end() ? 0 : 1; }
    bool contains(std::string_view key) const { return find(key) != end(); }
    // The object under the key; throws std::out_of_range when there is none, as std::map does.
    T* at(std::string_view key) const {
        const auto it = find(key);
        if (it == end())
            throw std::out_of_range("CRefMap::at");
        return it->second;
    }

    // Stores the object under its own key unless the key is taken; the key argument is there
    // for std::map's shape and must equal the object's key. Null objects are not stored.
    std::pair<const_iterator, bool> try_emplace(std::string_view key, T* item) {
        if (!item || key != std::string_view(KeyOf(item)))
            return {end(), false};
        return Insert(item);
    }
    std::pair<const_iterator, bool> emplace(std::string_view key, T* item) {
        return try_emplace(key, item);
    }
    // Stores the object under its own key; false when an object with that key is already there.
    std::pair<const_iterator, bool> Insert(T* item) {
        if (!item)
            return {end(), false};
        const std::string& key = KeyOf(item);
        // Loading adds keys in order: appending needs no search.
        if (m_items.empty() || KeyOf(m_items.back()) < key) {
            m_items.push_back(item);
            Touch();
            return {const_iterator(m_items.end() - 1), true};
        }
        auto it = LowerBound(key);
        if (it != m_items.end() && KeyOf(*it) == key)
            return {const_iterator(it), false};
        it = m_items.insert(it, item);
        Touch();
        return {const_iterator(it), true};
    }
    // Stores the object under its own key, replacing an object already there with that key.
    void Assign(T* item) {
        const auto [it, inserted] = Insert(item);
        if (!inserted && it != end() && it->second != item) {
            m_items[static_cast<size_type>(it.Base() - m_items.begin())] = item;
            Touch();
        }
    }

    // For bulk loads: takes over a whole list already sorted by key with no key twice (not
    // checked: the caller has made it so), with one new stamp for it all.
    void AdoptSorted(std::vector<T*> items) {
        assert(std::adjacent_find(items.begin(), items.end(), [](const T* a, const T* b) {
                   return !(KeyOf(a) < KeyOf(b));
               }) == items.end());
        m_items = std::move(items);
        Touch();
    }

    // For bulk loads: appends without keeping the order. Until Normalize() is called the map
    // may only be appended to, counted or normalized.
    void AppendUnsorted(T* item) {
        if (item) {
            m_items.push_back(item);
            Touch();
        }
    }
    // Sorts what AppendUnsorted added; of objects with the same key the one appended last stays,
    // as a run of Assign calls would leave it.
    void Normalize() {
        const auto outOfOrder = [](const T* a, const T* b) { return !(KeyOf(a) < KeyOf(b)); };
        if (std::adjacent_find(m_items.begin(), m_items.end(), outOfOrder) == m_items.end())
            return;
        std::stable_sort(m_items.begin(), m_items.end(),
                         [](const T* a, const T* b) { return KeyOf(a) < KeyOf(b); });
        // Keep the last of each run of equal keys.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (i + 1 < m_items.size() && KeyOf(m_items[i + 1]) == KeyOf(m_items[i]))
                continue;
            m_items[kept++] = m_items[i];
        }
        m_items.resize(kept);
        Touch();
    }

    const_iterator erase(const_iterator pos) {
        const auto index = pos.Base() - m_items.cbegin();
        const auto it = m_items.erase(m_items.begin() + index);
        Touch();
        return const_iterator(it);
    }
    size_type erase(std::string_view key) {
        const auto it = find(key);
        if (it == end())
            return 0;
        erase(it);
        return 1;
    }
    // Takes out the entry holding this very object; false when it is not here.
    bool EraseItem(const T* item) {
        const auto it = find(KeyOf(item));
        if (it == end() || it->second != item)
            return false;
        erase(it);
        return true;
    }
    void clear() {
        m_items.clear();
        m_items.shrink_to_fit();
        Touch();
    }

    // Changes with every change of the map; never the same for two maps or two states.
    std::uint64_t Stamp() const { return m_stamp; }

private:
    static const std::string& KeyOf(const T* item) { return TKey::Of(item); }
    typename std::vector<T*>::const_iterator LowerBound(std::string_view key) const {
        return std::lower_bound(m_items.begin(), m_items.end(), key,
                                [](const T* item, std::string_view k) { return KeyOf(item) < k; });
    }
    static std::uint64_t NextStamp() { return NextRefMapStamp(); }
    void Touch() { m_stamp = NextStamp(); }

    std::vector<T*> m_items; // sorted by key, keys unique
    std::uint64_t m_stamp;
};
