#include <QApplication>

#include <gtest/gtest.h>

// Widget tests need one QApplication for the whole program. They always run on the offscreen
// platform, also when the build lists the tests (no display is needed anywhere).
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
