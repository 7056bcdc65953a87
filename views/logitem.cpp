#include "views/logitem.h"

#include "dialogs/displaytext.h"
#include "model/category.h"
#include "model/site.h"
#include "views/logbookimages.h"
#include "views/urllist.h"

#include <unordered_map>

namespace {
std::unordered_multimap<const void*, CLogItem*>& AllItems() {
    static std::unordered_multimap<const void*, CLogItem*> items;
    return items;
}

const void* ObjectOf(const CSite* site, const CCategory* category) {
    return site != nullptr ? static_cast<const void*>(site) : static_cast<const void*>(category);
}
} // namespace

CLogItem::CLogItem(EKind kind, CSite* site)
    : QTreeWidgetItem(UserType), m_kind(kind), m_site(site) {
    Register();
}

CLogItem::CLogItem(EKind kind, CCategory* category)
    : QTreeWidgetItem(UserType), m_kind(kind), m_category(category) {
    Register();
}

CLogItem::CLogItem(EKind kind) : QTreeWidgetItem(UserType), m_kind(kind) {
    Register();
}

CLogItem::~CLogItem() {
    auto [first, last] = AllItems().equal_range(ObjectOf(m_site, m_category));
    for (auto it = first; it != last; ++it) {
        if (it->second == this) {
            AllItems().erase(it);
            break;
        }
    }
}

void CLogItem::Register() {
    AllItems().emplace(ObjectOf(m_site, m_category), this);
    Qt::ItemFlags flags =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (m_kind == kCategory) {
        flags |= Qt::ItemIsEditable;
    }
    setFlags(flags);
}

std::vector<CLogItem*> CLogItem::ItemsShowing(const void* object) {
    std::vector<CLogItem*> items;
    if (object == nullptr) {
        return items;
    }
    auto [first, last] = AllItems().equal_range(object);
    for (auto it = first; it != last; ++it) {
        items.push_back(it->second);
    }
    return items;
}

void CLogItem::SetImages(int normal, int selected) {
    if (normal == m_image && selected == m_selectedImage) {
        return;
    }
    m_image = normal;
    m_selectedImage = selected;
    setIcon(0, LogBookIcon(normal, selected));
}

QVariant CLogItem::data(int column, int role) const {
    if (column != 0 || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return QTreeWidgetItem::data(column, role);
    }
    switch (m_kind) {
    case kCategory:
        return ToDisplayText(m_category->m_name);
    case kCategorySite:
    case kSite:
        return ToDisplayText(m_site->m_label);
    case kSitesRoot:
        return QStringLiteral("SITES");
    case kCategoriesRoot:
        return QStringLiteral("CATEGORIES");
    }
    return QStringLiteral("UNKNOWN");
}

void CLogItem::setData(int column, int role, const QVariant& value) {
    if (column == 0 && role == Qt::EditRole) {
        if (m_kind != kCategory) {
            return;
        }
        m_category->m_name = FromDisplayText(value.toString());
        // Tells the tree that the text changed (the stored copy itself is never shown).
        QTreeWidgetItem::setData(column, Qt::DisplayRole, value);
        if (auto* list = qobject_cast<CUrlList*>(treeWidget())) {
            list->OnCategoryRenamed();
        }
        return;
    }
    QTreeWidgetItem::setData(column, role, value);
}

bool CLogItem::operator<(const QTreeWidgetItem& other) const {
    const auto* list = qobject_cast<const CUrlList*>(treeWidget());
    const auto& that = static_cast<const CLogItem&>(other);
    return list != nullptr && list->LessThan(*this, that);
}
