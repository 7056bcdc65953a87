#include "views/urllist.h"

#include "dialogs/categorypropertiesdlg.h"
#include "dialogs/displaytext.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/errorreport.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/korvodoc.h"
#include "views/logbookmodel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <functional>
#include <set>
#include <utility>

CUrlList::CUrlList(CKorvoDoc& document, QWidget* parent)
    : QTreeView(parent), m_document(document), m_model(new CLogBookModel(document, this)) {
    setObjectName(QStringLiteral("LogBook"));
    setModel(m_model);
    setHeaderHidden(true);
    // Texts are one line each: the view need not measure every row.
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setDropIndicatorShown(false);
    setExpandsOnDoubleClick(true);
    connect(this, &QTreeView::expanded, m_model,
            [this](const QModelIndex& index) { m_model->SetExpanded(index, true); });
    connect(this, &QTreeView::collapsed, m_model,
            [this](const QModelIndex& index) { m_model->SetExpanded(index, false); });
    connect(m_model, &CLogBookModel::DisplayChanged, viewport(), qOverload<>(&QWidget::update));
}

CUrlList::~CUrlList() {
    DiscardClipboard();
}

void CUrlList::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    Build();
}

void CUrlList::Build() {
    m_model->Build();
}

bool CUrlList::IsBuilt() const {
    return m_model->IsBuilt();
}

QModelIndex CUrlList::SitesRoot() const {
    return m_model->SitesRoot();
}

QModelIndex CUrlList::CategoriesRoot() const {
    return m_model->CategoriesRoot();
}

QModelIndex CUrlList::ItemOfSite(const CSite* site) const {
    return m_model->IndexOfSite(site);
}

QModelIndex CUrlList::ItemOfCategory(const CCategory* category) const {
    return m_model->IndexOfCategory(category);
}

std::vector<QModelIndex> CUrlList::ItemsShowing(const void* object) const {
    return m_model->IndexesShowing(object);
}

CLogItem CUrlList::Item(const QModelIndex& index) const {
    return m_model->Item(index);
}

// ---- drop -----------------------------------------------------------------------------------

bool CUrlList::DropItem(const QModelIndex& target, const QModelIndex& dropped) {
    const CLogItem item = Item(dropped);
    if (item.kind == CLogItem::kNone) {
        Beep();
        return false;
    }
    CDropped what;
    what.kind = item.kind;
    what.site = item.site;
    what.category = item.kind == CLogItem::kCategory ? item.category : nullptr;
    what.index = dropped;
    return Drop(target, what);
}

bool CUrlList::Drop(const QModelIndex& targetIndex, CDropped& dropped) {
    const CLogItem target = Item(targetIndex);
    if (target.kind == CLogItem::kNone ||
        (dropped.index.isValid() && dropped.index == targetIndex)) {
        Beep();
        return false;
    }
    bool done = false;
    const bool droppedSite =
        dropped.kind == CLogItem::kSite || dropped.kind == CLogItem::kCategorySite;
    // A cut site belongs to nobody but the clipboard: only "SITES" can take it back.
    const bool siteWithoutHome =
        droppedSite && dropped.fromClipboard && m_clipboard.ownedSite != nullptr;
    switch (target.kind) {
    case CLogItem::kCategory:
        if (dropped.kind == CLogItem::kCategory) {
            done = DropCategory(target, dropped);
        } else if (droppedSite && !siteWithoutHome) {
            target.category->AddSite(dropped.site);
            m_document.NoteSiteFiled(target.category, dropped.site);
            done = true;
        }
        break;
    case CLogItem::kSitesRoot:
        if (dropped.kind == CLogItem::kSite)
            done = DropOnSites(dropped);
        break;
    case CLogItem::kCategoriesRoot:
        if (dropped.kind == CLogItem::kCategory) {
            done = DropCategory(target, dropped);
        } else if (dropped.kind == CLogItem::kSite && !siteWithoutHome) {
            emit CategorizeRequested(dropped.site);
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
    UpdateViews();
    return true;
}

bool CUrlList::DropCategory(const CLogItem& target, CDropped& dropped) {
    CCategoryTree* categories = m_document.CategoryTree();
    CCategory* moved = dropped.category;
    if (categories == nullptr || moved == nullptr)
        return false;
    std::int32_t newParent = -1;
    if (target.kind == CLogItem::kCategory) {
        CCategory* parent = target.category;
        if (parent == moved || categories->IsInSubtree(*moved, parent->m_index))
            return false;
        newParent = parent->m_index;
    }
    if (PlaceCategory(dropped, newParent) == nullptr)
        return false;
    m_document.NoteCategoriesChanged();
    return true;
}

// Registers the category when it is not (a cut one, a copy, a new one) and moves it under
// `newParent` (-1: the top level).
CCategory* CUrlList::PlaceCategory(CDropped& dropped, std::int32_t newParent) {
    CCategoryTree* categories = m_document.CategoryTree();
    CCategory* category = dropped.category;
    if (dropped.copyOfCategory) {
        category = categories->Register(category->MakeCopy());
    } else if (!categories->IsRegistered(category)) {
        if (dropped.owner == nullptr || dropped.owner->get() != category)
            return nullptr;
        category = categories->Register(std::move(*dropped.owner));
    }
    if (!categories->Reparent(category, newParent))
        return nullptr;
    return category;
}

bool CUrlList::DropOnSites(CDropped& dropped) {
    CSiteDatabase* database = m_document.Database();
    CSite* site = dropped.site;
    if (database == nullptr || site == nullptr || database->FindSite(site->m_url) != nullptr)
        return false;
    if (dropped.fromClipboard && m_clipboard.ownedSite.get() == site)
        return AddCutSiteBack(site);
    // A link (or a copy of one) stays with its visited site: its URL becomes a site of its own.
    return AddVisitedSiteForLink(*site);
}

bool CUrlList::AddCutSiteBack(CSite* site) {
    CSiteDatabase& database = *m_document.Database();
    // A cut link comes back as a visited site.
    if (site->m_visited == 0) {
        site->m_visited = 1;
        site->m_width = site->m_height = site->Diameter();
    }
    database.AddSite(std::move(m_clipboard.ownedSite));
    for (const std::string& text : m_clipboard.siteWords) {
        if (CWordEntry* entry = database.FindOrMakeWord(text)) {
            entry->AddSite(site);
            site->AddWord(entry);
        }
    }
    m_clipboard.siteWords.clear();
    site->m_hidden = m_clipboard.siteHidden;
    m_document.NoteSiteAdded(site);
    return true;
}

bool CUrlList::AddVisitedSiteForLink(const CSite& link) {
    auto made = std::make_unique<CSite>(link.m_url, link.m_title, link.m_annotation, 1);
    // Where the link is, kept on the map as a stored visited site would be.
    made->m_x = link.m_x < 0 ? 5 : (link.m_x > 2000 ? 1995 : link.m_x);
    made->m_y = link.m_y < 0 ? 5 : (link.m_y > 2000 ? 1995 : link.m_y);
    CSite* site = m_document.Database()->AddSite(std::move(made));
    m_document.NoteSiteAdded(site);
    return true;
}

// ---- clipboard ------------------------------------------------------------------------------

void CUrlList::Cut() {
    const CLogItem item = Item(currentIndex());
    if (!IsBuilt()) {
        Beep();
        return;
    }
    switch (item.kind) {
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
    UpdateViews();
}

void CUrlList::CutSite(const CLogItem& item) {
    CSite* site = item.site;
    CSiteDatabase* database = m_document.Database();
    CCategoryTree* categories = m_document.CategoryTree();
    const auto holds = [site](const auto& sites) {
        return std::any_of(sites.begin(), sites.end(),
                           [site](const auto& held) { return held.get() == site; });
    };
    if (item.owner ? !holds(item.owner->m_links) : !holds(database->Sites())) {
        Beep();
        return;
    }
    DiscardClipboard();
    std::vector<std::string> words;
    for (const auto& word : site->m_words)
        words.push_back(word.first);
    const std::int32_t hidden = site->m_hidden;
    bool filed = site->m_categories.ActiveCount() > 0;
    for (const auto& link : site->m_links)
        filed = filed || (link && link->m_categories.ActiveCount() > 0);

    emit SiteUrlReleased(site->m_url);
    m_document.NoteSiteAboutToBeRemoved(site);
    std::unique_ptr<CSite> owned = database->RemoveSite(site);
    // No category may keep a site the clipboard owns: the site and its links leave them all.
    categories->ForgetSite(site);
    for (const auto& link : site->m_links)
        if (link)
            categories->ForgetSite(link.get());
    m_document.NoteSiteRemoved(site);
    if (filed)
        m_document.NoteCategoriesChanged();
    m_clipboard.kind = CLogItem::kSite;
    m_clipboard.site = site;
    m_clipboard.ownedSite = std::move(owned);
    m_clipboard.siteWords = std::move(words);
    m_clipboard.siteHidden = hidden;
}

void CUrlList::CutCategory(const CLogItem& item) {
    CCategory* category = item.category;
    CCategoryTree* categories = m_document.CategoryTree();
    DiscardClipboard();
    const std::int32_t index = category->m_index;
    std::unique_ptr<CCategory> owned = categories->TakeFromSlot(index);
    if (!owned) {
        Beep();
        return;
    }
    m_document.NoteCategoriesChanged();
    m_clipboard.kind = CLogItem::kCategory;
    m_clipboard.category = category;
    m_clipboard.ownedCategory = std::move(owned);
    m_clipboard.formerIndex = index;
    m_clipboard.tree = categories;
}

void CUrlList::CutSiteInCategory(const CLogItem& item) {
    DiscardClipboard();
    if (item.category != nullptr)
        item.category->RemoveSite(item.site);
    m_document.NoteCategoriesChanged();
    m_clipboard.kind = CLogItem::kCategorySite;
    m_clipboard.site = item.site;
}

void CUrlList::Copy() {
    const CLogItem item = Item(currentIndex());
    switch (item.kind) {
    case CLogItem::kSite:
    case CLogItem::kCategorySite:
        DiscardClipboard();
        m_clipboard.kind = item.kind;
        m_clipboard.copy = true;
        m_clipboard.site = item.site;
        break;
    case CLogItem::kCategory:
        DiscardClipboard();
        m_clipboard.kind = CLogItem::kCategory;
        m_clipboard.copy = true;
        m_clipboard.ownedCategory = item.category->MakeCopy();
        m_clipboard.category = m_clipboard.ownedCategory.get();
        break;
    default:
        Beep();
        break;
    }
}

void CUrlList::Paste() {
    const QModelIndex target = currentIndex();
    if (m_clipboard.kind == 0 || !target.isValid()) {
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

void CUrlList::NewCategory(const QModelIndex& target) {
    auto made = std::make_unique<CCategory>("(New Category)");
    CDropped what;
    what.kind = CLogItem::kCategory;
    what.category = made.get();
    what.owner = &made;
    Drop(target, what);
}

void CUrlList::DiscardClipboard() {
    if (m_clipboard.ownedCategory && !m_clipboard.copy)
        DiscardCutCategory();
    m_clipboard = CClipboard{};
}

// A cut category never pasted goes with its descendants; their sites stay where they are, but
// no longer name the slots that go.
void CUrlList::DiscardCutCategory() {
    CCategory* cut = m_clipboard.ownedCategory.get();
    CCategoryTree* categories = m_clipboard.tree;
    for (CSite* site : cut->m_sites)
        site->m_categories.Remove(m_clipboard.formerIndex);
    if (categories == nullptr)
        return;
    std::vector<std::unique_ptr<CCategory>> gone;
    std::vector<std::int32_t> pending{m_clipboard.formerIndex};
    std::set<std::int32_t> seen;
    while (!pending.empty()) {
        const std::int32_t parentIndex = pending.back();
        pending.pop_back();
        if (!seen.insert(parentIndex).second)
            continue;
        for (int slot = 0; slot < categories->SlotCount(); ++slot) {
            CCategory* child = categories->CategoryAt(slot);
            if (child == nullptr || child->m_parent != parentIndex)
                continue;
            pending.push_back(slot);
            while (!child->m_sites.empty())
                child->RemoveSite(child->m_sites.front());
            gone.push_back(categories->TakeFromSlot(slot));
        }
    }
    // The rows showing them go before the categories do.
    if (!gone.empty())
        m_document.NoteCategoriesChanged();
}

// ---- commands -------------------------------------------------------------------------------

void CUrlList::AddSiteCommands(QMenu& menu, const CLogItem& item) {
    CSite* site = item.site;
    CSite* owner = item.owner;
    menu.addSeparator();
    QObject::connect(menu.addAction(QStringLiteral("Center")), &QAction::triggered, this,
                     [this, site] { emit CenterRequested(site); });
    QMenu* focus = menu.addMenu(QStringLiteral("Focus On..."));
    const char* const texts[] = {"...this site", "...subtree within 1 links",
                                 "...subtree within 2 links"};
    for (int depth = 0; depth < 3; ++depth) {
        QObject::connect(focus->addAction(QString::fromLatin1(texts[depth])), &QAction::triggered,
                         this,
                         [this, site, owner, depth] { emit FocusRequested(site, depth, owner); });
    }
}

QMenu* CUrlList::MakeContextMenu(const QModelIndex& index) {
    auto* menu = new QMenu(this);
    auto add = [menu](const QString& text, std::function<void()> run, bool enabled = true) {
        QAction* action = menu->addAction(text);
        QObject::connect(action, &QAction::triggered, menu, std::move(run));
        action->setEnabled(enabled);
        return action;
    };
    const QPersistentModelIndex at(index);
    auto onItem = [this, at](void (CUrlList::*command)()) {
        return [this, at, command] {
            setCurrentIndex(at);
            (this->*command)();
        };
    };
    const CLogItem item = Item(index);
    switch (item.kind) {
    case CLogItem::kSite:
    case CLogItem::kCategorySite: {
        CSite* site = item.site;
        const bool visited = site->m_visited != 0;
        add(QStringLiteral("Cut"), onItem(&CUrlList::Cut));
        add(QStringLiteral("Copy"), onItem(&CUrlList::Copy));
        add(QStringLiteral("Paste"), onItem(&CUrlList::Paste), HasClipboardItem());
        menu->addSeparator();
        add(QStringLiteral("Properties"), [this, site] { emit SitePropertiesRequested(site); });
        add(QStringLiteral("Open Site"), [this, site] { emit OpenSiteRequested(site); });
        menu->addSeparator();
        add(
            QStringLiteral("Hide"), [this, site] { OnHide(site, true); }, site->m_hidden == 0);
        add(
            QStringLiteral("Unhide"), [this, site] { OnHide(site, false); }, site->m_hidden != 0);
        add(
            QStringLiteral("Hide Links"), [this, site] { OnHideLinks(site, true); }, visited);
        add(
            QStringLiteral("Unhide Links"), [this, site] { OnHideLinks(site, false); }, visited);
        AddSiteCommands(*menu, item);
        break;
    }
    case CLogItem::kCategory: {
        CCategory* category = item.category;
        add(QStringLiteral("Cut"), onItem(&CUrlList::Cut));
        add(QStringLiteral("Copy"), onItem(&CUrlList::Copy));
        add(QStringLiteral("Paste"), onItem(&CUrlList::Paste));
        menu->addSeparator();
        add(QStringLiteral("New"), [this, at] { NewCategory(at); });
        add(QStringLiteral("Properties"), [this, category] { OnCategoryProperties(category); });
        add(QStringLiteral("Focus"), [this, category] { OnFocusCategory(category); });
        break;
    }
    case CLogItem::kSitesRoot:
        add(QStringLiteral("Paste"), onItem(&CUrlList::Paste));
        menu->addSeparator();
        add(QStringLiteral("Unhide All"), [this] { OnHideAll(false); });
        add(QStringLiteral("Hide All"), [this] { OnHideAll(true); });
        break;
    case CLogItem::kCategoriesRoot:
        add(QStringLiteral("Paste"), onItem(&CUrlList::Paste));
        add(QStringLiteral("New Category"), [this, at] { NewCategory(at); });
        add(QStringLiteral("Settings"), [this] { emit CategorizerSettingsRequested(); });
        break;
    case CLogItem::kNone:
        break;
    }
    return menu;
}

void CUrlList::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid())
        return;
    QMenu* menu = MakeContextMenu(index);
    menu->exec(event->globalPos());
    delete menu;
}

void CUrlList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) &&
        state() != QAbstractItemView::EditingState) {
        Cut();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CUrlList::mouseDoubleClickEvent(QMouseEvent* event) {
    const CLogItem item = Item(indexAt(event->position().toPoint()));
    if (item.IsSite() && event->button() == Qt::LeftButton) {
        event->accept();
        emit OpenSiteRequested(item.site);
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void CUrlList::wheelEvent(QWheelEvent* event) {
    // The log book does not scroll with the wheel.
    event->accept();
}

void CUrlList::commitData(QWidget* editor) {
    const auto* line = qobject_cast<QLineEdit*>(editor);
    if (line != nullptr && FromDisplayText(line->text()).size() > CLogBookModel::kMaxNameBytes) {
        Beep();
        ShowError("A category name can be at most 8191 bytes long; the category keeps its "
                  "name.");
        return;
    }
    QTreeView::commitData(editor);
}

void CUrlList::OnHide(CSite* site, bool hide) {
    hide ? m_document.HideSite(site) : m_document.ShowSite(site);
    UpdateViews();
}

void CUrlList::OnHideLinks(CSite* site, bool hide) {
    hide ? m_document.HideLinks(site) : m_document.ShowLinks(site);
    UpdateViews();
}

void CUrlList::OnHideAll(bool hide) {
    hide ? m_document.HideAll() : m_document.ShowAll();
    UpdateViews();
}

void CUrlList::OnFocusCategory(CCategory* category) {
    m_document.HideAll();
    for (CSite* site : category->m_sites)
        m_document.ShowSite(site);
    UpdateViews();
}

void CUrlList::OnCategoryProperties(CCategory* category) {
    CCategoryPropertiesDlg dialog(*category, this);
    if (dialog.exec() == QDialog::Accepted && dialog.IsModified()) {
        m_document.NoteCategoriesChanged();
        UpdateViews();
    }
}

void CUrlList::Beep() {
    ++m_beeps;
    QApplication::beep();
}

void CUrlList::UpdateViews() {
    m_document.UpdateAllViews();
}

// ---- drag and drop --------------------------------------------------------------------------

void CUrlList::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == this)
        event->acceptProposedAction();
    else
        event->ignore();
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
    const QModelIndex target = indexAt(event->position().toPoint());
    const QModelIndex dragged = currentIndex();
    // The rows change by the drop rules only; Qt must not move or copy rows itself.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    DropItem(target, dragged);
}
