// open, grow, tolerance, recolor and demo on pictures made here.
#include "cli/CliTestSupport.h"

#include "masking/WalkTestSupport.h"
#include "platform/PictureFile.h"
#include "recolour/PartRecolourer.h"
#include "resources/StartPicture.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
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

TColorValue Transformed(const TTintwellSettings& settings, TColorValue c) {
    const Bitmap none;
    Bitmap target;
    return TPartRecolourer(settings, none, target).TransformColor(c);
}

TTintwellSettings Change(int hue) {
    return {hue, false, false, 0, 0, false};
}

TEST(CliOpen, WritesTheWorkingSizeInTheFormatOfTheExtension) {
    TempDir dir;
    const Bitmap big = Scene(1600, 900); // width decides: 800 x 450
    Save(big, dir.Path("big.png"));
    for (const char* name : {"out.bmp", "out.png", "out.jpg"}) {
        const auto run = RunCli({"open", Q(dir.Path("big.png")), "-o", Q(dir.Path(name))});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        const Bitmap out = tw::LoadPicture(dir.Path(name));
        EXPECT_EQ(out.Rect().size(), QSize(800, 450)) << name;
    }
    EXPECT_TRUE(twtest::ReadAll(dir.Path("out.bmp")).startsWith("BM"));
    EXPECT_TRUE(twtest::ReadAll(dir.Path("out.jpg")).startsWith("\xFF\xD8"));
    EXPECT_EQ(tw::LoadPicture(dir.Path("out.png")), tw::ReduceToWorkingSize(big));

    const Bitmap small = Scene(120, 90);
    Save(small, dir.Path("small.bmp"));
    ASSERT_EQ(RunCli({"open", Q(dir.Path("small.bmp")), "-o", Q(dir.Path("small.png"))}).code, 0);
    EXPECT_EQ(tw::LoadPicture(dir.Path("small.png")), small) << "small pictures keep every pixel";
}

TEST(CliOpen, AVeryThinPictureKeepsASideOfOnePixel) {
    TempDir dir;
    Save(Bitmap(1, 1201, 0x0000C0), dir.Path("tall.png"));
    Save(Bitmap(2000, 1, 0x0000C0), dir.Path("line.png"));
    ASSERT_EQ(RunCli({"open", Q(dir.Path("tall.png")), "-o", Q(dir.Path("tall-out.png"))}).code, 0);
    EXPECT_EQ(tw::LoadPicture(dir.Path("tall-out.png")).Rect().size(), QSize(1, 600));
    const auto run =
        RunCli({"recolor", Q(dir.Path("line.png")), "--seed", "0,0", "-o", Q(dir.Path("line-out.png"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(tw::LoadPicture(dir.Path("line-out.png")).Rect().size(), QSize(800, 1));
}

TEST(CliGrow, GivesTheSamePartAsTheMaskWorker) {
    TempDir dir;
    const Bitmap picture = Scene(300, 200);
    Save(picture, dir.Path("scene.png"));

    struct Case {
        QStringList flags;
        TWalkerRules rules;
        TTintwellSettings settings;
        QPoint seed;
    };
    TWalkerRules loose = TWalkerRules::Default();
    loose.HueDeviation = 8;
    loose.UseValue = false;
    TWalkerRules neighbour = TWalkerRules::Default();
    neighbour.CompareToNeighbour = true;
    neighbour.NineValueAverage = true;
    neighbour.SaturationDeviation = 10;
    neighbour.ValueDeviation = 3;
    TWalkerRules anywhere = TWalkerRules::Default();
    anywhere.Anywhere = true;
    anywhere.FillHoles = 500;
    const Case cases[] = {
        {{}, TWalkerRules::Default(), TTintwellSettings::Initial(), {90, 90}},
        {{"--hue", "8", "--value", "off", "--change", "120", "--saturation-tint", "-20"},
         loose,
         {120, false, false, -20, 0, false},
         {90, 90}},
        {{"--neighbour", "--average9", "--saturation=10", "--value", "3", "--keep", "--value-tint", "35",
          "--avoid-singularities"},
         neighbour,
         {75, true, false, 0, 35, true},
         {10, 10}},
        {{"--anywhere", "--fill-holes", "500"}, anywhere, TTintwellSettings::Initial(), {90, 90}},
    };
    for (const Case& c : cases) {
        QStringList args{"grow",   Q(dir.Path("scene.png")),
                         "--seed", QString("%1,%2").arg(c.seed.x()).arg(c.seed.y()),
                         "-o",     Q(dir.Path("part.bmp"))};
        const auto run = RunCli(args + c.flags);
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        Bitmap expected(picture.Width(), picture.Height());
        twtest::RunWalk(picture, expected, c.rules, c.seed, 1000, c.settings);
        const Bitmap part = tw::LoadPicture(dir.Path("part.bmp"));
        EXPECT_EQ(part, expected) << c.flags.join(' ').toStdString();
        int inPart = 0;
        for (int y = 0; y < part.Height(); ++y)
            for (int x = 0; x < part.Width(); ++x)
                inPart += part.Pixel(x, y) != tw::kWhite;
        EXPECT_GT(inPart, 1000) << "a region grew";
        EXPECT_LT(inPart, 300 * 200 / 2) << "but not over the whole picture";
    }
}

TEST(CliGrow, FullSizeTakesThePictureThePartAndAByteAPixel) {
    if (twtest::kSanitizedBuild) GTEST_SKIP() << "the sanitizers keep freed memory for a while";
    TempDir dir;
    const auto peakKb = [&](int side) {
        const std::string in = dir.Path("u" + std::to_string(side) + ".bmp");
        Save(Bitmap(side, side, RGBToColor(68, 85, 102)), in); // every pixel joins the part
        const auto run =
            twtest::RunCliBytes({"grow", in, "--seed", "5,5", "--full-size", "-o", dir.Path("o.bmp")});
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        return run.peakMemoryKb;
    };
    const long small = peakKb(20), large = peakKb(2000);
    // 4 bytes a pixel each for the picture and the part, one for the walk's
    // marks; 2 MB for everything that does not grow with the picture.
    EXPECT_LT(large - small, (9L * 2000 * 2000 + (2L << 20)) / 1024)
        << small << " kB, then " << large << " kB";
}

TEST(CliGrow, WorksAtTheWorkingSizeUnlessFullSizeIsAsked) {
    TempDir dir;
    const Bitmap picture = Scene(1000, 500);
    Save(picture, dir.Path("wide.png"));
    const QString path = Q(dir.Path("wide.png"));

    ASSERT_EQ(RunCli({"grow", path, "--seed", "250,200", "-o", Q(dir.Path("small.bmp"))}).code, 0);
    const Bitmap working = tw::ReduceToWorkingSize(picture);
    Bitmap expected(800, 400);
    twtest::RunWalk(working, expected, TWalkerRules::Default(), {250, 200}, 1000,
                    TTintwellSettings::Initial());
    EXPECT_EQ(tw::LoadPicture(dir.Path("small.bmp")), expected);

    // 900,450 lies outside the working picture but inside the file's own size.
    EXPECT_TRUE(FailsWith(RunCli({"grow", path, "--seed", "900,450", "-o", Q(dir.Path("x.bmp"))}), 1,
                          "seed 900,450 is outside the picture (800 x 400)"));
    ASSERT_EQ(RunCli({"grow", path, "--seed", "900,450", "--full-size", "-o", Q(dir.Path("full.bmp"))}).code,
              0);
    Bitmap full(1000, 500);
    twtest::RunWalk(picture, full, TWalkerRules::Default(), {900, 450}, 1000, TTintwellSettings::Initial());
    EXPECT_EQ(tw::LoadPicture(dir.Path("full.bmp")), full);
}

TEST(CliTolerance, SuggestsFromTheSquareAroundTheSeed) {
    TempDir dir;
    // Grey 100 with one pixel of another colour 5 to the right of and 5 below 20,20.
    Bitmap picture(60, 40, RGBToColor(100, 100, 100));
    picture.SetPixel(25, 25, RGBToColor(200, 100, 100)); // H 0, S 128, V 200
    Save(picture, dir.Path("grey.png"));
    const auto ask = [&](const char* seed, const char* halfWidth) {
        const auto run =
            RunCli({"tolerance", Q(dir.Path("grey.png")), "--seed", seed, "--half-width", halfWidth});
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        return run.out.toStdString();
    };
    EXPECT_EQ(ask("20,20", "4"), "hue 0 saturation 0 value 0\n");
    // S 128 - 0 = 128 -> 50 %, V 200 - 100 = 100 -> 39 %.
    EXPECT_EQ(ask("20,20", "5"), "hue 0 saturation 50 value 39\n");
    EXPECT_EQ(ask("20,20", "100"), "hue 0 saturation 50 value 39\n");
    // Positions outside the picture are skipped rather than read as white.
    EXPECT_EQ(ask("0,0", "3"), "hue 0 saturation 0 value 0\n");
    EXPECT_EQ(ask("59,39", "25"), "hue 0 saturation 0 value 0\n");

    EXPECT_TRUE(
        FailsWith(RunCli({"tolerance", Q(dir.Path("grey.png")), "--seed", "60,0", "--half-width", "3"}), 1,
                  "seed 60,0 is outside the picture (60 x 40)"));
    EXPECT_TRUE(
        FailsWith(RunCli({"tolerance", Q(dir.Path("grey.png")), "--seed", "1,1"}), 2, "--half-width"));
}

// Left half reddish, right half bluish; one seed on each.
Bitmap TwoHalves() {
    Bitmap b(200, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            b.SetPixel(x, y, x < 100 ? RGBToColor(200 - y / 2, 60, 50) : RGBToColor(40, 60, 210 - y / 2));
    return b;
}

TEST(CliRecolor, EarlierPartsLieOnTopOfLaterOnes) {
    TempDir dir;
    const Bitmap picture = TwoHalves();
    Save(picture, dir.Path("halves.png"));
    const QString in = Q(dir.Path("halves.png")), out = Q(dir.Path("out.png"));
    const QStringList everything{"--seed", "20,20",   "--hue", "100",      "--saturation",
                                 "100",    "--value", "100",   "--change", "120"};
    const QStringList right{"--seed", "150,50", "--change", "300"};

    // The first part takes the whole picture, the second the right half only.
    ASSERT_EQ(RunCli(QStringList{"recolor", in, "-o", out} + everything + right).code, 0);
    Bitmap result = tw::LoadPicture(dir.Path("out.png"));
    for (QPoint p : {QPoint(10, 10), QPoint(150, 50), QPoint(199, 99)})
        EXPECT_EQ(result.Pixel(p.x(), p.y()), Transformed(Change(120), picture.Pixel(p.x(), p.y())));

    ASSERT_EQ(RunCli(QStringList{"recolor", in, "-o", out} + right + everything).code, 0);
    result = tw::LoadPicture(dir.Path("out.png"));
    EXPECT_EQ(result.Pixel(10, 10), Transformed(Change(120), picture.Pixel(10, 10)));
    EXPECT_EQ(result.Pixel(150, 50), Transformed(Change(300), picture.Pixel(150, 50)));
    EXPECT_EQ(result.Pixel(199, 99), Transformed(Change(300), picture.Pixel(199, 99)));
}

TEST(CliRecolor, LoadedPartsAreRecolouredFromThePicture) {
    TempDir dir;
    const Bitmap picture = TwoHalves();
    Save(picture, dir.Path("halves.png"));
    // The part's own pixels do not matter, only where it is not white.
    Bitmap mask(200, 100);
    mask.FillRect(QRect(80, 10, 40, 30), RGBToColor(0, 0, 0));
    Save(mask, dir.Path("mask.bmp"));

    // The loaded part comes first, so it lies on the grown right half.
    const auto run = RunCli({"recolor", Q(dir.Path("halves.png")), "-o", Q(dir.Path("out.bmp")), "--part",
                             Q(dir.Path("mask.bmp")), "--change", "60", "--value-tint", "-30", "--seed",
                             "150,80", "--keep", "--saturation-tint", "-60"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const Bitmap result = tw::LoadPicture(dir.Path("out.bmp"));
    const TTintwellSettings loaded{60, false, false, 0, -30, false};
    const TTintwellSettings grown{75, true, false, -60, 0, false};
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            const TColorValue c = picture.Pixel(x, y);
            const TColorValue expected = QRect(80, 10, 40, 30).contains(x, y) ? Transformed(loaded, c)
                                         : x >= 100                           ? Transformed(grown, c)
                                                                              : c;
            ASSERT_EQ(result.Pixel(x, y), expected) << x << "," << y;
        }

    // --full-size keeps the file's size; parts must then have that size.
    const Bitmap wide = Scene(1000, 500);
    Save(wide, dir.Path("wide.png"));
    ASSERT_EQ(RunCli({"recolor", Q(dir.Path("wide.png")), "-o", Q(dir.Path("full.png")), "--full-size",
                      "--seed", "900,450"})
                  .code,
              0);
    EXPECT_EQ(tw::LoadPicture(dir.Path("full.png")).Rect().size(), QSize(1000, 500));
    EXPECT_TRUE(FailsWith(RunCli({"recolor", Q(dir.Path("wide.png")), "-o", Q(dir.Path("x.png")), "--part",
                                  Q(dir.Path("mask.bmp"))}),
                          1, "part mask.bmp is 200 x 100 but the picture is 800 x 400"));
    // Part files follow the desktop program's rule: lossless .bmp or .png, nothing else.
    Save(mask, dir.Path("mask.png"));
    ASSERT_EQ(RunCli({"recolor", Q(dir.Path("halves.png")), "-o", Q(dir.Path("from-png.bmp")), "--part",
                      Q(dir.Path("mask.png")), "--change", "60", "--value-tint", "-30", "--seed", "150,80",
                      "--keep", "--saturation-tint", "-60"})
                  .code,
              0);
    EXPECT_TRUE(tw::LoadPicture(dir.Path("from-png.bmp")) == result);
    Save(mask, dir.Path("mask.jpg"));
    EXPECT_TRUE(FailsWith(RunCli({"recolor", Q(dir.Path("halves.png")), "-o", Q(dir.Path("x.png")), "--part",
                                  Q(dir.Path("mask.jpg"))}),
                          1, "image parts are read from bitmap (.bmp) or PNG (.png) files only"));
    EXPECT_TRUE(FailsWith(RunCli({"recolor", Q(dir.Path("halves.png")), "-o", Q(dir.Path("x.png")), "--part",
                                  Q(dir.Path("mask.bmp")), "--hue", "5"}),
                          2, "--hue applies to parts grown from a --seed"));
    EXPECT_TRUE(FailsWith(RunCli({"recolor", Q(dir.Path("halves.png")), "-o", Q(dir.Path("x.png"))}), 2,
                          "at least one --seed"));
    EXPECT_FALSE(twtest::FileExists(dir.Path("x.png")));
}

TEST(CliRecolor, MemoryDoesNotGrowWithTheNumberOfParts) {
    if (twtest::kSanitizedBuild) GTEST_SKIP() << "the sanitizers keep freed memory for a while";
    TempDir dir;
    Save(Scene(800, 600), dir.Path("in.png"));
    Bitmap mask(800, 600);
    mask.FillRect(QRect(10, 10, 50, 50), RGBToColor(0, 0, 0));
    Save(mask, dir.Path("mask.bmp"));
    const auto peakKb = [&](int parts) {
        std::vector<std::string> args{"recolor", dir.Path("in.png"), "-o", dir.Path("out.bmp")};
        for (int i = 0; i < parts; ++i)
            args.insert(args.end(), {"--part", dir.Path("mask.bmp"), "--change", std::to_string(i)});
        const auto run = twtest::RunCliBytes(args);
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        return run.peakMemoryKb;
    };
    const long few = peakKb(20), many = peakKb(200);
    // A part bitmap of this size takes 1.9 MB: 180 more kept to the end would add 340 MB.
    EXPECT_LT(many - few, 180 * 1900 / 10) << few << " kB with 20 parts, " << many << " kB with 200";
}

TEST(CliOpen, NamesThatAreNotUtf8ReachTheirFiles) {
    TempDir dir;
    const std::string folder = dir.Path("") + "/";
    // Qt cannot name these files to remove them with the folder.
    const struct Cleanup {
        std::string folder;
        ~Cleanup() {
            for (const char* name :
                 {"caf\xe9.png", "out\xe9.bmp", "d\xe9/in.png", "d\xe9/job.json", "d\xe9/res.png"})
                unlink((folder + name).c_str());
            rmdir((folder + "d\xe9").c_str());
        }
    } cleanup{folder};
    Save(Scene(40, 30), folder + "in.png");
    const std::string latin1 = folder + "caf\xe9.png";
    ASSERT_EQ(rename((folder + "in.png").c_str(), latin1.c_str()), 0);
    const auto exists = [](const std::string& path) {
        struct stat entry {};
        return stat(path.c_str(), &entry) == 0;
    };
    auto run = twtest::RunCliBytes({"open", latin1, "-o", folder + "out\xe9.bmp"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(exists(folder + "out\xe9.bmp"));
    EXPECT_FALSE(exists(folder + "out\xef\xbf\xbd.bmp")) << "written under a name of its own";

    // Relative names in a recipe follow the recipe's folder, whatever its name.
    ASSERT_EQ(mkdir((folder + "d\xe9").c_str(), 0700), 0);
    ASSERT_EQ(rename(latin1.c_str(), (folder + "d\xe9/in.png").c_str()), 0);
    twtest::WriteAll(dir.Path("job.json"),
                     R"({"picture": "in.png", "output": "res.png", "parts": [{"seed": [1, 1]}]})");
    ASSERT_EQ(rename(dir.Path("job.json").c_str(), (folder + "d\xe9/job.json").c_str()), 0);
    run = twtest::RunCliBytes({"recipe", folder + "d\xe9/job.json"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(exists(folder + "d\xe9/res.png"));

    EXPECT_TRUE(FailsWith(twtest::RunCliBytes({"open", folder + "gon\xe9.png", "-o", folder + "x.png"}), 1,
                          "cannot read gon\\xE9.png: no such file"));
}

TEST(CliDemo, RecoloursTheStartPicture) {
    TempDir dir;
    const auto run = RunCli({"demo", "-o", Q(dir.Path("demo.png"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const Bitmap start = tw::StartPicture();
    const Bitmap demo = tw::LoadPicture(dir.Path("demo.png"));
    ASSERT_EQ(demo.Rect().size(), QSize(400, 400));
    ASSERT_EQ(start.Rect().size(), QSize(400, 400));
    int changed = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x)
            changed += demo.Pixel(x, y) != start.Pixel(x, y);
    // Two balloons, not the sky: a few percent of the picture, well short of half.
    EXPECT_GT(changed, 8000);
    EXPECT_LT(changed, 40000);
    EXPECT_EQ(demo.Pixel(5, 5), start.Pixel(5, 5));
}

} // namespace
