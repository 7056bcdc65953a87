// The command line's history import request and the message that hands it to a running Wayfold.

#include "shell/korvoapp.h"
#include "tests/support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(KorvoAppTest, CommandLine_ImportRequestAndItsSource) {
    struct CCase {
        QStringList arguments;
        bool importHistory;
        std::string source;
    };
    const std::vector<CCase> cases{
        {{"wayfold"}, false, ""},
        {{"wayfold", "--import-history"}, true, ""},
        {{"wayfold", "--import-history", "firefox"}, true, "firefox"},
        {{"wayfold", "--import-history=chromium"}, true, "chromium"},
        {{"wayfold", "--import-history", "--verbose"}, true, ""},
        {{"wayfold", "--import-history=/no/such/History"}, true, "/no/such/History"},
    };
    for (const CCase& c : cases) {
        const CKorvoApp::CStartRequest request = CKorvoApp::ParseCommandLine(c.arguments);
        EXPECT_EQ(request.importHistory, c.importHistory) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(request.importSource, c.source) << c.arguments.join(' ').toStdString();
    }

    // A file named relative to the folder of the start is passed on by its full path, since the
    // running Wayfold has a folder of its own.
    CTempDir dir;
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.Path())));
    QFile file(QStringLiteral("places.sqlite"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const CKorvoApp::CStartRequest request =
        CKorvoApp::ParseCommandLine({"wayfold", "--import-history", "places.sqlite"});
    QDir::setCurrent(old);
    EXPECT_EQ(request.importSource,
              QDir(QString::fromStdString(dir.Path())).canonicalPath().toStdString() +
                  "/places.sqlite");
}

TEST(KorvoAppTest, HandOver_SourceStaysOneLineWhateverItHolds) {
    struct CCase {
        CKorvoApp::CStartRequest request;
        QByteArray message;
    };
    const std::vector<CCase> cases{
        {{false, ""}, "raise\n"},
        {{true, ""}, "raise\nimport-history\n"},
        {{true, "firefox"}, "raise\nimport-history firefox\n"},
        {{true, "/tmp/a b\nraise%"}, "raise\nimport-history %2Ftmp%2Fa%20b%0Araise%25\n"},
    };
    for (const CCase& c : cases)
        EXPECT_EQ(CKorvoApp::HandOverMessage(c.request), c.message) << c.request.importSource;
}
