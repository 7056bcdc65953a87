#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A sequence of values kept in chunks that copies of the sequence share: a copy costs one
// pointer per chunk, and changing a value copies its chunk first when a copy still shares it.
// Values are only appended; a slot keeps its index for good.
//
// Copies may be read on other threads while the original changes, as long as every copy is
// destroyed on the thread that changes the original (so that a chunk seen unshared there is
// unshared for good).
template <class T, std::size_t kChunkSize = 512> class CSharedChunks {
public:
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const T& operator[](std::size_t index) const {
        return (*m_chunks[index / kChunkSize])[index % kChunkSize];
    }
    T& Mutable(std::size_t index) {
        std::shared_ptr<std::vector<T>>& chunk = m_chunks[index / kChunkSize];
        if (chunk.use_count() > 1)
            chunk = std::make_shared<std::vector<T>>(*chunk);
        return (*chunk)[index % kChunkSize];
    }
    void push_back(T value) {
        if (m_size % kChunkSize == 0) {
            m_chunks.push_back(std::make_shared<std::vector<T>>());
            m_chunks.back()->reserve(kChunkSize);
        } else if (m_chunks.back().use_count() > 1) {
            auto copy = std::make_shared<std::vector<T>>(*m_chunks.back());
            copy->reserve(kChunkSize);
            m_chunks.back() = std::move(copy);
        }
        m_chunks.back()->push_back(std::move(value));
        ++m_size;
    }
    void clear() {
        m_chunks.clear();
        m_size = 0;
    }

private:
    std::vector<std::shared_ptr<std::vector<T>>> m_chunks;
    std::size_t m_size = 0;
};

// Slot numbers kept in an order the caller defines (by a `less` over slots), in chunks that
// copies share as CSharedChunks does; inserting or erasing copies only the chunk it touches.
class CSharedOrder {
public:
    std::size_t size() const { return m_size; }

    // Inserts `slot` after every slot that is not after it.
    template <class Less> void Insert(std::uint32_t slot, const Less& less) {
        if (m_chunks.empty())
            m_chunks.push_back(std::make_shared<std::vector<std::uint32_t>>());
        std::size_t chunk = 0;
        while (chunk + 1 < m_chunks.size() && !less(slot, m_chunks[chunk]->back()))
            ++chunk;
        std::vector<std::uint32_t>& kept = Detached(chunk);
        auto at = kept.begin();
        // Binary search for the first slot after `slot`.
        std::size_t low = 0;
        std::size_t high = kept.size();
        while (low < high) {
            const std::size_t middle = (low + high) / 2;
            if (less(slot, kept[middle]))
                high = middle;
            else
                low = middle + 1;
        }
        at += static_cast<std::ptrdiff_t>(low);
        kept.insert(at, slot);
        ++m_size;
        if (kept.size() >= 2 * kChunkSize)
            Split(chunk);
    }

    // Erases `slot`, which must sort equal to itself only among the kept kept (as `less` says).
    template <class Less> bool Erase(std::uint32_t slot, const Less& less) {
        for (std::size_t chunk = 0; chunk < m_chunks.size(); ++chunk) {
            if (less(m_chunks[chunk]->back(), slot))
                continue;
            const std::vector<std::uint32_t>& shared = *m_chunks[chunk];
            for (std::size_t i = 0; i < shared.size(); ++i) {
                if (shared[i] != slot)
                    continue;
                std::vector<std::uint32_t>& kept = Detached(chunk);
                kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i));
                --m_size;
                if (kept.empty())
                    m_chunks.erase(m_chunks.begin() + static_cast<std::ptrdiff_t>(chunk));
                return true;
            }
            return false;
        }
        return false;
    }

    // Calls `visit(slot)` for every slot, in order.
    template <class Visit> void ForEach(const Visit& visit) const {
        for (const auto& chunk : m_chunks) {
            for (std::uint32_t slot : *chunk)
                visit(slot);
        }
    }

    void clear() {
        m_chunks.clear();
        m_size = 0;
    }

    // Replaces the order with `kept`, already in order.
    void Assign(const std::vector<std::uint32_t>& kept) {
        clear();
        for (std::size_t start = 0; start < kept.size(); start += kChunkSize) {
            const std::size_t end = std::min(kept.size(), start + kChunkSize);
            m_chunks.push_back(std::make_shared<std::vector<std::uint32_t>>(
                kept.begin() + static_cast<std::ptrdiff_t>(start),
                kept.begin() + static_cast<std::ptrdiff_t>(end)));
        }
        m_size = kept.size();
    }

private:
    static constexpr std::size_t kChunkSize = 256;

    std::vector<std::uint32_t>& Detached(std::size_t chunk) {
        if (m_chunks[chunk].use_count() > 1)
            m_chunks[chunk] = std::make_shared<std::vector<std::uint32_t>>(*m_chunks[chunk]);
        return *m_chunks[chunk];
    }
    void Split(std::size_t chunk) {
        std::vector<std::uint32_t>& kept = *m_chunks[chunk];
        auto upper = std::make_shared<std::vector<std::uint32_t>>(
            kept.begin() + static_cast<std::ptrdiff_t>(kChunkSize), kept.end());
        kept.resize(kChunkSize);
        m_chunks.insert(m_chunks.begin() + static_cast<std::ptrdiff_t>(chunk) + 1,
                        std::move(upper));
    }

    std::vector<std::shared_ptr<std::vector<std::uint32_t>>> m_chunks;
    std::size_t m_size = 0;
};
