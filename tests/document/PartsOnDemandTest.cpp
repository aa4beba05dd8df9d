// Parts made on demand: the batch tool's way of driving a document. Made only
// while a result is composed, they lie below the document's own parts and make
// what the same parts held by the document make, also streamed.
#include "cli/CliTestSupport.h"
#include "document/DocumentTestSupport.h"
#include "fullsize/FullSizeComposer.h"
#include "masking/PartGrower.h"
#include "platform/PictureFile.h"

#include <gtest/gtest.h>

using namespace twtest;

namespace {

const TTintwellSettings kTeal{175, false, false, 0, 0, false}, kShift{30, false, true, 0, 20, false};

} // namespace

TEST(PartsOnDemand, MadeWhileComposingBelowTheDocumentsOwnPartsWithoutHistory) {
    const tw::Bitmap full = Scene(1200, 900);
    const tw::Bitmap working = tw::ReduceToWorkingSize(full);
    const QPoint seed(240, 270); // inside the red disc
    const TGrownPart grown = TPartGrower(working, seed, TWalkerRules::Default(), kTeal).Grow();
    const tw::Bitmap over = RectPart(working, QRect(200, 200, 150, 150), kShift);

    // The document holding both parts, the grown one below.
    TTintwellDocument held;
    held.NewDocument(working, "scene", false, full);
    held.SetCurrentSettings(kShift);
    held.AddGrownPart(over, {200, 200});
    held.SetCurrentSettings(kTeal);
    held.AddGrownPart(grown.Mask, seed, grown.Growth);

    TTintwellDocument onDemand;
    onDemand.NewDocument(working, "scene", false, full);
    int made = 0;
    onDemand.AddPartOnDemand([&](const tw::Bitmap& picture) {
        ++made;
        EXPECT_TRUE(picture == working);
        return TTintwellDocument::TMadePart{over, kShift, std::nullopt};
    });
    onDemand.AddGrownPartOnDemand(seed, TWalkerRules::Default(), kTeal);
    EXPECT_EQ(made, 0) << "nothing is made before a result is composed";
    EXPECT_EQ(onDemand.PartCount(), 0);
    EXPECT_EQ(onDemand.PartsOnDemandCount(), 2);
    EXPECT_EQ(onDemand.UndoStack().count(), 0);
    EXPECT_FALSE(onDemand.IsModified());

    EXPECT_TRUE(onDemand.ComposeResult() == held.ComposeResult());
    EXPECT_EQ(made, 1);
    const std::optional<tw::Bitmap> fullSize = onDemand.ComposeFullSizeResult();
    ASSERT_TRUE(fullSize);
    EXPECT_TRUE(*fullSize == *held.ComposeFullSizeResult());
    EXPECT_EQ(made, 2);

    // The document's own part lies on top of those made on demand.
    onDemand.SetCurrentSettings(kShift);
    onDemand.AddBlankPart();
    onDemand.Part(0)->Bitmap = RectPart(working, QRect(220, 250, 60, 60), {100, false, false, 0, 0, false});
    tw::Bitmap expected = held.ComposeResult();
    expected.DrawTransparent(0, 0, onDemand.Part(0)->Bitmap);
    EXPECT_TRUE(onDemand.ComposeResult() == expected);

    onDemand.NewDocument(working, "scene", false);
    EXPECT_EQ(onDemand.PartsOnDemandCount(), 0) << "a new picture starts without them";
}

// Streamed, the document holds the picture's size and the working picture,
// made once while the rows are read, and writes what the whole picture gives.
TEST(PartsOnDemand, StreamedAsComposedWhole) {
    const tw::Bitmap full = Scene(1200, 900);
    const tw::Bitmap working = tw::ReduceToWorkingSize(full);
    TTintwellDocument whole;
    whole.NewDocument(working, "scene", false, full);
    whole.AddGrownPartOnDemand({240, 270}, TWalkerRules::Default(), kTeal);
    const std::optional<tw::Bitmap> expected = whole.ComposeFullSizeResult();
    ASSERT_TRUE(expected);

    TTintwellDocument streamed;
    int madeWorking = 0;
    streamed.NewStreamedDocument(
        full.Rect().size(),
        [&] {
            ++madeWorking;
            return working;
        },
        "scene");
    streamed.AddGrownPartOnDemand({240, 270}, TWalkerRules::Default(), kTeal);
    EXPECT_EQ(streamed.FullSize(), QSize(1200, 900));
    EXPECT_TRUE(streamed.FullPicture().IsEmpty());
    tw::Bitmap written(full.Width(), full.Height());
    int read = 0, wrote = 0;
    ASSERT_TRUE(streamed.StreamFullSizeResult(
        [&](uint32_t* rows, ptrdiff_t stride, int count) {
            for (int i = 0; i < count; ++i, ++read)
                std::copy_n(full.Row(read), full.Width(), rows + i * stride);
        },
        [&](const uint32_t* rows, ptrdiff_t stride, int count) {
            for (int i = 0; i < count; ++i, ++wrote)
                std::copy_n(rows + i * stride, full.Width(), written.Row(wrote));
        }));
    EXPECT_EQ(madeWorking, 1);
    EXPECT_TRUE(streamed.Picture() == working);
    EXPECT_TRUE(streamed.FullPicture().IsEmpty()) << "never the whole picture";
    EXPECT_TRUE(written == *expected);
}

// At full size a filled hole and a piece apart from the seed's are carried up
// like any part pixels: a border is only where the part ends, so no method
// carves the hole out again.
TEST(PartsOnDemand, FilledHolesAndPiecesApartAreWholeAtFullSize) {
    tw::Bitmap full(1200, 900, RGBToColor(30, 60, 200));
    full.FillRect(QRect(100, 100, 400, 300), RGBToColor(200, 40, 40));
    const QRect fold(250, 200, 60, 12); // dark: refused by the rules, then filled
    full.FillRect(fold, RGBToColor(40, 8, 8));
    full.FillRect(QRect(700, 500, 300, 200), RGBToColor(200, 40, 40)); // apart from the seed's
    const tw::Bitmap working = tw::ReduceToWorkingSize(full);
    TWalkerRules rules = TWalkerRules::Default();
    rules.Anywhere = true;
    rules.FillHoles = 1000;
    TTintwellDocument doc;
    doc.NewDocument(working, "scene", false, full);
    doc.AddGrownPartOnDemand({100, 100}, rules, kTeal);
    for (const TBorderMethod border : {TBorderMethod::Guided, TBorderMethod::Rules, TBorderMethod::Smooth}) {
        TFullSizeOptions options;
        options.Border = border;
        const std::optional<tw::Bitmap> result = doc.ComposeFullSizeResult(options);
        ASSERT_TRUE(result);
        int kept = 0;
        for (const QRect& inside : {fold, QRect(720, 520, 260, 160)})
            for (int y = inside.top(); y <= inside.bottom(); ++y)
                for (int x = inside.left(); x <= inside.right(); ++x)
                    kept += result->Pixel(x, y) == full.Pixel(x, y);
        EXPECT_EQ(kept, 0) << "border method " << static_cast<int>(border);
    }
}
