#include "dialogs/helpmanual.h"
#include "dialogs/helpwindow.h"

#include "dialogs/searchdlg.h"
#include "dialogs/wordfilterdlg.h"
#include "model/errorreport.h"
#include "model/sitedatabase.h"
#include "model/wordlist.h"
#include "tests/support/tempdir.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

namespace {

QString SourceManual() {
    return QStringLiteral(WAYFOLD_SOURCE_DIR "/docs/manual.html");
}

// Records what would be handed to the outside browser.
class HelpManualTest : public ::testing::Test {
protected:
    void SetUp() override {
        CHelpManual::SetOpener([this](const QUrl& url) {
            m_opened.push_back(url);
            return true;
        });
        m_previous =
            SetErrorHandler([this](const std::string& text, bool) { m_errors.push_back(text); });
    }
    void TearDown() override {
        delete CHelpManual::Window();
        CHelpManual::SetOpener(nullptr);
        SetErrorHandler(m_previous);
    }
    std::vector<QUrl> m_opened;
    std::vector<std::string> m_errors;
    ErrorHandler m_previous;
};

} // namespace

TEST_F(HelpManualTest, ManualIsFoundBesideTheProgramOrInItsShareFolder) {
    CTempDir dir;
    const QString programDir = QString::fromStdString(dir.File("bin"));
    QDir().mkpath(programDir);
    EXPECT_TRUE(CHelpManual::FindManual(programDir).isEmpty());
    QDir().mkpath(QString::fromStdString(dir.File("share/doc/wayfold")));
    std::ofstream(dir.File("share/doc/wayfold/manual.html")) << "<html></html>";
    EXPECT_TRUE(CHelpManual::FindManual(programDir).endsWith("share/doc/wayfold/manual.html"));
    std::ofstream(dir.File("bin/manual.html")) << "<html></html>";
    EXPECT_TRUE(CHelpManual::FindManual(programDir).endsWith("bin/manual.html"));
}

TEST_F(HelpManualTest, TheBuildPutsTheManualBesideTheProgram) {
    const QString manual = CHelpManual::FindManual(QStringLiteral(WAYFOLD_BINARY_DIR "/app"));
    ASSERT_FALSE(manual.isEmpty());
    QFile built(manual);
    QFile source(SourceManual());
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    EXPECT_EQ(built.readAll(), source.readAll());
}

TEST_F(HelpManualTest, EverySectionF1CanOpenExistsInTheManual) {
    QFile source(SourceManual());
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(source.readAll());
    const char* const classes[] = {"CSearchDlg",
                                   "CBrowserDlg",
                                   "CCategorizerSettingsDlg",
                                   "CSiteFiltersDlg",
                                   "CSiteFilterPropertiesDlg",
                                   "CWordFilterDlg",
                                   "CSitePropertiesDlg",
                                   "CCategoryPropertiesDlg",
                                   "CCategoryRankingsDlg",
                                   "CTextEntryDlg",
                                   "CFontColorDlg",
                                   "CAboutDlg",
                                   "CCaptureButtonDlg",
                                   "CErrorDlg",
                                   "CImportHistoryDlg",
                                   "CImportProgressDlg",
                                   "CKorvoView",
                                   "CMetaView",
                                   "CUrlList"};
    for (const char* name : classes) {
        const QString anchor = CHelpManual::AnchorOfClass(QString::fromLatin1(name));
        ASSERT_FALSE(anchor.isEmpty()) << name;
        EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(anchor))) << name;
    }
    // Every link inside the manual leads to a section of it.
    const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QString target = it.next().captured(1);
        EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(target))) << target.toStdString();
    }
}

TEST_F(HelpManualTest, HelpTopicsAndF1ShowTheManualInItsOwnWindowAtTheSection) {
    ASSERT_TRUE(CHelpManual::Open());
    CHelpWindow* window = CHelpManual::Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(
        window->Browser()->source().toLocalFile(),
        QFileInfo(QCoreApplication::applicationDirPath() + "/manual.html").canonicalFilePath());
    EXPECT_TRUE(window->CurrentAnchor().isEmpty());
    EXPECT_TRUE(window->Browser()->toPlainText().contains(QStringLiteral("Wayfold user manual")));
    EXPECT_GE(window->Contents()->topLevelItemCount(), 17);

    CHelpManual::InstallF1Key();
    CWordList stopList;
    CWordFilterDlg dlg(stopList);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QTest::keyClick(dlg.findChild<QLineEdit*>(), Qt::Key_F1);
    EXPECT_EQ(CHelpManual::Window(), window);
    EXPECT_EQ(window->CurrentAnchor(), QStringLiteral("word-filter"));
    EXPECT_EQ(window->Contents()->currentItem()->text(0), QStringLiteral("Word Filter"));
    // Typing goes on as before, and nothing went to the outside browser.
    QTest::keyClicks(dlg.findChild<QLineEdit*>(), QStringLiteral("a"));
    EXPECT_EQ(dlg.findChild<QLineEdit*>()->text(), QStringLiteral("A"));
    EXPECT_TRUE(m_opened.empty());
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(HelpManualTest, LinksInsideMoveInTheWindowAndLinksOutsideGoToTheBrowser) {
    ASSERT_TRUE(CHelpManual::Open(QStringLiteral("search")));
    CHelpWindow* window = CHelpManual::Window();
    ASSERT_NE(window->Contents()->currentItem(), nullptr);
    EXPECT_EQ(window->Contents()->currentItem()->text(0), QStringLiteral("Search"));
    emit window->Browser()->anchorClicked(QUrl(QStringLiteral("#site-filters")));
    EXPECT_EQ(window->CurrentAnchor(), QStringLiteral("site-filters"));
    window->Browser()->backward();
    EXPECT_EQ(window->CurrentAnchor(), QStringLiteral("search"));
    const QList<QTreeWidgetItem*> rankings =
        window->Contents()->findItems(QStringLiteral("Category Rankings"), Qt::MatchExactly);
    ASSERT_EQ(rankings.size(), 1);
    emit window->Contents()->itemClicked(rankings[0], 0);
    EXPECT_EQ(window->CurrentAnchor(), QStringLiteral("category-rankings"));
    EXPECT_TRUE(m_opened.empty());

    const QUrl outside(QStringLiteral("https://example.org/wayfold"));
    emit window->Browser()->anchorClicked(outside);
    EXPECT_EQ(m_opened, std::vector<QUrl>{outside});
    EXPECT_EQ(window->CurrentAnchor(), QStringLiteral("category-rankings"));
    CHelpManual::SetOpener([](const QUrl&) { return false; });
    emit window->Browser()->anchorClicked(outside);
    EXPECT_EQ(m_errors,
              std::vector<std::string>{"Can't open https://example.org/wayfold in the browser."});
}

TEST_F(HelpManualTest, HelpOverAModalDialogIsUsableAndStaysOpenAfterIt) {
    CSiteDatabase database;
    CWordList stopList;
    CSearchDlg dlg(database, stopList, true, false, false);
    dlg.setWindowModality(Qt::ApplicationModal);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    ASSERT_EQ(QApplication::activeModalWidget(), &dlg);
    ASSERT_TRUE(CHelpManual::Open(QStringLiteral("search")));
    QPointer<CHelpWindow> window = CHelpManual::Window();
    // A window of the modal dialog's own is not blocked by it.
    EXPECT_EQ(window->parentWidget(), &dlg);
    EXPECT_TRUE(window->isWindow());
    EXPECT_TRUE(window->isVisible());
    dlg.hide();
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(window->parentWidget(), nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->CurrentAnchor(), QStringLiteral("search"));
}

TEST_F(HelpManualTest, F1OverAMessageBoxOpensTheSectionOfTheDialogUnderIt) {
    CSiteDatabase database;
    CWordList stopList;
    CSearchDlg dlg(database, stopList, true, false, false);
    QMessageBox box(QMessageBox::NoIcon, "Wayfold", "text", QMessageBox::Ok, &dlg);
    EXPECT_EQ(CHelpManual::AnchorFor(&box), QStringLiteral("search"));
    EXPECT_EQ(CHelpManual::AnchorFor(dlg.findChild<QLineEdit*>()), QStringLiteral("search"));
    QWidget plain;
    EXPECT_TRUE(CHelpManual::AnchorFor(&plain).isEmpty());
}
