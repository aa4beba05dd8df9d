// Full-size results: composition speed on a camera-sized picture with five
// parts, and the border quality of each way of carrying parts up, measured
// against the synthetic scene's truth (printed before the timings).
#include "fullsize/FullSizeComposer.h"
#include "platform/PictureFile.h"
#include "recolour/ImagePart.h"
#include "recolour/PartRecolourer.h"
#include "support/PhotoScene.h"
#include "support/SyntheticScene.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Job {
    twtest::SceneResult scene;
    std::vector<std::unique_ptr<TImagePart>> parts;
    std::vector<TFullSizePart> request;
};

Job* TheJob = nullptr;

// The grown object plus four painted parts (ellipses) with other settings.
void AddParts(Job& job) {
    const tw::Bitmap& working = job.scene.working;
    job.parts.push_back(std::make_unique<TImagePart>(job.scene.part));
    job.parts.back()->Settings = twtest::SyntheticScene::Recolour();
    const double spots[4][4] = {
        {0.15, 0.2, 0.12, 0.1}, {0.8, 0.25, 0.15, 0.2}, {0.75, 0.8, 0.2, 0.15}, {0.2, 0.8, 0.1, 0.12}};
    for (int i = 0; i < 4; ++i) {
        tw::Bitmap part(working.Width(), working.Height());
        for (int y = 0; y < working.Height(); ++y)
            for (int x = 0; x < working.Width(); ++x) {
                const double dx = (x / static_cast<double>(working.Width()) - spots[i][0]) / spots[i][2];
                const double dy = (y / static_cast<double>(working.Height()) - spots[i][1]) / spots[i][3];
                if (dx * dx + dy * dy <= 1) part.SetPixel(x, y, working.Pixel(x, y));
            }
        job.parts.push_back(std::make_unique<TImagePart>(part));
        job.parts.back()->ApplySettings(working, {40 + 60 * i, false, i % 2 == 0, 20, -10, i == 3});
    }
    for (const auto& p : job.parts)
        job.request.push_back({&p->Bitmap, p->Settings, std::nullopt});
    job.request[0].Growth = job.scene.growth;
}

void PrintQuality(const twtest::SyntheticScene& scene, const twtest::SceneResult& r) {
    const TRowBandPool pool(0);
    const TCoverageCarrier band(r.full.Rect().size(), r.working, r.part, nullptr, TBorderMethod::Smooth,
                                pool);
    const auto report = [&](const char* name, const tw::Bitmap& result) {
        const twtest::SceneError e = twtest::MeasureAgainstTruth(scene, r.full, result, band);
        std::printf(
            "  %-34s mean border error %6.2f levels (%5.2f of it from the rim); %lld pixels wrong away from "
            "the border\n",
            name, e.border, e.rim, e.wrongAway);
    };
    const twtest::SceneError counts = twtest::MeasureAgainstTruth(scene, r.full, r.full, band);
    std::printf("Scene %d x %d, working size %d x %d, %lld border pixels, %lld of them in the rim:\n",
                scene.Width(), scene.Height(), r.working.Width(), r.working.Height(), counts.borderPixels,
                counts.rimPixels);
    // What the true coverage gives when the mixed pixel itself is recoloured.
    tw::Bitmap oracle = r.full;
    {
        tw::Bitmap none;
        const TPartRecolourer things(twtest::SyntheticScene::Recolour(), none, none);
        for (int y = 0; y < oracle.Height(); ++y)
            for (int x = 0; x < oracle.Width(); ++x) {
                const uint32_t c = static_cast<uint32_t>(Round(scene.Coverage(x, y) * 255));
                const uint32_t p = oracle.Row(y)[x], t = things.TransformRgb32(p);
                oracle.Row(y)[x] = 0xFF000000u | (BlendChannel(c, (t >> 16) & 0xFF, (p >> 16) & 0xFF) << 16) |
                                   (BlendChannel(c, (t >> 8) & 0xFF, (p >> 8) & 0xFF) << 8) |
                                   BlendChannel(c, t & 0xFF, p & 0xFF);
            }
    }
    report("the true coverage, mixed pixel", oracle);
    report("working-size result scaled up", r.scaledUp);
    if (!r.grownFull.IsEmpty()) report("binary part grown at full size", r.grownFull);
    const TTintwellSettings settings = twtest::SyntheticScene::Recolour();
    const std::pair<const char*, TBorderMethod> methods[] = {
        {"carried up: colour-guided", TBorderMethod::Guided},
        {"carried up: growth rules", TBorderMethod::Rules},
        {"carried up: smooth outline", TBorderMethod::Smooth}};
    for (const bool unmix : {false, true}) {
        std::printf(unmix ? " the part's own colour recoloured in mixed pixels:\n"
                          : " the mixed pixel recoloured:\n");
        for (const auto& [name, method] : methods) {
            TFullSizeOptions options;
            options.Border = method;
            options.Unmix = unmix;
            const auto result = ComposeFullSize(r.full, r.working, {{&r.part, settings, r.growth}}, options);
            report(name, *result);
        }
    }
}

// The border figures on the scene made from photographs: against its ideal
// recolouring, and the blockiness across the shadow's cut. TW_SAVE_DIR keeps
// the results as PNG files.
void PrintPhotoQuality() {
    // TW_PHOTO_SCENE=WxH picks its size (default 6000 x 1200).
    int width = 6000, height = 1200;
    if (const char* size = std::getenv("TW_PHOTO_SCENE")) std::sscanf(size, "%dx%d", &width, &height);
    const twtest::PhotoScene scene(width, height);
    const twtest::PhotoSceneParts r =
        twtest::GrowPhotoScene(scene, std::getenv("TW_NO_FULL_WALK") == nullptr);
    const char* saveDir = std::getenv("TW_SAVE_DIR");
    const auto report = [&](const char* name, const tw::Bitmap& result) {
        const twtest::BorderFigures f = twtest::MeasureBorders(scene, result, r.part);
        std::printf("  %-34s border error %6.2f, false colours %5.2f %%, blockiness %5.3f\n", name,
                    f.borderError, f.falseColours, f.blockiness);
        if (saveDir) tw::SavePicture(result, std::string(saveDir) + "/" + name + ".png");
    };
    std::printf("Photo scene %d x %d:\n", scene.Width(), scene.Height());
    if (saveDir) tw::SavePicture(scene.Picture(), std::string(saveDir) + "/picture.png");
    if (!r.grownFull.IsEmpty()) report("binary part grown at full size", r.grownFull);
    for (const auto& [name, method] :
         {std::pair{"guided", TBorderMethod::Guided}, std::pair{"rules", TBorderMethod::Rules},
          std::pair{"smooth", TBorderMethod::Smooth}}) {
        TFullSizeOptions options;
        options.Border = method;
        const auto result = ComposeFullSize(scene.Picture(), r.working,
                                            {{&r.part, twtest::PhotoScene::Settings(), r.growth}}, options);
        report(name, *result);
    }
    // The blockiness moves with the window in the photo's grain: its range over
    // windows up to 120 pixels away from the one measured, and the part's
    // coverage alone (the part over a picture of one colour).
    TFullSizeOptions options;
    const auto result = ComposeFullSize(scene.Picture(), r.working,
                                        {{&r.part, twtest::PhotoScene::Settings(), r.growth}}, options);
    const double scale = static_cast<double>(scene.Width()) / r.part.Width();
    const QRect window = twtest::ShadowWindow(scene, r.part);
    double low = 1e9, high = 0, sum = 0;
    int count = 0;
    for (int dy = -120; dy <= 120; dy += 60)
        for (int dx = -120; dx <= 120; dx += 60) {
            const QRect moved =
                window.translated(dx, dy).intersected(QRect(0, 0, scene.Width(), scene.Height()));
            if (moved.size() != window.size()) continue;
            const double b = twtest::Blockiness(scene.Picture(), *result, moved, scale);
            low = std::min(low, b), high = std::max(high, b), sum += b, ++count;
        }
    const tw::Bitmap flat(scene.Width(), scene.Height(), 0x806040);
    const auto over = ComposeFullSize(flat, r.working, {{&r.part, twtest::PhotoScene::Settings(), r.growth}});
    std::printf("  guided: blockiness %.3f to %.3f in windows nearby, mean %.3f; over one colour %.3f\n", low,
                high, sum / count, twtest::Blockiness(flat, *over, window, scale));
}

void ComposeFiveParts(benchmark::State& state) {
    TFullSizeOptions options;
    options.Threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto result = ComposeFullSize(TheJob->scene.full, TheJob->scene.working, TheJob->request, options);
        benchmark::DoNotOptimize(result);
    }
    const double pixels = static_cast<double>(TheJob->scene.full.Width()) * TheJob->scene.full.Height();
    state.counters["Mpx/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * pixels / 1e6,
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(ComposeFiveParts)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same parts with the rows streamed through a band at a time, as the batch
// tool does for a JPEG (the rows copied in, and dropped once composed).
void ComposeRowsFiveParts(benchmark::State& state) {
    TFullSizeOptions options;
    options.Threads = static_cast<int>(state.range(0));
    const tw::Bitmap& full = TheJob->scene.full;
    for (auto _ : state) {
        int read = 0;
        const bool done = ComposeFullSizeRows(
            full.Rect().size(), [&]() -> const tw::Bitmap& { return TheJob->scene.working; },
            static_cast<int>(TheJob->request.size()),
            [&](int i, tw::Bitmap&) { return TheJob->request[static_cast<size_t>(i)]; },
            [&](uint32_t* rows, ptrdiff_t stride, int count) {
                for (int i = 0; i < count; ++i, ++read)
                    std::copy_n(full.Row(read), full.Width(), rows + i * stride);
            },
            [](const uint32_t* rows, ptrdiff_t, int) { benchmark::DoNotOptimize(rows); }, options);
        benchmark::DoNotOptimize(done);
    }
}
BENCHMARK(ComposeRowsFiveParts)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a view at 100 % waits for: the tiles of a 1280 x 800 view (6 x 4 tiles
// of 256 after a pan, composed as one block, as TViewTiles does) across the
// grown part's border, and the tiles a dab on that border reaches (its
// square carried up, FullSizeReach, rounded out to tiles).
QRect TilesAround(QPoint centre, QSize size) {
    constexpr int kTile = 256;
    const QRect full = TheJob->scene.full.Rect();
    const QRect r = QRect(centre - QPoint(size.width() / 2, size.height() / 2), size).intersected(full);
    const QPoint a(r.left() / kTile * kTile, r.top() / kTile * kTile);
    const QPoint b((r.right() / kTile + 1) * kTile - 1, (r.bottom() / kTile + 1) * kTile - 1);
    return QRect(a, b).intersected(full);
}

QPoint PartBorder() {
    // The grown part's leftmost pixel on its middle row, at full size.
    const tw::Bitmap& part = TheJob->scene.part;
    const int y = part.Height() / 2;
    int x = 0;
    while (x < part.Width() && part.Pixel(x, y) == tw::kWhite)
        ++x;
    const double sx = static_cast<double>(TheJob->scene.full.Width()) / part.Width();
    return {static_cast<int>(x * sx), static_cast<int>(y * sx)};
}

// Composes the rectangle of the result as the view's worker does.
void ComposeTiles(benchmark::State& state, QRect rect) {
    TFullSizeOptions options;
    options.Threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto result =
            ComposeFullSizeRect(TheJob->scene.full, TheJob->scene.working, TheJob->request, rect, options);
        benchmark::DoNotOptimize(result);
    }
    state.counters["tiles"] = static_cast<double>(rect.width() / 256 * (rect.height() / 256));
}

void ViewTilesAfterPan(benchmark::State& state) {
    ComposeTiles(state, TilesAround(PartBorder(), {1280, 800}));
}
BENCHMARK(ViewTilesAfterPan)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void ViewTilesOfADab(benchmark::State& state) {
    const QPoint at = PartBorder();
    const QSize working = TheJob->scene.working.Rect().size(), fullSize = TheJob->scene.full.Rect().size();
    const double sx = static_cast<double>(working.width()) / fullSize.width();
    const QPoint w(static_cast<int>(at.x() * sx), static_cast<int>(at.y() * sx));
    // The medium brush at 100 % of a 24-megapixel photo: 2 x 2 working pixels.
    const QRect reach = FullSizeReach(fullSize, working, QRect(w, QSize(2, 2)));
    ComposeTiles(state, TilesAround(reach.center(), reach.size()));
}
BENCHMARK(ViewTilesOfADab)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// For scale: what writing the result as a JPEG at quality 100 costs.
void EncodeJpeg(benchmark::State& state) {
    for (auto _ : state) {
        auto bytes = tw::EncodePicture(TheJob->scene.full, tw::PictureFormat::Jpeg, "out.jpg");
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(EncodeJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    // TW_SCENE=WxH picks the scene size (default a 24-megapixel camera picture).
    int width = 6000, height = 4000;
    if (const char* size = std::getenv("TW_SCENE")) std::sscanf(size, "%dx%d", &width, &height);
    PrintPhotoQuality();
    if (std::getenv("TW_QUALITY_ONLY")) return 0;
    const twtest::SyntheticScene scene(width, height);
    Job job;
    job.scene = twtest::MakeSceneResult(scene, std::getenv("TW_NO_FULL_WALK") == nullptr);
    PrintQuality(scene, job.scene);
    AddParts(job);
    TheJob = &job;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
