#include "views/logbookmodel.h"

#include "dialogs/displaytext.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "shell/korvodoc.h"
#include "views/logbookimages.h"

#include <QMimeData>

#include <algorithm>
#include <numeric>
#include <set>

namespace {
constexpr std::int8_t kLinksUnknown = -1;
constexpr std::int8_t kNoLinks = 0;
constexpr std::int8_t kHasLinks = 1;

// A damaged hierarchy may list a category under many parents, and following every listing can
// multiply the rows without end (a chain whose categories each list the next two gives
// Fibonacci many). At most two rows per category and this many more are listed.
constexpr int kExtraCategoryNodes = 10000;

const QString kMimeType = QStringLiteral("application/x-wayfold-logbook-row");
} // namespace

// One child row of a listed parent.
struct CLogBookModel::CEntry {
    CLogItem item;
    std::string text;            // the text the parent's children are sorted by
    std::int64_t seq = 0;        // order among equal texts: place in the category or site, or slot
    std::unique_ptr<CNode> node; // a category's own node
};

// A row whose children the model keeps: the invisible top, the two roots, a category, or a
// visited site whose links were asked for. A child row's index points at its parent's node.
struct CLogBookModel::CNode {
    CLogItem item;
    CNode* parent = nullptr;
    mutable int rowHint = 0;
    bool made = false;         // children listed (never for "SITES", whose rows are m_sites)
    mutable int reported = -1; // hasChildren's last answer while not listed: -1 none, 0, 1
    std::vector<CEntry> children;
    std::int64_t nextSeq = 0; // for the sites filed in the category from now on
    int expandState = 0;      // category rows: 0 as made, 1 expanded, 2 collapsed
};

CLogBookModel::CLogBookModel(CKorvoDoc& document, QObject* parent)
    : QAbstractItemModel(parent), m_document(document), m_top(std::make_unique<CNode>()) {
    connect(&document, &CKorvoDoc::SiteAdded, this, &CLogBookModel::OnSiteAdded);
    connect(&document, &CKorvoDoc::SiteAboutToBeRemoved, this,
            &CLogBookModel::OnSiteAboutToBeRemoved);
    // A remover that did not announce the removal still takes the rows away.
    connect(&document, &CKorvoDoc::SiteRemoved, this, &CLogBookModel::OnSiteAboutToBeRemoved);
    connect(&document, &CKorvoDoc::SiteChanged, this, &CLogBookModel::OnSiteChanged);
    connect(&document, &CKorvoDoc::SiteFiled, this, &CLogBookModel::OnSiteFiled);
    connect(&document, &CKorvoDoc::CategoriesChanged, this, &CLogBookModel::OnCategoriesChanged);
    connect(&document, &CKorvoDoc::StoreChanged, this, &CLogBookModel::DisplayChanged);
    connect(&document, &CKorvoDoc::ViewsUpdated, this, &CLogBookModel::OnViewsUpdated);
}

CLogBookModel::~CLogBookModel() = default;

void CLogBookModel::Build() {
    const CSiteDatabase* database = m_document.Database();
    if (m_built || database == nullptr || m_document.CategoryTree() == nullptr)
        return;
    beginResetModel();
    m_built = true;
    m_order = CSiteOrder(m_document.Settings().sortType);
    m_viewFlags = m_document.Settings().viewFlags;
    m_top->made = true;
    for (CLogItem::EKind kind : {CLogItem::kCategoriesRoot, CLogItem::kSitesRoot}) {
        CEntry entry;
        entry.item.kind = kind;
        entry.node = std::make_unique<CNode>();
        entry.node->item = entry.item;
        entry.node->parent = m_top.get();
        m_top->children.push_back(std::move(entry));
    }
    m_categoriesNode = m_top->children[0].node.get();
    m_sitesNode = m_top->children[1].node.get();
    m_sitesNode->made = true;
    // Sorted when the view first asks for the rows under "SITES".
    m_sites.reserve(database->Sites().size());
    for (const auto& site : database->Sites())
        if (site)
            m_sites.push_back(site.get());
    m_sitesSorted = false;
    endResetModel();
}

void CLogBookModel::SortSitesIfNotYet() const {
    if (m_sitesSorted)
        return;
    SortRows();
    m_sitesSorted = true;
}

// Puts the sites into m_order reading each site once (by its key first), and notes which ones
// have links on the way.
void CLogBookModel::SortRows() const {
    struct CRow {
        CSiteOrder::CKey key;
        CSite* site;
        std::int8_t links;
    };
    std::vector<CRow> rows;
    rows.reserve(m_sites.size());
    for (CSite* site : m_sites) {
        const bool links = std::any_of(site->m_links.begin(), site->m_links.end(),
                                       [](const auto& link) { return link != nullptr; });
        rows.push_back({m_order.KeyOf(*site), site, links ? kHasLinks : kNoLinks});
    }
    std::sort(rows.begin(), rows.end(), [this](const CRow& a, const CRow& b) {
        return a.key != b.key ? a.key < b.key : m_order(a.site, b.site);
    });
    m_siteLinks.resize(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        m_sites[i] = rows[i].site;
        m_siteLinks[i] = rows[i].links;
    }
}

// ---- the Qt model -------------------------------------------------------------------------

QModelIndex CLogBookModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0 || parent.column() > 0 || !m_built)
        return {};
    CNode* node = NodeOf(parent);
    if (node == nullptr)
        return {};
    if (node != m_sitesNode)
        MakeChildren(node);
    else
        SortSitesIfNotYet();
    const std::size_t count = node == m_sitesNode ? m_sites.size() : node->children.size();
    if (static_cast<std::size_t>(row) >= count)
        return {};
    return createIndex(row, 0, node);
}

QModelIndex CLogBookModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    return IndexOfNode(static_cast<const CNode*>(child.internalPointer()));
}

int CLogBookModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0 || !m_built)
        return 0;
    if (parent.isValid() && parent.internalPointer() == m_sitesNode &&
        m_sites[static_cast<std::size_t>(parent.row())]->m_links.empty())
        return 0;
    CNode* node = NodeOf(parent);
    if (node == nullptr)
        return 0;
    if (node == m_sitesNode) {
        SortSitesIfNotYet();
        return static_cast<int>(m_sites.size());
    }
    MakeChildren(node);
    return static_cast<int>(node->children.size());
}

int CLogBookModel::columnCount(const QModelIndex& parent) const {
    return parent.column() > 0 ? 0 : 1;
}

bool CLogBookModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid())
        return m_built;
    if (parent.column() > 0)
        return false;
    const auto* holder = static_cast<const CNode*>(parent.internalPointer());
    const auto row = static_cast<std::size_t>(parent.row());
    if (holder == m_sitesNode) {
        // Asked for every row the view lays out: the site is read once.
        std::int8_t& links = m_siteLinks[row];
        if (links == kLinksUnknown) {
            const auto& all = m_sites[row]->m_links;
            links = std::any_of(all.begin(), all.end(),
                                [](const auto& link) { return link != nullptr; })
                        ? kHasLinks
                        : kNoLinks;
        }
        return links == kHasLinks;
    }
    const CNode* node = holder->children[row].node.get();
    if (node == nullptr)
        return false;
    if (node == m_sitesNode)
        return !m_sites.empty();
    if (node->made)
        return !node->children.empty();
    bool any = false;
    if (node == m_categoriesNode) {
        const CCategoryTree* tree = m_document.CategoryTree();
        for (int slot = 0; tree && slot < tree->SlotCount() && !any; ++slot) {
            const CCategory* category = tree->CategoryAt(slot);
            any = category != nullptr && category->m_parent < 0;
        }
    } else {
        const CCategory* category = node->item.category;
        any = !category->m_sites.empty() || category->m_children.ActiveCount() > 0;
    }
    node->reported = any ? 1 : 0;
    return any;
}

QVariant CLogBookModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const CLogItem item = Item(index);
    if (role == Qt::DecorationRole)
        return Icon(Images(index));
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    switch (item.kind) {
    case CLogItem::kCategory:
        return ToDisplayText(item.category->m_name);
    case CLogItem::kCategorySite:
    case CLogItem::kSite:
        return ToDisplayText(SiteText(*item.site));
    case CLogItem::kSitesRoot:
        return QStringLiteral("SITES");
    case CLogItem::kCategoriesRoot:
        return QStringLiteral("CATEGORIES");
    case CLogItem::kNone:
        break;
    }
    return QStringLiteral("UNKNOWN");
}

bool CLogBookModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const CLogItem item = Item(index);
    if (role != Qt::EditRole || item.kind != CLogItem::kCategory)
        return false;
    std::string name = FromDisplayText(value.toString());
    if (name.size() > kMaxNameBytes)
        return false;
    if (name == item.category->m_name)
        return true;
    item.category->m_name = std::move(name);
    emit dataChanged(index, index);
    m_document.NoteCategoriesChanged();
    m_document.UpdateAllViews();
    return true;
}

Qt::ItemFlags CLogBookModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    // Asked for every row the view lays out: a row under "SITES" is answered without reading
    // its site.
    if (index.internalPointer() == m_sitesNode)
        return flags;
    const CLogItem item = Item(index);
    if (item.kind == CLogItem::kCategory)
        flags |= Qt::ItemIsEditable;
    if (item.kind == CLogItem::kCategorySite || item.IsLink())
        flags |= Qt::ItemNeverHasChildren;
    return flags;
}

Qt::DropActions CLogBookModel::supportedDropActions() const {
    return Qt::CopyAction;
}

QStringList CLogBookModel::mimeTypes() const {
    return {kMimeType};
}

// Rows are dragged within the log book only; the view knows which row it is.
QMimeData* CLogBookModel::mimeData(const QModelIndexList& indexes) const {
    auto* mime = new QMimeData;
    mime->setData(kMimeType, QByteArray::number(indexes.size()));
    return mime;
}

// ---- rows and nodes -----------------------------------------------------------------------

CLogItem CLogBookModel::Item(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return {};
    const auto* holder = static_cast<const CNode*>(index.internalPointer());
    const auto row = static_cast<std::size_t>(index.row());
    if (holder == m_sitesNode) {
        if (row >= m_sites.size())
            return {};
        CLogItem item;
        item.kind = CLogItem::kSite;
        item.site = m_sites[row];
        return item;
    }
    return row < holder->children.size() ? holder->children[row].item : CLogItem{};
}

CLogBookModel::CNode* CLogBookModel::NodeOf(const QModelIndex& index) const {
    if (!index.isValid())
        return m_top.get();
    const auto* holder = static_cast<const CNode*>(index.internalPointer());
    const auto row = static_cast<std::size_t>(index.row());
    if (holder == m_sitesNode)
        return row < m_sites.size() ? SiteNode(m_sites[row]) : nullptr;
    return row < holder->children.size() ? holder->children[row].node.get() : nullptr;
}

CLogBookModel::CNode* CLogBookModel::SiteNode(CSite* site) const {
    std::unique_ptr<CNode>& node = m_siteNodes[site];
    if (!node) {
        node = std::make_unique<CNode>();
        node->item.kind = CLogItem::kSite;
        node->item.site = site;
        node->parent = m_sitesNode;
    }
    return node.get();
}

QModelIndex CLogBookModel::IndexOfNode(const CNode* node) const {
    if (node == nullptr || node == m_top.get())
        return {};
    const int row = RowOfNode(node);
    return row < 0 ? QModelIndex() : createIndex(row, 0, node->parent);
}

int CLogBookModel::RowOfNode(const CNode* node) const {
    const CNode* holder = node->parent;
    if (holder == m_sitesNode) {
        node->rowHint = RowOfSite(node->item.site, node->rowHint);
        return node->rowHint;
    }
    const auto& siblings = holder->children;
    const auto hint = static_cast<std::size_t>(node->rowHint);
    if (hint < siblings.size() && siblings[hint].node.get() == node)
        return node->rowHint;
    for (std::size_t row = 0; row < siblings.size(); ++row) {
        if (siblings[row].node.get() == node) {
            node->rowHint = static_cast<int>(row);
            return node->rowHint;
        }
    }
    return -1;
}

int CLogBookModel::RowOfSite(const CSite* site, int hint) const {
    if (hint >= 0 && static_cast<std::size_t>(hint) < m_sites.size() &&
        m_sites[static_cast<std::size_t>(hint)] == site)
        return hint;
    // The list is in order unless the site changed and the notice is still on its way.
    if (m_sitesSorted) {
        const auto placed = std::lower_bound(m_sites.begin(), m_sites.end(), site, m_order);
        if (placed != m_sites.end() && *placed == site)
            return static_cast<int>(placed - m_sites.begin());
    }
    const auto found = std::find(m_sites.begin(), m_sites.end(), site);
    return found == m_sites.end() ? -1 : static_cast<int>(found - m_sites.begin());
}

QModelIndex CLogBookModel::SitesRoot() const {
    return m_built ? createIndex(1, 0, m_top.get()) : QModelIndex();
}

QModelIndex CLogBookModel::CategoriesRoot() const {
    return m_built ? createIndex(0, 0, m_top.get()) : QModelIndex();
}

QModelIndex CLogBookModel::IndexOfSite(const CSite* site) const {
    if (!m_built || site == nullptr)
        return {};
    SortSitesIfNotYet();
    const int row = RowOfSite(site);
    return row < 0 ? QModelIndex() : createIndex(row, 0, m_sitesNode);
}

QModelIndex CLogBookModel::IndexOfCategory(const CCategory* category) {
    const CCategoryTree* tree = m_document.CategoryTree();
    if (!m_built || category == nullptr || tree == nullptr)
        return {};
    // Down the parent chain first; a damaged hierarchy may need the search below.
    std::vector<const CCategory*> chain{category};
    std::set<const CCategory*> seen{category};
    for (const CCategory* up = tree->CategoryAt(category->m_parent); up && seen.insert(up).second;
         up = tree->CategoryAt(up->m_parent))
        chain.push_back(up);
    CNode* node = m_categoriesNode;
    for (auto it = chain.rbegin(); node != nullptr && it != chain.rend(); ++it) {
        MakeChildren(node);
        CNode* next = nullptr;
        for (const CEntry& entry : node->children)
            if (entry.item.kind == CLogItem::kCategory && entry.item.category == *it)
                next = entry.node.get();
        node = next;
    }
    if (node != nullptr)
        return IndexOfNode(node);
    std::vector<CNode*> pending{m_categoriesNode};
    while (!pending.empty()) {
        CNode* parent = pending.back();
        pending.pop_back();
        MakeChildren(parent);
        for (const CEntry& entry : parent->children) {
            if (entry.item.kind != CLogItem::kCategory)
                continue;
            if (entry.item.category == category)
                return IndexOfNode(entry.node.get());
            pending.push_back(entry.node.get());
        }
    }
    return {};
}

std::vector<QModelIndex> CLogBookModel::IndexesShowing(const void* object) const {
    std::vector<QModelIndex> found;
    if (!m_built || object == nullptr)
        return found;
    SortSitesIfNotYet();
    for (std::size_t row = 0; row < m_sites.size(); ++row)
        if (m_sites[row] == object)
            found.push_back(createIndex(static_cast<int>(row), 0, m_sitesNode));
    ForEachListedNode([&](CNode* node) {
        for (std::size_t row = 0; row < node->children.size(); ++row)
            if (node->children[row].item.Object() == object)
                found.push_back(createIndex(static_cast<int>(row), 0, node));
    });
    return found;
}

template <class Visit> void CLogBookModel::ForEachListedNode(Visit&& visit) const {
    std::vector<CNode*> nodes;
    std::vector<CNode*> pending{m_categoriesNode};
    while (!pending.empty()) {
        CNode* node = pending.back();
        pending.pop_back();
        if (node == nullptr || !node->made)
            continue;
        nodes.push_back(node);
        for (const CEntry& entry : node->children)
            pending.push_back(entry.node.get());
    }
    for (const auto& [site, node] : m_siteNodes)
        if (node->made)
            nodes.push_back(node.get());
    for (CNode* node : nodes)
        visit(node);
}

// ---- listing children ---------------------------------------------------------------------

void CLogBookModel::MakeChildren(CNode* node) const {
    if (!node->made)
        AdoptChildren(node, ListChildren(node));
}

void CLogBookModel::AdoptChildren(CNode* node, std::vector<CEntry> children) const {
    node->made = true;
    for (CEntry& entry : children) {
        if (entry.item.kind == CLogItem::kCategory) {
            entry.node = std::make_unique<CNode>();
            entry.node->item = entry.item;
            entry.node->parent = node;
            ++m_categoryNodes;
        }
    }
    node->children = std::move(children);
    if (node->item.kind == CLogItem::kCategory)
        node->nextSeq = static_cast<std::int64_t>(node->item.category->m_sites.size());
}

std::vector<CLogBookModel::CEntry> CLogBookModel::ListChildren(const CNode* node) const {
    std::vector<CEntry> out;
    const CCategoryTree* tree = m_document.CategoryTree();
    if (node == m_categoriesNode && tree != nullptr) {
        std::vector<std::int32_t> topLevel;
        for (int slot = 0; slot < tree->SlotCount(); ++slot) {
            const CCategory* category = tree->CategoryAt(slot);
            if (category != nullptr && category->m_parent < 0)
                topLevel.push_back(slot);
        }
        ListChildCategories(node, topLevel, out);
    } else if (node->item.kind == CLogItem::kCategory) {
        ListCategorySites(*node->item.category, out);
        ListChildCategories(node, node->item.category->m_children.ActiveKeys(), out);
    } else if (node->item.kind == CLogItem::kSite) {
        const auto& links = node->item.site->m_links;
        for (std::size_t i = 0; i < links.size(); ++i) {
            if (!links[i])
                continue;
            CEntry entry;
            entry.item.kind = CLogItem::kSite;
            entry.item.site = links[i].get();
            entry.item.owner = node->item.site;
            entry.text = SiteText(*links[i]);
            entry.seq = static_cast<std::int64_t>(i);
            out.push_back(std::move(entry));
        }
    }
    std::sort(out.begin(), out.end(),
              [this](const CEntry& a, const CEntry& b) { return EntryBefore(a, b); });
    return out;
}

void CLogBookModel::ListCategorySites(CCategory& category, std::vector<CEntry>& out) const {
    for (std::size_t i = 0; i < category.m_sites.size(); ++i) {
        CEntry entry;
        entry.item.kind = CLogItem::kCategorySite;
        entry.item.site = category.m_sites[i];
        entry.item.category = &category;
        entry.text = SiteText(*category.m_sites[i]);
        entry.seq = static_cast<std::int64_t>(i);
        out.push_back(std::move(entry));
    }
}

void CLogBookModel::ListChildCategories(const CNode* node, const std::vector<std::int32_t>& indexes,
                                        std::vector<CEntry>& out) const {
    const CCategoryTree* tree = m_document.CategoryTree();
    int listed = 0;
    for (std::int32_t slot : indexes) {
        CCategory* category = tree ? tree->CategoryAt(slot) : nullptr;
        // A damaged hierarchy may hold a loop of children: a category shows once per branch.
        if (category == nullptr || IsOnPath(node, category) ||
            m_categoryNodes + listed >= CategoryNodeBudget())
            continue;
        CEntry entry;
        entry.item.kind = CLogItem::kCategory;
        entry.item.category = category;
        entry.text = category->m_name;
        entry.seq = slot;
        out.push_back(std::move(entry));
        ++listed;
    }
}

bool CLogBookModel::IsOnPath(const CNode* node, const CCategory* category) const {
    for (; node != nullptr; node = node->parent)
        if (node->item.kind == CLogItem::kCategory && node->item.category == category)
            return true;
    return false;
}

int CLogBookModel::CategoryNodeBudget() const {
    const CCategoryTree* tree = m_document.CategoryTree();
    return kExtraCategoryNodes + 2 * (tree ? tree->SlotCount() : 0);
}

std::string CLogBookModel::SiteText(const CSite& site) const {
    return m_document.SiteLabelText(site, true);
}

bool CLogBookModel::EntryBefore(const CEntry& a, const CEntry& b) const {
    const int order = CompareWithoutCase(a.text, b.text);
    if (order != 0)
        return order < 0;
    const bool aCategory = a.item.kind == CLogItem::kCategory;
    const bool bCategory = b.item.kind == CLogItem::kCategory;
    if (aCategory != bCategory)
        return bCategory;
    return a.seq < b.seq;
}

int CLogBookModel::SortedPosition(const CNode* node, const CEntry& entry) const {
    const auto& children = node->children;
    const auto place =
        std::lower_bound(children.begin(), children.end(), entry,
                         [this](const CEntry& a, const CEntry& b) { return EntryBefore(a, b); });
    return static_cast<int>(place - children.begin());
}

void CLogBookModel::FreeNode(std::unique_ptr<CNode> node) {
    if (!node)
        return;
    std::vector<CNode*> pending{node.get()};
    while (!pending.empty()) {
        CNode* next = pending.back();
        pending.pop_back();
        if (next->item.kind == CLogItem::kCategory)
            --m_categoryNodes;
        for (const CEntry& entry : next->children)
            if (entry.node)
                pending.push_back(entry.node.get());
    }
}

// ---- following the document ---------------------------------------------------------------

void CLogBookModel::OnSiteAdded(CSite* site) {
    if (!m_built || site == nullptr)
        return;
    // Unsorted until the rows are asked for: a new site simply comes last.
    const auto place = m_sitesSorted
                           ? std::lower_bound(m_sites.begin(), m_sites.end(), site, m_order)
                           : m_sites.end();
    if (place != m_sites.end() && *place == site)
        return;
    const int row = static_cast<int>(place - m_sites.begin());
    beginInsertRows(SitesRoot(), row, row);
    m_sites.insert(place, site);
    if (m_sitesSorted)
        m_siteLinks.insert(m_siteLinks.begin() + row, kLinksUnknown);
    endInsertRows();
    // Links naming it now show as visited.
    emit DisplayChanged();
}

void CLogBookModel::OnSiteAboutToBeRemoved(CSite* site) {
    if (!m_built || site == nullptr)
        return;
    RemoveRowsShowing(site);
    for (const auto& link : site->m_links)
        if (link)
            RemoveRowsShowing(link.get());
    RemoveVisitedSite(site);
}

void CLogBookModel::RemoveRowsShowing(const CSite* site) {
    ForEachListedNode([this, site](CNode* node) { RemoveEntries(node, site); });
}

void CLogBookModel::RemoveEntries(CNode* node, const CSite* site) {
    for (std::size_t i = node->children.size(); i-- > 0;) {
        const CLogItem& item = node->children[i].item;
        if (!item.IsSite() || item.site != site)
            continue;
        const int row = static_cast<int>(i);
        beginRemoveRows(IndexOfNode(node), row, row);
        node->children.erase(node->children.begin() + row);
        endRemoveRows();
        if (node->parent == m_sitesNode && m_sitesSorted) {
            const int owner = RowOfSite(node->item.site, node->rowHint);
            if (owner >= 0)
                m_siteLinks[static_cast<std::size_t>(owner)] = kLinksUnknown;
        }
    }
}

void CLogBookModel::RemoveVisitedSite(const CSite* site) {
    const auto placed = m_siteNodes.find(site);
    const int row = RowOfSite(site, placed == m_siteNodes.end() ? -1 : placed->second->rowHint);
    if (row < 0)
        return;
    beginRemoveRows(SitesRoot(), row, row);
    m_sites.erase(m_sites.begin() + row);
    if (m_sitesSorted)
        m_siteLinks.erase(m_siteLinks.begin() + row);
    endRemoveRows();
    m_siteNodes.erase(site);
}

void CLogBookModel::OnSiteChanged(CSite* site, CSite* owner) {
    if (!m_built || site == nullptr)
        return;
    // Rows not sorted yet take the change when they are; a link (with its owner) is no row.
    const int row = m_sitesSorted && owner == nullptr ? RowOfChangedSite(site) : -1;
    if (row >= 0) {
        MoveSiteToItsPlace(row);
        const QModelIndex shown = IndexOfSite(site);
        emit dataChanged(shown, shown);
    }
    RelabelSite(site);
}

int CLogBookModel::RowOfChangedSite(const CSite* site) const {
    const auto placed = std::lower_bound(m_sites.begin(), m_sites.end(), site, m_order);
    if (placed != m_sites.end() && *placed == site)
        return static_cast<int>(placed - m_sites.begin());
    // Only a visited site can be under "SITES": a link needs no search of the whole list.
    const CSiteDatabase* database = m_document.Database();
    if (site->m_visited != 0 || (database && database->FindSite(site->m_url) == site))
        return RowOfSite(site);
    return -1;
}

void CLogBookModel::MoveSiteToItsPlace(int row) {
    const auto at = m_sites.begin() + row;
    CSite* site = *at;
    const bool afterPrevious = row == 0 || m_order(*(at - 1), site);
    const bool beforeNext = at + 1 == m_sites.end() || m_order(site, *(at + 1));
    if (afterPrevious && beforeNext)
        return;
    if (!afterPrevious) {
        const auto to = std::lower_bound(m_sites.begin(), at, site, m_order);
        const int target = static_cast<int>(to - m_sites.begin());
        beginMoveRows(SitesRoot(), row, row, SitesRoot(), target);
        std::rotate(to, at, at + 1);
        std::rotate(m_siteLinks.begin() + target, m_siteLinks.begin() + row,
                    m_siteLinks.begin() + row + 1);
        endMoveRows();
        return;
    }
    const auto to = std::lower_bound(at + 1, m_sites.end(), site, m_order);
    const int target = static_cast<int>(to - m_sites.begin()) - 1;
    beginMoveRows(SitesRoot(), row, row, SitesRoot(), target + 1);
    std::rotate(at, at + 1, to);
    std::rotate(m_siteLinks.begin() + row, m_siteLinks.begin() + row + 1,
                m_siteLinks.begin() + target + 1);
    endMoveRows();
}

void CLogBookModel::RelabelSite(const CSite* site) {
    std::vector<CNode*> changed;
    ForEachListedNode([&](CNode* node) {
        for (std::size_t row = 0; row < node->children.size(); ++row) {
            CEntry& entry = node->children[row];
            if (!entry.item.IsSite() || entry.item.site != site)
                continue;
            entry.text = SiteText(*site);
            const QModelIndex shown = createIndex(static_cast<int>(row), 0, node);
            emit dataChanged(shown, shown);
            changed.push_back(node);
        }
    });
    std::vector<CNode*> resort;
    for (CNode* node : changed)
        if (std::find(resort.begin(), resort.end(), node) == resort.end())
            resort.push_back(node);
    ResortNodes(resort);
}

void CLogBookModel::OnSiteFiled(CCategory* category, CSite* site) {
    if (!m_built || category == nullptr || site == nullptr)
        return;
    RelabelSite(site);
    ForEachListedNode([&](CNode* node) {
        if (node->item.kind != CLogItem::kCategory || node->item.category != category)
            return;
        CEntry entry;
        entry.item.kind = CLogItem::kCategorySite;
        entry.item.site = site;
        entry.item.category = category;
        entry.text = SiteText(*site);
        entry.seq = node->nextSeq++;
        InsertEntry(node, std::move(entry));
    });
    ForEachListedNode([&](CNode* node) { ListWhatTheViewThinksEmpty(node, category); });
    emit DisplayChanged();
}

void CLogBookModel::InsertEntry(CNode* node, CEntry entry) {
    const int row = SortedPosition(node, entry);
    beginInsertRows(IndexOfNode(node), row, row);
    node->children.insert(node->children.begin() + row, std::move(entry));
    endInsertRows();
}

void CLogBookModel::ListWhatTheViewThinksEmpty(CNode* node, const CCategory* category) {
    for (const CEntry& entry : node->children) {
        CNode* child = entry.node.get();
        if (child == nullptr || child->made || child->reported != 0 ||
            (category != nullptr && child->item.category != category))
            continue;
        std::vector<CEntry> listed = ListChildren(child);
        if (listed.empty())
            continue;
        // Listed (empty) first: a count taken before the insertion must be the old one.
        child->made = true;
        beginInsertRows(IndexOfNode(child), 0, static_cast<int>(listed.size()) - 1);
        AdoptChildren(child, std::move(listed));
        endInsertRows();
    }
}

void CLogBookModel::OnCategoriesChanged() {
    if (!m_built)
        return;
    Reconcile(m_categoriesNode);
    ResortListedNodes(true);
    emit DisplayChanged();
}

// Brings a listed node's children in line with the store: rows that went are removed, new
// ones appended (the resort that follows puts them in their place), and listed children are
// brought in line in turn.
void CLogBookModel::Reconcile(CNode* node) {
    if (!node->made) {
        if (node == m_categoriesNode)
            ListWhatTheViewThinksEmpty(m_top.get(), nullptr);
        return;
    }
    std::vector<CEntry> wanted = ListChildren(node);
    std::vector<bool> used(wanted.size(), false);
    std::vector<int> match(node->children.size(), -1);
    std::multimap<std::pair<int, const void*>, int> wantedAt;
    for (std::size_t w = 0; w < wanted.size(); ++w)
        wantedAt.emplace(std::make_pair(wanted[w].item.kind, wanted[w].item.Object()),
                         static_cast<int>(w));
    for (std::size_t c = 0; c < node->children.size(); ++c) {
        const CLogItem& item = node->children[c].item;
        const auto found = wantedAt.lower_bound(std::make_pair(item.kind, item.Object()));
        if (found == wantedAt.end() ||
            found->first != std::make_pair(int(item.kind), item.Object()))
            continue;
        match[c] = found->second;
        used[static_cast<std::size_t>(found->second)] = true;
        wantedAt.erase(found);
    }
    const QModelIndex parentIndex = IndexOfNode(node);
    for (std::size_t c = node->children.size(); c-- > 0;) {
        if (match[c] >= 0)
            continue;
        const int row = static_cast<int>(c);
        beginRemoveRows(parentIndex, row, row);
        std::unique_ptr<CNode> gone = std::move(node->children[c].node);
        node->children.erase(node->children.begin() + row);
        endRemoveRows();
        FreeNode(std::move(gone));
    }
    std::erase(match, -1);
    for (std::size_t c = 0; c < node->children.size(); ++c) {
        CEntry& entry = node->children[c];
        entry.text = wanted[static_cast<std::size_t>(match[c])].text;
        entry.seq = wanted[static_cast<std::size_t>(match[c])].seq;
    }
    std::vector<CEntry> added;
    for (std::size_t w = 0; w < wanted.size(); ++w) {
        if (used[w])
            continue;
        CEntry& entry = wanted[w];
        if (entry.item.kind == CLogItem::kCategory) {
            entry.node = std::make_unique<CNode>();
            entry.node->item = entry.item;
            entry.node->parent = node;
            ++m_categoryNodes;
        }
        added.push_back(std::move(entry));
    }
    if (!added.empty()) {
        const int first = static_cast<int>(node->children.size());
        beginInsertRows(parentIndex, first, first + static_cast<int>(added.size()) - 1);
        for (CEntry& entry : added)
            node->children.push_back(std::move(entry));
        endInsertRows();
    }
    if (node->item.kind == CLogItem::kCategory)
        node->nextSeq = static_cast<std::int64_t>(node->item.category->m_sites.size());
    ListWhatTheViewThinksEmpty(node, nullptr);
    for (const CEntry& entry : node->children)
        if (entry.node)
            Reconcile(entry.node.get());
}

void CLogBookModel::OnViewsUpdated() {
    if (!m_built)
        return;
    const CSettings& settings = m_document.Settings();
    if (settings.sortType != m_order.SortType()) {
        m_order = CSiteOrder(settings.sortType);
        SortSites();
    }
    if (settings.viewFlags != m_viewFlags) {
        m_viewFlags = settings.viewFlags;
        ResortListedNodes(true);
    }
    emit DisplayChanged();
}

void CLogBookModel::SortSites() {
    if (!m_sitesSorted)
        return;
    const QModelIndex sitesRoot = SitesRoot();
    emit layoutAboutToBeChanged({QPersistentModelIndex(sitesRoot)},
                                QAbstractItemModel::VerticalSortHint);
    const std::vector<CSite*> before = m_sites;
    SortRows();
    const QModelIndexList persistent = persistentIndexList();
    for (const QModelIndex& index : persistent) {
        if (index.internalPointer() != m_sitesNode)
            continue;
        const int row = RowOfSite(before[static_cast<std::size_t>(index.row())]);
        changePersistentIndex(index, createIndex(row, 0, m_sitesNode));
    }
    emit layoutChanged({QPersistentModelIndex(sitesRoot)}, QAbstractItemModel::VerticalSortHint);
}

void CLogBookModel::ResortListedNodes(bool relabel) {
    std::vector<CNode*> nodes;
    ForEachListedNode([&](CNode* node) {
        if (relabel)
            for (CEntry& entry : node->children)
                if (entry.item.IsSite())
                    entry.text = SiteText(*entry.item.site);
        nodes.push_back(node);
    });
    ResortNodes(nodes);
}

void CLogBookModel::ResortNodes(const std::vector<CNode*>& nodes) {
    const auto before = [this](const CEntry& a, const CEntry& b) { return EntryBefore(a, b); };
    std::vector<CNode*> unsorted;
    for (CNode* node : nodes)
        if (!std::is_sorted(node->children.begin(), node->children.end(), before))
            unsorted.push_back(node);
    if (unsorted.empty())
        return;
    QList<QPersistentModelIndex> parents;
    for (CNode* node : unsorted)
        parents.append(QPersistentModelIndex(IndexOfNode(node)));
    emit layoutAboutToBeChanged(parents, QAbstractItemModel::VerticalSortHint);
    // New row of every old row, per node.
    std::map<const CNode*, std::vector<int>> moved;
    for (CNode* node : unsorted) {
        std::vector<int> order(node->children.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return before(node->children[static_cast<std::size_t>(a)],
                          node->children[static_cast<std::size_t>(b)]);
        });
        std::vector<CEntry> sorted;
        sorted.reserve(order.size());
        std::vector<int>& newRow = moved[node];
        newRow.resize(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            newRow[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
            sorted.push_back(std::move(node->children[static_cast<std::size_t>(order[i])]));
        }
        node->children = std::move(sorted);
    }
    for (const QModelIndex& index : persistentIndexList()) {
        const auto found = moved.find(static_cast<const CNode*>(index.internalPointer()));
        if (found == moved.end())
            continue;
        const int row = found->second[static_cast<std::size_t>(index.row())];
        changePersistentIndex(index, createIndex(row, 0, index.internalPointer()));
    }
    emit layoutChanged(parents, QAbstractItemModel::VerticalSortHint);
}

// ---- pictures -----------------------------------------------------------------------------

std::pair<int, int> CLogBookModel::Images(const QModelIndex& index) const {
    const CLogItem item = Item(index);
    switch (item.kind) {
    case CLogItem::kSitesRoot:
        return {8, 8};
    case CLogItem::kCategoriesRoot:
        return {9, 10};
    case CLogItem::kCategory: {
        const CNode* node = NodeOf(index);
        const int state = node ? node->expandState : 0;
        return state == 1 ? std::pair{11, 11} : state == 2 ? std::pair{12, 12} : std::pair{11, 12};
    }
    case CLogItem::kCategorySite:
        return {13, 14};
    case CLogItem::kSite: {
        const CSiteDatabase* database = m_document.Database();
        const CSite& site = *item.site;
        const bool visited =
            site.m_visited != 0 || (database && database->FindSite(site.m_url) != nullptr);
        if (visited)
            return site.m_hidden ? std::pair{2, 3} : std::pair{0, 1};
        return site.m_hidden ? std::pair{7, 6} : std::pair{4, 5};
    }
    case CLogItem::kNone:
        break;
    }
    return {-1, -1};
}

void CLogBookModel::SetExpanded(const QModelIndex& index, bool expanded) {
    if (Item(index).kind != CLogItem::kCategory)
        return;
    if (CNode* node = NodeOf(index)) {
        node->expandState = expanded ? 1 : 2;
        emit dataChanged(index, index, {Qt::DecorationRole});
    }
}

QIcon CLogBookModel::Icon(std::pair<int, int> images) const {
    const int key = images.first * 100 + images.second;
    auto found = m_icons.find(key);
    if (found == m_icons.end())
        found = m_icons.emplace(key, LogBookIcon(images.first, images.second)).first;
    return found->second;
}
