#include "cli/BatchRun.h"

#include "colour/HSVTables.h"
#include "platform/RowBandPool.h"

#include "cli/CliError.h"
#include "document/ContactSheet.h"
#include "platform/ErrorReport.h"
#include "platform/FileAccess.h"
#include "platform/PictureFile.h"
#include "platform/Thread.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace cli {
namespace {

void ParseShard(const std::string& text, TBatchOptions& options) {
    const auto slash = text.find('/');
    int64_t k = -1, n = 0;
    if (slash == std::string::npos || !ParseWholeNumber(text.substr(0, slash), k) ||
        !ParseWholeNumber(text.substr(slash + 1), n) || n < 1 || n > 1000000 || k < 0 || k >= n)
        FailUsage("--shard expects K/N with 0 <= K < N and N at most 1000000, not \"" + tw::Printable(text) +
                  "\"");
    options.Shard = static_cast<int>(k);
    options.ShardCount = static_cast<int>(n);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The picture as the user named it.
const std::string& PictureOf(const TRecolorTask& task) {
    return task.Name.empty() ? task.Picture : task.Name;
}

std::string MessageOfCurrent() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "not enough memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unexpected error";
    }
}

// The line of the task's failure being handled. With --keep-going it names the
// picture; so does a misfit, whose message would not say which picture it is.
std::string FailureOfCurrent(const TRecolorTask& task, bool keepGoing) {
    try {
        throw;
    } catch (const PictureMisfit& e) {
        return PictureOf(task) + ": " + e.what();
    } catch (...) {
        return keepGoing ? PictureOf(task) + ": " + MessageOfCurrent() : MessageOfCurrent();
    }
}

// The running workers, for the signal handler that passes a stop on to them:
// it can reach nothing but globals. A slot is 0 when free.
constexpr size_t kMaxWorkers = 1024;
std::atomic<pid_t> gWorkers[kMaxWorkers];

// The signals that stop a run, blocked while a worker is being started.
sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&set, sig);
    return set;
}

// What the user sees while the pictures are worked on: a bar on a terminal,
// otherwise one line per picture as its work starts, in the job's order even
// when several pictures are worked on at once.
class Progress {
  public:
    Progress(const std::vector<TRecolorTask>& tasks, bool show)
        : tasks_(tasks), show_(show), bar_(show && isatty(STDERR_FILENO)), started_(tasks.size(), false),
          begin_(std::chrono::steady_clock::now()) {
        Draw();
    }

    void Started(size_t index) {
        started_[index] = true;
        ReleaseLines();
        Draw();
    }

    void Finished() {
        ++done_;
        Draw();
    }

    // A failed picture's line, after the progress line of every picture up to it.
    void Failed(size_t index, const std::string& message) {
        for (size_t i = 0; i <= index; ++i)
            started_[i] = true;
        ReleaseLines();
        ClearBar();
        std::cerr << "tintwell-cli: " << tw::Printable(message) << std::endl;
        Finished();
    }

    // A warning line, where the bar would otherwise be.
    void Warned(const std::string& message) {
        ClearBar();
        PrintWarning(message);
        Draw();
    }

    void End() {
        if (bar_ && drawn_) std::cerr << std::endl;
        drawn_ = false;
    }

  private:
    void ReleaseLines() {
        while (printed_ < started_.size() && started_[printed_]) {
            if (show_ && !bar_)
                std::cerr << "[" << printed_ + 1 << "/" << tasks_.size() << "] "
                          << tw::Printable(tasks_[printed_].Label) << std::endl;
            ++printed_;
        }
    }

    void ClearBar() {
        if (bar_ && drawn_) std::cerr << "\r\033[K";
        drawn_ = false;
    }

    void Draw() {
        if (!bar_) return;
        constexpr size_t kWidth = 30;
        const size_t total = tasks_.size();
        const size_t filled = total ? kWidth * done_ / total : kWidth;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
        char rate[64] = "", left[64] = "";
        if (done_ > 0 && seconds > 0) {
            const double perSecond = static_cast<double>(done_) / seconds;
            const long remaining = std::lround(static_cast<double>(total - done_) / perSecond);
            std::snprintf(rate, sizeof rate, "  %.2f pictures/s", perSecond);
            std::snprintf(left, sizeof left, "  %ld:%02ld left", remaining / 60, remaining % 60);
        }
        std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] " << done_
                  << "/" << total << rate << left << "\033[K" << std::flush;
        drawn_ = true;
    }

    const std::vector<TRecolorTask>& tasks_;
    const bool show_;
    const bool bar_;
    std::vector<bool> started_;
    size_t printed_ = 0;
    size_t done_ = 0;
    bool drawn_ = false;
    const std::chrono::steady_clock::time_point begin_;
};

struct TFailure {
    size_t Index;
    std::string Message;
};

// One picture after another in this process, as a single picture is done.
void RunHere(const std::vector<TRecolorTask>& tasks, bool keepGoing, const TPictureWork& work,
             Progress& progress, std::vector<TFailure>& failures) {
    const TWarning warn = [&progress](const std::string& message) { progress.Warned(message); };
    for (size_t i = 0; i < tasks.size(); ++i) {
        progress.Started(i);
        try {
            work(tasks[i], warn);
        } catch (...) {
            const std::string message = FailureOfCurrent(tasks[i], keepGoing);
            if (!keepGoing) {
                progress.End();
                FailInput(message);
            }
            failures.push_back({i, message});
            progress.Failed(i, message);
            continue;
        }
        progress.Finished();
    }
}

// Shared by the worker processes: the next picture to take, and whether to stop taking.
struct TDispatch {
    std::atomic<size_t> Next{0};
    std::atomic<bool> Stop{false};
};

// A worker reports over its pipe: "S index" as a picture starts, "D index" when
// it is done, "F index line" when it failed, "W index line" for a warning.
void WorkerLoop(const std::vector<TRecolorTask>& tasks, TDispatch& dispatch, int out, bool keepGoing,
                const TPictureWork& work) {
    const auto send = [out](const std::string& line) {
        const std::string text = line + "\n";
        for (size_t at = 0; at < text.size();) {
            const ssize_t n = ::write(out, text.data() + at, text.size() - at);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ::_exit(3);
            at += static_cast<size_t>(n);
        }
    };
    for (;;) {
        if (dispatch.Stop.load()) return;
        const size_t i = dispatch.Next.fetch_add(1);
        if (i >= tasks.size()) return;
        send("S " + std::to_string(i));
        const TWarning warn = [&send, i](const std::string& message) {
            send("W " + std::to_string(i) + " " + tw::Printable(message));
        };
        try {
            work(tasks[i], warn);
            send("D " + std::to_string(i));
        } catch (...) {
            send("F " + std::to_string(i) + " " + tw::Printable(FailureOfCurrent(tasks[i], keepGoing)));
        }
    }
}

// Several pictures at once, each in a worker process: the picture code keeps
// its one-GUI-thread design, and a worker that runs out of memory takes only
// itself down.
void RunInWorkers(const std::vector<TRecolorTask>& tasks, int jobs, bool keepGoing, const TPictureWork& work,
                  Progress& progress, std::vector<TFailure>& failures) {
    void* memory =
        ::mmap(nullptr, sizeof(TDispatch), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) FailInput("cannot start the workers: out of memory");
    auto* dispatch = new (memory) TDispatch;

    struct Worker {
        pid_t Pid = -1;
        int Fd = -1;
        std::string Buffer;
        long Current = -1; // the picture it works on
    };
    std::vector<Worker> workers;
    // Tables every picture reads are made once, here: the workers share the
    // pages instead of each making its own.
    THSVTables::Get();
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    const pid_t parent = ::getpid();
    const sigset_t stops = StopSignals();
    for (int w = 0; w < std::min<int>(jobs, kMaxWorkers); ++w) {
        int fds[2];
        if (::pipe(fds) != 0) break;
        // Until the worker is on the list (and, in the worker, until it has
        // forgotten the list), a stop would miss it.
        sigset_t before;
        ::pthread_sigmask(SIG_BLOCK, &stops, &before);
        const pid_t pid = ::fork();
        if (pid == 0) {
            // A worker that outlived the run would write its result after the
            // command has ended, when nobody expects it any more.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(1);
            for (std::atomic<pid_t>& slot : gWorkers)
                slot.store(0);
            tw::DisownTemporaryFiles();
            ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
            ::close(fds[0]);
            // The workers share the cores between them already.
            if (jobs > 1) TRowBandPool::SetDefaultThreads(1);
            for (const Worker& other : workers)
                ::close(other.Fd);
            WorkerLoop(tasks, *dispatch, fds[1], keepGoing, work);
            ::_exit(0);
        }
        if (pid > 0) gWorkers[static_cast<size_t>(w)].store(pid);
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        ::close(fds[1]);
        if (pid < 0) {
            ::close(fds[0]);
            break;
        }
        workers.push_back({pid, fds[0], {}, -1});
    }
    if (workers.empty()) FailInput("cannot start the workers");

    std::string firstFailure;
    // message: the failure's whole line, picture name and all where it has one.
    const auto fail = [&](size_t index, const std::string& message) {
        if (!keepGoing) {
            dispatch->Stop.store(true);
            if (firstFailure.empty()) firstFailure = message;
            return;
        }
        failures.push_back({index, message});
        progress.Failed(index, message);
    };
    const auto handle = [&](Worker& worker, const std::string& line) {
        const char kind = line.empty() ? '?' : line[0];
        const size_t space = line.find(' ', 2);
        const size_t index =
            std::stoul(line.substr(2, space == std::string::npos ? std::string::npos : space - 2));
        if (index >= tasks.size()) return;
        if (kind == 'S') {
            worker.Current = static_cast<long>(index);
            if (firstFailure.empty()) progress.Started(index);
        } else if (kind == 'D') {
            worker.Current = -1;
            progress.Finished();
        } else if (kind == 'F') {
            worker.Current = -1;
            fail(index, space == std::string::npos ? "failed" : line.substr(space + 1));
        } else if (kind == 'W' && space != std::string::npos) {
            progress.Warned(line.substr(space + 1));
        }
    };

    size_t open = workers.size();
    while (open > 0) {
        std::vector<pollfd> fds;
        for (const Worker& worker : workers)
            if (worker.Fd >= 0) fds.push_back({worker.Fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (Worker& worker : workers) {
            if (worker.Fd < 0) continue;
            const auto polled =
                std::find_if(fds.begin(), fds.end(), [&](const pollfd& p) { return p.fd == worker.Fd; });
            if (polled == fds.end() || polled->revents == 0) continue;
            char chunk[4096];
            const ssize_t n = ::read(worker.Fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) {
                worker.Buffer.append(chunk, static_cast<size_t>(n));
                for (size_t end; (end = worker.Buffer.find('\n')) != std::string::npos;) {
                    handle(worker, worker.Buffer.substr(0, end));
                    worker.Buffer.erase(0, end + 1);
                }
                continue;
            }
            ::close(worker.Fd);
            worker.Fd = -1;
            --open;
        }
    }
    for (size_t w = 0; w < workers.size(); ++w) {
        Worker& worker = workers[w];
        // Off the list before it is reaped: its number may be given to another process.
        gWorkers[w].store(0);
        int status = 0;
        while (::waitpid(worker.Pid, &status, 0) < 0 && errno == EINTR) {
        }
        // A worker killed mid-picture (out of memory, a signal) leaves that picture undone.
        if (worker.Current >= 0) {
            const std::string why =
                WIFSIGNALED(status) ? "the worker was stopped by signal " + std::to_string(WTERMSIG(status))
                                    : "the worker ended unexpectedly";
            const TRecolorTask& task = tasks[static_cast<size_t>(worker.Current)];
            fail(static_cast<size_t>(worker.Current), keepGoing ? PictureOf(task) + ": " + why : why);
        }
    }
    dispatch->~TDispatch();
    ::munmap(memory, sizeof(TDispatch));
    if (!firstFailure.empty()) {
        progress.End();
        FailInput(firstFailure);
    }
}

// The sheet is neither an input nor a result of the job.
void CheckContactSheet(const TRecolorJob& job, const std::string& sheet) {
    CheckOutputName(sheet);
    const std::string path = tw::CanonicalPath(sheet);
    const auto clash = [&](const std::string& other, const char* what) {
        if (tw::CanonicalPath(other) == path)
            FailInput("cannot write the contact sheet to " + tw::DisplayName(sheet) + ": it is also " + what);
    };
    for (const TRecolorTask& task : job.Tasks) {
        clash(task.Picture, "a picture of this job");
        for (const std::string& result : ResultsOf(task))
            clash(result, "a result of this job");
    }
    if (!job.Recipe.empty()) clash(job.Recipe, "the recipe");
}

// Every result of the job's tasks that is there, small, named after its file.
void WriteContactSheet(const TRecolorJob& job, const std::string& sheet) {
    std::vector<TContactEntry> entries;
    const auto add = [&](const std::string& result, std::optional<TColorValue> colour) {
        if (!FileExists(result)) return;
        try {
            std::string name = result.substr(result.rfind('/') + 1);
            if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
            entries.push_back({name, colour, ContactThumbnail(LoadPictureToWorkOn(result, false))});
        } catch (const std::exception& e) {
            std::cerr << "tintwell-cli: warning: the contact sheet leaves out " << tw::DisplayName(result)
                      << ": " << e.what() << std::endl;
        }
    };
    for (const TRecolorTask& task : job.Tasks) {
        if (task.Variants.empty()) add(task.Output, std::nullopt);
        for (const TVariantResult& result : task.Variants)
            add(result.Output, VariantColour(VariantNamed(job, result.Variant)));
    }
    WritePicture(ComposeContactSheet(entries), sheet);
}

} // namespace

void StopWorkers(int sig) {
    for (const std::atomic<pid_t>& worker : gWorkers)
        if (const pid_t pid = worker.load(); pid > 0) ::kill(pid, sig);
}

bool TakeBatchFlag(const std::string& flag, ArgReader& args, TBatchOptions& options) {
    if (flag == "--jobs") {
        options.Jobs = ParseNumber(flag, args.Value(), 1, 1024);
    } else if (flag == "--shard") {
        ParseShard(args.Value(), options);
    } else if (flag == "--skip-existing") {
        args.NoValue();
        options.SkipExisting = true;
    } else if (flag == "--keep-going") {
        args.NoValue();
        options.KeepGoing = true;
    } else if (flag == "--contact-sheet") {
        options.ContactSheet = args.Value();
        if (tw::SaveFormatFor(options.ContactSheet) != tw::PictureFormat::Png)
            FailUsage("--contact-sheet expects a .png file name, not \"" +
                      tw::Printable(options.ContactSheet) + "\"");
    } else {
        return false;
    }
    return true;
}

int RunBatch(TRecolorJob job, const TBatchOptions& options, bool severalPictures, const TPictureWork& work) {
    // The share is taken from the whole list, so every machine agrees on it
    // whichever results already exist.
    std::vector<TRecolorTask> tasks;
    for (size_t i = 0; i < job.Tasks.size(); ++i)
        if (i % static_cast<size_t>(options.ShardCount) == static_cast<size_t>(options.Shard))
            tasks.push_back(job.Tasks[i]);
    job.Tasks = tasks;
    // A picture that cannot be opened is one more failure when the job goes on past failures.
    CheckRecolorJob(job, !options.KeepGoing);
    if (!options.ContactSheet.empty()) CheckContactSheet(job, options.ContactSheet);
    if (options.SkipExisting) {
        // Results are written whole or not at all, so one that exists is finished.
        size_t skipped = 0;
        for (TRecolorTask& task : tasks)
            skipped += static_cast<size_t>(std::erase_if(
                task.Variants, [](const TVariantResult& result) { return FileExists(result.Output); }));
        const bool variants = !job.Variants.empty();
        const auto done = std::remove_if(tasks.begin(), tasks.end(), [variants](const TRecolorTask& task) {
            return variants ? task.Variants.empty() : FileExists(task.Output);
        });
        const size_t pictures = static_cast<size_t>(tasks.end() - done);
        tasks.erase(done, tasks.end());
        if (job.Variants.empty() && pictures > 0 && severalPictures)
            std::cerr << pictures << (pictures == 1 ? " picture" : " pictures")
                      << " skipped: the result exists" << std::endl;
        if (!job.Variants.empty() && skipped > 0)
            std::cerr << skipped
                      << (skipped == 1 ? " result skipped: it exists" : " results skipped: they exist")
                      << std::endl;
    }
    MakeOutputFolder(job);

    const int jobs = static_cast<int>(std::min<size_t>(
        tasks.size(), static_cast<size_t>(options.Jobs >= 1 ? options.Jobs : tw::UsableCores())));
    Progress progress(tasks, severalPictures);
    std::vector<TFailure> failures;
    if (jobs <= 1)
        RunHere(tasks, options.KeepGoing, work, progress, failures);
    else
        RunInWorkers(tasks, jobs, options.KeepGoing, work, progress, failures);
    progress.End();
    if (!options.ContactSheet.empty()) WriteContactSheet(job, options.ContactSheet);
    if (failures.empty()) return kExitSuccess;
    std::cerr << "tintwell-cli: " << failures.size() << " of " << tasks.size()
              << (tasks.size() == 1 ? " picture" : " pictures") << " failed" << std::endl;
    return kExitBadInput;
}

} // namespace cli
