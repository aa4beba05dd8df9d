#pragma once
// Runs the built tintwell-cli and makes pictures for it to work on.

#include "platform/Bitmap.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace twtest {

// Sanitizers reserve far more address space than any memory cap allows and
// keep freed memory for a while, so memory figures mean little there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif
#else
inline constexpr bool kSanitizedBuild = false;
#endif

struct CliRun {
    int code = -1; // -1 when the program did not end normally
    QByteArray out;
    QByteArray err;
    bool timedOut = false; // killed at the deadline
    long peakMemoryKb = 0; // the largest resident set, from RunCliBytes only
};

// Runs tintwell-cli with the arguments; input goes to its standard input.
CliRun RunCli(const QStringList& args, const QByteArray& input = {});
// The same, with a hook that runs in the child before the program starts.
CliRun RunCliWithChildSetup(const QStringList& args, const std::function<void()>& childSetup);

// Runs tintwell-cli with the arguments passed byte for byte (names need not be
// UTF-8), standard input empty. A run still going at the deadline is killed:
// a hang shows as timedOut instead of stopping the tests. childSetup runs in
// the child before the program starts; it may only make system calls.
// onError(pid, stderr so far) is called as standard error grows. The run ends
// when standard error and output do, that is once every process holding them
// (the program and any child of it) has ended.
CliRun RunCliBytes(const std::vector<std::string>& args, const std::function<void()>& childSetup = {},
                   int deadlineSeconds = 60,
                   const std::function<void(pid_t, const QByteArray&)>& onError = {});

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
