#pragma once

#include <stdexcept>
#include <string>

namespace cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadInput = 1;
inline constexpr int kExitUsage = 2;

// Ends the command with a one-line message and the given exit code.
class CliError : public std::runtime_error {
  public:
    CliError(int exitCode, const std::string& message) : std::runtime_error(message), ExitCode(exitCode) {}
    const int ExitCode;
};

// The command line itself is wrong: the usage text follows the message.
[[noreturn]] inline void FailUsage(const std::string& message) {
    throw CliError(kExitUsage, message);
}
// A file, a number or a position does not fit.
[[noreturn]] inline void FailInput(const std::string& message) {
    throw CliError(kExitBadInput, message);
}

// A sound picture that the job's parts do not fit. Its file is not at fault,
// so no message names it; the failure line names the picture instead.
class PictureMisfit : public CliError {
  public:
    explicit PictureMisfit(const std::string& message) : CliError(kExitBadInput, message) {}
};

} // namespace cli
