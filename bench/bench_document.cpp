// Undo and redo on the document: a brush stroke across an 800 x 600 picture,
// up to the recomposed view (and its repaint at zoom 1), and "Change color..."
// on ten picture-sized parts.

#include "document/TintwellDocument.h"
#include "platform/ZoomedPainter.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

tw::Bitmap Picture() {
    tw::Bitmap picture(800, 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            picture.SetPixel(
                x, y, static_cast<tw::ColorValue>((x * 7) | ((y * 3) << 8) | ((x ^ y) << 16)) & 0xFEFEFE);
    return picture;
}

// A document whose views recompose and repaint what it says changed, as the
// main window does.
struct Viewed {
    TTintwellDocument doc;
    tw::Bitmap view;
    tw::Bitmap screen{800, 600};

    Viewed() {
        doc.NewDocument(Picture(), "bench.png");
        view = doc.ComposeView(true);
        QObject::connect(&doc, &TTintwellDocument::Changed,
                         [this](const QRect& rect, const QList<TImagePart*>&) {
                             doc.ComposeViewRect(view, rect, true);
                             tw::ScrollBoxState box;
                             box.Width = 800;
                             box.Height = 600;
                             tw::Canvas canvas(screen);
                             tw::PaintZoomed(box, {&view}, 4, canvas);
                         });
    }
};

// A drag from corner to corner with the large brush: a dab every 4 pixels.
void Stroke(TTintwellDocument& doc, TStrokeKind kind) {
    doc.BeginStroke();
    for (int i = 0; i <= 200; ++i)
        doc.Dab(kind, QPoint(i * 4, i * 3), 8);
    doc.EndStroke();
}

void BM_UndoBrushStroke(benchmark::State& state) {
    Viewed v;
    Stroke(v.doc, TStrokeKind::Brush);
    for (auto _ : state) {
        v.doc.Undo();
        state.PauseTiming();
        v.doc.Redo();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoBrushStroke)->Unit(benchmark::kMillisecond);

void BM_RedoBrushStroke(benchmark::State& state) {
    Viewed v;
    Stroke(v.doc, TStrokeKind::Brush);
    for (auto _ : state) {
        state.PauseTiming();
        v.doc.Undo();
        state.ResumeTiming();
        v.doc.Redo();
    }
}
BENCHMARK(BM_RedoBrushStroke)->Unit(benchmark::kMillisecond);

// The stroke itself, dab by dab, with the saving of its old pixels.
void BM_BrushStroke(benchmark::State& state) {
    Viewed v;
    for (auto _ : state)
        Stroke(v.doc, TStrokeKind::Brush);
}
BENCHMARK(BM_BrushStroke)->Unit(benchmark::kMillisecond);

void BM_UndoChangeColorTenParts(benchmark::State& state) {
    Viewed v;
    const tw::Bitmap mask(800, 600, 0x000001); // every pixel in the part
    std::vector<TImagePart*> parts;
    for (int i = 0; i < 10; ++i)
        parts.push_back(v.doc.AddGrownPart(mask, {0, 0}));
    v.doc.SetSelection(parts);
    v.doc.ChangeColor({200, false, false, 20, -10, false});
    for (auto _ : state) {
        v.doc.Undo();
        state.PauseTiming();
        v.doc.Redo();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoChangeColorTenParts)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
