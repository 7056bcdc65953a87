// scripts/install-bridge in a private home folder: the host manifests the browsers read.

#include "tests/support/tempdir.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

const QString kScript = QStringLiteral(WAYFOLD_SOURCE_DIR "/scripts/install-bridge");
const QString kHost = QStringLiteral(WAYFOLD_BINARY_DIR "/tools/wayfold-bridge");

QJsonObject ReadJson(const std::string& path) {
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << path;
    return document.object();
}

// Chromium's id of an extension: SHA-256 of the DER public key, first 32 hex digits, each
// digit 0-f written as a-p.
QString ChromiumExtensionId(const QJsonObject& manifest) {
    const QByteArray key = QByteArray::fromBase64(manifest.value("key").toString().toLatin1());
    const QByteArray hex =
        QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(32);
    QString id;
    for (char digit : hex)
        id += QChar('a' + (digit <= '9' ? digit - '0' : digit - 'a' + 10));
    return id;
}

class InstallBridgeTest : public ::testing::Test {
protected:
    // The browsers' settings live under a config folder of their own, not ~/.config.
    int Run(const QStringList& arguments) {
        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(m_home.Path()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_home.File("xdg")));
        env.insert("XDG_STATE_HOME", QString::fromStdString(m_home.File("state")));
        script.setProcessEnvironment(env);
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.start("bash", QStringList{kScript} + arguments);
        EXPECT_TRUE(script.waitForFinished(30000));
        m_output = script.readAll().toStdString();
        return script.exitCode();
    }
    std::string Config(const std::string& folder) const { return m_home.File("xdg/" + folder); }
    std::string Chromium(const std::string& folder) const {
        return Config(folder) + "/NativeMessagingHosts/wayfold_bridge.json";
    }
    std::string Firefox(const std::string& folder) const {
        return m_home.File(folder + "/native-messaging-hosts/wayfold_bridge.json");
    }
    bool Printed(const std::string& path) const { return m_output.find(path) != std::string::npos; }

    CTempDir m_home;
    CTempDir m_profile;
    std::string m_output;
};

TEST_F(InstallBridgeTest, InstallsForEachBrowserThatHasBeenStartedAndSaysWhere) {
    for (const char* folder :
         {"chromium", "BraveSoftware/Brave-Browser", "microsoft-edge", "mozilla"})
        fs::create_directories(Config(folder));
    fs::create_directories(m_home.File(".config/google-chrome")); // not the config folder
    fs::create_directories(m_home.File(".librewolf"));
    ASSERT_EQ(Run({"--host", kHost, "--profile", QString::fromStdString(m_profile.Path())}), 0)
        << m_output;

    const QJsonObject extension = ReadJson(WAYFOLD_SOURCE_DIR "/extension/manifest.json");
    const QString id = ChromiumExtensionId(extension);
    // The id the README and the install steps show.
    EXPECT_EQ(id, "nophkbbaflcpipgobmnlhlejjhinnomg");
    EXPECT_NE(m_output.find(id.toStdString()), std::string::npos) << m_output;
    const QJsonArray origins{"chrome-extension://" + id + "/"};
    const QJsonArray extensions{extension.value("browser_specific_settings")
                                    .toObject()
                                    .value("gecko")
                                    .toObject()
                                    .value("id")};
    const std::vector<std::pair<std::string, QJsonArray>> installed = {
        {Chromium("chromium"), origins},
        {Chromium("BraveSoftware/Brave-Browser"), origins},
        {Chromium("microsoft-edge"), origins},
        {m_profile.File("NativeMessagingHosts/wayfold_bridge.json"), origins},
        {Firefox(".mozilla"), extensions},
        {Firefox(".librewolf"), extensions},
    };
    for (const auto& [path, allowed] : installed) {
        const QJsonObject manifest = ReadJson(path);
        EXPECT_EQ(manifest.value("name").toString(), "wayfold_bridge") << path;
        EXPECT_EQ(manifest.value("type").toString(), "stdio") << path;
        EXPECT_EQ(manifest.value("path").toString(), kHost) << path;
        EXPECT_EQ(
            manifest.value(allowed == origins ? "allowed_origins" : "allowed_extensions").toArray(),
            allowed)
            << path;
        EXPECT_TRUE(Printed(path)) << m_output;
    }
    for (const std::string& path :
         {Chromium("vivaldi"), m_home.File(".config/google-chrome/NativeMessagingHosts"),
          Firefox(".waterfox")})
        EXPECT_FALSE(fs::exists(path)) << path;
    // The add-on file for Firefox's permanent install.
    QFile xpi(WAYFOLD_SOURCE_DIR "/build/extension/wayfold-bridge.xpi");
    ASSERT_TRUE(xpi.open(QIODevice::ReadOnly));
    EXPECT_TRUE(xpi.read(2) == "PK");
    EXPECT_TRUE(Printed(xpi.fileName().toStdString())) << m_output;
}

TEST_F(InstallBridgeTest, UninstallRemovesExactlyWhatWasInstalled) {
    fs::create_directories(Config("vivaldi"));
    fs::create_directories(m_home.File(".mozilla"));
    ASSERT_EQ(Run({"--host", kHost, "--profile", QString::fromStdString(m_profile.Path())}), 0)
        << m_output;
    // Another program's host, and a manifest of the same name that Wayfold did not write.
    const std::string otherHost = m_home.File(".mozilla/native-messaging-hosts/other.json");
    const std::string foreign = Chromium("chromium");
    fs::create_directories(fs::path(foreign).parent_path());
    for (const std::string& path : {otherHost, foreign})
        std::ofstream(path) << R"({"name": "wayfold_bridge", "description": "someone else"})";

    ASSERT_EQ(Run({"--uninstall"}), 0) << m_output;
    for (const std::string& path : {Chromium("vivaldi"), Firefox(".mozilla"),
                                    m_profile.File("NativeMessagingHosts/wayfold_bridge.json")}) {
        EXPECT_FALSE(fs::exists(path)) << path;
        EXPECT_TRUE(Printed("Removed " + path)) << m_output;
    }
    EXPECT_TRUE(fs::exists(otherHost));
    EXPECT_TRUE(fs::exists(foreign));
    ASSERT_EQ(Run({"--uninstall"}), 0) << m_output;
    EXPECT_TRUE(Printed("No Wayfold bridge manifest was installed.")) << m_output;
}

TEST_F(InstallBridgeTest, NothingIsWrittenWithoutABrowserOrAProgram) {
    EXPECT_EQ(Run({"--host", kHost}), 1);
    EXPECT_TRUE(Printed("no browser has been started yet")) << m_output;
    fs::create_directories(Config("chromium"));
    EXPECT_EQ(Run({"--host", QString::fromStdString(m_home.File("no-such-bridge"))}), 1);
    EXPECT_TRUE(Printed("is not a program")) << m_output;
    EXPECT_EQ(Run({"--host", kHost, "--profile", QString::fromStdString(m_home.File("none"))}), 1);
    EXPECT_TRUE(Printed("is not a folder")) << m_output;
    EXPECT_EQ(Run({"--frobnicate"}), 2);
    EXPECT_FALSE(fs::exists(Chromium("chromium")));
    EXPECT_FALSE(fs::exists(m_home.File("state")));
}

} // namespace
