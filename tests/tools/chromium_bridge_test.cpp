// The whole road with Chromium (headless): the Wayfold Bridge extension, the wayfold-bridge
// helper it starts through native messaging, and Wayfold itself, storing the pages Chromium
// shows.

#include "tests/tools/browserendtoend.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTcpSocket>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// One request to Chromium's DevTools HTTP endpoint on loopback; the answer's body, or
// std::nullopt when the answer is not 200.
std::optional<QByteArray> AskDevTools(int port, const std::string& method,
                                      const std::string& target) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    if (!socket.waitForConnected(5000))
        return std::nullopt;
    const std::string request = method + " " + target +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n"
                                "Connection: close\r\n\r\n";
    socket.write(request.data(), static_cast<qint64>(request.size()));
    // The endpoint may keep the connection open: the answer ends with its Content-Length.
    QByteArray answer;
    qsizetype bodyAt = -1;
    qsizetype bodyLength = 0;
    WaitUntil(
        [&] {
            answer += socket.readAll();
            if (bodyAt < 0 && (bodyAt = answer.indexOf("\r\n\r\n")) >= 0) {
                bodyAt += 4;
                const QByteArray headers = answer.left(bodyAt).toLower();
                const qsizetype at = headers.indexOf("content-length:");
                if (at >= 0)
                    bodyLength = headers.mid(at + 15, headers.indexOf("\r\n", at) - at - 15)
                                     .trimmed()
                                     .toLongLong();
            }
            return (bodyAt >= 0 && answer.size() >= bodyAt + bodyLength) ||
                   socket.state() != QAbstractSocket::ConnectedState;
        },
        10000);
    if (!answer.startsWith("HTTP/1.1 200") || bodyAt < 0)
        return std::nullopt;
    return answer.mid(bodyAt);
}

// Opens a new tab showing `url`; returns the DevTools id of the tab, empty on failure.
QString OpenTab(int devToolsPort, const std::string& url) {
    const auto body = AskDevTools(devToolsPort, "PUT", "/json/new?" + url);
    return body ? QJsonDocument::fromJson(*body).object().value("id").toString() : QString();
}

bool CloseTab(int devToolsPort, const QString& id) {
    return AskDevTools(devToolsPort, "GET", "/json/close/" + id.toStdString()).has_value();
}

class ChromiumBridgeTest : public BrowserEndToEndTest {
protected:
    void SetUp() override {
        for (const char* name : {"chromium", "chromium-browser"})
            if (m_chromium.isEmpty())
                m_chromium = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (m_chromium.isEmpty())
            GTEST_SKIP() << "chromium cannot be found in PATH; install the Debian package "
                            "chromium to run the browser test";
        BrowserEndToEndTest::SetUp();
        // A copy, so the browser never writes into the source tree.
        fs::copy(kSourceDir.toStdString() + "/extension", m_root.File("extension"),
                 fs::copy_options::recursive);
    }

    // Chromium's user data folder is $HOME/.config/chromium, as for a user; nothing reaches
    // for the network.
    QStringList ChromiumArguments() const {
        const QString extension = QString::fromStdString(m_root.File("extension"));
        return {"--headless=new",
                "--no-sandbox",
                "--user-data-dir=" + QString::fromStdString(Home()) + "/.config/chromium",
                "--load-extension=" + extension,
                "--disable-extensions-except=" + extension,
                "--no-first-run",
                "--no-default-browser-check",
                "--disable-background-networking",
                "--disable-component-update",
                "--disable-sync",
                "--disable-default-apps",
                "--password-store=basic",
                "--remote-debugging-port=0",
                "about:blank"};
    }

    // The port Chromium's DevTools endpoint listens on, once it has written it down.
    int DevToolsPort() {
        const QString path =
            QString::fromStdString(Home()) + "/.config/chromium/DevToolsActivePort";
        int port = 0;
        WaitUntil(
            [&] {
                QFile file(path);
                if (file.open(QIODevice::ReadOnly))
                    port = file.readLine().trimmed().toInt();
                return port > 0;
            },
            kSlowMs);
        return port;
    }

    QString m_chromium;
};

TEST_F(ChromiumBridgeTest, PagesChromiumLoadsAreStoredAndOpenUrlOpensATab) {
    StartWayfold();
    // Chromium runs before the helper is installed, as for a user who loads the extension
    // first: it finds the helper within seconds of its installation.
    CProgram chromium(m_chromium, ChromiumArguments(), Environment(),
                      QString::fromStdString(Home()));
    const int devTools = DevToolsPort();
    ASSERT_GT(devTools, 0) << chromium.Output();
    InstallBridge();
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_dde.SocketPath("NETSCAPE")); }, 15000))
        << chromium.Output();

    const QString tabOne = OpenTab(devTools, Url("one.html"));
    ASSERT_FALSE(tabOne.isEmpty());
    ASSERT_FALSE(OpenTab(devTools, Url("two.html")).isEmpty());
    ASSERT_TRUE(WaitForWayfold({"one.html", "two.html"}, chromium.Output()));

    // "Open Site" as Wayfold sends it: the browser opens the page, and its echo brings it in.
    CBridgeClient bridge;
    ASSERT_TRUE(bridge.OpenUrl(Url("three.html")));
    ASSERT_TRUE(WaitForWayfold({"three.html"}, chromium.Output()));
    EXPECT_TRUE(Fetched("three.html", "Chrome/"));

    ExpectFailedLoadsAreNotVisits(bridge, "Chrome/", "four.html", chromium.Output());

    // The tabs that show a loaded page are the browser's windows; a closed tab leaves the list.
    EXPECT_EQ(bridge.TabUrls(), (std::vector<std::string>{Url("four.html"), Url("one.html"),
                                                          Url("three.html"), Url("two.html")}));
    ASSERT_TRUE(CloseTab(devTools, tabOne));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return bridge.TabUrls() ==
                   std::vector<std::string>{Url("four.html"), Url("three.html"), Url("two.html")};
        },
        kSlowMs))
        << chromium.Output();

    ExpectStored({"one.html", "two.html", "three.html", "four.html"});
}

} // namespace
