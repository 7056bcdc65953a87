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
    int Run(const QStringList& arguments) {
        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(m_home.Path()));
        script.setProcessEnvironment(env);
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.start("bash", QStringList{kScript} + arguments);
        EXPECT_TRUE(script.waitForFinished(30000));
        m_output = script.readAll().toStdString();
        return script.exitCode();
    }
    std::string Chromium() const {
        return m_home.File(".config/chromium/NativeMessagingHosts/wayfold_bridge.json");
    }
    std::string Chrome() const {
        return m_home.File(".config/google-chrome/NativeMessagingHosts/wayfold_bridge.json");
    }
    std::string Firefox() const {
        return m_home.File(".mozilla/native-messaging-hosts/wayfold_bridge.json");
    }

    CTempDir m_home;
    std::string m_output;
};

TEST_F(InstallBridgeTest, ManifestsNameTheHostAndTheExtensionByItsKeyAndFirefoxId) {
    ASSERT_EQ(Run({"--host", kHost}), 0) << m_output;
    const QJsonObject extension = ReadJson(WAYFOLD_SOURCE_DIR "/extension/manifest.json");
    const QString id = ChromiumExtensionId(extension);
    // The id the README and the install steps show.
    EXPECT_EQ(id, "nophkbbaflcpipgobmnlhlejjhinnomg");
    EXPECT_NE(m_output.find(id.toStdString()), std::string::npos) << m_output;

    for (const std::string& path : {Chromium(), Chrome()}) {
        const QJsonObject manifest = ReadJson(path);
        EXPECT_EQ(manifest.value("name").toString(), "wayfold_bridge");
        EXPECT_EQ(manifest.value("type").toString(), "stdio");
        EXPECT_EQ(manifest.value("path").toString(), kHost);
        EXPECT_EQ(manifest.value("allowed_origins").toArray(),
                  QJsonArray{"chrome-extension://" + id + "/"});
    }
    const QJsonObject firefox = ReadJson(Firefox());
    EXPECT_EQ(firefox.value("path").toString(), kHost);
    EXPECT_EQ(firefox.value("allowed_extensions").toArray(),
              QJsonArray{extension.value("browser_specific_settings")
                             .toObject()
                             .value("gecko")
                             .toObject()
                             .value("id")});
}

TEST_F(InstallBridgeTest, UninstallRemovesOnlyItsOwnManifests) {
    ASSERT_EQ(Run({"--host", kHost}), 0) << m_output;
    const std::string otherHost = m_home.File(".mozilla/native-messaging-hosts/other.json");
    { QFile(QString::fromStdString(otherHost)).open(QIODevice::WriteOnly); }
    ASSERT_EQ(Run({"--uninstall"}), 0) << m_output;
    EXPECT_FALSE(fs::exists(Chromium()));
    EXPECT_FALSE(fs::exists(Chrome()));
    EXPECT_FALSE(fs::exists(Firefox()));
    EXPECT_TRUE(fs::exists(otherHost));
}

TEST_F(InstallBridgeTest, MissingHostProgramWritesNothing) {
    EXPECT_EQ(Run({"--host", QString::fromStdString(m_home.File("no-such-bridge"))}), 1);
    EXPECT_NE(m_output.find("is not a program"), std::string::npos) << m_output;
    EXPECT_FALSE(fs::exists(m_home.File(".config")));
    EXPECT_FALSE(fs::exists(m_home.File(".mozilla")));
    EXPECT_EQ(Run({"--frobnicate"}), 2);
}

} // namespace
