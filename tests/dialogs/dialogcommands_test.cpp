#include "dialogs/dialogcommands.h"

#include "dialogs/browserdlg.h"
#include "dialogs/categorizersettingsdlg.h"
#include "dialogs/searchdlg.h"
#include "dialogs/sitefilterpropertiesdlg.h"
#include "dialogs/sitefiltersdlg.h"
#include "dialogs/sitepropertiesdlg.h"
#include "dialogs/wordfilterdlg.h"
#include "modalhelper.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/sitefilterlist.h"
#include "model/wordentry.h"
#include "model/wordlist.h"
#include "shell/browserlauncher.h"
#include "tests/shell/shellfixture.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolBar>

namespace {

template <class T> T* Child(const QWidget& parent, const char* name) {
    return parent.findChild<T*>(QString::fromLatin1(name));
}

void Press(QDialog* dlg, QDialogButtonBox::StandardButton which) {
    dlg->findChild<QDialogButtonBox*>()->button(which)->click();
}

QStringList TextsOf(const QList<QAction*>& actions) {
    QStringList texts;
    for (const QAction* action : actions)
        if (!action->isSeparator())
            texts << action->text();
    return texts;
}

class DialogCommandsTest : public CShellFixture {
protected:
    CDialogCommands& Commands() {
        auto* commands = Frame().findChild<CDialogCommands*>();
        EXPECT_NE(commands, nullptr);
        return *commands;
    }
};

} // namespace

TEST_F(DialogCommandsTest, CommandsSitInTheMenusAndSearchOnTheToolbar) {
    CMainFrame& frame = Frame();
    EXPECT_EQ(TextsOf(frame.FileMenu()->actions()).value(0), QStringLiteral("&Search"));
    EXPECT_TRUE(frame.ToolBar()->actions().contains(Commands().SearchAction()));
    const QStringList options = TextsOf(frame.OptionsMenu()->actions());
    for (const char* text : {"Select &Browser", "Filter Word List", "Filter Sites"})
        EXPECT_TRUE(options.contains(QString::fromLatin1(text))) << text;
    EXPECT_EQ(TextsOf(frame.HelpMenu()->actions()).value(0), QStringLiteral("&Help Topics"));
}

TEST_F(DialogCommandsTest, SearchOpensOnTheFrameOptionsAndWritesThemAfterwards) {
    PutSetting("Search Words", 0);
    PutSetting("Search Annotations", 1);
    CMainFrame& frame = Frame();
    bool seen = false;
    AnswerNextModal<CSearchDlg>([&seen](CSearchDlg* dlg) {
        seen = true;
        EXPECT_FALSE(dlg->SearchWords());
        EXPECT_FALSE(dlg->SearchTitles());
        EXPECT_TRUE(dlg->SearchAnnotations());
        Child<QCheckBox>(*dlg, "Search Titles")->click();
        Child<QCheckBox>(*dlg, "Search Annotations")->click();
        dlg->reject();
    });
    Commands().SearchAction()->trigger();
    EXPECT_TRUE(seen);
    EXPECT_EQ(frame.Settings().searchTitles, 1);
    EXPECT_EQ(frame.Settings().searchAnnotations, 0);
    EXPECT_EQ(SettingInFile("Search Words").toInt(), 0);
    EXPECT_EQ(SettingInFile("Search Titles").toInt(), 1);
    EXPECT_EQ(SettingInFile("Search Annotations").toInt(), 0);
}

TEST_F(DialogCommandsTest, SearchPropertiesReplaceTextsRekeyTheUrlAndHideTheSite) {
    CMainFrame& frame = Frame();
    CSite* site = frame.Database()->AddSite(
        std::make_unique<CSite>("http://old.example/", "Optics", "<NONE>", 1, 1700000000));
    CWordEntry* lens = frame.Database()->FindOrMakeWord("LENS");
    lens->AddSite(site);
    site->AddWord(lens);

    AnswerNextModal<CSearchDlg>([](CSearchDlg* dlg) {
        auto* keywords = Child<QListWidget>(*dlg, "keywordList");
        keywords->setCurrentRow(0);
        Child<QListWidget>(*dlg, "siteList")->setCurrentRow(0);
        AnswerNextModal<CSitePropertiesDlg>([](CSitePropertiesDlg* properties) {
            Child<QLineEdit>(*properties, "url")->setText(QStringLiteral("http://new.example/"));
            Child<QLineEdit>(*properties, "title")->setText(QStringLiteral("Optics Shop"));
            Child<QLineEdit>(*properties, "annotation")->setText(QStringLiteral("good lenses"));
            Child<QCheckBox>(*properties, "hidden")->setChecked(true);
            Press(properties, QDialogButtonBox::Ok);
        });
        Child<QPushButton>(*dlg, "properties")->click();
        EXPECT_EQ(Child<QListWidget>(*dlg, "siteList")->item(0)->text(),
                  QStringLiteral("Optics Shop:http://new.example/"));
        dlg->accept();
    });
    Commands().Search();
    EXPECT_EQ(site->m_title, "Optics Shop");
    EXPECT_EQ(site->m_annotation, "good lenses");
    EXPECT_EQ(site->m_hidden, 1);
    EXPECT_EQ(frame.Database()->FindSite("http://new.example/"), site);
    EXPECT_EQ(frame.Database()->FindSite("http://old.example/"), nullptr);
    EXPECT_EQ(lens->m_sites.count("http://new.example/"), 1u);
    EXPECT_TRUE(frame.Database()->IsModified());
}

TEST_F(DialogCommandsTest, SelectBrowserStoresAndWritesTheNineValues) {
    CMainFrame& frame = Frame();
    AnswerNextModal<CBrowserDlg>([](CBrowserDlg* dlg) {
        Child<QCheckBox>(*dlg, "defaultBrowser")->click();
        Child<QRadioButton>(*dlg, "Explorer")->click();
        Child<QLineEdit>(*dlg, "browserPath")->setText(QStringLiteral("/usr/bin/chromium"));
        Child<QCheckBox>(*dlg, "useProxy")->click();
        Child<QLineEdit>(*dlg, "httpProxyServer")->setText(QStringLiteral("  proxy.lan"));
        Child<QLineEdit>(*dlg, "httpProxyPort")->setText(QStringLiteral("3128"));
        Child<QLineEdit>(*dlg, "socksProxyServer")->setText(QStringLiteral("\tsocks.lan"));
        Child<QLineEdit>(*dlg, "socksProxyPort")->setText(QStringLiteral("9050"));
        Child<QPlainTextEdit>(*dlg, "noProxies")->setPlainText(QStringLiteral("localhost"));
        Press(dlg, QDialogButtonBox::Ok);
    });
    Commands().SelectBrowserAction()->trigger();
    EXPECT_EQ(frame.Settings().httpProxyServer, "proxy.lan");
    EXPECT_EQ(SettingInFile("Browser").toInt(), 2);
    EXPECT_EQ(SettingInFile("Default Browser").toInt(), 0);
    EXPECT_EQ(SettingInFile("Proxy").toInt(), 1);
    EXPECT_EQ(SettingInFile("Browser Path").toString(), QStringLiteral("/usr/bin/chromium"));
    EXPECT_EQ(SettingInFile("HTTP Proxy Server").toString(), QStringLiteral("proxy.lan"));
    EXPECT_EQ(SettingInFile("HTTP Proxy Port").toInt(), 3128);
    EXPECT_EQ(SettingInFile("SOCKS Proxy Server").toString(), QStringLiteral("socks.lan"));
    EXPECT_EQ(SettingInFile("SOCKS Proxy Port").toInt(), 9050);
    EXPECT_EQ(SettingInFile("No Proxies").toString(), QStringLiteral("localhost"));
}

TEST_F(DialogCommandsTest, SelectBrowserCancelledWritesNothing) {
    CMainFrame& frame = Frame();
    AnswerNextModal<CBrowserDlg>([](CBrowserDlg* dlg) {
        Child<QRadioButton>(*dlg, "Opera")->click();
        Press(dlg, QDialogButtonBox::Cancel);
    });
    Commands().SelectBrowser();
    EXPECT_EQ(frame.Settings().browser, 1);
    EXPECT_FALSE(SettingInFile("Browser").isValid());
}

TEST_F(DialogCommandsTest, ConfigurationQuestionOpensTheBrowserDialogOnItsThreeValues) {
    PutSetting("HTTP Proxy Server", "proxy.lan");
    PutSetting("Proxy", 1);
    CMainFrame& frame = Frame();
    frame.Launcher()->SetDefaultBrowserOpener([](const std::string&) { return false; });
    bool dialogSeen = false;
    AnswerNextModal<QMessageBox>([&dialogSeen](QMessageBox* question) {
        AnswerNextModal<CBrowserDlg>([&dialogSeen](CBrowserDlg* dlg) {
            dialogSeen = true;
            EXPECT_TRUE(Child<QLineEdit>(*dlg, "httpProxyServer")->text().isEmpty());
            EXPECT_FALSE(Child<QCheckBox>(*dlg, "useProxy")->isChecked());
            EXPECT_TRUE(Child<QCheckBox>(*dlg, "defaultBrowser")->isChecked());
            Child<QCheckBox>(*dlg, "defaultBrowser")->click();
            Child<QRadioButton>(*dlg, "Opera")->click();
            Press(dlg, QDialogButtonBox::Ok);
        });
        question->button(QMessageBox::Ok)->click();
    });
    frame.Launcher()->OpenUrl("http://example.org/");
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(frame.Settings().defaultBrowser, 0);
    EXPECT_EQ(frame.Settings().browser, 3);
    EXPECT_EQ(frame.Settings().httpProxyServer, "proxy.lan");
    EXPECT_EQ(frame.Settings().proxy, 1);
    EXPECT_EQ(SettingInFile("Default Browser").toInt(), 0);
    EXPECT_EQ(SettingInFile("Browser").toInt(), 3);
}

TEST_F(DialogCommandsTest, CategorizerSettingsStoreAndWriteTheWeightsAsTenths) {
    PutSetting("Words Weight", 3);
    CMainFrame& frame = Frame();
    AnswerNextModal<CCategorizerSettingsDlg>([](CCategorizerSettingsDlg* dlg) {
        EXPECT_EQ(Child<QSlider>(*dlg, "wordsWeight")->value(), 3);
        Child<QSlider>(*dlg, "wordsWeight")->setValue(8);
        Child<QSlider>(*dlg, "urlsWeight")->setValue(0);
        Press(dlg, QDialogButtonBox::Ok);
    });
    CDialogCommands::CategorizerSettings(&frame);
    EXPECT_EQ(frame.Settings().wordsWeight, 0.8);
    EXPECT_EQ(frame.Settings().urlsWeight, 0.0);
    EXPECT_EQ(SettingInFile("Words Weight").toInt(), 8);
    EXPECT_EQ(SettingInFile("Links Weight").toInt(), 5);
    EXPECT_EQ(SettingInFile("Urls Weight").toInt(), 0);
}

TEST_F(DialogCommandsTest, FilterCommandsEditTheFrameLists) {
    CMainFrame& frame = Frame();
    AnswerNextModal<CWordFilterDlg>([](CWordFilterDlg* dlg) {
        QTest::keyClicks(Child<QLineEdit>(*dlg, "newWord"), QStringLiteral("lorem"));
        Child<QPushButton>(*dlg, "add")->click();
        Press(dlg, QDialogButtonBox::Ok);
    });
    Commands().FilterWordListAction()->trigger();
    EXPECT_TRUE(frame.StopList()->Contains("LOREM"));

    AnswerNextModal<CSiteFiltersDlg>([](CSiteFiltersDlg* dlg) {
        AnswerNextModal<CSiteFilterPropertiesDlg>([](CSiteFilterPropertiesDlg* properties) {
            QTest::keyClicks(Child<QLineEdit>(*properties, "newString"), QStringLiteral("ads"));
            Child<QPushButton>(*properties, "add")->click();
            Press(properties, QDialogButtonBox::Ok);
        });
        Child<QPushButton>(*dlg, "add")->click();
        Child<QPushButton>(*dlg, "close")->click();
    });
    Commands().FilterSitesAction()->trigger();
    ASSERT_EQ(frame.SiteFilters()->Count(), 1);
    EXPECT_EQ(frame.SiteFilters()->FilterArray()[0]->TextForm(), "URLS:ads");
}
