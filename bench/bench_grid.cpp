// Grid painting cost against row count: only visible cells are laid out and
// painted, so 100 000 rows should paint about as fast as 100.
#include "grid/nvGrid.h"

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

std::unique_ptr<TnvGrid> MakeGrid(int rows) {
    auto grid = std::make_unique<TnvGrid>();
    grid->SetHasInfoCol(false);
    grid->SetRowSelect(true);
    for (const char* header : {"Name", "Size", "Date"}) {
        TnvGrid_Column& column = grid->Columns().Add();
        column.SetHeaderText(header);
        column.SetWidth(120);
    }
    grid->resize(420, 600);
    for (int r = 0; r < rows; ++r) {
        const TAxisContentItem& row = grid->AddRow(nullptr);
        const int32_t index = row.Index();
        for (int c = 0; c < 3; ++c)
            if (auto* cell = dynamic_cast<TVokSimpleCell*>(grid->Cells(c, index)))
                cell->SetText(QString("row %1 col %2").arg(r).arg(c));
    }
    return grid;
}

void PaintGrid(benchmark::State& state) {
    const auto grid = MakeGrid(static_cast<int>(state.range(0)));
    QImage target(420, 600, QImage::Format_RGB32);
    grid->render(&target); // the first paint lays out
    for (auto _ : state) {
        grid->Invalidate();
        grid->render(&target);
        benchmark::DoNotOptimize(target.bits());
    }
}
BENCHMARK(PaintGrid)->Arg(100)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
