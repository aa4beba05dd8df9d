#include "grid/nvGrid.h"

#include "grid/nvGridTree.h"
#include "platform/DeferredCalls.h"

TnvGrid::TnvGrid(QWidget* parent) : TVokGridView(parent) {
    definitions_.SetHasHeaders(true);
    definitions_.SetHasInfoCol(true);
    definitions_.OnChange = [this](TnvDefinitionChange change) { DefinitionsChanged(change); };
    definitions_.OnInitTreeSubDataList = [this](TVokGridCell& cell, TnvGridTree& tree) {
        if (OnInitTreeSubDataList) OnInitTreeSubDataList(*this, cell, tree);
    };
    definitions_.OnUserSort = [this](const TnvGrid_Column& column, std::vector<TAxisContentItem*>& rows,
                                     bool descending, bool& doDefaultSort) {
        if (OnUserSort) OnUserSort(*this, column, rows, descending, doDefaultSort);
    };
    definitions_.OnGetUserSortCompareString = [this](const TnvGrid_Column& column, TVokCell* cell,
                                                     QString& compareStr) {
        if (OnGetUserSortCompareString) OnGetUserSortCompareString(*this, column, cell, compareStr);
    };
    // Installs the cell-kind, layout and group hooks; marks the axes dirty.
    definitions_.Attach(RootCell());
}

TnvGrid::~TnvGrid() {
    TDeferredCalls::CancelAll(this);
}

void TnvGrid::DefinitionsChanged(TnvDefinitionChange change) {
    if (change == TnvDefinitionChange::Axes && SortColumn && Columns().IndexOf(*SortColumn) < 0)
        SortColumn = nullptr;
    if (change != TnvDefinitionChange::Repaint) NeedMeasure = true;
    Invalidate();
}

void TnvGrid::SetRowSelect(bool value) {
    RootCell().RowSelect = value;
    Invalidate();
}

void TnvGrid::SetExtendLastColumnToWidth(bool value) {
    if (value == extendLastColumnToWidth_) return;
    extendLastColumnToWidth_ = value;
    if (!value && LastExtendColumn >= 0) {
        // The column gets its own width back.
        TAxisContentList& columns = RootCell().Columns();
        if (TAxisContentItem* item = columns.LoadedItem(LastExtendColumn))
            if (const TnvGrid_Column* definition = item->Data.As<TnvGrid_Column>())
                item->SetExplicitSize(definition->Width());
        LastExtendColumn = -1;
    }
    NeedMeasure = true;
    Invalidate();
}

// --- Layout ----------------------------------------------------------------------------

void TnvGrid::BeforeLayout() {
    TVokGridView::BeforeLayout();
    if (definitions_.RebuildAxesIfDirty()) NeedMeasure = true;
}

void TnvGrid::DoMeasure() {
    definitions_.ApplyHiddenFlags();
    QueueExtend();
    TVokGridView::DoMeasure();
}

void TnvGrid::QueueExtend() {
    TDeferredCalls::Queue(this, &TnvGrid::ExtendLastColumns);
}

void TnvGrid::ExtendLastColumns() {
    Guarded([this] {
        if (extendLastColumnToWidth_) ExtendLastColumnOf(RootCell(), true);
        for (int32_t i = 0; i < SubGrids().Count(); ++i) {
            const TnvGrid_SubGrid& subGrid = SubGrids().Items(i);
            if (!subGrid.ExtendLastColumnToWidth()) continue;
            const std::vector<TVokGridCell*> cells = subGrid.BuiltCells();
            for (TVokGridCell* cell : cells)
                ExtendLastColumnOf(*cell, false);
        }
    });
}

void TnvGrid::ExtendLastColumnOf(TVokGridCell& grid, bool isRoot) {
    TAxisContentList& columns = grid.Columns();
    if (columns.Count() <= columns.FixedCount()) return;
    const int32_t last = columns.Count() - 1;
    TAxisContentItem* item = columns.Item(last);
    if (!item) return;
    if (isRoot) LastExtendColumn = last;
    if (item->HasExplicitSize() && item->ExplicitSize() == ExtendedColumnWidth) return;
    // Laid out this wide and clipped at the right edge; ColumnWidthOf tells
    // the width that shows.
    item->SetExplicitSize(ExtendedColumnWidth, true);
    NeedMeasure = true;
    Invalidate();
}

void TnvGrid::DoScrollChanged() {
    const int32_t first = RootCell().FirstScrolledColumn();
    if (extendLastColumnToWidth_ && first != lastFirstScrolledColumn_) {
        NeedMeasure = true;
        QueueExtend();
    }
    lastFirstScrolledColumn_ = first;
    TVokGridView::DoScrollChanged();
}

void TnvGrid::DoSizeChanged(TAxisContentItem& item) {
    TVokGridView::DoSizeChanged(item);
    TAxisContentList& axis = item.Owner();
    const int32_t index = item.Index() - axis.FixedCount();
    if (axis.IsRows()) {
        if (OnRowResized) OnRowResized(*this, index);
        return;
    }
    const bool subGridStretches = [&] {
        for (int32_t i = 0; i < SubGrids().Count(); ++i)
            if (SubGrids().Items(i).ExtendLastColumnToWidth()) return true;
        return false;
    }();
    if (subGridStretches) QueueExtend();
    if (OnColumnResized) OnColumnResized(*this, index);
}

void TnvGrid::Resize() {
    // Wrapped text and the stretched column depend on the width.
    NeedMeasure = true;
    TVokGridView::Resize();
}

// --- Content -----------------------------------------------------------------------------

void TnvGrid::GetCellContent(TVokCell& cell, QString& theString, bool& theBoolean, bool& theIsStringEdit) {
    TVokGridView::GetCellContent(cell, theString, theBoolean, theIsStringEdit);
    const TVokGridCell* owner = cell.Owner();
    if (!owner || !cell.RowItem() || cell.RowItem()->Index() >= owner->FixedRowCount()) return;
    if (const TnvGrid_Column* column = ColumnOf(&cell)) {
        theString = column->HeaderText();
        theIsStringEdit = true;
        theBoolean = false;
    }
}

bool TnvGrid::CanModify(TVokCell& cell) {
    if (const TnvGrid_Column* column = ColumnOf(&cell); column && column->ReadOnly()) return false;
    return TVokGridView::CanModify(cell);
}

uint8_t TnvGrid::EditorKindOf(TVokCell& cell) {
    const uint8_t kind = TVokGridView::EditorKindOf(cell);
    const TnvGrid_Column* column = ColumnOf(&cell);
    if (!column) return kind;
    switch (column->Kind()) {
    case tckSimpleEdit:
        return 0;
    case tckMemo:
        return 1;
    case tckBool:
        return 3;
    case tckCombo:
        return 2;
    case tckDate:
    case tckTime:
        return 4;
    default:
        return kind;
    }
}

bool TnvGrid::EditsDate(TVokCell& cell) {
    const TnvGrid_Column* column = ColumnOf(&cell);
    return column && column->Kind() == tckDate;
}

bool TnvGrid::CanSortBy(TVokCell& headerCell) {
    const TnvGrid_Column* column = ColumnOf(&headerCell);
    return UserSortEnable && column && column->SortEnable() && headerCell.Owner() == &RootCell();
}

void TnvGrid::BeforeEditWithCombo(TVokCell& cell) {
    if (TnvGrid_Column* column = ColumnOf(&cell); column && OnBeforeEditWithCombo)
        OnBeforeEditWithCombo(*this, *column, cell);
}

void TnvGrid::SortByColumn(TVokCell& headerCell, bool descending) {
    TVokGridView::SortByColumn(headerCell, descending);
    TnvGrid_Column* column = ColumnOf(&headerCell);
    if (!column || headerCell.Owner() != &RootCell()) return;
    SortColumn = column;
    bool goOnInternalSort = true;
    if (OnColumnSort) OnColumnSort(*this, *column, descending, goOnInternalSort);
    if (goOnInternalSort) definitions_.SortRows(*column, descending);
}

bool TnvGrid::HasTreeButton(TVokCell& cell) {
    const TnvGrid_Column* column = ColumnOf(&cell);
    return column && column->TreeButton() && cell.RowItem() && cell.RowItem()->TreeNode();
}

bool TnvGrid::HasIcon(TVokCell& cell, int32_t& iconIndex) {
    const TnvGrid_Column* column = ColumnOf(&cell);
    if (!column || !column->HasIcon()) return false;
    const TnvDataEntity_GridTreeNode* node = cell.RowItem() ? cell.RowItem()->TreeNode() : nullptr;
    iconIndex = node ? (node->Expanded ? node->ExpandedIconIndex : node->CollapsedIconIndex) : -1;
    if (column->OnGetIconIndex) column->OnGetIconIndex(*column, cell, iconIndex);
    return true;
}

// --- Application operations ------------------------------------------------------------

int32_t TnvGrid::RowCount() {
    definitions_.RebuildAxesIfDirty();
    return RootCell().Rows().Count();
}

TVokCell* TnvGrid::Cells(int32_t column, int32_t row) {
    definitions_.RebuildAxesIfDirty();
    return RootCell().GetCell(column, row);
}

TAxisContentItem& TnvGrid::AddRow(TObjectRef object) {
    definitions_.RebuildAxesIfDirty();
    return RootCell().Rows().Append(object);
}

TVokCell* TnvGrid::FocusedCell() {
    definitions_.RebuildAxesIfDirty();
    return RootCell().DeepFocusedCell();
}

void TnvGrid::SetFocusedCell(TVokCell* cell) {
    definitions_.RebuildAxesIfDirty();
    // The root follows into nested grid cells, so the whole chain points at it.
    RootCell().SetFocused(cell);
}

TVokCell* TnvGrid::TopLeftCell() {
    definitions_.RebuildAxesIfDirty();
    TVokGridCellForViewer& root = RootCell();
    const int32_t row = root.FirstScrolledRow();
    if (row >= root.Rows().Count()) return nullptr;
    TAxisContentList& columns = root.Columns();
    for (int32_t column = root.FirstScrolledColumn(); column < columns.Count(); ++column) {
        const TAxisContentItem* item = columns.Item(column);
        if (item && !item->Hidden()) return root.GetCell(column, row);
    }
    return nullptr;
}

void TnvGrid::ScrollCellToTopLeft(const TVokCell& cell) {
    definitions_.RebuildAxesIfDirty();
    if (!cell.ColumnItem() || !cell.RowItem()) return;
    TVokGridCellForViewer& root = RootCell();
    root.SetFirstScrolledColumn(cell.ColumnItem()->Index());
    root.SetFirstScrolledRow(cell.RowItem()->Index());
}
