#include "model/categoryindex.h"

#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"

#include <algorithm>

CCategoryIndex::CCategoryIndex() = default;
CCategoryIndex::~CCategoryIndex() = default;

std::uint32_t CCategoryIndex::WordId(const std::string& text) {
    const auto [it, inserted] =
        m_wordIds.try_emplace(text, static_cast<std::uint32_t>(m_wordIds.size()));
    if (inserted) {
        m_postings.emplace_back();
        m_scratchCounts.push_back(0);
    }
    return it->second;
}

bool CCategoryIndex::SlotIsCurrent(const CSlot& slot, const CCategory* category) const {
    if (slot.category != category || slot.sites.size() != category->m_sites.size())
        return false;
    for (std::size_t j = 0; j < slot.sites.size(); ++j) {
        const CSite* member = category->m_sites[j];
        if (member != slot.sites[j] || (member && member->m_words.Stamp() != slot.stamps[j]))
            return false;
    }
    return true;
}

void CCategoryIndex::DropPostings(int index) {
    CSlot& slot = m_slots[static_cast<std::size_t>(index)];
    for (std::uint32_t id : slot.wordIds) {
        auto& postings = m_postings[id];
        const auto it = std::find_if(postings.begin(), postings.end(),
                                     [index](const CPosting& p) { return p.slot == index; });
        if (it != postings.end()) {
            *it = postings.back();
            postings.pop_back();
        }
    }
    slot = CSlot{};
}

void CCategoryIndex::ReadSlot(int index, const CCategory* category) {
    DropPostings(index);
    CSlot& slot = m_slots[static_cast<std::size_t>(index)];
    slot.category = category;
    slot.sites.assign(category->m_sites.begin(), category->m_sites.end());
    slot.stamps.resize(slot.sites.size());
    for (std::size_t j = 0; j < slot.sites.size(); ++j) {
        const CSite* member = slot.sites[j];
        slot.stamps[j] = member ? member->m_words.Stamp() : 0;
        if (!member)
            continue;
        // A site listed twice counts twice, as the walk meets it twice.
        for (const auto& [text, entry] : member->m_words) {
            const std::uint32_t id = WordId(text);
            if (m_scratchCounts[id]++ == 0)
                slot.wordIds.push_back(id);
        }
    }
    slot.wordCounts.reserve(slot.wordIds.size());
    for (std::uint32_t id : slot.wordIds) {
        slot.wordCounts.push_back(m_scratchCounts[id]);
        m_postings[id].push_back(CPosting{index, m_scratchCounts[id]});
        m_scratchCounts[id] = 0;
    }
}

void CCategoryIndex::CheckSlot(int index, const CCategory* category, const CSite& site,
                               CCategorySiteSums& sums) {
    if (!SlotIsCurrent(m_slots[static_cast<std::size_t>(index)], category))
        ReadSlot(index, category);
    const std::size_t siteWords = site.m_words.size();
    for (const CSite* member : category->m_sites) {
        if (!member)
            continue;
        sums.room += static_cast<double>(std::min(member->m_words.size(), siteWords));
        if (member == &site)
            sums.hits += 2.0;
        sums.total += 2.0;
        const auto [first, last] = std::equal_range(m_siteLinks.begin(), m_siteLinks.end(), member);
        sums.hits += static_cast<double>(last - first);
        sums.total += m_nonEmptyLinks;
    }
}

void CCategoryIndex::FitSlots(int slots) {
    for (int i = slots; i < static_cast<int>(m_slots.size()); ++i)
        DropPostings(i);
    m_slots.resize(static_cast<std::size_t>(slots));
}

bool CCategoryIndex::Warm(const CCategoryTree& tree,
                          std::chrono::steady_clock::time_point deadline) {
    const int slots = tree.SlotCount();
    FitSlots(slots);
    for (bool first = true; m_warmNext < slots; ++m_warmNext) {
        const CCategory* category = tree.CategoryAt(m_warmNext);
        CSlot& slot = m_slots[static_cast<std::size_t>(m_warmNext)];
        if (!category) {
            if (slot.category)
                DropPostings(m_warmNext);
            continue;
        }
        if (SlotIsCurrent(slot, category))
            continue;
        if (!first && std::chrono::steady_clock::now() >= deadline)
            return false;
        ReadSlot(m_warmNext, category);
        first = false;
    }
    m_warmNext = 0;
    return true;
}

void CCategoryIndex::Measure(const CCategoryTree& tree, const CSite& site,
                             std::vector<CCategorySiteSums>& sums) {
    const int slots = tree.SlotCount();
    sums.assign(static_cast<std::size_t>(slots), CCategorySiteSums{});
    FitSlots(slots);
    double nonEmptyLinks = 0.0; // summed as the walk sums it
    m_siteLinks.clear();
    for (const auto& link : site.m_links) {
        if (link) {
            nonEmptyLinks += 1.0;
            m_siteLinks.push_back(link.get());
        }
    }
    std::sort(m_siteLinks.begin(), m_siteLinks.end());
    m_nonEmptyLinks = nonEmptyLinks;
    for (int i = 0; i < slots; ++i) {
        const CCategory* category = tree.CategoryAt(i);
        if (!category) {
            if (m_slots[static_cast<std::size_t>(i)].category)
                DropPostings(i);
            continue;
        }
        CheckSlot(i, category, site, sums[static_cast<std::size_t>(i)]);
    }
    for (const auto& [text, entry] : site.m_words) {
        const auto id = m_wordIds.find(text);
        if (id == m_wordIds.end())
            continue;
        for (const CPosting& posting : m_postings[id->second])
            sums[static_cast<std::size_t>(posting.slot)].shared += posting.count;
    }
}
