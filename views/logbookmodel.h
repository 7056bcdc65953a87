#pragma once

#include "views/logitem.h"
#include "views/siteorder.h"

#include <QAbstractItemModel>
#include <QIcon>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class CKorvoDoc;
class CSite;
class CCategory;

// The log book's rows over the document's store: "CATEGORIES" with the category hierarchy and
// the sites filed in it, and "SITES" with every visited site and, under each, its links. Rows
// cost nothing until the view asks for them: "SITES" is a sorted list of the visited sites,
// and the rows under a visited site or a category are listed when the view first asks for
// them, and kept in step from then on. Texts are made whenever the view asks for them.
//
// The model follows the document's change notices and never changes the store itself, except
// for a category renamed through setData. The sites under "SITES" follow the sort type (see
// CSiteOrder) in force at the last view update; every other parent lists its children in the
// alphabetical order of their texts without regard to case (sites before categories of the
// same text, then the order of the category's sites, a site's links or the slots).
class CLogBookModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // Longest category name the category file can hold, in bytes.
    static constexpr std::size_t kMaxNameBytes = 8191;

    explicit CLogBookModel(CKorvoDoc& document, QObject* parent = nullptr);
    ~CLogBookModel() override;

    // Lists the two roots and the visited sites from the document's store (no rows before).
    // Nothing while the document has no store, or once built.
    void Build();
    bool IsBuilt() const { return m_built; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Editing a category row renames the category (and tells the document); false for other
    // rows and for names longer than kMaxNameBytes.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

    // What the row stands for; kind kNone for an invalid index.
    CLogItem Item(const QModelIndex& index) const;
    // The pictures of the row, normal and selected (see views/logbookimages.h); -1 for none.
    std::pair<int, int> Images(const QModelIndex& index) const;
    // A category row's picture follows its expanded state.
    void SetExpanded(const QModelIndex& index, bool expanded);

    QModelIndex SitesRoot() const;
    QModelIndex CategoriesRoot() const;
    // The row of a visited site under "SITES", or an invalid index.
    QModelIndex IndexOfSite(const CSite* site) const;
    // The first row showing the category, listing rows on the way as needed; invalid when the
    // hierarchy does not show it.
    QModelIndex IndexOfCategory(const CCategory* category);
    // Every row listed so far that shows the site or category (a row under "SITES" always is).
    std::vector<QModelIndex> IndexesShowing(const void* object) const;

signals:
    // Texts or pictures of any rows may have changed (labels, hidden flags); the view repaints.
    void DisplayChanged();

private:
    struct CNode;
    struct CEntry;

    // Document notices.
    void OnSiteAdded(CSite* site);
    void OnSiteAboutToBeRemoved(CSite* site);
    void OnSiteChanged(CSite* site, CSite* owner);
    void OnSiteFiled(CCategory* category, CSite* site);
    void OnCategoriesChanged();
    void OnViewsUpdated();

    // The node a row stands for (made for a visited site when first asked), or null for rows
    // that never have children.
    CNode* NodeOf(const QModelIndex& index) const;
    CNode* SiteNode(CSite* site) const;
    QModelIndex IndexOfNode(const CNode* node) const;
    int RowOfNode(const CNode* node) const;
    // The row of a visited site in m_sites, or -1.
    int RowOfSite(const CSite* site, int hint = -1) const;
    // Lists the node's children from the store when not done yet.
    void MakeChildren(CNode* node) const;
    void AdoptChildren(CNode* node, std::vector<CEntry> children) const;
    std::vector<CEntry> ListChildren(const CNode* node) const;
    void ListCategorySites(CCategory& category, std::vector<CEntry>& out) const;
    void ListChildCategories(const CNode* node, const std::vector<std::int32_t>& indexes,
                             std::vector<CEntry>& out) const;
    bool IsOnPath(const CNode* node, const CCategory* category) const;
    std::string SiteText(const CSite& site) const;
    bool EntryBefore(const CEntry& a, const CEntry& b) const;
    int SortedPosition(const CNode* node, const CEntry& entry) const;

    void InsertEntry(CNode* node, CEntry entry);
    void RemoveEntries(CNode* node, const CSite* site);
    void RemoveRowsShowing(const CSite* site);
    void RemoveVisitedSite(const CSite* site);
    void RelabelSite(const CSite* site);
    // The row of a site whose sort key may have changed, or -1.
    int RowOfChangedSite(const CSite* site) const;
    void MoveSiteToItsPlace(int row);
    // Children of `node` not listed yet that the view was told have no children (of
    // `category` only, unless null) are listed, so that the view learns they can be expanded.
    void ListWhatTheViewThinksEmpty(CNode* node, const CCategory* category);
    void Reconcile(CNode* node);
    // Texts of every listed site entry again (when `relabel`), then each listed parent back in
    // order in one layout change.
    void ResortListedNodes(bool relabel);
    void ResortNodes(const std::vector<CNode*>& nodes);
    void SortSites();
    void SortSitesIfNotYet() const;
    void SortRows() const;
    template <class Visit> void ForEachListedNode(Visit&& visit) const;
    void FreeNode(std::unique_ptr<CNode> node);
    int CategoryNodeBudget() const;

    QIcon Icon(std::pair<int, int> images) const;

    CKorvoDoc& m_document;
    bool m_built = false;
    std::unique_ptr<CNode> m_top;
    CNode* m_categoriesNode = nullptr;
    CNode* m_sitesNode = nullptr;
    // The visited sites under "SITES", in m_order once the view asked for them; and whether
    // each has links (-1 not known yet).
    mutable std::vector<CSite*> m_sites;
    mutable bool m_sitesSorted = false;
    mutable std::vector<std::int8_t> m_siteLinks;
    CSiteOrder m_order;
    std::int32_t m_viewFlags = 0;
    // Visited sites whose links were asked for.
    mutable std::unordered_map<const CSite*, std::unique_ptr<CNode>> m_siteNodes;
    mutable int m_categoryNodes = 0;
    mutable std::map<int, QIcon> m_icons;
};
