#include "masking/BitmapWalkerThread.h"
#include "masking/PartGrower.h"

#include "masking/WalkTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

using tw::Bitmap;
using twtest::RunWalk;

TWalkerRules ValueOnly(int deviation) {
    TWalkerRules r;
    r.UseValue = true;
    r.ValueDeviation = deviation;
    return r;
}

int PartPixels(const Bitmap& mask) {
    int n = 0;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x)
            n += mask.Pixel(x, y) != tw::kWhite;
    return n;
}

THSVValues H(int h, int s = 200, int v = 200) {
    return {h, s, v};
}

TEST(WalkerRules, HueRangeWrapsAroundRed) {
    TWalkerRules r;
    r.UseHue = true;
    r.HueDeviation = 5; // 18 degrees
    for (int h = 0; h <= 360; ++h) {
        const bool expected = h <= 28 || h >= 353;
        EXPECT_EQ(TBitmapWalkerThread::PassesRules(r, H(10), H(h)), expected) << h;
    }
    r.HueDeviation = 0;
    EXPECT_TRUE(TBitmapWalkerThread::PassesRules(r, H(0), H(0)));
    EXPECT_FALSE(TBitmapWalkerThread::PassesRules(r, H(0), H(360))) << "360 is not 0 for a zero tolerance";
    EXPECT_FALSE(TBitmapWalkerThread::PassesRules(r, H(0), H(1)));
    r.HueDeviation = 50;
    for (int h = 0; h <= 360; h += 15)
        EXPECT_TRUE(TBitmapWalkerThread::PassesRules(r, H(200), H(h)));
}

TEST(WalkerRules, SaturationAndValueBoundsAreInclusive) {
    TWalkerRules r;
    r.UseSaturation = true;
    r.SaturationDeviation = 40; // 102
    EXPECT_TRUE(TBitmapWalkerThread::PassesRules(r, {0, 100, 0}, {0, 202, 0}));
    EXPECT_FALSE(TBitmapWalkerThread::PassesRules(r, {0, 100, 0}, {0, 203, 0}));
    EXPECT_TRUE(TBitmapWalkerThread::PassesRules(r, {0, 100, 0}, {0, 0, 0}));
    r = ValueOnly(1); // 2.55
    EXPECT_TRUE(TBitmapWalkerThread::PassesRules(r, {0, 0, 100}, {0, 0, 102}));
    EXPECT_FALSE(TBitmapWalkerThread::PassesRules(r, {0, 0, 100}, {0, 0, 103}));
}

TEST(BitmapWalkerThread, NeighbourOrderAndSmallUniformPicture) {
    const Bitmap picture(3, 3, 0x336699);
    Bitmap mask(3, 3);
    const auto outcome = RunWalk(picture, mask, ValueOnly(0), {1, 1});
    EXPECT_EQ(PartPixels(mask), 9);
    EXPECT_EQ(outcome.progressCalls, 1);
    EXPECT_EQ(mask.Pixel(0, 0), 0x336699u) << "keep settings leave the colour";
}

TEST(BitmapWalkerThread, NoRuleIncludesOnlyTheSeed) {
    const Bitmap picture(20, 20, 0x336699);
    Bitmap mask(20, 20);
    const auto outcome = RunWalk(picture, mask, TWalkerRules{}, {4, 5});
    EXPECT_EQ(PartPixels(mask), 1);
    EXPECT_NE(mask.Pixel(4, 5), tw::kWhite);
    EXPECT_EQ(outcome.progressCalls, 1);
}

TEST(BitmapWalkerThread, FollowsADiagonalLineAndStoresNoWhite) {
    Bitmap picture(40, 40); // white
    for (int i = 0; i < 40; ++i)
        picture.SetPixel(i, i, 0x202020);
    Bitmap mask(40, 40);
    RunWalk(picture, mask, ValueOnly(5), {0, 0});
    EXPECT_EQ(PartPixels(mask), 40);
    EXPECT_NE(mask.Pixel(39, 39), tw::kWhite);

    // Walking the white background: its recoloured pixels must not read as "not in the part".
    Bitmap white(40, 40);
    RunWalk(picture, white, ValueOnly(5), {5, 0});
    EXPECT_EQ(white.Pixel(39, 0), 16777214u);
    EXPECT_EQ(PartPixels(white), 40 * 40 - 40);
}

TEST(BitmapWalkerThread, GradientWithAndWithoutNeighbourCompare) {
    Bitmap picture(200, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 200; ++x)
            picture.SetPixel(x, y, RGBToColor(50 + x, 50 + x, 50 + x));
    TWalkerRules rules = ValueOnly(1); // 2.55 levels
    Bitmap toSeed(200, 10);
    RunWalk(picture, toSeed, rules, {100, 5});
    EXPECT_EQ(PartPixels(toSeed), 5 * 10) << "values 148..152 around the seed's 150";
    rules.CompareToNeighbour = true;
    Bitmap drifting(200, 10);
    RunWalk(picture, drifting, rules, {100, 5});
    EXPECT_EQ(PartPixels(drifting), 200 * 10);
}

TEST(BitmapWalkerThread, NineValueAverageSmoothsASinglePixel) {
    Bitmap picture(30, 30, RGBToColor(100, 100, 100));
    picture.SetPixel(15, 15, RGBToColor(190, 190, 190)); // average 110
    TWalkerRules rules = ValueOnly(5);                   // 12.75
    Bitmap single(30, 30);
    RunWalk(picture, single, rules, {2, 2});
    EXPECT_EQ(single.Pixel(15, 15), tw::kWhite);
    rules.NineValueAverage = true;
    Bitmap averaged(30, 30);
    RunWalk(picture, averaged, rules, {0, 0}); // a corner seed: the border average divides by 4
    EXPECT_EQ(PartPixels(averaged), 900);
    EXPECT_EQ(averaged.Pixel(15, 15), RGBToColor(190, 190, 190)) << "painted from the single pixel";
}

TEST(BitmapWalkerThread, ProgressEveryIntervalAndOnceAtTheEnd) {
    const Bitmap picture(50, 30, 0x445566); // 1500 pixels: 1499 expanded after the seed
    Bitmap mask(50, 30);
    const auto outcome = RunWalk(picture, mask, ValueOnly(10), {0, 0}, 500);
    EXPECT_EQ(outcome.progressCalls, 3);
    EXPECT_FALSE(outcome.failed);
    // The dialog's interval for its preview's zoom, which the walker keeps.
    EXPECT_EQ(TPartGrower::ProgressIntervalForZoom(1.5), 667);
    EXPECT_EQ(TPartGrower::ProgressIntervalForZoom(0.05), 20000);
    EXPECT_EQ(TPartGrower::ProgressIntervalForZoom(10), 100);
    const TBitmapWalkerThread probe(picture, {}, {}, TPartGrower::ProgressIntervalForZoom(1.5), mask);
    EXPECT_EQ(probe.ProgressInterval(), 667);
}

// Run in place (the batch tool's way) the walk paints the same part, its
// progress and end reported inline; only the GUI thread may do that.
TEST(BitmapWalkerThread, RunHereIsTheThreadedWalkInPlace) {
    Bitmap picture(200, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 200; ++x)
            picture.SetPixel(x, y, RGBToColor(50 + x, 50 + x, 60));
    TWalkerRules rules = ValueOnly(1);
    rules.CompareToNeighbour = true;
    Bitmap threaded(200, 10), here(200, 10);
    const auto outcome = RunWalk(picture, threaded, rules, {100, 5}, 500);
    int progress = 0, ends = 0;
    const TPartGrowth growth = TPartGrower::GrowthAt(picture, {100, 5}, rules);
    TBitmapWalkerThread walker(picture, growth, twtest::KeepColours(), 500, here);
    walker.OnProgress = [&](TBitmapWalkerThread*) { ++progress; };
    walker.OnTerminate = [&](tw::Thread* t) { ends += t->FatalException() == nullptr; };
    walker.RunHere();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(progress, outcome.progressCalls);
    EXPECT_TRUE(here == threaded);

    Bitmap elsewhere(200, 10);
    TBitmapWalkerThread offGui(picture, growth, {}, 1000, elsewhere);
    std::thread([&] { EXPECT_THROW(offGui.RunHere(), std::logic_error); }).join();
}

TEST(BitmapWalkerThread, TerminateStopsPaintingThenReportsOnce) {
    const Bitmap picture(400, 300, 0x445566);
    Bitmap mask(400, 300);
    int paintedWhenStopped = -1;
    const auto outcome = RunWalk(picture, mask, ValueOnly(10), {200, 150}, 1000, twtest::KeepColours(),
                                 [&](TBitmapWalkerThread* t, int call) {
                                     if (call == 1) {
                                         t->Terminate();
                                         paintedWhenStopped = PartPixels(mask);
                                     }
                                 });
    EXPECT_EQ(outcome.progressCalls, 2);
    EXPECT_EQ(PartPixels(mask), paintedWhenStopped);
    EXPECT_LT(paintedWhenStopped, 400 * 300);
}

TEST(BitmapWalkerThread, AnErrorEndsTheWalkWithoutTheFinalReport) {
    const Bitmap picture(100, 100, 0x445566);
    Bitmap mask(100, 100);
    const auto outcome = RunWalk(picture, mask, ValueOnly(10), {50, 50}, 1000, twtest::KeepColours(),
                                 [](TBitmapWalkerThread*, int) { throw std::runtime_error("boom"); });
    EXPECT_TRUE(outcome.ended);
    EXPECT_TRUE(outcome.failed) << "the error is kept for OnTerminate";
    EXPECT_EQ(outcome.progressCalls, 1);
    EXPECT_GE(PartPixels(mask), 1000) << "pixels painted so far stay";
}

TEST(BitmapWalkerThread, SeedOutsideIsClampedAndNothingOutsideIsTouched) {
    const Bitmap picture(10, 8, 0x445566);
    Bitmap mask(10, 8);
    RunWalk(picture, mask, TWalkerRules{}, {10, 8});
    EXPECT_NE(mask.Pixel(9, 7), tw::kWhite);
    RunWalk(picture, mask, TWalkerRules{}, {-5, -1});
    EXPECT_NE(mask.Pixel(0, 0), tw::kWhite);
    const Bitmap empty;
    Bitmap emptyMask;
    EXPECT_EQ(RunWalk(empty, emptyMask, ValueOnly(10), {0, 0}).progressCalls, 1);
}

TEST(BitmapWalkerThread, RecoloursWhatItPaints) {
    const Bitmap picture(5, 5, RGBToColor(200, 150, 100));
    Bitmap mask(5, 5);
    RunWalk(picture, mask, ValueOnly(10), {2, 2}, 1000, {240, false, false, 0, 0, false});
    EXPECT_EQ(mask.Pixel(4, 4), RGBToColor(100, 100, 200));
}

} // namespace
