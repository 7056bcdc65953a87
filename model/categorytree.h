#pragma once

#include "model/sitedatabase.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CCategory;
class CCategoryIndex;
class CSite;

// The category hierarchy (cats.wfx): a flat array of slots addressed by index, each holding a
// category or nothing. Parent and child links are slot indices; slots are never reused, so the
// indices of the other categories never change.
//
// Ownership: the hierarchy owns every registered category. Register() takes a category in,
// TakeFromSlot() hands one out (its slot stays empty), and destroying the hierarchy writes the
// file and frees every category. Categories refer to sites without owning them; the hierarchy
// must be destroyed while the sites it names still exist (before the URL database).
class CCategoryTree {
public:
    // Finds the visited site of a stored URL, or null.
    using SiteResolver = std::function<CSite*(const std::string& url)>;

    CCategoryTree();
    // Writes the file when a file name is set, then frees every category.
    ~CCategoryTree();
    CCategoryTree(const CCategoryTree&) = delete;
    CCategoryTree& operator=(const CCategoryTree&) = delete;

    // Reads cats.wfx and remembers its name for the write at destruction; true when read whole.
    // A missing or empty file gives an empty hierarchy. URLs the resolver does not know are
    // dropped; a word is stored in upper case and a repeated word adds its weight. A parent
    // index that names no category becomes -1 (top level) and a child index that names no
    // other category is dropped. A damaged file is reported through ShowError naming the
    // file, the categories read before the damage are kept, the file is set aside before it
    // is written again, and false is returned.
    bool Open(const std::string& fileName, const SiteResolver& resolver);
    bool Open(const std::string& fileName, const CSiteDatabase& database) {
        return Open(fileName,
                    [&database](const std::string& url) { return database.FindSite(url); });
    }
    // Forgets the file name: nothing is written at destruction.
    void DetachFile() { m_fileName.clear(); }
    // Writes the file now, atomically. On failure shows "Can't write out memory of category
    // events to " + the file name and returns false; the old file is then untouched.
    bool Save();

    int SlotCount() const { return static_cast<int>(m_slots.size()); }
    // The category in the slot, or null for an index out of range or an empty slot.
    CCategory* CategoryAt(int index) const;
    bool IsRegistered(const CCategory* category) const;

    // Puts the category into a new slot at the end, sets its m_index and m_tree, and records
    // the new index in its sites' m_categories. A category taken out of a slot before brings
    // its children along: those whose m_parent named the old slot name the new one. Parents'
    // m_children and its own m_parent are not touched: place it with Reparent. Returns the
    // category (owned by the hierarchy); null for a null argument.
    CCategory* Register(std::unique_ptr<CCategory> category);
    // Empties the slot and hands the category to the caller, with m_index -1 and m_tree null;
    // its index leaves its parent's m_children. Its children keep naming the empty slot until
    // it is registered again. Null for an index that names no category.
    std::unique_ptr<CCategory> TakeFromSlot(int index);
    // Moves a registered category under the category at newParent (-1: to the top level): out
    // of its old parent's m_children, into the new parent's, m_parent set. False, with nothing
    // changed, when the category is not registered, newParent names no category, or newParent
    // is the category itself or one of its descendants.
    bool Reparent(CCategory* category, int newParent);
    // True when the category at `index` is `root` or lies below it (through m_children).
    bool IsInSubtree(const CCategory& root, int index) const;
    // Takes the site out of every registered category, before the site is freed.
    void ForgetSite(CSite* site);

    // The categorizer's last ranking: slot indices, best first, -1 for empty slots (last).
    std::vector<int>& Ranking() { return m_ranking; }
    const std::vector<int>& Ranking() const { return m_ranking; }
    // The categorizer's inverted index of the categories' site words, a cache that checks
    // itself against the hierarchy at every use (made at the first).
    CCategoryIndex& ScoreIndex();
    const std::string& FileName() const { return m_fileName; }

private:
    friend class CCategory;
    // Called by a registered category being destroyed outside the hierarchy's own cleanup.
    void LetGoOf(CCategory* category);
    void RepairLinks();

    std::vector<std::unique_ptr<CCategory>> m_slots;
    std::vector<int> m_ranking;
    std::unique_ptr<CCategoryIndex> m_scoreIndex;
    std::string m_fileName;
    bool m_damaged = false;
};
