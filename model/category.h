#pragma once

#include "model/indextally.h"
#include "model/weightedwordlist.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCategoryTree;
class CSite;

// One category of the hierarchy: a name, defining words with weights, the sites put into it
// and the slot indices of its children.
//
// Ownership: a registered category is owned by its CCategoryTree (CCategoryTree::Register
// takes it, CCategoryTree::TakeFromSlot hands it out again). A category never owns its sites;
// the URL database does, and whoever frees a site first takes it out of the categories
// (CCategoryTree::ForgetSite).
class CCategory {
public:
    // Empty children, sites and words; m_score 0, m_parent -1, m_index -1 (not registered).
    explicit CCategory(std::string name);
    // A category still in its slot empties that slot (the hierarchy lets go of it).
    ~CCategory();
    CCategory(const CCategory&) = delete;
    CCategory& operator=(const CCategory&) = delete;

    // A copy for the clipboard: same name, child indices, sites and words; m_parent and
    // m_index -1, in no hierarchy. The copy's sites learn of it when it is registered.
    std::unique_ptr<CCategory> MakeCopy() const;

    // Appends the site and, when the category is registered, adds (m_index, 1) to the site's
    // m_categories. The site is not owned.
    void AddSite(CSite* site);
    // Takes the first occurrence of the site out of m_sites and, when that was the last one,
    // m_index out of the site's m_categories; false when the site is not here.
    bool RemoveSite(CSite* site);
    bool HoldsSite(const CSite* site) const;

    void AddChild(std::int32_t index) { m_children.Add(index, 1); }
    void RemoveChild(std::int32_t index) { m_children.Remove(index); }
    // The category in slot m_parent, or null when m_parent is negative, names an empty slot or
    // the category is in no hierarchy.
    CCategory* Parent() const;
    // The names from the top-level ancestor down to this category joined with ":". The walk up
    // stops at a negative index, an empty slot, or an index it has already visited.
    std::string PathName() const;

    double m_score = 0.0;            // last score given by the categorizer
    std::int32_t m_parent = -1;      // parent's slot index, -1 at the top level
    CIndexTally m_children;          // children's slot indices
    std::vector<CSite*> m_sites;     // not owned, in the order they were added
    CCategoryTree* m_tree = nullptr; // the owning hierarchy, null when in none
    std::string m_name;
    std::int32_t m_index = -1; // own slot index, -1 when not registered
    CWeightedWordList m_words; // upper-case defining words

private:
    friend class CCategoryTree;
    // The slot this category was taken out of, so that its children and sites follow it when it
    // is registered again; -1 for a category that never had a slot.
    std::int32_t m_formerIndex = -1;
};
