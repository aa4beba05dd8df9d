// Recolour jobs described in JSON.
#include "cli/CliTestSupport.h"

#include "platform/PictureFile.h"
#include "recolour/PartRecolourer.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>

#include <unistd.h>

namespace {

using tw::Bitmap;
using twtest::FailsWith;
using twtest::Q;
using twtest::RunCli;
using twtest::Save;
using twtest::Scene;
using twtest::TempDir;

TEST(CliRecipe, SeveralPicturesGetTheSamePartsWithProgressLines) {
    TempDir dir;
    QDir(Q(dir.Path(""))).mkdir("sub");
    Save(Scene(300, 200), dir.Path("a.png"));
    Save(Scene(1200, 600), dir.Path("sub/b.photo.png")); // worked on at 800 x 400
    twtest::WriteAll(dir.Path("job.json"), R"({
        "pictures": ["a.png", "sub/b.photo.png"],
        "outputDir": "out/new",
        "outputFormat": "bmp",
        "parts": [
            {"seed": [60, 80], "rules": {"hue": 8, "value": "off"},
             "settings": {"mode": "change", "hue": 120, "saturationTint": -20}},
            {"seed": [5, 5], "settings": {"mode": "keep", "valueTint": 30, "avoidSingularities": true}}
        ]
    })");
    const auto run = RunCli({"recipe", Q(dir.Path("job.json"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, "[1/2] a.png -> out/new/a.bmp\n[2/2] sub/b.photo.png -> out/new/b.photo.bmp\n");

    // The same job on the command line gives the same files.
    const QStringList parts{"--seed",
                            "60,80",
                            "--hue",
                            "8",
                            "--value",
                            "off",
                            "--change",
                            "120",
                            "--saturation-tint",
                            "-20",
                            "--seed",
                            "5,5",
                            "--keep",
                            "--value-tint",
                            "30",
                            "--avoid-singularities"};
    for (const char* name : {"a", "sub/b.photo"}) {
        const std::string reference = dir.Path("reference.bmp");
        ASSERT_EQ(RunCli(QStringList{"recolor", Q(dir.Path(std::string(name) + ".png")), "-o", Q(reference)} +
                         parts)
                      .code,
                  0);
        const std::string base = QFileInfo(name).fileName().toStdString();
        EXPECT_EQ(twtest::ReadAll(dir.Path("out/new/" + base + ".bmp")), twtest::ReadAll(reference)) << name;
    }
    EXPECT_EQ(tw::LoadPicture(dir.Path("out/new/b.photo.bmp")).Rect().size(), QSize(800, 400));
}

TEST(CliRecipe, OnePictureWithALoadedPartAndPathsRelativeToTheRecipe) {
    TempDir dir;
    const Bitmap picture = Scene(120, 80);
    Save(picture, dir.Path("in.png"));
    Bitmap mask(120, 80);
    mask.FillRect(QRect(0, 0, 60, 80), RGBToColor(1, 2, 3));
    Save(mask, dir.Path("mask.bmp"));
    twtest::WriteAll(dir.Path("job.json"), R"({"picture": "in.png", "output": "res.png", "fullSize": true,
        "parts": [{"part": "mask.bmp", "settings": {"mode": "change", "hue": 200}}]})");
    // The test's working folder is not the recipe's, so relative names must follow the recipe.
    ASSERT_NE(QDir::currentPath(), Q(dir.Path("")).chopped(1));
    const auto run = RunCli({"recipe", Q(dir.Path("job.json"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << "one picture reports no progress";

    const Bitmap none;
    Bitmap target;
    const TPartRecolourer change({200, false, false, 0, 0, false}, none, target);
    const Bitmap result = tw::LoadPicture(dir.Path("res.png"));
    for (int y = 0; y < 80; y += 7)
        for (int x = 0; x < 120; x += 7)
            EXPECT_EQ(result.Pixel(x, y),
                      x < 60 ? change.TransformColor(picture.Pixel(x, y)) : picture.Pixel(x, y));
}

TEST(CliRecipe, MistakesAreBadInputNamingTheKey) {
    TempDir dir;
    Save(Scene(50, 40), dir.Path("in.png"));
    const std::string seedPart = R"("parts": [{"seed": [1, 1]}])";
    const std::pair<std::string, std::string> cases[] = {
        {"{\"picture\": \"in.png\",\n  \"parts\": [}", "malformed JSON at line 2"},
        {"", "malformed JSON at line 1"},
        {"[1, 2]", "expected a JSON object"},
        {R"({"picture": "in.png", "outptu": "o.png", )" + seedPart + "}", "unknown key \"outptu\""},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [1, 1], "rules": {"hu": 5}}]})",
         "parts[0].rules: unknown key \"hu\""},
        {R"({"picture": "in.png", "output": "o.png", "fullSize": "yes", )" + seedPart + "}",
         "fullSize: expected true or false"},
        {R"({"picture": "in.png", "output": "o.png", "originalSize": 1, )" + seedPart + "}",
         "originalSize: expected true or false"},
        {R"({"picture": "in.png", "output": "o.png", "originalSize": true, "fullSize": true, )" + seedPart +
             "}",
         "\"fullSize\" and \"originalSize\" cannot both be true"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [1, 1]}, {"seed": [1, 1],
            "settings": {"hue": 361}}]})",
         "parts[1].settings.hue: 361 is out of range (0 to 360)"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [1, 1], "settings": {"valueTint": 401}}]})",
         "parts[0].settings.valueTint: 401 is out of range"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [1.5, 1]}]})",
         "parts[0].seed[0]: expected a whole number"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": "1,1"}]})",
         "parts[0].seed: expected [x, y]"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [1, 1], "rules": {"value": "of"}}]})",
         "parts[0].rules.value: expected a percentage"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [1, 1],
            "rules": {"anywhere": true, "neighbour": true}}]})",
         "parts[0].rules.anywhere: does not go with \"neighbour\": true"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [1, 1], "rules": {"fillHoles": 1000001}}]})",
         "parts[0].rules.fillHoles: 1000001 is out of range"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"grows": [{"seed": [1, 1], "remove": true}]}]})",
         "parts[0].grows[0].remove: the first grow makes the part"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [1, 1], "grows": [{"seed": [1, 1]}]}]})",
         "parts[0]: give \"grows\" in place of \"seed\" or \"part\""},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"grows": [{"seed": [1, 1]}, {"sed": [2, 2]}]}]})",
         "parts[0].grows[1]: unknown key \"sed\""},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [1, 1], "settings": {"mode": "turn"}}]})",
         "parts[0].settings.mode"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [1, 1], "part": "m.bmp"}]})",
         "parts[0]: give either \"seed\" or \"part\""},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"part": "m.bmp", "rules": {}}]})",
         "parts[0].rules: rules apply to parts grown from a seed only"},
        {R"({"picture": "in.png", "output": "o.png"})", "\"parts\" is missing"},
        {R"({"picture": "in.png", "output": "o.png", "parts": []})", "parts: expected a list"},
        {R"({"picture": "in.png", )" + seedPart + "}", "\"output\" is missing"},
        {R"({"pictures": ["in.png"], "output": "o.png", )" + seedPart + "}",
         "\"output\" goes with \"picture\""},
        {R"({"pictures": ["in.png"], "outputDir": "out", "outputFormat": ".gif", )" + seedPart + "}",
         "outputFormat: unsupported file type \".gif\""},
        {R"({"pictures": ["in.png"], "outputDir": "out", "outputFormat": "/../../in.png", )" + seedPart + "}",
         "outputFormat: expected a file extension such as \".png\", not \"/../../in.png\""},
        // Refused before anything is made: no "out" is left behind.
        {R"({"pictures": ["in.png", "gone.png"], "outputDir": "out", )" + seedPart + "}",
         "cannot read gone.png: no such file"},
        {R"({"pictures": ["in.png", "in.png"], "outputDir": "out", )" + seedPart + "}",
         "pictures[1]: a second picture would be written to out/in.png"},
        {R"({"picture": "in.png", "output": "o.png", "parts": [{"seed": [50, 1]}]})",
         "seed 50,1 is outside the picture (50 x 40)"},
    };
    for (const auto& [json, message] : cases) {
        twtest::WriteAll(dir.Path("job.json"), QByteArray::fromStdString(json));
        EXPECT_TRUE(FailsWith(RunCli({"recipe", Q(dir.Path("job.json"))}), 1, message)) << json;
    }
    EXPECT_FALSE(twtest::FileExists(dir.Path("o.png")));
    EXPECT_FALSE(twtest::FileExists(dir.Path("out"))) << "nothing is made for a refused recipe";
    EXPECT_TRUE(
        FailsWith(RunCli({"recipe", Q(dir.Path("none.json"))}), 1, "cannot read none.json: no such file"));
    EXPECT_TRUE(FailsWith(RunCli({"recipe"}), 2, "recipe needs"));
}

TEST(CliRecipe, ResultsMayNotReplaceInputsOfTheJob) {
    TempDir dir;
    for (const char* name : {"x.png", "x.bmp", "mask.png"})
        Save(Scene(60, 40), dir.Path(name));
    Bitmap mask(60, 40);
    mask.FillRect(QRect(0, 0, 30, 40), RGBToColor(1, 2, 3));
    Save(mask, dir.Path("mask.bmp"));
    ASSERT_EQ(symlink(".", dir.Path("here").c_str()), 0);
    ASSERT_EQ(symlink("x.bmp", dir.Path("link.bmp").c_str()), 0);
    const std::string seedPart = R"("parts": [{"seed": [1, 1]}])";
    const std::pair<std::string, std::string> cases[] = {
        // x.png's result is the picture read next, under another name.
        {R"({"pictures": ["x.png", "link.bmp"], "outputDir": ".", "outputFormat": "bmp", )" + seedPart + "}",
         "cannot write x.bmp: it is also an input of this job"},
        // The part file, reached through a link to the folder.
        {R"({"pictures": ["mask.png"], "outputDir": "here", "outputFormat": ".bmp",
             "parts": [{"part": "mask.bmp"}]})",
         "cannot write mask.bmp: it is also an input of this job"},
        // The recipe itself.
        {R"({"picture": "x.png", "output": "sub/../job.bmp", )" + seedPart + "}",
         "cannot write job.bmp: it is also an input of this job"},
    };
    QByteArray before[4];
    const char* inputs[] = {"x.png", "x.bmp", "mask.png", "mask.bmp"};
    for (int i = 0; i < 4; ++i)
        before[i] = twtest::ReadAll(dir.Path(inputs[i]));
    for (const auto& [json, message] : cases) {
        twtest::WriteAll(dir.Path("job.bmp"), QByteArray::fromStdString(json));
        const QByteArray recipe = twtest::ReadAll(dir.Path("job.bmp"));
        EXPECT_TRUE(FailsWith(RunCli({"recipe", Q(dir.Path("job.bmp"))}), 1, message)) << json;
        EXPECT_EQ(twtest::ReadAll(dir.Path("job.bmp")), recipe);
    }
    EXPECT_TRUE(
        FailsWith(RunCli({"recolor", Q(dir.Path("x.png")), "-o", Q(dir.Path("here/x.png")), "--seed", "1,1"}),
                  1, "cannot write x.png: it is also an input of this job"));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(twtest::ReadAll(dir.Path(inputs[i])), before[i]) << inputs[i];
}

} // namespace
