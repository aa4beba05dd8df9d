// The document gives what the batch tool gives for the same parts.
#include "cli/CliTestSupport.h"
#include "document/DocumentTestSupport.h"
#include "masking/PartGrower.h"
#include "platform/PictureFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

using namespace twtest;

TEST(DocumentBatchParity, RecolorAndToleranceMatchTheBatchTool) {
    TempDir dir;
    const tw::Bitmap scene = Scene(160, 120);
    const std::string picture = dir.Path("scene.png"), grown = dir.Path("grown.bmp"),
                      part = dir.Path("part.bmp"), out = dir.Path("out.bmp");
    Save(scene, picture);
    Save(RectPart(scene, QRect(90, 10, 50, 60), TTintwellSettings::Initial()), part);
    const QPoint seed(48, 54); // inside the red disc
    ASSERT_EQ(RunCli({"grow", Q(picture), "--seed", "48,54", "--change", "175", "-o", Q(grown)}).code, 0);
    ASSERT_EQ(RunCli({"recolor", Q(picture), "-o", Q(out), "--seed", "48,54", "--change", "175", "--part",
                      Q(part), "--shift", "30", "--value-tint", "20"})
                  .code,
              0);

    TTintwellDocument doc;
    doc.NewDocument(tw::LoadWorkingPicture(picture), Q(picture), false);
    doc.SetCurrentSettings({175, false, false, 0, 0, false});
    doc.AddGrownPart(tw::LoadPicture(grown), seed);
    doc.LoadPartFromFile(Q(part));
    doc.ChangeColor({30, false, true, 0, 20, false});
    EXPECT_TRUE(doc.ComposeResult() == tw::LoadPicture(out));

    const CliRun tolerance = RunCli({"tolerance", Q(picture), "--seed", "48,54", "--half-width", "10"});
    ASSERT_EQ(tolerance.code, 0);
    const THSVValues t = doc.SuggestTolerance(seed, 10);
    EXPECT_EQ(tolerance.out.trimmed().toStdString(), "hue " + std::to_string(t.H) + " saturation " +
                                                         std::to_string(t.S) + " value " +
                                                         std::to_string(t.V));
}

// --original-size: the parts made at the working size, the result at the
// picture's own size, byte for byte what the desktop program's document writes.
TEST(DocumentBatchParity, FullSizeResultMatchesTheBatchTool) {
    TempDir dir;
    const tw::Bitmap scene = Scene(1200, 900);
    const std::string picture = dir.Path("scene.jpg"), grown = dir.Path("grown.bmp"),
                      part = dir.Path("part.bmp"), out = dir.Path("out.png"), desk = dir.Path("desk.png");
    Save(scene, picture);
    tw::Bitmap working = tw::LoadWorkingPicture(picture);
    Save(RectPart(working, QRect(500, 30, 200, 250), TTintwellSettings::Initial()), part);
    const QPoint seed(240, 270); // inside the red disc, at the working size
    ASSERT_EQ(RunCli({"grow", Q(picture), "--seed", "240,270", "--change", "175", "-o", Q(grown)}).code, 0);
    // A JPEG result of a JPEG streams through a band at a time: the same bytes as a whole-picture save.
    for (const std::string& o : {out, dir.Path("out.jpg")}) {
        const CliRun run =
            RunCli({"recolor", Q(picture), "-o", Q(o), "--original-size", "--seed", "240,270", "--change",
                    "175", "--part", Q(part), "--shift", "30", "--value-tint", "20"});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
    }
    EXPECT_TRUE(FailsWith(
        RunCli({"recolor", Q(picture), "-o", Q(out), "--original-size", "--full-size", "--seed", "240,270"}),
        2, "--full-size and --original-size cannot be used together"));

    TTintwellDocument doc;
    doc.OpenPicture(Q(picture));
    ASSERT_EQ(doc.FullPicture().Rect().size(), QSize(1200, 900));
    ASSERT_TRUE(doc.Picture() == working);
    doc.ClearParts();
    doc.SetCurrentSettings({175, false, false, 0, 0, false});
    doc.AddGrownPart(tw::LoadPicture(grown), seed,
                     TPartGrower::GrowthAt(doc.Picture(), seed, TWalkerRules::Default()));
    doc.LoadPartFromFile(Q(part));
    doc.ChangeColor({30, false, true, 0, 20, false});
    const std::optional<tw::Bitmap> result = doc.ComposeFullSizeResult();
    ASSERT_TRUE(result);
    ASSERT_TRUE(tw::SavePicture(*result, desk));
    EXPECT_EQ(ReadAll(desk), ReadAll(out));
    ASSERT_TRUE(tw::SavePicture(*result, dir.Path("desk.jpg")));
    EXPECT_EQ(ReadAll(dir.Path("desk.jpg")), ReadAll(dir.Path("out.jpg")));
    EXPECT_FALSE(tw::LoadPicture(out) == scene) << "something was recoloured";
}
