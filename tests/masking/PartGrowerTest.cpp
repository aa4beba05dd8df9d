// Whether a part's seed, carried to another picture, lands on a colour its
// rules would take from the colour recorded when it was grown.
#include "masking/PartGrower.h"

#include "masking/WalkTestSupport.h"

#include <gtest/gtest.h>

namespace {

const TColorValue kRed = RGBToColor(165, 1, 2), kGreen = RGBToColor(40, 120, 30);

TEST(PartGrowth, ASeedMustLandOnAColourItsRulesTakeFromTheRecordedOne) {
    // Red on the left, green on the right; one dark red pixel in the red.
    tw::Bitmap picture(20, 10, kRed);
    picture.FillRect(QRect(10, 0, 10, 10), kGreen);
    picture.SetPixel(4, 4, RGBToColor(60, 0, 1));
    TWalkerRules rules = TWalkerRules::Default();
    const TPartGrowth growth{QPoint(3, 3), kRed, rules};

    EXPECT_EQ(SeedColorMismatch(picture, QPoint(2, 2), growth), "");
    EXPECT_EQ(SeedColorMismatch(picture, QPoint(15, 5), growth),
              "the seed lands on (40,120,30), not on a colour like (165,1,2)");
    // Value 60 against 165 is beyond 40 %, unless value is off.
    EXPECT_NE(SeedColorMismatch(picture, QPoint(4, 4), growth), "");
    rules.UseValue = false;
    EXPECT_EQ(SeedColorMismatch(picture, QPoint(4, 4), {QPoint(3, 3), kRed, rules}), "");
    // Averaged over 3 x 3 the dark pixel is red enough; at the edge with green it is not.
    rules = TWalkerRules::Default();
    rules.NineValueAverage = true;
    EXPECT_EQ(SeedColorMismatch(picture, QPoint(4, 4), {QPoint(3, 3), kRed, rules}), "");
    EXPECT_EQ(SeedColorMismatch(picture, QPoint(10, 5), {QPoint(3, 3), kRed, rules}),
              "the seed lands on (81,80,20), not on a colour like (165,1,2)");
    // A neighbour walk is judged against the recorded colour with the same tolerances.
    rules = TWalkerRules::Default();
    rules.CompareToNeighbour = true;
    EXPECT_NE(SeedColorMismatch(picture, QPoint(15, 5), {QPoint(3, 3), kRed, rules}), "");
}

// Grown here (the document's and the batch tool's way) or on the walker's
// thread (the dialog's), the same part; the record holds the seed clamped
// into the picture and the colour the walk compared with.
TEST(PartGrower, GrowsHereAsOnItsThreadAndRecordsWhatTheWalkComparedWith) {
    tw::Bitmap picture(60, 40, kRed);
    picture.FillRect(QRect(0, 30, 60, 10), kGreen);
    picture.SetPixel(59, 0, RGBToColor(60, 0, 1));
    TWalkerRules rules = TWalkerRules::Default();
    rules.NineValueAverage = true;
    const TPartGrower grower(picture, QPoint(75, -3), rules, TTintwellSettings::Initial());
    const TPartGrowth& growth = grower.Growth();
    EXPECT_EQ(growth.Seed, QPoint(59, 0));
    EXPECT_EQ(growth.SeedColor, RGBToColor((60 + 3 * 165) / 4, 3 * 1 / 4, (1 + 3 * 2) / 4))
        << "the corner's four pixels averaged";
    EXPECT_EQ(growth.Rules, rules);

    const TGrownPart grown = grower.Grow();
    EXPECT_EQ(grown.Growth, growth);
    tw::Bitmap threaded(60, 40);
    twtest::RunWalk(picture, threaded, rules, QPoint(75, -3), 1000, TTintwellSettings::Initial());
    EXPECT_TRUE(grown.Mask == threaded);
    EXPECT_NE(grown.Mask.Pixel(0, 0), tw::kWhite);
    EXPECT_EQ(grown.Mask.Pixel(0, 39), tw::kWhite) << "the green stays out";
}

} // namespace
