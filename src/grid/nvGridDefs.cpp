#include "grid/nvGridDefs.h"

#include "grid/nvGridTree.h"

#include <algorithm>

namespace {

// Every loaded cell of a grid cell and of the grid cells inside it.
void ForEachCell(TVokGridCell& grid, const std::function<void(TVokCell&)>& visit) {
    const int32_t columns = grid.Columns().LoadedCount();
    const int32_t rows = grid.Rows().LoadedCount();
    for (int32_t c = 0; c < columns; ++c)
        for (int32_t r = 0; r < rows; ++r)
            if (TVokCell* cell = grid.Cells().CellAtPosition(c, r)) {
                visit(*cell);
                if (TVokGridCell* inner = cell->AsGridCell()) ForEachCell(*inner, visit);
            }
}

// Column items of a grid cell that still carry a definition being deleted
// lose it, so nothing reads a freed definition before the next rebuild.
void ForgetColumnIn(TVokGridCell& grid, const TnvGrid_Column& column) {
    TAxisContentList& columns = grid.Columns();
    for (int32_t p = 0; p < columns.LoadedCount(); ++p) {
        TAxisContentItem& item = columns.ItemAtPosition(p);
        if (item.Data.Get() == &column) item.Data = nullptr;
    }
}

constexpr int32_t InfoColumnWidth = 20;

} // namespace

// ---------------------------------------------------------------------------
// Columns

int32_t TnvGrid_Column::Index() const {
    return collection_.IndexOf(*this);
}

QString TnvGrid_Column::GetDisplayName() const {
    return headerText_.isEmpty() ? QStringLiteral("Column") + QString::number(Index()) : headerText_;
}

void TnvGrid_Column::Changed(TnvDefinitionChange change) const {
    collection_.Changed(change);
}

void TnvGrid_Column::Assign(const TnvGrid_Column& source) {
    if (&source == this) return;
    width_ = source.width_;
    kind_ = source.kind_;
    headerText_ = source.headerText_;
    sortEnable_ = source.sortEnable_;
    readOnly_ = source.readOnly_;
    subGridName_ = source.subGridName_;
    treeButton_ = source.treeButton_;
    hasIcon_ = source.hasIcon_;
    OnGetIconIndex = source.OnGetIconIndex;
    hidden_ = source.hidden_;
    Changed(TnvDefinitionChange::Axes);
}

void TnvGrid_Column::SetWidth(int32_t width) {
    if (width == width_) return;
    width_ = width;
    Changed(TnvDefinitionChange::Axes);
}

void TnvGrid_Column::SetHeaderText(const QString& text) {
    if (text == headerText_) return;
    headerText_ = text;
    Changed(TnvDefinitionChange::Axes);
}

void TnvGrid_Column::SetTreeButton(bool value) {
    if (value == treeButton_) return;
    treeButton_ = value;
    Changed(TnvDefinitionChange::Repaint);
}

void TnvGrid_Column::SetHasIcon(bool value) {
    if (value == hasIcon_) return;
    hasIcon_ = value;
    Changed(TnvDefinitionChange::Repaint);
}

void TnvGrid_Column::SetHidden(bool value) {
    if (value == hidden_) return;
    hidden_ = value;
    Changed(TnvDefinitionChange::Layout);
}

void TnvGrid_Column::SetGroupcells(bool value) {
    if (value == groupcells_) return;
    groupcells_ = value;
    Changed(TnvDefinitionChange::Layout);
}

void TnvGrid_Column::SetOnGroupcellCompare(TOnGroupcellCompare compare) {
    onGroupcellCompare_ = std::move(compare);
    Changed(TnvDefinitionChange::Layout);
}

TnvGrid_Columns::~TnvGrid_Columns() {
    OnChange = nullptr;
    OnColumnDeleting = nullptr;
    Clear();
}

std::unique_ptr<TnvGrid_Column> TnvGrid_Columns::NewItem(int32_t id) {
    return std::make_unique<TnvGrid_Column>(*this, id);
}

void TnvGrid_Columns::ItemDeleting(TnvGrid_Column& column) {
    if (OnColumnDeleting) OnColumnDeleting(column);
}

// ---------------------------------------------------------------------------
// Sub-grids

TnvGrid_SubGrid::TnvGrid_SubGrid(TnvGrid_SubGrids& collection, int32_t id)
    : collection_(collection), id_(id) {
    columns_.OnChange = [this](TnvDefinitionChange change) {
        if (change == TnvDefinitionChange::Axes) AxesDirty = true;
        Changed(change);
    };
    columns_.OnColumnDeleting = [this](const TnvGrid_Column& column) {
        for (TVokGridCell* cell : builtCells_)
            ForgetColumnIn(*cell, column);
    };
}

TnvGrid_SubGrid::~TnvGrid_SubGrid() {
    columns_.Clear();
    for (TVokGridCell* cell : builtCells_)
        if (auto* data = dynamic_cast<TVokSubGridCellData*>(cell->CellData.get());
            data && data->SubGrid == this)
            data->SubGrid = nullptr;
    builtCells_.clear();
}

int32_t TnvGrid_SubGrid::Index() const {
    return collection_.IndexOf(*this);
}

QString TnvGrid_SubGrid::GetDisplayName() const {
    return name_.isEmpty() ? QStringLiteral("SubGrid") + QString::number(Index()) : name_;
}

void TnvGrid_SubGrid::Changed(TnvDefinitionChange change) {
    collection_.Changed(change);
}

void TnvGrid_SubGrid::SetHasHeaders(bool value) {
    if (value == hasHeaders_) return;
    hasHeaders_ = value;
    AxesDirty = true;
    Changed(TnvDefinitionChange::Axes);
}

void TnvGrid_SubGrid::SetHasInfoCol(bool value) {
    if (value == hasInfoCol_) return;
    hasInfoCol_ = value;
    AxesDirty = true;
    Changed(TnvDefinitionChange::Axes);
}

void TnvGrid_SubGrid::SetExtendLastColumnToWidth(bool value) {
    if (value == extendLastColumnToWidth_) return;
    extendLastColumnToWidth_ = value;
    Changed(TnvDefinitionChange::Layout);
}

void TnvGrid_SubGrid::AddBuiltCell(TVokGridCell& cell) {
    if (std::find(builtCells_.begin(), builtCells_.end(), &cell) == builtCells_.end())
        builtCells_.push_back(&cell);
    if (auto* data = dynamic_cast<TVokSubGridCellData*>(cell.CellData.get())) {
        if (data->SubGrid && data->SubGrid != this) data->SubGrid->ForgetBuiltCell(&cell);
        data->SubGrid = this;
    }
}

void TnvGrid_SubGrid::ForgetBuiltCell(const TVokCell* cell) {
    builtCells_.erase(std::remove_if(builtCells_.begin(), builtCells_.end(),
                                     [cell](const TVokGridCell* built) { return built == cell; }),
                      builtCells_.end());
}

TnvGrid_SubGrids::~TnvGrid_SubGrids() {
    OnChange = nullptr;
    Clear();
}

std::unique_ptr<TnvGrid_SubGrid> TnvGrid_SubGrids::NewItem(int32_t id) {
    return std::make_unique<TnvGrid_SubGrid>(*this, id);
}

TnvGrid_SubGrid* TnvGrid_SubGrids::FindByName(const QString& name) const {
    for (int32_t i = Count() - 1; i >= 0; --i)
        if (Items(i).Name().compare(name, Qt::CaseInsensitive) == 0) return &Items(i);
    return nullptr;
}

// ---------------------------------------------------------------------------
// Cell layouts

TnvCellLayout::TnvCellLayout(TnvCellLayouts& collection, int32_t id) : collection_(collection), id_(id) {
    prop_.MinHeight = 20;
    prop_.MinWidth = 20;
    prop_.BackColor = clWindow;
    prop_.FrameColor = clBtnFace;
    prop_.FrameOptions = foRight;
    prop_.FontName = font_.Name;
    prop_.FontSize = font_.Size;
    prop_.FontStyle = font_.Style;
    prop_.FontColor = font_.Color;
}

int32_t TnvCellLayout::Index() const {
    return collection_.IndexOf(*this);
}

QString TnvCellLayout::GetDisplayName() const {
    return prop_.Name.isEmpty() ? QStringLiteral("TnvCellLayout") : prop_.Name;
}

void TnvCellLayout::Changed() const {
    collection_.Changed(TnvDefinitionChange::Layout);
}

void TnvCellLayout::SetName(const QString& name) {
    prop_.Name = name;
    Changed();
}

void TnvCellLayout::SetBackColor(TColor color) {
    prop_.BackColor = color;
    Changed();
}

void TnvCellLayout::SetFrontColor(TColor color) {
    prop_.FrontColor = color;
    Changed();
}

void TnvCellLayout::SetUseFontInfo(bool value) {
    prop_.UseFontInfo = value;
    Changed();
}

void TnvCellLayout::SetFont(const TFontInfo& font) {
    font_ = font;
    prop_.FontName = font.Name;
    prop_.FontSize = font.Size;
    prop_.FontStyle = font.Style;
    prop_.FontColor = font.Color;
    Changed();
}

void TnvCellLayout::SetMinWidth(int32_t value) {
    prop_.MinWidth = value;
    Changed();
}

void TnvCellLayout::SetMinHeight(int32_t value) {
    prop_.MinHeight = value;
    Changed();
}

void TnvCellLayout::SetWrapTextAndFit(bool value) {
    prop_.WrapTextAndFit = value;
    Changed();
}

void TnvCellLayout::SetWindowsFlagDraw(bool value) {
    prop_.WindowsFlagDraw = value;
    Changed();
}

void TnvCellLayout::SetWindowsFlags(uint32_t flags) {
    prop_.WindowsFlags = flags;
    Changed();
}

void TnvCellLayout::SetFrameOptionsUse(bool value) {
    prop_.FrameOptionsUse = value;
    Changed();
}

void TnvCellLayout::SetFrameOptions(TFrameOptions options) {
    prop_.FrameOptions = options;
    Changed();
}

void TnvCellLayout::SetFrameKind(TFrameKind kind) {
    prop_.FrameKind = kind;
    Changed();
}

void TnvCellLayout::SetFrameColor(TColor color) {
    prop_.FrameColor = color;
    Changed();
}

void TnvCellLayout::SetHorzAlignRight(bool value) {
    prop_.HorzAlignRight = value;
    Changed();
}

void TnvCellLayout::SetHorzAlignCenter(bool value) {
    prop_.HorzAlignCenter = value;
    Changed();
}

void TnvCellLayout::SetVertAlignCenter(bool value) {
    prop_.VertAlignCenter = value;
    Changed();
}

void TnvCellLayout::SetEndEllipsis(bool value) {
    prop_.EndEllipsis = value;
    Changed();
}

void TnvCellLayout::SetOnFrameLineDraw(TLayoutProp::TOnLineDraw draw) {
    prop_.OnFrameLineDraw = std::move(draw);
    Changed();
}

TnvCellLayouts::~TnvCellLayouts() {
    OnChange = nullptr;
    Clear();
}

std::unique_ptr<TnvCellLayout> TnvCellLayouts::NewItem(int32_t id) {
    return std::make_unique<TnvCellLayout>(*this, id);
}

void TnvCellLayouts::ItemDeleting(TnvCellLayout& layout) {
    if (OnLayoutDeleting) OnLayoutDeleting(layout.Prop());
}

TnvCellLayout* TnvCellLayouts::FindByName(const QString& name) const {
    for (int32_t i = Count() - 1; i >= 0; --i)
        if (Items(i).Name().compare(name, Qt::CaseInsensitive) == 0) return &Items(i);
    return nullptr;
}

// ---------------------------------------------------------------------------
// Building axes

void BuildAxesFromColumns(TVokGridCell& cell, const TnvGrid_Columns& columns, bool hasHeaders,
                          bool hasInfoCol, TnvGrid_SubGrid* subGrid) {
    TVokUpdateScope update(cell);
    TAxisContentList& columnAxis = cell.Columns();
    if (hasInfoCol) {
        if (columnAxis.FixedCount() == 0) columnAxis.InsertFixed();
        TAxisContentItem& info = *columnAxis.Item(0);
        info.Data = nullptr;
        info.SetExplicitSize(InfoColumnWidth);
    } else if (columnAxis.FixedCount() > 0) {
        columnAxis.Delete(0);
    }
    TAxisContentList& rowAxis = cell.Rows();
    if (hasHeaders) {
        if (rowAxis.FixedCount() == 0) rowAxis.InsertFixed();
    } else if (rowAxis.FixedCount() > 0) {
        rowAxis.Delete(0);
    }
    const int32_t fixed = columnAxis.FixedCount();
    const int32_t wanted = fixed + columns.Count();
    while (columnAxis.Count() < wanted)
        columnAxis.Append(&columns.Items(columnAxis.Count() - fixed));
    while (columnAxis.Count() > wanted)
        columnAxis.Delete(columnAxis.Count() - 1);
    for (int32_t i = 0; i < columns.Count(); ++i) {
        TnvGrid_Column& definition = columns.Items(i);
        TAxisContentItem& item = *columnAxis.Item(fixed + i);
        item.Data = &definition;
        item.SetExplicitSize(definition.Width());
    }
    if (subGrid) subGrid->AddBuiltCell(cell);
}

// ---------------------------------------------------------------------------
// The grid's configuration

TnvGridDefinitions::TnvGridDefinitions() {
    columns_.OnChange = [this](TnvDefinitionChange change) {
        if (change == TnvDefinitionChange::Axes) axesDirty_ = true;
        Changed(change);
    };
    columns_.OnColumnDeleting = [this](const TnvGrid_Column& column) { ForgetColumn(column); };
    subGrids_.OnChange = [this](TnvDefinitionChange change) { Changed(change); };
    cellLayouts_.OnChange = [this](TnvDefinitionChange change) { Changed(change); };
    cellLayouts_.OnLayoutDeleting = [this](const TLayoutProp& layout) { ForgetLayout(layout); };
}

TnvGridDefinitions::~TnvGridDefinitions() {
    // The grid is going too: no more notifications, but cells that point at
    // layouts, definitions or sub-grids are let go of first.
    OnChange = nullptr;
    cellLayouts_.Clear();
    subGrids_.Clear();
    columns_.Clear();
    Detach();
}

void TnvGridDefinitions::Changed(TnvDefinitionChange change) {
    if (OnChange) OnChange(change);
}

void TnvGridDefinitions::SetHasHeaders(bool value) {
    if (value == hasHeaders_) return;
    hasHeaders_ = value;
    axesDirty_ = true;
    Changed(TnvDefinitionChange::Axes);
}

void TnvGridDefinitions::SetHasInfoCol(bool value) {
    if (value == hasInfoCol_) return;
    hasInfoCol_ = value;
    axesDirty_ = true;
    Changed(TnvDefinitionChange::Axes);
}

void TnvGridDefinitions::Attach(TVokGridCellForViewer& root) {
    if (root_ == &root) return;
    Detach();
    root_ = &root;
    root.OnGetCellKind = [this](TVokGridCell& owner, TAxisContentItem& column, TAxisContentItem& row) {
        return CellKind(owner, column, row);
    };
    root.OnCellCreated = [this](TVokCell& cell) { InitCell(cell); };
    root.OnIsGroupColumn = [this](const TAxisContentItem& column) { return IsGroupColumn(column); };
    root.OnGroupCompare = [this](const TVokCell& above, const TVokCell& cell) {
        return GroupCompare(above, cell);
    };
    axesDirty_ = true;
}

void TnvGridDefinitions::Detach() {
    if (!root_) return;
    root_->OnGetCellKind = nullptr;
    root_->OnCellCreated = nullptr;
    root_->OnIsGroupColumn = nullptr;
    root_->OnGroupCompare = nullptr;
    root_ = nullptr;
}

bool TnvGridDefinitions::RebuildAxesIfDirty() {
    if (!root_) return false;
    bool rebuilt = false;
    if (axesDirty_) {
        BuildAxesFromColumns(*root_, columns_, hasHeaders_, hasInfoCol_, nullptr);
        axesDirty_ = false;
        rebuilt = true;
    }
    for (int32_t i = 0; i < subGrids_.Count(); ++i) {
        TnvGrid_SubGrid& subGrid = subGrids_.Items(i);
        if (!subGrid.AxesDirty) continue;
        // Rebuilding one cell can free others (sub-grids inside it), so each
        // is checked against the live list first.
        const std::vector<TVokGridCell*> cells = subGrid.BuiltCells();
        for (TVokGridCell* cell : cells) {
            const auto& live = subGrid.BuiltCells();
            if (std::find(live.begin(), live.end(), cell) == live.end()) continue;
            BuildAxesFromColumns(*cell, subGrid.Columns(), subGrid.HasHeaders(), subGrid.HasInfoCol(),
                                 &subGrid);
        }
        subGrid.AxesDirty = false;
        rebuilt = true;
    }
    return rebuilt;
}

void TnvGridDefinitions::ApplyHiddenFlags() {
    if (!root_) return;
    const auto apply = [](TVokGridCell& cell, const TnvGrid_Columns& definitions) {
        TAxisContentList& columns = cell.Columns();
        for (int32_t i = 0; i < definitions.Count(); ++i) {
            const TnvGrid_Column& definition = definitions.Items(i);
            TAxisContentItem* item = columns.LoadedItem(columns.FixedCount() + i);
            if (item && item->Data.Get() == &definition) item->SetHidden(definition.Hidden());
        }
    };
    apply(*root_, columns_);
    for (int32_t i = 0; i < subGrids_.Count(); ++i) {
        const TnvGrid_SubGrid& subGrid = subGrids_.Items(i);
        const std::vector<TVokGridCell*> cells = subGrid.BuiltCells();
        for (TVokGridCell* cell : cells)
            apply(*cell, subGrid.Columns());
    }
}

TnvGrid_Column* TnvGridDefinitions::ColumnOf(const TVokCell* cell) const {
    if (!cell || !cell->ColumnItem()) return nullptr;
    return cell->ColumnItem()->Data.As<TnvGrid_Column>();
}

TVokCellKind TnvGridDefinitions::CellKind(TVokGridCell& owner, TAxisContentItem& column,
                                          TAxisContentItem& row) const {
    const TnvGrid_Column* definition = column.Data.As<TnvGrid_Column>();
    if (!definition || (definition->Kind() != tckSubGrid && definition->Kind() != tckSubTree))
        return TVokCellKind::Simple;
    if (owner.IsFixed(column.Index(), row.Index())) return TVokCellKind::Simple;
    return TVokCellKind::Grid;
}

void TnvGridDefinitions::InitCell(TVokCell& cell) {
    const TnvGrid_Column* definition = ColumnOf(&cell);
    if (!definition) return;
    if (TVokGridCell* grid = cell.AsGridCell()) {
        BuildSubGrid(*grid, *definition);
        return;
    }
    if (cell.IsFixed()) return;
    if (!definition->LayoutName().isEmpty())
        if (TnvCellLayout* layout = cellLayouts_.FindByName(definition->LayoutName()))
            cell.Layout = &layout->Prop();
    if (TVokSimpleCellStringData* data = cell.StringData()) data->IsBool = definition->Kind() == tckBool;
}

void TnvGridDefinitions::BuildSubGrid(TVokGridCell& cell, const TnvGrid_Column& column) {
    QString name = column.SubGridName();
    if (column.OnContextSensitiveSubGrid && cell.RowItem())
        column.OnContextSensitiveSubGrid(column, *cell.RowItem(), name);
    if (TnvGrid_SubGrid* subGrid = subGrids_.FindByName(name))
        BuildAxesFromColumns(cell, subGrid->Columns(), subGrid->HasHeaders(), subGrid->HasInfoCol(), subGrid);
    if (column.Kind() != tckSubTree) return;
    auto* data = dynamic_cast<TVokSubGridCellDataTreeRef*>(cell.CellData.get());
    if (!data) return;
    data->IsTree = true;
    if (!data->Tree) data->Tree = std::make_unique<TnvGridTree>(cell);
    if (OnInitTreeSubDataList) OnInitTreeSubDataList(cell, *data->Tree);
}

bool TnvGridDefinitions::IsGroupColumn(const TAxisContentItem& column) const {
    const TnvGrid_Column* definition = column.Data.As<TnvGrid_Column>();
    return definition && definition->Groupcells();
}

bool TnvGridDefinitions::GroupCompare(const TVokCell& above, const TVokCell& cell) const {
    const TnvGrid_Column* definition = ColumnOf(&cell);
    if (definition && definition->OnGroupcellCompare())
        return definition->OnGroupcellCompare()(*definition, above, cell);
    return TVokGridCell::DefaultGroupCompare(above, cell);
}

void TnvGridDefinitions::ForgetColumn(const TnvGrid_Column& column) {
    if (root_) ForgetColumnIn(*root_, column);
}

void TnvGridDefinitions::ForgetLayout(const TLayoutProp& layout) {
    if (!root_) return;
    TLayoutProp* const fallback = root_->DefaultLayout;
    ForEachCell(*root_, [&](TVokCell& cell) {
        if (cell.Layout == &layout) cell.Layout = fallback;
    });
}

void TnvGridDefinitions::SortRows(const TnvGrid_Column& column, bool descending) {
    if (&column.Collection() != &columns_)
        throw std::invalid_argument("TnvGridDefinitions::SortRows: not a column of this grid");
    if (!root_) return;
    RebuildAxesIfDirty();
    TAxisContentList& rows = root_->Rows();
    const int32_t columnIndex = root_->Columns().FixedCount() + column.Index();
    // Only loaded rows: sorting must not load every virtual row.
    std::vector<TAxisContentItem*> order;
    for (int32_t p = rows.FixedCount(); p < rows.LoadedCount(); ++p)
        order.push_back(&rows.ItemAtPosition(p));
    bool doDefaultSort = true;
    if (OnUserSort) OnUserSort(column, order, descending, doDefaultSort);
    if (doDefaultSort) {
        struct Entry {
            TAxisContentItem* Row;
            TUserSortKey Key;
        };
        std::vector<Entry> entries;
        entries.reserve(order.size());
        for (TAxisContentItem* row : order) {
            TVokCell* cell = root_->Cells().LoadedCell(columnIndex, row->Index());
            QString text;
            if (cell && !cell->IsGridCell() && column.Kind() <= tckTime) {
                text = cell->Text();
                if (column.Kind() == tckDate && !text.isEmpty()) text = DateSortText(text);
            }
            TUserSortKey key = MakeUserSortKey(text, column.NumericSort(), row->Index());
            if (OnGetUserSortCompareString) OnGetUserSortCompareString(column, cell, key.Key);
            entries.push_back({row, std::move(key)});
        }
        std::stable_sort(entries.begin(), entries.end(), [descending](const Entry& a, const Entry& b) {
            return CompareUserSortKeys(a.Key, b.Key, descending) < 0;
        });
        order.clear();
        for (const Entry& e : entries)
            order.push_back(e.Row);
    }
    rows.Arrange(order);
}
