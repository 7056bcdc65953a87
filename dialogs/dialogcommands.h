#pragma once

#include <QObject>

class CMainFrame;
class CSite;
class QAction;
class QWidget;

// The main frame's commands that open the search, the browser and filter settings and the
// manual: "&Search" (File menu and toolbar), "Select &Browser", "Filter Word List" and
// "Filter Sites" (Options menu), "&Help Topics" (Help menu). It also lets the launcher's
// configuration question open the browser dialog, and makes F1 open the manual.
class CDialogCommands : public QObject {
    Q_OBJECT
public:
    // Adds the commands to the frame's menus and toolbar; the object is owned by the frame.
    // Call once, after the frame's Create() has made its launcher.
    static CDialogCommands* Install(CMainFrame& frame);

    // "&Search": the search dialog on the frame's options, which are written afterwards.
    void Search();
    // "Select &Browser": the browser and connection dialog; on OK its nine values are stored
    // and written.
    void SelectBrowser();
    // The launcher's configuration question answered with OK: the same dialog on the browser
    // path, choice and default-browser flag; on OK those three are stored and written.
    void ConfigureBrowser();
    // "Filter Word List" and "Filter Sites": the dialogs on the frame's lists.
    void FilterWordList();
    void FilterSites();
    // "&Help Topics": the manual in the browser.
    void HelpTopics();

    // "Settings" of the log book's "CATEGORIES" menu: the categorizer settings dialog on the
    // frame's weights; on OK they are stored and written. Nothing without a main frame.
    static void CategorizerSettings(QWidget* parent);
    // The site properties dialog for the site, shared by the search, the map and the log book;
    // on OK its annotation, title, URL (re-keyed in the database) and hidden flag are replaced,
    // the document is told and the views are refreshed. Returns whether the site was changed;
    // nothing without a site, database or hierarchy.
    static bool EditSiteProperties(CMainFrame& frame, CSite* site, QWidget* parent);

    QAction* SearchAction() const { return m_searchAction; }
    QAction* SelectBrowserAction() const { return m_selectBrowserAction; }
    QAction* FilterWordListAction() const { return m_filterWordListAction; }
    QAction* FilterSitesAction() const { return m_filterSitesAction; }
    QAction* HelpTopicsAction() const { return m_helpTopicsAction; }

private:
    explicit CDialogCommands(CMainFrame& frame);
    void CreateActions();

    CMainFrame& m_frame;
    QAction* m_searchAction = nullptr;
    QAction* m_selectBrowserAction = nullptr;
    QAction* m_filterWordListAction = nullptr;
    QAction* m_filterSitesAction = nullptr;
    QAction* m_helpTopicsAction = nullptr;
};
