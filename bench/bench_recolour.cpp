// Recolouring speed: the per-pixel transform in each hue mode, and a whole-part pass.
#include "recolour/ColourMatch.h"
#include "recolour/PartRecolourer.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

std::vector<TColorValue> PhotoLikeColours(size_t n) {
    // Neighbouring pixels of a photo are similar: a random walk through colour space.
    std::mt19937 rng(11);
    std::vector<TColorValue> out(n);
    int r = 120, g = 90, b = 60;
    for (auto& c : out) {
        r = std::clamp(r + static_cast<int>(rng() % 7) - 3, 0, 255);
        g = std::clamp(g + static_cast<int>(rng() % 7) - 3, 0, 255);
        b = std::clamp(b + static_cast<int>(rng() % 7) - 3, 0, 255);
        c = RGBToColor(r, g, b);
    }
    return out;
}

void TransformColorBench(benchmark::State& state, TTintwellSettings settings) {
    const auto colours = PhotoLikeColours(1 << 20);
    tw::Bitmap a(1, 1), b(1, 1);
    const TPartRecolourer things(settings, a, b);
    for (auto _ : state) {
        uint32_t acc = 0;
        for (TColorValue c : colours)
            acc += things.TransformColor(c);
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(colours.size()));
    state.counters["Mpx/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * colours.size()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(TransformColorBench, Change, TTintwellSettings{240, false, false, 20, -10, false});
BENCHMARK_CAPTURE(TransformColorBench, Shift, TTintwellSettings::Initial());
BENCHMARK_CAPTURE(TransformColorBench, Keep, TTintwellSettings{0, true, false, 30, 30, false});
BENCHMARK_CAPTURE(TransformColorBench, ChangeAvoid, TTintwellSettings{120, false, false, 0, 0, true});
// The table made once before timing: this is the per-pixel cost.
BENCHMARK_CAPTURE(TransformColorBench, Match,
                  TTintwellSettings::Match({RGBToColor(0x1F, 0x2A, 0x44), true},
                                           TGivenColour{RGBToColor(200, 40, 30), false}));

// The match on the composer's raw words, as the full-size path calls it.
void MatchRgb32(benchmark::State& state) {
    const auto colours = PhotoLikeColours(1 << 20);
    std::vector<uint32_t> words(colours.size());
    for (size_t i = 0; i < colours.size(); ++i)
        words[i] = tw::Rgb32FromColor(colours[i]);
    const TColourMatch match(RGBToColor(200, 40, 30), RGBToColor(0x1F, 0x2A, 0x44));
    for (auto _ : state) {
        uint32_t acc = 0;
        for (const uint32_t w : words)
            acc += match.TransformRgb32(w);
        benchmark::DoNotOptimize(acc);
    }
    state.counters["Mpx/s"] = benchmark::Counter(static_cast<double>(state.iterations() * words.size()) / 1e6,
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(MatchRgb32);

// Making a match table: once per reference and goal.
void MatchTable(benchmark::State& state) {
    int goal = 0;
    for (auto _ : state) {
        const TColourMatch match(RGBToColor(200, 40, 30), RGBToColor(goal, 60, 200 - goal));
        goal = (goal + 1) % 200;
        benchmark::DoNotOptimize(match.Goal());
    }
}
BENCHMARK(MatchTable)->Unit(benchmark::kMillisecond);

void ApplyAllFullPart(benchmark::State& state) {
    const auto colours = PhotoLikeColours(800 * 600);
    tw::Bitmap picture(800, 600);
    for (int i = 0; i < 800 * 600; ++i)
        picture.SetPixel(i % 800, i / 800, colours[i]);
    tw::Bitmap part(800, 600, 0x000001);
    for (auto _ : state) {
        TPartRecolourer things(TTintwellSettings::Initial(), picture, part);
        things.ApplyAll();
        benchmark::DoNotOptimize(things.AnchorX);
    }
}
BENCHMARK(ApplyAllFullPart)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
