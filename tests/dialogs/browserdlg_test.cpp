#include "dialogs/browserdlg.h"

#include "modalhelper.h"
#include "shell/settings.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

template <class T> T* Child(const QDialog& dlg, const char* name) {
    return dlg.findChild<T*>(QString::fromLatin1(name));
}

QRadioButton* Radio(const QDialog& dlg, const char* name) {
    return Child<QRadioButton>(dlg, name);
}

void Press(QDialog* dlg, QDialogButtonBox::StandardButton which) {
    dlg->findChild<QDialogButtonBox*>()->button(which)->click();
}

CBrowserDlg::CValues SomeValues() {
    CBrowserDlg::CValues values;
    values.browser = 1;
    values.defaultBrowser = false;
    values.proxy = true;
    values.browserPath = "/usr/bin/firefox";
    values.httpProxyServer = "proxy.example";
    values.httpProxyPort = 8080;
    values.socksProxyServer = "socks.example";
    values.socksProxyPort = 1080;
    values.noProxies = "localhost;127.0.0.1";
    return values;
}

// Presses OK and returns the text of the message box that refuses it ("" when none shows).
QString OkRefusal(CBrowserDlg& dlg) {
    QString message;
    QTimer::singleShot(0, [&message] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            message = box->text();
            box->accept();
        }
    });
    Press(&dlg, QDialogButtonBox::Ok);
    QApplication::processEvents();
    return message;
}

} // namespace

TEST(BrowserDlg, ShowsItsTextAndTheValuesItWasGiven) {
    CBrowserDlg dlg(SomeValues());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Browser and Connection"));
    QStringList labels;
    for (const QLabel* label : dlg.findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(
        labels.contains(QStringLiteral("Set-up the browser that will load pages from Wayfold.")));
    EXPECT_TRUE(Radio(dlg, "Netscape")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(dlg, "browserPath")->text(), QStringLiteral("/usr/bin/firefox"));
    EXPECT_EQ(Child<QLineEdit>(dlg, "httpProxyPort")->text(), QStringLiteral("8080"));
    EXPECT_EQ(Child<QPlainTextEdit>(dlg, "noProxies")->toPlainText(),
              QStringLiteral("localhost;127.0.0.1"));
    EXPECT_TRUE(Child<QCheckBox>(dlg, "useProxy")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dlg, "defaultBrowser")->isChecked());
}

TEST(BrowserDlg, AChoiceOtherThanOneOrTwoShowsOperaAndStaysUnlessARadioIsClicked) {
    for (int stored : {0, 4}) {
        CBrowserDlg::CValues values = SomeValues();
        values.browser = stored;
        CBrowserDlg dlg(values);
        EXPECT_TRUE(Radio(dlg, "Opera")->isChecked());
        EXPECT_FALSE(Radio(dlg, "Netscape")->isChecked());
        Press(&dlg, QDialogButtonBox::Ok);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(dlg.Values().browser, stored);
    }
    CBrowserDlg::CValues values = SomeValues();
    values.browser = 4;
    CBrowserDlg dlg(values);
    Radio(dlg, "Opera")->click();
    Press(&dlg, QDialogButtonBox::Ok);
    EXPECT_EQ(dlg.Values().browser, 3);
}

TEST(BrowserDlg, RadioButtonsSetTheChoice) {
    CBrowserDlg dlg(SomeValues());
    Radio(dlg, "Explorer")->click();
    EXPECT_TRUE(Radio(dlg, "Explorer")->isChecked());
    EXPECT_FALSE(Radio(dlg, "Netscape")->isChecked());
    Press(&dlg, QDialogButtonBox::Ok);
    EXPECT_EQ(dlg.Values().browser, 2);
}

TEST(BrowserDlg, DefaultBrowserBoxLocksTheBrowserControls) {
    CBrowserDlg::CValues values = SomeValues();
    values.defaultBrowser = true;
    CBrowserDlg dlg(values);
    EXPECT_FALSE(Radio(dlg, "Netscape")->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(dlg, "browserPath")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(dlg, "browse")->isEnabled());
    Child<QCheckBox>(dlg, "defaultBrowser")->click();
    EXPECT_TRUE(Radio(dlg, "Netscape")->isEnabled());
    EXPECT_TRUE(Child<QLineEdit>(dlg, "browserPath")->isEnabled());
    Press(&dlg, QDialogButtonBox::Ok);
    EXPECT_FALSE(dlg.Values().defaultBrowser);
}

TEST(BrowserDlg, ProxyBoxSwitchesTheProxyControls) {
    CBrowserDlg::CValues values = SomeValues();
    values.proxy = false;
    CBrowserDlg dlg(values);
    for (const char* name : {"httpProxyServer", "httpProxyPort", "socksProxyServer"})
        EXPECT_FALSE(Child<QLineEdit>(dlg, name)->isEnabled()) << name;
    EXPECT_FALSE(Child<QPlainTextEdit>(dlg, "noProxies")->isEnabled());
    Child<QCheckBox>(dlg, "useProxy")->click();
    EXPECT_TRUE(Child<QLineEdit>(dlg, "socksProxyPort")->isEnabled());
    EXPECT_TRUE(Child<QPlainTextEdit>(dlg, "noProxies")->isEnabled());
    Press(&dlg, QDialogButtonBox::Ok);
    EXPECT_TRUE(dlg.Values().proxy);
}

TEST(BrowserDlg, PortFieldsTakeDigitsOnly) {
    CBrowserDlg dlg(SomeValues());
    auto* port = Child<QLineEdit>(dlg, "httpProxyPort");
    port->clear();
    QTest::keyClicks(port, QStringLiteral("8a0x8-0"));
    EXPECT_EQ(port->text(), QStringLiteral("8080"));
    Press(&dlg, QDialogButtonBox::Ok);
    EXPECT_EQ(dlg.Values().httpProxyPort, 8080);
}

TEST(BrowserDlg, AnEmptyOrOutOfRangePortIsRefusedAndTheDialogStaysOpen) {
    for (const char* typed : {"", "0", "70000"}) {
        CBrowserDlg dlg(SomeValues());
        dlg.show();
        Child<QLineEdit>(dlg, "socksProxyPort")->setText(QString::fromLatin1(typed));
        EXPECT_EQ(OkRefusal(dlg), QStringLiteral("Please enter a port number from 1 to 65535."))
            << typed;
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(dlg.Values().socksProxyPort, 1080);
    }
}

TEST(BrowserDlg, ABypassListOverAThousandAndTwentyFourCharactersIsRefused) {
    CBrowserDlg dlg(SomeValues());
    dlg.show();
    auto* list = Child<QPlainTextEdit>(dlg, "noProxies");
    list->setPlainText(QString(1025, QLatin1Char('a')));
    const QString refusal = OkRefusal(dlg);
    EXPECT_TRUE(refusal.contains(QStringLiteral("1024"))) << refusal.toStdString();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Values().noProxies, "localhost;127.0.0.1");

    list->setPlainText(QString(1024, QLatin1Char('a')));
    EXPECT_EQ(OkRefusal(dlg), QString());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Values().noProxies, std::string(1024, 'a'));
}

TEST(BrowserDlg, EditSettingsWritesBackAllNineWithProxyNamesTrimmedInFront) {
    CSettings settings;
    settings.browser = 1;
    settings.defaultBrowser = 1;
    settings.proxy = 0;
    settings.browserPath = "/opt/old";
    AnswerNextModal<CBrowserDlg>([](CBrowserDlg* dlg) {
        Child<QCheckBox>(*dlg, "defaultBrowser")->click();
        Radio(*dlg, "Explorer")->click();
        Child<QLineEdit>(*dlg, "browserPath")->setText(QStringLiteral("/usr/bin/chromium"));
        Child<QCheckBox>(*dlg, "useProxy")->click();
        Child<QLineEdit>(*dlg, "httpProxyServer")->setText(QStringLiteral("  \tproxy.lan "));
        Child<QLineEdit>(*dlg, "httpProxyPort")->setText(QStringLiteral("3128"));
        Child<QLineEdit>(*dlg, "socksProxyServer")->setText(QStringLiteral(" socks.lan"));
        Child<QLineEdit>(*dlg, "socksProxyPort")->setText(QStringLiteral("9050"));
        Child<QPlainTextEdit>(*dlg, "noProxies")->setPlainText(QStringLiteral("intra;local"));
        Press(dlg, QDialogButtonBox::Ok);
    });
    ASSERT_TRUE(CBrowserDlg::EditSettings(settings, nullptr));
    EXPECT_EQ(settings.browser, 2);
    EXPECT_EQ(settings.defaultBrowser, 0);
    EXPECT_EQ(settings.proxy, 1);
    EXPECT_EQ(settings.browserPath, "/usr/bin/chromium");
    EXPECT_EQ(settings.httpProxyServer, "proxy.lan ");
    EXPECT_EQ(settings.httpProxyPort, 3128);
    EXPECT_EQ(settings.socksProxyServer, "socks.lan");
    EXPECT_EQ(settings.socksProxyPort, 9050);
    EXPECT_EQ(settings.noProxies, "intra;local");
}

TEST(BrowserDlg, EditSettingsCancelledChangesNothing) {
    CSettings settings;
    settings.browserPath = "/opt/old";
    AnswerNextModal<CBrowserDlg>([](CBrowserDlg* dlg) {
        Radio(*dlg, "Opera")->click();
        Child<QLineEdit>(*dlg, "browserPath")->setText(QStringLiteral("/elsewhere"));
        Press(dlg, QDialogButtonBox::Cancel);
    });
    EXPECT_FALSE(CBrowserDlg::EditSettings(settings, nullptr));
    EXPECT_EQ(settings.browser, 1);
    EXPECT_EQ(settings.browserPath, "/opt/old");
}

TEST(BrowserDlg, EditBrowserChoiceShowsAndTakesOnlyTheThreeBrowserValues) {
    CSettings settings;
    settings.browser = 1;
    settings.defaultBrowser = 1;
    settings.browserPath = "/opt/old";
    settings.proxy = 1;
    settings.httpProxyServer = "proxy.lan";
    settings.httpProxyPort = 3128;
    AnswerNextModal<CBrowserDlg>([](CBrowserDlg* dlg) {
        EXPECT_TRUE(Child<QLineEdit>(*dlg, "httpProxyServer")->text().isEmpty());
        EXPECT_FALSE(Child<QCheckBox>(*dlg, "useProxy")->isChecked());
        Child<QCheckBox>(*dlg, "defaultBrowser")->click();
        Radio(*dlg, "Opera")->click();
        Child<QLineEdit>(*dlg, "browserPath")->setText(QStringLiteral("/usr/bin/opera"));
        Press(dlg, QDialogButtonBox::Ok);
    });
    ASSERT_TRUE(CBrowserDlg::EditBrowserChoice(settings, nullptr));
    EXPECT_EQ(settings.browser, 3);
    EXPECT_EQ(settings.defaultBrowser, 0);
    EXPECT_EQ(settings.browserPath, "/usr/bin/opera");
    EXPECT_EQ(settings.proxy, 1);
    EXPECT_EQ(settings.httpProxyServer, "proxy.lan");
    EXPECT_EQ(settings.httpProxyPort, 3128);
}

namespace {

// Opens Browse on the path; the chooser's folder, and the path after choosing `choice` (or
// cancelling when it is empty).
std::pair<std::string, std::string> Browse(const QString& path, const QString& choice) {
    CBrowserDlg::CValues values = SomeValues();
    values.browserPath = path.toStdString();
    CBrowserDlg dlg(values);
    QString folder;
    AnswerNextModal<QFileDialog>([&](QFileDialog* chooser) {
        folder = chooser->directory().absolutePath();
        if (choice.isEmpty()) {
            chooser->reject();
        } else {
            // Chosen as a click in its list would, once the chooser has listed its folder (on
            // a thread of its own) and selected the file it was opened at.
            auto* model = chooser->findChild<QFileSystemModel*>();
            auto* list = chooser->findChild<QListView*>(QStringLiteral("listView"));
            ASSERT_TRUE(model && list);
            QDeadlineTimer listed(5000);
            while (model->rowCount(model->index(folder)) < 2 && !listed.hasExpired())
                QTest::qWait(10);
            list->selectionModel()->select(model->index(choice),
                                           QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
            static_cast<QDialog*>(chooser)->accept(); // QFileDialog checks the choice
        }
    });
    dlg.OnBrowse();
    return {folder.toStdString(), Child<QLineEdit>(dlg, "browserPath")->text().toStdString()};
}

} // namespace

TEST(BrowserDlg, BrowseOpensAtTheNamedProgramElseWhereProgramsLive) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("my browser"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString run = folder + "/run";
    const QString other = folder + "/other";
    for (const QString& program : {run, other}) {
        QFile file(program);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    EXPECT_EQ(Browse(QString(), QString()).first, "/usr/bin");
    EXPECT_EQ(Browse(QStringLiteral("/no/such/browser --new-tab"), QString()).first, "/usr/bin");
    // The chosen program replaces the first word, quoted, and the arguments stay.
    EXPECT_EQ(Browse("'" + run + "' --new-window", other),
              (std::pair<std::string, std::string>{
                  folder.toStdString(), ("'" + other + "' --new-window").toStdString()}));
}
