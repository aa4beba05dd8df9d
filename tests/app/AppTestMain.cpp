#include "app/TintwellApplication.h"

#include <gtest/gtest.h>

#include <cstdio>

// The desktop program's own application object, on the offscreen platform.
// Errors go to stderr instead of a message box that nobody could close.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TTintwellApplication app(argc, argv);
    app.ShowError = [](const std::string& message) {
        std::fprintf(stderr, "error shown: %s\n", message.c_str());
    };
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
