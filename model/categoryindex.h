#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CCategory;
class CCategoryTree;
class CSite;

// What the categorizer sums over a category's sites for one site S, kept as doubles as the
// scores are: shared word keys, room (the smaller word count of each pair), link hits and the
// links total.
struct CCategorySiteSums {
    double shared = 0.0;
    double room = 0.0;
    double hits = 0.0;
    double total = 0.0;
};

// An inverted index of the categories' sites' words: for each word, the categories whose sites
// carry it and how many of their sites do. With it the shared-words measure of every category
// costs a walk of S's words instead of a walk of every word of every site of every category.
//
// The index is a cache owned by the hierarchy and brought up to date at every use: a
// category whose site list changed, or one of whose sites' word maps changed (CRefMap stamps),
// is read again. Sites and categories are not owned; nothing is kept between uses but
// pointers that are compared, never followed, until the hierarchy shows them again.
class CCategoryIndex {
public:
    CCategoryIndex();
    ~CCategoryIndex();
    CCategoryIndex(const CCategoryIndex&) = delete;
    CCategoryIndex& operator=(const CCategoryIndex&) = delete;

    // Fills sums[i] for every slot i of the tree (zeros for empty slots), exactly as a walk of
    // each category's m_sites in order would.
    void Measure(const CCategoryTree& tree, const CSite& site,
                 std::vector<CCategorySiteSums>& sums);

    // Reads the categories whose record is out of date, going on where the last call stopped,
    // at least one and then until `deadline`; true once a sweep reached the last slot. Lets an
    // idle window build the index in small steps, so the first page after a start does not
    // wait for it. Measure stays exact whatever was warmed.
    bool Warm(const CCategoryTree& tree, std::chrono::steady_clock::time_point deadline);

private:
    struct CSlot {
        const CCategory* category = nullptr;
        std::vector<const CSite*> sites;      // the category's m_sites when last read
        std::vector<std::uint64_t> stamps;    // each site's m_words stamp then (0: null site)
        std::vector<std::uint32_t> wordIds;   // distinct words of its sites
        std::vector<std::int32_t> wordCounts; // how many of its sites carry each
    };
    struct CPosting {
        std::int32_t slot;
        std::int32_t count;
    };

    // Walks the category's sites against the slot's record; on any difference reads the
    // category again. Adds room, hits and total for the site to sums.
    void CheckSlot(int index, const CCategory* category, const CSite& site,
                   CCategorySiteSums& sums);
    void FitSlots(int slots);
    bool SlotIsCurrent(const CSlot& slot, const CCategory* category) const;
    void ReadSlot(int index, const CCategory* category);
    void DropPostings(int index);
    std::uint32_t WordId(const std::string& text);

    std::unordered_map<std::string, std::uint32_t> m_wordIds;
    std::vector<std::vector<CPosting>> m_postings; // by word id
    std::vector<CSlot> m_slots;
    std::vector<std::int32_t> m_scratchCounts; // by word id, zero between uses
    std::vector<const CSite*> m_siteLinks;     // the measured site's links, sorted
    double m_nonEmptyLinks = 0.0;
    int m_warmNext = 0; // the slot Warm goes on at
};
