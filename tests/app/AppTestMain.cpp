#include "app/TintwellApplication.h"

#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

// The desktop program's own application object, on the offscreen platform.
// Errors go to stderr instead of a message box that nobody could close.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // What the windows remember goes to a settings folder of this process's
    // own, so that no test sees what another left behind, nor the user's.
    QTemporaryDir home;
    if (home.isValid()) qputenv("HOME", home.path().toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    TTintwellApplication app(argc, argv);
    app.ShowError = [](const std::string& message) {
        std::fprintf(stderr, "error shown: %s\n", message.c_str());
    };
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
