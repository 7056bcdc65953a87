#include "dialogs/historyimportcommand.h"

#include "dialogs/importhistorydlg.h"
#include "dialogs/importprogressdlg.h"
#include "shell/addurlpipeline.h"
#include "shell/historyimport.h"
#include "shell/historyreadtask.h"
#include "shell/korvodoc.h"

#include <QAction>

#include <ctime>

namespace {

// The command line imports with the dialog's default choices.
constexpr int kDefaultCap = 1000;

std::string SourceName(const CBrowserProfile& source) {
    return source.browser.empty() ? source.historyFile
                                  : source.browser + ", profile " + source.profile;
}

} // namespace

CHistoryImportCommand::CHistoryImportCommand(CKorvoDoc& document, CAddUrlPipeline& pipeline,
                                             QWidget* window)
    : QObject(window), m_document(document), m_pipeline(&pipeline), m_window(window),
      m_roots(CProfileRoots::FromEnvironment()),
      m_now([] { return static_cast<std::int64_t>(std::time(nullptr)); }),
      m_reader(new CHistoryReadTask(this)) {
    m_action = new QAction(QStringLiteral("&Import Browser History..."), this);
    m_action->setToolTip(QStringLiteral("Map the pages of a browser's history"));
    connect(m_action, &QAction::triggered, this, &CHistoryImportCommand::OpenDialog);
}

CHistoryImportCommand::~CHistoryImportCommand() = default;

void CHistoryImportCommand::OpenDialog() {
    if (ShowRunningImport())
        return;
    CImportHistoryDlg dialog(
        FindBrowserProfiles(m_roots), [this](const std::string& url) { return IsKnown(url); },
        m_now(), m_window);
    if (dialog.exec() != QDialog::Accepted || !m_pipeline)
        return;
    std::vector<CHistoryPage> pages = dialog.Selection();
    if (pages.empty())
        return;
    NewProgressDialog();
    StartImport(std::move(pages));
}

void CHistoryImportCommand::ImportFromCommandLine(const std::string& word) {
    if (word.empty()) {
        OpenDialog();
        return;
    }
    if (ShowRunningImport())
        return;
    CImportProgressDlg* progress = NewProgressDialog();
    CBrowserProfile source;
    std::string error;
    if (!ResolveHistorySource(word, FindBrowserProfiles(m_roots), source, error)) {
        progress->ShowStopped(error);
        return;
    }
    progress->ShowReading(SourceName(source));
    const CHistoryQuery query{PeriodStart(EHistoryPeriod::All, m_now()),
                              EHistoryOrder::MostVisited};
    QPointer<CImportProgressDlg> shown(progress);
    m_reader->Read(source.historyFile, query, [this, shown](CHistoryReadResult result) {
        if (!shown)
            return;
        if (!result.error.empty()) {
            shown->ShowStopped(result.error);
            return;
        }
        std::vector<CHistoryPage> pages = SelectHistoryPages(
            result.pages, kDefaultCap, [this](const std::string& url) { return IsKnown(url); });
        if (pages.empty()) {
            shown->ShowStopped("Every page of this history is in Wayfold already.");
            return;
        }
        StartImport(std::move(pages));
    });
}

void CHistoryImportCommand::Stop() {
    m_reader->CancelAll();
    if (m_import)
        m_import->Cancel();
}

CHistoryImport* CHistoryImportCommand::Import() const {
    return m_import;
}

CImportProgressDlg* CHistoryImportCommand::ProgressDialog() const {
    return m_progress;
}

bool CHistoryImportCommand::ShowRunningImport() {
    if (!m_progress || m_progress->IsFinished())
        return false;
    m_progress->show();
    m_progress->raise();
    m_progress->activateWindow();
    return true;
}

CImportProgressDlg* CHistoryImportCommand::NewProgressDialog() {
    if (m_progress)
        m_progress->deleteLater();
    auto* progress = new CImportProgressDlg(m_window);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    connect(progress, &CImportProgressDlg::CancelRequested, this, [this, progress] {
        if (m_import && m_import->IsRunning()) {
            m_import->Cancel();
            return;
        }
        m_reader->CancelAll();
        progress->ShowStopped("Cancelled.");
    });
    m_progress = progress;
    progress->show();
    return progress;
}

void CHistoryImportCommand::StartImport(std::vector<CHistoryPage> pages) {
    if (!m_pipeline || !m_progress)
        return;
    if (m_import)
        m_import->deleteLater();
    m_import = new CHistoryImport(
        *m_pipeline, [this] { m_document.UpdateAllViews(); }, this);
    m_progress->Follow(m_import);
    m_import->Start(std::move(pages));
}

bool CHistoryImportCommand::IsKnown(const std::string& url) const {
    return !m_pipeline || !m_pipeline->IsNewUrl(url);
}
