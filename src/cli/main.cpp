// tintwell-cli: the batch tool. Recolours pictures from the command line with
// the desktop program's own core.

#include "cli/BatchRun.h"
#include "cli/CliCommands.h"
#include "cli/CliError.h"
#include "platform/ErrorReport.h"
#include "platform/FileAccess.h"

#include <QCoreApplication>

#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace {

// One line whatever the message quotes: names and arguments may hold line breaks.
void Report(const std::string& message) {
    std::fprintf(stderr, "tintwell-cli: %s\n", tw::Printable(message).c_str());
}

// Qt's own warnings would break the promise of one line per failure; every
// failure that matters reaches the user as an exception.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) Report(message.toStdString());
}

} // namespace

int main(int argc, char** argv) {
    // A write beyond the file size limit then fails like any other failed
    // write, with a message, instead of ending the process silently.
    std::signal(SIGXFSZ, SIG_IGN);
    // Ctrl+C or a stop from a scheduler ends the workers with the run, and a
    // result being written leaves no temporary file behind.
    tw::RemoveTemporaryFilesOnStop(cli::StopWorkers);
    // A batch works picture after picture on buffers of much the same sizes:
    // freed ones are kept for the next picture instead of going back to the
    // system and being faulted in again a page at a time.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // Taken before Qt sees them, so no argument is consumed. They stay the
    // file system's bytes: a name that is not UTF-8 must reach the same file.
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        qInstallMessageHandler(QuietMessages);
        // Qt's image plugins (icons) are found through the application object.
        QCoreApplication app(argc, argv);
        return cli::RunCli(args);
    } catch (const cli::CliError& e) {
        Report(e.what());
        if (e.ExitCode == cli::kExitUsage) {
            std::fputs("\n", stderr);
            cli::PrintUsage(stderr, false);
        }
        return e.ExitCode;
    } catch (const std::bad_alloc&) {
        Report("not enough memory");
    } catch (const std::exception& e) {
        Report(e.what());
    } catch (...) {
        Report("unexpected error");
    }
    return cli::kExitBadInput;
}
