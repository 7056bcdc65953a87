#include "views/urllist.h"

#include "dialogs/categorypropertiesdlg.h"
#include "dialogs/dialogcommands.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "shell/settings.h"
#include "views/mapnavigator.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QWheelEvent>

#include <algorithm>
#include <cctype>
#include <functional>
#include <set>
#include <string_view>
#include <utility>

namespace {
CSiteDatabase* Database() {
    return MainFrame() ? MainFrame()->Database() : nullptr;
}

CCategoryTree* Categories() {
    return MainFrame() ? MainFrame()->CategoryTree() : nullptr;
}

std::string_view WithoutLeadingSpace(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) {
        ++start;
    }
    return text.substr(start);
}

int CompareWithoutCase(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The tree's alphabetical order of item texts.
bool TextBefore(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}
} // namespace

CUrlList::CUrlList(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("LogBook"));
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setDropIndicatorShown(false);
    setExpandsOnDoubleClick(true);
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { OnItemExpanded(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { OnItemExpanded(item, false); });
}

CUrlList::~CUrlList() {
    DiscardClipboard();
}

// ---- building -------------------------------------------------------------------------------

namespace {
// A damaged hierarchy may list a category under many parents, and following every listing can
// multiply the items without end (a chain whose categories each list the next two gives
// Fibonacci many). One build, or one insertion, makes at most two items per category and this
// many more.
constexpr int kExtraCategoryItems = 10000;
int g_categoryItemsLeft = 0;

int CategoryItemBudget(const CCategoryTree* categories) {
    return kExtraCategoryItems + 2 * (categories ? categories->SlotCount() : 0);
}
} // namespace

void CUrlList::showEvent(QShowEvent* event) {
    QTreeWidget::showEvent(event);
    Build();
}

void CUrlList::Build() {
    CSiteDatabase* database = Database();
    CCategoryTree* categories = Categories();
    if (m_built || database == nullptr || categories == nullptr) {
        return;
    }
    m_built = true;
    m_categoriesRoot = new CLogItem(CLogItem::kCategoriesRoot);
    m_categoriesRoot->SetImages(9, 10);
    m_sitesRoot = new CLogItem(CLogItem::kSitesRoot);
    m_sitesRoot->SetImages(8, 8);
    InsertSorted(invisibleRootItem(), m_categoriesRoot);
    InsertSorted(invisibleRootItem(), m_sitesRoot);

    UpdateLabels();
    std::vector<QTreeWidgetItem*> siteItems;
    siteItems.reserve(database->Sites().size());
    for (const auto& site : database->Sites()) {
        if (site) {
            siteItems.push_back(MakeSiteItemWithLinks(site.get()));
        }
    }
    InsertAllSorted(m_sitesRoot, siteItems);
    std::vector<QTreeWidgetItem*> categoryItems;
    std::vector<const CCategory*> path;
    g_categoryItemsLeft = CategoryItemBudget(categories);
    for (int slot = 0; slot < categories->SlotCount(); ++slot) {
        CCategory* category = categories->CategoryAt(slot);
        if (category != nullptr && category->m_parent < 0) {
            if (CLogItem* item = MakeCategoryItem(category, path)) {
                categoryItems.push_back(item);
            }
        }
    }
    InsertAllSorted(m_categoriesRoot, categoryItems);
    SortSites();
}

CLogItem* CUrlList::MakeSiteItem(CSite* site, CLogItem::EKind kind) {
    auto* item = new CLogItem(kind, site);
    UpdateImages(item);
    return item;
}

CLogItem* CUrlList::MakeSiteItemWithLinks(CSite* site) {
    CLogItem* item = MakeSiteItem(site, CLogItem::kSite);
    std::vector<QTreeWidgetItem*> linkItems;
    linkItems.reserve(site->m_links.size());
    for (const auto& link : site->m_links) {
        if (link) {
            linkItems.push_back(MakeSiteItem(link.get(), CLogItem::kSite));
        }
    }
    InsertAllSorted(item, linkItems);
    return item;
}

void CUrlList::InsertSiteWithLinks(CSite* site) {
    InsertSorted(m_sitesRoot, MakeSiteItemWithLinks(site));
}

void CUrlList::AddSite(CSite* site) {
    if (!m_built || site == nullptr) {
        return;
    }
    site->m_label = MainFrame()->Document()->SiteLabelText(*site, true);
    for (const auto& link : site->m_links) {
        if (link) {
            link->m_label = MainFrame()->Document()->SiteLabelText(*link, true);
        }
    }
    InsertSiteWithLinks(site);
}

void CUrlList::AddSiteToCategory(CCategory* category, CSite* site) {
    if (!m_built || category == nullptr || site == nullptr) {
        return;
    }
    for (CLogItem* item : ItemsShowing(category)) {
        if (item->Kind() == CLogItem::kCategory) {
            InsertSorted(item, MakeSiteItem(site, CLogItem::kCategorySite));
        }
    }
}

void CUrlList::InsertCategory(CCategory* parent, CCategory* category) {
    if (!m_built || category == nullptr) {
        return;
    }
    g_categoryItemsLeft = CategoryItemBudget(Categories());
    std::vector<const CCategory*> path;
    if (parent == nullptr) {
        InsertCategoryItem(m_categoriesRoot, category, path);
        return;
    }
    for (CLogItem* item : ItemsShowing(parent)) {
        if (item->Kind() == CLogItem::kCategory) {
            InsertCategoryItem(item, category, path);
        }
    }
}

void CUrlList::InsertCategoryItem(CLogItem* parentItem, CCategory* category,
                                  std::vector<const CCategory*>& path) {
    if (CLogItem* item = MakeCategoryItem(category, path)) {
        InsertSorted(parentItem, item);
    }
}

CLogItem* CUrlList::MakeCategoryItem(CCategory* category, std::vector<const CCategory*>& path) {
    // A damaged hierarchy may hold a loop of children; each category shows once per branch, and
    // the items are bounded (above).
    if (std::find(path.begin(), path.end(), category) != path.end() || g_categoryItemsLeft <= 0) {
        return nullptr;
    }
    --g_categoryItemsLeft;
    auto* item = new CLogItem(CLogItem::kCategory, category);
    item->SetImages(11, 12);
    std::vector<QTreeWidgetItem*> children;
    children.reserve(category->m_sites.size());
    for (CSite* site : category->m_sites) {
        children.push_back(MakeSiteItem(site, CLogItem::kCategorySite));
    }
    if (CCategoryTree* categories = Categories()) {
        path.push_back(category);
        for (std::int32_t index : category->m_children.ActiveKeys()) {
            CCategory* child = categories->CategoryAt(index);
            CLogItem* childItem = child != nullptr ? MakeCategoryItem(child, path) : nullptr;
            if (childItem != nullptr) {
                children.push_back(childItem);
            }
        }
        path.pop_back();
    }
    InsertAllSorted(item, children);
    return item;
}

// Inserts before the first sibling whose text sorts after the item's, without regard to case.
// The siblings need not be in that order (sites under "SITES" follow the sort type).
void CUrlList::InsertSorted(QTreeWidgetItem* parentItem, QTreeWidgetItem* item) {
    const QString text = item->text(0);
    int row = 0;
    const int count = parentItem->childCount();
    while (row < count && !TextBefore(text, parentItem->child(row)->text(0))) {
        ++row;
    }
    parentItem->insertChild(row, item);
}

// Inserting one by one into a parent without children keeps it in text order, each item after
// its equals: a stable sort by text, done here in one step and handed to the tree at once.
void CUrlList::InsertAllSorted(QTreeWidgetItem* parentItem,
                               const std::vector<QTreeWidgetItem*>& items) {
    if (parentItem->childCount() > 0) {
        for (QTreeWidgetItem* item : items) {
            InsertSorted(parentItem, item);
        }
        return;
    }
    std::vector<std::pair<QString, QTreeWidgetItem*>> keyed;
    keyed.reserve(items.size());
    for (QTreeWidgetItem* item : items) {
        keyed.emplace_back(item->text(0), item);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return TextBefore(a.first, b.first); });
    QList<QTreeWidgetItem*> sorted;
    sorted.reserve(static_cast<qsizetype>(keyed.size()));
    for (const auto& entry : keyed) {
        sorted.append(entry.second);
    }
    parentItem->insertChildren(0, sorted);
}

// ---- labels, order, pictures ----------------------------------------------------------------

void CUrlList::OnUpdate() {
    if (!m_built) {
        return;
    }
    UpdateLabels();
    SortSites();
    viewport()->update();
}

void CUrlList::UpdateLabels() {
    CSiteDatabase* database = Database();
    if (database == nullptr) {
        return;
    }
    for (const auto& site : database->Sites()) {
        if (!site) {
            continue;
        }
        site->m_label = MainFrame()->Document()->SiteLabelText(*site, true);
        for (const auto& link : site->m_links) {
            if (link) {
                link->m_label = MainFrame()->Document()->SiteLabelText(*link, true);
            }
        }
    }
}

void CUrlList::SortSites() {
    if (m_sitesRoot != nullptr) {
        m_sitesRoot->sortChildren(0, Qt::AscendingOrder);
    }
}

bool CUrlList::LessThan(const CLogItem& a, const CLogItem& b) const {
    if (a.Kind() != b.Kind()) {
        return false;
    }
    if (a.Kind() == CLogItem::kCategory) {
        return a.Category()->m_name < b.Category()->m_name;
    }
    if (a.Kind() != CLogItem::kSite) {
        return false;
    }
    const CSite& sa = *a.Site();
    const CSite& sb = *b.Site();
    const std::int32_t sortType = MainFrame() ? MainFrame()->Settings().sortType : kSortByTitle;
    switch (sortType) {
    case kSortByUrl:
        return sa.m_url < sb.m_url;
    case kSortByDate:
        return sa.m_time > sb.m_time;
    default:
        return CompareWithoutCase(WithoutLeadingSpace(sa.m_title),
                                  WithoutLeadingSpace(sb.m_title)) < 0;
    }
}

void CUrlList::UpdateSiteImages(CSite* site) {
    for (CLogItem* item : ItemsShowing(site)) {
        UpdateImages(item);
    }
}

void CUrlList::UpdateAllSiteImages() {
    const CSiteDatabase* database = Database();
    if (!m_built || database == nullptr) {
        return;
    }
    for (const auto& site : database->Sites()) {
        if (site == nullptr) {
            continue;
        }
        UpdateSiteImages(site.get());
        for (const auto& link : site->m_links) {
            if (link != nullptr) {
                UpdateSiteImages(link.get());
            }
        }
    }
}

void CUrlList::UpdateImages(CLogItem* item) {
    const CSite* site = item->Site();
    if (item->Kind() == CLogItem::kCategorySite) {
        item->SetImages(13, 14);
        return;
    }
    if (item->Kind() != CLogItem::kSite || site == nullptr) {
        return;
    }
    const CSiteDatabase* database = Database();
    const bool visited =
        site->m_visited != 0 || (database != nullptr && database->FindSite(site->m_url) != nullptr);
    if (visited) {
        site->m_hidden ? item->SetImages(2, 3) : item->SetImages(0, 1);
    } else {
        site->m_hidden ? item->SetImages(7, 6) : item->SetImages(4, 5);
    }
}

void CUrlList::OnItemExpanded(QTreeWidgetItem* treeItem, bool expanded) {
    auto* item = static_cast<CLogItem*>(treeItem);
    if (item->Kind() == CLogItem::kCategory) {
        const int image = expanded ? 11 : 12;
        item->SetImages(image, image);
    }
}

// ---- finding items --------------------------------------------------------------------------

std::vector<CLogItem*> CUrlList::ItemsShowing(const void* object) const {
    std::vector<CLogItem*> items = CLogItem::ItemsShowing(object);
    std::erase_if(items, [this](const CLogItem* item) { return item->treeWidget() != this; });
    return items;
}

CLogItem* CUrlList::ItemOfSite(const CSite* site) const {
    for (CLogItem* item : ItemsShowing(site)) {
        if (item->Kind() == CLogItem::kSite && item->parent() == m_sitesRoot) {
            return item;
        }
    }
    return nullptr;
}

CLogItem* CUrlList::ItemOfCategory(const CCategory* category) const {
    for (CLogItem* item : ItemsShowing(category)) {
        if (item->Kind() == CLogItem::kCategory) {
            return item;
        }
    }
    return nullptr;
}

void CUrlList::DeleteItemsShowing(const void* object) {
    // Deleting an item deletes its children, which may show the object too: look again each time.
    for (;;) {
        const std::vector<CLogItem*> items = ItemsShowing(object);
        if (items.empty()) {
            return;
        }
        delete items.front();
    }
}

// ---- drop -----------------------------------------------------------------------------------

bool CUrlList::DropItem(CLogItem* target, CLogItem* dropped) {
    if (dropped == nullptr) {
        Beep();
        return false;
    }
    CDropped what;
    what.kind = dropped->Kind();
    what.site = dropped->Site();
    what.category = dropped->Category();
    what.item = dropped;
    return Drop(target, what);
}

bool CUrlList::Drop(CLogItem* target, CDropped& dropped) {
    if (target == nullptr || (dropped.item != nullptr && dropped.item == target)) {
        Beep();
        return false;
    }
    bool done = false;
    const bool droppedSite =
        dropped.kind == CLogItem::kSite || dropped.kind == CLogItem::kCategorySite;
    // A cut site belongs to nobody but the clipboard: only "SITES" can take it back.
    const bool siteWithoutHome =
        droppedSite && dropped.fromClipboard && m_clipboard.ownedSite != nullptr;
    switch (target->Kind()) {
    case CLogItem::kCategory:
        if (dropped.kind == CLogItem::kCategory) {
            done = DropCategory(target, dropped);
        } else if (droppedSite && !siteWithoutHome) {
            InsertSorted(target, MakeSiteItem(dropped.site, CLogItem::kCategorySite));
            target->Category()->AddSite(dropped.site);
            done = true;
        }
        break;
    case CLogItem::kSitesRoot:
        if (dropped.kind == CLogItem::kSite) {
            done = DropOnSites(dropped);
        }
        break;
    case CLogItem::kCategoriesRoot:
        if (dropped.kind == CLogItem::kCategory) {
            done = DropCategory(target, dropped);
        } else if (dropped.kind == CLogItem::kSite && !siteWithoutHome && MainFrame()) {
            MainFrame()->CategorizeSite(dropped.site);
            done = true;
        }
        break;
    default:
        break;
    }
    if (!done) {
        Beep();
        return false;
    }
    Refresh();
    return true;
}

bool CUrlList::DropCategory(CLogItem* target, CDropped& dropped) {
    CCategoryTree* categories = Categories();
    CCategory* moved = dropped.category;
    if (categories == nullptr || moved == nullptr) {
        return false;
    }
    std::int32_t newParent = -1;
    if (target->Kind() == CLogItem::kCategory) {
        CCategory* parent = target->Category();
        if (parent == moved || categories->IsInSubtree(*moved, parent->m_index)) {
            return false;
        }
        newParent = parent->m_index;
    }
    if (categories->IsRegistered(moved) && !dropped.copyOfCategory) {
        DeleteItemsShowing(moved);
    }
    CCategory* placed = PlaceCategory(dropped, newParent);
    if (placed == nullptr) {
        return false;
    }
    InsertCategory(target->Kind() == CLogItem::kCategory ? target->Category() : nullptr, placed);
    return true;
}

// Registers the category when it is not (a cut one, a copy, a new one) and moves it under
// `newParent` (-1: the top level).
CCategory* CUrlList::PlaceCategory(CDropped& dropped, std::int32_t newParent) {
    CCategoryTree* categories = Categories();
    CCategory* category = dropped.category;
    if (dropped.copyOfCategory) {
        category = categories->Register(category->MakeCopy());
    } else if (!categories->IsRegistered(category)) {
        if (dropped.owner == nullptr || dropped.owner->get() != category) {
            return nullptr;
        }
        category = categories->Register(std::move(*dropped.owner));
    }
    if (!categories->Reparent(category, newParent)) {
        return nullptr;
    }
    return category;
}

bool CUrlList::DropOnSites(CDropped& dropped) {
    CSiteDatabase* database = Database();
    CSite* site = dropped.site;
    if (database == nullptr || site == nullptr || database->FindSite(site->m_url) != nullptr) {
        return false;
    }
    // Only a cut site can come back: a site still in the database has an owner already.
    if (!dropped.fromClipboard || m_clipboard.ownedSite.get() != site) {
        return false;
    }
    database->AddSite(std::move(m_clipboard.ownedSite));
    for (const std::string& text : m_clipboard.siteWords) {
        if (CWordEntry* entry = database->FindOrMakeWord(text)) {
            entry->AddSite(site);
            site->AddWord(entry);
        }
    }
    m_clipboard.siteWords.clear();
    site->m_hidden = m_clipboard.siteHidden;
    AddSite(site);
    return true;
}

// ---- clipboard ------------------------------------------------------------------------------

void CUrlList::Cut() {
    auto* item = static_cast<CLogItem*>(currentItem());
    if (item == nullptr || !m_built) {
        Beep();
        return;
    }
    switch (item->Kind()) {
    case CLogItem::kSite:
        CutSite(item);
        break;
    case CLogItem::kCategory:
        CutCategory(item);
        break;
    case CLogItem::kCategorySite:
        CutSiteInCategory(item);
        break;
    default:
        Beep();
        return;
    }
    Refresh();
}

void CUrlList::CutSite(CLogItem* item) {
    CSite* site = item->Site();
    CSiteDatabase* database = Database();
    CCategoryTree* categories = Categories();
    DiscardClipboard();
    std::vector<std::string> words;
    for (const auto& word : site->m_words) {
        words.push_back(word.first);
    }
    const std::int32_t hidden = site->m_hidden;
    std::unique_ptr<CSite> owned = database->RemoveSite(site);
    if (!owned) {
        Beep();
        return;
    }
    MainFrame()->ForgetStartedUrl(site->m_url);
    // No category may keep a site the clipboard owns: the site and its links leave them all.
    categories->ForgetSite(site);
    DeleteItemsShowing(site);
    for (const auto& link : site->m_links) {
        if (link) {
            categories->ForgetSite(link.get());
            DeleteItemsShowing(link.get());
        }
    }
    m_clipboard.kind = CLogItem::kSite;
    m_clipboard.site = site;
    m_clipboard.ownedSite = std::move(owned);
    m_clipboard.siteWords = std::move(words);
    m_clipboard.siteHidden = hidden;
}

void CUrlList::CutCategory(CLogItem* item) {
    CCategory* category = item->Category();
    CCategoryTree* categories = Categories();
    DiscardClipboard();
    const std::int32_t index = category->m_index;
    std::unique_ptr<CCategory> owned = categories->TakeFromSlot(index);
    if (!owned) {
        Beep();
        return;
    }
    DeleteItemsShowing(category);
    m_clipboard.kind = CLogItem::kCategory;
    m_clipboard.category = category;
    m_clipboard.ownedCategory = std::move(owned);
    m_clipboard.formerIndex = index;
    m_clipboard.tree = categories;
}

void CUrlList::CutSiteInCategory(CLogItem* item) {
    CSite* site = item->Site();
    CLogItem* parentItem = item->ParentItem();
    DiscardClipboard();
    if (parentItem != nullptr && parentItem->Category() != nullptr) {
        parentItem->Category()->RemoveSite(site);
    }
    delete item;
    m_clipboard.kind = CLogItem::kCategorySite;
    m_clipboard.site = site;
}

void CUrlList::Copy() {
    auto* item = static_cast<CLogItem*>(currentItem());
    if (item == nullptr) {
        Beep();
        return;
    }
    switch (item->Kind()) {
    case CLogItem::kSite:
    case CLogItem::kCategorySite:
        DiscardClipboard();
        m_clipboard.kind = item->Kind();
        m_clipboard.copy = true;
        m_clipboard.site = item->Site();
        break;
    case CLogItem::kCategory:
        DiscardClipboard();
        m_clipboard.kind = CLogItem::kCategory;
        m_clipboard.copy = true;
        m_clipboard.ownedCategory = item->Category()->MakeCopy();
        m_clipboard.category = m_clipboard.ownedCategory.get();
        break;
    default:
        Beep();
        break;
    }
}

void CUrlList::Paste() {
    auto* target = static_cast<CLogItem*>(currentItem());
    if (m_clipboard.kind == 0 || target == nullptr) {
        Beep();
        return;
    }
    CDropped what;
    what.kind = m_clipboard.kind;
    what.site = m_clipboard.site;
    what.category = m_clipboard.category;
    what.fromClipboard = true;
    if (m_clipboard.kind == CLogItem::kCategory) {
        what.copyOfCategory = m_clipboard.copy;
        what.owner = &m_clipboard.ownedCategory;
    }
    Drop(target, what);
}

void CUrlList::NewCategory(CLogItem* target) {
    auto made = std::make_unique<CCategory>("(New Category)");
    CDropped what;
    what.kind = CLogItem::kCategory;
    what.category = made.get();
    what.owner = &made;
    Drop(target, what);
}

void CUrlList::DiscardClipboard() {
    if (m_clipboard.ownedCategory && !m_clipboard.copy) {
        DiscardCutCategory();
    }
    m_clipboard = CClipboard{};
}

// A cut category never pasted goes with its descendants; their sites stay where they are, but
// no longer name the slots that go.
void CUrlList::DiscardCutCategory() {
    CCategory* cut = m_clipboard.ownedCategory.get();
    CCategoryTree* categories = m_clipboard.tree;
    for (CSite* site : cut->m_sites) {
        site->m_categories.Remove(m_clipboard.formerIndex);
    }
    if (categories == nullptr) {
        return;
    }
    std::vector<std::int32_t> pending{m_clipboard.formerIndex};
    std::set<std::int32_t> seen;
    while (!pending.empty()) {
        const std::int32_t parentIndex = pending.back();
        pending.pop_back();
        if (!seen.insert(parentIndex).second) {
            continue;
        }
        for (int slot = 0; slot < categories->SlotCount(); ++slot) {
            CCategory* child = categories->CategoryAt(slot);
            if (child == nullptr || child->m_parent != parentIndex) {
                continue;
            }
            pending.push_back(slot);
            while (!child->m_sites.empty()) {
                child->RemoveSite(child->m_sites.front());
            }
            DeleteItemsShowing(child);
            categories->TakeFromSlot(slot);
        }
    }
}

// ---- commands -------------------------------------------------------------------------------

namespace {

// "Center" and "Focus On..." of a site item act on the linkage map; a link under a visited
// site is focused together with that site.
void AddMapCommands(QMenu& menu, CLogItem* item) {
    CLogItem* parent = item->ParentItem();
    CSite* owner = item->Kind() == CLogItem::kSite && parent && parent->Kind() == CLogItem::kSite
                       ? parent->Site()
                       : nullptr;
    menu.addSeparator();
    QObject::connect(menu.addAction(QStringLiteral("Center")), &QAction::triggered, &menu, [item] {
        if (MainFrame())
            MainFrame()->Maps().CenterOnSite(item->Site());
    });
    QMenu* focus = menu.addMenu(QStringLiteral("Focus On..."));
    const char* const texts[] = {"...this site", "...subtree within 1 links",
                                 "...subtree within 2 links"};
    for (int depth = 0; depth < 3; ++depth) {
        QObject::connect(focus->addAction(QString::fromLatin1(texts[depth])), &QAction::triggered,
                         &menu, [item, owner, depth] {
                             if (MainFrame())
                                 MainFrame()->Maps().FocusOnSite(item->Site(), depth, owner);
                         });
    }
}

} // namespace

QMenu* CUrlList::MakeContextMenu(CLogItem* item) {
    auto* menu = new QMenu(this);
    auto add = [menu](const QString& text, std::function<void()> run, bool enabled = true) {
        QAction* action = menu->addAction(text);
        QObject::connect(action, &QAction::triggered, menu, std::move(run));
        action->setEnabled(enabled);
        return action;
    };
    auto onItem = [this, item](void (CUrlList::*command)()) {
        return [this, item, command] {
            setCurrentItem(item);
            (this->*command)();
        };
    };
    switch (item->Kind()) {
    case CLogItem::kSite:
    case CLogItem::kCategorySite: {
        const CSite* site = item->Site();
        const bool visited = site->m_visited != 0;
        add(QStringLiteral("Cut"), onItem(&CUrlList::Cut));
        add(QStringLiteral("Copy"), onItem(&CUrlList::Copy));
        add(QStringLiteral("Paste"), onItem(&CUrlList::Paste), HasClipboardItem());
        menu->addSeparator();
        add(QStringLiteral("Properties"), [this, item] { OnSiteProperties(item); });
        menu->addSeparator();
        add(
            QStringLiteral("Hide"), [this, item] { OnHide(item, true); }, site->m_hidden == 0);
        add(
            QStringLiteral("Unhide"), [this, item] { OnHide(item, false); }, site->m_hidden != 0);
        add(
            QStringLiteral("Hide Links"), [this, item] { OnHideLinks(item, true); }, visited);
        add(
            QStringLiteral("Unhide Links"), [this, item] { OnHideLinks(item, false); }, visited);
        AddMapCommands(*menu, item);
        break;
    }
    case CLogItem::kCategory:
        add(QStringLiteral("Cut"), onItem(&CUrlList::Cut));
        add(QStringLiteral("Copy"), onItem(&CUrlList::Copy));
        add(QStringLiteral("Paste"), onItem(&CUrlList::Paste));
        menu->addSeparator();
        add(QStringLiteral("New"), [this, item] { NewCategory(item); });
        add(QStringLiteral("Properties"), [this, item] { OnCategoryProperties(item); });
        add(QStringLiteral("Focus"), [this, item] { OnFocusCategory(item); });
        break;
    case CLogItem::kSitesRoot:
        add(QStringLiteral("Paste"), onItem(&CUrlList::Paste));
        menu->addSeparator();
        add(QStringLiteral("Unhide All"), [this] { OnHideAll(false); });
        add(QStringLiteral("Hide All"), [this] { OnHideAll(true); });
        break;
    case CLogItem::kCategoriesRoot:
        add(QStringLiteral("Paste"), onItem(&CUrlList::Paste));
        add(QStringLiteral("New Category"), [this, item] { NewCategory(item); });
        add(QStringLiteral("Settings"), [this] { CDialogCommands::CategorizerSettings(this); });
        break;
    }
    return menu;
}

void CUrlList::contextMenuEvent(QContextMenuEvent* event) {
    auto* item = static_cast<CLogItem*>(itemAt(event->pos()));
    if (item == nullptr) {
        return;
    }
    QMenu* menu = MakeContextMenu(item);
    menu->exec(event->globalPos());
    delete menu;
}

void CUrlList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) &&
        state() != QAbstractItemView::EditingState) {
        Cut();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CUrlList::wheelEvent(QWheelEvent* event) {
    // The log book does not scroll with the wheel.
    event->accept();
}

void CUrlList::OnHide(CLogItem* item, bool hide) {
    if (MainFrame() == nullptr) {
        return;
    }
    hide ? MainFrame()->Document()->HideSite(item->Site())
         : MainFrame()->Document()->ShowSite(item->Site());
    Refresh();
}

void CUrlList::OnHideLinks(CLogItem* item, bool hide) {
    if (MainFrame() == nullptr || item->Site()->m_visited == 0) {
        return;
    }
    hide ? MainFrame()->Document()->HideLinks(item->Site())
         : MainFrame()->Document()->ShowLinks(item->Site());
    Refresh();
}

void CUrlList::OnHideAll(bool hide) {
    if (MainFrame() == nullptr) {
        return;
    }
    hide ? MainFrame()->Document()->HideAll() : MainFrame()->Document()->ShowAll();
    Refresh();
}

void CUrlList::OnFocusCategory(CLogItem* item) {
    if (MainFrame() == nullptr) {
        return;
    }
    MainFrame()->Document()->HideAll();
    for (CSite* site : item->Category()->m_sites) {
        MainFrame()->Document()->ShowSite(site);
    }
    Refresh();
}

void CUrlList::OnSiteProperties(CLogItem* item) {
    if (MainFrame() != nullptr) {
        CDialogCommands::EditSiteProperties(*MainFrame(), item->Site(), this);
    }
}

void CUrlList::OnCategoryRenamed() {
    // Site labels name their categories.
    if (m_built) {
        Refresh();
    }
}

void CUrlList::OnCategoryProperties(CLogItem* item) {
    CCategoryPropertiesDlg dialog(*item->Category(), this);
    dialog.exec();
}

void CUrlList::Beep() {
    ++m_beeps;
    QApplication::beep();
}

void CUrlList::Refresh() {
    if (MainFrame() != nullptr) {
        MainFrame()->Refresh();
    }
}

// ---- drag and drop --------------------------------------------------------------------------

void CUrlList::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == this) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CUrlList::dragMoveEvent(QDragMoveEvent* event) {
    if (event->source() == this) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CUrlList::dropEvent(QDropEvent* event) {
    if (event->source() != this) {
        event->ignore();
        return;
    }
    auto* target = static_cast<CLogItem*>(itemAt(event->position().toPoint()));
    auto* dragged = static_cast<CLogItem*>(currentItem());
    // The tree changes by the drop rules only; Qt must not move or copy rows itself.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    DropItem(target, dragged);
}
