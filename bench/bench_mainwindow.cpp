// The main window's two hot paths: one brush dab at the highest zoom, from the
// mouse event to the repainted view, and the rebuild of the composite with ten
// picture-sized parts selected.

#include "app/Form_Main.h"
#include "platform/DeferredCalls.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollArea>

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
std::unique_ptr<TFormMain> MakeWindow() {
    App();
    auto form = std::make_unique<TFormMain>();
    tw::Bitmap picture(800, 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            picture.SetPixel(
                x, y, static_cast<tw::ColorValue>((x * 7) | ((y * 3) << 8) | ((x ^ y) << 16)) & 0xFEFEFE);
    form->Document.NewDocument(std::move(picture), QString());
    form->ResizeView();
    form->resize(1000, 760);
    form->show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    TDeferredCalls::RunQueue();
    return form;
}

void BM_BrushDabAtZoom9(benchmark::State& state) {
    auto form = MakeWindow();
    form->ZoomIndex = 9;
    form->ResizeView();
    form->ActionBrushLarge->trigger();
    TDeferredCalls::RunQueue();
    form->ScrollBox2->ensureVisible(4000, 3000);
    QApplication::processEvents();
    const QPoint at = form->ImageView->mapFrom(form->ScrollBox2->viewport(), QPoint(200, 200));
    int step = 0;
    for (auto _ : state) {
        const QPointF p(at.x() + (step++ % 40), at.y());
        QMouseEvent move(QEvent::MouseMove, p, form->ImageView->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(form->ImageView, &move);
    }
    // The dabs must really have landed: count the part's pixels.
    const tw::Bitmap& part = form->ImagePartAt(1)->Bitmap;
    int painted = 0;
    for (int y = 0; y < part.Height(); ++y)
        for (int x = 0; x < part.Width(); ++x)
            painted += part.Pixel(x, y) != tw::kWhite;
    state.counters["part_pixels"] = painted;
}
BENCHMARK(BM_BrushDabAtZoom9)->Unit(benchmark::kMillisecond);

void BM_RebuildTenParts(benchmark::State& state) {
    auto form = MakeWindow();
    for (int i = 0; i < 9; ++i)
        form->AddBlankImagePart();
    form->nvGridImageParts->RootCell().SelectAll(true);
    for (int row = 1; row <= 10; ++row) {
        tw::Bitmap& b = form->ImagePartAt(row)->Bitmap;
        b.FillRect(QRect(row * 30, row * 20, 400, 300), static_cast<tw::ColorValue>(row * 0x101010));
    }
    for (auto _ : state)
        form->RebuildViewBitmap();
    benchmark::DoNotOptimize(form->ViewBitmap.Pixel(100, 100));
}
BENCHMARK(BM_RebuildTenParts)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
