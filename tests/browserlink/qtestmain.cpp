#include <QCoreApplication>

#include <gtest/gtest.h>

// The DDE substitute serves its conversations from the Qt event loop.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
