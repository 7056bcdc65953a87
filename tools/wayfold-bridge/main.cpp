// wayfold-bridge: the native-messaging host of Wayfold's browser extension. The browser starts
// it; it plays that browser's part on Wayfold's local DDE sockets.

#include "common/signalcloser.h"
#include "tools/wayfold-bridge/browserbridge.h"
#include "tools/wayfold-bridge/nativemessagechannel.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const kHelp =
    "Connects a web browser to Wayfold. The browser starts this program itself when its\n"
    "Wayfold Bridge extension asks for the native-messaging host \"wayfold_bridge\" (see\n"
    "scripts/install-bridge); it is not meant to be started by hand.\n"
    "\n"
    "It serves the first free browser DDE service of NETSCAPE, NSShell and IEXPLORE, so up\n"
    "to three browsers can feed one Wayfold. Each tab is a window to Wayfold, numbered by its\n"
    "tab id. Every page a tab finishes loading is echoed with WWW_URLEcho to the programs that\n"
    "registered for echoes; WWW_ListWindows and WWW_GetWindowInfo answer from the open tabs;\n"
    "WWW_OpenURL opens a tab and WWW_Activate focuses one. A \"status\" message tells the\n"
    "browser the service taken and whether Wayfold is there to take the pages; the extension\n"
    "shows it on its toolbar button. When the browser closes the connection, the service is\n"
    "given up and the program ends.\n"
    "\n"
    "Messages are UTF-8 JSON with a 32-bit length in native byte order, on standard input and\n"
    "output; the log goes to standard error. The DDE sockets live in $WAYFOLD_DDE_DIR, else\n"
    "$XDG_RUNTIME_DIR/wayfold-dde, else /tmp/wayfold-dde-<uid>.";

// Standard output carries only messages: they go to a private copy of it, and descriptor 1
// becomes standard error, so a stray print from any library cannot corrupt the stream.
int TakeStandardOutput() {
    const int messages = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (messages >= 0)
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
    return messages;
}

} // namespace

int main(int argc, char** argv) {
    const int messageFd = TakeStandardOutput();
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("wayfold-bridge");
    QCommandLineParser parser;
    parser.setApplicationDescription(kHelp);
    parser.addHelpOption();
    const QCommandLineOption waitOption(
        "wait",
        "Seconds after start during which the tabs shown are echoed to the first program that "
        "registers for echoes (default 5).",
        "seconds", "5");
    parser.addOption(waitOption);
    // Browsers pass the caller's origin, or the host manifest and the extension id.
    parser.addPositionalArgument("origin", "What the browser passes; ignored.", "[origin...]");
    parser.process(app);
    bool waitOk = false;
    const double waitSeconds = parser.value(waitOption).toDouble(&waitOk);
    if (!waitOk || waitSeconds < 0 || waitSeconds > 3600) {
        std::fprintf(stderr, "wayfold-bridge: --wait needs a number of seconds (0 to 3600)\n");
        return 2;
    }
    if (messageFd < 0) {
        std::fprintf(stderr, "wayfold-bridge: standard output is not open\n");
        return 1;
    }

    CNativeMessageChannel* channel = nullptr;
    CBrowserBridge bridge([&channel](const std::string& json) { return channel->Send(json); },
                          static_cast<int>(waitSeconds * 1000));
    CNativeMessageChannel browser(
        STDIN_FILENO, messageFd,
        [&bridge](const std::string& json) { bridge.OnBrowserMessage(json); },
        [] {
            std::fprintf(stderr, "wayfold-bridge: the browser closed the connection\n");
            QCoreApplication::quit();
        });
    channel = &browser;
    if (!bridge.Start())
        return 1;
    // SIGINT, SIGTERM and SIGHUP end the event loop, so that the service socket is removed.
    CSignalCloser closer;
    if (closer.Install())
        QObject::connect(&closer, &CSignalCloser::TerminationRequested, &app,
                         [] { QCoreApplication::quit(); });
    browser.Start();
    const int code = app.exec();
    bridge.Stop();
    return code;
}
