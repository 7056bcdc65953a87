// The whole road with a real browser: Chromium (headless) with the Wayfold Bridge extension,
// the wayfold-bridge host it starts through native messaging, and Wayfold itself, running
// offscreen in Active Mode, storing the pages Chromium shows.

#include "browserlink/browserurlrules.h"
#include "browserlink/ddeitemtext.h"
#include "browserlink/ddeml.h"

#include "tests/browserlink/ddetestsupport.h"
#include "tests/support/loopbackhttpserver.h"
#include "tests/support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

const QString kBinaryDir = QStringLiteral(WAYFOLD_BINARY_DIR);
const QString kSourceDir = QStringLiteral(WAYFOLD_SOURCE_DIR);
// Chromium starts slowly on a small machine; every wait is bounded by this.
constexpr int kSlowMs = 60000;

QString FindChromium() {
    for (const char* name : {"chromium", "chromium-browser"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

void WriteText(const std::string& path, const std::string& text) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

std::string Page(const std::string& title, const std::vector<std::string>& links) {
    std::string html =
        "<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1>";
    for (const std::string& link : links)
        html += "<p><a href=\"" + link + "\">" + link + "</a></p>";
    return html + "</body></html>\n";
}

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

// Speaks to the bridge's service as Wayfold's NETSCAPE link does.
class CBridgeClient {
public:
    CBridgeClient() { EXPECT_EQ(DdeInitialize(&m_id, nullptr, 0, 0), DMLERR_NO_ERROR); }
    ~CBridgeClient() { DdeUninitialize(m_id); }

    std::optional<std::string> Request(const std::string& topic, const std::string& item) {
        const HCONV conv = DdeConnect(m_id, Str("NETSCAPE"), Str(topic), nullptr);
        if (!conv)
            return std::nullopt;
        const HDDEDATA data = DdeClientTransaction(nullptr, 0, conv, Str(item), CF_TEXT,
                                                   XTYP_REQUEST, 10000, nullptr);
        DdeDisconnect(conv);
        if (!data)
            return std::nullopt;
        std::string bytes = DdeGetDataBytes(data);
        DdeFreeDataHandle(data);
        return bytes;
    }
    // The item Wayfold's "Open Site" sends over its NETSCAPE link (own service TARN2).
    bool OpenUrl(const std::string& url) {
        return Request("WWW_OpenURL",
                       BuildDdeItemText("QCS,QCS,DW,DW,QCS,QCS,CS",
                                        {url, DdeValue{}, 0xFFFFFFFFu, 0u, DdeValue{}, DdeValue{},
                                         std::string("TARN2")}))
            .has_value();
    }
    // The URL each open tab shows, in the order of the window list.
    std::vector<std::string> TabUrls() {
        std::vector<std::string> urls;
        const auto list = Request("WWW_ListWindows", "WWW_ListWindows");
        for (uint32_t id : DecodeWindowList(list.value_or(""))) {
            const auto info = Request("WWW_GetWindowInfo", std::to_string(id));
            urls.push_back(info ? std::get<std::string>(ParseDdeReplyBytes(*info, "QCS,QCS")[0])
                                : "<no reply>");
        }
        std::sort(urls.begin(), urls.end());
        return urls;
    }

private:
    HSZ Str(const std::string& text) { return DdeCreateStringHandle(m_id, text, CP_WINANSI); }

    uint32_t m_id = 0;
};

// A program the test started, stopped by its own id when the test ends.
class CProgram {
public:
    CProgram(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment, const QString& workingDir) {
        m_process.setProcessEnvironment(environment);
        m_process.setWorkingDirectory(workingDir);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, arguments);
        EXPECT_TRUE(m_process.waitForStarted(10000)) << program.toStdString();
    }
    ~CProgram() { Stop(); }
    // SIGTERM, then SIGKILL when it has not ended within `graceMs`.
    bool Stop(int graceMs = 15000) {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        m_process.terminate();
        if (WaitUntil([this] { return m_process.state() == QProcess::NotRunning; }, graceMs))
            return true;
        m_process.kill();
        m_process.waitForFinished(5000);
        return false;
    }
    bool IsRunning() const { return m_process.state() != QProcess::NotRunning; }
    std::string Output() {
        m_output += m_process.readAll().toStdString();
        return m_output;
    }

private:
    QProcess m_process;
    std::string m_output;
};

class ChromiumBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_chromium = FindChromium();
        if (m_chromium.isEmpty())
            GTEST_SKIP() << "chromium cannot be found in PATH; install the Debian package "
                            "chromium to run the browser test";
        for (const char* folder : {"home", "data", "runtime", "extension"})
            fs::create_directories(m_root.File(folder));
        fs::permissions(m_root.File("runtime"), fs::perms::owner_all, fs::perm_options::replace);
    }

    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(m_root.File("home")));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_root.File("home") + "/.config"));
        env.insert("XDG_CACHE_HOME", QString::fromStdString(m_root.File("home") + "/.cache"));
        env.insert("XDG_DATA_HOME", QString::fromStdString(m_root.File("home") + "/.local/share"));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_root.File("runtime")));
        env.insert("WAYFOLD_DDE_DIR", QString::fromStdString(m_dde.Path()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        return env;
    }

    // The host manifest as a user gets it from scripts/install-bridge, in the folder Chromium
    // reads for a user data folder of $HOME/.config/chromium.
    void InstallBridge() {
        QProcess install;
        install.setProcessEnvironment(Environment());
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start("bash", {kSourceDir + "/scripts/install-bridge", "--host",
                               kBinaryDir + "/tools/wayfold-bridge"});
        ASSERT_TRUE(install.waitForFinished(30000));
        ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
        ASSERT_TRUE(fs::exists(m_root.File("home") +
                               "/.config/chromium/NativeMessagingHosts/wayfold_bridge.json"));
    }

    // Active Mode on and the rankings dialog off, so nothing waits for a person.
    void WriteWayfoldSettings() {
        QSettings store(
            QString::fromStdString(m_root.File("home") + "/.config/Quellon/Wayfold.conf"),
            QSettings::IniFormat);
        store.setValue("Wayfold/Active Mode", 1);
        store.setValue("Wayfold/Rank Cats", 0);
        store.sync();
        WriteText(m_root.File("data") + "/license.txt", "Test license\n");
    }

    // A copy, so the browser never writes into the source tree.
    void CopyExtension() {
        for (const char* name : {"manifest.json", "background.js"})
            fs::copy_file(kSourceDir.toStdString() + "/extension/" + name,
                          m_root.File("extension") + "/" + name);
    }

    QStringList ChromiumArguments() const {
        const QString extension = QString::fromStdString(m_root.File("extension"));
        return {"--headless=new",
                "--no-sandbox",
                "--user-data-dir=" + QString::fromStdString(m_root.File("home")) +
                    "/.config/chromium",
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
            QString::fromStdString(m_root.File("home")) + "/.config/chromium/DevToolsActivePort";
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

    // True when Wayfold (not Chromium) has downloaded the page: it is being added.
    bool WayfoldFetched(const std::string& path) const {
        for (const CRecordedRequest& request : m_http.RequestsFor(path))
            if (request.Header("user-agent") == "Wayfold")
                return true;
        return false;
    }
    bool ChromiumFetched(const std::string& path) const {
        for (const CRecordedRequest& request : m_http.RequestsFor(path))
            if (request.Header("user-agent").find("Chrome/") != std::string::npos)
                return true;
        return false;
    }

    // urls.wfx as wayfold-dump shows it.
    QJsonObject DumpUrls() {
        QProcess dump;
        dump.start(kBinaryDir + "/tools/wayfold-dump",
                   {QString::fromStdString(m_root.File("data") + "/urls.wfx")});
        EXPECT_TRUE(dump.waitForFinished(30000));
        EXPECT_EQ(dump.exitCode(), 0) << dump.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(dump.readAllStandardOutput()).object();
    }

    CTempDir m_root;
    CPrivateDdeDir m_dde;
    CLoopbackHttpServer m_http;
    QString m_chromium;
};

QJsonObject SiteWithUrl(const QJsonObject& dump, const std::string& url) {
    for (const QJsonValue& site : dump.value("sites").toArray())
        if (site.toObject().value("url").toString().toStdString() == url)
            return site.toObject();
    return {};
}

std::set<std::string> LinkUrls(const QJsonObject& site) {
    std::set<std::string> urls;
    for (const QJsonValue& link : site.value("links").toArray())
        urls.insert(link.toObject().value("url").toString().toStdString());
    return urls;
}

TEST_F(ChromiumBridgeTest, PagesChromiumShowsAreStoredWithTheirLinksAndOpenUrlLoadsAPage) {
    m_http.ServeText("/one.html", Page("One", {"two.html", "/elsewhere.html"}));
    m_http.ServeText("/two.html", Page("Two", {"one.html", "three.html"}));
    m_http.ServeText("/three.html", Page("Three", {"one.html"}));
    const std::string one = m_http.Url("/one.html");
    const std::string two = m_http.Url("/two.html");
    const std::string three = m_http.Url("/three.html");
    InstallBridge();
    WriteWayfoldSettings();
    CopyExtension();

    CProgram wayfold(kBinaryDir + "/app/wayfold", {}, Environment(),
                     QString::fromStdString(m_root.File("data")));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_dde.SocketPath("TARN4")); }, kSlowMs))
        << wayfold.Output();

    CProgram chromium(m_chromium, ChromiumArguments(), Environment(),
                      QString::fromStdString(m_root.File("home")));
    // The extension's service worker has started the host, which took the first free name.
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_dde.SocketPath("NETSCAPE")); }, kSlowMs))
        << chromium.Output();
    const int devTools = DevToolsPort();
    ASSERT_GT(devTools, 0) << chromium.Output();

    const QString tabOne = OpenTab(devTools, one);
    ASSERT_FALSE(tabOne.isEmpty());
    ASSERT_FALSE(OpenTab(devTools, two).isEmpty());
    ASSERT_TRUE(WaitUntil(
        [&] { return WayfoldFetched("/one.html") && WayfoldFetched("/two.html"); }, kSlowMs))
        << chromium.Output() << wayfold.Output();

    // "Open Site" as Wayfold sends it: the browser opens the page, and its echo brings it in.
    CBridgeClient bridge;
    ASSERT_TRUE(bridge.OpenUrl(three));
    ASSERT_TRUE(WaitUntil([&] { return WayfoldFetched("/three.html"); }, kSlowMs))
        << chromium.Output() << wayfold.Output();
    EXPECT_TRUE(ChromiumFetched("/three.html"));
    EXPECT_EQ(m_http.RequestsFor("/elsewhere.html").size(), 0u);

    // The tabs are the browser's windows; a closed tab leaves the list.
    EXPECT_EQ(bridge.TabUrls(), (std::vector<std::string>{one, three, two}));
    ASSERT_TRUE(CloseTab(devTools, tabOne));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return bridge.TabUrls() == std::vector<std::string>{three, two};
        },
        kSlowMs))
        << chromium.Output();

    // Time for the last download to be scanned and stored on Wayfold's own thread.
    WaitUntil([] { return false; }, 2000);
    ASSERT_TRUE(wayfold.Stop()) << wayfold.Output();
    chromium.Stop();

    const QJsonObject dump = DumpUrls();
    for (const auto& [url, links] : std::vector<std::pair<std::string, std::set<std::string>>>{
             {one, {two, m_http.Url("/elsewhere.html")}}, {two, {one, three}}, {three, {one}}}) {
        const QJsonObject site = SiteWithUrl(dump, url);
        ASSERT_FALSE(site.isEmpty()) << url << " is not stored:\n"
                                     << QJsonDocument(dump).toJson().toStdString();
        EXPECT_EQ(site.value("visited").toInt(), 1) << url;
        EXPECT_EQ(LinkUrls(site), links) << url;
    }
}

} // namespace
