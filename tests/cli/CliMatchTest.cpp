// Match colour through the batch tool: textured patches grown from their
// centre reach the goal and keep their texture; the flags' rules.

#include "cli/CliTestSupport.h"
#include "colour/Lab.h"
#include "platform/PictureFile.h"
#include "support/ColourMetrics.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

using namespace twtest;

// Pixels with a channel at 0 or 255, within the mask.
int ClippedIn(const tw::Bitmap& picture, const tw::Bitmap& mask) {
    int n = 0;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            if (mask.Pixel(x, y) == tw::kWhite) continue;
            const TRGBValues c = ColorToRGBValues(picture.Pixel(x, y));
            n += c.R == 0 || c.R == 255 || c.G == 0 || c.G == 255 || c.B == 0 || c.B == 255;
        }
    return n;
}

int PixelsIn(const tw::Bitmap& mask) {
    int n = 0;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x)
            n += mask.Pixel(x, y) != tw::kWhite;
    return n;
}

} // namespace

TEST(CliMatch, PatchesGrownFromTheirCentreReachTheGoalAndKeepTheirTexture) {
    TempDir dir;
    const struct {
        const char* name;
        TColorValue patch;
        const char* goal;
        TColorValue goalValue;
        double spread;
    } cases[] = {
        {"navy to cement", RGBToColor(31, 42, 68), "200,198,190", RGBToColor(200, 198, 190), 4},
        {"black to red", RGBToColor(20, 20, 22), "#c81e28", RGBToColor(200, 30, 40), 2.5},
        {"white to navy", RGBToColor(235, 235, 232), "31,42,90", RGBToColor(31, 42, 90), 3},
        {"grey to green", RGBToColor(128, 128, 128), "40,150,60", RGBToColor(40, 150, 60), 6},
        {"red to blue", RGBToColor(190, 30, 35), "30,60,190", RGBToColor(30, 60, 190), 5},
        {"yellow to purple", RGBToColor(230, 200, 40), "#6e288c", RGBToColor(110, 40, 140), 8},
    };
    const std::string picture = dir.Path("patch.png"), result = dir.Path("out.png"),
                      mask = dir.Path("part.bmp");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tw::Bitmap patch = WovenPatch(c.patch, 200, 150, c.spread);
        Save(patch, picture);
        ASSERT_EQ(RunCli({"grow", Q(picture), "--seed", "100,75", "-o", Q(mask)}).code, 0);
        const CliRun run =
            RunCli({"recolor", Q(picture), "-o", Q(result), "--seed", "100,75", "--match", c.goal});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        const tw::Bitmap part = tw::LoadPicture(mask), recoloured = tw::LoadPicture(result);
        ASSERT_GT(PixelsIn(part), 200 * 150 / 2) << "the walk takes most of the patch";
        EXPECT_LE(DeltaE2000(MedianLab(recoloured, &part), ColorToLab(c.goalValue)), 2.0);
        const double ratio = LightnessSpread(recoloured, &part) / LightnessSpread(patch, &part);
        EXPECT_GE(ratio, 0.8);
        EXPECT_LE(ratio, 1.25);
        EXPECT_LE(ClippedIn(recoloured, part) - ClippedIn(patch, part), PixelsIn(part) / 100);
    }
}

TEST(CliMatch, FlagsTakeTheLastHueModeAndRefuseTints) {
    const QByteArray grey = "128 128 128\n";
    // transform needs the colour to start from; a stated goal is #RRGGBB.
    const CliRun matched = RunCli({"transform", "--match", "#28963c", "--match-from", "128,128,128"}, grey);
    ASSERT_EQ(matched.code, 0) << matched.err.toStdString();
    EXPECT_EQ(matched.out, "40 150 60\n");
    EXPECT_EQ(RunCli({"transform", "--match", "40,150,60", "--match-from", "#808080"}, grey).out,
              "40 150 60\n");
    // The last hue mode counts, and takes --match-from with it when it overrides --match.
    EXPECT_EQ(
        RunCli({"transform", "--match", "40,150,60", "--match-from", "1,1,1", "--change", "120"}, grey).out,
        RunCli({"transform", "--change", "120"}, grey).out);
    EXPECT_TRUE(FailsWith(RunCli({"transform", "--match", "40,150,60"}, grey), 2, "needs --match-from"));
    EXPECT_TRUE(
        FailsWith(RunCli({"transform", "--match-from", "1,2,3"}, grey), 2, "--match-from goes with --match"));
    EXPECT_TRUE(FailsWith(
        RunCli({"transform", "--value-tint", "10", "--match", "1,2,3", "--match-from", "1,1,1"}, grey), 2,
        "--value-tint does not go with --match"));
    EXPECT_TRUE(FailsWith(RunCli({"transform", "--match", "#1f2a4"}, grey), 2, "expects R,G,B or #RRGGBB"));
    EXPECT_TRUE(FailsWith(RunCli({"transform", "--match", "1,2,300", "--match-from", "1,1,1"}, grey), 1,
                          "out of range"));
}

// Colour variants: one result per picture per variant, each the bytes of the
// same settings run alone, the same for any number of jobs and never made twice.
TEST(CliVariants, EveryPictureInEveryVariantOnceAndAsItWouldBeAlone) {
    TempDir dir;
    for (int i = 0; i < 3; ++i)
        Save(Scene(180 + 20 * i, 120), dir.Path("p" + std::to_string(i) + ".png"));
    const QByteArray parts =
        R"("parts": [{"seed": [40, 60], "settings": {"mode": "match", "goal": "#1f2a44"}},
                                          {"seed": [5, 5], "settings": {"mode": "shift", "hue": 100}}])";
    WriteAll(dir.Path("job.json"), R"({"pictures": ["p0.png", "p1.png", "p2.png"], "outputDir": "out", )" +
                                       parts +
                                       R"(, "variants": [{"name": "navy", "goal": "#1f2a44"},
                                          {"name": "red", "goal": [200, 30, 40]}, {"name": "cement", "goal": "#c8c6be"},
                                          {"name": "mix.2", "parts": [{"mode": "keep"}, {"mode": "match", "goal": "#ffcc00"}]}]})");
    const char* variants[] = {"navy", "red", "cement", "mix.2"};
    const CliRun one = RunCli(
        {"recipe", Q(dir.Path("job.json")), "--jobs", "1", "--contact-sheet", Q(dir.Path("sheet.png"))});
    ASSERT_EQ(one.code, 0) << one.err.toStdString();
    std::vector<QByteArray> first;
    for (int i = 0; i < 3; ++i)
        for (const char* v : variants)
            first.push_back(ReadAll(dir.Path("out/p" + std::to_string(i) + "-" + v + ".png")));
    EXPECT_EQ(QDir(Q(dir.Path("out"))).entryList(QDir::Files).size(), 12);
    const tw::Bitmap sheet = tw::LoadPicture(dir.Path("sheet.png"));
    EXPECT_LE(sheet.Width(), 800);
    EXPECT_GT(sheet.Height(), 2 * sheet.Width() / 4) << "three rows of four";

    QDir(Q(dir.Path("out"))).removeRecursively();
    ASSERT_EQ(RunCli({"recipe", Q(dir.Path("job.json")), "--jobs", "2"}).code, 0);
    size_t k = 0;
    for (int i = 0; i < 3; ++i)
        for (const char* v : variants)
            EXPECT_EQ(ReadAll(dir.Path("out/p" + std::to_string(i) + "-" + v + ".png")), first[k++])
                << i << v;
    // A rerun that may skip what exists writes nothing.
    const CliRun again = RunCli({"recipe", Q(dir.Path("job.json")), "--skip-existing"});
    EXPECT_EQ(again.code, 0);
    EXPECT_TRUE(again.err.startsWith("12 results skipped")) << again.err.toStdString();
    EXPECT_FALSE(again.err.contains("p0.png ->"));
    // The red variant is the recipe run with that goal for both parts, alone.
    const CliRun alone = RunCli({"recolor", Q(dir.Path("p1.png")), "-o", Q(dir.Path("alone.png")), "--seed",
                                 "40,60", "--match", "200,30,40", "--seed", "5,5", "--match", "200,30,40"});
    ASSERT_EQ(alone.code, 0) << alone.err.toStdString();
    EXPECT_EQ(ReadAll(dir.Path("alone.png")), first[5]);
}

TEST(CliVariants, MalformedVariantsAreRefusedBeforeAnyWork) {
    TempDir dir;
    Save(Scene(120, 90), dir.Path("p.png"));
    const auto refused = [&](const QByteArray& variants, const std::string& message) {
        WriteAll(dir.Path("job.json"), R"({"picture": "p.png", "output": "out.png",
            "parts": [{"seed": [40, 60]}, {"seed": [5, 5]}], "variants": )" +
                                           variants + "}");
        EXPECT_TRUE(FailsWith(RunCli({"recipe", Q(dir.Path("job.json"))}), 1, message)) << message;
    };
    refused(R"([{"name": "a b", "goal": "#000000"}])", "variants[0].name: \"a b\" is no variant name");
    refused(R"([{"name": "", "goal": "#000000"}])", "variants[0].name: expected a non-empty string");
    refused(R"([{"name": "a", "goal": "#000000"}, {"name": "a", "goal": "#ffffff"}])",
            "variants[1].name: a second variant named \"a\"");
    refused(R"([{"name": "a", "goal": "#00000"}])", "variants[0].goal: expected \"#rrggbb\" or [r, g, b]");
    refused(R"([{"name": "a", "parts": [{}]}])", "variants[0].parts: expected a list of 2 parts' settings");
    refused(R"([{"name": "a", "goal": "#000000", "parts": [{}, {}]}])", "give either \"goal\" or \"parts\"");
    refused(R"([{"name": "a", "parts": [{}, {"mode": "match", "goal": "#000000", "valueTint": 5}]}])",
            "variants[0].parts[1].valueTint: does not go with \"mode\": \"match\"");
    refused(R"([])", "variants: expected a list of at least one variant");
    EXPECT_FALSE(FileExists(dir.Path("out-a.png")));
    EXPECT_TRUE(FailsWith(RunCli({"recipe", Q(dir.Path("job.json")), "--contact-sheet", "sheet.jpg"}), 2,
                          "--contact-sheet expects a .png file name"));
}
