#pragma once

#include "fetch/connectionsettings.h"
#include "shell/settings.h"

#include <QMainWindow>
#include <QPixmap>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CAddUrlPipeline;
class CBrowserLauncher;
class CBrowserWatch;
class CCategory;
class CDisplaySettings;
class CHistoryImportCommand;
class CCategoryTree;
class CKorvoDoc;
class CLinkSetAccess;
class CMapNavigator;
class CSite;
class CSiteDatabase;
class CSiteFilterList;
class CUrlList;
class CWordList;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QSettings;
class QSplitter;
class QToolBar;

// The program's one top-level window. It owns the panes, the add-URL pipeline, the browser
// link and the status bar; the document (CKorvoDoc) owns the settings and the four data
// objects, and the frame hands them out for the parts that reach them through MainFrame().
// Created by Create(); closing the window writes the settings and closes the data files, each
// of which writes itself.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The document is not owned (the application keeps it); without one the frame makes its
    // own.
    explicit CMainFrame(CKorvoDoc* document = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the window and loads everything, in this order: toolbar and status bar, settings
    // (QSettings "Quellon"/"Wayfold", group "Wayfold"), the data files from "Home" (stop words,
    // site filters, URL database, categories), "license.txt" (its absence is the fatal
    // "Can't open license.txt for read."), the program-wide pointer. Call once.
    void Create();
    // Shows the window at the saved rectangle, or maximized (restored size 800 x 750, centred)
    // when "WINL" or "WINR" is outside 1..3000.
    void ShowAtSavedPlace();

    // The document's data objects. Null before Create() and after the window has closed.
    CSiteDatabase* Database() const;
    CCategoryTree* CategoryTree() const;
    CWordList* StopList() const;
    CSiteFilterList* SiteFilters() const;
    CUrlList* LogBook() const { return m_logBook; }
    CKorvoDoc* Document() const { return m_document; }
    CAddUrlPipeline* Pipeline() const { return m_pipeline.get(); }
    // The DDE link to the browsers, their poll, Active Mode and the capture button; null
    // before Create() and after the window has closed.
    CBrowserWatch* BrowserWatch() const { return m_browserWatch.get(); }
    // The colour and font commands and the drawing objects built from them; null before
    // Create().
    CDisplaySettings* DisplaySettings() const { return m_displaySettings; }
    // "&Import Browser History..." and the imports it runs; null before Create().
    CHistoryImportCommand* HistoryImport() const { return m_historyImport; }
    // Opening sites and the maker's home page in the browser; null before Create().
    CBrowserLauncher* Launcher() const { return m_launcher.get(); }
    // Shows the site's URL in the browser the settings choose; failures are reported.
    void OpenSite(CSite* site);

    // The document's settings (see CKorvoDoc::WriteSettings for saving a group of them).
    CSettings& Settings();
    const CSettings& Settings() const;
    // The six values a fetch worker reads once at its start.
    CConnectionSettings ConnectionSettings() const;
    bool IsActiveMode() const { return Settings().activeMode != 0; }
    // The text of license.txt as read at creation (at most 8,192 bytes).
    const std::string& LicenseText() const { return m_licenseText; }

    // Marks the URL database modified and tells every view of the document to update.
    void Refresh();

    // Status bar: pane 1 shows the text (stored as bytes, shown as UTF-8 or Latin-1), pane 0 the
    // busy icon 0..18.
    void SetStatusText(const std::string& text);
    QString StatusText() const;
    void ShowBusyIcon(int index);
    int ShownBusyIcon() const { return m_shownBusyIcon; }

    // View flags, log book order and "Rank Cats": set the value, check marks and toolbar
    // state, and refresh all views.
    void SetViewFlag(std::int32_t bit, bool on);
    void SetSortType(std::int32_t sortType);
    void SetRankCats(bool on);
    void ToggleDebugMode();

    // The add-URL pipeline (see CAddUrlPipeline).
    bool IsNewUrl(const std::string& url) const;
    void StartAddUrl(const std::string& url);
    // The user deleted the site: its URL may be added again.
    void ForgetStartedUrl(const std::string& url);
    // Runs the categorizer on a stored site and acts on the answer: "Can't categorize this
    // site\n"; with "Rank Cats" on the modal rankings dialog (unless `offerRankings` is false:
    // imported pages); otherwise "Categorized <URL> as <parent>:<name>" and the site filed in
    // the category (the document is told).
    void CategorizeSite(CSite* site, bool offerRankings = true);
    // Closes the window as the user would (settings and data files written), after ending any
    // modal dialog; used for SIGTERM, SIGINT and SIGHUP. A page still being handled is finished
    // first.
    void CloseOnSignal();
    // Sets the passive-mode capture button, when it is shown, back to its idle icon.
    void ResetCaptureButton();

    // Menus and toolbar, for the parts that add their commands.
    QMenu* FileMenu() const { return m_fileMenu; }
    QMenu* ViewMenu() const { return m_viewMenu; }
    QMenu* OptionsMenu() const { return m_optionsMenu; }
    QMenu* HelpMenu() const;
    QToolBar* ToolBar() const { return m_toolBar; }
    // Checked actions of the view flag bits, the sort types and "Rank Cats".
    QAction* ViewFlagAction(std::int32_t bit) const;
    QAction* SortAction(std::int32_t sortType) const;
    QAction* RankCatsAction() const { return m_rankCatsAction; }

    // The two map panes: the linkage map (CKorvoView) and the overview map (CMetaView).
    QWidget* MapPane() const { return m_mapPane; }
    QWidget* OverviewPane() const { return m_overviewPane; }
    // The linkage map (CKorvoView) and overview map (CMetaView) share the world rectangle, the
    // overview origin and the centre/focus operations through this object (views/mapnavigator.h).
    CMapNavigator& Maps();

    // One of the 19 busy icons, 16 x 16.
    static QPixmap BusyIcon(int index);

signals:
    // Emitted after every change of the status text, with the new text.
    void StatusTextChanged(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePanes();
    // The actions go above "E&xit" with a separator between (at the end without one).
    static void InsertBeforeExit(QMenu& menu, const QList<QAction*>& actions);
    void ConnectLogBook();
    void ReadLicense();
    void CreateDisplayAndLaunchCommands();
    void SyncCheckMarks();
    void CaptureWindowPlacement();
    void DestroyDataObjects();
    void RunRankingsDialog(CSite* site);

    std::unique_ptr<CKorvoDoc> m_ownDocument;
    CKorvoDoc* m_document = nullptr;
    std::string m_licenseText;

    std::unique_ptr<CAddUrlPipeline> m_pipeline;
    std::unique_ptr<CBrowserWatch> m_browserWatch;
    CDisplaySettings* m_displaySettings = nullptr;
    CHistoryImportCommand* m_historyImport = nullptr;
    std::unique_ptr<CLinkSetAccess> m_linkAccess;
    std::unique_ptr<CBrowserLauncher> m_launcher;

    QSplitter* m_outerSplitter = nullptr;
    QSplitter* m_innerSplitter = nullptr;
    CUrlList* m_logBook = nullptr;
    QWidget* m_mapPane = nullptr;
    QWidget* m_overviewPane = nullptr;
    std::unique_ptr<CMapNavigator> m_maps;
    QLabel* m_busyPane = nullptr;
    QLabel* m_statusPane = nullptr;
    int m_shownBusyIcon = 0;

    QMenu* m_fileMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_optionsMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QToolBar* m_toolBar = nullptr;
    std::map<std::int32_t, QAction*> m_viewActions;
    std::map<std::int32_t, QAction*> m_sortActions;
    QAction* m_rankCatsAction = nullptr;

    bool m_created = false;
    bool m_shown = false;
    bool m_closed = false;
    bool m_closeWhenIdle = false;
};

// The program-wide main frame, set during its creation; null before and after.
CMainFrame* MainFrame();
