#pragma once
// The grid's design-time configuration: column definitions, sub-grid
// definitions and named cell layouts, and what turns them into cells: the
// axes of a grid cell built from a set of column definitions, the kind and
// layout of each new cell, sub-grids for sub-grid columns, and sorting rows
// by a column.

#include "grid/nvVokGridContent.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

enum TColumnKind : int32_t {
    tckSimpleEdit = 0,
    tckMemo = 1,
    tckBool = 2,
    tckCombo = 3,
    tckDate = 4,
    tckTime = 5,
    tckSubGrid = 6,
    tckSubTree = 7,
};

// What a change to a definition asks of the grid.
enum class TnvDefinitionChange {
    Axes,    // rebuild the axes before the next cell access or paint
    Layout,  // measure and place again
    Repaint, // draw again
};

// An owned, ordered collection of definitions. Each item gets an ID unique in
// its collection, which stays when items are inserted, moved or deleted.
template <class TItem> class TnvCollection {
  public:
    TnvCollection() = default;
    virtual ~TnvCollection() = default; // derived collections Clear() in their destructors
    TnvCollection(const TnvCollection&) = delete;
    TnvCollection& operator=(const TnvCollection&) = delete;

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    TItem& Items(int32_t index) const { return *items_.at(static_cast<size_t>(index)); }
    TItem& operator[](int32_t index) const { return Items(index); }
    int32_t IndexOf(const TItem& item) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i].get() == &item) return static_cast<int32_t>(i);
        return -1;
    }

    TItem& Add() { return Insert(Count()); }
    TItem& Insert(int32_t index) {
        if (index < 0 || index > Count())
            throw std::out_of_range("TnvCollection::Insert: index out of range");
        items_.insert(items_.begin() + index, NewItem(nextId_++));
        TItem& item = *items_[static_cast<size_t>(index)];
        ItemAdded(item);
        return item;
    }
    void Delete(int32_t index) {
        if (index < 0 || index >= Count())
            throw std::out_of_range("TnvCollection::Delete: index out of range");
        ItemDeleting(*items_[static_cast<size_t>(index)]);
        std::unique_ptr<TItem> gone = std::move(items_[static_cast<size_t>(index)]);
        items_.erase(items_.begin() + index);
        ItemDeleted();
    }
    void Clear() {
        while (!items_.empty())
            Delete(Count() - 1);
    }

  protected:
    virtual std::unique_ptr<TItem> NewItem(int32_t id) = 0;
    virtual void ItemAdded(TItem&) {}
    virtual void ItemDeleting(TItem&) {}
    virtual void ItemDeleted() {}

  private:
    std::vector<std::unique_ptr<TItem>> items_;
    int32_t nextId_ = 0;
};

class TnvGrid_Columns;
class TnvGrid_SubGrids;
class TnvCellLayouts;

// One column definition.
class TnvGrid_Column {
  public:
    using TOnGetIconIndex =
        std::function<void(const TnvGrid_Column& column, TVokCell& cell, int32_t& iconIndex)>;
    using TOnGroupcellCompare =
        std::function<bool(const TnvGrid_Column& column, const TVokCell& above, const TVokCell& cell)>;
    // May change, per row, the name of the sub-grid a cell of this column shows.
    using TOnContextSensitiveSubGrid =
        std::function<void(const TnvGrid_Column& column, TAxisContentItem& row, QString& subGridName)>;

    TnvGrid_Column(TnvGrid_Columns& collection, int32_t id) : collection_(collection), id_(id) {}

    TnvGrid_Columns& Collection() const { return collection_; }
    int32_t ID() const { return id_; }
    int32_t Index() const;
    // HeaderText, or "Column" and the index.
    QString GetDisplayName() const;

    // Copies Width, Kind, HeaderText, SortEnable, ReadOnly, SubGridName,
    // TreeButton, HasIcon, OnGetIconIndex and Hidden.
    void Assign(const TnvGrid_Column& source);

    int32_t Width() const { return width_; }
    void SetWidth(int32_t width);
    TColumnKind Kind() const { return kind_; }
    void SetKind(TColumnKind kind) { kind_ = kind; }
    const QString& HeaderText() const { return headerText_; }
    void SetHeaderText(const QString& text);
    bool SortEnable() const { return sortEnable_; }
    void SetSortEnable(bool value) { sortEnable_ = value; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    const QString& SubGridName() const { return subGridName_; }
    void SetSubGridName(const QString& name) { subGridName_ = name; }
    bool TreeButton() const { return treeButton_; }
    void SetTreeButton(bool value);
    bool HasIcon() const { return hasIcon_; }
    void SetHasIcon(bool value);
    TOnGetIconIndex OnGetIconIndex;
    bool Hidden() const { return hidden_; }
    void SetHidden(bool value);
    const QString& LayoutName() const { return layoutName_; }
    void SetLayoutName(const QString& name) { layoutName_ = name; }
    bool Groupcells() const { return groupcells_; }
    void SetGroupcells(bool value);
    bool NumericSort() const { return numericSort_; }
    void SetNumericSort(bool value) { numericSort_ = value; }
    const TOnGroupcellCompare& OnGroupcellCompare() const { return onGroupcellCompare_; }
    void SetOnGroupcellCompare(TOnGroupcellCompare compare);
    TOnContextSensitiveSubGrid OnContextSensitiveSubGrid;
    bool CheckBoxOnDateTime() const { return checkBoxOnDateTime_; }
    void SetCheckBoxOnDateTime(bool value) { checkBoxOnDateTime_ = value; }

  private:
    void Changed(TnvDefinitionChange change) const;

    TnvGrid_Columns& collection_;
    int32_t id_;
    int32_t width_ = 0;
    TColumnKind kind_ = tckSimpleEdit;
    QString headerText_;
    bool sortEnable_ = false;
    bool readOnly_ = false;
    QString subGridName_;
    bool treeButton_ = false;
    bool hasIcon_ = false;
    bool hidden_ = false;
    QString layoutName_;
    bool groupcells_ = false;
    bool numericSort_ = false;
    TOnGroupcellCompare onGroupcellCompare_;
    bool checkBoxOnDateTime_ = false;
};

class TnvGrid_Columns : public TnvCollection<TnvGrid_Column> {
  public:
    TnvGrid_Columns() = default;
    ~TnvGrid_Columns() override;

    // Set by whoever owns the collection.
    std::function<void(TnvDefinitionChange)> OnChange;
    std::function<void(const TnvGrid_Column&)> OnColumnDeleting;

    void Changed(TnvDefinitionChange change) const {
        if (OnChange) OnChange(change);
    }

  protected:
    std::unique_ptr<TnvGrid_Column> NewItem(int32_t id) override;
    void ItemAdded(TnvGrid_Column&) override { Changed(TnvDefinitionChange::Axes); }
    void ItemDeleting(TnvGrid_Column& column) override;
    void ItemDeleted() override { Changed(TnvDefinitionChange::Axes); }
};

// A named set of column definitions that grid cells of sub-grid columns show.
// It keeps the grid cells currently built from it.
class TnvGrid_SubGrid {
  public:
    TnvGrid_SubGrid(TnvGrid_SubGrids& collection, int32_t id);
    ~TnvGrid_SubGrid();
    TnvGrid_SubGrid(const TnvGrid_SubGrid&) = delete;
    TnvGrid_SubGrid& operator=(const TnvGrid_SubGrid&) = delete;

    TnvGrid_SubGrids& Collection() const { return collection_; }
    int32_t ID() const { return id_; }
    int32_t Index() const;
    // Name, or "SubGrid" and the index.
    QString GetDisplayName() const;

    const QString& Name() const { return name_; }
    void SetName(const QString& name) { name_ = name; }
    TnvGrid_Columns& Columns() { return columns_; }
    const TnvGrid_Columns& Columns() const { return columns_; }
    bool HasHeaders() const { return hasHeaders_; }
    void SetHasHeaders(bool value);
    bool HasInfoCol() const { return hasInfoCol_; }
    void SetHasInfoCol(bool value);
    bool ExtendLastColumnToWidth() const { return extendLastColumnToWidth_; }
    void SetExtendLastColumnToWidth(bool value);

    const std::vector<TVokGridCell*>& BuiltCells() const { return builtCells_; }
    void AddBuiltCell(TVokGridCell& cell);
    void ForgetBuiltCell(const TVokCell* cell);
    // Set when the definitions changed since the built cells were last built.
    bool AxesDirty = false;

  private:
    void Changed(TnvDefinitionChange change);

    TnvGrid_SubGrids& collection_;
    int32_t id_;
    QString name_;
    TnvGrid_Columns columns_;
    bool hasHeaders_ = true;
    bool hasInfoCol_ = false;
    bool extendLastColumnToWidth_ = false;
    std::vector<TVokGridCell*> builtCells_;
};

class TnvGrid_SubGrids : public TnvCollection<TnvGrid_SubGrid> {
  public:
    TnvGrid_SubGrids() = default;
    ~TnvGrid_SubGrids() override;

    std::function<void(TnvDefinitionChange)> OnChange;
    void Changed(TnvDefinitionChange change) const {
        if (OnChange) OnChange(change);
    }
    // Names compare without regard to case; of several with one name the last
    // one counts.
    TnvGrid_SubGrid* FindByName(const QString& name) const;

  protected:
    std::unique_ptr<TnvGrid_SubGrid> NewItem(int32_t id) override;
};

// The font of a cell layout; an empty name means the grid's own font.
struct TFontInfo {
    QString Name;
    int32_t Size = 8;
    TFontStyles Style;
    TColor Color = clBlack;
    bool operator==(const TFontInfo&) const = default;
};

// A named look for cells. It owns the TLayoutProp that its cells point at and
// writes every property straight into it.
class TnvCellLayout {
  public:
    TnvCellLayout(TnvCellLayouts& collection, int32_t id);

    TnvCellLayouts& Collection() const { return collection_; }
    int32_t ID() const { return id_; }
    int32_t Index() const;
    QString GetDisplayName() const;

    TLayoutProp& Prop() { return prop_; }
    const TLayoutProp& Prop() const { return prop_; }

    const QString& Name() const { return prop_.Name; }
    void SetName(const QString& name);
    TColor BackColor() const { return prop_.BackColor; }
    void SetBackColor(TColor color);
    TColor FrontColor() const { return prop_.FrontColor; }
    void SetFrontColor(TColor color);
    bool UseFontInfo() const { return prop_.UseFontInfo; }
    void SetUseFontInfo(bool value);
    const TFontInfo& Font() const { return font_; }
    // Copies name, size, style and colour into the layout.
    void SetFont(const TFontInfo& font);
    int32_t MinWidth() const { return prop_.MinWidth; }
    void SetMinWidth(int32_t value);
    int32_t MinHeight() const { return prop_.MinHeight; }
    void SetMinHeight(int32_t value);
    bool WrapTextAndFit() const { return prop_.WrapTextAndFit; }
    void SetWrapTextAndFit(bool value);
    bool WindowsFlagDraw() const { return prop_.WindowsFlagDraw; }
    void SetWindowsFlagDraw(bool value);
    uint32_t WindowsFlags() const { return prop_.WindowsFlags; }
    void SetWindowsFlags(uint32_t flags);
    bool FrameOptionsUse() const { return prop_.FrameOptionsUse; }
    void SetFrameOptionsUse(bool value);
    TFrameOptions FrameOptions() const { return prop_.FrameOptions; }
    void SetFrameOptions(TFrameOptions options);
    TFrameKind FrameKind() const { return prop_.FrameKind; }
    void SetFrameKind(TFrameKind kind);
    TColor FrameColor() const { return prop_.FrameColor; }
    void SetFrameColor(TColor color);
    bool HorzAlignRight() const { return prop_.HorzAlignRight; }
    void SetHorzAlignRight(bool value);
    bool HorzAlignCenter() const { return prop_.HorzAlignCenter; }
    void SetHorzAlignCenter(bool value);
    bool VertAlignCenter() const { return prop_.VertAlignCenter; }
    void SetVertAlignCenter(bool value);
    bool EndEllipsis() const { return prop_.EndEllipsis; }
    void SetEndEllipsis(bool value);
    const TLayoutProp::TOnLineDraw& OnFrameLineDraw() const { return prop_.OnFrameLineDraw; }
    void SetOnFrameLineDraw(TLayoutProp::TOnLineDraw draw);

  private:
    void Changed() const;

    TnvCellLayouts& collection_;
    int32_t id_;
    TFontInfo font_;
    TLayoutProp prop_;
};

class TnvCellLayouts : public TnvCollection<TnvCellLayout> {
  public:
    TnvCellLayouts() = default;
    ~TnvCellLayouts() override;

    std::function<void(TnvDefinitionChange)> OnChange;
    // Cells still pointing at the layout must be given another before it goes.
    std::function<void(const TLayoutProp&)> OnLayoutDeleting;
    void Changed(TnvDefinitionChange change) const {
        if (OnChange) OnChange(change);
    }
    // Case-insensitive; of several with one name the last one counts.
    TnvCellLayout* FindByName(const QString& name) const;

  protected:
    std::unique_ptr<TnvCellLayout> NewItem(int32_t id) override;
    void ItemDeleting(TnvCellLayout& layout) override;
};

// Makes the axes of a grid cell match a set of column definitions: the
// information column and header row as asked, one column per definition
// carrying it, each sized by its Width. With a sub-grid, the cell is recorded
// in it.
void BuildAxesFromColumns(TVokGridCell& cell, const TnvGrid_Columns& columns, bool hasHeaders,
                          bool hasInfoCol, TnvGrid_SubGrid* subGrid);

// The configuration of one grid and its bond with the grid's root cell:
// attached, it decides which new cells are sub-grids, gives cells the layout
// named by their column, builds sub-grids, marks group columns, and keeps the
// root's axes in step with the column definitions.
class TnvGridDefinitions {
  public:
    using TOnUserSort = std::function<void(const TnvGrid_Column& column, std::vector<TAxisContentItem*>& rows,
                                           bool descending, bool& doDefaultSort)>;
    using TOnGetUserSortCompareString =
        std::function<void(const TnvGrid_Column& sortingColumn, TVokCell* cell, QString& compareStr)>;

    TnvGridDefinitions();
    ~TnvGridDefinitions();
    TnvGridDefinitions(const TnvGridDefinitions&) = delete;
    TnvGridDefinitions& operator=(const TnvGridDefinitions&) = delete;

    TnvGrid_Columns& Columns() { return columns_; }
    TnvGrid_SubGrids& SubGrids() { return subGrids_; }
    TnvCellLayouts& CellLayouts() { return cellLayouts_; }

    bool HasHeaders() const { return hasHeaders_; }
    void SetHasHeaders(bool value);
    bool HasInfoCol() const { return hasInfoCol_; }
    void SetHasInfoCol(bool value);
    bool AxesDirty() const { return axesDirty_; }

    // Tells the grid what a change of the configuration needs.
    std::function<void(TnvDefinitionChange)> OnChange;
    // A cell of a tckSubTree column got its tree; the application fills it.
    std::function<void(TVokGridCell& cell, TnvGridTree& tree)> OnInitTreeSubDataList;
    TOnUserSort OnUserSort;
    TOnGetUserSortCompareString OnGetUserSortCompareString;

    // Installs the cell hooks in the root; the root must outlive the
    // attachment (Detach, or destroy this first).
    void Attach(TVokGridCellForViewer& root);
    void Detach();
    TVokGridCellForViewer* Root() const { return root_; }

    // Rebuilds the root's axes and those of changed sub-grids' cells; true
    // when anything was rebuilt.
    bool RebuildAxesIfDirty();
    // Copies each definition's Hidden flag to its column items.
    void ApplyHiddenFlags();
    // The definition a cell's column carries; null for the information column.
    TnvGrid_Column* ColumnOf(const TVokCell* cell) const;
    // Sorts the loaded data rows of the root by one of its columns.
    void SortRows(const TnvGrid_Column& column, bool descending);

    // The hooks installed by Attach.
    TVokCellKind CellKind(TVokGridCell& owner, TAxisContentItem& column, TAxisContentItem& row) const;
    void InitCell(TVokCell& cell);
    bool IsGroupColumn(const TAxisContentItem& column) const;
    bool GroupCompare(const TVokCell& above, const TVokCell& cell) const;

  private:
    void Changed(TnvDefinitionChange change);
    void BuildSubGrid(TVokGridCell& cell, const TnvGrid_Column& column);
    void ForgetColumn(const TnvGrid_Column& column);
    void ForgetLayout(const TLayoutProp& layout);

    TnvGrid_Columns columns_;
    TnvGrid_SubGrids subGrids_;
    TnvCellLayouts cellLayouts_;
    bool hasHeaders_ = true;
    bool hasInfoCol_ = true;
    bool axesDirty_ = true;
    TVokGridCellForViewer* root_ = nullptr;
};
