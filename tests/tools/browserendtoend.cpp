#include "tests/tools/browserendtoend.h"

#include "browserlink/browserurlrules.h"
#include "browserlink/ddeitemtext.h"
#include "browserlink/ddeml.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

// Each page links to the next two; the links of a stored page are checked.
const std::vector<std::string> kPages = {"one.html", "two.html", "three.html", "four.html",
                                         "five.html"};

std::string PageText(size_t index) {
    std::string html = "<html><head><title>Page " + std::to_string(index + 1) +
                       "</title></head><body><h1>Page " + std::to_string(index + 1) + "</h1>";
    for (size_t step : {1u, 2u})
        html += "<p><a href=\"" + kPages[(index + step) % kPages.size()] + "\">next</a></p>";
    return html + "</body></html>\n";
}

std::set<std::string> LinkUrls(const QJsonObject& site) {
    std::set<std::string> urls;
    for (const QJsonValue& link : site.value("links").toArray())
        urls.insert(link.toObject().value("url").toString().toStdString());
    return urls;
}

} // namespace

CBridgeClient::CBridgeClient() {
    EXPECT_EQ(DdeInitialize(&m_id, nullptr, 0, 0), DMLERR_NO_ERROR);
}

CBridgeClient::~CBridgeClient() {
    DdeUninitialize(m_id);
}

std::optional<std::string> CBridgeClient::Request(const std::string& topic,
                                                  const std::string& item) {
    const auto str = [this](const std::string& text) {
        return DdeCreateStringHandle(m_id, text, CP_WINANSI);
    };
    const HCONV conv = DdeConnect(m_id, str("NETSCAPE"), str(topic), nullptr);
    if (!conv)
        return std::nullopt;
    const HDDEDATA data =
        DdeClientTransaction(nullptr, 0, conv, str(item), CF_TEXT, XTYP_REQUEST, 10000, nullptr);
    DdeDisconnect(conv);
    if (!data)
        return std::nullopt;
    std::string bytes = DdeGetDataBytes(data);
    DdeFreeDataHandle(data);
    return bytes;
}

bool CBridgeClient::OpenUrl(const std::string& url) {
    return Request("WWW_OpenURL", BuildDdeItemText("QCS,QCS,DW,DW,QCS,QCS,CS",
                                                   {url, DdeValue{}, 0xFFFFFFFFu, 0u, DdeValue{},
                                                    DdeValue{}, std::string("TARN2")}))
        .has_value();
}

std::vector<std::string> CBridgeClient::TabUrls() {
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

CProgram::CProgram(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& environment, const QString& workingDir) {
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(workingDir);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, arguments);
    EXPECT_TRUE(m_process.waitForStarted(10000)) << program.toStdString();
}

bool CProgram::Stop(int graceMs) {
    if (m_process.state() == QProcess::NotRunning)
        return true;
    m_process.terminate();
    if (WaitUntil([this] { return m_process.state() == QProcess::NotRunning; }, graceMs))
        return true;
    m_process.kill();
    m_process.waitForFinished(5000);
    return false;
}

std::string CProgram::Output() {
    m_output += m_process.readAll().toStdString();
    return m_output;
}

std::vector<pid_t> DescendantsRunning(pid_t ancestor, const QString& program) {
    std::map<pid_t, pid_t> parents;
    std::vector<pid_t> running;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = std::stoi(name);
        // The parent is the fourth field of stat, after the name in parentheses.
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        const size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        pid_t parent = 0;
        if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) != 2)
            continue;
        parents[pid] = parent;
        if (QFileInfo(QString::fromStdString((entry.path() / "exe").string())).symLinkTarget() ==
            program)
            running.push_back(pid);
    }
    std::erase_if(running, [&](pid_t pid) {
        for (pid_t up = parents[pid]; up > 1; up = parents[up])
            if (up == ancestor)
                return false;
        return true;
    });
    return running;
}

void BrowserEndToEndTest::SetUp() {
    for (const char* folder : {"home", "data", "runtime"})
        fs::create_directories(m_root.File(folder));
    fs::permissions(m_root.File("runtime"), fs::perms::owner_all, fs::perm_options::replace);
    for (size_t i = 0; i < kPages.size(); ++i)
        m_http.ServeText("/" + kPages[i], PageText(i));
    m_http.CloseUnanswered("/broken.html");
    m_http.Serve("/download.bin", CHttpResponse{200,
                                                {{"Content-Type", "application/octet-stream"},
                                                 {"Content-Disposition", "attachment"}},
                                                std::string(2000, 'x')});
}

QProcessEnvironment BrowserEndToEndTest::Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = QString::fromStdString(Home());
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_CACHE_HOME", home + "/.cache");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_STATE_HOME", home + "/.local/state");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_root.File("runtime")));
    env.insert("WAYFOLD_DDE_DIR", QString::fromStdString(m_dde.Path()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    return env;
}

void BrowserEndToEndTest::InstallBridge() {
    QProcess install;
    install.setProcessEnvironment(Environment());
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start("bash", {kSourceDir + "/scripts/install-bridge", "--host",
                           kBinaryDir + "/tools/wayfold-bridge"});
    ASSERT_TRUE(install.waitForFinished(30000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
}

void BrowserEndToEndTest::StartWayfold() {
    QSettings store(QString::fromStdString(Home() + "/.config/Quellon/Wayfold.conf"),
                    QSettings::IniFormat);
    store.setValue("Wayfold/Active Mode", 1);
    store.setValue("Wayfold/Rank Cats", 0);
    store.sync();
    std::ofstream(m_root.File("data") + "/license.txt") << "Test license\n";
    m_wayfold =
        std::make_unique<CProgram>(kBinaryDir + "/app/wayfold", QStringList{}, Environment(),
                                   QString::fromStdString(m_root.File("data")));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_dde.SocketPath("TARN4")); }, kSlowMs))
        << m_wayfold->Output();
}

bool BrowserEndToEndTest::WaitForBridge() {
    return WaitUntil([&] { return fs::exists(m_dde.SocketPath("NETSCAPE")); }, kSlowMs);
}

bool BrowserEndToEndTest::Fetched(const std::string& page, const std::string& agent) const {
    for (const CRecordedRequest& request : m_http.RequestsFor("/" + page)) {
        const std::string userAgent = request.Header("user-agent");
        if (agent == "Wayfold" ? userAgent == agent : userAgent.find(agent) != std::string::npos)
            return true;
    }
    return false;
}

::testing::AssertionResult
BrowserEndToEndTest::WaitForWayfold(const std::vector<std::string>& pages, const std::string& log) {
    const bool all = WaitUntil(
        [&] {
            return std::all_of(pages.begin(), pages.end(),
                               [&](const std::string& page) { return WayfoldFetched(page); });
        },
        kSlowMs);
    if (all)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "Wayfold did not fetch them all:\n"
                                         << log << m_wayfold->Output();
}

void BrowserEndToEndTest::ExpectFailedLoadsAreNotVisits(CBridgeClient& bridge,
                                                        const std::string& agent,
                                                        const std::string& laterPage,
                                                        const std::string& log) {
    ASSERT_TRUE(bridge.OpenUrl(Url("broken.html")));
    ASSERT_TRUE(bridge.OpenUrl(Url("download.bin")));
    ASSERT_TRUE(WaitUntil(
        [&] { return Fetched("broken.html", agent) && Fetched("download.bin", agent); }, kSlowMs))
        << log;
    // Messages reach Wayfold in order: once a later page is there, the two would have been.
    ASSERT_TRUE(bridge.OpenUrl(Url(laterPage)));
    ASSERT_TRUE(WaitForWayfold({laterPage}, log));
    WaitUntil([] { return false; }, 1000);
    EXPECT_FALSE(WayfoldFetched("broken.html")) << log;
    EXPECT_FALSE(WayfoldFetched("download.bin")) << log;
}

void BrowserEndToEndTest::ExpectStored(const std::vector<std::string>& pages) {
    // Time for the last download to be scanned and stored on Wayfold's own thread.
    WaitUntil([] { return false; }, 2000);
    ASSERT_TRUE(m_wayfold->Stop()) << m_wayfold->Output();
    QProcess dump;
    dump.start(kBinaryDir + "/tools/wayfold-dump",
               {QString::fromStdString(m_root.File("data") + "/urls.wfx")});
    ASSERT_TRUE(dump.waitForFinished(30000));
    ASSERT_EQ(dump.exitCode(), 0) << dump.readAllStandardError().toStdString();
    const QJsonObject stored = QJsonDocument::fromJson(dump.readAllStandardOutput()).object();
    std::map<std::string, QJsonObject> sites;
    for (const QJsonValue& site : stored.value("sites").toArray())
        sites[site.toObject().value("url").toString().toStdString()] = site.toObject();
    for (const std::string& page : pages) {
        const size_t index = std::find(kPages.begin(), kPages.end(), page) - kPages.begin();
        const auto site = sites.find(Url(page));
        ASSERT_NE(site, sites.end()) << page << " is not stored:\n"
                                     << QJsonDocument(stored).toJson().toStdString();
        EXPECT_EQ(site->second.value("visited").toInt(), 1) << page;
        EXPECT_EQ(LinkUrls(site->second),
                  (std::set<std::string>{Url(kPages[(index + 1) % kPages.size()]),
                                         Url(kPages[(index + 2) % kPages.size()])}))
            << page;
    }
    for (const char* failed : {"broken.html", "download.bin"})
        EXPECT_EQ(sites.count(Url(failed)), 0u) << failed;
}
