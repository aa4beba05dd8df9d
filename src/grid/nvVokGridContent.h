#pragma once
// The grid's cell model. A grid is a tree of cells: a grid cell has a column
// axis and a row axis and owns one cell for every (column, row) pair; a cell is
// either a simple cell with text (or a Boolean) or itself a grid cell. The view
// lays the tree out, paints it and feeds it input; nothing in here draws. The
// root cell carries the view's hooks, so the model can ask the view (measure a
// text, load a virtual row, decide a cell's kind) without knowing it.
//
// Everything runs on the GUI thread; nothing here locks.

#include "grid/nvTypes.h"

#include <QFlags>
#include <QLocale>
#include <QRect>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <typeinfo>
#include <variant>
#include <vector>

class TPaintCanvas;
class TAxisContentItem;
class TAxisContentList;
class TCellMatrix;
class TVokCell;
class TVokSimpleCell;
class TVokGridCell;
class TVokGridCellForViewer;
class TLayoutProp;
class TnvGrid_SubGrid;
class TnvGridTree;
class TnvDataEntity_GridTreeNode;
class TVokGridView;

// A failure of the model. The texts are the program's own; a few structural
// misuses carry no text at all.
class EVokGridError : public std::runtime_error {
  public:
    explicit EVokGridError(const char* message = "") : std::runtime_error(message) {}
};

// Colours (TColor, cl...) and modifier keys (TShiftState, ss...): nvTypes.h.

// ---------------------------------------------------------------------------
// A rectangle by its edges; Right and Bottom lie just outside it.
struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool Contains(int32_t x, int32_t y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
    static TRect FromQRect(const QRect& r) {
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }
    bool operator==(const TRect&) const = default;
};

// The rectangle of a cell that the last paint did not show.
constexpr TRect NoCellRect{-1, -1, -1, -1};

// ---------------------------------------------------------------------------
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFontStyles)

enum TFrameOption : uint8_t { foLeft = 1, foRight = 2, foTop = 4, foBottom = 8 };
Q_DECLARE_FLAGS(TFrameOptions, TFrameOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFrameOptions)

enum class TFrameKind : uint8_t { fkNormal, fk3d };

enum TVokDrawState : uint8_t { vokFixed = 1, vokSelected = 2, vokFocused = 4 };
Q_DECLARE_FLAGS(TVokDrawStateSet, TVokDrawState)
Q_DECLARE_OPERATORS_FOR_FLAGS(TVokDrawStateSet)

// ---------------------------------------------------------------------------
// A non-owning reference to an application object of any type (an axis item's
// Data). It remembers the type it was stored as, so reading it back as another
// type gives null instead of a wrong pointer.
class TObjectRef {
  public:
    TObjectRef() = default;
    TObjectRef(std::nullptr_t) {}
    template <class T> TObjectRef(T* object) : object_(object), type_(object ? &typeid(T) : nullptr) {}

    template <class T> T* As() const {
        return type_ && *type_ == typeid(T) ? static_cast<T*>(const_cast<void*>(object_)) : nullptr;
    }
    const void* Get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    bool operator==(const TObjectRef& other) const { return object_ == other.object_; }

  private:
    const void* object_ = nullptr;
    const std::type_info* type_ = nullptr;
};

// ---------------------------------------------------------------------------
// Events. A listener is either owned by its event (Add) or by someone else
// (Attach), in which case it detaches itself when it goes. Listeners run in
// the order they were added; one that is removed while the event fires is not
// called any more, and a listener may safely remove itself.
using TEventArg = std::variant<std::monostate, TVokCell*, TAxisContentItem*>;

class TEvent;

class TSingleEventListener {
  public:
    using TMethod = std::function<void(void* sender, TEvent& event, const TEventArg& argument)>;

    explicit TSingleEventListener(TMethod method = {}) : Method(std::move(method)) {}
    ~TSingleEventListener();
    TSingleEventListener(const TSingleEventListener&) = delete;
    TSingleEventListener& operator=(const TSingleEventListener&) = delete;

    TEvent* Event() const { return event_; }
    bool OwnedByEvent() const { return ownedByEvent_; }

    TMethod Method;
    void* LastSender = nullptr;
    TEvent* LastEvent = nullptr;
    TEventArg LastArgument;

  private:
    friend class TEvent;
    TEvent* event_ = nullptr;
    bool ownedByEvent_ = false;
};

class TEvent {
  public:
    explicit TEvent(void* sender = nullptr) : Sender(sender) {}
    ~TEvent();
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    // A listener owned and freed by this event.
    TSingleEventListener& Add(TSingleEventListener::TMethod method);
    // A listener owned elsewhere; it must not already listen to another event.
    void Attach(TSingleEventListener& listener);
    // Stops calling the listener; frees it when this event owns it.
    void Detach(TSingleEventListener& listener);
    void Fire(const TEventArg& argument = {});
    int32_t ListenerCount() const;

    void* Sender;

  private:
    void Compact();

    std::vector<TSingleEventListener*> listeners_;
    std::vector<std::unique_ptr<TSingleEventListener>> owned_;
    std::vector<std::unique_ptr<TSingleEventListener>> released_; // freed once firing ends
    int firing_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// ---------------------------------------------------------------------------
// The size record some items share: a change through one item shows in all.
struct TSharedSize {
    int32_t ExplicitSize = 0;
    bool HasExplicitSize = false;
};

// One row or one column.
class TAxisContentItem {
  public:
    explicit TAxisContentItem(TAxisContentList& owner) : owner_(&owner) {}
    ~TAxisContentItem();
    TAxisContentItem(const TAxisContentItem&) = delete;
    TAxisContentItem& operator=(const TAxisContentItem&) = delete;

    // What the application hangs on the row or column; never freed here.
    TObjectRef Data;

    TnvDataEntity_GridTreeNode* TreeNode() const { return treeNode_; }
    // Links the item and the node both ways, dropping an earlier link.
    void SetTreeNode(TnvDataEntity_GridTreeNode* node);

    TAxisContentList& Owner() const { return *owner_; }

    // Results of the last layout.
    int32_t Size = 0;
    int32_t Position = 0;

    int32_t ExplicitSize() const { return sharedSize_ ? sharedSize_->ExplicitSize : explicitSize_; }
    bool HasExplicitSize() const { return sharedSize_ ? sharedSize_->HasExplicitSize : hasExplicitSize_; }
    // Sets the size and whether it applies; tells the root's SizeChanged.
    void SetExplicitSize(int32_t size, bool hasExplicitSize = true);
    void SetHasExplicitSize(bool hasExplicitSize) { SetExplicitSize(ExplicitSize(), hasExplicitSize); }
    const std::shared_ptr<TSharedSize>& SharedSize() const { return sharedSize_; }
    void SetSharedSize(std::shared_ptr<TSharedSize> shared) { sharedSize_ = std::move(shared); }

    bool Hidden() const { return hidden_; }
    // Hidden items take no space and are skipped by navigation.
    void SetHidden(bool hidden);

    // Logical index in the axis; renumbered lazily after structural changes.
    int32_t Index() const;
    bool InVisibleList() const { return inVisibleList_; }

  private:
    friend class TAxisContentList;
    TAxisContentList* owner_;
    TnvDataEntity_GridTreeNode* treeNode_ = nullptr;
    int32_t explicitSize_ = 0;
    bool hasExplicitSize_ = false;
    std::shared_ptr<TSharedSize> sharedSize_;
    bool hidden_ = false;
    int32_t index_ = 0;
    bool inVisibleList_ = false;
};

// What a virtual-unload handler is asked and answers. First and Last are
// logical indexes; while Perform is false the handler may widen the interval;
// when Perform is true the items are about to go, and CanUnload = false means
// they could not be loaded again, so they are deleted instead of counted.
struct TVirtualUnload {
    int32_t First = 0;
    int32_t Last = 0;
    bool Perform = false;
    bool CanUnload = true;
};

// One axis of a grid cell: its rows or its columns. Items may exist only as
// counts (virtual loading): UnloadedBefore items precede the loaded window and
// UnloadedAfter follow it; the fixed items are always loaded.
class TAxisContentList {
  public:
    static constexpr int32_t MaxLoadWindow = 500;

    TAxisContentList(TVokGridCell& ownerCell, bool isRows) : ownerCell_(ownerCell), isRows_(isRows) {}
    ~TAxisContentList();
    TAxisContentList(const TAxisContentList&) = delete;
    TAxisContentList& operator=(const TAxisContentList&) = delete;

    bool LastLoadAtFront = false;
    int32_t LoadDepth = 0;
    // Attached to the next inserted item, then forgotten.
    TnvDataEntity_GridTreeNode* PendingTreeNode = nullptr;
    int32_t LoadedFrom = -1;
    int32_t LoadedTo = -1;

    TVokGridCell& OwnerCell() const { return ownerCell_; }
    bool IsRows() const { return isRows_; }

    int32_t Count() const;
    int32_t LoadedCount() const { return static_cast<int32_t>(items_.size()); }
    int32_t HiddenCount() const { return static_cast<int32_t>(hiddenItems_.size()); }
    int32_t FixedCount() const { return fixedCount_; }
    int32_t UnloadedBefore() const { return unloadedBefore_; }
    int32_t UnloadedAfter() const { return unloadedAfter_; }

    // Index <-> position in the loaded items.
    int32_t PositionOf(int32_t index) const { return index < fixedCount_ ? index : index - unloadedBefore_; }
    int32_t IndexOfPosition(int32_t position) const {
        return position < fixedCount_ ? position : position + unloadedBefore_;
    }
    bool IsLoaded(int32_t index) const;

    // The item at index, loading it first when needed; null out of range.
    TAxisContentItem* Item(int32_t index);
    // The item at index only when it is loaded.
    TAxisContentItem* LoadedItem(int32_t index) const;
    TAxisContentItem& ItemAtPosition(int32_t position) const {
        return *items_.at(static_cast<size_t>(position));
    }
    const std::vector<TAxisContentItem*>& VisibleItems() const { return visibleItems_; }
    const std::vector<TAxisContentItem*>& HiddenItems() const { return hiddenItems_; }

    // Inserts an item at index (0 <= index <= Count) with its cells; an index
    // inside the fixed items makes the new item fixed too.
    TAxisContentItem& Insert(int32_t index, TnvDataEntity_GridTreeNode* treeNode = nullptr);
    // Inserts a fixed item after the existing fixed ones (a header row, an
    // information column).
    TAxisContentItem& InsertFixed();
    // The way rows are added: a new last item carrying data.
    TAxisContentItem& Append(TObjectRef data = {});
    // Deletes the item at index with its cells; the item's Data is not freed.
    void Delete(int32_t index);
    void Move(int32_t fromIndex, int32_t toIndex);
    // Deletes every item at or after index, loaded or not.
    void DeleteFrom(int32_t index);
    void Clear() { DeleteFrom(fixedCount_); }
    // Adds items that exist only as counts, after everything there is.
    void AddUnloaded(int32_t count);
    // Puts the given loaded, non-fixed items first after the fixed ones, in
    // that order.
    void Arrange(const std::vector<TAxisContentItem*>& order);

    // Virtual loading.
    void EnsureLoaded(int32_t index);
    // The pass after each layout: drops loaded items outside [LoadedFrom,
    // LoadedTo] that are neither shown nor hold a selected cell.
    void UnloadOutsideLoadedRange();

    // Layout's list of placed items.
    void ClearVisible();
    void AddVisible(TAxisContentItem& item);

    // Brings every loaded item's Index up to date.
    void FlushRenumber();

  private:
    friend class TAxisContentItem;
    struct TLoadScope;

    TAxisContentItem& InsertAtPosition(int32_t position, int32_t index, bool fixed, TObjectRef data,
                                       TnvDataEntity_GridTreeNode* treeNode,
                                       int32_t* unloadedCount = nullptr);
    void DeleteAtPosition(int32_t position);
    void MarkRenumber(int32_t index);
    void LoadRange(int32_t first, int32_t last, bool atFront);
    void UnloadAll();
    bool UnloadEnd(bool atFront);
    void ReportUnloaded(int32_t first, int32_t last);
    void RemoveFromLists(TAxisContentItem& item);
    void ContentChanged(TAxisContentItem* item);

    TVokGridCell& ownerCell_;
    bool isRows_;
    std::vector<std::unique_ptr<TAxisContentItem>> items_;
    std::vector<TAxisContentItem*> visibleItems_;
    std::vector<TAxisContentItem*> hiddenItems_;
    int32_t fixedCount_ = 0;
    int32_t unloadedBefore_ = 0;
    int32_t unloadedAfter_ = 0;
    bool renumberPending_ = false;
    int32_t renumberFrom_ = 0;
};

// Walks an axis the way layout shows it: the fixed items 0 .. F - 1, then the
// scrolled part S .. N - 1.
class TVisibleIterator {
  public:
    TVisibleIterator(int32_t fixedCount, int32_t firstScrolled, int32_t count)
        : fixed_(fixedCount), first_(std::max(firstScrolled, fixedCount)), count_(count),
          next_(fixedCount > 0 ? 0 : first_) {}
    bool Next(int32_t& index) {
        if (next_ == fixed_ && next_ < first_) next_ = first_;
        if (next_ >= count_) return false;
        index = next_++;
        return true;
    }

  private:
    int32_t fixed_, first_, count_, next_;
};

// The cells of a grid cell: one list per loaded column, each holding one cell
// per loaded row, by position.
class TCellMatrix {
  public:
    explicit TCellMatrix(TVokGridCell& owner) : owner_(owner) {}
    ~TCellMatrix();
    TCellMatrix(const TCellMatrix&) = delete;
    TCellMatrix& operator=(const TCellMatrix&) = delete;

    TVokGridCell& Owner() const { return owner_; }

    // Loads both indexes; null when either lies outside the axes.
    TVokCell* GetCell(int32_t column, int32_t row);
    // No loading: null for an unloaded index.
    TVokCell* LoadedCell(int32_t column, int32_t row) const;
    TVokCell* CellAtPosition(int32_t columnPosition, int32_t rowPosition) const;
    bool AnySelectedInColumn(int32_t column) const;
    bool AnySelectedInRow(int32_t row) const;

    // Structural changes, made by the axes. The axis must belong to the owner.
    void ItemInserted(const TAxisContentList& axis, int32_t position);
    std::vector<std::unique_ptr<TVokCell>> ItemRemoved(const TAxisContentList& axis, int32_t position);
    void ItemMoved(const TAxisContentList& axis, int32_t fromPosition, int32_t toPosition);
    // Frees every cell (the owner going away).
    void Clear();

  private:
    void CheckAxis(const TAxisContentList& axis) const;

    TVokGridCell& owner_;
    std::vector<std::vector<std::unique_ptr<TVokCell>>> columns_;
};

// ---------------------------------------------------------------------------
// The resolved look of a cell; cells point at one, they never own it.
class TLayoutProp {
  public:
    using TOnLineDraw =
        std::function<void(TLayoutProp& layout, TFrameOption side, TVokCell& cell, const TRect& drawRect,
                           int32_t startPix, int32_t stopPix, bool& doDefaultDraw, TPaintCanvas& canvas)>;

    QString Name;
    TColor BackColor = clWindow;
    TColor FrontColor = clBlack;
    bool UseFontInfo = false;
    TColor FontColor = clBlack;
    QString FontName;
    int32_t FontSize = 8;
    TFontStyles FontStyle;
    int32_t MinWidth = 20;
    int32_t MinHeight = 20;
    bool WrapTextAndFit = false;
    bool WindowsFlagDraw = false;
    uint32_t WindowsFlags = 0;
    TFrameOptions FrameOptions;
    TFrameKind FrameKind = TFrameKind::fkNormal;
    TColor FrameColor = clBtnFace;
    bool FrameOptionsUse = false;
    bool HorzAlignRight = false;
    bool HorzAlignCenter = false;
    bool VertAlignCenter = false;
    bool EndEllipsis = false;
    TOnLineDraw OnFrameLineDraw;
};

// ---------------------------------------------------------------------------
// Cell content.
class TVokCellData {
  public:
    explicit TVokCellData(TVokCell& owner) : owner_(owner) {}
    virtual ~TVokCellData() = default;
    TVokCellData(const TVokCellData&) = delete;
    TVokCellData& operator=(const TVokCellData&) = delete;
    TVokCell& Owner() const { return owner_; }

  private:
    TVokCell& owner_;
};

class TVokSimpleCellData : public TVokCellData {
  public:
    using TVokCellData::TVokCellData;
};

class TVokSimpleCellStringData : public TVokSimpleCellData {
  public:
    using TVokSimpleCellData::TVokSimpleCellData;

    const QString& Text() const { return text_; }
    // Stores the text; a cell whose layout wraps is measured again.
    void SetText(const QString& text);
    // A check box cell: its text reads as true when it is "TRUE" in any case.
    bool IsBool = false;
    bool AsBool() const { return text_.compare(QStringLiteral("TRUE"), Qt::CaseInsensitive) == 0; }

  private:
    QString text_;
};

class TVokGridCellData : public TVokCellData {
  public:
    using TVokCellData::TVokCellData;
};

// A sub-grid. SubGrid is the definition the grid cell was built from, kept in
// step by the definition (null once it is gone).
class TVokSubGridCellData : public TVokGridCellData {
  public:
    using TVokGridCellData::TVokGridCellData;
    ~TVokSubGridCellData() override;

    TnvGrid_SubGrid* SubGrid = nullptr;
};

// A sub-grid whose rows may show a tree.
class TVokSubGridCellDataTreeRef : public TVokSubGridCellData {
  public:
    explicit TVokSubGridCellDataTreeRef(TVokCell& owner);
    ~TVokSubGridCellDataTreeRef() override;

    bool IsTree = false;
    std::unique_ptr<TnvGridTree> Tree;
};

// ---------------------------------------------------------------------------
// The base cell.
class TVokCell {
  public:
    TVokCell(TVokGridCell* owner, TAxisContentItem* columnItem, TAxisContentItem* rowItem);
    virtual ~TVokCell();
    TVokCell(const TVokCell&) = delete;
    TVokCell& operator=(const TVokCell&) = delete;

    // Set by the last paint for merged runs of group cells (see TVokGridCell).
    bool Grouped = false;
    bool GroupTail = false;

    TVokGridCell* Owner() const { return owner_; }
    TAxisContentItem* ColumnItem() const { return columnItem_; }
    TAxisContentItem* RowItem() const { return rowItem_; }
    TVokGridCellForViewer* Root() const { return root_; }

    // Per-cell notification: fired when the content changes.
    TEvent Changed{this};

    // Given by the last paint; NoCellRect while the cell is not shown.
    TRect Rect = NoCellRect;
    std::unique_ptr<TVokCellData> CellData;
    // Null for fixed cells.
    TLayoutProp* Layout = nullptr;
    bool MeasurePending = false;
    // Text height measured by the view for a wrapping layout.
    int32_t CustomHeight = 0;

    virtual int32_t NeededHeight() const { return neededHeight_; }
    virtual int32_t NeededWidth() const { return neededWidth_; }
    virtual bool Selected() const { return selected_; }
    virtual void SetSelected(bool value);
    virtual TRect GetRect() const { return Rect; }
    virtual void BeginUpdate();
    virtual void EndUpdate();
    virtual void Measure() = 0;

    // Candidate extents for layout: an explicit row height or column width
    // wins over the measured one, but never below the layout's minimum.
    int32_t CandidateHeight() const;
    int32_t CandidateWidth() const;

    bool IsFixed() const;
    bool IsGridCell() const;
    TVokGridCell* AsGridCell();
    // The text of a string cell; empty for anything else.
    QString Text() const;
    TVokSimpleCellStringData* StringData() const;
    // Stores the rectangle and hands the cell to the view's painting hook.
    void Paint(const TRect& rect, TVokDrawStateSet state);

  protected:
    // Tells the view and the ancestors that this cell goes. Called by the most
    // derived destructor first, while the cell is still whole.
    void BeforeDestroy() noexcept;

    int32_t neededHeight_ = 0;
    int32_t neededWidth_ = 0;
    bool selected_ = false;
    // Whether CustomHeight belongs to the current text.
    bool textMeasured_ = false;

  private:
    friend class TVokGridCellForViewer;
    friend class TVokSimpleCellStringData;
    TVokGridCell* owner_;
    TVokGridCellForViewer* root_;
    TAxisContentItem* columnItem_;
    TAxisContentItem* rowItem_;
    bool destroying_ = false;
};

class TVokSimpleCell : public TVokCell {
  public:
    using TVokCell::TVokCell;
    ~TVokSimpleCell() override;

    void SetText(const QString& text);
    void Measure() override;
};

enum class TVokCellKind { Simple, Grid };

// A cell with its own axes and cells.
class TVokGridCell : public TVokCell {
  public:
    TVokGridCell(TVokGridCell* owner, TAxisContentItem* columnItem, TAxisContentItem* rowItem);
    ~TVokGridCell() override;

    bool MultiSelect = true;
    TAxisContentList& Columns() const { return *columns_; }
    TAxisContentList& Rows() const { return *rows_; }
    TCellMatrix& Cells() const { return *cells_; }
    TEvent ScrollChanged{this};
    TEvent FocusChanged{this};

    // Never inside the fixed items, even when those were added later.
    int32_t FirstScrolledRow() const { return std::max(firstScrolledRow_, FixedRowCount()); }
    int32_t FirstScrolledColumn() const { return std::max(firstScrolledColumn_, FixedColumnCount()); }
    // Not below the fixed count; fires ScrollChanged on a change.
    void SetFirstScrolledRow(int32_t row);
    void SetFirstScrolledColumn(int32_t column);

    // Results of the last Place.
    TRect LayoutRect;
    int32_t VisibleColumnCount = 0;
    int32_t VisibleRowCount = 0;
    bool AllColumnsFit = true;
    int32_t LastVisibleColumn = -1;
    bool AllRowsFit = true;

    TVokCell* FocusedCell = nullptr;
    TVokCell* AnchorCell = nullptr;
    bool RowSelect = false;

    int32_t FixedColumnCount() const { return columns_->FixedCount(); }
    int32_t FixedRowCount() const { return rows_->FixedCount(); }
    TVokCell* GetCell(int32_t column, int32_t row) { return cells_->GetCell(column, row); }

    // Content for a new cell, from the root's factory for its kind.
    virtual std::unique_ptr<TVokCellData> CreateCellData(TVokCell& cell);
    // A new cell at (column, row) of this grid: kind, content, layout.
    std::unique_ptr<TVokCell> CreateCell(TAxisContentItem& column, TAxisContentItem& row);

    void SetSelected(bool value) override;
    void Measure() override;

    using TVokCell::IsFixed;
    bool IsFixed(int32_t column, int32_t row) const;
    // Sets the flag of every loaded non-fixed cell in this grid cell.
    void SelectAll(bool value);
    // Selection by a click or key: plain, Shift (rectangle from the anchor),
    // Ctrl (toggle).
    void SelectCell(TVokCell* cell, TShiftState shift);
    // Focuses a cell of this grid cell or of a nested one; null clears.
    void SetFocused(TVokCell* cell);
    // Follows FocusedCell down through nested grid cells.
    TVokCell* DeepFocusedCell() const;
    // Whether cell lies somewhere inside this grid cell.
    bool Contains(const TVokCell& cell) const;

    // Lays the cells out in rect: measures as many columns and rows as fit,
    // fills the visible lists with positions, then unloads what is not needed.
    void Place(const TRect& rect);
    // The cell whose last laid-out column and row contain the point; deep
    // descends into sub-grids. A point on a run of group cells hits its last.
    TVokCell* CellAt(int32_t x, int32_t y, bool deep);

    // Group cells, for one column top to bottom over the visible rows.
    void MarkGroupCells(TAxisContentItem& column);
    bool GroupsWithAbove(const TVokCell& above, const TVokCell& cell) const;
    // Without a compare hook: two simple cells with equal texts.
    static bool DefaultGroupCompare(const TVokCell& above, const TVokCell& cell);
    TVokCell* GroupRunFirst(TVokCell& cell);
    TVokCell* GroupRunLast(TVokCell& cell);

  protected:
    // Frees the cells while the derived parts (the root's hooks) still exist.
    void DestroyContent() noexcept;

  private:
    friend class TVokCell;
    void SelectRow(const TVokCell& cell, bool value);
    void SelectRange(int32_t column1, int32_t row1, int32_t column2, int32_t row2);
    TVokCell* RowNeighbour(const TVokCell& cell, int step);

    std::unique_ptr<TAxisContentList> columns_;
    std::unique_ptr<TAxisContentList> rows_;
    std::unique_ptr<TCellMatrix> cells_;
    int32_t firstScrolledRow_ = 0;
    int32_t firstScrolledColumn_ = 0;
};

// The root of a cell tree, owned by the view. It carries the hooks into the
// view and the tree-wide events.
class TVokGridCellForViewer : public TVokGridCell {
  public:
    using TDataFactory = std::function<std::unique_ptr<TVokCellData>(TVokCell& cell)>;

    TVokGridCellForViewer();
    ~TVokGridCellForViewer() override;

    // Fired with the item for axis changes, with the cell when a wrapping
    // cell's text changed; once at EndUpdate when changes came during an update.
    TEvent ContentChanged{this};
    // Fired with the item whose explicit size was set.
    TEvent SizeChanged{this};
    // Fired with each cell anywhere in the tree whose Selected flag changed.
    TEvent SelectionChanged{this};

    TDataFactory SimpleCellDataFactory;
    TDataFactory GridCellDataFactory;
    TVokGridView* Viewer = nullptr;
    // Given to every non-fixed simple cell; owned by the view.
    TLayoutProp* DefaultLayout = nullptr;

    // Hooks into the view (and the grid's column definitions). Each may be
    // left empty.
    std::function<void(TVokCell& cell, const TRect& rect, TVokDrawStateSet state)> OnPaintCell;
    // Height of a wrapping cell's text.
    std::function<int32_t(TVokSimpleCell& cell)> OnMeasureText;
    std::function<void(TVokGridCell& caller, TAxisContentItem& item, bool rowNotColumn)> OnVirtualLoad;
    std::function<void(TVokGridCell& caller, TAxisContentItem* item, bool rowNotColumn,
                       TVirtualUnload& request)>
        OnVirtualUnLoad;
    // Simple unless answered otherwise.
    std::function<TVokCellKind(TVokGridCell& owner, TAxisContentItem& column, TAxisContentItem& row)>
        OnGetCellKind;
    // Runs after a new cell has its content and default layout.
    std::function<void(TVokCell& cell)> OnCellCreated;
    // Runs while a cell is being destroyed (not for the root itself).
    std::function<void(TVokCell& cell)> OnCellDestroying;
    std::function<bool(const TAxisContentItem& column)> OnIsGroupColumn;
    // Replaces the default rule (simple cells with equal texts group).
    std::function<bool(const TVokCell& above, const TVokCell& cell)> OnGroupCompare;

    void BeginUpdate() override;
    void EndUpdate() override;
    int32_t UpdateCount() const { return updateCount_; }

    void NotifyContentChanged(const TEventArg& argument);
    void NotifySizeChanged(TAxisContentItem& item) { SizeChanged.Fire(&item); }
    void NotifySelectionChanged(TVokCell& cell) { SelectionChanged.Fire(&cell); }

  private:
    int32_t updateCount_ = 0;
    bool contentChangedPending_ = false;
};

// BeginUpdate/EndUpdate for a scope.
class TVokUpdateScope {
  public:
    explicit TVokUpdateScope(TVokCell& cell) : cell_(cell) { cell_.BeginUpdate(); }
    ~TVokUpdateScope() { cell_.EndUpdate(); }
    TVokUpdateScope(const TVokUpdateScope&) = delete;
    TVokUpdateScope& operator=(const TVokUpdateScope&) = delete;

  private:
    TVokCell& cell_;
};

// ---------------------------------------------------------------------------
// Sort keys for sorting rows by a column. A key is the upper-cased text
// (numbers padded, dates as "YYYY-MM-DD") followed by "###" and the row index.
struct TUserSortKey {
    QString Key;
    bool Negative = false; // came from a negative number
};

// A date text in the locale's short date form as "YYYY-MM-DD"; the text
// itself when it is no date. The format may be given, else the locale's.
QString DateSortText(const QString& text, const QLocale& locale = QLocale::system());
QString DateSortText(const QString& text, const QLocale& locale, const QString& shortDateFormat);
TUserSortKey MakeUserSortKey(const QString& text, bool numericSort, int32_t rowIndex);
// -1, 0 or 1. Descending and negative numbers reverse the order of the text
// part; the row index at the end only breaks ties, always ascending, so rows
// with equal texts keep their order.
int CompareUserSortKeys(const TUserSortKey& a, const TUserSortKey& b, bool descending);
