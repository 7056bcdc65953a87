#pragma once

#include "shell/settings.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CCategory;
class CCategoryTree;
class CSite;
class CSiteDatabase;
class CSiteFilterList;
class CWordEntry;
class CWordList;
class QSettings;

// The document: it owns the settings and the four data objects, hands them to the views and
// dialogs, and tells them what changed. Whoever changes the store tells the document through
// one of the Note... calls (or Refresh, when many things changed at once); the views listen to
// its signals and never reach into the main window for the data.
class CKorvoDoc : public QObject {
    Q_OBJECT
public:
    // `currentDir` is the default of "Home" (the current directory when empty); "Browser Path"
    // defaults to the desktop's default browser (FindDefaultBrowserCommand).
    explicit CKorvoDoc(std::string currentDir = {}, QObject* parent = nullptr);
    // Closes the data files (each writes its own) when they are still open.
    ~CKorvoDoc() override;

    // "Wayfold 2.0".
    QString Title() const { return m_title; }

    // The settings. A part that changes a value calls WriteSettings with the writer of its
    // group at the moment the value is to be saved (QSettings "Quellon"/"Wayfold").
    CSettings& Settings() { return m_settings; }
    const CSettings& Settings() const { return m_settings; }
    void ReadSettings();
    void WriteSettings(void (CSettings::*writer)(QSettings&) const) const;

    // Reads the data files from "Home" in the order stop words, site filters, URL database,
    // categories. Damage is reported through ShowError; what could be read is kept. Without a
    // stop.wfx the stop list starts with the common English stop words. The categorizer's index
    // is then built in small steps while the window idles.
    void OpenDataFiles();
    // Destroys the data objects, each of which writes its own file; the hierarchy goes first,
    // as it names sites by URL. The views must have let go of the store before.
    void CloseDataFiles();

    // The data objects; null before OpenDataFiles and after CloseDataFiles.
    CSiteDatabase* Database() const { return m_database.get(); }
    CCategoryTree* CategoryTree() const { return m_categoryTree.get(); }
    CWordList* StopList() const { return m_stopList.get(); }
    CSiteFilterList* SiteFilters() const { return m_siteFilters.get(); }

    // The log book text of a site under the current view flags; ";" between parts when
    // `oneLine`, else "\n\r".
    std::string SiteLabelText(const CSite& site, bool oneLine) const;

    // Node operations. Hiding or showing a site changes it and every link node it owns and
    // clears their selection; each changed site is noted. None of them refreshes.
    void HideSite(CSite* site);
    void ShowSite(CSite* site);
    void HideLinks(CSite* site);
    void ShowLinks(CSite* site);
    void HideAll();
    void ShowAll();

    // Change notices. Each marks the database modified and emits its signal at once.
    // A new visited site with its links and words is in the database.
    void NoteSiteAdded(CSite* site);
    // A visited site or a link node is about to leave the database (it is still there, with
    // its words), and then has left it (the object still exists; the caller owns it).
    void NoteSiteAboutToBeRemoved(CSite* site);
    void NoteSiteRemoved(CSite* site);
    // The texts, hidden flag, selection, position or categories of one visited site or link
    // node changed (a visited site's own link nodes are not included). For a link node, give
    // the visited site that owns it when it is known: finding it costs a walk of the store.
    void NoteSiteChanged(CSite* site, CSite* owner = nullptr);
    // The position or selection of one word changed.
    void NoteWordChanged(CWordEntry* word);
    // The site was put into the category (its m_categories already name it).
    void NoteSiteFiled(CCategory* category, CSite* site);
    // Categories were made, moved, cut or renamed, or their sites or words changed.
    void NoteCategoriesChanged();
    // Many nodes changed at once (hide all, focus, relaxation, a loaded store): listeners read
    // everything again.
    void NoteStoreChanged();

    // Marks the database modified, notes that anything may have changed and tells every view
    // to update (the general refresh after a command).
    void Refresh();

    // Registers a view; `update` runs on every UpdateAllViews while `view` exists. The view is
    // not owned.
    void AddView(QObject* view, std::function<void()> update);
    void RemoveView(QObject* view);
    int ViewCount() const;

    // Calls every live view's update, in the order the views were added.
    void UpdateAllViews();

signals:
    void SiteAdded(CSite* site);
    void SiteAboutToBeRemoved(CSite* site);
    void SiteRemoved(CSite* site);
    // `owner`: the visited site of a link node, when the one who changed it knew it; else null.
    void SiteChanged(CSite* site, CSite* owner);
    void WordChanged(CWordEntry* word);
    void SiteFiled(CCategory* category, CSite* site);
    void CategoriesChanged();
    void StoreChanged();
    // Emitted after the views were updated.
    void ViewsUpdated();

private:
    struct CView {
        QPointer<QObject> object;
        std::function<void()> update;
    };
    void SetHidden(CSite& site, bool hidden);
    void WarmScoreIndex();
    void MarkModified();

    QString m_title;
    CSettings m_settings;
    std::unique_ptr<CWordList> m_stopList;
    std::unique_ptr<CSiteFilterList> m_siteFilters;
    std::unique_ptr<CSiteDatabase> m_database;
    std::unique_ptr<CCategoryTree> m_categoryTree;
    std::vector<CView> m_views;
};
