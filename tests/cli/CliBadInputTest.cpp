// Bad input ends with exit code 1 and one line naming the problem, and never
// leaves an output file behind or damages one that was there.
#include "cli/CliTestSupport.h"

#include "platform/PictureFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using tw::Bitmap;
using twtest::FailsWith;
using twtest::Q;
using twtest::RunCli;
using twtest::Save;
using twtest::Scene;
using twtest::TempDir;

QByteArray BmpHeaderClaiming(int32_t width, int32_t height) {
    QByteArray b(54, '\0');
    const auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    b[0] = 'B', b[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = 24;
    return b;
}

TEST(CliBadInput, UnreadablePicturesAreOneLineErrors) {
    TempDir dir;
    Save(Scene(200, 150), dir.Path("good.png"));
    Save(Scene(200, 150), dir.Path("good.jpg"));
    const QByteArray jpeg = twtest::ReadAll(dir.Path("good.jpg"));
    const QByteArray png = twtest::ReadAll(dir.Path("good.png"));
    twtest::WriteAll(dir.Path("empty.png"), {});
    twtest::WriteAll(dir.Path("truncated.jpg"), jpeg.left(jpeg.size() / 2));
    twtest::WriteAll(dir.Path("truncated.png"), png.left(png.size() / 2));
    twtest::WriteAll(dir.Path("renamed.bmp"), png);
    std::mt19937 random(3);
    QByteArray noise(700, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    twtest::WriteAll(dir.Path("noise.ico"), noise);
    twtest::WriteAll(dir.Path("huge.bmp"), BmpHeaderClaiming(100000, 100000));
    twtest::WriteAll(dir.Path("photo.gif"), png);

    const std::pair<const char*, const char*> cases[] = {
        {"missing.png", "cannot read missing.png: no such file"},
        {"empty.png", "cannot read empty.png: the file is empty"},
        {"truncated.jpg", "cannot read truncated.jpg: "},
        {"truncated.png", "cannot read truncated.png: "},
        {"renamed.bmp", "cannot read renamed.bmp: not a BMP file"},
        {"noise.ico", "cannot read noise.ico: "},
        {"huge.bmp", "cannot read huge.bmp: the picture is too large (100000 x 100000)"},
        {"photo.gif", "cannot read photo.gif: unsupported file type"},
    };
    const std::string out = dir.Path("out.png");
    for (const auto& [name, message] : cases) {
        const QString in = Q(dir.Path(name));
        EXPECT_TRUE(FailsWith(RunCli({"open", in, "-o", Q(out)}), 1, message)) << name;
        EXPECT_TRUE(FailsWith(RunCli({"recolor", in, "-o", Q(out), "--seed", "1,1"}), 1, message)) << name;
        EXPECT_TRUE(FailsWith(RunCli({"tolerance", in, "--seed", "1,1", "--half-width", "3"}), 1, message))
            << name;
        EXPECT_FALSE(twtest::FileExists(out)) << name;
    }
}

TEST(CliBadInput, NumbersAndPositionsOutOfRange) {
    TempDir dir;
    Save(Scene(800, 600), dir.Path("pic.png"));
    const QString in = Q(dir.Path("pic.png")), out = Q(dir.Path("out.png"));
    const std::pair<QStringList, const char*> cases[] = {
        {{"grow", in, "--seed", "900,10", "-o", out}, "seed 900,10 is outside the picture (800 x 600)"},
        {{"grow", in, "--seed", "800,0", "-o", out}, "seed 800,0 is outside the picture (800 x 600)"},
        {{"recolor", in, "-o", out, "--seed", "1,1", "--seed", "-1,5"}, "seed -1,5 is outside the picture"},
        {{"recolor", in, "-o", out, "--seed", "1,1", "--shift", "361"},
         "--shift 361 is out of range (0 to 360)"},
        {{"recolor", in, "-o", out, "--seed", "1,1", "--saturation-tint", "401"},
         "--saturation-tint 401 is out of range (-400 to 400)"},
        {{"grow", in, "--seed", "1,1", "--hue", "101", "-o", out}, "--hue 101 is out of range (0 to 100)"},
        {{"tolerance", in, "--seed", "1,1", "--half-width", "1001"}, "--half-width 1001 is out of range"},
        {{"tolerance", in, "--seed", "1,1", "--half-width", "-1"}, "--half-width -1 is out of range"},
        {{"grow", in, "--seed", "1,1", "--fill-holes", "1000001", "-o", out},
         "--fill-holes 1000001 is out of range (0 to 1000000)"},
    };
    for (const auto& [args, message] : cases) {
        EXPECT_TRUE(FailsWith(RunCli(args), 1, message)) << args.join(' ').toStdString();
        EXPECT_FALSE(twtest::FileExists(out.toStdString()));
    }
    // Malformed syntax is a usage error instead.
    EXPECT_TRUE(FailsWith(RunCli({"grow", in, "--seed", "1;1", "-o", out}), 2, "--seed expects X,Y"));
    EXPECT_TRUE(FailsWith(RunCli({"grow", in, "--seed", "1,1", "--value", "", "-o", out}), 2, "--value"));
    EXPECT_TRUE(FailsWith(RunCli({"grow", in, "--seed", "1,1", "--sharpen", "-o", out}), 2, "--sharpen"));
    EXPECT_TRUE(FailsWith(RunCli({"grow", in, "-o", out}), 2, "--seed"));
    // The whole picture can only be compared to the seed.
    EXPECT_TRUE(FailsWith(RunCli({"grow", in, "--seed", "1,1", "--anywhere", "--neighbour", "-o", out}), 2,
                          "--anywhere does not go with --neighbour"));
    EXPECT_TRUE(FailsWith(RunCli({"recolor", in, "-o", out, "--seed", "1,1", "--neighbour", "--anywhere"}), 2,
                          "--anywhere does not go with --neighbour"));
    EXPECT_TRUE(
        FailsWith(RunCli({"grow", in, "--seed", "1,1", "--fill-holes", "x", "-o", out}), 2, "--fill-holes"));
}

TEST(CliBadInput, FailedWritesLeaveNothingBehind) {
    TempDir dir;
    // Noise, so that the result is far larger than the size limit below.
    Bitmap noise(200, 150);
    std::mt19937 random(5);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            noise.SetPixel(x, y, random() & 0xFFFFFF);
    Save(noise, dir.Path("pic.png"));
    const QString in = Q(dir.Path("pic.png"));

    EXPECT_TRUE(
        FailsWith(RunCli({"open", in, "-o", Q(dir.Path("none/out.png"))}), 1, "cannot write out.png"));
    EXPECT_TRUE(FailsWith(RunCli({"recolor", in, "-o", Q(dir.Path("out.gif")), "--seed", "1,1"}), 1,
                          "cannot write out.gif: unsupported file type"));
    EXPECT_TRUE(FailsWith(RunCli({"demo", "-o", Q(dir.Path("demo"))}), 1,
                          "cannot write demo: unsupported file type"));
    EXPECT_FALSE(twtest::FileExists(dir.Path("out.gif")));

    // A write that fails part-way (the file size limit stands in for a full
    // disk) keeps the old file as it was.
    const QStringList recolor{"recolor", in, "--seed", "10,10", "-o"};
    ASSERT_EQ(RunCli(recolor + QStringList{Q(dir.Path("fresh.png"))}).code, 0);
    ASSERT_GT(twtest::ReadAll(dir.Path("fresh.png")).size(), 3 * 4096)
        << "the new file must exceed the limit";
    QFile::remove(Q(dir.Path("fresh.png")));
    const std::string old = dir.Path("old.png");
    Save(Bitmap(8, 8, 0x123456), old);
    const QByteArray before = twtest::ReadAll(old);
    // The signal keeps its default action here: the tool itself must keep it from ending the process.
    const auto run = twtest::RunCliWithChildSetup(recolor + QStringList{Q(old)}, [] {
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_DFL);
    });
    EXPECT_TRUE(FailsWith(run, 1, "cannot write old.png: file too large"));
    EXPECT_EQ(twtest::ReadAll(old), before);
    EXPECT_EQ(QDir(Q(dir.Path(""))).entryList(QDir::Files), QStringList({"old.png", "pic.png"}))
        << "no temporary file is left";
}

TEST(CliBadInput, PipesAndDevicesAreRefusedWithoutReading) {
    TempDir dir;
    Save(Scene(40, 30), dir.Path("in.png"));
    for (const char* pipe : {"pipe.png", "pipe.json", "pipe.bmp"})
        ASSERT_EQ(mkfifo(dir.Path(pipe).c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.Path("zero.bmp").c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.Path("zero.json").c_str()), 0);
    const std::string out = dir.Path("out.png");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"open", dir.Path("pipe.png"), "-o", out}, "pipe.png"},
        {{"recipe", dir.Path("pipe.json")}, "pipe.json"},
        {{"recolor", dir.Path("in.png"), "-o", out, "--part", dir.Path("pipe.bmp")}, "pipe.bmp"},
        {{"open", dir.Path("zero.bmp"), "-o", out}, "zero.bmp"},
        {{"recipe", dir.Path("zero.json")}, "zero.json"},
    };
    for (const auto& [args, name] : cases) {
        // A pipe without a writer would block the read for ever, and /dev/zero
        // would be read until memory runs out: the deadline and the cap end those.
        const auto run = twtest::RunCliBytes(
            args,
            [] {
                const rlimit limit{2048ULL << 20, 2048ULL << 20};
                if (!twtest::kSanitizedBuild) setrlimit(RLIMIT_AS, &limit);
            },
            30);
        EXPECT_FALSE(run.timedOut) << name;
        EXPECT_TRUE(FailsWith(run, 1, "cannot read " + name + ": it is not a regular file")) << name;
    }
    EXPECT_FALSE(twtest::FileExists(out));
}

TEST(CliBadInput, LineBreaksInNamesAreShownEscaped) {
    TempDir dir;
    EXPECT_TRUE(FailsWith(RunCli({"open", Q(dir.Path("two\nlines\x1b[2J.png")), "-o", Q(dir.Path("o.png"))}),
                          1, "cannot read two\\nlines\\x1B[2J.png: no such file"));
    // Progress lines too.
    Save(Scene(40, 30), dir.Path("a\nb.png"));
    twtest::WriteAll(dir.Path("job.json"),
                     R"({"pictures": ["a\nb.png"], "outputDir": "out", "parts": [{"seed": [1, 1]}]})");
    const auto run = RunCli({"recipe", Q(dir.Path("job.json"))});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, "[1/1] a\\nb.png -> out/a\\nb.png\n");
    EXPECT_TRUE(twtest::FileExists(dir.Path("out/a\nb.png")));
}

} // namespace
