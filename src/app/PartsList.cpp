#include "app/PartsList.h"

#include "document/TintwellDocument.h"
#include "grid/nvGrid.h"
#include "platform/GraphicsLock.h"
#include "platform/Rounding.h"

#include <utility>
#include <vector>

TPartsList::TPartsList(TTintwellDocument& document, QWidget* parent) : QObject(parent), document_(document) {
    grid_ = new TnvGrid(parent);
    grid_->setObjectName(QStringLiteral("partsList"));
    TnvGrid& grid = *grid_;
    grid.SetHasInfoCol(false);
    grid.SetRowSelect(true);
    grid.SetMultiSelect(true);
    grid.SetExtendLastColumnToWidth(true);
    grid.FocusRect_Grid = false;
    TnvGrid_Column& number = grid.Columns().Add();
    number.SetHeaderText(tr("Number"));
    number.SetWidth(50);
    number.SetReadOnly(true);
    number.SetSortEnable(false);
    TnvGrid_Column& image = grid.Columns().Add();
    image.SetHeaderText(tr("Image"));
    image.SetWidth(200);
    image.SetReadOnly(true);
    image.SetSortEnable(false);
    grid.OnEditorCanModify = [](TVokGridView&, TVokCell*) { return false; };
    grid.OnCellSelectionChanged = [this](TVokGridView&, TVokCell*) { TakeSelection(); };
    grid.OnFocusChanged = [this](TnvOffscreenPaint&) { TakeSelection(); };
    // The number in large type, the part as a thumbnail.
    grid.OnUserRenderCell = [this](TVokGridView&, TPaintCanvas& canvas, TVokCell& cell, const QString&, bool,
                                   bool, TVokDrawStateSet, const TRect& rect, bool& defaultDraw) {
        const TGraphicsLockGuard lock;
        if (!cell.RowItem() || cell.RowItem()->Index() <= 0) return;
        defaultDraw = false;
        const TnvGrid_Column* column = grid_->ColumnOf(&cell);
        if (column && column->Index() == 0) {
            canvas.Font.Size = 24;
            canvas.Font.Color = kColorWindowText; // black, or light on a dark desktop
            canvas.Brush.Style = TBrushStyle::Clear;
            canvas.TextOut(rect.Left, rect.Top, QString::number(cell.RowItem()->Index()));
            canvas.Font.Size = 8;
            return;
        }
        const TImagePart* part = cell.RowItem()->Data.As<TImagePart>();
        if (!part || part->Bitmap.IsEmpty() || rect.Height() <= 0) return;
        const double k = static_cast<double>(part->Bitmap.Height()) / rect.Height();
        const int w = Round(part->Bitmap.Width() / k), h = Round(part->Bitmap.Height() / k);
        if (w <= 0 || h <= 0) return;
        tw::Bitmap thumbnail(w, h);
        thumbnail.StretchPlain(thumbnail.Rect(), part->Bitmap, part->Bitmap.Rect());
        canvas.DrawTransparent(rect.Left, rect.Top, thumbnail);
    };

    connect(&document_, &TTintwellDocument::PartInserted, this, &TPartsList::InsertRow);
    connect(&document_, &TTintwellDocument::PartRemoved, this,
            [this](int, TImagePart* part) { RemoveRow(part); });
    connect(&document_, &TTintwellDocument::SelectionChanged, this, &TPartsList::ShowSelection);
    // The thumbnails follow the parts.
    connect(&document_, &TTintwellDocument::Changed, grid_, [this] { grid_->Invalidate(); });
}

TPartsList::~TPartsList() {
    // The rows refer to the parts; the grid goes first, without telling the document.
    document_.disconnect(this);
    grid_->OnCellSelectionChanged = nullptr;
    grid_->OnFocusChanged = nullptr;
    delete grid_;
}

TImagePart* TPartsList::PartAt(int row) const {
    TVokCell* cell = grid_->Cells(0, row);
    if (!cell || !cell->RowItem()) return nullptr;
    return cell->RowItem()->Data.As<TImagePart>();
}

int TPartsList::RowOf(const TImagePart* part) const {
    for (int row = 1; row < grid_->RowCount(); ++row)
        if (PartAt(row) == part) return row;
    return -1;
}

void TPartsList::InsertRow(int index, TImagePart* part) {
    TnvGrid& grid = *grid_;
    grid.DefaultLayout().MinHeight = 70;
    const int row = index + 1; // below the header row
    const bool was = std::exchange(showing_, true);
    if (row >= grid.RowCount())
        grid.AddRow(part);
    else
        grid.RootCell().Rows().Insert(row).Data = part;
    showing_ = was;
    grid.Invalidate();
}

void TPartsList::RemoveRow(TImagePart* part) {
    const int row = RowOf(part);
    if (row < 0) return;
    TnvGrid& grid = *grid_;
    const bool was = std::exchange(showing_, true);
    if (TVokCell* cell = grid.Cells(0, row)) cell->SetSelected(false);
    // The row goes while its part is still alive, so nothing the grid fires on the way sees a freed part.
    grid.RootCell().Rows().Delete(row);
    showing_ = was;
    if (!grid.TopLeftCell() && grid.RowCount() > 1)
        if (TVokCell* last = grid.Cells(0, grid.RowCount() - 1)) grid.ScrollCellToTopLeft(*last);
    grid.Invalidate();
}

void TPartsList::ShowSelection() {
    // Taken from the grid: it shows it already.
    if (showing_) return;
    TnvGrid& grid = *grid_;
    const bool was = std::exchange(showing_, true);
    for (int row = 1; row < grid.RowCount(); ++row)
        if (TVokCell* cell = grid.Cells(0, row)) cell->SetSelected(document_.IsSelected(PartAt(row)));
    const int current = RowOf(document_.CurrentPart());
    TVokCell* focused = grid.FocusedCell();
    if (current < 0) {
        if (focused && !PartAt(focused->RowItem() ? focused->RowItem()->Index() : -1))
            grid.SetFocusedCell(nullptr);
    } else if (!focused || !focused->RowItem() || focused->RowItem()->Index() != current) {
        grid.SetFocusedCell(grid.Cells(0, current));
    }
    // Shift+click and Shift+arrow extend the selection from the current part,
    // also one the program just made current (a part just added, say).
    if (current >= 0) grid.RootCell().AnchorCell = grid.Cells(0, current);
    showing_ = was;
    grid.Invalidate();
}

void TPartsList::TakeSelection() {
    if (showing_) return;
    std::vector<TImagePart*> selected;
    for (int row = 1; row < grid_->RowCount(); ++row) {
        TVokCell* cell = grid_->Cells(0, row);
        if (cell && cell->Selected())
            if (TImagePart* part = PartAt(row)) selected.push_back(part);
    }
    TVokCell* focused = grid_->FocusedCell();
    const bool was = std::exchange(showing_, true);
    document_.SetSelection(selected);
    document_.SetCurrentPart(focused && focused->RowItem() ? PartAt(focused->RowItem()->Index()) : nullptr);
    // A click on a part makes its settings the current ones, even when the selection stays.
    document_.TakeSettingsOfFirstSelected();
    showing_ = was;
}
