#pragma once
// Runs the built tintwell-cli and makes pictures for it to work on.

#include "platform/Bitmap.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <string>

namespace twtest {

struct CliRun {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// Runs tintwell-cli with the arguments; input goes to its standard input.
CliRun RunCli(const QStringList& args, const QByteArray& input = {});
// The same, with a hook that runs in the child before the program starts.
CliRun RunCliWithChildSetup(const QStringList& args, const std::function<void()>& childSetup);

// Whether the run failed with the code and exactly one stderr line
// "tintwell-cli: ..." that contains the text.
::testing::AssertionResult FailsWith(const CliRun& run, int code, const std::string& text);

// A picture of distinct shaded regions: a soft blue-green background with a
// red disc, a yellow bar and a blue square, at any size.
tw::Bitmap Scene(int width, int height);
// Saves a picture through the core's picture module.
void Save(const tw::Bitmap& picture, const std::string& path);

QString Q(const std::string& s);

} // namespace twtest
