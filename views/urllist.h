#pragma once

#include "views/logitem.h"

#include <QTreeView>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CCategory;
class CCategoryTree;
class CKorvoDoc;
class CLogBookModel;
class CSite;
class QMenu;

// The log book: every visited site with its links under "SITES", the category hierarchy with
// its sites under "CATEGORIES" (rows from CLogBookModel). The user edits the hierarchy here by
// drag and drop and by cut, copy and paste; each edit tells the document what changed, and the
// model and the maps follow the document. What belongs to the window (the browser, the
// categorizer's dialogs, the add-URL pipeline, the maps) is asked for through the signals.
//
// The clipboard holds one item. A cut site is owned by the clipboard until it is pasted on
// "SITES" or the clipboard is replaced (then it is freed); a cut category likewise, and one
// never pasted is discarded with its descendant categories (never with their sites).
class CUrlList : public QTreeView {
    Q_OBJECT
public:
    // The document is not owned and must outlive the log book.
    explicit CUrlList(CKorvoDoc& document, QWidget* parent = nullptr);
    // Discards the clipboard. Must run while the document's data objects still exist.
    ~CUrlList() override;

    // Fills the rows from the store; done on first display. Does nothing when built already.
    void Build();
    bool IsBuilt() const;
    CLogBookModel& Model() const { return *m_model; }

    // The editing commands on the current row. Each beeps when it cannot act.
    void Cut();
    void Copy();
    void Paste();
    // Makes "(New Category)" and drops it on `target`.
    void NewCategory(const QModelIndex& target);
    // Drops a row on `target` as drag and drop does; false (after a beep) when refused.
    bool DropItem(const QModelIndex& target, const QModelIndex& dropped);

    QModelIndex SitesRoot() const;
    QModelIndex CategoriesRoot() const;
    // The site's row under "SITES" (visited sites only), or an invalid index.
    QModelIndex ItemOfSite(const CSite* site) const;
    // The category's first row, or an invalid index.
    QModelIndex ItemOfCategory(const CCategory* category) const;
    // Every row listed so far that shows the site or category.
    std::vector<QModelIndex> ItemsShowing(const void* object) const;
    CLogItem Item(const QModelIndex& index) const;
    bool HasClipboardItem() const { return m_clipboard.kind != 0; }
    // Beeps so far (each refused command beeps once).
    int BeepCount() const { return m_beeps; }

    // The context menu of a row's kind, with the enabled states of this moment; the caller
    // owns it. Its actions act on `index`.
    QMenu* MakeContextMenu(const QModelIndex& index);

signals:
    // What the window does for the log book.
    void OpenSiteRequested(CSite* site);
    void CategorizeRequested(CSite* site);
    // The user cut the visited site: the add-URL pipeline may take its URL again.
    void SiteUrlReleased(const std::string& url);
    void CenterRequested(CSite* site);
    // `owner` is the visited site above a link, else null.
    void FocusRequested(CSite* site, int depth, CSite* owner);
    void SitePropertiesRequested(CSite* site);
    void CategorizerSettingsRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void commitData(QWidget* editor) override;

private:
    // What is being dropped: a row, the clipboard or a new category.
    struct CDropped {
        int kind = 0;
        CSite* site = nullptr;
        CCategory* category = nullptr;
        QModelIndex index;                           // the dragged row, if any
        std::unique_ptr<CCategory>* owner = nullptr; // takes an unregistered category from here
        bool copyOfCategory = false;                 // register a fresh copy of `category`
        bool fromClipboard = false;
    };
    struct CClipboard {
        int kind = 0; // 0: empty, else the kind of the row it came from
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

    bool Drop(const QModelIndex& target, CDropped& dropped);
    bool DropCategory(const CLogItem& target, CDropped& dropped);
    bool DropOnSites(CDropped& dropped);
    bool AddCutSiteBack(CSite* site);
    bool AddVisitedSiteForLink(const CSite& link);
    CCategory* PlaceCategory(CDropped& dropped, std::int32_t newParent);
    void CutSite(const CLogItem& item);
    void CutCategory(const CLogItem& item);
    void CutSiteInCategory(const CLogItem& item);
    void DiscardClipboard();
    void DiscardCutCategory();
    void Beep();
    // After an edit that told the document what it changed: the views update.
    void UpdateViews();

    void AddSiteCommands(QMenu& menu, const CLogItem& item);
    void OnHide(CSite* site, bool hide);
    void OnHideLinks(CSite* site, bool hide);
    void OnHideAll(bool hide);
    void OnFocusCategory(CCategory* category);
    void OnCategoryProperties(CCategory* category);

    CKorvoDoc& m_document;
    CLogBookModel* m_model = nullptr;
    CClipboard m_clipboard;
    int m_beeps = 0;
};
