#include "masking/ToleranceSuggestion.h"
#include "platform/ZoomedPainter.h"
#include "recolour/ImagePart.h"
#include "recolour/PartRecolourer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using tw::Bitmap;

TTintwellSettings Change(int hue, int sat = 0, int val = 0, bool avoid = false) {
    return {hue, false, false, sat, val, avoid};
}
TTintwellSettings Shift(int hue, int sat = 0, int val = 0, bool avoid = false) {
    return {hue, false, true, sat, val, avoid};
}
TTintwellSettings Keep(int sat = 0, int val = 0, bool avoid = false) {
    return {0, true, false, sat, val, avoid};
}

TRGBValues Transform(const TTintwellSettings& s, int r, int g, int b) {
    Bitmap a(1, 1), c(1, 1);
    const TPartRecolourer things(s, a, c);
    const TColorValue out = things.TransformColor(RGBToColor(r, g, b));
    EXPECT_EQ(out, TransformColorReference(s, RGBToColor(r, g, b)));
    return ColorToRGBValues(out);
}

TEST(TransformColor, HueModes) {
    EXPECT_EQ(Transform(Change(240), 200, 150, 100), (TRGBValues{100, 100, 200}));
    EXPECT_EQ(Transform(Shift(75), 200, 150, 100), (TRGBValues{125, 200, 100}));
    EXPECT_EQ(Transform(Shift(330), 200, 150, 100), (TRGBValues{200, 100, 100})) << "360 is red";
    EXPECT_EQ(Transform(TTintwellSettings::Initial(), 200, 150, 100), (TRGBValues{125, 200, 100}));
}

TEST(TransformColor, Tints) {
    EXPECT_EQ(Transform(Keep(0, 50), 200, 150, 100), (TRGBValues{255, 191, 127})) << "V 300 clamped";
    EXPECT_EQ(Transform(Keep(-100), 200, 150, 100), (TRGBValues{200, 200, 200}));
    // Tints multiply, so grey and black stay put without avoidance.
    EXPECT_EQ(Transform(Change(120), 128, 128, 128), (TRGBValues{128, 128, 128}));
    EXPECT_EQ(Transform(Change(120, 400, 400), 0, 0, 0), (TRGBValues{0, 0, 0}));
}

TEST(TransformColor, AvoidSingularities) {
    EXPECT_EQ(Transform(Change(120, 0, 0, true), 128, 128, 128), (TRGBValues{115, 128, 115}));
    EXPECT_EQ(Transform(Change(60, 0, 0, true), 29, 29, 29), (TRGBValues{34, 24, 26})) << "grey nudge";
    EXPECT_EQ(Transform(Change(120, 400, 400, true), 0, 0, 0), (TRGBValues{23, 26, 23}));
    EXPECT_EQ(Transform(Keep(0, 0, true), 250, 250, 250), (TRGBValues{229, 206, 206}));
}

TEST(TransformColor, NeverReturnsWhiteForWhiteInput) {
    EXPECT_EQ(Transform(Keep(), 255, 255, 255), (TRGBValues{254, 255, 255}));
}

// Every colour, under every hue mode with and without avoidance: the tabulated
// transform never yields white and equals the step-by-step transform.
TEST(TransformColorExhaustive, NeverWhiteAndEqualToTheModel) {
    const TTintwellSettings all[] = {Change(240), Change(0, 35, -20, true),
                                     Shift(75),   Shift(360, -400, 400, true),
                                     Keep(),      Keep(120, 55, true)};
    Bitmap a(1, 1), c(1, 1);
    for (const TTintwellSettings& s : all) {
        const TPartRecolourer things(s, a, c);
        for (uint32_t color = 0; color <= 0xFFFFFF; ++color) {
            const TColorValue out = things.TransformColor(color);
            ASSERT_NE(out, tw::kWhite) << color;
            ASSERT_EQ(out, TransformColorReference(s, color)) << color << " hue " << s.Hue;
        }
    }
}

Bitmap Gradient(int w, int h) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, RGBToColor(x * 7 % 256, y * 11 % 256, (x + y) * 3 % 256));
    return b;
}

TEST(PartRecolourer, ApplyAllAnchorIsFirstPixelInColumnOrder) {
    const Bitmap picture = Gradient(12, 10);
    Bitmap part(12, 10);
    TPartRecolourer empty(Shift(75), picture, part);
    empty.ApplyAll();
    EXPECT_EQ(part, Bitmap(12, 10)) << "an all-white part stays white";
    EXPECT_EQ(empty.AnchorX, 11);
    EXPECT_EQ(empty.AnchorY, 9);

    part.SetPixel(5, 9, 0);
    part.SetPixel(6, 0, 0);
    TPartRecolourer things(Shift(75), picture, part);
    things.ApplyAll();
    EXPECT_EQ(things.AnchorX, 5);
    EXPECT_EQ(things.AnchorY, 9);
    EXPECT_EQ(part.Pixel(5, 9), things.TransformColor(picture.Pixel(5, 9)));
    EXPECT_EQ(part.Pixel(6, 0), things.TransformColor(picture.Pixel(6, 0)));
    EXPECT_EQ(part.Pixel(0, 0), tw::kWhite);
}

TEST(PartRecolourer, ApplyAllOnALargePartMatchesOnePixelAtATime) {
    // Large enough to be cut into bands; the picture is narrower than the part.
    std::mt19937 random(7);
    Bitmap picture(600, 520);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            picture.SetPixel(x, y, random() & 0xFFFFFF);
    Bitmap part(640, 520);
    for (int y = 0; y < part.Height(); ++y)
        for (int x = 0; x < part.Width(); ++x)
            part.SetPixel(x, y, x >= 3 && random() % 3 ? 0 : tw::kWhite);
    // The first column that holds part pixels holds them only far down.
    part.SetPixel(2, 100, 0);
    part.SetPixel(1, 500, 0);
    part.SetPixel(1, 510, 0);
    const Bitmap before = part;
    TPartRecolourer things(Shift(75, 10, -10), picture, part);
    things.ApplyAll();
    EXPECT_EQ(things.AnchorX, 1);
    EXPECT_EQ(things.AnchorY, 500);
    int wrong = 0;
    for (int y = 0; y < part.Height(); ++y)
        for (int x = 0; x < part.Width(); ++x) {
            const TColorValue was = before.Pixel(x, y);
            const bool recoloured = was != tw::kWhite && x < picture.Width();
            wrong += part.Pixel(x, y) != (recoloured ? things.TransformColor(picture.Pixel(x, y)) : was);
        }
    EXPECT_EQ(wrong, 0);
}

TEST(PartRecolourer, ApplyAllIsTheSameWithAnyNumberOfThreads) {
    std::mt19937 random(11);
    Bitmap picture(700, 500), part(700, 500);
    for (int y = 0; y < 500; ++y)
        for (int x = 0; x < 700; ++x) {
            picture.SetPixel(x, y, random() & 0xFFFFFF);
            part.SetPixel(x, y, x > 40 && random() % 2 ? 0 : tw::kWhite);
        }
    part.SetPixel(40, 450, 0); // the anchor lies in a late band
    part.SetPixel(40, 470, 0);
    Bitmap single = part;
    TPartRecolourer one(Shift(75, 10, -10), picture, single);
    one.ApplyAll(1);
    for (const int threads : {2, 3, 7}) {
        Bitmap shared = part;
        TPartRecolourer many(Shift(75, 10, -10), picture, shared);
        many.ApplyAll(threads);
        EXPECT_EQ(shared, single) << threads << " threads";
        EXPECT_EQ(QPoint(many.AnchorX, many.AnchorY), QPoint(40, 450)) << threads << " threads";
    }
    EXPECT_EQ(QPoint(one.AnchorX, one.AnchorY), QPoint(40, 450));
}

TEST(ImagePart, ApplyingTwiceEqualsApplyingTheSecondOnly) {
    const Bitmap picture = Gradient(30, 20);
    Bitmap mask(30, 20);
    mask.FillRect(QRect(3, 4, 10, 7), 0);
    TImagePart twice(mask), once(mask);
    twice.ApplySettings(picture, Change(200, 50, -30));
    twice.ApplySettings(picture, Shift(40, 10, 10, true));
    once.ApplySettings(picture, Shift(40, 10, 10, true));
    EXPECT_EQ(twice.Bitmap, once.Bitmap);
    EXPECT_EQ(once.Settings, Shift(40, 10, 10, true));
    EXPECT_EQ(once.AnchorX, 3);
    EXPECT_EQ(once.AnchorY, 4);
}

TEST(PartRecolourer, PaintRectJoinsPixelsButWhiteLeaves) {
    Bitmap picture = Gradient(8, 8);
    picture.SetPixel(2, 3, tw::kWhite);
    Bitmap part(8, 8);
    TPartRecolourer things(Change(300), picture, part);
    things.PaintRect(1, 2, 3, 4);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 1 && x <= 3 && y >= 2 && y <= 4 && !(x == 2 && y == 3);
            EXPECT_EQ(part.Pixel(x, y), inside ? things.TransformColor(picture.Pixel(x, y)) : tw::kWhite)
                << x << "," << y;
        }
    // ApplyAt leaves white positions alone and recolours part positions from the picture.
    part.SetPixel(1, 2, 0x123456);
    things.ApplyAt(1, 2);
    things.ApplyAt(0, 0);
    things.ApplyAt(-1, 99);
    EXPECT_EQ(part.Pixel(1, 2), things.TransformColor(picture.Pixel(1, 2)));
    EXPECT_EQ(part.Pixel(0, 0), tw::kWhite);
}

TEST(PartRecolourer, PartOfAnotherSizeStaysInsideBothBitmaps) {
    const Bitmap picture = Gradient(10, 10);
    Bitmap bigPart(16, 14, 0x000001);
    TPartRecolourer things(Keep(), picture, bigPart);
    things.ApplyAll();
    things.PaintRect(-5, -5, 40, 40);
    EXPECT_EQ(bigPart.Pixel(9, 9), things.TransformColor(picture.Pixel(9, 9)));
    EXPECT_EQ(bigPart.Pixel(15, 13), 0x000001u) << "no picture there: left as loaded";

    Bitmap smallPart(4, 3, 0x000001);
    TPartRecolourer small(Keep(), picture, smallPart);
    small.ApplyAll();
    small.PaintRect(0, 0, 9, 9);
    EXPECT_EQ(smallPart.Pixel(3, 2), small.TransformColor(picture.Pixel(3, 2)));
}

TEST(ZoomedPainter, ZoomTable) {
    EXPECT_EQ(tw::ZoomFactor(0), 0.05);
    EXPECT_EQ(tw::ZoomFactor(4), 1);
    EXPECT_EQ(tw::ZoomFactor(5), 1.5);
    EXPECT_EQ(tw::ZoomFactor(9), 10);
    EXPECT_EQ(tw::ZoomFactor(10), 1);
    EXPECT_EQ(tw::ZoomFactor(255), 1);
}

TEST(ToleranceSuggestion, ToleranceFromSamples) {
    THSVValues result = ToleranceFromSamples({10, 100, 100}, {{350, 100, 100}, {20, 151, 49}});
    EXPECT_EQ(result, (THSVValues{6, 20, 20})) << "350 is 20 degrees from 10 the short way: 20 / 3.6";
    // A red seed of hue 4 among neighbours near 355 (and 360, which is 0).
    result = ToleranceFromSamples({4, 200, 200}, {{355, 200, 200}, {360, 200, 200}, {0, 200, 200}});
    EXPECT_EQ(result.H, 2) << "9 / 3.6 rounds to the even 2, not 356 / 3.6 = 99";
    result = ToleranceFromSamples({10, 100, 100}, {});
    EXPECT_EQ(result, (THSVValues{0, 0, 0}));
}

} // namespace

#include "recolour/GoalColorSolver.h"

namespace {

TEST(GoalColorSolver, DirectComputation) {
    const TTintwellSettings blue = SolveGoalColor(RGBToColor(200, 150, 100), RGBToColor(100, 100, 200));
    EXPECT_EQ(blue, (TTintwellSettings{240, false, false, 0, 0, true}));
    const TTintwellSettings fromGrey = SolveGoalColor(RGBToColor(100, 100, 100), RGBToColor(200, 100, 100));
    EXPECT_EQ(fromGrey.SaturationTint, 400) << "12700 limited to the tint range";
    EXPECT_EQ(fromGrey.ValueTint, 100);
    EXPECT_EQ(fromGrey.Hue, 0);
    EXPECT_EQ(SolveGoalColor(RGBToColor(255, 0, 0), RGBToColor(128, 0, 0)).ValueTint, -50);
    const TTintwellSettings fromBlack = SolveGoalColor(0, RGBToColor(0, 0, 3));
    EXPECT_EQ(fromBlack.ValueTint, 200) << "black divides by 1";
    // The solved settings take the original to the goal's hue, within rounding.
    Bitmap a(1, 1), c(1, 1);
    const TPartRecolourer things(SolveGoalColor(RGBToColor(30, 120, 60), RGBToColor(180, 40, 160)), a, c);
    const THSVValues reached = ColorToHSVValues(things.TransformColor(RGBToColor(30, 120, 60)));
    const THSVValues goal = ColorToHSVValues(RGBToColor(180, 40, 160));
    EXPECT_NEAR(reached.H, goal.H, 1);
    EXPECT_NEAR(reached.S, goal.S, 2);
    EXPECT_NEAR(reached.V, goal.V, 2);
}

} // namespace
