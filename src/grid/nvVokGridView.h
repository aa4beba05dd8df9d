#pragma once
// The grid view: the control that shows a cell tree (nvVokGridContent.h). It
// lays the cells out in its client rectangle, paints them into the off-screen
// Buffer of its base, keeps two scroll bars, and follows the notifications of
// its cells (content, scroll position, focus, sizes, selection).
//
// Painting is driven entirely by state: model changes only set NeedMeasure or
// NeedPlace and ask for a paint; the next paint measures, places and draws.
// Mouse, wheel and keyboard handling and in-place editing (nvVokGridViewInput.cpp,
// editors in nvInplaceEditors.h) build on the state and the virtual hooks
// declared here.

#include "grid/nvOffscreenPaint.h"
#include "grid/nvVokGridContent.h"
#include "platform/ErrorReport.h"

#include <QPoint>
#include <QScrollBar>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class QWheelEvent;
class QDragLeaveEvent;
class QDropEvent;
class QEvent;

// The scroll bar the grid uses: a plain bar that never takes the focus, so
// the keyboard stays with the grid.
class TScrollbar_nv : public QScrollBar {
    Q_OBJECT

  public:
    TScrollbar_nv(Qt::Orientation orientation, QWidget* parent);
};

// Icons for columns with HasIcon. White pixels are transparent.
struct TImageList {
    int32_t Width = 16;
    int32_t Height = 16;
    std::vector<tw::Bitmap> Images;
};

class TVokGridView : public TnvOffscreenPaint {
    Q_OBJECT

  public:
    // Width that marks the column stretched to the right edge: it is laid out
    // this wide and clipped (see ColumnWidthOf).
    static constexpr int32_t ExtendedColumnWidth = 1000;

    using TOnUserRenderCell =
        std::function<void(TVokGridView& theVokGridView, TPaintCanvas& theCanvas, TVokCell& theVokCell,
                           const QString& theString, bool theBoolean, bool theIsStringEdit,
                           TVokDrawStateSet theDrawState, const TRect& theDrawRect, bool& aDefaultDraw)>;
    using TCellEvent = std::function<void(TVokGridView& theVokGridView, TVokCell* theVokCell)>;
    using TOnCellBooleanEvent = std::function<bool(TVokGridView& theVokGridView, TVokCell* theVokCell)>;
    using TOnEditStop =
        std::function<void(TVokGridView& theVokGridView, QWidget* theEditComponent,
                           TVokSimpleCellStringData& theVokSimpleCellStringData, QString& theText)>;
    using TOnAfterUserSize = std::function<void(TVokGridView& theVokGridView, TVokCell* theVokCell,
                                                bool theIsHorz, TAxisContentItem& theAxisContentItem)>;
    using TOnVirtualLoad =
        std::function<void(TVokGridCell& theCaller, TAxisContentItem& theAxisItem, bool theRowNotColumn)>;
    using TOnVirtualUnLoad = std::function<void(TVokGridCell& theCaller, TAxisContentItem* theAxisItem,
                                                bool theRowNotColumn, TVirtualUnload& request)>;
    // Tree rows. The inset is in pixels; without a handler it is 15 pixels per
    // level of the row's tree node.
    using TOnCellInset = std::function<int32_t(TVokGridView& theVokGridView, TVokCell& theVokCell)>;
    using TOnCellQuery = std::function<bool(TVokGridView& theVokGridView, TVokCell& theVokCell)>;
    using TOnGetParentButtonCell =
        std::function<TVokCell*(TVokGridView& theVokGridView, TVokCell& theVokCell)>;

    explicit TVokGridView(QWidget* parent = nullptr);
    ~TVokGridView() override;

    // --- Events ---
    TNotifyEvent OnTopLeftChanged;
    TNotifyEvent OnSelectionChanged;
    // Every simple cell painted, after its background; clear aDefaultDraw to
    // draw the content yourself.
    TOnUserRenderCell OnUserRenderCell;
    TCellEvent OnBeforeRenderCell;
    TCellEvent OnCellSelectionChanged;
    // The focused cell moved (by mouse, key or program).
    TNotifyEvent OnFocusChanged;
    // Unassigned means every cell may be edited.
    TOnCellBooleanEvent OnEditorCanModify;
    TCellEvent OnRightClick;
    TNotifyEvent OnGridResize;
    TNotifyEvent OnAxisChanged;
    TOnEditStop OnEditStop;
    TOnAfterUserSize OnAfterUserSize;
    TOnVirtualLoad OnVirtualLoad;
    TOnVirtualUnLoad OnVirtualUnLoad;
    TCellEvent OnButtonClick;
    TOnCellInset OnCellInset;
    TOnCellQuery OnIsButtonExpanded;
    TOnCellQuery OnIsButtonTerminal;
    TOnGetParentButtonCell OnGetParentButtonCell;
    TOnCellQuery OnButtonHasNonHiddenChildren;

    // --- Options ---
    bool FocusRect_Grid = true;
    bool FocusRect_Cell = true;
    bool AutoEditMode = false;
    // Not owned.
    TImageList* ImageList = nullptr;

    TVokGridCellForViewer& RootCell() const { return *rootCell_; }
    // The layout of every non-fixed simple cell; changes show at the next paint.
    TLayoutProp& DefaultLayout() { return *defaultLayout_; }
    TScrollbar_nv* HorzScrollBar() const { return horzScrollBar_; }
    TScrollbar_nv* VertScrollBar() const { return vertScrollBar_; }
    bool IsEditing() const { return Editing; }

    // The rectangle the root cell is laid out in, in client coordinates.
    TRect ClientRect() const;
    // Measures and places now what the next paint would, and updates the bars.
    void UpdateLayout();
    // Scrolls so that the item with ordinal k (hidden items not counted) can be
    // seen; nothing happens while the bar is hidden.
    void KeepInView(bool horizontal, int32_t k);
    // Position of an item among the non-hidden items of its axis, and back.
    static int32_t Ordinal(const TAxisContentList& axis, int32_t index);
    static int32_t IndexOfOrdinal(const TAxisContentList& axis, int32_t ordinal);
    // The focused cell's text to the clipboard.
    void Copy();
    // Whether the grid or its open editor has the keyboard focus.
    bool GridHasFocus() const;

    void Invalidate() override;
    void BeginUpdate() override;
    void EndUpdate() override;

    // --- Hooks for descendants ---
    // The text, check state and kind of a simple cell, as painted.
    virtual void GetCellContent(TVokCell& cell, QString& theString, bool& theBoolean, bool& theIsStringEdit);
    // Opens an editor on the focused cell when it may be modified.
    virtual void BeginEdit();
    // Commits and closes the open editor.
    virtual void EndEdit();
    // Closes the open editor without committing.
    virtual void CancelEdit();
    // Writes the editor's text into the cell being edited.
    virtual void ApplyEdit();
    // Stores an edit: nothing when cancelled; otherwise OnEditStop may change
    // the text before it goes into the cell.
    virtual void ApplyEdit(QWidget* editor, TVokSimpleCell* cell, bool cancelled, QString text);
    // The text an editor starts from.
    virtual QString GetCellContent(QWidget* editor, TVokCell& cell);
    virtual bool CanModify(TVokCell& cell);
    // 0 text, 1 memo, 2 combo, 3 check box, 4 date or time.
    virtual uint8_t EditorKindOf(TVokCell& cell);
    // Whether a date-time editor edits a date (else a time).
    virtual bool EditsDate(TVokCell& cell);
    // Whether a click on this header cell sorts by its column.
    virtual bool CanSortBy(TVokCell& headerCell);
    // Runs just before the combo editor is shown (it may fill the list).
    virtual void BeforeEditWithCombo(TVokCell& cell);
    // A character typed into an editor; false drops it with a beep.
    virtual bool AcceptsChar(QChar ch);
    // Expands or collapses the cell's tree row (OnButtonClick when assigned).
    virtual void ToggleTreeButton(TVokCell& cell);
    // The width text in the column wraps to. For the column stretched to the
    // right edge, what is left of the available width.
    virtual int32_t ColumnWidthOf(const TAxisContentItem& column) const;
    virtual void SortByColumn(TVokCell& headerCell, bool descending);

    // The clock of the incremental search, in days; tests replace it.
    std::function<double()> TypeAheadClock;
    // Commits an open combo editor when it loses the focus.
    bool CommitOnExit = true;

    // Moves the focus as a navigation key does (1 Left ... 11 End), then
    // selects the target with shift.
    void MoveFocus(int move, TShiftState shift);
    // Feeds one character to the incremental search.
    void TypeAhead(QChar ch);

  protected:
    // Reactions to the root cell's events.
    virtual void DoContentChanged(const TEventArg& argument);
    virtual void DoScrollChanged();
    virtual void DoFocusChanged();
    virtual void DoSizeChanged(TAxisContentItem& item);
    virtual void DoSelectionChanged(TVokCell& cell);
    // A scroll bar appeared or went; the client rectangle changed with it.
    virtual void ScrollBarVisibilityChanged();

    // Layout phases, run by UpdateLayout: before measuring (a descendant
    // rebuilds its axes here), and the measure step itself.
    virtual void BeforeLayout();
    virtual void DoMeasure();
    // Whether the horizontal bar may stay hidden while the partly shown column
    // is the last one (the stretched last column).
    virtual bool LastColumnStretches() const { return false; }

    // Tree buttons and icons: which cells show them.
    virtual bool HasTreeButton(TVokCell& cell);
    virtual bool HasIcon(TVokCell& cell, int32_t& iconIndex);
    int32_t CellInset(TVokCell& cell);
    bool IsButtonExpanded(TVokCell& cell);
    bool IsButtonTerminal(TVokCell& cell);
    TVokCell* ParentButtonCell(TVokCell& cell);

    // Input.
    void MouseDown(TMouseButton button, TShiftState shift, int X, int Y) override;
    void MouseMove(TShiftState shift, int X, int Y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int X, int Y) override;
    void DblClick() override;
    void KeyDown(int& Key, TShiftState shift) override;
    // A typed character reaching the grid; true when it was used.
    virtual bool KeyPress(QChar ch);
    void DragScroll(int direction) override;
    void DragOver(int X, int Y, bool& Accept) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    void DoPaint() override;
    void CopyBufferToScreen(QPainter& window) override;
    void Resize() override;

  public:
    // Lays out for the target while it runs, and for the screen again after.
    void PaintTo(QPaintDevice& target, int X, int Y, double ScaleX, double ScaleY, bool UseScale) override;

  protected:
    // Runs f; an exception goes to the application's error handler. For code
    // that Qt or the deferred-call service calls.
    template <class F> static void Guarded(F&& f) noexcept;

    // --- State (input and editing use it too) ---
    struct TButtonCell {
        TVokCell* Cell;
        TRect Button; // the 15-pixel strip left of the text
    };

    QPoint PressPoint;
    std::function<void()> PressAction;
    QTimer* AutoEditTimer = nullptr;
    QPoint MousePoint;
    bool InvokedFromClick = false;
    bool EndingEdit = false;
    double TypeAheadTime = 0;
    QString TypeAheadText;
    std::vector<TButtonCell> ButtonCells;
    bool PendingSelect = false;
    TVokCell* PendingCell = nullptr;
    TShiftState PendingShift = 0;
    bool EnterStartsEdit = true;
    Qt::CursorShape NormalCursor = Qt::ArrowCursor;
    bool NeedMeasure = true;
    bool NeedPlace = true;
    bool Editing = false;
    TVokSimpleCell* EditCell = nullptr;
    QLineEdit* TextEditor = nullptr;
    QComboBox* ComboEditor = nullptr;
    QPlainTextEdit* MemoEditor = nullptr;
    QCheckBox* BoolEditor = nullptr;
    QDateTimeEdit* DateTimeEditor = nullptr;
    QWidget* ActiveEditor = nullptr;
    uint8_t ResizeMode = 0;
    QPoint ResizePress;
    TVokCell* ResizeCell = nullptr;
    uint8_t EditKind = 0;
    TRect ResizeLine = NoCellRect;
    TVokCell* SortCell = nullptr;
    bool SortDescending = false;
    // The layout whose font is on the canvas; empty when none was set yet in
    // this paint (null is a cell without a layout).
    std::optional<const TLayoutProp*> LastLayout;
    bool TypeAheadEnabled = true;

  private:
    void PaintCells(TVokGridCell& grid);
    void PaintCell(TVokCell& cell, const TRect& Q, TVokDrawStateSet D);
    void DrawFrameLines(TVokCell& cell, const TRect& edges);
    void DrawFrameSide(TLayoutProp& layout, TFrameOption side, TVokCell& cell, const TRect& edges);
    void DrawCheckBox(const TRect& T, bool checked);
    void DrawSortMark(const TRect& T);
    void DrawTreeButtons();
    void Line(int x1, int y1, int x2, int y2);
    TFont ControlFont() const;
    int32_t MeasureText(TVokSimpleCell& cell);

    void UpdateScrollBars();
    bool UpdateBar(TScrollbar_nv& bar, const TAxisContentList& axis, int32_t firstScrolled,
                   int32_t visibleCount, bool fits);
    int BarExtent(const TScrollbar_nv& bar) const;
    void BarMoved(bool horizontal, int position);
    void RefreshAndScroll();
    void ForgetCell(TVokCell& cell);
    void CloseEditor();

    // Input and editing helpers.
    bool BorderAt(int X, int Y, uint8_t& mode, TVokCell*& cell);
    TVokCell* MoveFrom(TVokCell& cell, int move);
    TVokCell* Enter(TVokCell* cell);
    // One row (column) up or down (left or right), as the wheel and a drag hover do.
    void ScrollOneStep(bool horizontal, bool back);
    void RunTypeAhead();
    void AutoEditFired();
    void DragTimerFired();
    QWidget* EditorOfKind(uint8_t kind) const;
    QString EditorText() const;
    void HideEditors();
    bool EditorKey(QWidget* editor, QKeyEvent& key);
    void DrawResizeLine();

    QPoint lastPress_;
    QTimer* dragTimer_ = nullptr;
    int dragDirection_ = -1;
    bool dragScrolled_ = false;
    bool destroying_ = false;

    // Declared before the root, which points at it.
    std::unique_ptr<TLayoutProp> defaultLayout_;
    std::unique_ptr<TVokGridCellForViewer> rootCell_;
    TScrollbar_nv* horzScrollBar_ = nullptr;
    TScrollbar_nv* vertScrollBar_ = nullptr;
    // What of DefaultLayout the last measure saw; a change means measuring again.
    using TLayoutKey = std::tuple<int32_t, int32_t, bool, bool, QString, int32_t, int>;
    static TLayoutKey KeyOf(const TLayoutProp& layout);
    std::optional<TLayoutKey> measuredLayout_;
    bool settingBars_ = false;
    // Repaint requests made while the layout runs are dropped: the paint in
    // progress shows the result, or one request is made afterwards.
    int layingOut_ = 0;
    bool droppedInvalidate_ = false;
    bool painting_ = false;
};

template <class F> void TVokGridView::Guarded(F&& f) noexcept {
    try {
        f();
    } catch (...) {
        tw::ReportException(std::current_exception());
    }
}
