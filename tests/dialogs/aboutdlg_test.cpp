#include "dialogs/aboutdlg.h"
#include "dialogs/capturebuttondlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

std::vector<QString> LabelTexts(const QWidget& widget) {
    std::vector<QString> texts;
    for (const QLabel* label : widget.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts.push_back(label->text());
    return texts;
}

TEST(AboutDlg, ShowsVersionPromptAndTheLicenseTextReadOnly) {
    CAboutDlg dialog("Wayfold license\nline two\n");
    EXPECT_EQ(dialog.windowTitle(), "About Wayfold");
    const auto texts = LabelTexts(dialog);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Version 2.0"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Click to return to Wayfold"), texts.end());
    auto* text = dialog.findChild<QPlainTextEdit*>("LicenseText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->toPlainText(), "Wayfold license\nline two\n");
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST(AboutDlg, EmptyLicenseLeavesTheTextEmpty) {
    CAboutDlg dialog("");
    EXPECT_TRUE(dialog.findChild<QPlainTextEdit*>("LicenseText")->toPlainText().isEmpty());
}

TEST(AboutDlg, LeftClickAnywhereClosesItButRightClickDoesNot) {
    for (const char* target : {"", "LicenseText", "Version"}) {
        CAboutDlg dialog("text");
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QWidget* widget = &dialog;
        if (*target)
            widget = dialog.findChild<QWidget*>(target);
        ASSERT_NE(widget, nullptr);
        if (auto* edit = qobject_cast<QPlainTextEdit*>(widget))
            widget = edit->viewport();
        QTest::mouseClick(widget, Qt::RightButton);
        EXPECT_TRUE(dialog.isVisible()) << target;
        QTest::mouseClick(widget, Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible()) << target;
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << target;
    }
}

TEST(CaptureButtonDlg, StaysOnTopAtTheRightEdgeHalfwayDown) {
    CCaptureButtonDlg button;
    EXPECT_EQ(button.windowTitle(), "QUORL: Passive Mode");
    EXPECT_TRUE(button.windowFlags() & Qt::WindowStaysOnTopHint);
    button.PlaceAndShow();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(button.x(), screen.width() - button.width() - 10);
    EXPECT_EQ(button.y(), screen.height() / 2);
    EXPECT_TRUE(button.isVisible());
}

TEST(CaptureButtonDlg, ClickRunsTheCaptureAndBusyPictureDiffersFromIdle) {
    CCaptureButtonDlg button;
    int captures = 0;
    button.SetCapture([&] {
        ++captures;
        button.SetBusy(true);
    });
    button.PlaceAndShow();
    const QImage idle = button.Button()->icon().pixmap(24, 24).toImage();
    QTest::mouseClick(button.Button(), Qt::LeftButton);
    EXPECT_EQ(captures, 1);
    EXPECT_TRUE(button.IsBusy());
    const QImage busy = button.Button()->icon().pixmap(24, 24).toImage();
    EXPECT_NE(idle, busy);
    button.SetBusy(false);
    EXPECT_EQ(button.Button()->icon().pixmap(24, 24).toImage(), idle);
}

} // namespace
