#include "dialogs/splashdlg.h"

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

TEST(SplashDlg, CarriesTheCaptionAndTheFullSizePicture) {
    CSplashDlg splash;
    EXPECT_EQ(splash.windowTitle(), QStringLiteral("Wayfold"));
    EXPECT_EQ(splash.pixmap().size(), QSize(CSplashDlg::kWidth, CSplashDlg::kHeight));
}

TEST(SplashDlg, PictureShowsGreenNameAndRedSiteDotsOnBlack) {
    const QImage image = CSplashDlg::ProductPicture().toImage();
    int black = 0;
    int green = 0;
    int red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c == Qt::black) {
                ++black;
            } else if (c == QColor(0x00, 0xFF, 0x00)) {
                ++green;
            } else if (c == QColor(0xFF, 0x00, 0x00)) {
                ++red;
            }
        }
    }
    EXPECT_GT(black, image.width() * image.height() / 2);
    EXPECT_GT(green, 500);   // the name
    EXPECT_GT(red, 3 * 100); // three visited-site dots of 20 pixels
}

TEST(SplashDlg, ClosesWhenTheMainWindowAppears) {
    CSplashDlg splash;
    splash.show();
    QApplication::processEvents();
    EXPECT_TRUE(splash.isVisible());
    QMainWindow main;
    splash.CloseWhenShown(&main);
    QApplication::processEvents();
    EXPECT_TRUE(splash.isVisible());
    main.show();
    EXPECT_FALSE(splash.isVisible());
}

TEST(SplashDlg, ClosesAtOnceWhenTheMainWindowIsAlreadyShown) {
    QMainWindow main;
    main.show();
    CSplashDlg splash;
    splash.show();
    splash.CloseWhenShown(&main);
    EXPECT_FALSE(splash.isVisible());
}
