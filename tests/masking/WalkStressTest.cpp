#include "masking/BitmapWalkerThread.h"
#include "recolour/SharedGraphicsThings.h"

#include <gtest/gtest.h>

#include <random>

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

// Walks start, get stopped at random moments and restart while this thread keeps
// painting the growing mask, as the mask dialog does.
TEST(WalkStress, StartStopRestartWhilePainting) {
    const Bitmap picture = Regions(640, 420);
    Bitmap mask(640, 420);
    Bitmap screen(500, 300);
    std::mt19937 rng(1234);
    int completed = 0;
    for (int walk = 0; walk < 24; ++walk) {
        mask.Fill(tw::kWhite);
        TWalkerRules rules = TWalkerRules::Default();
        rules.CompareToNeighbour = rng() % 2;
        rules.NineValueAverage = rng() % 3 == 0;
        rules.HueDeviation = static_cast<int32_t>(rng() % 30);
        TBitmapWalkerThread* running = new TBitmapWalkerThread(
            picture, TSharedGraphicsThings::ZoomFactor(static_cast<uint8_t>(rng() % 10)),
            TTintwellSettings::Initial(), rules,
            QPoint(static_cast<int>(rng() % 660) - 10, static_cast<int>(rng() % 440) - 10), mask);
        bool ended = false;
        running->FreeOnTerminate = true;
        running->OnTerminate = [&](tw::Thread*) {
            ended = true;
            running = nullptr; // it frees itself now
        };
        running->OnProgress = [&](TBitmapWalkerThread*) {
            TScrollBoxState box{true, static_cast<int>(rng() % 200), true, static_cast<int>(rng() % 200), 500,
                                300};
            tw::Canvas canvas(screen, QPoint(box.HorzPosition, box.VertPosition));
            TSharedGraphicsThings::PaintZoomed(box, {&picture, &mask}, 4, canvas);
        };
        running->SetIdlePriority();
        running->Resume();
        const int stopAfter = static_cast<int>(rng() % 40);
        for (int tick = 0; !ended; ++tick) {
            tw::CheckSynchronize(1);
            {
                TGraphicsLockGuard lock; // the GUI thread holds the lock around its own painting too
                tw::Canvas canvas(screen);
                TSharedGraphicsThings::PaintZoomed({}, {&picture, &mask}, static_cast<uint8_t>(tick % 10),
                                                   canvas);
            }
            if (tick == stopAfter && running) running->Terminate();
        }
        ++completed;
    }
    EXPECT_EQ(completed, 24);
}

} // namespace
