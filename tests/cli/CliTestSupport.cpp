#include "cli/CliTestSupport.h"

#include "colour/HSV.h"
#include "platform/PictureFile.h"
#include "support/TestFiles.h"

#include <QProcess>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace twtest {
namespace {

// Under ThreadSanitizer the tool gets its own options (see tests/cli/CMakeLists.txt);
// this process read its options at start-up, so the change reaches children only.
const bool kChildSanitizerOptions = [] {
    if (qEnvironmentVariableIsSet("TW_CLI_TSAN_OPTIONS"))
        qputenv("TSAN_OPTIONS", qgetenv("TW_CLI_TSAN_OPTIONS"));
    return true;
}();

} // namespace

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

CliRun RunCli(const QStringList& args, const QByteArray& input) {
    CliRun run;
    run.code = RunProgram(TW_CLI_PROGRAM, args, &run.out, &run.err, input);
    return run;
}

CliRun RunCliWithChildSetup(const QStringList& args, const std::function<void()>& childSetup) {
    CliRun run;
    QProcess p;
    p.setChildProcessModifier(childSetup);
    p.start(QStringLiteral(TW_CLI_PROGRAM), args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(60000)) return run;
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    run.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return run;
}

CliRun RunCliBytes(const std::vector<std::string>& args, const std::function<void()>& childSetup,
                   int deadlineSeconds, const std::function<void(pid_t, const QByteArray&)>& onError) {
    std::vector<std::string> all{TW_CLI_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        const int none = open("/dev/null", O_RDONLY);
        dup2(none, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (childSetup) childSetup();
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    CliRun run;
    pollfd streams[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    QByteArray* text[2] = {&run.out, &run.err};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(deadlineSeconds);
    for (int open = 2; open > 0;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(child, SIGKILL);
            run.timedOut = true;
            break;
        }
        if (poll(streams, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || streams[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = read(streams[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                text[i]->append(buffer, got);
                if (i == 1 && onError) onError(child, run.err);
            } else if (got == 0 || errno != EINTR) {
                close(streams[i].fd);
                streams[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& stream : streams)
        if (stream.fd >= 0) close(stream.fd);
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.peakMemoryKb = usage.ru_maxrss;
    run.code = !run.timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

::testing::AssertionResult FailsWith(const CliRun& run, int code, const std::string& text) {
    const QString err = QString::fromUtf8(run.err);
    if (run.code != code)
        return ::testing::AssertionFailure()
               << "exit code " << run.code << ", not " << code << "; stderr: " << err.toStdString();
    // Usage errors add the usage text after one blank line; the message is the first line.
    const QString message = code == 2 ? err.section('\n', 0, 0) + "\n" : err;
    if (!message.startsWith("tintwell-cli: ") || !message.endsWith('\n') || message.count('\n') != 1)
        return ::testing::AssertionFailure() << "not one \"tintwell-cli: \" line: " << err.toStdString();
    if (!message.contains(Q(text)))
        return ::testing::AssertionFailure()
               << "\"" << message.trimmed().toStdString() << "\" lacks \"" << text << "\"";
    return ::testing::AssertionSuccess();
}

tw::Bitmap Scene(int width, int height) {
    tw::Bitmap b(width, height);
    const double cx = width * 0.3, cy = height * 0.45, radius = std::min(width, height) * 0.25;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double fy = static_cast<double>(y) / height, fx = static_cast<double>(x) / width;
            // Background: a gentle teal gradient.
            int r = 40 + static_cast<int>(30 * fx), g = 150 + static_cast<int>(50 * fy), bl = 140;
            const double d = std::hypot(x - cx, y - cy) / radius;
            if (d < 1) { // red disc, darker towards its rim
                r = 230 - static_cast<int>(90 * d), g = 40, bl = 50;
            } else if (fy > 0.75 && fy < 0.9) { // yellow bar
                r = 240, g = 200 - static_cast<int>(40 * fx), bl = 40;
            } else if (fx > 0.62 && fx < 0.9 && fy > 0.15 && fy < 0.6) { // blue square
                r = 40, g = 60, bl = 200 - static_cast<int>(60 * fy);
            }
            b.SetPixel(x, y, RGBToColor(r, g, bl));
        }
    return b;
}

void Save(const tw::Bitmap& picture, const std::string& path) {
    if (!tw::SavePicture(picture, path)) throw std::runtime_error("cannot save " + path);
}

} // namespace twtest
