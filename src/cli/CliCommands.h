#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// Runs one command line (the arguments after the program name) and returns
// the exit code. Failures are thrown as CliError or the core's exceptions.
int RunCli(const std::vector<std::string>& args);

// The command list, with the settings, rules and exit codes when details are asked for.
void PrintUsage(std::FILE* to, bool details);

} // namespace cli
