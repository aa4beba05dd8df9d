// Recipes over many pictures: workers, shares, resuming, carrying on past failures.
#include "cli/CliTestSupport.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <chrono>
#include <csignal>
#include <set>
#include <thread>

namespace {

using twtest::Q;
using twtest::RunCli;
using twtest::TempDir;

// Ten pictures of different sizes and one recipe over all of them.
std::string MakeCollection(const TempDir& dir, int count = 10) {
    std::string list;
    for (int i = 0; i < count; ++i) {
        twtest::Save(twtest::Scene(40 + 7 * i, 30 + 3 * i), dir.Path("p" + std::to_string(i) + ".png"));
        list += (i ? ", \"p" : "\"p") + std::to_string(i) + ".png\"";
    }
    twtest::WriteAll(dir.Path("job.json"),
                     QByteArray::fromStdString(R"({"pictures": [)" + list + R"(], "outputDir": "out",
        "parts": [{"seed": [12, 13], "settings": {"mode": "change", "hue": 200}}, {"seed": [1, 1]}]})"));
    return dir.Path("job.json");
}

std::set<std::string> Results(const TempDir& dir, int count = 10) {
    std::set<std::string> found;
    for (int i = 0; i < count; ++i)
        if (twtest::FileExists(dir.Path("out/p" + std::to_string(i) + ".png")))
            found.insert("p" + std::to_string(i));
    return found;
}

TEST(CliBatch, WorkersGiveTheSameResultsAndLinesAsOneAtATime) {
    TempDir dir;
    const std::string job = MakeCollection(dir);
    const auto one = RunCli({"recipe", Q(job), "--jobs", "1"});
    ASSERT_EQ(one.code, 0) << one.err.toStdString();
    std::vector<QByteArray> first;
    for (int i = 0; i < 10; ++i)
        first.push_back(twtest::ReadAll(dir.Path("out/p" + std::to_string(i) + ".png")));
    const auto three = RunCli({"recipe", Q(job), "--jobs=3"});
    ASSERT_EQ(three.code, 0) << three.err.toStdString();
    EXPECT_EQ(three.err, one.err) << "progress lines stay in the job's order";
    EXPECT_TRUE(one.err.startsWith("[1/10] p0.png -> out/p0.png\n[2/10] p1.png"));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(twtest::ReadAll(dir.Path("out/p" + std::to_string(i) + ".png")), first[size_t(i)]) << i;
}

TEST(CliBatch, ShardsTakeEveryPictureExactlyOnceAndResumeSkipsFinishedOnes) {
    TempDir dir;
    const std::string job = MakeCollection(dir);
    std::set<std::string> seen;
    size_t total = 0;
    for (const char* shard : {"0/3", "1/3", "2/3"}) {
        const auto before = Results(dir);
        const auto run = RunCli({"recipe", Q(job), "--shard", shard, "--jobs", "2"});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        const auto after = Results(dir);
        total += after.size() - before.size();
        EXPECT_EQ(run.err.count('\n'), qsizetype(after.size() - before.size())) << shard;
        seen.insert(after.begin(), after.end());
    }
    EXPECT_EQ(seen.size(), 10u);
    EXPECT_EQ(total, 10u);
    EXPECT_TRUE(RunCli({"recipe", Q(job), "--shard", "1/3"}).err.startsWith("[1/3] p1.png"));

    // A stopped job: the finished results stay as they are, only the rest is done.
    QDir(Q(dir.Path("out"))).removeRecursively();
    ASSERT_EQ(RunCli({"recipe", Q(job), "--shard", "0/2"}).code, 0);
    twtest::WriteAll(dir.Path("out/p0.png"), "finished earlier");
    const auto resumed = RunCli({"recipe", Q(job), "--skip-existing"});
    ASSERT_EQ(resumed.code, 0) << resumed.err.toStdString();
    EXPECT_TRUE(resumed.err.startsWith("5 pictures skipped: the result exists\n[1/5] p1.png"))
        << resumed.err.toStdString();
    EXPECT_EQ(twtest::ReadAll(dir.Path("out/p0.png")), "finished earlier");
    EXPECT_EQ(Results(dir).size(), 10u);

    for (const char* bad : {"3/3", "-1/3", "1/0", "1", "a/b", "1/3x"})
        EXPECT_TRUE(twtest::FailsWith(RunCli({"recipe", Q(job), "--shard", bad}), 2, "--shard expects K/N"))
            << bad;
    EXPECT_TRUE(
        twtest::FailsWith(RunCli({"recipe", Q(job), "--shard", "1/1000001"}), 2,
                          "--shard expects K/N with 0 <= K < N and N at most 1000000, not \"1/1000001\""));
    EXPECT_TRUE(twtest::FailsWith(RunCli({"recipe", Q(job), "--jobs", "0"}), 1, "--jobs 0 is out of range"));
}

TEST(CliBatch, KeepGoingReportsFailuresAndDoesTheRest) {
    TempDir dir;
    const std::string job = MakeCollection(dir, 5);
    const QByteArray good = twtest::ReadAll(dir.Path("p1.png"));
    twtest::WriteAll(dir.Path("p1.png"), good.left(good.size() / 2)); // truncated
    twtest::WriteAll(dir.Path("p3.png"), "");                         // empty
    for (const char* jobs : {"1", "2"}) {
        QDir(Q(dir.Path("out"))).removeRecursively();
        const auto run = RunCli({"recipe", Q(job), "--keep-going", "--jobs", jobs});
        EXPECT_EQ(run.code, 1) << jobs;
        EXPECT_EQ(Results(dir, 5), (std::set<std::string>{"p0", "p2", "p4"})) << jobs;
        const QStringList lines = QString::fromUtf8(run.err).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 8) << run.err.toStdString();
        // With workers a failure may be told after the next picture's line.
        EXPECT_EQ(lines.filter(QRegularExpression("^tintwell-cli: p[13].png: ")).size(), 2) << jobs;
        EXPECT_EQ(lines[7], "tintwell-cli: 2 of 5 pictures failed");
    }
    // Without it the job stops at the failure, with that one message.
    const auto stopped = RunCli({"recipe", Q(job), "--jobs", "2"});
    EXPECT_EQ(stopped.code, 1);
    EXPECT_EQ(QString::fromUtf8(stopped.err).count("tintwell-cli: "), 1) << stopped.err.toStdString();
}

TEST(CliBatch, FailureLinesNameThePictureWhole) {
    TempDir dir;
    twtest::WriteAll(dir.Path("old -> new.png"), "not a picture");
    twtest::Save(twtest::Scene(40, 30), dir.Path("fine.png"));
    twtest::WriteAll(dir.Path("job.json"), R"({"pictures": ["old -> new.png", "fine.png"], "outputDir": "out",
        "parts": [{"seed": [1, 1]}]})");
    for (const char* jobs : {"1", "2"}) {
        const auto run = RunCli({"recipe", Q(dir.Path("job.json")), "--keep-going", "--jobs", jobs});
        EXPECT_EQ(run.code, 1) << jobs;
        EXPECT_TRUE(run.err.contains("\ntintwell-cli: old -> new.png: cannot read old -> new.png: "))
            << run.err.toStdString();
    }
}

// A run stopped by a signal, or its parent killed outright: its workers stop
// too, and nothing is written after the stop, not even a temporary file.
TEST(CliBatch, WorkersStopWithTheRunAndWriteNothingAfterIt) {
    TempDir dir;
    // Pictures that take a worker most of a second each, so that the stop
    // comes while both are at work.
    twtest::Save(twtest::Scene(4000, 3000), dir.Path("p0.png"));
    const QByteArray picture = twtest::ReadAll(dir.Path("p0.png"));
    for (int i = 1; i < 6; ++i)
        twtest::WriteAll(dir.Path("p" + std::to_string(i) + ".png"), picture);
    twtest::WriteAll(dir.Path("job.json"), R"({"pictures": ["p0.png", "p1.png", "p2.png", "p3.png", "p4.png",
        "p5.png"], "outputDir": "out", "originalSize": true, "parts": [{"seed": [240, 270]}, {"seed": [10, 10]},
        {"seed": [400, 300]}, {"seed": [100, 500]}]})");
    const auto listing = [&] { return QDir(Q(dir.Path("out"))).entryList(QDir::Files | QDir::Hidden); };
    qputenv("TW_TEST_NAMED_TEMPORARIES", "1");
    for (const int sig : {SIGTERM, SIGKILL}) {
        QDir(Q(dir.Path("out"))).removeRecursively();
        bool stopped = false;
        QStringList finished;
        const auto run = twtest::RunCliBytes({"recipe", dir.Path("job.json"), "--jobs", "2"}, {}, 20,
                                             [&](pid_t pid, const QByteArray& err) {
                                                 if (stopped || !err.contains("[2/6]")) return;
                                                 stopped = kill(pid, sig) == 0;
                                                 finished = listing().filter(QRegularExpression("\\.png$"));
                                             });
        ASSERT_TRUE(stopped) << run.err.toStdString();
        EXPECT_EQ(run.code, -1);
        // The run ends once the workers, which share its standard error, are gone.
        EXPECT_FALSE(run.timedOut) << "the workers are still at work";
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(listing(), finished) << "signal " << sig;
    }
    qunsetenv("TW_TEST_NAMED_TEMPORARIES");
}

} // namespace
