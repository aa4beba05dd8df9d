#include "grid/nvVokGridView.h"

#include "grid/nvGridTree.h"
#include "grid/nvInplaceEditors.h"
#include "platform/DeferredCalls.h"
#include "platform/Rounding.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegion>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

namespace {

TRect Inset(const TRect& r, int32_t d) {
    return {r.Left + d, r.Top + d, r.Right - d, r.Bottom - d};
}

TRect Intersect(const TRect& a, const TRect& b) {
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
    if (r.Right < r.Left) r.Right = r.Left;
    if (r.Bottom < r.Top) r.Bottom = r.Top;
    return r;
}

int32_t Scaled(int32_t v, double scale) {
    return scale == 1.0 ? v : Round(v * scale);
}

TPen PenOf(TColor color) {
    return TPen{static_cast<tw::ColorValue>(color), 1, TPenStyle::Solid, TPenMode::Copy};
}

TBrush BrushOf(TColor color) {
    return TBrush{static_cast<tw::ColorValue>(color), TBrushStyle::Solid};
}

// The lighter line of a 3-D frame: each channel a quarter brighter. Theme
// colours are resolved first, and channels stop at full brightness instead of
// spilling into their neighbours.
tw::ColorValue Lighter(tw::ColorValue color) {
    const tw::ColorValue v = ResolveColor(color);
    tw::ColorValue result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int c = static_cast<int>((v >> shift) & 0xFF);
        const int lighter = std::min(255, c + Round(c / 4.0));
        result |= static_cast<tw::ColorValue>(lighter) << shift;
    }
    return result;
}

bool HasShownChild(TnvDataEntity_GridTreeNode& node) {
    if (!node.HasChildren()) return false;
    TnvDataList_GridTree& children = node.Children();
    for (int32_t p = 0; p < children.LoadedCount(); ++p)
        if (!children.Items(p).Hidden) return true;
    return false;
}

// Counts nested layout runs; drops repaint requests meanwhile.
class TLayoutScope {
  public:
    explicit TLayoutScope(int& depth) : depth_(depth) { ++depth_; }
    ~TLayoutScope() { --depth_; }
    TLayoutScope(const TLayoutScope&) = delete;
    TLayoutScope& operator=(const TLayoutScope&) = delete;

  private:
    int& depth_;
};

} // namespace

// --- Scroll bar ------------------------------------------------------------------

TScrollbar_nv::TScrollbar_nv(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {
    setFocusPolicy(Qt::NoFocus);
}

// --- Construction ----------------------------------------------------------------

TVokGridView::TVokGridView(QWidget* parent)
    : TnvOffscreenPaint(parent), defaultLayout_(std::make_unique<TLayoutProp>()) {
    TLayoutProp& layout = *defaultLayout_;
    layout.MinWidth = 20;
    layout.MinHeight = 20;
    layout.FrontColor = clBlack;
    layout.BackColor = clWindow;

    // One editor of each kind, hidden until an edit opens one. The view sees
    // their keys and focus changes first (eventFilter).
    TextEditor = new TVokInplaceEditor(this);
    ComboEditor = new TVokInplaceComboEditor(this);
    MemoEditor = new TVokInplaceMemoEditor(this);
    BoolEditor = new TVokInplaceBoolEditor(this);
    DateTimeEditor = new TVokInplaceDateTimeEditor(this);
    for (QWidget* editor :
         std::initializer_list<QWidget*>{TextEditor, ComboEditor, MemoEditor, BoolEditor, DateTimeEditor})
        editor->installEventFilter(this);
    TypeAheadClock = [] { return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 86400000.0; };

    rootCell_ = std::make_unique<TVokGridCellForViewer>();
    TVokGridCellForViewer& root = *rootCell_;
    root.Viewer = this;
    root.DefaultLayout = defaultLayout_.get();
    root.ContentChanged.Add(
        [this](void*, TEvent&, const TEventArg& argument) { DoContentChanged(argument); });
    root.ScrollChanged.Add([this](void*, TEvent&, const TEventArg&) { DoScrollChanged(); });
    root.FocusChanged.Add([this](void*, TEvent&, const TEventArg&) { DoFocusChanged(); });
    root.SizeChanged.Add([this](void*, TEvent&, const TEventArg& argument) {
        if (const auto* item = std::get_if<TAxisContentItem*>(&argument); item && *item)
            DoSizeChanged(**item);
    });
    root.SelectionChanged.Add([this](void*, TEvent&, const TEventArg& argument) {
        if (const auto* cell = std::get_if<TVokCell*>(&argument); cell && *cell) DoSelectionChanged(**cell);
    });

    horzScrollBar_ = new TScrollbar_nv(Qt::Horizontal, this);
    vertScrollBar_ = new TScrollbar_nv(Qt::Vertical, this);
    horzScrollBar_->hide();
    vertScrollBar_->hide();
    connect(horzScrollBar_, &QScrollBar::valueChanged, this,
            [this](int value) { Guarded([&] { BarMoved(true, value); }); });
    connect(vertScrollBar_, &QScrollBar::valueChanged, this,
            [this](int value) { Guarded([&] { BarMoved(false, value); }); });

    AutoEditTimer = new QTimer(this);
    AutoEditTimer->setSingleShot(true);
    AutoEditTimer->setInterval(750);
    connect(AutoEditTimer, &QTimer::timeout, this, [this] { Guarded([this] { AutoEditFired(); }); });
    dragTimer_ = new QTimer(this);
    dragTimer_->setInterval(100);
    connect(dragTimer_, &QTimer::timeout, this, [this] { Guarded([this] { DragTimerFired(); }); });

    root.OnPaintCell = [this](TVokCell& cell, const TRect& rect, TVokDrawStateSet state) {
        PaintCell(cell, rect, state);
    };
    root.OnMeasureText = [this](TVokSimpleCell& cell) { return MeasureText(cell); };
    root.OnVirtualLoad = [this](TVokGridCell& caller, TAxisContentItem& item, bool rowNotColumn) {
        if (OnVirtualLoad) OnVirtualLoad(caller, item, rowNotColumn);
    };
    root.OnVirtualUnLoad = [this](TVokGridCell& caller, TAxisContentItem* item, bool rowNotColumn,
                                  TVirtualUnload& request) {
        if (OnVirtualUnLoad) OnVirtualUnLoad(caller, item, rowNotColumn, request);
    };
    root.OnCellDestroying = [this](TVokCell& cell) { ForgetCell(cell); };
    Invalidate();

    SetBorderStyle(TBorderStyle::Single);
    SetColor(kColorWindow);
    setFocusPolicy(Qt::StrongFocus);
    // Return, the arrows and F2 belong to the grid, also inside dialogs.
    for (int key : {TKey::Return, TKey::Left, TKey::Up, TKey::Right, TKey::Down, TKey::F2})
        WantedSpecialKeys.set(static_cast<size_t>(key));
}

TVokGridView::~TVokGridView() {
    TDeferredCalls::CancelAll(this);
    // No commit on the focus loss that going brings; the editors go first,
    // while this filter of theirs is still whole.
    destroying_ = true;
    Editing = false;
    EditCell = nullptr;
    const auto drop = [this](auto*& editor) {
        editor->removeEventFilter(this);
        delete std::exchange(editor, nullptr);
    };
    drop(TextEditor);
    drop(ComboEditor);
    drop(MemoEditor);
    drop(BoolEditor);
    drop(DateTimeEditor);
    ActiveEditor = nullptr;
    // The cells report their going to this view, so they go while it is whole.
    rootCell_.reset();
}

// --- Reactions to the model ----------------------------------------------------------

void TVokGridView::DoContentChanged(const TEventArg&) {
    EndEdit();
    NeedMeasure = true;
    if (OnAxisChanged) OnAxisChanged(*this);
    Invalidate();
}

void TVokGridView::DoScrollChanged() {
    if (IsPrinting()) return;
    NeedPlace = true;
    if (OnTopLeftChanged) OnTopLeftChanged(*this);
    Invalidate();
}

void TVokGridView::DoFocusChanged() {
    EndEdit();
    TDeferredCalls::Queue(this, &TVokGridView::RefreshAndScroll);
    if (OnTopLeftChanged) OnTopLeftChanged(*this);
    Invalidate();
    if (OnFocusChanged) OnFocusChanged(*this);
}

void TVokGridView::DoSizeChanged(TAxisContentItem&) {
    NeedMeasure = true;
    Invalidate();
}

void TVokGridView::DoSelectionChanged(TVokCell& cell) {
    Invalidate();
    if (OnCellSelectionChanged) OnCellSelectionChanged(*this, &cell);
    if (OnSelectionChanged) OnSelectionChanged(*this);
}

void TVokGridView::ScrollBarVisibilityChanged() {
    NeedPlace = true;
}

void TVokGridView::Resize() {
    TnvOffscreenPaint::Resize();
    NeedPlace = true;
    Invalidate();
    if (OnGridResize) OnGridResize(*this);
}

void TVokGridView::RefreshAndScroll() {
    Guarded([this] {
        UpdateLayout();
        // A focused sub-grid stands for the cell focused inside it.
        const TVokCell* cell = rootCell_->FocusedCell;
        if (!cell) return;
        KeepInView(true, Ordinal(rootCell_->Columns(), cell->ColumnItem()->Index()));
        KeepInView(false, Ordinal(rootCell_->Rows(), cell->RowItem()->Index()));
        Invalidate();
    });
}

void TVokGridView::ForgetCell(TVokCell& cell) {
    if (EditCell == &cell) {
        // Nothing to commit into a cell that is going.
        EditCell = nullptr;
        CloseEditor();
    }
    if (PendingCell == &cell) {
        PendingCell = nullptr;
        PendingSelect = false;
    }
    if (ResizeCell == &cell) {
        ResizeCell = nullptr;
        ResizeMode = 0;
    }
    if (SortCell == &cell) SortCell = nullptr;
    std::erase_if(ButtonCells, [&](const TButtonCell& b) { return b.Cell == &cell; });
}

void TVokGridView::Invalidate() {
    if (layingOut_ > 0) {
        droppedInvalidate_ = true;
        return;
    }
    TnvOffscreenPaint::Invalidate();
}

void TVokGridView::BeginUpdate() {
    TnvOffscreenPaint::BeginUpdate();
    rootCell_->BeginUpdate();
}

void TVokGridView::EndUpdate() {
    rootCell_->EndUpdate();
    TnvOffscreenPaint::EndUpdate();
}

// --- Layout ----------------------------------------------------------------------------

TRect TVokGridView::ClientRect() const {
    TRect r{0, 0, Width(), Height()};
    if (BorderStyle() == TBorderStyle::Single) {
        r.Right -= 5;
        r.Bottom -= 5;
    }
    if (!IsPrinting()) {
        if (!horzScrollBar_->isHidden()) r.Bottom -= BarExtent(*horzScrollBar_);
        if (!vertScrollBar_->isHidden()) r.Right -= BarExtent(*vertScrollBar_);
    }
    r.Right = std::max(r.Right, 0);
    r.Bottom = std::max(r.Bottom, 0);
    return r;
}

TVokGridView::TLayoutKey TVokGridView::KeyOf(const TLayoutProp& layout) {
    return {layout.MinWidth, layout.MinHeight, layout.WrapTextAndFit,   layout.UseFontInfo,
            layout.FontName, layout.FontSize,  layout.FontStyle.toInt()};
}

void TVokGridView::BeforeLayout() {
    // DefaultLayout is changed directly; the next paint takes it up.
    if (measuredLayout_ != KeyOf(*defaultLayout_)) NeedMeasure = true;
}

void TVokGridView::DoMeasure() {
    measuredLayout_ = KeyOf(*defaultLayout_);
    NeedMeasure = false;
    NeedPlace = true;
}

void TVokGridView::UpdateLayout() {
    {
        TLayoutScope scope(layingOut_);
        LastLayout.reset();
        BeforeLayout();
        if (NeedMeasure) DoMeasure();
        // A scroll bar that comes or goes changes the client rectangle; a
        // second placement settles it (a third at most, should bars flip).
        for (int pass = 0; NeedPlace && pass < 3; ++pass) {
            NeedPlace = false;
            EndEdit();
            rootCell_->Place(ClientRect());
            if (!IsPrinting()) UpdateScrollBars();
        }
        NeedPlace = false;
    }
    // Whatever the layout itself changed is shown by the paint in progress;
    // outside a paint, or when more layout work is pending, ask for one.
    if (layingOut_ == 0 && std::exchange(droppedInvalidate_, false) && (!painting_ || NeedMeasure))
        Invalidate();
}

int32_t TVokGridView::ColumnWidthOf(const TAxisContentItem& column) const {
    if (!column.HasExplicitSize()) return column.Size;
    if (column.ExplicitSize() != ExtendedColumnWidth) return column.ExplicitSize();
    const TAxisContentList& axis = column.Owner();
    const TVokGridCell& owner = axis.OwnerCell();
    int32_t available = 0;
    if (&owner == rootCell_.get())
        available = Width() - 5 - (vertScrollBar_->isHidden() ? 0 : BarExtent(*vertScrollBar_));
    else
        available = owner.Rect.Width();
    for (int32_t p = 0; p < axis.LoadedCount(); ++p) {
        const TAxisContentItem& other = axis.ItemAtPosition(p);
        if (&other == &column || other.Hidden()) continue;
        // Another stretched column counts as laid out; asking it would go round.
        available -= other.HasExplicitSize() && other.ExplicitSize() == ExtendedColumnWidth
                         ? other.Size
                         : ColumnWidthOf(other);
    }
    return std::max(available, 0);
}

TFont TVokGridView::ControlFont() const {
    return TFont::FromQFont(font(), tw::ColorValue{0});
}

int32_t TVokGridView::MeasureText(TVokSimpleCell& cell) {
    const TLayoutProp* layout = cell.Layout;
    const int32_t minimum = layout ? layout->MinHeight : 20;
    TFont font = ControlFont();
    if (layout && layout->UseFontInfo)
        font = TFont{layout->FontName, layout->FontSize, static_cast<uint8_t>(layout->FontStyle.toInt()), 0};
    // The text rectangle lies 2 pixels inside the cell on every side.
    const int width = std::max(1, (cell.ColumnItem() ? ColumnWidthOf(*cell.ColumnItem()) : 0) - 4);
    const QFontMetrics metrics(font.ToQFont());
    const int height = metrics
                           .boundingRect(QRect(0, 0, width, std::numeric_limits<int>::max() / 2),
                                         Qt::TextWordWrap, cell.Text())
                           .height();
    return std::max(minimum, height + 4);
}

// --- Scroll bars ---------------------------------------------------------------------

int TVokGridView::BarExtent(const TScrollbar_nv& bar) const {
    return bar.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &bar);
}

int32_t TVokGridView::Ordinal(const TAxisContentList& axis, int32_t index) {
    int32_t hiddenBefore = 0;
    for (const TAxisContentItem* item : axis.HiddenItems())
        if (item->Index() < index) ++hiddenBefore;
    return index - hiddenBefore;
}

int32_t TVokGridView::IndexOfOrdinal(const TAxisContentList& axis, int32_t ordinal) {
    std::vector<int32_t> hidden;
    for (const TAxisContentItem* item : axis.HiddenItems())
        hidden.push_back(item->Index());
    std::sort(hidden.begin(), hidden.end());
    int32_t index = ordinal;
    for (int32_t h : hidden)
        if (h <= index) ++index;
    return index;
}

bool TVokGridView::UpdateBar(TScrollbar_nv& bar, const TAxisContentList& axis, int32_t firstScrolled,
                             int32_t visibleCount, bool fits) {
    const int32_t minimum = axis.FixedCount();
    const int32_t maximum = std::max(axis.Count() - axis.HiddenCount() - 1, minimum);
    const int32_t page = std::max(visibleCount - minimum, 1);
    const int32_t position = std::min(Ordinal(axis, firstScrolled), maximum);
    const bool visible = !(position <= minimum && fits);
    // Qt's range ends where the last page starts.
    const int32_t last = std::max(minimum, maximum - page + 1);
    {
        const bool outer = std::exchange(settingBars_, true);
        struct Restore {
            bool& flag;
            bool value;
            ~Restore() { flag = value; }
        } restore{settingBars_, outer};
        bar.setRange(minimum, last);
        bar.setPageStep(page);
        bar.setSingleStep(1);
        bar.setValue(position);
    }
    if (bar.maximum() != last) throw std::runtime_error(std::to_string(last) + std::to_string(bar.maximum()));
    if (visible == bar.isHidden()) {
        bar.setVisible(visible);
        ScrollBarVisibilityChanged();
    }
    return visible;
}

void TVokGridView::UpdateScrollBars() {
    TVokGridCellForViewer& root = *rootCell_;
    const int border = BorderStyle() == TBorderStyle::Single ? 5 : 0;
    const int hExtent = BarExtent(*horzScrollBar_);
    const int vExtent = BarExtent(*vertScrollBar_);
    const int A = Height() - hExtent - border;
    const int B = Width() - vExtent - border;
    const TAxisContentList& columns = root.Columns();
    const bool stretchedFits = LastColumnStretches() && root.LastVisibleColumn == columns.Count() - 1;
    const bool hVisible = UpdateBar(*horzScrollBar_, columns, root.FirstScrolledColumn(),
                                    root.VisibleColumnCount, root.AllColumnsFit || stretchedFits);
    const bool vVisible = UpdateBar(*vertScrollBar_, root.Rows(), root.FirstScrolledRow(),
                                    root.VisibleRowCount, root.AllRowsFit);
    ReservedRight = vVisible ? Width() - B + 1 : 0;
    ReservedBottom = hVisible ? Height() - A + 1 : 0;
    const QPoint origin = contentsRect().topLeft();
    horzScrollBar_->setGeometry(
        QRect(origin + QPoint(0, A), QSize(std::max(0, B + (vVisible ? 0 : vExtent)), hExtent)));
    vertScrollBar_->setGeometry(
        QRect(origin + QPoint(B, 0), QSize(vExtent, std::max(0, A + (hVisible ? 0 : hExtent)))));
    if (!hVisible) root.SetFirstScrolledColumn(columns.FixedCount());
    if (!vVisible) root.SetFirstScrolledRow(root.Rows().FixedCount());
}

void TVokGridView::BarMoved(bool horizontal, int position) {
    if (settingBars_) return;
    TVokGridCellForViewer& root = *rootCell_;
    if (horizontal)
        root.SetFirstScrolledColumn(IndexOfOrdinal(root.Columns(), position));
    else
        root.SetFirstScrolledRow(IndexOfOrdinal(root.Rows(), position));
}

void TVokGridView::KeepInView(bool horizontal, int32_t k) {
    TScrollbar_nv& bar = horizontal ? *horzScrollBar_ : *vertScrollBar_;
    if (bar.isHidden()) return;
    const int position = bar.value();
    const int page = bar.pageStep();
    int next = position;
    if (k <= position)
        next = std::max(k, bar.minimum());
    else if (k >= position + page - 1)
        // One step beyond the last whole item, so that a step down always
        // moves; but never so far that k itself leaves the top.
        next = std::min(k - page + 2, k);
    else
        return;
    bar.setValue(next);
}

// --- Painting --------------------------------------------------------------------------

void TVokGridView::PaintTo(QPaintDevice& target, int X, int Y, double ScaleX, double ScaleY, bool UseScale) {
    // The target is laid out for itself; the screen is laid out again after.
    struct Relayout {
        TVokGridView& view;
        ~Relayout() {
            view.NeedPlace = true;
            view.Invalidate();
        }
    } relayout{*this};
    NeedPlace = true;
    TnvOffscreenPaint::PaintTo(target, X, Y, ScaleX, ScaleY, UseScale);
}

void TVokGridView::DoPaint() {
    const bool outer = std::exchange(painting_, true);
    struct Restore {
        bool& flag;
        bool value;
        ~Restore() { flag = value; }
    } restore{painting_, outer};

    UpdateLayout();
    ButtonCells.clear();
    if (IsPrinting()) AdjustFontForPrint();
    TPaintCanvas& canvas = PaintCanvas();
    PaintCells(*rootCell_);
    canvas.ClearClip();
    DrawTreeButtons();
    canvas.ClearClip();
    if (GridHasFocus() && !IsPrinting() && FocusRect_Grid)
        canvas.DrawFocusRect(Inset(ClientRect(), 1).ToQRect());
    if (!IsPrinting()) DrawResizeLine();
}

void TVokGridView::CopyBufferToScreen(QPainter& window) {
    TnvOffscreenPaint::CopyBufferToScreen(window);
    if (ReservedRight <= 0 && ReservedBottom <= 0) return;
    // The bars are children drawn over this; what the strips hold besides
    // them (the seam next to a bar) gets the bars' face colour.
    QRegion strips;
    if (ReservedRight > 0) strips += QRect(Width() - ReservedRight, 0, ReservedRight, Height());
    if (ReservedBottom > 0) strips += QRect(0, Height() - ReservedBottom, Width(), ReservedBottom);
    const QPoint origin = contentsRect().topLeft();
    for (const TScrollbar_nv* bar : {horzScrollBar_, vertScrollBar_})
        if (!bar->isHidden()) strips -= bar->geometry().translated(-origin);
    window.save();
    window.setClipRect(contentsRect(), Qt::IntersectClip);
    window.translate(origin);
    for (const QRect& r : strips)
        window.fillRect(r, ToQColor(kColorBtnFace));
    window.restore();
}

bool TVokGridView::GridHasFocus() const {
    return hasFocus() || (ActiveEditor && ActiveEditor->hasFocus());
}

void TVokGridView::PaintCells(TVokGridCell& grid) {
    const TRect layout = grid.LayoutRect;
    const double sx = PrintScaleX();
    const double sy = PrintScaleY();
    // Copies: handlers called while painting must not pull the lists away.
    const std::vector<TAxisContentItem*> columns = grid.Columns().VisibleItems();
    const std::vector<TAxisContentItem*> rows = grid.Rows().VisibleItems();
    for (TAxisContentItem* column : columns) {
        grid.MarkGroupCells(*column);
        const int32_t left = layout.Left + Scaled(column->Position, sx);
        const int32_t right = left + Scaled(column->Size, sx);
        int32_t runTop = 0;
        bool inRun = false;
        for (TAxisContentItem* row : rows) {
            TVokCell* cell = grid.Cells().LoadedCell(column->Index(), row->Index());
            if (!cell) continue;
            const int32_t top = layout.Top + Scaled(row->Position, sy);
            const int32_t bottom = top + Scaled(row->Size, sy);
            // A run of group cells is drawn once, by its last cell, reaching up
            // to the top of the first.
            int32_t cellTop = top;
            if (cell->Grouped) {
                if (!inRun) runTop = top;
                inRun = !cell->GroupTail;
                cellTop = runTop;
            } else {
                inRun = false;
            }
            TRect rect{left, cellTop, right, bottom};
            const bool outside = rect.Right <= layout.Left || rect.Left >= layout.Right ||
                                 rect.Bottom <= layout.Top || rect.Top >= layout.Bottom;
            if (outside) {
                cell->Rect = NoCellRect;
                continue;
            }
            rect = Intersect(rect, layout);
            if (inRun) {
                cell->Rect = rect; // drawn with the run's last cell
                continue;
            }
            TVokDrawStateSet state;
            if (cell->IsFixed()) state |= vokFixed;
            if (grid.FocusedCell == cell) state |= vokFocused;
            if (cell->Selected()) state |= vokSelected;
            cell->Paint(rect, state);
            if (TVokGridCell* inner = cell->AsGridCell()) {
                inner->LayoutRect = rect;
                PaintCells(*inner);
            }
        }
    }
}

void TVokGridView::Line(int x1, int y1, int x2, int y2) {
    TPaintCanvas& c = PaintCanvas();
    c.MoveTo(x1, y1);
    c.LineTo(x2, y2);
}

void TVokGridView::PaintCell(TVokCell& cell, const TRect& Q, TVokDrawStateSet D) {
    TPaintCanvas& c = PaintCanvas();
    const bool printing = IsPrinting();
    const bool fixed = D.testFlag(vokFixed);
    TVokGridCell* const owner = cell.Owner();
    const bool nested = owner && owner != rootCell_.get();
    const TLayoutProp* const layout = cell.Layout;
    const bool simple = !cell.IsGridCell();

    // What a cell draws stays near it: its rectangle and the one-pixel seams
    // its background and frame reach into, inside its grid.
    TRect clip{Q.Left - 1, Q.Top - 1, Q.Right + 1, Q.Bottom + 1};
    if (owner) clip = Intersect(clip, owner->LayoutRect);
    c.SetClipRect(clip.ToQRect());
    struct Unclip {
        TPaintCanvas& canvas;
        ~Unclip() { canvas.ClearClip(); }
    } unclip{c};

    TRect T = Inset(Q, 1);
    if (fixed) {
        c.Brush = BrushOf(layout ? layout->BackColor : clBtnFace);
        c.FillRect(Q.ToQRect());
        // Raised edge.
        c.Pen = PenOf(clBtnHighlight);
        c.MoveTo(T.Right - 1, T.Top);
        c.LineTo(T.Left, T.Top);
        c.LineTo(T.Left, T.Bottom - 1);
        c.Pen = PenOf(clBtnShadow);
        c.LineTo(T.Right - 1, T.Bottom - 1);
        c.LineTo(T.Right - 1, T.Top);
    }

    TRect area = T; // right of any tree button and icon
    if (simple) {
        QString text;
        bool boolean = false;
        bool isStringEdit = true;
        if (OnBeforeRenderCell) OnBeforeRenderCell(*this, &cell);
        GetCellContent(cell, text, boolean, isStringEdit);

        // Fonts are chosen again only when the layout changes between cells.
        if (!LastLayout || *LastLayout != layout || printing) {
            if (layout && layout->UseFontInfo)
                c.Font = TFont{layout->FontName, layout->FontSize,
                               static_cast<uint8_t>(layout->FontStyle.toInt()), 0};
            else
                c.Font = ControlFont();
            if (printing) AdjustFontForPrint();
            LastLayout = layout;
        }
        if (layout) {
            c.Font.Color = static_cast<tw::ColorValue>(layout->FontColor);
            c.Pen = PenOf(layout->FrontColor);
            c.Brush = BrushOf(layout->BackColor);
        } else {
            // The desktop's text colours: black on a light desktop, light on a dark one.
            c.Font.Color = static_cast<tw::ColorValue>(fixed ? clBtnText : clWindowText);
            c.Pen = PenOf(clBlack);
            c.Brush = BrushOf(fixed ? clBtnFace : clWindow);
        }

        // Background.
        const TRect P{Q.Left + 1, Q.Top + 1, Q.Right, Q.Bottom + 1};
        if (!D.testFlag(vokSelected) || fixed || printing) {
            if (!fixed) {
                TRect p = P;
                if (nested) p.Top -= 1;
                c.FillRect(p.ToQRect());
            }
        } else {
            c.FillRect(P.ToQRect());
            const bool focused = GridHasFocus();
            c.Brush = BrushOf(focused ? clHighlight : clBtnFace);
            if (focused) c.Font.Color = kColorHighlightText;
            c.FillRect(TRect{P.Left, P.Top - 1, P.Right, P.Bottom - 1}.ToQRect());
        }

        // Tree button and icon.
        if (HasTreeButton(cell)) {
            area.Left += CellInset(cell);
            ButtonCells.push_back({&cell, TRect{area.Left, area.Top, area.Left + 15, area.Bottom}});
            area.Left += 16;
        }
        int32_t iconIndex = -1;
        if (ImageList && HasIcon(cell, iconIndex)) {
            if (iconIndex >= 0 && iconIndex < static_cast<int32_t>(ImageList->Images.size()))
                c.DrawTransparent(area.Left, area.Top, ImageList->Images[static_cast<size_t>(iconIndex)]);
            area.Left += Scaled(ImageList->Width, PrintScaleX()) + 1;
        }
        T = Inset(area, 1);

        bool defaultDraw = true;
        if (OnUserRenderCell)
            OnUserRenderCell(*this, c, cell, text, boolean, isStringEdit, D, T, defaultDraw);
        if (defaultDraw) {
            if (isStringEdit) {
                unsigned flags = TTextFlag::NoPrefix;
                if (layout) {
                    flags |= layout->WindowsFlags;
                    if (layout->WrapTextAndFit) flags |= TTextFlag::WordBreak;
                    if (layout->HorzAlignRight) flags |= TTextFlag::Right;
                    if (layout->HorzAlignCenter) flags |= TTextFlag::Center;
                    if (layout->VertAlignCenter) flags |= TTextFlag::VCenter;
                    if (layout->EndEllipsis) flags |= TTextFlag::EndEllipsis;
                }
                c.TextRect(T.ToQRect(), text, flags);
            } else {
                DrawCheckBox(T, boolean);
            }
        }
        if (fixed && SortCell == &cell) DrawSortMark(T);
    }

    if (!fixed) {
        DrawFrameLines(cell, simple ? Inset(area, -1) : Q);
        // The lines of the grid cell around this one were drawn before its
        // cells; they are drawn again on top.
        if (nested && owner->Rect != NoCellRect) DrawFrameLines(*owner, owner->Rect);
    }

    if (GridHasFocus() && D.testFlag(vokFocused) && &cell != rootCell_.get() && !printing && FocusRect_Cell) {
        const TRect focus = simple ? Inset(T, -2) : TRect{T.Left, T.Top, T.Right, T.Bottom - 1};
        c.DrawFocusRect(focus.ToQRect());
    }
}

void TVokGridView::DrawFrameLines(TVokCell& cell, const TRect& edges) {
    TPaintCanvas& c = PaintCanvas();
    if (cell.Layout && cell.Layout->FrameOptionsUse) {
        for (TFrameOption side : {foLeft, foRight, foTop, foBottom})
            if (cell.Layout->FrameOptions.testFlag(side)) DrawFrameSide(*cell.Layout, side, cell, edges);
        return;
    }
    c.Pen = PenOf(clBtnFace);
    if (!cell.IsGridCell()) {
        Line(edges.Right - 1, edges.Top, edges.Right - 1, edges.Bottom);
        return;
    }
    c.MoveTo(edges.Left, edges.Top);
    c.LineTo(edges.Left, edges.Bottom - 1);
    c.LineTo(edges.Right - 1, edges.Bottom - 1);
    c.LineTo(edges.Right - 1, edges.Top - 1);
}

void TVokGridView::DrawFrameSide(TLayoutProp& layout, TFrameOption side, TVokCell& cell, const TRect& edges) {
    TPaintCanvas& c = PaintCanvas();
    c.Pen = PenOf(layout.FrameColor);
    const bool vertical = side == foLeft || side == foRight;
    const int32_t at = side == foLeft    ? edges.Left
                       : side == foRight ? edges.Right - 1
                       : side == foTop   ? edges.Top
                                         : edges.Bottom - 1;
    const int32_t start = vertical ? edges.Top : edges.Left;
    const int32_t stop = vertical ? edges.Bottom : edges.Right;
    if (layout.OnFrameLineDraw) {
        bool doDefaultDraw = false;
        layout.OnFrameLineDraw(layout, side, cell, edges, start, stop, doDefaultDraw, c);
        if (!doDefaultDraw) return;
    }
    const auto draw = [&](int32_t position) {
        if (vertical)
            Line(position, start, position, stop);
        else
            Line(start, position, stop, position);
    };
    draw(at);
    if (layout.FrameKind == TFrameKind::fk3d) {
        c.Pen.Color = Lighter(c.Pen.Color);
        draw(at - 1);
    }
}

void TVokGridView::DrawCheckBox(const TRect& T, bool checked) {
    TPaintCanvas& c = PaintCanvas();
    c.FillRect(T.ToQRect());
    c.FillRect(TRect{T.Left + 1, T.Top + 3, T.Left + 12, T.Top + 14}.ToQRect(), kColorWindow);
    const int bx = T.Left + 1;
    const int by = T.Top + 3;
    c.Pen = PenOf(cl3DDkShadow);
    c.MoveTo(bx + 11, by);
    c.LineTo(bx, by);
    c.LineTo(bx, by + 11);
    c.Pen = PenOf(cl3DLight);
    c.LineTo(bx + 11, by + 11);
    c.LineTo(bx + 11, by);
    c.Pen = PenOf(cl3DDkShadow);
    c.MoveTo(bx + 10, by + 1);
    c.LineTo(bx + 1, by + 1);
    c.LineTo(bx + 1, by + 11);
    if (!checked) return;
    c.Pen = PenOf(clBlack);
    const int x = T.Left;
    const int y = T.Top;
    Line(x + 4, y + 8, x + 8, y + 12);
    Line(x + 4, y + 9, x + 7, y + 12);
    Line(x + 4, y + 10, x + 7, y + 13);
    for (int i = 0; i < 3; ++i)
        Line(x + 10, y + 6 + i, x + 6, y + 10 + i);
}

void TVokGridView::DrawSortMark(const TRect& T) {
    TPaintCanvas& c = PaintCanvas();
    const int R = T.Right;
    const int M = T.Top + (T.Bottom - T.Top) / 2;
    if (SortDescending) {
        c.Pen = PenOf(cl3DDkShadow);
        c.MoveTo(R - 3, M - 3);
        c.LineTo(R - 10, M - 3);
        c.LineTo(R - 7, M + 3);
        c.Pen = PenOf(clWhite);
        Line(R - 6, M + 3, R - 3, M - 3);
    } else {
        c.Pen = PenOf(clWhite);
        c.MoveTo(R - 10, M + 3);
        c.LineTo(R - 3, M + 3);
        c.LineTo(R - 6, M - 3);
        c.Pen = PenOf(cl3DDkShadow);
        Line(R - 7, M - 3, R - 10, M + 3);
    }
}

// --- Tree rows -------------------------------------------------------------------------

bool TVokGridView::HasTreeButton(TVokCell&) {
    return false;
}

bool TVokGridView::HasIcon(TVokCell&, int32_t&) {
    return false;
}

int32_t TVokGridView::CellInset(TVokCell& cell) {
    if (OnCellInset) return OnCellInset(*this, cell);
    const TnvDataEntity_GridTreeNode* node = cell.RowItem() ? cell.RowItem()->TreeNode() : nullptr;
    return node ? Round(15.0 * node->LevelIndent() * PrintScaleX()) : 0;
}

bool TVokGridView::IsButtonExpanded(TVokCell& cell) {
    if (OnIsButtonExpanded) return OnIsButtonExpanded(*this, cell);
    const TnvDataEntity_GridTreeNode* node = cell.RowItem() ? cell.RowItem()->TreeNode() : nullptr;
    return node && node->Expanded;
}

bool TVokGridView::IsButtonTerminal(TVokCell& cell) {
    if (OnIsButtonTerminal) return OnIsButtonTerminal(*this, cell);
    if (OnButtonHasNonHiddenChildren) return !OnButtonHasNonHiddenChildren(*this, cell);
    TnvDataEntity_GridTreeNode* node = cell.RowItem() ? cell.RowItem()->TreeNode() : nullptr;
    return !node || !HasShownChild(*node);
}

TVokCell* TVokGridView::ParentButtonCell(TVokCell& cell) {
    if (OnGetParentButtonCell) return OnGetParentButtonCell(*this, cell);
    const TnvDataEntity_GridTreeNode* node = cell.RowItem() ? cell.RowItem()->TreeNode() : nullptr;
    const TnvDataEntity_GridTreeNode* parent = node ? node->ParentNode() : nullptr;
    if (!parent || !parent->RowItem() || !cell.Owner()) return nullptr;
    return cell.Owner()->Cells().LoadedCell(cell.ColumnItem()->Index(), parent->RowItem()->Index());
}

void TVokGridView::DrawTreeButtons() {
    if (ButtonCells.empty()) return;
    TPaintCanvas& c = PaintCanvas();
    c.SetClipRect(rootCell_->LayoutRect.ToQRect());
    const auto centre = [](const TButtonCell& b) {
        return QPoint(b.Button.Left + 7, b.Button.Top + std::min(8, std::max(0, b.Button.Height() - 1)));
    };
    // Connectors first: from the parent's button down, then across.
    c.Pen = PenOf(clSilver);
    for (const TButtonCell& b : ButtonCells) {
        TVokCell* parent = ParentButtonCell(*b.Cell);
        if (!parent) continue;
        const QPoint at = centre(b);
        const int px = at.x() - 15;
        int py = b.Cell->Owner() ? b.Cell->Owner()->LayoutRect.Top : at.y();
        for (const TButtonCell& p : ButtonCells)
            if (p.Cell == parent) py = centre(p).y() + 5;
        Line(px, py, px, at.y() + 1);
        Line(px, at.y(), at.x() - 4, at.y());
    }
    for (const TButtonCell& b : ButtonCells) {
        if (IsButtonTerminal(*b.Cell)) continue;
        const QPoint at = centre(b);
        const QRect box(at.x() - 4, at.y() - 4, 9, 9);
        c.FillRect(box, kColorWindow);
        c.Brush = BrushOf(clBtnShadow);
        c.FrameRect(box);
        c.Pen = PenOf(clBlack);
        Line(at.x() - 2, at.y(), at.x() + 3, at.y());
        if (!IsButtonExpanded(*b.Cell)) Line(at.x(), at.y() - 2, at.x(), at.y() + 3);
    }
}

// --- Content and editing -------------------------------------------------------------

void TVokGridView::GetCellContent(TVokCell& cell, QString& theString, bool& theBoolean,
                                  bool& theIsStringEdit) {
    theString = cell.Text();
    theIsStringEdit = true;
    theBoolean = false;
    if (const TVokSimpleCellStringData* data = cell.StringData(); data && data->IsBool) {
        theIsStringEdit = false;
        theBoolean = theString.toUpper() == QStringLiteral("TRUE");
    }
}

void TVokGridView::SortByColumn(TVokCell& headerCell, bool descending) {
    SortCell = &headerCell;
    SortDescending = descending;
    Invalidate();
}

void TVokGridView::Copy() {
    const TVokCell* cell = rootCell_->DeepFocusedCell();
    if (!cell) return;
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(cell->Text());
}
