#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// Runs one command line (the arguments after the program name) and returns
// the exit code. Failures are thrown as CliError or the core's exceptions.
int RunCli(const std::vector<std::string>& args);

void PrintUsage(std::FILE* to);

} // namespace cli
