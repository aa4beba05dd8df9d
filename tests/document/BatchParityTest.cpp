// The document gives what the batch tool gives for the same parts.
#include "cli/CliTestSupport.h"
#include "document/DocumentTestSupport.h"
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
