#include "shell/korvoapp.h"

#include "common/signalcloser.h"
#include "dialogs/errordlg.h"
#include "dialogs/historyimportcommand.h"
#include "dialogs/splashdlg.h"
#include "fetch/fetchworker.h"
#include "model/errorreport.h"
#include "model/random.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "shell/toolbaricons.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <ctime>
#include <unistd.h>

namespace {

constexpr int kConnectWaitMs = 1000;
// A later start sends a few short lines; more is not from Wayfold.
constexpr qint64 kMaxHandOverBytes = 64 * 1024;

const QString kImportOption = QStringLiteral("--import-history");
const QByteArray kImportLine = QByteArrayLiteral("import-history");

} // namespace

CKorvoApp::CKorvoApp(int& argc, char** argv) : QApplication(argc, argv) {
    SeedRandom(static_cast<unsigned int>(std::time(nullptr)));
    setApplicationName(QStringLiteral("Wayfold"));
    setOrganizationName(QStringLiteral("Quellon"));
}

CKorvoApp::~CKorvoApp() {
    m_mainFrame.reset();
    m_document.reset();
}

QString CKorvoApp::InstanceSocketPath() {
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QFileInfo(runtimeDir).isDir())
        return QDir(runtimeDir).filePath(QStringLiteral("wayfold-instance"));
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("wayfold-instance-%1").arg(static_cast<qulonglong>(getuid())));
}

CKorvoApp::CStartRequest CKorvoApp::ParseCommandLine(const QStringList& arguments) {
    CStartRequest request;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString source;
        if (argument == kImportOption) {
            request.importHistory = true;
            if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1String("--")))
                source = arguments[++i];
        } else if (argument.startsWith(kImportOption + QLatin1Char('='))) {
            request.importHistory = true;
            source = argument.mid(kImportOption.size() + 1);
        } else {
            continue;
        }
        const QFileInfo path(source);
        request.importSource = source.isEmpty() ? std::string()
                               : path.exists()
                                   ? QFile::encodeName(path.absoluteFilePath()).toStdString()
                                   : QFile::encodeName(source).toStdString();
    }
    return request;
}

QByteArray CKorvoApp::HandOverMessage(const CStartRequest& request) {
    QByteArray message = QByteArrayLiteral("raise\n");
    if (request.importHistory) {
        message += kImportLine;
        if (!request.importSource.empty())
            message += ' ' + QByteArray::fromStdString(request.importSource).toPercentEncoding();
        message += '\n';
    }
    return message;
}

bool CKorvoApp::HandOverToRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketPath());
    if (!socket.waitForConnected(kConnectWaitMs))
        return false;
    socket.write(HandOverMessage(m_request));
    socket.waitForBytesWritten(kConnectWaitMs);
    socket.disconnectFromServer();
    return true;
}

void CKorvoApp::ListenForLaterStarts() {
    const QString path = InstanceSocketPath();
    m_instanceServer = new QLocalServer(this);
    m_instanceServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_instanceServer->listen(path)) {
        // Nobody answered on it, so the socket was left by an instance that is gone.
        QLocalServer::removeServer(path);
        m_instanceServer->listen(path);
    }
    connect(m_instanceServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_instanceServer->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this,
                    [this, socket] { ReadHandOver(socket); });
            RaiseMainWindow();
            ReadHandOver(socket);
        }
    });
}

void CKorvoApp::ReadHandOver(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxHandOverBytes).trimmed();
        if (line == kImportLine)
            ImportHistory({});
        else if (line.startsWith(kImportLine + ' '))
            ImportHistory(
                QByteArray::fromPercentEncoding(line.mid(kImportLine.size() + 1)).toStdString());
    }
    if (socket->bytesAvailable() > kMaxHandOverBytes)
        socket->abort();
}

void CKorvoApp::ImportHistory(const std::string& source) {
    if (!m_mainFrame || !m_mainFrame->HistoryImport())
        return;
    // Later, from the event loop: the choices dialog runs its own.
    QTimer::singleShot(0, m_mainFrame.get(), [this, source] {
        if (m_mainFrame && m_mainFrame->HistoryImport())
            m_mainFrame->HistoryImport()->ImportFromCommandLine(source);
    });
}

void CKorvoApp::RaiseMainWindow() {
    if (!m_mainFrame)
        return;
    m_mainFrame->setWindowState(m_mainFrame->windowState() & ~Qt::WindowMinimized);
    m_mainFrame->show();
    m_mainFrame->raise();
    m_mainFrame->activateWindow();
}

bool CKorvoApp::InitInstance() {
    m_request = ParseCommandLine(arguments());
    if (HandOverToRunningInstance()) {
        m_exitCode = 0;
        return false;
    }
    // Installed first, so a signal that comes while the window is still being made closes it
    // as soon as the event loop runs.
    m_signalCloser = new CSignalCloser(this);
    m_signalCloser->Install();
    connect(m_signalCloser, &CSignalCloser::TerminationRequested, this, [this] {
        if (m_mainFrame)
            m_mainFrame->CloseOnSignal();
        else
            m_terminationRequested = true;
    });
    InstallGuiErrorHandler();
    if (!InitFetchLibrary()) {
        ShowError("Windows sockets initialization failed.");
        m_exitCode = 1;
        return false;
    }
    ListenForLaterStarts();

    CSplashDlg splash;
    splash.show();
    processEvents();

    m_document = std::make_unique<CKorvoDoc>();
    m_mainFrame = std::make_unique<CMainFrame>(m_document.get());
    m_mainFrame->setWindowIcon(ApplicationIcon());
    setWindowIcon(ApplicationIcon());
    m_mainFrame->Create();
    splash.CloseWhenShown(m_mainFrame.get());
    m_mainFrame->ShowAtSavedPlace();
    m_mainFrame->raise();
    m_mainFrame->activateWindow();
    m_document->UpdateAllViews();
    if (m_request.importHistory)
        ImportHistory(m_request.importSource);
    if (m_terminationRequested)
        QTimer::singleShot(0, m_mainFrame.get(), &CMainFrame::CloseOnSignal);
    return true;
}
