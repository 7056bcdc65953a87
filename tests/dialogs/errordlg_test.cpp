#include "dialogs/errordlg.h"

#include "model/errorreport.h"
#include "tests/dialogs/modalhelper.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <thread>

namespace {
class ErrorHandlerGuard {
public:
    ErrorHandlerGuard() { InstallGuiErrorHandler(); }
    ~ErrorHandlerGuard() { SetErrorHandler(nullptr); }
};
} // namespace

TEST(ErrorDlg, ShowsCaptionWarningPictureMessageAndOnlyOk) {
    CErrorDlg box(QStringLiteral("Can't open url database for writing."));
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Wayfold: ERROR"));
    EXPECT_EQ(box.Message(), QStringLiteral("Can't open url database for writing."));
    auto* picture = box.findChild<QLabel*>(QStringLiteral("picture"));
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->pixmap().isNull());
    auto* buttons = box.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->buttons().size(), 1);
    EXPECT_NE(buttons->button(QDialogButtonBox::Ok), nullptr);
}

TEST(ErrorDlg, ShowErrorBlocksUntilOkThenReturns) {
    ErrorHandlerGuard guard;
    QString shown;
    bool wasModal = false;
    AnswerNextModal<CErrorDlg>([&](CErrorDlg* box) {
        shown = box->Message();
        wasModal = box->isModal();
        box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    ShowError("Error writing title to URL database.");
    EXPECT_EQ(shown, QStringLiteral("Error writing title to URL database."));
    EXPECT_TRUE(wasModal);
}

TEST(ErrorDlg, MessageBytesThatAreNotUtf8ShowAsLatin1) {
    ErrorHandlerGuard guard;
    QString shown;
    AnswerNextModal<CErrorDlg>([&](CErrorDlg* box) {
        shown = box->Message();
        box->accept();
    });
    ShowError("Can't open caf\xe9.html");
    EXPECT_EQ(shown, QString::fromUtf8("Can't open caf\xc3\xa9.html"));
}

TEST(ErrorDlg, ReportFromAnotherThreadGoesToStandardErrorWithoutBlocking) {
    ErrorHandlerGuard guard;
    testing::internal::CaptureStderr();
    std::thread worker([] { ShowError("from a worker"); });
    worker.join();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("from a worker"), std::string::npos);
}

TEST(ErrorDlgDeathTest, ShowFatalErrorShowsTheBoxThenExitsWithOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            InstallGuiErrorHandler();
            AnswerNextModal<CErrorDlg>([](CErrorDlg* box) {
                std::fputs(box->Message().toUtf8().constData(), stderr);
                box->accept();
            });
            ShowFatalError("Can't open license.txt for read.");
        },
        testing::ExitedWithCode(1), "Can't open license.txt for read.");
}
