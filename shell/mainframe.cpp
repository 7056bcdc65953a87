#include "shell/mainframe.h"

#include "common/debuglog.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/categoryrankingsdlg.h"
#include "dialogs/dialogcommands.h"
#include "dialogs/displaytext.h"
#include "dialogs/historyimportcommand.h"
#include "model/categorizer.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/errorreport.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/sitefilterlist.h"
#include "model/wordlist.h"
#include "shell/addurlpipeline.h"
#include "shell/browserlauncher.h"
#include "shell/browserwatch.h"
#include "shell/busyicons.h"
#include "shell/colorref.h"
#include "shell/displaysettings.h"
#include "shell/korvodoc.h"
#include "shell/linksetaccess.h"
#include "shell/sitelabeltext.h"
#include "shell/toolbaricons.h"
#include "views/korvoview.h"
#include "views/mapnavigator.h"
#include "views/metaview.h"
#include "views/urllist.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {

CMainFrame* g_mainFrame = nullptr;

constexpr qint64 kLicenseMaxBytes = 8192;

struct CViewCommand {
    std::int32_t bit;
    const char* text;
    const char* toolTip;
    bool onToolBar;
    bool afterSeparator; // starts a new group in the View menu
};

// Menu texts as the program has always had them ("Vew" included), then the map options.
constexpr CViewCommand kViewCommands[] = {
    {kViewUrl, "View &URLs", "Show URLs in the labels", true, false},
    {kViewTitle, "View Site Titles", "Show titles in the labels", true, false},
    {kViewDate, "View &Dates", "Show dates in the labels", true, false},
    {kViewAnnotation, "View A&nnotations", "Show annotations in the labels", true, false},
    {kViewLinks, "Vew Site &Links", "Show site links on the map", true, false},
    {kViewWords, "View &Words", "Show words on the map", true, false},
    {kViewLines, "View Lines", "Show lines between sites of a category", true, false},
    {kViewCategories, "View Categories", "Show categories in the labels", true, false},
    {kViewDeclutter, "Declutter Labels", "Draw only the labels that fit, the best connected first",
     true, true},
    {kViewSoftLines, "Soft Lines", "Draw the map's lines translucent", false, false},
};

struct CSortCommand {
    std::int32_t type;
    const char* text;
};

constexpr CSortCommand kSortCommands[] = {
    {kSortByTitle, "Sort Sites by Title"},
    {kSortByUrl, "Sort Sites by URLs"},
    {kSortByDate, "Sort by Date"},
};

} // namespace

CMainFrame* MainFrame() {
    return g_mainFrame;
}

CMapNavigator& CMainFrame::Maps() {
    if (!m_maps)
        m_maps = std::make_unique<CMapNavigator>(*m_document);
    return *m_maps;
}

CMainFrame::CMainFrame(CKorvoDoc* document, QWidget* parent)
    : QMainWindow(parent), m_ownDocument(document ? nullptr : std::make_unique<CKorvoDoc>()),
      m_document(document ? document : m_ownDocument.get()) {
    setWindowTitle(m_document->Title());
}

CMainFrame::~CMainFrame() {
    if (m_pipeline)
        m_pipeline->Shutdown();
    if (!m_closed && m_created)
        DestroyDataObjects();
    if (g_mainFrame == this)
        g_mainFrame = nullptr;
}

void CMainFrame::Create() {
    DebugLog("Creating MainFrame");
    m_pipeline = std::make_unique<CAddUrlPipeline>(*this);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    // DDE, the four browser links and their first poll.
    m_browserWatch = std::make_unique<CBrowserWatch>(*this);

    m_document->ReadSettings();
    SyncCheckMarks();

    m_document->OpenDataFiles();
    ReadLicense();
    g_mainFrame = this;
    CreatePanes();
    // Timer 1, "&Active Mode" and, in passive mode, the capture button.
    m_browserWatch->Start();
    CreateDisplayAndLaunchCommands();
    CDialogCommands::Install(*this);
    QAction* aboutAction = HelpMenu()->addAction(QStringLiteral("&About Wayfold..."));
    connect(aboutAction, &QAction::triggered, this, [this] {
        CAboutDlg about(m_licenseText, this);
        about.exec();
    });

    // "?" arrives with or without Shift depending on the keyboard layout.
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Question), QKeySequence(Qt::SHIFT | Qt::Key_Question)}) {
        auto* debugKey = new QShortcut(key, this);
        connect(debugKey, &QShortcut::activated, this, &CMainFrame::ToggleDebugMode);
    }

    connect(m_pipeline.get(), &CAddUrlPipeline::Idle, this, [this] {
        if (m_closeWhenIdle)
            QTimer::singleShot(0, this, &QWidget::close);
    });
    m_created = true;
}

void CMainFrame::CreateActions() {
    for (const CViewCommand& command : kViewCommands) {
        auto* action = new QAction(QString::fromLatin1(command.text), this);
        action->setCheckable(true);
        action->setToolTip(QString::fromLatin1(command.toolTip));
        action->setIcon(ViewFlagIcon(command.bit));
        const std::int32_t bit = command.bit;
        connect(action, &QAction::triggered, this,
                [this, bit] { SetViewFlag(bit, !(Settings().viewFlags & bit)); });
        m_viewActions[command.bit] = action;
    }
    auto* sortGroup = new QActionGroup(this);
    for (const CSortCommand& command : kSortCommands) {
        auto* action = new QAction(QString::fromLatin1(command.text), sortGroup);
        action->setCheckable(true);
        action->setIcon(SortIcon(command.type));
        const std::int32_t type = command.type;
        connect(action, &QAction::triggered, this, [this, type] { SetSortType(type); });
        m_sortActions[command.type] = action;
    }
    m_rankCatsAction = new QAction(QStringLiteral("Interactively &Rank Categories"), this);
    m_rankCatsAction->setCheckable(true);
    m_rankCatsAction->setIcon(RankCatsIcon());
    connect(m_rankCatsAction, &QAction::triggered, this,
            [this] { SetRankCats(Settings().rankCats == 0); });
}

void CMainFrame::CreateMenus() {
    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    m_historyImport = new CHistoryImportCommand(*m_document, *m_pipeline, this);
    m_fileMenu->addAction(m_historyImport->Action());
    m_fileMenu->addSeparator();
    QAction* exitAction = m_fileMenu->addAction(QStringLiteral("E&xit"));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);

    m_viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    for (const CViewCommand& command : kViewCommands) {
        if (command.afterSeparator)
            m_viewMenu->addSeparator();
        m_viewMenu->addAction(m_viewActions[command.bit]);
    }
    m_viewMenu->addSeparator();
    for (const CSortCommand& command : kSortCommands)
        m_viewMenu->addAction(m_sortActions[command.type]);

    m_optionsMenu = menuBar()->addMenu(QStringLiteral("&Options"));
    m_optionsMenu->addAction(m_rankCatsAction);

    m_helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    // Shown once a command is added to it.
    m_helpMenu->menuAction()->setVisible(false);
}

QMenu* CMainFrame::HelpMenu() const {
    m_helpMenu->menuAction()->setVisible(true);
    return m_helpMenu;
}

void CMainFrame::CreateToolBar() {
    m_toolBar = addToolBar(QStringLiteral("Toolbar"));
    m_toolBar->setObjectName(QStringLiteral("MainToolBar"));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->addAction(m_rankCatsAction);
    m_toolBar->addSeparator();
    for (const CViewCommand& command : kViewCommands) {
        if (command.onToolBar)
            m_toolBar->addAction(m_viewActions[command.bit]);
    }
    m_toolBar->addSeparator();
    for (const CSortCommand& command : kSortCommands)
        m_toolBar->addAction(m_sortActions[command.type]);
}

void CMainFrame::CreateStatusBar() {
    m_busyPane = new QLabel(this);
    m_busyPane->setFixedWidth(100);
    m_busyPane->setObjectName(QStringLiteral("BusyPane"));
    m_statusPane = new QLabel(this);
    m_statusPane->setObjectName(QStringLiteral("StatusPane"));
    m_statusPane->setTextFormat(Qt::PlainText);
    // A long URL must not widen the window.
    m_statusPane->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(m_busyPane);
    statusBar()->addWidget(m_statusPane, 1);
    ShowBusyIcon(0);
}

void CMainFrame::InsertBeforeExit(QMenu& menu, const QList<QAction*>& actions) {
    QAction* exit = nullptr;
    for (QAction* action : menu.actions()) {
        if (action->text() == QStringLiteral("E&xit"))
            exit = action;
    }
    menu.insertActions(exit, actions);
    if (exit)
        menu.insertSeparator(exit);
}

void CMainFrame::CreatePanes() {
    m_outerSplitter = new QSplitter(Qt::Horizontal, this);
    m_outerSplitter->setObjectName(QStringLiteral("OuterSplitter"));
    auto* map = new CKorvoView(*m_document, Maps(), m_outerSplitter);
    m_mapPane = map;
    m_mapPane->setObjectName(QStringLiteral("MapPane"));
    connect(map, &CKorvoView::OpenSiteRequested, this, &CMainFrame::OpenSite);
    connect(map, &CKorvoView::DebugModeToggleRequested, this, &CMainFrame::ToggleDebugMode);
    InsertBeforeExit(*FileMenu(), map->FileActions());

    m_innerSplitter = new QSplitter(Qt::Vertical, m_outerSplitter);
    m_innerSplitter->setObjectName(QStringLiteral("InnerSplitter"));
    m_logBook = new CUrlList(*m_document, m_innerSplitter);
    m_overviewPane = new CMetaView(*m_document, Maps(), m_innerSplitter);
    m_overviewPane->setObjectName(QStringLiteral("OverviewPane"));

    for (QWidget* pane : {m_mapPane, m_overviewPane}) {
        pane->setAutoFillBackground(true);
        QPalette palette = pane->palette();
        palette.setColor(QPalette::Window, ColorFromRef(Settings().backgroundColor));
        pane->setPalette(palette);
    }
    const int minimum = CSettings::kMinPaneSize;
    m_logBook->setMinimumSize(minimum, minimum);
    m_overviewPane->setMinimumSize(minimum, minimum);
    m_innerSplitter->setChildrenCollapsible(false);

    m_outerSplitter->setSizes(
        {Settings().mapViewWidth, std::max(Settings().treeViewWidth, Settings().metaViewWidth)});
    m_innerSplitter->setSizes({Settings().treeViewHeight, Settings().metaViewHeight});
    setCentralWidget(m_outerSplitter);

    ConnectLogBook();
}

// The log book follows the document by itself; what it asks of the window comes here.
void CMainFrame::ConnectLogBook() {
    connect(m_logBook, &CUrlList::OpenSiteRequested, this, &CMainFrame::OpenSite);
    connect(m_logBook, &CUrlList::CategorizeRequested, this,
            [this](CSite* site) { CategorizeSite(site); });
    connect(m_logBook, &CUrlList::SiteUrlReleased, this, &CMainFrame::ForgetStartedUrl);
    connect(m_logBook, &CUrlList::CenterRequested, this,
            [this](CSite* site) { Maps().CenterOnSite(site); });
    connect(
        m_logBook, &CUrlList::FocusRequested, this,
        [this](CSite* site, int depth, CSite* owner) { Maps().FocusOnSite(site, depth, owner); });
    connect(m_logBook, &CUrlList::SitePropertiesRequested, this, [this](CSite* site) {
        CDialogCommands::EditSiteProperties(*m_document, site, m_logBook);
    });
    connect(m_logBook, &CUrlList::CategorizerSettingsRequested, this,
            [this] { CDialogCommands::CategorizerSettings(m_logBook); });
}

CSiteDatabase* CMainFrame::Database() const {
    return m_document->Database();
}

CCategoryTree* CMainFrame::CategoryTree() const {
    return m_document->CategoryTree();
}

CWordList* CMainFrame::StopList() const {
    return m_document->StopList();
}

CSiteFilterList* CMainFrame::SiteFilters() const {
    return m_document->SiteFilters();
}

CSettings& CMainFrame::Settings() {
    return m_document->Settings();
}

const CSettings& CMainFrame::Settings() const {
    return m_document->Settings();
}

void CMainFrame::CreateDisplayAndLaunchCommands() {
    m_displaySettings = new CDisplaySettings(
        Settings(), [this](CDisplaySettings::Writer writer) { m_document->WriteSettings(writer); },
        [this] { m_document->UpdateAllViews(); }, this);
    m_optionsMenu->addSeparator();
    m_displaySettings->AddCommands(m_optionsMenu);
    m_linkAccess = std::make_unique<CLinkSetAccess>(
        [this] { return m_browserWatch ? &m_browserWatch->Links() : nullptr; });
    m_launcher = std::make_unique<CBrowserLauncher>(Settings(), m_linkAccess.get(), this);
    connect(HelpMenu()->addAction(QStringLiteral("&Quellon Software")), &QAction::triggered, this,
            [this] { m_launcher->OpenMakerHomePage(); });
}

void CMainFrame::OpenSite(CSite* site) {
    if (m_launcher)
        m_launcher->OpenSite(site);
}

void CMainFrame::ReadLicense() {
    QFile file(QString::fromStdString(Settings().home + "/license.txt"));
    if (!file.open(QIODevice::ReadOnly))
        ShowFatalError("Can't open license.txt for read.");
    m_licenseText = file.read(kLicenseMaxBytes).toStdString();
}

void CMainFrame::ShowAtSavedPlace() {
    if (Settings().HasWindowRect()) {
        setGeometry(Settings().winLeft, Settings().winTop, Settings().winRight - Settings().winLeft,
                    Settings().winBottom - Settings().winTop);
        show();
        return;
    }
    resize(800, 750);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), QSize(800, 750));
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    showMaximized();
}

void CMainFrame::showEvent(QShowEvent* event) {
    m_shown = true;
    QMainWindow::showEvent(event);
}

CConnectionSettings CMainFrame::ConnectionSettings() const {
    CConnectionSettings connection;
    connection.proxy = Settings().proxy;
    connection.httpProxyServer = Settings().httpProxyServer;
    connection.httpProxyPort = Settings().httpProxyPort;
    connection.socksProxyServer = Settings().socksProxyServer;
    connection.socksProxyPort = Settings().socksProxyPort;
    connection.noProxies = Settings().noProxies;
    return connection;
}

void CMainFrame::Refresh() {
    m_document->Refresh();
}

void CMainFrame::SetStatusText(const std::string& text) {
    const QString shown = ToDisplayText(text);
    if (m_statusPane)
        m_statusPane->setText(shown);
    emit StatusTextChanged(shown);
}

QString CMainFrame::StatusText() const {
    return m_statusPane ? m_statusPane->text() : QString();
}

QPixmap CMainFrame::BusyIcon(int index) {
    return ::BusyIcon(index);
}

void CMainFrame::ShowBusyIcon(int index) {
    m_shownBusyIcon = index;
    if (m_busyPane)
        m_busyPane->setPixmap(BusyIcon(index));
}

void CMainFrame::SyncCheckMarks() {
    for (const auto& [bit, action] : m_viewActions)
        action->setChecked((Settings().viewFlags & bit) != 0);
    for (const auto& [type, action] : m_sortActions)
        action->setChecked(Settings().sortType == type);
    m_rankCatsAction->setChecked(Settings().rankCats != 0);
}

void CMainFrame::SetViewFlag(std::int32_t bit, bool on) {
    if (on)
        Settings().viewFlags |= bit;
    else
        Settings().viewFlags &= ~bit;
    SyncCheckMarks();
    m_document->UpdateAllViews();
}

void CMainFrame::SetSortType(std::int32_t sortType) {
    if (sortType < kSortByTitle || sortType > kSortByDate)
        return;
    Settings().sortType = sortType;
    SyncCheckMarks();
    m_document->UpdateAllViews();
}

void CMainFrame::SetRankCats(bool on) {
    Settings().rankCats = on ? 1 : 0;
    SyncCheckMarks();
}

QAction* CMainFrame::ViewFlagAction(std::int32_t bit) const {
    const auto it = m_viewActions.find(bit);
    return it == m_viewActions.end() ? nullptr : it->second;
}

QAction* CMainFrame::SortAction(std::int32_t sortType) const {
    const auto it = m_sortActions.find(sortType);
    return it == m_sortActions.end() ? nullptr : it->second;
}

void CMainFrame::ToggleDebugMode() {
    ::ToggleDebugMode();
    m_document->UpdateAllViews();
}

bool CMainFrame::IsNewUrl(const std::string& url) const {
    return m_pipeline && m_pipeline->IsNewUrl(url);
}

void CMainFrame::StartAddUrl(const std::string& url) {
    if (m_pipeline && !m_closed)
        m_pipeline->StartAddUrl(url);
}

void CMainFrame::ForgetStartedUrl(const std::string& url) {
    if (m_pipeline)
        m_pipeline->ForgetStartedUrl(url);
}

void CMainFrame::CategorizeSite(CSite* site, bool offerRankings) {
    if (!site || !CategoryTree())
        return;
    const CCategorizerWeights weights{Settings().wordsWeight, Settings().linksWeight,
                                      Settings().urlsWeight};
    CCategory* best = CCategorizer::Categorize(*CategoryTree(), *site, weights);
    if (best && Settings().rankCats && offerRankings) {
        RunRankingsDialog(site);
        return;
    }
    SetStatusText(CCategorizer::StatusText(*site, best));
    if (!best)
        return;
    best->AddSite(site);
    m_document->NoteSiteFiled(best, site);
}

void CMainFrame::RunRankingsDialog(CSite* site) {
    CCategoryRankingsDlg dialog(*site, *CategoryTree(), this);
    dialog.exec();
}

void CMainFrame::ResetCaptureButton() {
    if (m_browserWatch)
        m_browserWatch->ResetCaptureButton();
}

void CMainFrame::customEvent(QEvent* event) {
    if (event->type() == CAddUrlPipeline::CDoneEvent::kType) {
        auto* done = static_cast<CAddUrlPipeline::CDoneEvent*>(event);
        if (m_pipeline && !m_closed)
            m_pipeline->OnAddUrlDone(std::move(done->m_url), std::move(done->m_page));
        return;
    }
    QMainWindow::customEvent(event);
}

void CMainFrame::CloseOnSignal() {
    m_closeWhenIdle = true;
    // Pages not yet handled are dropped: each could open a dialog of its own.
    if (m_pipeline)
        m_pipeline->Shutdown();
    // Modal dialogs run nested event loops; end them first so the close happens on the way
    // out, after the page they belong to is finished.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
    QTimer::singleShot(0, this, &QWidget::close);
}

void CMainFrame::CaptureWindowPlacement() {
    if (!m_shown)
        return;
    const QRect rect = isMaximized() || isFullScreen() ? frameGeometry() : geometry();
    Settings().winLeft = rect.left();
    Settings().winTop = rect.top();
    Settings().winRight = rect.left() + rect.width();
    Settings().winBottom = rect.top() + rect.height();
    if (m_mapPane) {
        Settings().mapViewWidth = m_mapPane->width();
        Settings().mapViewHeight = m_mapPane->height();
    }
    if (m_logBook) {
        Settings().treeViewWidth = std::max(m_logBook->width(), CSettings::kMinPaneSize);
        Settings().treeViewHeight = std::max(m_logBook->height(), CSettings::kMinPaneSize);
    }
    if (m_overviewPane) {
        Settings().metaViewWidth = std::max(m_overviewPane->width(), CSettings::kMinPaneSize);
        Settings().metaViewHeight = std::max(m_overviewPane->height(), CSettings::kMinPaneSize);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_closed) {
        event->accept();
        return;
    }
    // A page is still open in a dialog of its own; close once it is finished.
    if (m_pipeline && m_pipeline->IsHandlingPage()) {
        m_closeWhenIdle = true;
        event->ignore();
        return;
    }
    m_closed = true;
    if (m_historyImport)
        m_historyImport->Stop();
    if (m_pipeline)
        m_pipeline->Shutdown();
    if (m_browserWatch)
        m_browserWatch->Stop(); // timer 1 and the capture button
    CaptureWindowPlacement();
    if (m_created)
        m_document->WriteSettings(&CSettings::WriteAtClose);
    DestroyDataObjects();
    m_browserWatch.reset(); // the links go without unregistering their echoes
    event->accept();
}

void CMainFrame::DestroyDataObjects() {
    // The views show the store's objects; they go first.
    delete m_outerSplitter;
    m_outerSplitter = nullptr;
    m_innerSplitter = nullptr;
    m_logBook = nullptr;
    m_mapPane = nullptr;
    m_overviewPane = nullptr;
    m_document->CloseDataFiles();
}
