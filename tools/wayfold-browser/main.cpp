// wayfold-browser: a stand-in web browser on Wayfold's local DDE substitute, for tests and for
// feeding Wayfold from a script.

#include "common/signalcloser.h"
#include "tools/wayfold-browser/standinbrowser.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <strings.h>
#include <thread>

namespace {

const char* const kHelp =
    "Plays a web browser for Wayfold over its local DDE sockets.\n"
    "\n"
    "It serves a browser DDE service (NETSCAPE unless --service says NSShell, IEXPLORE or\n"
    "OPERA), answers WWW_Version, accepts WWW_RegisterURLEcho and WWW_UnRegisterURLEcho,\n"
    "answers WWW_ListWindows and WWW_GetWindowInfo from its windows, and opens a new window\n"
    "for WWW_OpenURL, printing the URL it was asked to open on standard output.\n"
    "\n"
    "Commands on standard input, one a line:\n"
    "  visit URL [MIME-TYPE]  the current window shows URL; when Wayfold has registered its\n"
    "                         URL echo, WWW_URLEcho is poked with URL, MIME-TYPE (default\n"
    "                         text/html), the window id and an empty fourth field\n"
    "  window                 opens a new window, which becomes the current one\n"
    "  quit                   ends the browser\n"
    "Commands wait (see --wait) until Wayfold has registered its URL echo, so that\n"
    "  echo \"visit http://127.0.0.1:8000/page.html\" | wayfold-browser\n"
    "reaches a running Wayfold. At the end of its input the browser quits.\n"
    "\n"
    "The sockets live in $WAYFOLD_DDE_DIR, else $XDG_RUNTIME_DIR/wayfold-dde, else\n"
    "/tmp/wayfold-dde-<uid>.";

std::string CanonicalService(const QString& name) {
    for (const char* known : {"NSShell", "NETSCAPE", "IEXPLORE", "OPERA"})
        if (strcasecmp(name.toUtf8().constData(), known) == 0)
            return known;
    return {};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("wayfold-browser");
    QCommandLineParser parser;
    parser.setApplicationDescription(kHelp);
    parser.addHelpOption();
    const QCommandLineOption serviceOption(
        {"s", "service"}, "Browser service to serve: NSShell, NETSCAPE, IEXPLORE or OPERA.", "name",
        "NETSCAPE");
    const QCommandLineOption noEchoOption(
        "no-echo", "Never poke WWW_URLEcho (as Opera): only Wayfold's window scan finds pages.");
    const QCommandLineOption waitOption(
        "wait", "Seconds the commands wait for Wayfold's echo registration (default 5).", "seconds",
        "5");
    parser.addOptions({serviceOption, noEchoOption, waitOption});
    parser.process(app);

    const std::string service = CanonicalService(parser.value(serviceOption));
    if (service.empty()) {
        std::fprintf(stderr,
                     "wayfold-browser: unknown service %s (NSShell, NETSCAPE, IEXPLORE "
                     "or OPERA)\n",
                     parser.value(serviceOption).toUtf8().constData());
        return 2;
    }
    bool waitOk = false;
    const double waitSeconds = parser.value(waitOption).toDouble(&waitOk);
    if (!waitOk || waitSeconds < 0 || waitSeconds > 3600) {
        std::fprintf(stderr, "wayfold-browser: --wait needs a number of seconds (0 to 3600)\n");
        return 2;
    }

    CStandInBrowser browser(service, !parser.isSet(noEchoOption),
                            static_cast<int>(waitSeconds * 1000));
    if (!browser.Start())
        return 1;
    // SIGINT, SIGTERM and SIGHUP end the event loop, so that the service socket is removed.
    CSignalCloser closer;
    if (closer.Install())
        QObject::connect(&closer, &CSignalCloser::TerminationRequested, &app,
                         [] { QCoreApplication::quit(); });

    // Standard input is read on a thread of its own; each line is handed to the event loop.
    std::thread reader([&browser] {
        std::string line;
        while (std::getline(std::cin, line))
            QMetaObject::invokeMethod(
                &browser, [&browser, line] { browser.AddCommand(line); }, Qt::QueuedConnection);
        QMetaObject::invokeMethod(
            &browser, [&browser] { browser.EndOfInput(); }, Qt::QueuedConnection);
    });
    reader.detach();
    const int code = app.exec();
    browser.Stop();
    std::fflush(stdout);
    // The reader may still block on input; end without waiting for it.
    std::_Exit(code);
}
