#include <QGuiApplication>
#include <gtest/gtest.h>

// Core tests need no window, but a QGuiApplication lets Qt's image plugins load.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
