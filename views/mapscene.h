#pragma once

#include "views/sharedchunks.h"

#include <QRectF>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class CCategoryTree;
class CSite;
class CSiteDatabase;
class CWordEntry;

// What the maps draw, copied from the store: every visited site with its link nodes, every
// word with the sites that carry it, and the category names. The maps keep one scene in step
// with the store on the window's thread (see CMapSceneKeeper) and draw copies of it on worker
// threads. A copy costs a pointer per few hundred nodes, as copies share their parts until a
// change reaches one; a copy itself never changes. The node pointers (`id`) are names only:
// they are never followed off the window's thread.
class CMapScene {
public:
    // The texts a site's label may show, shared until one of them changes.
    struct CTexts {
        std::string url;
        std::string title;
        std::string annotation;
        std::int32_t time = 0;
        std::vector<std::int32_t> categories; // slots of the categories, in entry order
    };
    struct CLink {
        const CSite* id = nullptr;
        std::shared_ptr<const CTexts> texts;
        std::int32_t x = 0, y = 0, width = 0, height = 0;
        bool hidden = false;
        bool selected = false;
    };
    struct CSiteNode {
        const CSite* id = nullptr; // null: the slot of a removed site
        std::shared_ptr<const CTexts> texts;
        std::int32_t x = 0, y = 0, width = 0, height = 0;
        bool hidden = false;
        bool selected = false;
        std::shared_ptr<const std::vector<CLink>> links; // in the site's order, empty ones left out
    };
    struct CWordNode {
        const CWordEntry* id = nullptr; // null: the slot of a removed word
        std::shared_ptr<const std::string> text;
        std::int32_t x = 0, y = 0, width = 0, height = 0;
        bool selected = false;
        // Site slots of the visited sites that carry it, in the order of their URLs.
        std::shared_ptr<const std::vector<std::uint32_t>> sites;
    };
    // One node of the scene: a visited site, a link node of a visited site or a word.
    struct CNodeRef {
        enum EKind : std::uint8_t { kSite, kLink, kWord };
        EKind kind = kSite;
        std::uint32_t slot = 0; // site slot (sites and links) or word slot
        std::uint32_t link = 0; // index in the site's links
        bool operator==(const CNodeRef&) const = default;
    };

    CMapScene() = default;
    // A copy shares every part and leaves the node grid behind (only the kept scene has one).
    CMapScene(const CMapScene& other);
    CMapScene& operator=(const CMapScene& other);

    // ---- reading (any thread, on a copy that no longer changes) ----
    std::size_t SiteSlots() const { return m_sites.size(); }
    const CSiteNode& Site(std::uint32_t slot) const { return m_sites[slot]; }
    std::size_t WordSlots() const { return m_words.size(); }
    const CWordNode& Word(std::uint32_t slot) const { return m_words[slot]; }
    std::size_t SiteCount() const { return m_siteCount; }
    std::size_t WordCount() const { return m_wordOrder.size(); }
    // Visited sites in the store's order, removed slots left out: visit(slot, site).
    template <class Visit> void ForEachSite(const Visit& visit) const {
        for (std::uint32_t slot = 0; slot < m_sites.size(); ++slot) {
            const CSiteNode& site = m_sites[slot];
            if (site.id)
                visit(slot, site);
        }
    }
    // Words in the order of their texts: visit(slot, word).
    template <class Visit> void ForEachWord(const Visit& visit) const {
        m_wordOrder.ForEach([&](std::uint32_t slot) { visit(slot, m_words[slot]); });
    }
    // The name of the category in a hierarchy slot, or null for an empty slot.
    const std::string* CategoryName(std::int32_t slot) const;
    // A word is drawn when at least 2 of the sites that carry it are visible.
    bool IsWordShown(const CWordNode& word) const;

    // ---- keeping in step with the store (window's thread, the kept scene only) ----
    // Copies the whole store (no database: an empty scene).
    void Reset(const CSiteDatabase* database, const CCategoryTree* categories);
    // A new visited site with its links and words. Its words' positions and site lists are
    // read again too.
    void AddSite(const CSite& site);
    // A visited site about to leave the database (still in it, with its words); for a link
    // node, its site is read again once it has left (UpdateLinkOwner).
    void RemoveSite(const CSite& site);
    // A visited site and its links read again; for a link node, the visited site that owns it.
    // False when the scene does not know the site.
    bool UpdateSite(const CSite& site);
    // After a link node left its site: the site that held it read again.
    void UpdateLinkOwner(const CSite& link);
    void UpdateWord(const CWordEntry& word);
    // Category names read again, and the categories of every site.
    void UpdateCategories(const CCategoryTree* categories);
    // A node's label size as a paint measured it (the store was given it already).
    void SetNodeSize(const CNodeRef& node, std::int32_t width, std::int32_t height);

    // ---- finding nodes (window's thread, the kept scene only) ----
    // The scene slot of a visited site, or -1.
    std::int64_t SlotOf(const CSite* site) const;
    std::int64_t SlotOf(const CWordEntry* word) const;
    // The nodes whose dot square may touch the world rectangle.
    std::vector<CNodeRef> NodesNear(const QRectF& world) const;
    // The store's node of a reference of this scene (window's thread only).
    CSite* SiteOf(const CNodeRef& node) const;
    CWordEntry* WordOf(const CNodeRef& node) const;
    // x, y and diameter of a node's dot.
    void DotOf(const CNodeRef& node, std::int32_t& x, std::int32_t& y, int& diameter) const;

private:
    using CellKey = std::int64_t;
    static constexpr int kCellSize = 64;

    std::shared_ptr<const CTexts> TextsOf(const CSite& site,
                                          const std::shared_ptr<const CTexts>& old) const;
    CLink LinkOf(const CSite& link, const CLink* old) const;
    void FillSite(CSiteNode& node, const CSite& site);
    std::uint32_t AddWordNode(const CWordEntry& word);
    void ReadWord(std::uint32_t slot, const CWordEntry& word);
    void RemoveWordSite(const CWordEntry& word, std::uint32_t siteSlot);
    void EraseWord(std::uint32_t slot);
    bool WordBefore(std::uint32_t a, std::uint32_t b) const;
    void ReadCategoryNames(const CCategoryTree* categories);

    void IndexNode(const CNodeRef& node, std::int32_t x, std::int32_t y);
    void UnindexNode(const CNodeRef& node, std::int32_t x, std::int32_t y);
    void IndexSite(std::uint32_t slot, bool add);
    static CellKey Cell(std::int64_t cx, std::int64_t cy);

    CSharedChunks<CSiteNode> m_sites;
    CSharedChunks<CWordNode> m_words;
    CSharedOrder m_wordOrder;
    std::shared_ptr<const std::vector<std::unique_ptr<const std::string>>> m_categoryNames;
    std::size_t m_siteCount = 0;

    // Only on the kept scene: where each site and word is, and a grid of the dots.
    std::unordered_map<const CSite*, std::uint32_t> m_siteSlots;
    std::unordered_map<const CWordEntry*, std::uint32_t> m_wordSlots;
    std::unordered_map<CellKey, std::vector<CNodeRef>> m_grid;
};
