#pragma once
// TnvGrid: the grid view with its design-time configuration (columns,
// sub-grids, cell layouts), header row and information column, user sorting,
// tree rows and the last column stretched to the right edge.
//
// A list of image parts, for example, is two read-only columns under a
// header row:
//
//     grid.SetHasInfoCol(false);
//     grid.SetRowSelect(true);
//     grid.SetMultiSelect(true);
//     grid.SetExtendLastColumnToWidth(true);
//     grid.FocusRect_Grid = false;
//     TnvGrid_Column& number = grid.Columns().Add();
//     number.SetHeaderText("Number");
//     number.SetWidth(50);
//     ...
//     grid.DefaultLayout().MinHeight = 70;
//     grid.AddRow(part);

#include "grid/nvGridDefs.h"
#include "grid/nvVokGridView.h"

#include <functional>

class TnvGrid : public TVokGridView {
    Q_OBJECT

  public:
    // Indexes count without the fixed items.
    using TOnResizeEvent = std::function<void(TnvGrid& aGrid, int32_t index)>;
    using TOnColumnSort =
        std::function<void(TnvGrid& aGrid, TnvGrid_Column& aColumn, bool aUpNotDown, bool& GoOnInternalSort)>;
    using TOnCellEvent = std::function<void(TnvGrid& aGrid, TnvGrid_Column& aColumn, TVokCell& aVokCell)>;
    using TOnUserSort =
        std::function<void(TnvGrid& aGrid, const TnvGrid_Column& aSortingColumn,
                           std::vector<TAxisContentItem*>& rows, bool descending, bool& aDoDefaultSort)>;
    using TOnGetUserSortCompareString = std::function<void(
        TnvGrid& aGrid, const TnvGrid_Column& aSortingColumn, TVokCell* aVokcell, QString& aCompareStr)>;
    using TOnInitTreeSubDataList =
        std::function<void(TnvGrid& aGrid, TVokGridCell& aCell, TnvGridTree& aTree)>;

    explicit TnvGrid(QWidget* parent = nullptr);
    ~TnvGrid() override;

    // --- Configuration ---
    TnvGrid_Columns& Columns() { return definitions_.Columns(); }
    TnvGrid_SubGrids& SubGrids() { return definitions_.SubGrids(); }
    TnvCellLayouts& CellLayouts() { return definitions_.CellLayouts(); }
    bool HasHeaders() const { return definitions_.HasHeaders(); }
    void SetHasHeaders(bool value) { definitions_.SetHasHeaders(value); }
    bool HasInfoCol() const { return definitions_.HasInfoCol(); }
    void SetHasInfoCol(bool value) { definitions_.SetHasInfoCol(value); }
    bool RowSelect() const { return RootCell().RowSelect; }
    void SetRowSelect(bool value);
    bool MultiSelect() const { return RootCell().MultiSelect; }
    void SetMultiSelect(bool value) { RootCell().MultiSelect = value; }
    // The last column reaches the right edge (see ColumnWidthOf).
    bool ExtendLastColumnToWidth() const { return extendLastColumnToWidth_; }
    void SetExtendLastColumnToWidth(bool value);
    bool UserSortEnable = false;
    bool AxesDirty() const { return definitions_.AxesDirty(); }

    // --- Events ---
    TOnColumnSort OnColumnSort;
    TOnInitTreeSubDataList OnInitTreeSubDataList;
    TOnResizeEvent OnColumnResized;
    TOnResizeEvent OnRowResized;
    TOnGetUserSortCompareString OnGetUserSortCompareString;
    TOnUserSort OnUserSort;
    TOnCellEvent OnBeforeEditWithCombo;

    // --- What the application uses; each brings the axes up to date first ---
    // Rows, the header row included.
    int32_t RowCount();
    // Null beyond the loaded range.
    TVokCell* Cells(int32_t column, int32_t row);
    // A new last row carrying the object.
    TAxisContentItem& AddRow(TObjectRef object);
    // The deepest focused cell, or null.
    TVokCell* FocusedCell();
    // Null clears the focus.
    void SetFocusedCell(TVokCell* cell);
    // The definition of the cell's column; null for the information column.
    TnvGrid_Column* ColumnOf(const TVokCell* cell) const { return definitions_.ColumnOf(cell); }
    // The first shown cell of the scrolled part; null when the rows it was
    // scrolled to are gone.
    TVokCell* TopLeftCell();
    void ScrollCellToTopLeft(const TVokCell& cell);

    // Results of the last user sort.
    TnvGrid_Column* SortColumn = nullptr;
    // The column given the stretched width last, -1 when none.
    int32_t LastExtendColumn = -1;

    using TVokGridView::ApplyEdit;
    using TVokGridView::GetCellContent;
    void GetCellContent(TVokCell& cell, QString& theString, bool& theBoolean, bool& theIsStringEdit) override;
    bool CanModify(TVokCell& cell) override;
    // The editor of the column's kind.
    uint8_t EditorKindOf(TVokCell& cell) override;
    bool EditsDate(TVokCell& cell) override;
    // Header cells of columns with SortEnable, while UserSortEnable is on.
    bool CanSortBy(TVokCell& headerCell) override;
    void BeforeEditWithCombo(TVokCell& cell) override;
    void SortByColumn(TVokCell& headerCell, bool descending) override;

  protected:
    void BeforeLayout() override;
    void DoMeasure() override;
    bool LastColumnStretches() const override { return extendLastColumnToWidth_; }
    void DoScrollChanged() override;
    void DoSizeChanged(TAxisContentItem& item) override;
    void Resize() override;
    bool HasTreeButton(TVokCell& cell) override;
    bool HasIcon(TVokCell& cell, int32_t& iconIndex) override;

  private:
    void DefinitionsChanged(TnvDefinitionChange change);
    void ExtendLastColumns();
    void ExtendLastColumnOf(TVokGridCell& grid, bool isRoot);
    void QueueExtend();

    TnvGridDefinitions definitions_;
    bool extendLastColumnToWidth_ = false;
    int32_t lastFirstScrolledColumn_ = -1;
};
