#pragma once

#include "history/browserprofiles.h"
#include "history/historyreader.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CAddUrlPipeline;
class CHistoryImport;
class CHistoryReadTask;
class CImportProgressDlg;
class CKorvoDoc;
class QAction;
class QWidget;

// "&Import Browser History..." (File menu) and "--import-history" (command line): the choices
// dialog, then the import with its progress dialog. One import runs at a time; asking for
// another while it runs shows its progress.
class CHistoryImportCommand : public QObject {
    Q_OBJECT
public:
    // The window is the parent of the dialogs; the document refreshes the views; the pipeline
    // fetches and stores the pages.
    CHistoryImportCommand(CKorvoDoc& document, CAddUrlPipeline& pipeline, QWidget* window);
    ~CHistoryImportCommand() override;

    QAction* Action() const { return m_action; }

    // The File menu command: the choices dialog, then the import.
    void OpenDialog();
    // `word` empty: the dialog. Otherwise a history file or a browser's name (see
    // ResolveHistorySource), imported at once with the dialog's default choices: all of the
    // history, the 1,000 most visited pages not yet in Wayfold.
    void ImportFromCommandLine(const std::string& word);
    // Stops the import and any read under way (the window closes).
    void Stop();

    // Where the histories are looked for, and the clock of the periods; tests set them.
    void SetProfileRoots(const CProfileRoots& roots) { m_roots = roots; }
    void SetClock(std::function<std::int64_t()> now) { m_now = std::move(now); }

    // The last import and its progress dialog; null before the first and after they went.
    CHistoryImport* Import() const;
    CImportProgressDlg* ProgressDialog() const;

private:
    bool ShowRunningImport();
    CImportProgressDlg* NewProgressDialog();
    void StartImport(std::vector<CHistoryPage> pages);
    bool IsKnown(const std::string& url) const;

    CKorvoDoc& m_document;
    QPointer<CAddUrlPipeline> m_pipeline;
    QWidget* m_window;
    QAction* m_action = nullptr;
    CProfileRoots m_roots;
    std::function<std::int64_t()> m_now;
    CHistoryReadTask* m_reader = nullptr;
    QPointer<CHistoryImport> m_import;
    QPointer<CImportProgressDlg> m_progress;
};
