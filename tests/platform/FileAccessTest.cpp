#include "platform/FileAccess.h"
#include "platform/PictureFile.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using twtest::TempDir;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The desktop program opens pictures through the same reader as the batch tool.
TEST(FileAccess, APipeNamedLikeAPictureIsRefusedAtOnce) {
    TempDir dir;
    const std::string pipe = dir.Path("line\nbreak.png");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Should the open wait for a writer, one comes after a while and lets the test go on.
    std::mutex lock;
    std::condition_variable done;
    bool finished = false, rescued = false;
    std::thread rescuer([&] {
        std::unique_lock guard(lock);
        if (done.wait_for(guard, std::chrono::seconds(20), [&] { return finished; })) return;
        rescued = true;
        guard.unlock();
        close(open(pipe.c_str(), O_WRONLY));
    });
    std::string message;
    try {
        tw::LoadWorkingPicture(pipe);
    } catch (const tw::PictureError& e) {
        message = e.what();
    }
    {
        const std::lock_guard guard(lock);
        finished = true;
    }
    done.notify_one();
    rescuer.join();
    EXPECT_FALSE(rescued) << "the open waited for a writer";
    // One line, whatever the name holds.
    EXPECT_EQ(message, "cannot read line\\nbreak.png: it is not a regular file (a pipe, device or socket)");
}

TEST(FileAccess, ResultPathsAreCanonicalBeforeTheyExist) {
    TempDir dir;
    const std::string root = tw::CanonicalPath(dir.Path(""));
    ASSERT_EQ(symlink(".", dir.Path("here").c_str()), 0);
    EXPECT_EQ(tw::CanonicalPath(dir.Path("here/new/../x.png")), root + "/x.png");
    EXPECT_EQ(tw::CanonicalPath(dir.Path("here/new/deeper/x.png")), root + "/new/deeper/x.png");
    EXPECT_EQ(tw::CleanPath("a/./b//../../../c/"), "../c");
    EXPECT_EQ(tw::CleanPath("/../a/."), "/a");
}

// Without /proc the data go to a named temporary file beside the result; a
// stop signal must not leave it behind, and must still end the process.
TEST(FileAccess, AStopSignalRemovesTheNamedTemporaryFileOfAWriteUnderWay) {
    TempDir dir;
    const std::string target = dir.Path("result.png");
    const auto stoppedMidWrite = [&](bool removing, int sig) {
        const pid_t child = fork();
        if (child == 0) {
            setenv("TW_TEST_NAMED_TEMPORARIES", "1", 1);
            if (removing) tw::RemoveTemporaryFilesOnStop();
            tw::AtomicFileWriter file(target);
            file.Write("half", 4);
            raise(sig);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        return QDir(Q(dir.Path(""))).entryList(QDir::Files | QDir::Hidden);
    };
    const QStringList left = stoppedMidWrite(false, SIGTERM);
    ASSERT_EQ(left.size(), 1) << "no named temporary file was made";
    EXPECT_TRUE(left[0].startsWith("result.png."));
    QFile::remove(Q(dir.Path(left[0].toStdString())));
    for (const int sig : {SIGINT, SIGTERM})
        EXPECT_EQ(stoppedMidWrite(true, sig), QStringList()) << sig;
}

} // namespace
