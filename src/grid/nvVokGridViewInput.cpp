// The grid view's input: mouse, wheel, keys and drag hover; in-place editing
// with the five editors; typing that starts an edit or searches.

#include "grid/nvGridTree.h"
#include "grid/nvInplaceEditors.h"
#include "grid/nvVokGridView.h"
#include "platform/DeferredCalls.h"

#include <QApplication>
#include <QCursor>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLocale>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

constexpr int MoveLeft = 1, MoveRight = 2, MoveUp = 3, MoveDown = 4, MoveReturn = 5, MovePageUp = 6,
              MovePageDown = 7, MoveFirstRow = 8, MoveLastRow = 9, MoveFirstColumn = 10, MoveLastColumn = 11;

// Pixels either side of a header border that grab it.
constexpr int BorderGrip = 2;
// How far the mouse may wander while the auto-edit timer runs.
constexpr int AutoEditSlack = 3;
constexpr double OneSecond = 1.0 / 86400.0;

bool Contains(const TRect& r, int X, int Y) {
    return r != NoCellRect && X >= r.Left && X < r.Right && Y >= r.Top && Y < r.Bottom;
}

TRect Shrunk(const TRect& r, int32_t d) {
    return {r.Left + d, r.Top + d, r.Right - d, r.Bottom - d};
}

bool IsFixedRow(const TVokCell& cell) {
    return cell.Owner() && cell.RowItem() && cell.RowItem()->Index() < cell.Owner()->FixedRowCount();
}

bool IsFixedColumn(const TVokCell& cell) {
    return cell.Owner() && cell.ColumnItem() && cell.ColumnItem()->Index() < cell.Owner()->FixedColumnCount();
}

// Space, digits, ASCII letters and the letters of the Nordic and German
// alphabets that the old single-byte code page had (Ä Å Ö ä å ö).
bool StartsEdit(QChar ch) {
    const char16_t c = ch.unicode();
    if (c == u' ' || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))
        return true;
    return c == 0xC4 || c == 0xC5 || c == 0xD6 || c == 0xE4 || c == 0xE5 || c == 0xF6;
}

// The index nearest to from, in direction step and then the other way, whose
// item is shown; -1 when every item in [low, high] is hidden.
int32_t ShownIndex(TAxisContentList& axis, int32_t from, int step, int32_t low, int32_t high) {
    const auto shown = [&](int32_t i) {
        const TAxisContentItem* item = axis.Item(i);
        return item && !item->Hidden();
    };
    for (int dir : {step == 0 ? 1 : step, step == 0 ? -1 : -step})
        for (int32_t i = from; i >= low && i <= high; i += dir)
            if (shown(i)) return i;
    return -1;
}

} // namespace

// --- Mouse -------------------------------------------------------------------------------

void TVokGridView::MouseDown(TMouseButton button, TShiftState shift, int X, int Y) {
    TnvOffscreenPaint::MouseDown(button, shift, X, Y);
    if (!Editing && (shift & TShift::Double) == 0) setFocus(Qt::MouseFocusReason);
    lastPress_ = QPoint(X, Y);
    MousePoint = QPoint(X, Y);

    if (button == TMouseButton::Left && AutoEditMode && !AutoEditTimer->isActive()) {
        PressPoint = QPoint(X, Y);
        AutoEditTimer->start();
    }
    if (button == TMouseButton::Right && Editing) EndEdit();

    TVokGridCellForViewer& root = *rootCell_;
    TVokCell* cell = root.CellAt(X, Y, true);
    if (button == TMouseButton::Right) {
        if (OnRightClick) OnRightClick(*this, cell);
        // The handler may have changed the rows.
        cell = root.CellAt(X, Y, true);
    }
    if (cell && !cell->IsFixed()) root.SetFocused(cell);

    if (!Editing && cell && !cell->IsFixed()) {
        if (button == TMouseButton::Left) {
            bool toggled = false;
            if (EditorKindOf(*cell) == 3 && (shift & TShift::Double) == 0) {
                InvokedFromClick = true;
                struct Reset {
                    bool& flag;
                    ~Reset() { flag = false; }
                } reset{InvokedFromClick};
                const QString before = cell->Text();
                BeginEdit();
                toggled = cell->Text() != before;
            }
            // A check box that may not change still takes part in selecting.
            if (!toggled) {
                if (cell->Selected()) {
                    PendingSelect = true;
                    PendingCell = cell;
                    PendingShift = shift;
                } else {
                    root.SelectCell(cell, shift);
                }
            }
        } else if (button == TMouseButton::Right &&
                   (shift & (TShift::Shift | TShift::Alt | TShift::Ctrl)) == 0) {
            if (TVokCell* focused = root.DeepFocusedCell(); focused && !focused->Selected())
                root.SelectCell(focused, 0);
        }
    }

    if (Editing) return;
    uint8_t mode = 0;
    TVokCell* border = nullptr;
    if (BorderAt(X, Y, mode, border)) {
        ResizeMode = mode;
        ResizeCell = border;
        ResizePress = QPoint(X, Y);
        return;
    }
    if (button != TMouseButton::Left || (shift & TShift::Double) != 0) return;
    TVokCell* header = root.CellAt(X, Y, false);
    if (header && header->IsFixed() && IsFixedRow(*header) && !IsFixedColumn(*header) &&
        Contains(Shrunk(header->Rect, BorderGrip), X, Y) && CanSortBy(*header)) {
        SortDescending = SortCell == header ? !SortDescending : false;
        SortByColumn(*header, SortDescending);
        Invalidate();
        return;
    }
    if (TVokCell* focused = root.DeepFocusedCell()) {
        for (const TButtonCell& b : ButtonCells)
            if (b.Cell == focused && Contains(b.Button, X, Y)) {
                ToggleTreeButton(*focused);
                break;
            }
    }
}

bool TVokGridView::BorderAt(int X, int Y, uint8_t& mode, TVokCell*& cell) {
    TVokGridCellForViewer& root = *rootCell_;
    // The border belongs to the cell left of (above) it; near the border the
    // point may lie in either neighbour.
    for (const QPoint p : {QPoint(X, Y), QPoint(X - BorderGrip - 1, Y)}) {
        TVokCell* c = root.CellAt(p.x(), p.y(), false);
        if (c && c->IsFixed() && IsFixedRow(*c) && std::abs(X - c->Rect.Right) <= BorderGrip) {
            mode = 1;
            cell = c;
            return true;
        }
    }
    for (const QPoint p : {QPoint(X, Y), QPoint(X, Y - BorderGrip - 1)}) {
        TVokCell* c = root.CellAt(p.x(), p.y(), false);
        if (c && c->IsFixed() && IsFixedColumn(*c) && std::abs(Y - c->Rect.Bottom) <= BorderGrip) {
            mode = 2;
            cell = c;
            return true;
        }
    }
    return false;
}

void TVokGridView::MouseMove(TShiftState shift, int X, int Y) {
    TnvOffscreenPaint::MouseMove(shift, X, Y);
    MousePoint = QPoint(X, Y);
    if (ResizeMode != 0) {
        ResizeLine = ResizeMode == 1 ? TRect{X, 0, X, Height()} : TRect{0, Y, Width(), Y};
        setCursor(ResizeMode == 1 ? Qt::SplitHCursor : Qt::SplitVCursor);
        Invalidate();
        return;
    }
    uint8_t mode = 0;
    TVokCell* border = nullptr;
    if (!Editing && BorderAt(X, Y, mode, border))
        setCursor(mode == 1 ? Qt::SplitHCursor : Qt::SplitVCursor);
    else
        setCursor(NormalCursor);
}

void TVokGridView::DrawResizeLine() {
    if (ResizeMode == 0 || ResizeLine == NoCellRect) return;
    // Qt draws only inside paints, so the inverted line is part of the paint;
    // the next paint draws it anew where the mouse is.
    // Two thin dotted lines side by side: a wide pen's round caps would
    // close the gaps.
    TPaintCanvas& c = PaintCanvas();
    c.Pen = TPen{tw::kWhite, 1, TPenStyle::Dot, TPenMode::Not};
    const QPoint across = ResizeMode == 1 ? QPoint(1, 0) : QPoint(0, 1);
    for (const QPoint offset : {QPoint(0, 0), across}) {
        c.MoveTo(ResizeLine.Left + offset.x(), ResizeLine.Top + offset.y());
        c.LineTo(ResizeLine.Right + offset.x(), ResizeLine.Bottom + offset.y());
    }
    c.Pen = TPen{};
}

void TVokGridView::MouseUp(TMouseButton button, TShiftState shift, int X, int Y) {
    TnvOffscreenPaint::MouseUp(button, shift, X, Y);
    if (ResizeMode != 0) {
        const bool columns = ResizeMode == 1;
        TVokCell* cell = std::exchange(ResizeCell, nullptr);
        ResizeMode = 0;
        ResizeLine = NoCellRect;
        setCursor(NormalCursor);
        TAxisContentItem* item = cell ? (columns ? cell->ColumnItem() : cell->RowItem()) : nullptr;
        if (item) {
            const int delta = columns ? X - ResizePress.x() : Y - ResizePress.y();
            // Dragged past the left (top) edge of its cell: as small as it gets.
            item->SetExplicitSize(std::max(0, item->Size + delta), true);
            if (OnAfterUserSize) OnAfterUserSize(*this, cell, columns, *item);
            NeedMeasure = true;
        }
        Invalidate();
    }
    if (std::exchange(PendingSelect, false)) {
        if (TVokCell* cell = std::exchange(PendingCell, nullptr)) rootCell_->SelectCell(cell, shift);
    }
}

void TVokGridView::DblClick() {
    TnvOffscreenPaint::DblClick();
    const int X = lastPress_.x();
    const int Y = lastPress_.y();
    for (const TButtonCell& b : ButtonCells)
        if (Contains(b.Button, X, Y)) return;
    TVokCell* cell = rootCell_->CellAt(X, Y, true);
    if (cell && !cell->IsFixed() && !Editing) BeginEdit();
}

void TVokGridView::AutoEditFired() {
    AutoEditTimer->stop();
    if (std::abs(MousePoint.x() - PressPoint.x()) <= AutoEditSlack &&
        std::abs(MousePoint.y() - PressPoint.y()) <= AutoEditSlack)
        BeginEdit();
}

// --- Wheel and drag hover -------------------------------------------------------------------

void TVokGridView::ScrollOneStep(bool horizontal, bool back) {
    const TVokGridCellForViewer& root = *rootCell_;
    const int32_t position = horizontal ? Ordinal(root.Columns(), root.FirstScrolledColumn())
                                        : Ordinal(root.Rows(), root.FirstScrolledRow());
    const int32_t page = horizontal ? std::max(root.VisibleColumnCount - root.FixedColumnCount(), 1)
                                    : std::max(root.VisibleRowCount - root.FixedRowCount(), 1);
    // Forward, the last whole item is kept in view, which moves one on; when a
    // single item fits, that item is the current position, so aim one past it.
    KeepInView(horizontal, back ? position - 1 : position + std::max(page - 1, 1));
}

void TVokGridView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    event->accept();
    Guarded([&] {
        if (!vertScrollBar_->isHidden())
            ScrollOneStep(false, delta > 0);
        else
            MoveFocus(delta > 0 ? MoveUp : MoveDown, 0);
    });
}

void TVokGridView::DragScroll(int direction) {
    dragScrolled_ = true;
    dragDirection_ = direction;
    if (!dragTimer_->isActive()) dragTimer_->start();
    const bool vertical = direction <= 1;
    const TScrollbar_nv& bar = vertical ? *vertScrollBar_ : *horzScrollBar_;
    if (bar.isHidden()) return;
    ScrollOneStep(!vertical, direction == 0 || direction == 2);
}

void TVokGridView::DragOver(int X, int Y, bool& Accept) {
    dragScrolled_ = false;
    TnvOffscreenPaint::DragOver(X, Y, Accept);
    // Qt reports a drag only when it moves; while it rests in an edge zone the
    // timer keeps scrolling.
    if (!dragScrolled_) dragTimer_->stop();
}

void TVokGridView::DragTimerFired() {
    if (dragDirection_ < 0) {
        dragTimer_->stop();
        return;
    }
    DragScroll(dragDirection_);
}

void TVokGridView::dragLeaveEvent(QDragLeaveEvent* event) {
    dragTimer_->stop();
    dragDirection_ = -1;
    TnvOffscreenPaint::dragLeaveEvent(event);
}

void TVokGridView::dropEvent(QDropEvent* event) {
    dragTimer_->stop();
    dragDirection_ = -1;
    TnvOffscreenPaint::dropEvent(event);
}

// --- Keys ----------------------------------------------------------------------------------

void TVokGridView::keyPressEvent(QKeyEvent* event) {
    TnvOffscreenPaint::keyPressEvent(event);
    const QString text = event->text();
    if (text.size() != 1 || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) return;
    bool used = false;
    Guarded([&] { used = KeyPress(text.front()); });
    if (used) event->accept();
}

void TVokGridView::KeyDown(int& Key, TShiftState shift) {
    TnvOffscreenPaint::KeyDown(Key, shift);
    int move = 0;
    switch (Key) {
    case TKey::Left:
        move = MoveLeft;
        break;
    case TKey::Right:
        move = MoveRight;
        break;
    case TKey::Up:
        move = MoveUp;
        break;
    case TKey::Down:
        move = MoveDown;
        break;
    case TKey::Return:
        move = MoveReturn;
        break;
    case TKey::PageUp:
        move = MovePageUp;
        break;
    case TKey::PageDown:
        move = MovePageDown;
        break;
    case TKey::Home:
        move = (shift & TShift::Ctrl) ? MoveFirstRow : MoveFirstColumn;
        break;
    case TKey::End:
        move = (shift & TShift::Ctrl) ? MoveLastRow : MoveLastColumn;
        break;
    case TKey::F2:
        BeginEdit();
        return;
    case 'C':
        if ((shift & (TShift::Ctrl | TShift::Alt | TShift::Shift)) == TShift::Ctrl) Copy();
        return;
    default:
        return;
    }
    MoveFocus(move, shift);
}

void TVokGridView::MoveFocus(int move, TShiftState shift) {
    TVokGridCellForViewer& root = *rootCell_;
    TVokCell* focused = root.DeepFocusedCell();
    if (!focused) {
        focused = Enter(root.GetCell(root.FirstScrolledColumn(), root.FirstScrolledRow()));
        if (!focused) return;
        root.SetFocused(focused);
    }
    TVokCell* target = MoveFrom(*focused, move);
    if (!target) return;
    // Jumping to the first or last row does not toggle anything.
    if (move == MoveFirstRow || move == MoveLastRow) shift &= static_cast<TShiftState>(~TShift::Ctrl);
    root.SetFocused(target);
    root.SelectCell(target, shift);
    if ((move == MovePageUp || move == MovePageDown || move == MoveFirstRow || move == MoveLastRow) &&
        target->Owner() == &root) {
        UpdateLayout();
        KeepInView(false, Ordinal(root.Rows(), target->RowItem()->Index()));
    }
}

TVokCell* TVokGridView::Enter(TVokCell* cell) {
    // A grid cell stands for its focused cell, or its first data cell.
    while (cell) {
        TVokGridCell* grid = cell->AsGridCell();
        if (!grid) return cell;
        TVokCell* inner = grid->FocusedCell;
        if (!inner) inner = grid->GetCell(grid->FixedColumnCount(), grid->FixedRowCount());
        if (!inner) return cell;
        cell = inner;
    }
    return nullptr;
}

TVokCell* TVokGridView::MoveFrom(TVokCell& cell, int move) {
    TVokGridCell* grid = cell.Owner();
    if (!grid || !cell.ColumnItem() || !cell.RowItem()) return nullptr;
    TAxisContentList& columns = grid->Columns();
    TAxisContentList& rows = grid->Rows();
    const int32_t fixedC = grid->FixedColumnCount();
    const int32_t fixedR = grid->FixedRowCount();
    const int32_t lastC = columns.Count() - 1;
    const int32_t lastR = rows.Count() - 1;
    const int32_t c0 = cell.ColumnItem()->Index();
    const int32_t r0 = cell.RowItem()->Index();
    int32_t c = c0;
    int32_t r = r0;
    switch (move) {
    case MoveLeft:
        c = std::max(c - 1, fixedC);
        break;
    case MoveRight:
        c = std::min(c + 1, lastC);
        break;
    case MoveUp:
        r = std::max(r - 1, fixedR);
        break;
    case MoveDown:
        r = std::min(r + 1, lastR);
        break;
    case MovePageUp:
        r = std::max(r - grid->VisibleRowCount + fixedR, fixedR);
        break;
    case MovePageDown:
        r = std::min(r + grid->VisibleRowCount - fixedR, lastR);
        break;
    case MoveFirstRow:
        r = fixedR;
        break;
    case MoveLastRow:
        r = std::max(lastR, fixedR);
        break;
    case MoveFirstColumn:
        c = fixedC;
        break;
    case MoveLastColumn:
        c = std::max(lastC, fixedC);
        break;
    default:
        break;
    }
    const auto sign = [](int32_t v) { return (v > 0) - (v < 0); };
    const int stepC = sign(c - c0);
    const int stepR = sign(r - r0);
    // Hidden items are passed over; failing that, the nearest shown one back.
    if (stepC != 0 || c != c0) c = ShownIndex(columns, c, stepC, fixedC, lastC);
    if (stepR != 0 || r != r0) r = ShownIndex(rows, r, stepR, fixedR, lastR);
    if (c < 0 || r < 0) return nullptr;
    TVokCell* target = grid->GetCell(c, r);
    // A run of group cells is one cell: its last one. Landing inside a run
    // moves on in the same direction.
    while (target && target->Grouped && !target->GroupTail && (stepC != 0 || stepR != 0)) {
        const int32_t nc = stepC != 0 ? ShownIndex(columns, c + stepC, stepC, fixedC, lastC) : c;
        const int32_t nr = stepR != 0 ? ShownIndex(rows, r + stepR, stepR, fixedR, lastR) : r;
        if (nc < 0 || nr < 0 || (nc - c) * stepC < 0 || (nr - r) * stepR < 0) {
            target = nullptr;
            break;
        }
        c = nc;
        r = nr;
        target = grid->GetCell(c, r);
    }
    if (!target) return &cell;
    if (target == &cell && move != MoveReturn && grid != rootCell_.get()) {
        // Nothing to move to inside the sub-grid: the move goes on outside it.
        TVokCell* outer = MoveFrom(*grid, move);
        return outer == grid ? &cell : outer;
    }
    return Enter(target);
}

bool TVokGridView::KeyPress(QChar ch) {
    if (Editing) EndEdit();
    if (ch == QChar(u'\r')) {
        TVokCell* focused = rootCell_->DeepFocusedCell();
        if (focused && HasTreeButton(*focused))
            ToggleTreeButton(*focused);
        else if (EnterStartsEdit)
            BeginEdit();
        return true;
    }
    if (!StartsEdit(ch)) return false;
    BeginEdit();
    if (Editing && ActiveEditor) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(ActiveEditor, &press);
    } else if (TypeAheadEnabled) {
        TypeAhead(ch);
    }
    return true;
}

// --- Incremental search -------------------------------------------------------------------

void TVokGridView::TypeAhead(QChar ch) {
    const double now = TypeAheadClock();
    if (now - TypeAheadTime > OneSecond) TypeAheadText.clear();
    TypeAheadText += ch;
    TypeAheadTime = now;
    TDeferredCalls::Queue(this, &TVokGridView::RunTypeAhead);
}

void TVokGridView::RunTypeAhead() {
    Guarded([this] {
        TVokGridCellForViewer& root = *rootCell_;
        TVokCell* focused = root.DeepFocusedCell();
        if (!focused) {
            const int32_t column = SortCell && SortCell->ColumnItem() && SortCell->Owner() == &root
                                       ? SortCell->ColumnItem()->Index()
                                       : root.FirstScrolledColumn();
            focused = root.GetCell(column, root.FirstScrolledRow());
            if (!focused) return;
            root.SetFocused(focused);
            focused = root.DeepFocusedCell();
            if (!focused) return;
        }
        TVokGridCell* grid = focused->Owner();
        if (!grid || !focused->ColumnItem() || !focused->RowItem()) return;
        const int32_t column = focused->ColumnItem()->Index();
        const int32_t start = focused->RowItem()->Index();
        const int32_t count = grid->Rows().Count();
        const QString wanted = QLocale().toUpper(TypeAheadText);
        for (int32_t n = 0; n < count; ++n) {
            const int32_t row = (start + n) % count;
            // Headers are not searched; they can be neither focused nor selected.
            if (row < grid->FixedRowCount()) continue;
            const TAxisContentItem* item = grid->Rows().Item(row);
            if (!item || item->Hidden()) continue;
            TVokCell* cell = grid->GetCell(column, row);
            if (!cell || cell->IsGridCell()) continue;
            if (!QLocale().toUpper(cell->Text()).startsWith(wanted)) continue;
            root.SetFocused(cell);
            grid->SelectCell(cell, 0);
            if (grid == &root) {
                UpdateLayout();
                KeepInView(false, Ordinal(root.Rows(), row));
            }
            Invalidate();
            return;
        }
    });
}

// --- Editing -------------------------------------------------------------------------------

bool TVokGridView::CanModify(TVokCell& cell) {
    return OnEditorCanModify ? OnEditorCanModify(*this, &cell) : true;
}

uint8_t TVokGridView::EditorKindOf(TVokCell& cell) {
    const TVokSimpleCellStringData* data = cell.StringData();
    return data && data->IsBool ? 3 : 0;
}

bool TVokGridView::EditsDate(TVokCell&) {
    return false;
}

bool TVokGridView::CanSortBy(TVokCell&) {
    return false;
}

void TVokGridView::BeforeEditWithCombo(TVokCell&) {}

bool TVokGridView::AcceptsChar(QChar) {
    return true;
}

void TVokGridView::ToggleTreeButton(TVokCell& cell) {
    if (OnButtonClick) {
        OnButtonClick(*this, &cell);
        return;
    }
    TVokGridCell* owner = cell.Owner();
    TnvDataEntity_GridTreeNode* node = cell.RowItem() ? cell.RowItem()->TreeNode() : nullptr;
    auto* data = owner ? dynamic_cast<TVokSubGridCellDataTreeRef*>(owner->CellData.get()) : nullptr;
    if (node && data && data->Tree) data->Tree->Toggle(*node);
}

QString TVokGridView::GetCellContent(QWidget*, TVokCell& cell) {
    QString text;
    bool boolean = false;
    bool isStringEdit = true;
    GetCellContent(cell, text, boolean, isStringEdit);
    return text;
}

QWidget* TVokGridView::EditorOfKind(uint8_t kind) const {
    switch (kind) {
    case 1:
        return MemoEditor;
    case 2:
        return ComboEditor;
    case 3:
        return BoolEditor;
    case 4:
        return DateTimeEditor;
    default:
        return TextEditor;
    }
}

void TVokGridView::BeginEdit() {
    if (Editing) return;
    auto* cell = dynamic_cast<TVokSimpleCell*>(rootCell_->DeepFocusedCell());
    if (!cell || cell->IsFixed() || !cell->StringData() || !CanModify(*cell)) return;
    TVokGridCell* owner = cell->Owner();
    // Selecting first: its notifications end any edit, and this one is not open yet.
    if (owner) owner->SelectCell(cell, 0);
    EditCell = cell;
    EditKind = EditorKindOf(*cell);
    Editing = true;
    QWidget* editor = EditorOfKind(EditKind);
    ActiveEditor = editor;
    try {
        if (EditKind != 3) {
            QFont font = this->font();
            QPalette palette = this->palette();
            if (const TLayoutProp* layout = cell->Layout; layout && layout->UseFontInfo) {
                font = TFont{layout->FontName, layout->FontSize,
                             static_cast<uint8_t>(layout->FontStyle.toInt()), 0}
                           .ToQFont();
                const tw::ColorValue colour = ResolveColor(static_cast<tw::ColorValue>(layout->FontColor));
                palette.setColor(QPalette::Text,
                                 QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
            }
            editor->setFont(font);
            editor->setPalette(palette);
        }
        const QString text = GetCellContent(editor, *cell);
        switch (EditKind) {
        case 1:
            static_cast<TVokInplaceMemoEditor*>(MemoEditor)->SetCellText(text);
            break;
        case 2:
            BeforeEditWithCombo(*cell);
            static_cast<TVokInplaceComboEditor*>(ComboEditor)->SetCellText(text);
            break;
        case 3:
            static_cast<TVokInplaceBoolEditor*>(BoolEditor)->SetCellText(text);
            break;
        case 4:
            static_cast<TVokInplaceDateTimeEditor*>(DateTimeEditor)->SetCellText(text, EditsDate(*cell));
            break;
        default:
            static_cast<TVokInplaceEditor*>(TextEditor)->SetCellText(text);
            break;
        }
    } catch (...) {
        // A date that cannot be read: no edit.
        Editing = false;
        EditCell = nullptr;
        ActiveEditor = nullptr;
        throw;
    }

    TRect r = cell->Rect;
    if (r != NoCellRect) {
        if (HasTreeButton(*cell)) r.Left += CellInset(*cell) + 16;
        editor->setGeometry(QRect(r.Left, r.Top, std::max(1, r.Width()), r.Height() + 1)
                                .translated(contentsRect().topLeft()));
    }
    editor->show();
    editor->raise();
    editor->setFocus(Qt::OtherFocusReason);
    if (EditKind == 0) TextEditor->selectAll();
    if (EditKind == 1) MemoEditor->selectAll();
    Invalidate();
    if (InvokedFromClick && EditKind == 3) {
        BoolEditor->toggle();
        EndEdit();
    }
}

QString TVokGridView::EditorText() const {
    switch (EditKind) {
    case 1:
        return static_cast<const TVokInplaceMemoEditor*>(MemoEditor)->CellText();
    case 2:
        return static_cast<const TVokInplaceComboEditor*>(ComboEditor)->CellText();
    case 3:
        return static_cast<const TVokInplaceBoolEditor*>(BoolEditor)->CellText();
    case 4:
        return static_cast<const TVokInplaceDateTimeEditor*>(DateTimeEditor)->CellText();
    default:
        return static_cast<const TVokInplaceEditor*>(TextEditor)->CellText();
    }
}

void TVokGridView::ApplyEdit() {
    if (Editing && EditCell) ApplyEdit(ActiveEditor, EditCell, false, EditorText());
}

void TVokGridView::ApplyEdit(QWidget* editor, TVokSimpleCell* cell, bool cancelled, QString text) {
    if (cancelled || !cell) return;
    TVokSimpleCellStringData* data = cell->StringData();
    if (!data) return;
    // The rows are no longer in the order the mark shows.
    SortCell = nullptr;
    SortDescending = false;
    if (OnEditStop) OnEditStop(*this, editor, *data, text);
    data->SetText(text);
    Invalidate();
}

void TVokGridView::HideEditors() {
    for (QWidget* editor :
         std::initializer_list<QWidget*>{TextEditor, ComboEditor, MemoEditor, BoolEditor, DateTimeEditor}) {
        if (!editor || editor->isHidden()) continue;
        // Handing the focus back first keeps Qt from passing it to the next
        // control of the window.
        if (editor->hasFocus()) setFocus(Qt::OtherFocusReason);
        editor->hide();
    }
}

void TVokGridView::EndEdit() {
    if (EndingEdit) return;
    EndingEdit = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{EndingEdit};
    const bool wasOpen = Editing;
    if (Editing) {
        struct Close {
            TVokGridView& view;
            ~Close() {
                view.Editing = false;
                view.EditCell = nullptr;
                view.ActiveEditor = nullptr;
                view.HideEditors();
            }
        } close{*this};
        ApplyEdit();
    }
    Editing = false;
    if (wasOpen && !destroying_) setFocus(Qt::OtherFocusReason);
    Invalidate();
}

void TVokGridView::CancelEdit() {
    const bool wasOpen = Editing;
    ApplyEdit(ActiveEditor, EditCell, true, QStringLiteral("ESCAPED"));
    Editing = false;
    EditCell = nullptr;
    ActiveEditor = nullptr;
    HideEditors();
    if (wasOpen) setFocus(Qt::OtherFocusReason);
    Invalidate();
}

void TVokGridView::CloseEditor() {
    Editing = false;
    EditCell = nullptr;
    ActiveEditor = nullptr;
    HideEditors();
    Invalidate();
}

bool TVokGridView::EditorKey(QWidget* editor, QKeyEvent& key) {
    const int k = key.key();
    const QString text = key.text();
    if (k == Qt::Key_Escape) {
        CancelEdit();
        return true;
    }
    if (k == Qt::Key_Tab || k == Qt::Key_Backtab) {
        EndEdit();
        return true;
    }
    if (k == Qt::Key_Return || k == Qt::Key_Enter) {
        if (editor == MemoEditor) return false;
        EndEdit();
        return true;
    }
    if ((k == Qt::Key_Up || k == Qt::Key_Down) && editor == TextEditor) {
        // Committed, and the grid moves on as if the editor had not been there.
        EndEdit();
        MoveFocus(k == Qt::Key_Up ? 3 : 4, 0);
        return true;
    }
    const bool typed = !text.isEmpty() && text.front() >= QChar(u' ') && text.front() != QChar(0x7F);
    const bool changes =
        typed || k == Qt::Key_Backspace || key.matches(QKeySequence::Paste) || key.matches(QKeySequence::Cut);
    if (!changes) return false;
    if (typed && !AcceptsChar(text.front())) {
        QApplication::beep();
        return true;
    }
    TVokCell* focused = rootCell_->DeepFocusedCell();
    return !(focused && CanModify(*focused));
}

bool TVokGridView::eventFilter(QObject* watched, QEvent* event) {
    auto* editor = qobject_cast<QWidget*>(watched);
    if (!editor || destroying_ || editor != ActiveEditor)
        return TnvOffscreenPaint::eventFilter(watched, event);
    bool eaten = false;
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Keys the editor deals with, before any shortcut of the window.
        const int k = static_cast<QKeyEvent*>(event)->key();
        if (k == Qt::Key_Escape || k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Tab) {
            event->accept();
            eaten = true;
        }
        break;
    }
    case QEvent::KeyPress:
        Guarded([&] { eaten = EditorKey(editor, *static_cast<QKeyEvent*>(event)); });
        break;
    case QEvent::FocusOut: {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A combo's own list taking the focus is no leaving.
        if (reason == Qt::PopupFocusReason) break;
        if (editor == ComboEditor && !CommitOnExit) break;
        if (Editing && !EndingEdit) Guarded([this] { EndEdit(); });
        break;
    }
    case QEvent::ContextMenu:
        if (editor == TextEditor) {
            editor->setFocus(Qt::OtherFocusReason);
            eaten = true;
        }
        break;
    default:
        break;
    }
    return eaten || TnvOffscreenPaint::eventFilter(watched, event);
}
