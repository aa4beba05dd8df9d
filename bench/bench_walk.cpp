// Mask growing and zoomed painting.
#include "masking/BitmapWalkerThread.h"
#include "masking/PartGrower.h"
#include "platform/ZoomedPainter.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

tw::Bitmap PhotoLike(int w, int h) {
    tw::Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = std::hypot(x - w / 2.0, y - h / 2.0);
            const int r = d < 180 ? 200 - static_cast<int>(d / 4) : 60 + (x % 17);
            const int g = d < 180 ? 60 + static_cast<int>(d / 6) : 120 + (y % 13);
            const int bl = d < 180 ? 40 : 90 + ((x + y) % 23);
            b.SetPixel(x, y, RGBToColor(r, g, bl));
        }
    return b;
}

// Runs one walk to its end, servicing tile builds and progress on this thread.
void Walk(const tw::Bitmap& picture, tw::Bitmap& mask, const TWalkerRules& rules, QPoint seed) {
    bool ended = false;
    auto* t =
        new TBitmapWalkerThread(picture, TPartGrower::GrowthAt(picture, seed, rules),
                                TTintwellSettings::Initial(), TPartGrower::kUnwatchedProgressInterval, mask);
    t->FreeOnTerminate = true;
    t->OnTerminate = [&](tw::Thread*) { ended = true; };
    // The dialog always listens, so every progress hand-over counts here too.
    t->OnProgress = [](TBitmapWalkerThread*) {};
    t->Resume();
    while (!ended)
        tw::CheckSynchronize(10);
}

void WalkUniformAcceptsAll(benchmark::State& state) {
    const tw::Bitmap picture(800, 600, 0x406080);
    tw::Bitmap mask(800, 600);
    for (auto _ : state) {
        mask.Fill(tw::kWhite);
        Walk(picture, mask, TWalkerRules::Default(), {400, 300});
    }
}
BENCHMARK(WalkUniformAcceptsAll)->Unit(benchmark::kMillisecond)->UseRealTime();

void WalkPhotoDefaultRules(benchmark::State& state) {
    const tw::Bitmap picture = PhotoLike(800, 600);
    tw::Bitmap mask(800, 600);
    for (auto _ : state) {
        mask.Fill(tw::kWhite);
        Walk(picture, mask, TWalkerRules::Default(), {400, 300});
    }
}
BENCHMARK(WalkPhotoDefaultRules)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each candidate against the pixel it is reached from: no verdict can be cached by colour.
void WalkPhotoCompareToNeighbour(benchmark::State& state) {
    const tw::Bitmap picture = PhotoLike(800, 600);
    tw::Bitmap mask(800, 600);
    TWalkerRules rules = TWalkerRules::Default();
    rules.CompareToNeighbour = true;
    for (auto _ : state) {
        mask.Fill(tw::kWhite);
        Walk(picture, mask, rules, {400, 300});
    }
}
BENCHMARK(WalkPhotoCompareToNeighbour)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the mask dialog does after a rule is moved: a white mask, a walk from the
// same seed under the new rules, watched at 100 %. Arg 1: with "Whole picture"
// and holes up to 3000 pixels filled.
void RegrowAfterRuleChange(benchmark::State& state) {
    const tw::Bitmap picture = PhotoLike(800, 600);
    tw::Bitmap mask(800, 600);
    TWalkerRules rules = TWalkerRules::Default();
    if (state.range(0) == 1) {
        rules.Anywhere = true;
        rules.FillHoles = 3000;
    }
    int step = 0;
    for (auto _ : state) {
        rules.ValueDeviation = 38 + step++ % 5;
        mask.Fill(tw::kWhite);
        Walk(picture, mask, rules, {400, 300});
    }
}
BENCHMARK(RegrowAfterRuleChange)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A part grown at a camera's size the batch tool's way (grow --full-size):
// connected (Arg 0) or over the whole picture (Arg 1), same picture and seed.
void GrowUniform4000(benchmark::State& state) {
    const tw::Bitmap picture(4000, 4000, 0x406080);
    TWalkerRules rules = TWalkerRules::Default();
    rules.Anywhere = state.range(0) == 1;
    for (auto _ : state) {
        const TGrownPart part =
            TPartGrower(picture, {2000, 2000}, rules, TTintwellSettings::Initial()).Grow();
        benchmark::DoNotOptimize(part.Mask.Row(0));
    }
}
BENCHMARK(GrowUniform4000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void PaintZoomedTwoOverlays(benchmark::State& state) {
    const auto zoomIndex = static_cast<uint8_t>(state.range(0));
    const tw::Bitmap picture = PhotoLike(800, 600);
    tw::Bitmap first(800, 600), second(800, 600);
    first.FillRect(QRect(100, 100, 300, 200), 0x0000FF);
    second.FillRect(QRect(300, 250, 300, 200), 0x00FF00);
    const double z = tw::ZoomFactor(zoomIndex);
    tw::ScrollBoxState box{800 * z > 1000, 0, 600 * z > 700, 0, 1000, 700};
    if (box.HorzVisible) box.HorzPosition = static_cast<int>(800 * z / 2 - 500);
    if (box.VertVisible) box.VertPosition = static_cast<int>(600 * z / 2 - 350);
    tw::Bitmap screen(1000, 700);
    for (auto _ : state) {
        tw::Canvas canvas(screen, QPoint(box.HorzPosition, box.VertPosition));
        tw::PaintZoomed(box, {&picture, &first, &second}, zoomIndex, canvas);
        benchmark::DoNotOptimize(screen.Row(0));
    }
    state.SetLabel("zoom " + std::to_string(z));
}
BENCHMARK(PaintZoomedTwoOverlays)->Arg(0)->Arg(4)->Arg(9)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
