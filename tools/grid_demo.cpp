// A window with a filled grid: a text column, a check box column, a date
// column and a column drawn by the program (a colour swatch). Headers sort.
// For trying the grid by hand and taking pictures of it.

#include "grid/nvGrid.h"
#include "platform/ErrorReport.h"

#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>
#include <QWidget>

#include <array>

namespace {

struct Swatch {
    const char* Name;
    tw::ColorValue Colour; // R + 256 G + 65536 B
};

constexpr std::array<Swatch, 10> Swatches{{
    {"Sky", 0xEBCE87},
    {"Rust", 0x0E41B7},
    {"Moss", 0x3A7A4D},
    {"Sand", 0x8CC8E6},
    {"Plum", 0x803F8E},
    {"Slate", 0x908070},
    {"Coral", 0x507FFF},
    {"Olive", 0x008080},
    {"Ink", 0x3A2A1A},
    {"Lemon", 0x40E8FA},
}};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Grid demo"));
    auto* layout = new QVBoxLayout(&window);
    auto* grid = new TnvGrid(&window);
    layout->addWidget(grid, 1);
    layout->addWidget(new QLabel(QStringLiteral("Press CTRL to select multiple"), &window));

    grid->SetHasInfoCol(false);
    grid->SetRowSelect(true);
    grid->SetMultiSelect(true);
    grid->UserSortEnable = true;
    const auto addColumn = [&](const char* header, int width, TColumnKind kind) {
        TnvGrid_Column& column = grid->Columns().Add();
        column.SetHeaderText(QString::fromLatin1(header));
        column.SetWidth(width);
        column.SetKind(kind);
        column.SetSortEnable(true);
    };
    addColumn("Name", 120, tckSimpleEdit);
    addColumn("Done", 50, tckBool);
    addColumn("Date", 100, tckDate);
    addColumn("Colour", 80, tckSimpleEdit);

    const QDate first(2026, 3, 1);
    for (int i = 0; i < static_cast<int>(Swatches.size()); ++i) {
        grid->AddRow({});
        const int row = grid->RowCount() - 1;
        const Swatch& s = Swatches[static_cast<size_t>(i)];
        static_cast<TVokSimpleCell*>(grid->Cells(0, row))->SetText(QString::fromLatin1(s.Name));
        static_cast<TVokSimpleCell*>(grid->Cells(1, row))
            ->SetText(i % 3 == 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        static_cast<TVokSimpleCell*>(grid->Cells(2, row))
            ->SetText(QLocale().toString(first.addDays(i * 17 % 60), QLocale::ShortFormat));
        // The swatch column sorts by the colour number, padded for a text sort.
        static_cast<TVokSimpleCell*>(grid->Cells(3, row))
            ->SetText(QStringLiteral("%1").arg(s.Colour, 8, 16, QLatin1Char('0')));
    }

    grid->OnUserRenderCell = [](TVokGridView&, TPaintCanvas& canvas, TVokCell& cell, const QString& text,
                                bool, bool, TVokDrawStateSet state, const TRect& rect, bool& defaultDraw) {
        if (!cell.ColumnItem() || cell.ColumnItem()->Index() != 3 || state.testFlag(vokFixed)) return;
        defaultDraw = false;
        bool ok = false;
        const tw::ColorValue colour = text.toUInt(&ok, 16);
        if (!ok) return;
        const QRect box(rect.Left + 4, rect.Top + 3, std::max(0, rect.Width() - 8),
                        std::max(0, rect.Height() - 6));
        canvas.FillRect(box, tw::ColorValue{0});
        canvas.FillRect(box.adjusted(1, 1, -1, -1), colour);
    };

    window.resize(420, 330);
    window.show();
    grid->setFocus();
    return app.exec();
}
