#include "dialogs/textentrydlg.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {
QPushButton* Button(CTextEntryDlg& dlg, QDialogButtonBox::StandardButton which) {
    return dlg.findChild<QDialogButtonBox*>()->button(which);
}
} // namespace

TEST(TextEntryDlg, OpensEmptyUnderItsCaption) {
    CTextEntryDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Enter Text"));
    auto* edit = dlg.findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->text().isEmpty());
    EXPECT_TRUE(dlg.Text().isEmpty());
}

TEST(TextEntryDlg, TypedTextIsCutAtEightyCharactersOnOk) {
    CTextEntryDlg dlg;
    dlg.show();
    auto* edit = dlg.findChild<QLineEdit*>();
    QTest::keyClicks(edit, QString(100, QLatin1Char('w')));
    Button(dlg, QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Text(), QString(80, QLatin1Char('w')));
}

TEST(TextEntryDlg, OkReturnsWhatWasTyped) {
    CTextEntryDlg dlg;
    dlg.show();
    QTest::keyClicks(dlg.findChild<QLineEdit*>(), QStringLiteral("optics"));
    Button(dlg, QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dlg.Text(), QStringLiteral("optics"));
}

TEST(TextEntryDlg, CancelReturnsRejectedAndNoText) {
    CTextEntryDlg dlg;
    dlg.show();
    QTest::keyClicks(dlg.findChild<QLineEdit*>(), QStringLiteral("typed but cancelled"));
    Button(dlg, QDialogButtonBox::Cancel)->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(dlg.Text().isEmpty());
}
