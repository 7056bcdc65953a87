#pragma once

// What the end-to-end tests with a real browser share: a private home folder, the bridge
// installed by scripts/install-bridge, Wayfold running offscreen in Active Mode, pages on a
// loopback server, and a DDE client that speaks to the bridge as Wayfold's "Open Site" does.

#include "tests/browserlink/ddetestsupport.h"
#include "tests/support/loopbackhttpserver.h"
#include "tests/support/tempdir.h"

#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

const QString kBinaryDir = QStringLiteral(WAYFOLD_BINARY_DIR);
const QString kSourceDir = QStringLiteral(WAYFOLD_SOURCE_DIR);
// Browsers start slowly on a small machine; every wait is bounded by this.
constexpr int kSlowMs = 60000;

// Speaks to the bridge's NETSCAPE service as Wayfold does.
class CBridgeClient {
public:
    CBridgeClient();
    ~CBridgeClient();
    std::optional<std::string> Request(const std::string& topic, const std::string& item);
    // The item Wayfold's "Open Site" sends over its NETSCAPE link (own service TARN2).
    bool OpenUrl(const std::string& url);
    // The URL each open tab shows, sorted.
    std::vector<std::string> TabUrls();

private:
    uint32_t m_id = 0;
};

// A program the test started, stopped by its own id when the test ends.
class CProgram {
public:
    CProgram(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment, const QString& workingDir);
    ~CProgram() { Stop(); }
    // SIGTERM, then SIGKILL when it has not ended within `graceMs`.
    bool Stop(int graceMs = 15000);
    pid_t Pid() const { return static_cast<pid_t>(m_process.processId()); }
    std::string Output();

private:
    QProcess m_process;
    std::string m_output;
};

// The processes below `ancestor` that run `program`.
std::vector<pid_t> DescendantsRunning(pid_t ancestor, const QString& program);

class BrowserEndToEndTest : public ::testing::Test {
protected:
    // The pages of the test, served at /one.html ... /five.html, each with links; /broken.html
    // fails in the browser and /download.bin is a download.
    void SetUp() override;

    QProcessEnvironment Environment() const;
    std::string Home() const { return m_root.File("home"); }
    std::string Url(const std::string& page) const { return m_http.Url("/" + page); }
    // Runs scripts/install-bridge with the built helper; its output on failure.
    void InstallBridge();
    // Starts Wayfold in its data folder (Active Mode on, rankings off) and waits for its
    // services.
    void StartWayfold();
    CProgram& Wayfold() { return *m_wayfold; }
    // True once the bridge has taken the NETSCAPE service.
    bool WaitForBridge();

    // True when Wayfold has downloaded the page (it is being added), or the browser whose user
    // agent holds `agent` has.
    bool Fetched(const std::string& page, const std::string& agent) const;
    bool WayfoldFetched(const std::string& page) const { return Fetched(page, "Wayfold"); }
    // Waits for Wayfold to fetch every page.
    ::testing::AssertionResult WaitForWayfold(const std::vector<std::string>& pages,
                                              const std::string& log);
    // Opens the failing page and the download through the bridge, waits for the browser to ask
    // for both and then for a later page to arrive: Wayfold must have fetched neither.
    void ExpectFailedLoadsAreNotVisits(CBridgeClient& bridge, const std::string& agent,
                                       const std::string& laterPage, const std::string& log);
    // Stops Wayfold and checks that urls.wfx holds each page as a visited site with its links.
    void ExpectStored(const std::vector<std::string>& pages);

    CTempDir m_root;
    CPrivateDdeDir m_dde;
    CLoopbackHttpServer m_http;
    std::unique_ptr<CProgram> m_wayfold;
};
