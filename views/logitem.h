#pragma once

#include <QTreeWidgetItem>

#include <vector>

class CCategory;
class CSite;

// One entry of the log book: its kind, the object it shows (a site or a category, not owned)
// and its pair of pictures. Texts come from the object whenever the tree asks, so a renamed
// category or a new label shows at once. Every live item is listed program-wide by the object
// it shows (ItemsShowing).
class CLogItem : public QTreeWidgetItem {
public:
    enum EKind {
        kCategory = 1,       // a category
        kCategorySite = 2,   // a site inside a category
        kSite = 3,           // a visited site under "SITES", or a link under a visited site
        kSitesRoot = 4,      // "SITES"
        kCategoriesRoot = 5, // "CATEGORIES"
    };

    CLogItem(EKind kind, CSite* site);
    CLogItem(EKind kind, CCategory* category);
    explicit CLogItem(EKind kind); // the two roots
    ~CLogItem() override;
    CLogItem(const CLogItem&) = delete;
    CLogItem& operator=(const CLogItem&) = delete;

    EKind Kind() const { return m_kind; }
    bool IsSite() const { return m_kind == kCategorySite || m_kind == kSite; }
    CSite* Site() const { return m_site; }
    CCategory* Category() const { return m_category; }
    CLogItem* ParentItem() const { return static_cast<CLogItem*>(parent()); }

    void SetImages(int normal, int selected);
    int Image() const { return m_image; }
    int SelectedImage() const { return m_selectedImage; }

    // Display: the category's name, the site's m_label, "SITES", "CATEGORIES". Edit (category
    // items only): the name; setting it renames the category.
    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant& value) override;
    // The log book's order of the sites under "SITES" (see CUrlList::SortType).
    bool operator<(const QTreeWidgetItem& other) const override;

    // Every live item showing this site or category, in no particular order.
    static std::vector<CLogItem*> ItemsShowing(const void* object);

    bool m_copy = false;

private:
    void Register();

    EKind m_kind;
    CSite* m_site = nullptr;
    CCategory* m_category = nullptr;
    int m_image = -1;
    int m_selectedImage = -1;
};
