#pragma once

#include "views/logitem.h"

#include <QTreeWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCategory;
class CCategoryTree;
class CSite;
class CSiteDatabase;
class QMenu;

// The log book: every visited site with its links under "SITES", the category hierarchy with
// its sites under "CATEGORIES". The user edits the hierarchy here by drag and drop and by cut,
// copy and paste. It reads the store through MainFrame() and does nothing while there is none.
//
// The clipboard holds one item. A cut site is owned by the clipboard until it is pasted on
// "SITES" or the clipboard is replaced (then it is freed); a cut category likewise, and one
// never pasted is discarded with its descendant categories (never with their sites).
class CUrlList : public QTreeWidget {
    Q_OBJECT
public:
    explicit CUrlList(QWidget* parent = nullptr);
    // Discards the clipboard. Must run while the main frame's data objects still exist.
    ~CUrlList() override;

    // Fills the tree from the store; done on first display. Does nothing when built already.
    void Build();
    bool IsBuilt() const { return m_built; }
    // A new visited site with its links under "SITES".
    void AddSite(CSite* site);
    // A site-in-category item under every item of the category.
    void AddSiteToCategory(CCategory* category, CSite* site);
    // The category with its sites and, recursively, its children, under the parent's items
    // (under "CATEGORIES" when `parent` is null).
    void InsertCategory(CCategory* parent, CCategory* category);
    // Pictures of every item of the site after it was hidden or shown.
    void UpdateSiteImages(CSite* site);
    void UpdateAllSiteImages();
    // The view update: every label rebuilt with the main frame's SiteLabelText, then sorted.
    void OnUpdate();
    // Sorts the sites under "SITES" by the main frame's "Sort Type".
    void SortSites();

    // A category item's label was edited (the category has its new name already).
    void OnCategoryRenamed();

    // The editing commands on the current item. Each beeps when it cannot act.
    void Cut();
    void Copy();
    void Paste();
    // Makes "(New Category)" and drops it on `target`.
    void NewCategory(CLogItem* target);
    // Drops a tree item on `target` as drag and drop does; false (after a beep) when refused.
    bool DropItem(CLogItem* target, CLogItem* dropped);

    CLogItem* SitesRoot() const { return m_sitesRoot; }
    CLogItem* CategoriesRoot() const { return m_categoriesRoot; }
    // The site's item under "SITES" (visited sites only), or null.
    CLogItem* ItemOfSite(const CSite* site) const;
    // The category's first item, or null.
    CLogItem* ItemOfCategory(const CCategory* category) const;
    // Every item of this tree that shows the object.
    std::vector<CLogItem*> ItemsShowing(const void* object) const;
    bool HasClipboardItem() const { return m_clipboard.kind != 0; }
    // Beeps so far (each refused command beeps once).
    int BeepCount() const { return m_beeps; }

    // The context menu of an item's kind, with the enabled states of this moment; the caller
    // owns it. Its actions act on `item`.
    QMenu* MakeContextMenu(CLogItem* item);
    // True when `a` sorts before `b` (sites under "SITES" by the sort type, categories by name).
    bool LessThan(const CLogItem& a, const CLogItem& b) const;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // What is being dropped: a tree item, the clipboard or a new category.
    struct CDropped {
        int kind = 0;
        CSite* site = nullptr;
        CCategory* category = nullptr;
        CLogItem* item = nullptr;                    // the dragged item, if any
        std::unique_ptr<CCategory>* owner = nullptr; // takes an unregistered category from here
        bool copyOfCategory = false;                 // register a fresh copy of `category`
        bool fromClipboard = false;
    };
    struct CClipboard {
        int kind = 0; // 0: empty, else the kind of the item it came from
        bool copy = false;
        CSite* site = nullptr;
        CCategory* category = nullptr;
        std::unique_ptr<CSite> ownedSite;         // a cut site, until pasted on "SITES"
        std::vector<std::string> siteWords;       // its words, indexed again when pasted
        std::int32_t siteHidden = 0;              // its hidden flag before the cut
        std::unique_ptr<CCategory> ownedCategory; // a cut category, or a copy
        std::int32_t formerIndex = -1;            // the slot a cut category left
        CCategoryTree* tree = nullptr;            // the hierarchy it was cut from
    };

    bool Drop(CLogItem* target, CDropped& dropped);
    bool DropCategory(CLogItem* target, CDropped& dropped);
    bool DropOnSites(CDropped& dropped);
    CCategory* PlaceCategory(CDropped& dropped, std::int32_t newParent);
    void CutSite(CLogItem* item);
    void CutCategory(CLogItem* item);
    void CutSiteInCategory(CLogItem* item);
    void DiscardClipboard();
    void DiscardCutCategory();

    CLogItem* MakeSiteItem(CSite* site, CLogItem::EKind kind);
    // A visited site's item with its links, not yet in the tree.
    CLogItem* MakeSiteItemWithLinks(CSite* site);
    void InsertSiteWithLinks(CSite* site);
    void InsertCategoryItem(CLogItem* parentItem, CCategory* category,
                            std::vector<const CCategory*>& path);
    // The category's item with its sites and child categories, not yet in the tree; null
    // when the category is on `path` already (a loop in a damaged hierarchy).
    CLogItem* MakeCategoryItem(CCategory* category, std::vector<const CCategory*>& path);
    // One item, or many fresh items, in the tree's alphabetical order of texts.
    void InsertSorted(QTreeWidgetItem* parentItem, QTreeWidgetItem* item);
    void InsertAllSorted(QTreeWidgetItem* parentItem, const std::vector<QTreeWidgetItem*>& items);
    void DeleteItemsShowing(const void* object);
    void UpdateImages(CLogItem* item);
    void UpdateLabels();
    void Beep();
    void Refresh();

    void OnHide(CLogItem* item, bool hide);
    void OnHideLinks(CLogItem* item, bool hide);
    void OnHideAll(bool hide);
    void OnFocusCategory(CLogItem* item);
    void OnSiteProperties(CLogItem* item);
    void OnCategoryProperties(CLogItem* item);
    void OnItemExpanded(QTreeWidgetItem* item, bool expanded);

    CLogItem* m_sitesRoot = nullptr;
    CLogItem* m_categoriesRoot = nullptr;
    CClipboard m_clipboard;
    bool m_built = false;
    int m_beeps = 0;
};
