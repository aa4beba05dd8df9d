#include "masking/BitmapWalkerThread.h"
#include "masking/WalkTestSupport.h"
#include "platform/ZoomedPainter.h"
#include "recolour/PartRecolourer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using tw::Bitmap;

Bitmap Regions(int w, int h) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int region = (x / 70 + y / 50) % 4;
            const int shade = (x + y) % 40;
            const TColorValue colours[4] = {
                RGBToColor(200 - shade, 60, 40), RGBToColor(40, 160 + shade / 2, 60),
                RGBToColor(50, 60, 180 + shade), RGBToColor(180 + shade, 180, 60)};
            b.SetPixel(x, y, colours[region]);
        }
    return b;
}

// What any walk, finished or stopped early, must leave behind: every marked
// pixel is its picture pixel recoloured, and the marked pixels form one region,
// connected through the eight neighbours the walker steps to, around the seed.
testing::AssertionResult IsGrownRegion(const Bitmap& picture, const Bitmap& mask, QPoint seed) {
    Bitmap scratch(1, 1);
    const TPartRecolourer recolour(TTintwellSettings::Initial(), picture, scratch);
    int64_t marked = 0;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x) {
            const TColorValue m = mask.Pixel(x, y);
            if (m == tw::kWhite) continue;
            ++marked;
            if (m != recolour.TransformColor(picture.Pixel(x, y)))
                return testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is not its recoloured self";
        }
    if (mask.Pixel(seed.x(), seed.y()) == tw::kWhite)
        return testing::AssertionFailure() << "the seed is not marked";
    std::vector<bool> reached(static_cast<size_t>(mask.Width()) * static_cast<size_t>(mask.Height()));
    std::vector<QPoint> todo{seed};
    reached[static_cast<size_t>(seed.y() * mask.Width() + seed.x())] = true;
    int64_t found = 0;
    while (!todo.empty()) {
        const QPoint p = todo.back();
        todo.pop_back();
        ++found;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = p.x() + dx, y = p.y() + dy;
                if (x < 0 || y < 0 || x >= mask.Width() || y >= mask.Height()) continue;
                const size_t i = static_cast<size_t>(y * mask.Width() + x);
                if (reached[i] || mask.Pixel(x, y) == tw::kWhite) continue;
                reached[i] = true;
                todo.push_back({x, y});
            }
    }
    if (found != marked)
        return testing::AssertionFailure() << marked - found << " marked pixels are cut off from the seed";
    return testing::AssertionSuccess();
}

// A walk stopped halfway along a long run that reaches the region only at its
// far end must not leave the run's near end cut off.
TEST(WalkStress, StoppedInTheMiddleOfARunLeavesOneRegion) {
    Bitmap picture(3000, 3, RGBToColor(200, 40, 40));
    picture.FillRect(QRect(2990, 1, 10, 1), RGBToColor(40, 40, 200));
    picture.FillRect(QRect(0, 2, 3000, 1), RGBToColor(40, 40, 200));
    Bitmap mask(3000, 3);
    const auto outcome =
        twtest::RunWalk(picture, mask, TWalkerRules::Default(), {2995, 1}, 1000, TTintwellSettings::Initial(),
                        [](TBitmapWalkerThread* t, int) { t->Terminate(); });
    EXPECT_EQ(outcome.progressCalls, 2);
    EXPECT_TRUE(IsGrownRegion(picture, mask, {2995, 1}));
}

// Walks start, get stopped at random moments and restart while this thread keeps
// painting the growing mask, as the mask dialog does.
TEST(WalkStress, StartStopRestartWhilePainting) {
    const Bitmap picture = Regions(640, 420);
    Bitmap mask(640, 420);
    Bitmap screen(500, 300);
    std::mt19937 rng(1234);
    for (int walk = 0; walk < 24; ++walk) {
        mask.Fill(tw::kWhite);
        TWalkerRules rules = TWalkerRules::Default();
        rules.CompareToNeighbour = rng() % 2;
        rules.NineValueAverage = rng() % 3 == 0;
        rules.HueDeviation = static_cast<int32_t>(rng() % 30);
        const int32_t interval =
            TPartGrower::ProgressIntervalForZoom(tw::ZoomFactor(static_cast<uint8_t>(rng() % 10)));
        const int x = static_cast<int>(rng() % 660) - 10;
        const TPartGrower grower(picture, QPoint(x, static_cast<int>(rng() % 440) - 10), rules,
                                 TTintwellSettings::Initial(), interval);
        const QPoint seed = grower.Growth().Seed;
        bool ended = false;
        TBitmapWalkerThread* running = grower.Start(
            mask,
            [&](TBitmapWalkerThread*) {
                tw::ScrollBoxState box{
                    true, static_cast<int>(rng() % 200), true, static_cast<int>(rng() % 200), 500, 300};
                tw::Canvas canvas(screen, QPoint(box.HorzPosition, box.VertPosition));
                tw::PaintZoomed(box, {&picture, &mask}, 4, canvas);
            },
            [&](tw::Thread*) {
                ended = true;
                running = nullptr; // it frees itself now
            });
        const int stopAfter = static_cast<int>(rng() % 40);
        for (int tick = 0; !ended; ++tick) {
            tw::CheckSynchronize(1);
            {
                TGraphicsLockGuard lock; // the GUI thread holds the lock around its own painting too
                tw::Canvas canvas(screen);
                tw::PaintZoomed({}, {&picture, &mask}, static_cast<uint8_t>(tick % 10), canvas);
            }
            if (tick == stopAfter && running) running->Terminate();
        }
        EXPECT_TRUE(IsGrownRegion(picture, mask, seed)) << "walk " << walk;
    }
}

} // namespace
