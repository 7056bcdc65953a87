// The whole road with Firefox (headless): the Wayfold Bridge extension installed as an unsigned
// add-on in a fresh profile, the wayfold-bridge helper it starts through native messaging, and
// Wayfold itself, storing the pages Firefox shows.

#include "tests/tools/browserendtoend.h"

#include <QStandardPaths>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// Preferences of the test profile: the unsigned add-on is taken and enabled, and nothing
// reaches for the network (updates, telemetry, safe browsing, remote settings, captive portal
// and connectivity checks, prefetching, DNS over HTTPS).
const char* const kPreferences[][2] = {
    {"xpinstall.signatures.required", "false"},
    {"extensions.autoDisableScopes", "0"},
    {"extensions.enabledScopes", "15"},
    {"extensions.update.enabled", "false"},
    {"extensions.getAddons.cache.enabled", "false"},
    {"extensions.blocklist.enabled", "false"},
    {"extensions.systemAddon.update.enabled", "false"},
    {"app.update.disabledForTesting", "true"},
    {"app.normandy.enabled", "false"},
    {"browser.shell.checkDefaultBrowser", "false"},
    {"browser.startup.homepage_override.mstone", "\"ignore\""},
    {"browser.aboutwelcome.enabled", "false"},
    {"browser.newtabpage.enabled", "false"},
    {"browser.safebrowsing.malware.enabled", "false"},
    {"browser.safebrowsing.phishing.enabled", "false"},
    {"browser.safebrowsing.downloads.enabled", "false"},
    {"browser.safebrowsing.blockedURIs.enabled", "false"},
    {"browser.search.update", "false"},
    {"browser.region.update.enabled", "false"},
    {"browser.region.network.url", "\"\""},
    {"browser.topsites.contile.enabled", "false"},
    {"browser.download.folderList", "2"},
    {"browser.download.useDownloadDir", "true"},
    {"browser.download.always_ask_before_handling_new_types", "false"},
    {"datareporting.policy.dataSubmissionEnabled", "false"},
    {"datareporting.healthreport.uploadEnabled", "false"},
    {"toolkit.telemetry.reportingpolicy.firstRun", "false"},
    {"toolkit.telemetry.enabled", "false"},
    {"services.settings.server", "\"data:,#remote-settings-dummy/v1\""},
    {"network.captive-portal-service.enabled", "false"},
    {"network.connectivity-service.enabled", "false"},
    {"captivedetect.canonicalURL", "\"\""},
    {"network.dns.disablePrefetch", "true"},
    {"network.prefetch-next", "false"},
    {"network.http.speculative-parallel-limit", "0"},
    {"network.trr.mode", "5"},
    {"media.gmp-manager.updateEnabled", "false"},
    {"identity.fxaccounts.enabled", "false"},
    // The extension's messages appear in the test's output.
    {"devtools.console.stdout.chrome", "true"},
    {"devtools.console.stdout.content", "true"},
};

class FirefoxBridgeTest : public BrowserEndToEndTest {
protected:
    void SetUp() override {
        for (const char* name : {"firefox-esr", "firefox"})
            if (m_firefox.isEmpty())
                m_firefox = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (m_firefox.isEmpty())
            GTEST_SKIP() << "firefox-esr cannot be found in PATH; install the Debian package "
                            "firefox-esr to run the browser test";
        BrowserEndToEndTest::SetUp();
    }

    // A fresh profile with the add-on file install-bridge packed, as Firefox keeps an add-on
    // installed from a file.
    QString MakeProfile() {
        const std::string profile = m_root.File("profile");
        fs::create_directories(profile + "/extensions");
        fs::copy_file(kSourceDir.toStdString() + "/build/extension/wayfold-bridge.xpi",
                      profile + "/extensions/wayfold-bridge@quellon.xpi");
        std::ofstream prefs(profile + "/user.js");
        for (const auto& [name, value] : kPreferences)
            prefs << "user_pref(\"" << name << "\", " << value << ");\n";
        prefs << "user_pref(\"browser.download.dir\", \"" << m_root.File("downloads") << "\");\n";
        return QString::fromStdString(profile);
    }

    std::vector<pid_t> Helpers(const CProgram& firefox) const {
        return DescendantsRunning(firefox.Pid(), kBinaryDir + "/tools/wayfold-bridge");
    }

    QString m_firefox;
};

TEST_F(FirefoxBridgeTest, PagesFirefoxLoadsAreStoredOpenUrlOpensATabAndAKilledHelperIsBack) {
    // A Firefox that has been used before: its folder is there, and install-bridge finds it.
    fs::create_directories(Home() + "/.mozilla");
    InstallBridge();
    const QString profile = MakeProfile();
    StartWayfold();
    // Pages given at the start load before or after the extension starts, as at a user's
    // start; the error page among them is no visit either way.
    CProgram firefox(
        m_firefox,
        {"--headless", "--no-remote", "--profile", profile, QString::fromStdString(Url("one.html")),
         QString::fromStdString(Url("broken.html")), QString::fromStdString(Url("two.html"))},
        Environment(), QString::fromStdString(Home()));
    ASSERT_TRUE(WaitForBridge()) << firefox.Output();
    ASSERT_TRUE(WaitForWayfold({"one.html", "two.html"}, firefox.Output()));

    CBridgeClient bridge;
    ASSERT_TRUE(bridge.OpenUrl(Url("three.html")));
    ASSERT_TRUE(WaitForWayfold({"three.html"}, firefox.Output()));
    EXPECT_TRUE(Fetched("three.html", "Firefox/"));

    ExpectFailedLoadsAreNotVisits(bridge, "Firefox/", "four.html", firefox.Output());
    EXPECT_EQ(bridge.TabUrls(), (std::vector<std::string>{Url("four.html"), Url("one.html"),
                                                          Url("three.html"), Url("two.html")}));

    // The helper dies: the extension starts it again, and the next page arrives.
    const std::vector<pid_t> helpers = Helpers(firefox);
    ASSERT_EQ(helpers.size(), 1u);
    ASSERT_EQ(::kill(helpers[0], SIGKILL), 0);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::vector<pid_t> now = Helpers(firefox);
            return now.size() == 1 && now[0] != helpers[0];
        },
        kSlowMs))
        << firefox.Output();
    ASSERT_TRUE(WaitUntil([&] { return bridge.OpenUrl(Url("five.html")); }, kSlowMs))
        << firefox.Output();
    ASSERT_TRUE(WaitForWayfold({"five.html"}, firefox.Output()));

    ExpectStored({"one.html", "two.html", "three.html", "four.html", "five.html"});
}

} // namespace
