#pragma once

#include <QApplication>
#include <QString>

#include <memory>
#include <string>

class CKorvoDoc;
class CMainFrame;
class CSignalCloser;
class QLocalServer;
class QLocalSocket;

// The application object: one instance per user, the random generator seeded from the time,
// the download library, the error box, the start-up picture and the main window.
class CKorvoApp : public QApplication {
    Q_OBJECT
public:
    // Seeds the 15-bit generator with the current time.
    CKorvoApp(int& argc, char** argv);
    ~CKorvoApp() override;

    // Start-up. False when the program is to end at once with ExitCode(): another instance of
    // this user runs (it is raised; code 0) or the download library cannot start ("Windows
    // sockets initialization failed."; code 1). A failure while the main window is created
    // (a missing license.txt) ends the process from inside.
    bool InitInstance();
    int ExitCode() const { return m_exitCode; }

    CMainFrame* MainWindow() const { return m_mainFrame.get(); }
    CKorvoDoc* Document() const { return m_document.get(); }

    // What the command line asks for besides the window: "--import-history [FILE|BROWSER]"
    // (also "--import-history=FILE|BROWSER"). A source that names an existing path is made
    // absolute, so that a running Wayfold finds it from its own folder.
    struct CStartRequest {
        bool importHistory = false;
        std::string importSource; // empty: the dialog
    };
    static CStartRequest ParseCommandLine(const QStringList& arguments);
    // The lines a later start sends to the running Wayfold: "raise", then the import asked for
    // ("import-history", a blank and the source percent-encoded).
    static QByteArray HandOverMessage(const CStartRequest& request);

    // The per-user socket that tells a second start that Wayfold runs already:
    // $XDG_RUNTIME_DIR/wayfold-instance, or wayfold-instance-<uid> in the temporary folder.
    static QString InstanceSocketPath();

private:
    bool HandOverToRunningInstance();
    void ListenForLaterStarts();
    void ReadHandOver(QLocalSocket* socket);
    void RaiseMainWindow();
    void ImportHistory(const std::string& source);

    std::unique_ptr<CKorvoDoc> m_document;
    std::unique_ptr<CMainFrame> m_mainFrame;
    QLocalServer* m_instanceServer = nullptr;
    CSignalCloser* m_signalCloser = nullptr;
    CStartRequest m_request;
    bool m_terminationRequested = false;
    int m_exitCode = 0;
};
