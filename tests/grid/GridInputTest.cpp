#include "grid/nvGrid.h"
#include "platform/DeferredCalls.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// Input as the window system delivers it, straight to the widget.
namespace Send {

void SendMouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers, QPoint at) {
    QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, buttons, modifiers);
    QApplication::sendEvent(w, &event);
}

void mousePress(QWidget* w, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint at) {
    SendMouse(w, QEvent::MouseButtonPress, button, button, modifiers, at);
}

void mouseRelease(QWidget* w, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint at) {
    SendMouse(w, QEvent::MouseButtonRelease, button, Qt::NoButton, modifiers, at);
}

void mouseClick(QWidget* w, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint at) {
    mousePress(w, button, modifiers, at);
    mouseRelease(w, button, modifiers, at);
}

void mouseDClick(QWidget* w, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint at) {
    mouseClick(w, button, modifiers, at);
    SendMouse(w, QEvent::MouseButtonDblClick, button, button, modifiers, at);
    mouseRelease(w, button, modifiers, at);
}

// A move with the left button held, as in a drag.
void mouseMove(QWidget* w, QPoint at, Qt::MouseButtons buttons = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseMove, Qt::NoButton, buttons, {}, at);
}

QString TextOf(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    if (key == Qt::Key_Return) return QStringLiteral("\r");
    if (key == Qt::Key_Tab) return QStringLiteral("\t");
    if (key == Qt::Key_Escape) return QString(QChar(27));
    if (key == Qt::Key_Backspace) return QString(QChar(8));
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        if (modifiers & Qt::ControlModifier) return QString(QChar(key - Qt::Key_A + 1));
        return QString(QChar(key - Qt::Key_A + 'a'));
    }
    return {};
}

void keyClick(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, TextOf(key, modifiers));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, TextOf(key, modifiers));
    QApplication::sendEvent(w, &release);
}

void keyClicks(QWidget* w, const QString& text) {
    for (QChar ch : text) {
        const Qt::Key key = ch.isLetter() ? static_cast<Qt::Key>(Qt::Key_A + (ch.toLower().unicode() - u'a'))
                                          : static_cast<Qt::Key>(ch.unicode());
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
    }
}

} // namespace Send

// A grid under a header row, no information column, whole-row
// multi-selection, with the given column kinds and rows of text.
class Grid {
  public:
    Grid(std::vector<TColumnKind> kinds, const std::vector<std::vector<QString>>& rows, int height = 400) {
        grid.SetHasInfoCol(false);
        grid.SetRowSelect(true);
        grid.SetMultiSelect(true);
        grid.UserSortEnable = true;
        for (TColumnKind kind : kinds) {
            TnvGrid_Column& column = grid.Columns().Add();
            column.SetHeaderText(QStringLiteral("Col%1").arg(grid.Columns().Count()));
            column.SetWidth(80);
            column.SetKind(kind);
            column.SetSortEnable(true);
        }
        for (const std::vector<QString>& texts : rows) {
            grid.AddRow({});
            const int32_t row = grid.RowCount() - 1;
            for (size_t c = 0; c < texts.size(); ++c)
                static_cast<TVokSimpleCell*>(grid.Cells(static_cast<int32_t>(c), row))->SetText(texts[c]);
        }
        grid.TypeAheadClock = [this] { return clock; };
        grid.resize(300, height);
        grid.show();
        // Focus moves, and their focus-out events, need an active window.
        grid.activateWindow();
        QApplication::setActiveWindow(&grid);
        Settle();
    }

    // Lays out and paints as the screen would, and runs the deferred calls.
    void Settle() {
        for (int i = 0; i < 2; ++i) {
            grid.grab();
            TDeferredCalls::RunQueue();
        }
    }

    // Widget coordinates of a point inside a cell, from its left edge.
    QPoint At(int32_t column, int32_t row, int dx = 10) {
        Settle();
        const TRect r = grid.Cells(column, row)->Rect;
        return QPoint(r.Left + dx, r.Top + r.Height() / 2) + grid.contentsRect().topLeft();
    }

    void Click(int32_t row, Qt::KeyboardModifiers modifiers = {}, Qt::MouseButton button = Qt::LeftButton) {
        Send::mouseClick(&grid, button, modifiers, At(0, row));
    }

    int32_t FocusedRow() {
        const TVokCell* cell = grid.FocusedCell();
        return cell ? cell->RowItem()->Index() : -1;
    }

    std::vector<int32_t> SelectedRows() {
        std::vector<int32_t> rows;
        for (int32_t r = 1; r < grid.RowCount(); ++r)
            if (grid.Cells(0, r)->Selected()) rows.push_back(r);
        return rows;
    }

    void Focus(int32_t row, int32_t column = 0) {
        grid.SetFocusedCell(grid.Cells(column, row));
        grid.RootCell().SelectCell(grid.Cells(column, row), 0);
        Settle();
    }

    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) { Send::keyClick(&grid, key, modifiers); }

    // A typed character, as the keyboard delivers it to the grid.
    void Type(QChar ch, QWidget* target = nullptr) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(target ? target : &grid, &press);
    }

    QWidget* OpenEditor() {
        QWidget* focus = QApplication::focusWidget();
        for (QWidget* child : grid.findChildren<QWidget*>())
            if (child->isVisible() &&
                (qobject_cast<QLineEdit*>(child) || qobject_cast<QPlainTextEdit*>(child)))
                return child;
        return grid.IsEditing() ? focus : nullptr;
    }

    QString Text(int32_t column, int32_t row) { return grid.Cells(column, row)->Text(); }

    TnvGrid grid;
    double clock = 1000.0;
};

std::vector<std::vector<QString>> Rows(std::initializer_list<const char*> names) {
    std::vector<std::vector<QString>> rows;
    for (const char* name : names)
        rows.push_back({QString::fromLatin1(name), QStringLiteral("x")});
    return rows;
}

std::vector<std::vector<QString>> TenRows() {
    return Rows({"r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9", "r10"});
}

TEST(GridInput, ClicksSelectPlainCtrlAndShiftWithOneNotificationPerChangedCell) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, TenRows());
    g.Click(2);
    g.Click(3, Qt::ControlModifier);
    ASSERT_EQ(g.SelectedRows(), (std::vector<int32_t>{2, 3}));

    std::map<TVokCell*, int> changes;
    int selectionChanged = 0;
    g.grid.OnCellSelectionChanged = [&](TVokGridView&, TVokCell* cell) { ++changes[cell]; };
    g.grid.OnSelectionChanged = [&](TnvOffscreenPaint&) { ++selectionChanged; };
    g.Click(5);
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{5}));
    EXPECT_EQ(g.FocusedRow(), 5);
    // Two rows deselected and one selected, two cells each, each cell once.
    EXPECT_EQ(changes.size(), 6u);
    for (const auto& [cell, count] : changes) {
        EXPECT_EQ(count, 1);
        const int32_t row = cell->RowItem()->Index();
        EXPECT_TRUE(row == 2 || row == 3 || row == 5) << row;
    }
    EXPECT_EQ(selectionChanged, 6);

    g.Click(8, Qt::ShiftModifier);
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{5, 6, 7, 8}));

    // Ctrl-click on a selected row: nothing on the press, deselected on release.
    Send::mousePress(&g.grid, Qt::LeftButton, Qt::ControlModifier, g.At(0, 6));
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{5, 6, 7, 8}));
    Send::mouseRelease(&g.grid, Qt::LeftButton, Qt::ControlModifier, g.At(0, 6));
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{5, 7, 8}));

    // A plain click on a selected row keeps the selection until release, then
    // leaves that row alone selected.
    Send::mousePress(&g.grid, Qt::LeftButton, {}, g.At(0, 7));
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{5, 7, 8}));
    Send::mouseRelease(&g.grid, Qt::LeftButton, {}, g.At(0, 7));
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{7}));
}

TEST(GridInput, RightClickReportsTheCellAndSelectsAnUnselectedRow) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, TenRows());
    std::vector<TVokCell*> clicked;
    g.grid.OnRightClick = [&](TVokGridView&, TVokCell* cell) { clicked.push_back(cell); };
    g.Click(2);
    g.Click(3, Qt::ControlModifier);
    // On a selected row the selection stays, for a context menu on all of it.
    g.Click(3, {}, Qt::RightButton);
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{2, 3}));
    g.Click(6, {}, Qt::RightButton);
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{6}));
    ASSERT_EQ(clicked.size(), 2u);
    EXPECT_EQ(clicked[1], g.grid.Cells(0, 6));
    // Below the rows there is no cell.
    Send::mouseClick(&g.grid, Qt::RightButton, {}, QPoint(20, 380));
    ASSERT_EQ(clicked.size(), 3u);
    EXPECT_EQ(clicked[2], nullptr);
}

TEST(GridInput, KeysMoveTheFocusWithinTheRowsAndColumns) {
    Grid g({tckSimpleEdit, tckSimpleEdit, tckSimpleEdit}, TenRows(), 130);
    // Without a focused cell the first key starts at the top-left data cell.
    g.Key(Qt::Key_Down);
    EXPECT_EQ(g.FocusedRow(), 2);

    g.Focus(10);
    g.Key(Qt::Key_Down);
    EXPECT_EQ(g.FocusedRow(), 10);
    g.Key(Qt::Key_Right);
    g.Key(Qt::Key_Right);
    g.Key(Qt::Key_Right);
    EXPECT_EQ(g.grid.FocusedCell()->ColumnItem()->Index(), 2);
    g.Key(Qt::Key_Home);
    EXPECT_EQ(g.grid.FocusedCell()->ColumnItem()->Index(), 0);
    g.Key(Qt::Key_End);
    EXPECT_EQ(g.grid.FocusedCell()->ColumnItem()->Index(), 2);
    g.Key(Qt::Key_Left);
    EXPECT_EQ(g.grid.FocusedCell()->ColumnItem()->Index(), 1);

    g.Focus(3);
    g.Key(Qt::Key_PageUp);
    EXPECT_EQ(g.FocusedRow(), 1);
    g.Key(Qt::Key_Up);
    EXPECT_EQ(g.FocusedRow(), 1);
    g.Key(Qt::Key_PageDown);
    EXPECT_GT(g.FocusedRow(), 1);

    // Ctrl+End and Ctrl+Home jump without toggling the row they land on.
    g.Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(g.FocusedRow(), 10);
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{10}));
    g.Settle();
    EXPECT_GT(g.grid.RootCell().FirstScrolledRow(), 1);
    g.Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(g.FocusedRow(), 1);
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{1}));
    g.Settle();
    EXPECT_EQ(g.grid.RootCell().FirstScrolledRow(), 1);

    // Shift extends the selection as it moves.
    g.Key(Qt::Key_Down, Qt::ShiftModifier);
    g.Key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{1, 2, 3}));
}

TEST(GridInput, KeysPassOverHiddenRowsAndRunsOfGroupCells) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, TenRows());
    g.grid.RootCell().Rows().Item(4)->SetHidden(true);
    g.Focus(3);
    g.Key(Qt::Key_Down);
    EXPECT_EQ(g.FocusedRow(), 5);
    g.Key(Qt::Key_Up);
    EXPECT_EQ(g.FocusedRow(), 3);
    // The last row hidden: End lands on the nearest shown one.
    g.grid.RootCell().Rows().Item(10)->SetHidden(true);
    g.Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(g.FocusedRow(), 9);

    // Rows 6 to 8 group in column 0: a run is passed as one cell, its last.
    g.grid.RootCell().Rows().Item(4)->SetHidden(false);
    for (int32_t r = 6; r <= 8; ++r)
        static_cast<TVokSimpleCell*>(g.grid.Cells(0, r))->SetText(QStringLiteral("same"));
    g.grid.RootCell().OnIsGroupColumn = [](const TAxisContentItem& column) { return column.Index() == 0; };
    g.Focus(5);
    g.Key(Qt::Key_Down);
    EXPECT_EQ(g.FocusedRow(), 8);
    g.Key(Qt::Key_Up);
    EXPECT_EQ(g.FocusedRow(), 5);
}

TEST(GridInput, WheelScrollsWithTheBarAndMovesTheFocusWithoutIt) {
    const auto wheel = [](Grid& g, int delta) {
        const QPointF at = g.At(0, 1);
        QWheelEvent event(at, g.grid.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&g.grid, &event);
        g.Settle();
    };
    Grid small({tckSimpleEdit, tckSimpleEdit}, TenRows());
    ASSERT_TRUE(small.grid.VertScrollBar()->isHidden());
    small.Focus(2);
    wheel(small, -120);
    EXPECT_EQ(small.FocusedRow(), 3);
    wheel(small, 120);
    wheel(small, 120);
    EXPECT_EQ(small.FocusedRow(), 1);

    Grid tall({tckSimpleEdit, tckSimpleEdit}, TenRows(), 130);
    ASSERT_FALSE(tall.grid.VertScrollBar()->isHidden());
    tall.Focus(1);
    wheel(tall, -120);
    EXPECT_EQ(tall.grid.RootCell().FirstScrolledRow(), 2);
    EXPECT_EQ(tall.FocusedRow(), 1);
    wheel(tall, 120);
    EXPECT_EQ(tall.grid.RootCell().FirstScrolledRow(), 1);
}

TEST(GridInput, DraggingAHeaderBorderResizesTheColumnWithALineFollowingTheMouse) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, TenRows());
    std::vector<std::pair<TVokCell*, bool>> sized;
    std::vector<int32_t> resized;
    g.grid.OnAfterUserSize = [&](TVokGridView&, TVokCell* cell, bool isHorz, TAxisContentItem&) {
        sized.emplace_back(cell, isHorz);
    };
    g.grid.OnColumnResized = [&](TnvGrid&, int32_t index) { resized.push_back(index); };
    TVokCell* header = g.grid.Cells(0, 0);
    const int32_t before = header->ColumnItem()->Size;
    const QPoint border = QPoint(header->Rect.Right - 1, 10) + g.grid.contentsRect().topLeft();
    Send::mousePress(&g.grid, Qt::LeftButton, {}, border);
    Send::mouseMove(&g.grid, border + QPoint(30, 40));
    EXPECT_EQ(g.grid.cursor().shape(), Qt::SplitHCursor);
    // The dotted line inverts every other pixel under it, down the whole
    // height below the rows too, and follows the mouse.
    const auto dots = [&](int dx) {
        const QImage image = g.grid.grab().toImage();
        int count = 0;
        for (int y = 300; y < 320; ++y)
            count += image.pixelColor(border + QPoint(dx, y - border.y())) != QColor(Qt::white);
        return count;
    };
    EXPECT_EQ(dots(30), 10);
    Send::mouseMove(&g.grid, border + QPoint(50, 40));
    EXPECT_EQ(dots(30), 0);
    EXPECT_EQ(dots(50), 10);
    EXPECT_EQ(dots(51), 10);
    Send::mouseRelease(&g.grid, Qt::LeftButton, {}, border + QPoint(30, 40));
    EXPECT_EQ(header->ColumnItem()->ExplicitSize(), before + 30);
    ASSERT_EQ(sized.size(), 1u);
    EXPECT_EQ(sized[0].first, header);
    EXPECT_TRUE(sized[0].second);
    EXPECT_EQ(resized, (std::vector<int32_t>{0}));
    g.Settle();
    EXPECT_EQ(header->ColumnItem()->Size, before + 30);
    // The line is gone with the drag, and a plain move shows the normal cursor.
    EXPECT_EQ(dots(50), 0);
    Send::mouseMove(&g.grid, g.At(1, 5));
    EXPECT_EQ(g.grid.cursor().shape(), Qt::ArrowCursor);
    // Nothing was sorted by pressing on the border.
    EXPECT_EQ(g.Text(0, 1), QStringLiteral("r1"));
}

TEST(GridInput, HeaderClicksSortUpThenDownAndEditsForgetTheOrder) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, Rows({"pear", "apple", "fig"}));
    std::vector<bool> sorts;
    g.grid.OnColumnSort = [&](TnvGrid&, TnvGrid_Column&, bool upNotDown, bool&) {
        sorts.push_back(upNotDown);
    };
    const auto column = [&] {
        std::vector<QString> texts;
        for (int32_t r = 1; r < g.grid.RowCount(); ++r)
            texts.push_back(g.Text(0, r));
        return texts;
    };
    Send::mouseClick(&g.grid, Qt::LeftButton, {}, g.At(0, 0, 30));
    EXPECT_EQ(column(), (std::vector<QString>{"apple", "fig", "pear"}));
    Send::mouseClick(&g.grid, Qt::LeftButton, {}, g.At(0, 0, 30));
    EXPECT_EQ(column(), (std::vector<QString>{"pear", "fig", "apple"}));
    // Another column starts ascending again.
    Send::mouseClick(&g.grid, Qt::LeftButton, {}, g.At(0, 0, 30));
    Send::mouseClick(&g.grid, Qt::LeftButton, {}, g.At(1, 0, 30));
    EXPECT_EQ(sorts, (std::vector<bool>{false, true, false, false}));

    g.grid.Columns().Items(0).SetSortEnable(false);
    Send::mouseClick(&g.grid, Qt::LeftButton, {}, g.At(0, 0, 30));
    EXPECT_EQ(sorts.size(), 4u);
}

TEST(GridInput, ClickingACheckBoxCellTogglesItAtOnce) {
    Grid g({tckSimpleEdit, tckBool}, {{"a", "TRUE"}, {"b", "false"}});
    int stops = 0;
    g.grid.OnEditStop = [&](TVokGridView&, QWidget*, TVokSimpleCellStringData&, QString&) { ++stops; };
    Send::mouseClick(&g.grid, Qt::LeftButton, {}, g.At(1, 1));
    EXPECT_EQ(g.Text(1, 1), QStringLiteral("FALSE"));
    Send::mouseClick(&g.grid, Qt::LeftButton, {}, g.At(1, 2));
    EXPECT_EQ(g.Text(1, 2), QStringLiteral("TRUE"));
    EXPECT_EQ(stops, 2);
    EXPECT_FALSE(g.grid.IsEditing());

    // A read-only check box does not change, but its row is still selected.
    g.grid.OnEditorCanModify = [](TVokGridView&, TVokCell*) { return false; };
    Send::mouseClick(&g.grid, Qt::LeftButton, {}, g.At(1, 1));
    EXPECT_EQ(g.Text(1, 1), QStringLiteral("FALSE"));
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{1}));
}

TEST(GridInput, ARefusingCanModifyBlocksEveryWayIntoTheEditorButTypingStillSearches) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, TenRows());
    std::vector<TVokCell*> asked;
    g.grid.OnEditorCanModify = [&](TVokGridView&, TVokCell* cell) {
        asked.push_back(cell);
        return false;
    };
    g.Focus(1);
    g.Key(Qt::Key_F2);
    EXPECT_FALSE(g.grid.IsEditing());
    Send::mouseDClick(&g.grid, Qt::LeftButton, {}, g.At(0, 1));
    EXPECT_FALSE(g.grid.IsEditing());
    g.Key(Qt::Key_Return);
    EXPECT_FALSE(g.grid.IsEditing());
    g.Type(u'r');
    g.Type(u'7');
    EXPECT_FALSE(g.grid.IsEditing());
    EXPECT_GE(asked.size(), 4u);
    TDeferredCalls::RunQueue();
    EXPECT_EQ(g.FocusedRow(), 7);
    EXPECT_EQ(g.SelectedRows(), (std::vector<int32_t>{7}));
}

TEST(GridInput, TypeAheadCollectsCharactersWithinOneSecondAndWraps) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, Rows({"Apple", "Banana", "Abacus", "Cherry", "Date", "Elder"}));
    std::vector<QString> searched;
    g.grid.OnEditorCanModify = [](TVokGridView&, TVokCell*) { return false; };
    g.Focus(1);
    g.Type(u'a');
    g.clock += 0.5 / 86400;
    g.Type(u'b');
    // One search for both characters: "B" alone would find Banana.
    EXPECT_EQ(TDeferredCalls::PendingCount(), 1u);
    TDeferredCalls::RunQueue();
    EXPECT_EQ(g.FocusedRow(), 3);
    // A pause of more than a second starts over: "C", not "ABC".
    g.clock += 1.5 / 86400;
    g.Type(u'c');
    TDeferredCalls::RunQueue();
    EXPECT_EQ(g.FocusedRow(), 4);
    // No match leaves the focus where it is.
    g.Type(u'z');
    TDeferredCalls::RunQueue();
    EXPECT_EQ(g.FocusedRow(), 4);

    // From row 5, nothing in rows 5 to the end: the search goes round to row 2.
    Grid w({tckSimpleEdit, tckSimpleEdit},
           Rows({"k1", "match", "k3", "k4", "k5", "k6", "k7", "k8", "k9", "k10"}));
    w.grid.OnEditorCanModify = [](TVokGridView&, TVokCell*) { return false; };
    w.Focus(5);
    w.Type(u'M');
    TDeferredCalls::RunQueue();
    EXPECT_EQ(w.FocusedRow(), 2);
    EXPECT_EQ(w.SelectedRows(), (std::vector<int32_t>{2}));
}

TEST(GridInput, TextEditorCommitsOnReturnAndLeavesTheCellOnEscape) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, TenRows());
    std::vector<QString> stops;
    g.grid.OnEditStop = [&](TVokGridView&, QWidget*, TVokSimpleCellStringData&, QString& text) {
        stops.push_back(text);
        text = text.trimmed();
    };
    g.Focus(2);
    g.Key(Qt::Key_F2);
    QWidget* editor = g.OpenEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(qobject_cast<QLineEdit*>(editor)->text(), QStringLiteral("r2"));
    Send::keyClicks(editor, QStringLiteral("changed"));
    Send::keyClick(editor, Qt::Key_Escape);
    EXPECT_FALSE(g.grid.IsEditing());
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(g.Text(0, 2), QStringLiteral("r2"));
    EXPECT_TRUE(stops.empty());

    g.Key(Qt::Key_F2);
    Send::keyClicks(editor, QStringLiteral(" new "));
    Send::keyClick(editor, Qt::Key_Return);
    EXPECT_FALSE(g.grid.IsEditing());
    EXPECT_EQ(stops, (std::vector<QString>{" new "}));
    EXPECT_EQ(g.Text(0, 2), QStringLiteral("new"));
    EXPECT_TRUE(g.grid.hasFocus() || QApplication::focusWidget() == nullptr);

    // Losing the focus commits too.
    g.Key(Qt::Key_F2);
    Send::keyClicks(editor, QStringLiteral("kept"));
    g.grid.setFocus();
    EXPECT_FALSE(g.grid.IsEditing());
    EXPECT_EQ(g.Text(0, 2), QStringLiteral("kept"));

    // A double click opens the editor on the clicked cell.
    Send::mouseDClick(&g.grid, Qt::LeftButton, {}, g.At(0, 4));
    ASSERT_TRUE(g.grid.IsEditing());
    EXPECT_EQ(qobject_cast<QLineEdit*>(g.OpenEditor())->text(), QStringLiteral("r4"));
    Send::keyClick(g.OpenEditor(), Qt::Key_Tab);
    EXPECT_FALSE(g.grid.IsEditing());
}

TEST(GridInput, ReturnInTheMemoInsertsALineBreakAndTabCommits) {
    Grid g({tckMemo, tckSimpleEdit}, {{"first", "x"}});
    g.Focus(1);
    g.Key(Qt::Key_F2);
    auto* memo = qobject_cast<QPlainTextEdit*>(g.OpenEditor());
    ASSERT_NE(memo, nullptr);
    Send::keyClicks(memo, QStringLiteral("ab"));
    Send::keyClick(memo, Qt::Key_Return);
    Send::keyClicks(memo, QStringLiteral("cd"));
    EXPECT_TRUE(g.grid.IsEditing());
    Send::keyClick(memo, Qt::Key_Tab);
    EXPECT_FALSE(g.grid.IsEditing());
    EXPECT_EQ(g.Text(0, 1), QStringLiteral("ab\ncd"));
}

TEST(GridInput, ComboAndDateEditorsReadAndWriteTheCellText) {
    const QString march = QLocale().toString(QDate(2026, 3, 1), QLocale::ShortFormat);
    Grid g({tckCombo, tckDate, tckTime}, {{"green", march, ""}});
    std::vector<QString> comboCells;
    g.grid.OnBeforeEditWithCombo = [&](TnvGrid&, TnvGrid_Column&, TVokCell& cell) {
        comboCells.push_back(cell.Text());
        auto* combo = g.grid.findChild<QComboBox*>();
        combo->clear();
        combo->addItems({QStringLiteral("red"), QStringLiteral("green"), QStringLiteral("blue")});
    };
    g.Focus(1, 0);
    g.Key(Qt::Key_F2);
    auto* combo = g.grid.findChild<QComboBox*>();
    ASSERT_TRUE(combo->isVisible());
    EXPECT_EQ(comboCells, (std::vector<QString>{"green"}));
    EXPECT_EQ(combo->currentText(), QStringLiteral("green"));
    combo->setCurrentIndex(2);
    Send::keyClick(combo, Qt::Key_Return);
    EXPECT_FALSE(g.grid.IsEditing());
    EXPECT_EQ(g.Text(0, 1), QStringLiteral("blue"));

    // A date goes through the editor unchanged; an empty time starts at midnight.
    g.Focus(1, 1);
    g.Key(Qt::Key_F2);
    auto* picker = g.grid.findChild<QDateTimeEdit*>();
    ASSERT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->date(), QDate(2026, 3, 1));
    Send::keyClick(picker, Qt::Key_Return);
    EXPECT_EQ(g.Text(1, 1), march);
    g.Focus(1, 2);
    g.Key(Qt::Key_F2);
    EXPECT_EQ(picker->time(), QTime(0, 0));
    Send::keyClick(picker, Qt::Key_Tab);
    EXPECT_EQ(g.Text(2, 1), QLocale().toString(QTime(0, 0), QLocale::ShortFormat));
}

TEST(GridInput, EveryEditStartingCharacterOpensTheEditorAsItsFirstCharacter) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, TenRows());
    QString characters = QStringLiteral(" 0123456789");
    for (char16_t c = u'a'; c <= u'z'; ++c) {
        characters += QChar(c);
        characters += QChar(static_cast<char16_t>(c - u'a' + u'A'));
    }
    characters += QString::fromUtf8("ÄÅÖäåö");
    g.Focus(3);
    for (QChar ch : characters) {
        g.Type(ch);
        ASSERT_TRUE(g.grid.IsEditing()) << static_cast<int>(ch.unicode());
        auto* editor = qobject_cast<QLineEdit*>(g.OpenEditor());
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->text(), QString(ch)) << static_cast<int>(ch.unicode());
        Send::keyClick(editor, Qt::Key_Escape);
    }
    EXPECT_EQ(g.Text(0, 3), QStringLiteral("r3"));
    // Other characters neither edit nor search.
    g.Type(u'-');
    g.Type(u'é');
    EXPECT_FALSE(g.grid.IsEditing());
    EXPECT_EQ(TDeferredCalls::PendingCount(), 0u);

    // Keys that change the text are dropped once the cell may no longer change.
    g.Type(u'x');
    QLineEdit* editor = qobject_cast<QLineEdit*>(g.OpenEditor());
    ASSERT_NE(editor, nullptr);
    g.grid.OnEditorCanModify = [](TVokGridView&, TVokCell*) { return false; };
    Send::keyClicks(editor, QStringLiteral("yz"));
    Send::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(editor->text(), QStringLiteral("x"));
}

// The grid's timer with this interval, made to fire now.
bool FireTimer(QWidget& w, int interval) {
    for (QTimer* timer : w.findChildren<QTimer*>())
        if (timer->interval() == interval && timer->isActive()) {
            QMetaObject::invokeMethod(timer, "timeout");
            return true;
        }
    return false;
}

TEST(GridInput, HoldingTheButtonStillStartsAnEditInAutoEditMode) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, TenRows());
    g.grid.AutoEditMode = true;
    Send::mousePress(&g.grid, Qt::LeftButton, {}, g.At(0, 4));
    Send::mouseMove(&g.grid, g.At(0, 4) + QPoint(3, -3));
    ASSERT_TRUE(FireTimer(g.grid, 750));
    EXPECT_TRUE(g.grid.IsEditing());
    EXPECT_FALSE(FireTimer(g.grid, 750));
    Send::mouseRelease(&g.grid, Qt::LeftButton, {}, g.At(0, 4));
    Send::keyClick(g.OpenEditor(), Qt::Key_Escape);

    // Moved away by more than three pixels: no edit.
    Send::mousePress(&g.grid, Qt::LeftButton, {}, g.At(0, 6));
    Send::mouseMove(&g.grid, g.At(0, 6) + QPoint(4, 0));
    ASSERT_TRUE(FireTimer(g.grid, 750));
    EXPECT_FALSE(g.grid.IsEditing());
    Send::mouseRelease(&g.grid, Qt::LeftButton, {}, g.At(0, 6));
}

TEST(GridInput, ADragRestingAtTheBottomEdgeKeepsScrolling) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, TenRows(), 130);
    ASSERT_FALSE(g.grid.VertScrollBar()->isHidden());
    g.grid.setAcceptDrops(true);
    g.grid.OnDragOver = [](TnvOffscreenPaint&, int, int, bool& accept) { accept = true; };
    QMimeData mime;
    mime.setText(QStringLiteral("dragged"));
    const QPoint bottom = QPoint(40, g.grid.Height() - 2) + g.grid.contentsRect().topLeft();
    // A drag arrives at the bottom edge and rests there.
    QDragEnterEvent enter(bottom, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&g.grid, &enter);
    g.Settle();
    EXPECT_EQ(g.grid.RootCell().FirstScrolledRow(), 2);
    // No further move event: the timer goes on scrolling.
    ASSERT_TRUE(FireTimer(g.grid, 100));
    g.Settle();
    EXPECT_EQ(g.grid.RootCell().FirstScrolledRow(), 3);
    // Away from the edge it stops.
    QDragMoveEvent middle(g.At(0, 3), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&g.grid, &middle);
    EXPECT_FALSE(FireTimer(g.grid, 100));
    EXPECT_EQ(g.grid.RootCell().FirstScrolledRow(), 3);
}

// With room for one data row and one column, a step down or right must still
// move by one: keeping the last whole item in view would keep the position.
TEST(GridInput, WheelAndDragHoverStepByOneWhenOnlyOneRowOrColumnFits) {
    Grid g({tckSimpleEdit, tckSimpleEdit, tckSimpleEdit}, TenRows());
    g.grid.resize(80, 60); // the 80-pixel columns do not fit beside the vertical bar
    g.Settle();
    const TVokGridCellForViewer& root = g.grid.RootCell();
    ASSERT_EQ(root.VisibleRowCount - root.FixedRowCount(), 1);
    ASSERT_EQ(root.VisibleColumnCount - root.FixedColumnCount(), 1);
    ASSERT_FALSE(g.grid.VertScrollBar()->isHidden());

    const auto wheel = [&](int delta) {
        const QPointF at(20, 30);
        QWheelEvent event(at, g.grid.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&g.grid, &event);
        g.Settle();
    };
    wheel(-120);
    EXPECT_EQ(root.FirstScrolledRow(), 2);
    wheel(-120);
    EXPECT_EQ(root.FirstScrolledRow(), 3);
    wheel(120);
    EXPECT_EQ(root.FirstScrolledRow(), 2);

    g.grid.setAcceptDrops(true);
    g.grid.OnDragOver = [](TnvOffscreenPaint&, int, int, bool& accept) { accept = true; };
    QMimeData mime;
    mime.setText(QStringLiteral("dragged"));
    const int right = g.grid.Width() - g.grid.ReservedRight - 2;
    const QPoint edge = QPoint(right, g.grid.Height() / 2 - 5) + g.grid.contentsRect().topLeft();
    QDragEnterEvent enter(edge, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&g.grid, &enter);
    g.Settle();
    EXPECT_EQ(root.FirstScrolledColumn(), 1);
    ASSERT_TRUE(FireTimer(g.grid, 100));
    g.Settle();
    EXPECT_EQ(root.FirstScrolledColumn(), 2);
    QDragLeaveEvent leave;
    QApplication::sendEvent(&g.grid, &leave);
}

TEST(GridInput, CtrlCCopiesTheFocusedCell) {
    Grid g({tckSimpleEdit, tckSimpleEdit}, TenRows());
    g.Focus(6);
    g.Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("r6"));
    EXPECT_FALSE(g.grid.IsEditing());
}

} // namespace
