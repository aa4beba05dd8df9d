// The main window's two hot paths: one brush dab at the highest zoom, from the
// mouse event to the repainted view, and the rebuild of the composite with ten
// picture-sized parts selected.

#include "app/MainWindow.h"
#include "app/PictureView.h"
#include "grid/nvOffscreenPaint.h"
#include "platform/DeferredCalls.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

QApplication* App() {
    static int argc = 1;
    static char name[] = "bench_mainwindow";
    static char* argv[] = {name, nullptr};
    static auto* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return app;
}

// A window with an 800 x 600 picture of varied colours.
std::unique_ptr<TMainWindow> MakeWindow(const QTemporaryDir& settings) {
    App();
    TMainWindowSetup setup;
    setup.SettingsFile = settings.filePath(QStringLiteral("tintwell.conf"));
    auto window = std::make_unique<TMainWindow>(std::move(setup));
    tw::Bitmap picture(800, 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            picture.SetPixel(
                x, y, static_cast<tw::ColorValue>((x * 7) | ((y * 3) << 8) | ((x ^ y) << 16)) & 0xFEFEFE);
    window->Document().NewDocument(std::move(picture), QString());
    window->resize(1000, 760);
    window->show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    TDeferredCalls::RunQueue();
    return window;
}

void BM_BrushDabAtZoom9(benchmark::State& state) {
    const QTemporaryDir settings;
    auto window = MakeWindow(settings);
    TPictureView& view = *window->findChild<TPictureView*>();
    view.ZoomTo(9, {0, 0});
    window->findChild<QAction*>(QStringLiteral("largeBrush"))->trigger();
    TDeferredCalls::RunQueue();
    view.ensureVisible(4000, 3000);
    QApplication::processEvents();
    TnvOffscreenPaint* surface = view.Surface();
    const QPoint at = surface->mapFrom(view.viewport(), QPoint(200, 200));
    int step = 0;
    for (auto _ : state) {
        const QPointF p(at.x() + (step++ % 40), at.y());
        QMouseEvent move(QEvent::MouseMove, p, surface->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(surface, &move);
    }
    // The dabs must really have landed: count the part's pixels.
    const tw::Bitmap& part = window->Document().Part(0)->Bitmap;
    int painted = 0;
    for (int y = 0; y < part.Height(); ++y)
        for (int x = 0; x < part.Width(); ++x)
            painted += part.Pixel(x, y) != tw::kWhite;
    state.counters["part_pixels"] = painted;
}
BENCHMARK(BM_BrushDabAtZoom9)->Unit(benchmark::kMillisecond);

void BM_RebuildTenParts(benchmark::State& state) {
    const QTemporaryDir settings;
    auto window = MakeWindow(settings);
    TTintwellDocument& document = window->Document();
    for (int i = 0; i < 9; ++i)
        document.AddBlankPart();
    std::vector<TImagePart*> all;
    for (int i = 0; i < document.PartCount(); ++i) {
        tw::Bitmap& b = document.Part(i)->Bitmap;
        b.FillRect(QRect((i + 1) * 30, (i + 1) * 20, 400, 300),
                   static_cast<tw::ColorValue>((i + 1) * 0x101010));
        all.push_back(document.Part(i));
    }
    document.SetSelection(all);
    TPictureView& view = *window->findChild<TPictureView*>();
    for (auto _ : state) {
        view.RedrawLater();
        TDeferredCalls::RunQueue();
    }
    benchmark::DoNotOptimize(view.ViewBitmap().Pixel(100, 100));
}
BENCHMARK(BM_RebuildTenParts)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
