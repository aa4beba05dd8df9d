#pragma once
// Files by path, for both programs.
//
// A path travels through the program as the bytes the file system uses
// (std::string), so a name that is not valid UTF-8 still reaches the right
// file; a QString form is made with QFile::decodeName/encodeName only where Qt
// needs one. Reading refuses anything but a regular file, never blocks on a
// pipe or device and never takes more than a given size. Writing goes to a
// temporary file in the target folder that replaces the target only when
// complete.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <stdexcept>
#include <string>

namespace tw {

// Why a file cannot be read or written: the reason alone, ready for
// "cannot read NAME: reason".
class FileAccessError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The file system's bytes for a path Qt gave as text (file dialogs, JSON).
std::string PathFromQString(const QString& path);

// Path arithmetic on the bytes, as QDir does it on text.
// The path itself when it is absolute, else the path inside folder.
std::string JoinPath(const std::string& folder, const std::string& path);
// Without empty, "." and resolvable ".." components.
std::string CleanPath(const std::string& path);
// Cleaned, from the current folder when relative.
std::string AbsolutePath(const std::string& path);
// The folder part ("." for a bare name).
std::string FolderOf(const std::string& path);
// The path with its links, "." and ".." resolved. The trailing components
// that do not exist yet (a result still to be made) are appended as written.
std::string CanonicalPath(const std::string& path);

// Refuses, by the folder entry alone, anything but a regular file of at most
// maxBytes: missing, a folder, a pipe or device, too large (tooLarge).
void CheckRegularFile(const std::string& path, qint64 maxBytes, const std::string& tooLarge);
// The whole content of a regular file of at most maxBytes. Checks the entry,
// opens without blocking and checks the open file again, so a pipe put in
// the file's place meanwhile is refused instead of hanging the read; a file
// that grows past maxBytes is refused after maxBytes + 1 bytes. With
// contents false the file is only opened: it could be read now.
QByteArray ReadRegularFile(const std::string& path, qint64 maxBytes, const std::string& tooLarge,
                           bool contents = true);

// Makes the folder and its missing parents.
void MakeFolders(const std::string& path);
// A file written in pieces that replaces path only when committed: until then,
// and when dropped (destroyed uncommitted, or after a failure), the old file
// stays as it was and nothing is left behind. Throws FileAccessError.
//
// The data go to an unnamed file in the target folder, given a temporary name
// beside the target just before it is renamed over it. Where a file cannot be
// unnamed (no /proc, or a file system without O_TMPFILE), and always when the
// environment variable TW_TEST_NAMED_TEMPORARIES is set (for tests), they go
// to a named temporary file instead. RemoveTemporaryFilesOnStop keeps either
// name from being left behind by a stop signal.
class AtomicFileWriter {
  public:
    explicit AtomicFileWriter(const std::string& path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void Write(const char* data, size_t size);
    // Waits for the data to reach the disk, then puts the file in place.
    void Commit();

  private:
    void Drop() noexcept;
    std::string target_, temporary_;
    int liveSlot_ = -1; // where the temporary name is listed for removal on a stop
    int fd_ = -1;
    long long written_ = 0, flushed_ = 0;
};

// Makes SIGINT, SIGTERM and SIGHUP remove this process's temporary files
// before they end it as they would have (the exit status still names the
// signal). also, if given, runs first; it must be safe in a signal handler.
void RemoveTemporaryFilesOnStop(void (*also)(int signal) = nullptr);
// For the child of a fork: the temporary files of the parent are not its own to remove.
void DisownTemporaryFiles();

// Replaces path's content with bytes atomically. A link is followed: the
// file it names is replaced. An existing file keeps its permissions.
void ReplaceFileContents(const std::string& path, const QByteArray& bytes);

} // namespace tw
