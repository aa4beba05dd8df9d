// Opening a large JPEG at the working size (decode, DCT scaling, smooth reduction).
#include "platform/PictureFile.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cmath>

namespace {

std::string MakeLargeJpeg(const QTemporaryDir& dir) {
    const std::string path = dir.filePath("large.jpg").toStdString();
    tw::Bitmap photo(4000, 3000);
    for (int y = 0; y < 3000; ++y) {
        uint32_t* row = photo.Row(y);
        for (int x = 0; x < 4000; ++x) {
            // Smooth shading with some texture, like a photo.
            const int r = static_cast<int>(128 + 100 * std::sin(x / 300.0)) + ((x * 7 + y * 3) % 13);
            const int g = static_cast<int>(128 + 100 * std::cos(y / 250.0)) + ((x ^ y) % 11);
            const int b = (x + y) / 28 % 256;
            row[x] = tw::Rgb32FromColor(
                static_cast<uint32_t>(std::min(r, 255) + 256 * std::min(g, 255) + 65536 * b));
        }
    }
    tw::SavePicture(photo, path);
    return path;
}

void OpenLargeJpegAtWorkingSize(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = MakeLargeJpeg(dir);
    for (auto _ : state) {
        tw::Bitmap working = tw::LoadWorkingPicture(path);
        benchmark::DoNotOptimize(working.Width());
    }
}
BENCHMARK(OpenLargeJpegAtWorkingSize)->Unit(benchmark::kMillisecond);

void OpenLargeJpegFullSize(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = MakeLargeJpeg(dir);
    for (auto _ : state) {
        tw::Bitmap full = tw::LoadPicture(path);
        benchmark::DoNotOptimize(full.Width());
    }
}
BENCHMARK(OpenLargeJpegFullSize)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
