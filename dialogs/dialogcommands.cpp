#include "dialogs/dialogcommands.h"

#include "dialogs/browserdlg.h"
#include "dialogs/categorizersettingsdlg.h"
#include "dialogs/helpmanual.h"
#include "dialogs/searchdlg.h"
#include "dialogs/sitefiltersdlg.h"
#include "dialogs/sitepropertiesdlg.h"
#include "dialogs/wordfilterdlg.h"
#include "model/categorytree.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "shell/browserlauncher.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "views/mapnavigator.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QToolBar>

namespace {

// A magnifying glass, 16 x 16, for the toolbar.
QIcon SearchIcon() {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 40, 40), 2));
    painter.drawEllipse(QRectF(2, 2, 8, 8));
    painter.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(10, 10), QPointF(14, 14));
    return QIcon(picture);
}

// Puts the action before the first one of the menu (or at its end when it is empty).
void AddFirst(QMenu* menu, QAction* action) {
    const QList<QAction*> actions = menu->actions();
    menu->insertAction(actions.isEmpty() ? nullptr : actions.first(), action);
}

} // namespace

CDialogCommands::CDialogCommands(CMainFrame& frame) : QObject(&frame), m_frame(frame) {}

CDialogCommands* CDialogCommands::Install(CMainFrame& frame) {
    auto* commands = new CDialogCommands(frame);
    commands->CreateActions();
    if (CBrowserLauncher* launcher = frame.Launcher())
        launcher->SetConfigureBrowserHandler([commands] { commands->ConfigureBrowser(); });
    CHelpManual::InstallF1Key();
    return commands;
}

void CDialogCommands::CreateActions() {
    m_searchAction = new QAction(SearchIcon(), QStringLiteral("&Search"), this);
    m_searchAction->setToolTip(QStringLiteral("Search sites by keyword"));
    connect(m_searchAction, &QAction::triggered, this, &CDialogCommands::Search);
    if (QMenu* file = m_frame.FileMenu())
        AddFirst(file, m_searchAction);
    if (QToolBar* toolBar = m_frame.ToolBar()) {
        const QList<QAction*> actions = toolBar->actions();
        toolBar->insertAction(actions.isEmpty() ? nullptr : actions.first(), m_searchAction);
        if (!actions.isEmpty())
            toolBar->insertSeparator(actions.first());
    }

    m_selectBrowserAction = new QAction(QStringLiteral("Select &Browser"), this);
    connect(m_selectBrowserAction, &QAction::triggered, this, &CDialogCommands::SelectBrowser);
    m_filterWordListAction = new QAction(QStringLiteral("Filter Word List"), this);
    connect(m_filterWordListAction, &QAction::triggered, this, &CDialogCommands::FilterWordList);
    m_filterSitesAction = new QAction(QStringLiteral("Filter Sites"), this);
    connect(m_filterSitesAction, &QAction::triggered, this, &CDialogCommands::FilterSites);
    if (QMenu* options = m_frame.OptionsMenu()) {
        options->addSeparator();
        options->addAction(m_selectBrowserAction);
        options->addAction(m_filterWordListAction);
        options->addAction(m_filterSitesAction);
    }

    m_helpTopicsAction = new QAction(QStringLiteral("&Help Topics"), this);
    connect(m_helpTopicsAction, &QAction::triggered, this, &CDialogCommands::HelpTopics);
    if (QMenu* help = m_frame.HelpMenu())
        AddFirst(help, m_helpTopicsAction);
}

void CDialogCommands::Search() {
    CSiteDatabase* database = m_frame.Database();
    CWordList* stopList = m_frame.StopList();
    if (!database || !stopList)
        return;
    CSettings& settings = m_frame.Settings();
    CSearchDlg dialog(*database, *stopList, settings.searchWords != 0, settings.searchTitles != 0,
                      settings.searchAnnotations != 0, &m_frame);
    connect(&dialog, &CSearchDlg::CenterRequested, this,
            [this](CSite* site) { m_frame.Maps().CenterOnSite(site); });
    connect(&dialog, &CSearchDlg::PropertiesRequested, this,
            [this, &dialog](CSite* site) { EditSiteProperties(m_frame, site, &dialog); });
    connect(&dialog, &CSearchDlg::OpenRequested, this,
            [this](CSite* site) { m_frame.OpenSite(site); });
    dialog.exec();
    settings.searchWords = dialog.SearchWords() ? 1 : 0;
    settings.searchTitles = dialog.SearchTitles() ? 1 : 0;
    settings.searchAnnotations = dialog.SearchAnnotations() ? 1 : 0;
    m_frame.Document()->WriteSettings(&CSettings::WriteSearchOptions);
}

bool CDialogCommands::EditSiteProperties(CMainFrame& frame, CSite* site, QWidget* parent) {
    CSiteDatabase* database = frame.Database();
    CCategoryTree* categories = frame.CategoryTree();
    if (!site || !database || !categories)
        return false;
    CSitePropertiesDlg dialog(*site, *database, *categories, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    site->m_annotation = dialog.Annotation();
    site->m_title = dialog.Title();
    // The URL map and the word entries follow a visited site's new URL; a link site just
    // takes it.
    if (!database->RekeySite(site, dialog.Url()))
        site->m_url = dialog.Url();
    site->m_hidden = dialog.Hidden() ? 1 : 0;
    frame.Document()->NoteSiteChanged(site);
    frame.Document()->UpdateAllViews();
    return true;
}

void CDialogCommands::SelectBrowser() {
    if (CBrowserDlg::EditSettings(m_frame.Settings(), &m_frame))
        m_frame.Document()->WriteSettings(&CSettings::WriteBrowserAndConnection);
}

void CDialogCommands::ConfigureBrowser() {
    if (CBrowserDlg::EditBrowserChoice(m_frame.Settings(), &m_frame))
        m_frame.Document()->WriteSettings(&CSettings::WriteBrowserAndConnection);
}

void CDialogCommands::FilterWordList() {
    if (CWordList* stopList = m_frame.StopList()) {
        CWordFilterDlg dialog(*stopList, &m_frame);
        dialog.exec();
    }
}

void CDialogCommands::FilterSites() {
    if (CSiteFilterList* filters = m_frame.SiteFilters()) {
        CSiteFiltersDlg dialog(*filters, &m_frame);
        dialog.exec();
    }
}

void CDialogCommands::HelpTopics() {
    CHelpManual::Open();
}

void CDialogCommands::CategorizerSettings(QWidget* parent) {
    CMainFrame* frame = MainFrame();
    if (!frame)
        return;
    if (CCategorizerSettingsDlg::EditWeights(frame->Settings(), parent))
        frame->Document()->WriteSettings(&CSettings::WriteWeights);
}
