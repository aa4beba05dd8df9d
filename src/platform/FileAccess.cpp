#include "platform/FileAccess.h"

#include "platform/ErrorReport.h"
#include "platform/LargeMemory.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tw {
namespace {

[[noreturn]] void Fail(const std::string& reason) {
    throw FileAccessError(reason);
}

// The system's reason for errno, in the lower case our messages use.
std::string Reason(int error) {
    if (error == ENOENT) return "no such file";
    std::string why = error != 0 ? std::strerror(error) : "the disk may be full";
    std::transform(why.begin(), why.end(), why.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return why;
}

// The file system cannot take a name with a zero byte; nothing by that name exists.
const char* NativePath(const std::string& path) {
    if (path.find('\0') != std::string::npos) Fail("no such file");
    return path.c_str();
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

void CheckEntry(const struct stat& entry, qint64 maxBytes, const std::string& tooLarge) {
    if (S_ISDIR(entry.st_mode)) Fail("it is a folder, not a file");
    if (!S_ISREG(entry.st_mode)) Fail("it is not a regular file (a pipe, device or socket)");
    if (entry.st_size > maxBytes) Fail(tooLarge);
}

std::string CurrentFolder() {
    std::vector<char> buffer(PATH_MAX);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return ".";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

bool IsFolder(const std::string& path) {
    struct stat entry {};
    return ::stat(NativePath(path), &entry) == 0 && S_ISDIR(entry.st_mode);
}

// A fresh name beside target for the temporary file.
std::string TemporaryName(const std::string& target) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::string name = target + ".";
    for (int i = 0; i < 6; ++i)
        name += kLetters[random() % (sizeof kLetters - 1)];
    return name;
}

// Where a write to path lands: links are followed to the file they name, as
// far as 128 links deep (beyond that the link itself is replaced).
std::string WriteTarget(const std::string& path) {
    std::string target = path;
    for (int depth = 0; depth < 128; ++depth) {
        struct stat entry {};
        if (::lstat(NativePath(target), &entry) != 0 || !S_ISLNK(entry.st_mode)) return target;
        std::vector<char> link(static_cast<size_t>(std::max<off_t>(entry.st_size, PATH_MAX)) + 1);
        const ssize_t length = ::readlink(target.c_str(), link.data(), link.size() - 1);
        if (length < 0) return target;
        target = JoinPath(FolderOf(target), std::string(link.data(), static_cast<size_t>(length)));
    }
    return path;
}

// The temporary names of this process that exist now, for the stop signal
// handler to remove. A handler can reach nothing but globals, and may not
// allocate: fixed slots. A change of the list and the file system call it
// records are made together under the lock, with the stop signals blocked on
// the changing thread: a handler on another thread waits for the change to
// end, and none can run inside it on this one.
constexpr size_t kLiveSlots = 16;
struct LiveTemporaries {
    std::atomic_flag Lock = ATOMIC_FLAG_INIT;
    bool Used[kLiveSlots] = {};
    char Names[kLiveSlots][PATH_MAX] = {};
};
LiveTemporaries gLive;
void (*gAlsoOnStop)(int) = nullptr;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

class LiveListChange {
  public:
    LiveListChange() {
        sigset_t stops;
        sigemptyset(&stops);
        for (const int sig : kStopSignals)
            sigaddset(&stops, sig);
        ::pthread_sigmask(SIG_BLOCK, &stops, &saved_);
        while (gLive.Lock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~LiveListChange() {
        const int error = errno;
        gLive.Lock.clear(std::memory_order_release);
        ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
        errno = error;
    }
    LiveListChange(const LiveListChange&) = delete;
    LiveListChange& operator=(const LiveListChange&) = delete;

    // The slot now holding name; -1 when none is free or the name does not fit
    // (the file is then written as before, only not removed on a stop).
    static int Add(const std::string& name) {
        if (name.size() >= PATH_MAX) return -1;
        for (size_t i = 0; i < kLiveSlots; ++i)
            if (!gLive.Used[i]) {
                std::memcpy(gLive.Names[i], name.c_str(), name.size() + 1);
                gLive.Used[i] = true;
                return static_cast<int>(i);
            }
        return -1;
    }
    static void Remove(int& slot) {
        if (slot >= 0) gLive.Used[slot] = false;
        slot = -1;
    }

  private:
    sigset_t saved_;
};

void RemoveOnStop(int sig) {
    if (gAlsoOnStop) gAlsoOnStop(sig);
    // A change under way on another thread ends at once; should the lock never
    // come free, the stop still goes on after a second. It stays taken: no new
    // name is made after the list is emptied.
    for (int tries = 0; tries < 1000 && gLive.Lock.test_and_set(std::memory_order_acquire); ++tries) {
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
    }
    for (size_t i = 0; i < kLiveSlots; ++i)
        if (gLive.Used[i]) ::unlink(gLive.Names[i]);
    ::signal(sig, SIG_DFL);
    ::raise(sig); // delivered as the handler returns
}

} // namespace

void RemoveTemporaryFilesOnStop(void (*also)(int)) {
    gAlsoOnStop = also;
    struct sigaction action {};
    action.sa_handler = RemoveOnStop;
    sigemptyset(&action.sa_mask);
    for (const int sig : kStopSignals)
        sigaddset(&action.sa_mask, sig);
    for (const int sig : kStopSignals) {
        struct sigaction old {};
        // A signal ignored when the program started (nohup) stays ignored.
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(sig, &action, nullptr);
    }
}

void DisownTemporaryFiles() {
    for (bool& used : gLive.Used)
        used = false;
    gLive.Lock.clear();
}

std::string PathFromQString(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string JoinPath(const std::string& folder, const std::string& path) {
    if (folder.empty() || (!path.empty() && path[0] == '/')) return path;
    return folder.back() == '/' ? folder + path : folder + "/" + path;
}

std::string CleanPath(const std::string& path) {
    if (path.empty()) return path;
    const bool absolute = path[0] == '/';
    std::vector<std::string> parts;
    for (size_t at = 0; at <= path.size();) {
        const size_t slash = std::min(path.find('/', at), path.size());
        const std::string part = path.substr(at, slash - at);
        at = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
                continue;
            }
            if (absolute) continue; // nothing is above the root
        }
        parts.push_back(part);
    }
    std::string clean = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i)
        clean += (i == 0 ? "" : "/") + parts[i];
    return clean.empty() ? "." : clean;
}

std::string AbsolutePath(const std::string& path) {
    return CleanPath(JoinPath(CurrentFolder(), path));
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string CanonicalPath(const std::string& path) {
    const std::string absolute = JoinPath(CurrentFolder(), path);
    if (char* real = ::realpath(NativePath(absolute), nullptr)) {
        std::string resolved(real);
        std::free(real);
        return resolved;
    }
    const std::string clean = CleanPath(absolute);
    if ((errno != ENOENT && errno != ENOTDIR) || clean == "/") return clean;
    const auto slash = clean.find_last_of('/');
    return JoinPath(CanonicalPath(clean.substr(0, std::max<size_t>(slash, 1))), clean.substr(slash + 1));
}

void CheckRegularFile(const std::string& path, qint64 maxBytes, const std::string& tooLarge) {
    struct stat entry {};
    if (::stat(NativePath(path), &entry) != 0) Fail(Reason(errno));
    CheckEntry(entry, maxBytes, tooLarge);
}

QByteArray ReadRegularFile(const std::string& path, qint64 maxBytes, const std::string& tooLarge,
                           bool contents) {
    // The entry check keeps us from opening devices at all; the second check,
    // on what was opened, catches a swap in between.
    CheckRegularFile(path, maxBytes, tooLarge);
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) Fail(Reason(errno));
    struct stat entry {};
    if (::fstat(file.Get(), &entry) != 0) Fail(Reason(errno));
    CheckEntry(entry, maxBytes, tooLarge);
    QByteArray bytes;
    if (!contents) return bytes;
    // Files in /proc and the like claim no size but have content: read to the end.
    bytes.resize(static_cast<qsizetype>(std::min<qint64>(entry.st_size, maxBytes) + 1));
    AdviseLargePages(bytes.data(), static_cast<size_t>(bytes.size()));
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used > maxBytes) Fail(tooLarge);
            bytes.resize(
                static_cast<qsizetype>(std::min<qint64>(2 * static_cast<qint64>(used), maxBytes + 1)));
        }
        const ssize_t got = ::read(file.Get(), bytes.data() + used, static_cast<size_t>(bytes.size() - used));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) Fail(Reason(errno));
        if (got == 0) break;
        used += got;
    }
    bytes.truncate(used);
    return bytes;
}

void MakeFolders(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    if (IsFolder(absolute)) return;
    if (absolute != "/") MakeFolders(FolderOf(absolute));
    if (::mkdir(NativePath(absolute), 0777) != 0 && !(errno == EEXIST && IsFolder(absolute)))
        Fail(errno == EEXIST ? "it is not a folder" : Reason(errno));
}

AtomicFileWriter::AtomicFileWriter(const std::string& path) {
    const std::string folder = FolderOf(AbsolutePath(path));
    if (!IsFolder(folder)) Fail("the folder " + Printable(folder) + " does not exist");
    struct stat existing {};
    const bool exists = ::stat(NativePath(path), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) Fail("it is a folder");
    if (exists && ::access(path.c_str(), W_OK) != 0) Fail("the file is read-only");

    target_ = WriteTarget(path);
    // Until the old file's permissions are copied, nobody else may read the new one.
    const mode_t mode = exists ? 0600 : 0666;
    // An unnamed file leaves nothing behind when the process dies mid-write; it
    // needs /proc to be given its name at the end.
    const bool unnamed = ::access("/proc/self/fd", X_OK) == 0 && !std::getenv("TW_TEST_NAMED_TEMPORARIES");
    errno = 0;
    if (unnamed) fd_ = ::open(FolderOf(target_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd_ < 0 && errno != EACCES && errno != ENOSPC && errno != EROFS && errno != EDQUOT) {
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            temporary_ = TemporaryName(target_);
            const LiveListChange change;
            fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd_ >= 0) liveSlot_ = LiveListChange::Add(temporary_);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ < 0) temporary_.clear(); // nothing of that name is ours
    }
    if (fd_ < 0) Fail(Reason(errno));
    if (exists && ::fchmod(fd_, existing.st_mode & 07777) != 0) {
        const int error = errno;
        Drop();
        Fail(Reason(error));
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    Drop();
}

void AtomicFileWriter::Drop() noexcept {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    if (temporary_.empty()) return;
    const LiveListChange change;
    ::unlink(temporary_.c_str());
    LiveListChange::Remove(liveSlot_);
    temporary_.clear();
}

void AtomicFileWriter::Write(const char* data, size_t size) {
    if (fd_ < 0) throw std::logic_error("writing to a file already committed or dropped");
    try {
        for (size_t done = 0; done < size;) {
            errno = 0;
            const ssize_t written = ::write(fd_, data + done, size - done);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) Fail(Reason(errno));
            done += static_cast<size_t>(written);
        }
        // Large files start on their way to the disk as they are written, so
        // that the wait for them at the end is short.
        constexpr off_t kFlushEvery = off_t{4} << 20;
        written_ += static_cast<off_t>(size);
        if (written_ - flushed_ >= kFlushEvery) {
            ::sync_file_range(fd_, flushed_, written_ - flushed_, SYNC_FILE_RANGE_WRITE);
            flushed_ = written_;
        }
    } catch (...) {
        Drop();
        throw;
    }
}

void AtomicFileWriter::Commit() {
    if (fd_ < 0) throw std::logic_error("committing a file already committed or dropped");
    try {
        if (::fsync(fd_) != 0) Fail(Reason(errno));
        if (temporary_.empty()) {
            const std::string unnamed = "/proc/self/fd/" + std::to_string(fd_);
            for (int attempt = 0; attempt < 100 && temporary_.empty(); ++attempt) {
                temporary_ = TemporaryName(target_);
                {
                    const LiveListChange change;
                    if (::linkat(AT_FDCWD, unnamed.c_str(), AT_FDCWD, temporary_.c_str(),
                                 AT_SYMLINK_FOLLOW) == 0) {
                        liveSlot_ = LiveListChange::Add(temporary_);
                        break;
                    }
                }
                const int error = errno;
                temporary_.clear(); // someone else's, or none
                if (error != EEXIST) Fail(Reason(error));
            }
            if (temporary_.empty()) Fail(Reason(EEXIST));
        }
        // Closing reports what a deferred write error shows only here.
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0 && errno != EINTR) Fail(Reason(errno));
        {
            const LiveListChange change;
            if (::rename(temporary_.c_str(), target_.c_str()) != 0) Fail(Reason(errno));
            LiveListChange::Remove(liveSlot_);
            temporary_.clear();
        }
    } catch (...) {
        Drop();
        throw;
    }
}

void ReplaceFileContents(const std::string& path, const QByteArray& bytes) {
    AtomicFileWriter file(path);
    file.Write(bytes.constData(), static_cast<size_t>(bytes.size()));
    file.Commit();
}

} // namespace tw
