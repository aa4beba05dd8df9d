#include "grid/nvVokGridContent.h"

#include <QGuiApplication>
#include <QPalette>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Pos = std::pair<int32_t, int32_t>; // (column, row)

Pos PosOf(const TVokCell* cell) {
    return {cell->ColumnItem()->Index(), cell->RowItem()->Index()};
}

class GridModelTest : public ::testing::Test {
  protected:
    GridModelTest() { root.DefaultLayout = &defaultLayout; }

    // A header row, `columns` columns and `rows` data rows.
    void Build(int columns, int rows) {
        root.Rows().InsertFixed();
        for (int c = 0; c < columns; ++c)
            root.Columns().Append();
        for (int r = 0; r < rows; ++r)
            root.Rows().Append();
    }
    TVokCell* Cell(int column, int row) { return root.GetCell(column, row); }
    void SetText(int column, int row, const QString& text) {
        static_cast<TVokSimpleCell*>(Cell(column, row))->SetText(text);
    }
    std::vector<Pos> Selected() {
        std::vector<Pos> result;
        for (int r = 0; r < root.Rows().Count(); ++r)
            for (int c = 0; c < root.Columns().Count(); ++c)
                if (Cell(c, r)->Selected()) result.push_back({c, r});
        return result;
    }
    void RecordSelection() {
        root.SelectionChanged.Add([this](void*, TEvent&, const TEventArg& a) {
            selectionLog.push_back(PosOf(std::get<TVokCell*>(a)));
        });
    }

    TLayoutProp defaultLayout;
    TVokGridCellForViewer root;
    std::vector<Pos> selectionLog;
};

struct Part {
    int Number;
};

TEST_F(GridModelTest, HeaderRowAppendAndRowData) {
    Build(2, 0);
    EXPECT_EQ(root.Rows().Count(), 1);
    Part part{7};
    TAxisContentItem& row = root.Rows().Append(&part);
    EXPECT_EQ(row.Index(), 1);
    EXPECT_EQ(row.Data.As<Part>(), &part);
    EXPECT_EQ(row.Data.As<int>(), nullptr); // read back as another type: nothing
    ASSERT_NE(Cell(1, 1), nullptr);
    EXPECT_EQ(Cell(1, 1)->RowItem(), &row);
    EXPECT_EQ(Cell(2, 1), nullptr);
    EXPECT_EQ(Cell(0, 2), nullptr);
    EXPECT_EQ(Cell(0, 0)->Layout, nullptr); // fixed cells have none
    EXPECT_EQ(Cell(0, 1)->Layout, &defaultLayout);
    EXPECT_TRUE(Cell(0, 0)->IsFixed());
    EXPECT_FALSE(Cell(0, 1)->IsFixed());
}

TEST_F(GridModelTest, DeletingRowsRenumbersAndLeavesScrollAloneWhileInRange) {
    Build(2, 5);
    Part parts[5]{{1}, {2}, {3}, {4}, {5}};
    for (int r = 1; r <= 5; ++r)
        root.Rows().Item(r)->Data = &parts[r - 1];
    int scrollEvents = 0;
    root.ScrollChanged.Add([&](void*, TEvent&, const TEventArg&) { ++scrollEvents; });
    root.SetFirstScrolledRow(5);
    EXPECT_EQ(scrollEvents, 1);

    root.Rows().Delete(1);
    EXPECT_EQ(root.Rows().Count(), 5);
    EXPECT_EQ(root.FirstScrolledRow(), 5); // 5 was below the count of 6 before
    for (int r = 1; r <= 4; ++r) {
        EXPECT_EQ(root.Rows().Item(r)->Index(), r);
        EXPECT_EQ(root.Rows().Item(r)->Data.As<Part>()->Number, r + 1);
        EXPECT_EQ(Cell(1, r)->RowItem(), root.Rows().Item(r));
    }
    root.Rows().Delete(1); // 5 is not below the count of 5: back to the first data row
    EXPECT_EQ(root.FirstScrolledRow(), 1);
    EXPECT_EQ(scrollEvents, 2);
    EXPECT_EQ(parts[0].Number, 1); // row data is never freed by the grid
}

TEST_F(GridModelTest, InsertAndMoveCarryCellsWithTheirItems) {
    Build(2, 2);
    SetText(0, 1, "A");
    SetText(0, 2, "B");
    TAxisContentItem& inserted = root.Rows().Insert(2);
    EXPECT_EQ(inserted.Index(), 2);
    EXPECT_EQ(Cell(0, 2)->RowItem(), &inserted);
    EXPECT_EQ(Cell(0, 3)->Text(), "B");
    root.Rows().Move(3, 1);
    EXPECT_EQ(Cell(0, 1)->Text(), "B");
    EXPECT_EQ(Cell(0, 2)->Text(), "A");
    EXPECT_EQ(Cell(0, 3)->RowItem(), &inserted);
    EXPECT_EQ(inserted.Index(), 3);

    TAxisContentItem& column = root.Columns().Insert(0);
    EXPECT_EQ(Cell(1, 1)->Text(), "B");
    EXPECT_EQ(Cell(0, 1)->ColumnItem(), &column);
    EXPECT_EQ(Cell(0, 0)->Layout, nullptr);
    EXPECT_THROW(root.Rows().Move(0, 2), std::invalid_argument); // header stays a header
    EXPECT_THROW(root.Rows().Insert(9), std::out_of_range);
}

TEST_F(GridModelTest, DestroyedCellsAreForgottenEverywhere) {
    Build(2, 3);
    std::vector<TVokCell*> destroyed;
    root.OnCellDestroying = [&](TVokCell& cell) { destroyed.push_back(&cell); };
    TVokCell* a = Cell(0, 2);
    TVokCell* b = Cell(1, 2);
    root.SetFocused(b);
    root.SelectCell(b, {});
    ASSERT_EQ(root.FocusedCell, b);
    ASSERT_EQ(root.AnchorCell, b);
    root.Rows().Delete(2);
    EXPECT_EQ(root.FocusedCell, nullptr);
    EXPECT_EQ(root.AnchorCell, nullptr);
    EXPECT_EQ(destroyed.size(), 2u);
    EXPECT_NE(std::find(destroyed.begin(), destroyed.end(), a), destroyed.end());
    EXPECT_NE(std::find(destroyed.begin(), destroyed.end(), b), destroyed.end());
    root.OnCellDestroying = nullptr; // `destroyed` goes before the grid
}

TEST_F(GridModelTest, FailedCellCreationLeavesTheAxesAsTheyWere) {
    Build(2, 1);
    int destroyed = 0;
    root.OnCellDestroying = [&](TVokCell&) { ++destroyed; };
    root.OnCellCreated = [](TVokCell& cell) {
        if (cell.ColumnItem()->Index() == 1) throw std::runtime_error("refused");
    };
    EXPECT_THROW(root.Rows().Append(), std::runtime_error);
    EXPECT_EQ(root.Rows().Count(), 2);
    EXPECT_EQ(destroyed, 2); // both cells made for the row went again
    EXPECT_EQ(Cell(0, 2), nullptr);
    EXPECT_THROW(root.Columns().Insert(1), std::runtime_error);
    EXPECT_EQ(root.Columns().Count(), 2);
    EXPECT_EQ(Cell(1, 1)->ColumnItem()->Index(), 1);

    root.OnCellCreated = nullptr;
    root.OnCellDestroying = nullptr;
    root.SimpleCellDataFactory = nullptr;
    try {
        root.Rows().Append();
        FAIL() << "no content factory";
    } catch (const EVokGridError& e) {
        EXPECT_STREQ(e.what(), "CreateVokCellData");
    }
    EXPECT_EQ(root.Rows().Count(), 2);

    TVokGridCellForViewer other;
    try {
        root.Cells().ItemInserted(other.Rows(), 0);
        FAIL() << "foreign axis";
    } catch (const EVokGridError& e) {
        EXPECT_STREQ(e.what(), "");
    }
}

TEST_F(GridModelTest, RowSelectFiresOncePerChangedCellClickedLast) {
    Build(2, 3);
    root.RowSelect = true;
    RecordSelection();
    root.SelectCell(Cell(0, 2), {});
    EXPECT_EQ(selectionLog, (std::vector<Pos>{{1, 2}, {0, 2}}));
    EXPECT_EQ(Selected(), (std::vector<Pos>{{0, 2}, {1, 2}}));

    selectionLog.clear();
    root.SelectCell(Cell(0, 3), {});
    EXPECT_EQ(selectionLog, (std::vector<Pos>{{1, 2}, {0, 2}, {1, 3}, {0, 3}}));
    EXPECT_EQ(Selected(), (std::vector<Pos>{{0, 3}, {1, 3}}));
}

TEST_F(GridModelTest, CtrlTogglesAndSingleSelectIgnoresModifiers) {
    Build(1, 3);
    root.SelectCell(Cell(0, 1), {});
    root.SelectCell(Cell(0, 2), ssCtrl);
    EXPECT_EQ(Selected(), (std::vector<Pos>{{0, 1}, {0, 2}}));
    root.SelectCell(Cell(0, 1), ssCtrl);
    EXPECT_EQ(Selected(), (std::vector<Pos>{{0, 2}}));
    EXPECT_EQ(root.AnchorCell, Cell(0, 1));

    root.MultiSelect = false;
    root.SelectCell(Cell(0, 3), ssCtrl);
    EXPECT_EQ(Selected(), (std::vector<Pos>{{0, 3}}));
    root.SelectCell(Cell(0, 1), ssShift);
    EXPECT_EQ(Selected(), (std::vector<Pos>{{0, 1}}));
}

TEST_F(GridModelTest, ShiftSelectsTheRectangleFromTheAnchor) {
    Build(3, 4);
    root.SelectCell(Cell(0, 1), {});
    root.SelectCell(Cell(2, 3), ssShift);
    std::vector<Pos> block;
    for (int r = 1; r <= 3; ++r)
        for (int c = 0; c <= 2; ++c)
            block.push_back({c, r});
    EXPECT_EQ(Selected(), block);
    EXPECT_EQ(root.AnchorCell, Cell(0, 1));

    root.SelectCell(Cell(1, 2), ssShift); // shrinks: the old rectangle goes
    EXPECT_EQ(Selected(), (std::vector<Pos>{{0, 1}, {1, 1}, {0, 2}, {1, 2}}));
    root.SelectCell(Cell(2, 4), ssShift | ssCtrl); // adds without clearing
    EXPECT_EQ(Selected().size(), 12u);

    root.SelectCell(Cell(1, 0), {}); // fixed: ignored
    EXPECT_EQ(Selected().size(), 12u);
    root.SetSelected(false);
    EXPECT_TRUE(Selected().empty());

    TVokGridCellForViewer other;
    other.Columns().Append();
    other.Rows().Append();
    EXPECT_THROW(root.SelectCell(other.GetCell(0, 0), {}), EVokGridError);
    EXPECT_THROW(root.SetFocused(other.GetCell(0, 0)), EVokGridError);
}

class NestedGridTest : public GridModelTest {
  protected:
    // Column 1 of the root holds grid cells, each with 2 columns and 2 rows.
    NestedGridTest() {
        root.OnGetCellKind = [this](TVokGridCell& owner, TAxisContentItem& column, TAxisContentItem& row) {
            const bool grid =
                &owner == &root && column.Index() == 1 && !owner.IsFixed(column.Index(), row.Index());
            return grid ? TVokCellKind::Grid : TVokCellKind::Simple;
        };
        Build(2, 2);
        grid = Cell(1, 1)->AsGridCell();
        grid->Columns().Append();
        grid->Columns().Append();
        grid->Rows().Append();
        grid->Rows().Append();
        inner = grid->GetCell(1, 1);
    }
    TVokGridCell* grid = nullptr;
    TVokCell* inner = nullptr;
};

TEST_F(NestedGridTest, SetFocusedGoesThroughNestedGridCells) {
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(Cell(1, 0)->AsGridCell(), nullptr); // header cells stay simple
    int focusEvents = 0;
    root.FocusChanged.Add([&](void*, TEvent&, const TEventArg&) { ++focusEvents; });

    root.SetFocused(inner);
    EXPECT_EQ(grid->FocusedCell, inner);
    EXPECT_EQ(root.FocusedCell, grid);
    EXPECT_EQ(root.DeepFocusedCell(), inner);
    EXPECT_GE(focusEvents, 1); // the nested change reaches the root

    root.SetFocused(Cell(0, 2));
    EXPECT_EQ(root.FocusedCell, Cell(0, 2));
    EXPECT_EQ(grid->FocusedCell, nullptr); // the old grid cell lost its focus
    const int before = focusEvents;
    root.SetFocused(Cell(0, 2));
    EXPECT_EQ(focusEvents, before);
    root.SetFocused(Cell(0, 0)); // fixed: clears
    EXPECT_EQ(root.FocusedCell, nullptr);
}

TEST_F(NestedGridTest, NestedSelectionIsClearedAndForgottenWithItsRow) {
    root.SelectCell(inner, {});
    EXPECT_TRUE(inner->Selected());
    EXPECT_EQ(root.AnchorCell, inner);
    root.SetSelected(false);
    EXPECT_FALSE(inner->Selected());

    root.SelectCell(inner, {});
    root.SetFocused(inner);
    root.Rows().Delete(1); // frees the grid cell and everything in it
    EXPECT_EQ(root.AnchorCell, nullptr);
    EXPECT_EQ(root.FocusedCell, nullptr);
}

TEST_F(GridModelTest, PlaceSizesItemsAndHitTestFindsCells) {
    Build(2, 10);
    root.Columns().Item(0)->SetExplicitSize(10); // under MinWidth 20
    root.Columns().Item(1)->SetExplicitSize(200);
    defaultLayout.MinHeight = 70;
    root.Place({0, 0, 284, 200});
    EXPECT_EQ(root.Columns().Item(0)->Size, 20);
    EXPECT_EQ(root.Columns().Item(1)->Size, 200);
    EXPECT_EQ(root.Columns().Item(1)->Position, 20);
    EXPECT_EQ(root.Rows().Item(0)->Size, 20); // header cells have no layout
    EXPECT_EQ(root.Rows().Item(1)->Size, 70);
    EXPECT_EQ(root.Rows().Item(3)->Position, 160);
    EXPECT_EQ(root.Rows().VisibleItems().size(), 4u);
    EXPECT_EQ(root.VisibleRowCount, 3); // the cut last row does not count
    EXPECT_FALSE(root.AllRowsFit);
    EXPECT_TRUE(root.AllColumnsFit);
    EXPECT_EQ(root.Rows().LoadedCount(), 11); // without virtual loading nothing is ever unloaded
    EXPECT_EQ(root.CellAt(25, 95, false), Cell(1, 2));
    EXPECT_EQ(root.CellAt(5, 5, false), Cell(0, 0));
    EXPECT_EQ(root.CellAt(230, 95, false), nullptr); // right of the last column
    EXPECT_EQ(root.CellAt(300, 10, false), nullptr);

    int contentEvents = 0;
    root.ContentChanged.Add([&](void*, TEvent&, const TEventArg&) { ++contentEvents; });
    root.Rows().Item(1)->SetHidden(true);
    EXPECT_EQ(contentEvents, 1);
    EXPECT_EQ(root.Rows().HiddenCount(), 1);
    root.SetFirstScrolledRow(1);
    root.Place({0, 0, 284, 200});
    EXPECT_EQ(root.Rows().Item(2)->Position, 20);
    EXPECT_FALSE(root.Rows().Item(1)->InVisibleList());
}

TEST_F(GridModelTest, WrappedTextIsMeasuredAgainOnlyAfterItChanged) {
    Build(1, 2);
    TLayoutProp wrap;
    wrap.WrapTextAndFit = true;
    Cell(0, 1)->Layout = &wrap;
    int measured = 0;
    root.OnMeasureText = [&](TVokSimpleCell&) {
        ++measured;
        return 45;
    };
    root.Place({0, 0, 100, 400});
    EXPECT_EQ(root.Rows().Item(1)->Size, 45);
    root.Place({0, 0, 100, 400});
    EXPECT_EQ(measured, 1);

    std::vector<TEventArg> content;
    root.ContentChanged.Add([&](void*, TEvent&, const TEventArg& a) { content.push_back(a); });
    int cellEvents = 0;
    Cell(0, 1)->Changed.Add([&](void*, TEvent&, const TEventArg&) { ++cellEvents; });
    SetText(0, 1, "several words");
    EXPECT_EQ(Cell(0, 1)->NeededHeight(), 0);
    ASSERT_EQ(content.size(), 1u);
    EXPECT_EQ(std::get<TVokCell*>(content[0]), Cell(0, 1));
    SetText(0, 2, "plain"); // no wrapping: no new layout needed
    EXPECT_EQ(content.size(), 1u);
    EXPECT_EQ(cellEvents, 1);
    root.Place({0, 0, 100, 400});
    EXPECT_EQ(measured, 2);
}

TEST_F(GridModelTest, GroupCellsMarkRunsAndHitTheLastCell) {
    Build(1, 6);
    const QString texts[] = {"A", "A", "A", "A", "B", "B", "C"}; // the header says "A" too
    for (int r = 0; r <= 6; ++r)
        SetText(0, r, texts[r]);
    root.OnIsGroupColumn = [](const TAxisContentItem&) { return true; };
    root.Place({0, 0, 100, 1000});
    root.MarkGroupCells(*root.Columns().Item(0));
    const bool grouped[] = {false, true, true, true, true, true, false};
    const bool tail[] = {false, false, false, true, false, true, false};
    for (int r = 0; r <= 6; ++r) {
        EXPECT_EQ(Cell(0, r)->Grouped, grouped[r]) << r;
        EXPECT_EQ(Cell(0, r)->GroupTail, tail[r]) << r;
    }
    EXPECT_EQ(root.GroupRunLast(*Cell(0, 1)), Cell(0, 3));
    EXPECT_EQ(root.GroupRunFirst(*Cell(0, 3)), Cell(0, 1));
    EXPECT_EQ(root.GroupRunFirst(*Cell(0, 5)), Cell(0, 4));
    EXPECT_EQ(root.CellAt(5, 25, false), Cell(0, 3)); // a click on row 1 hits the run's last cell

    root.OnGroupCompare = [](const TVokCell&, const TVokCell&) { return false; };
    root.MarkGroupCells(*root.Columns().Item(0));
    EXPECT_FALSE(Cell(0, 3)->Grouped);
}

class VirtualRowsTest : public GridModelTest {
  protected:
    VirtualRowsTest() {
        root.Rows().InsertFixed();
        root.Columns().Append();
        root.Rows().AddUnloaded(1000);
        root.OnVirtualLoad = [this](TVokGridCell&, TAxisContentItem& item, bool rowNotColumn) {
            EXPECT_TRUE(rowNotColumn);
            loaded.push_back(item.Index());
        };
    }
    TAxisContentList& rows() { return root.Rows(); }
    std::vector<int32_t> loaded;
};

TEST_F(VirtualRowsTest, LoadsOnDemandWithinA500ItemWindow) {
    EXPECT_EQ(rows().Count(), 1001);
    EXPECT_EQ(rows().LoadedCount(), 1);
    EXPECT_EQ(rows().Item(5)->Index(), 5);
    EXPECT_EQ(loaded, (std::vector<int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(rows().LoadedFrom, 1);
    EXPECT_EQ(rows().LoadedTo, 5);

    RecordSelection();
    root.SelectCell(Cell(0, 3), {});
    loaded.clear();
    selectionLog.clear();
    EXPECT_EQ(rows().Item(600)->Index(), 600); // too far: a new window starts there
    EXPECT_EQ(loaded, (std::vector<int32_t>{600}));
    EXPECT_EQ(selectionLog, (std::vector<Pos>{{0, 3}})); // selection cleared first
    EXPECT_EQ(rows().LoadedCount(), 2);
    EXPECT_EQ(rows().UnloadedBefore(), 599);
    EXPECT_EQ(rows().UnloadedAfter(), 400);
    EXPECT_EQ(rows().Count(), 1001);
    EXPECT_FALSE(rows().IsLoaded(5));

    loaded.clear();
    EXPECT_EQ(Cell(0, 595)->RowItem()->Index(), 595); // before the window: loaded at the front
    EXPECT_EQ(loaded, (std::vector<int32_t>{599, 598, 597, 596, 595}));
    EXPECT_TRUE(rows().LastLoadAtFront);
    EXPECT_EQ(rows().LoadedItem(600)->Index(), 600);

    rows().Delete(594); // not loaded, the last one before the window (after the header)
    EXPECT_EQ(rows().UnloadedBefore(), 593);
    EXPECT_EQ(rows().UnloadedAfter(), 400);
    EXPECT_EQ(rows().LoadedItem(599)->Index(), 599);
    rows().Delete(900);
    EXPECT_EQ(rows().UnloadedAfter(), 399);
    EXPECT_EQ(rows().Count(), 999);
}

TEST_F(VirtualRowsTest, NoItemsMayBeAddedDuringALoad) {
    std::vector<std::string> errors;
    root.OnVirtualLoad = [&](TVokGridCell&, TAxisContentItem&, bool) {
        try {
            rows().Append();
        } catch (const EVokGridError& e) {
            errors.push_back(e.what());
            rows().Insert(1);
        }
    };
    try {
        rows().Item(3);
        FAIL() << "insert during load";
    } catch (const EVokGridError& e) {
        EXPECT_STREQ(e.what(), "Not allowed to add items during load");
    }
    EXPECT_EQ(errors, (std::vector<std::string>{"Not allowed to add items during load"}));
    EXPECT_EQ(rows().LoadDepth, 0);
    EXPECT_EQ(rows().Count(), 1001);
    root.OnVirtualLoad = nullptr;
    EXPECT_NE(rows().Item(3), nullptr);
}

TEST_F(VirtualRowsTest, LayoutUnloadsWhatIsNeitherShownNorSelected) {
    root.Place({0, 0, 100, 100}); // header and rows 1..5 (the last cut)
    EXPECT_EQ(rows().LoadedCount(), 6);
    root.SelectCell(Cell(0, 2), {});
    root.SetFirstScrolledRow(50);
    root.Place({0, 0, 100, 100});
    EXPECT_EQ(rows().UnloadedBefore(), 1); // row 1 went; row 2 is selected and stops the pass
    EXPECT_TRUE(rows().IsLoaded(2));
    EXPECT_TRUE(Cell(0, 2)->Selected());

    root.SetSelected(false);
    root.Place({0, 0, 100, 100});
    EXPECT_EQ(rows().UnloadedBefore(), 49);
    EXPECT_EQ(rows().LoadedCount(), 6); // header and the shown rows 50..54
    EXPECT_EQ(rows().Count(), 1001);
    for (int p = 1; p < rows().LoadedCount(); ++p)
        EXPECT_TRUE(rows().ItemAtPosition(p).InVisibleList());

    // An application that cannot load rows again has them deleted instead.
    root.OnVirtualUnLoad = [](TVokGridCell&, TAxisContentItem*, bool, TVirtualUnload& request) {
        if (request.Perform) request.CanUnload = false;
    };
    root.SetFirstScrolledRow(100);
    root.Place({0, 0, 100, 100});
    EXPECT_EQ(rows().UnloadedBefore(), 49);
    EXPECT_EQ(rows().Count(), 1001 - 50); // rows 50..99, not shown, were deleted
}

TEST_F(VirtualRowsTest, BadUnloadIntervalsFailWithoutDroppingAnything) {
    root.Place({0, 0, 100, 100});
    root.SetFirstScrolledRow(20);
    const auto expectFailure = [&](const char* message) {
        try {
            root.Place({0, 0, 100, 100});
            FAIL() << message;
        } catch (const EVokGridError& e) {
            EXPECT_STREQ(e.what(), message);
        }
        EXPECT_EQ(rows().LoadDepth, 0);
        EXPECT_EQ(rows().UnloadedBefore(), 0);
        EXPECT_TRUE(rows().IsLoaded(1));
    };
    root.OnVirtualUnLoad = [](TVokGridCell&, TAxisContentItem*, bool, TVirtualUnload& request) {
        request.Last = request.First - 1;
    };
    expectFailure("Incorrect intervall");
    root.OnVirtualUnLoad = [](TVokGridCell&, TAxisContentItem*, bool, TVirtualUnload& request) {
        if (!request.Perform) request.Last = 5000;
    };
    expectFailure("Index fu");

    // Widening is fine: rows 1..10 go in one step.
    std::vector<std::pair<int32_t, int32_t>> performed;
    root.OnVirtualUnLoad = [&](TVokGridCell&, TAxisContentItem*, bool, TVirtualUnload& request) {
        if (!request.Perform && request.First == 1) request.Last = 10;
        if (request.Perform) performed.push_back({request.First, request.Last});
    };
    root.Place({0, 0, 100, 100});
    ASSERT_FALSE(performed.empty());
    EXPECT_EQ(performed.front(), std::make_pair(1, 10));
    EXPECT_EQ(rows().UnloadedBefore(), 19);
}

TEST_F(VirtualRowsTest, DeleteFromKeepsTheUnloadedRowsBeforeIt) {
    std::vector<std::pair<int32_t, int32_t>> reported;
    root.OnVirtualUnLoad = [&](TVokGridCell&, TAxisContentItem* item, bool, TVirtualUnload& request) {
        EXPECT_EQ(item, nullptr);
        EXPECT_TRUE(request.Perform);
        reported.push_back({request.First, request.Last});
    };
    rows().Item(600);
    rows().DeleteFrom(300);
    EXPECT_EQ(rows().Count(), 300);
    EXPECT_EQ(rows().UnloadedBefore(), 299);
    EXPECT_EQ(rows().UnloadedAfter(), 0);
    EXPECT_EQ(reported, (std::vector<std::pair<int32_t, int32_t>>{{600, 999}, {300, 599}}));
    reported.clear();
    rows().Clear();
    EXPECT_EQ(rows().Count(), 1);
    EXPECT_EQ(reported, (std::vector<std::pair<int32_t, int32_t>>{{1, 299}}));
}

TEST_F(GridModelTest, UpdatesCoalesceContentChanges) {
    Build(1, 0);
    int content = 0;
    int sizes = 0;
    root.ContentChanged.Add([&](void*, TEvent&, const TEventArg&) { ++content; });
    root.SizeChanged.Add([&](void*, TEvent&, const TEventArg& a) {
        EXPECT_EQ(std::get<TAxisContentItem*>(a), root.Columns().Item(0));
        ++sizes;
    });
    {
        TVokUpdateScope update(root);
        for (int i = 0; i < 3; ++i)
            root.Rows().Append();
        EXPECT_EQ(content, 0);
    }
    EXPECT_EQ(content, 1);
    root.Columns().Item(0)->SetExplicitSize(50);
    EXPECT_EQ(sizes, 1);

    auto shared = std::make_shared<TSharedSize>();
    root.Columns().Item(0)->SetSharedSize(shared);
    root.Columns().Append().SetSharedSize(shared);
    root.Columns().Item(0)->SetExplicitSize(33);
    EXPECT_EQ(root.Columns().Item(1)->ExplicitSize(), 33);
    EXPECT_TRUE(root.Columns().Item(1)->HasExplicitSize());
}

TEST(GridEventTest, ListenersRunInOrderAndMayLeaveWhileFiring) {
    std::vector<int> calls;
    TEvent event(&calls);
    TSingleEventListener* first = nullptr;
    first = &event.Add([&](void* sender, TEvent& e, const TEventArg&) {
        EXPECT_EQ(sender, &calls);
        calls.push_back(1);
        e.Detach(*first); // leaves from inside its own call
    });
    auto attached =
        std::make_unique<TSingleEventListener>([&](void*, TEvent&, const TEventArg&) { calls.push_back(2); });
    event.Attach(*attached);
    TSingleEventListener& third = event.Add([&](void*, TEvent&, const TEventArg&) { calls.push_back(3); });
    event.Fire();
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(event.ListenerCount(), 2);
    EXPECT_EQ(third.LastEvent, &event);

    attached.reset(); // an attached listener detaches itself
    calls.clear();
    event.Fire();
    EXPECT_EQ(calls, (std::vector<int>{3}));

    auto late = std::make_unique<TSingleEventListener>();
    {
        TEvent shortLived;
        shortLived.Attach(*late);
        EXPECT_EQ(late->Event(), &shortLived);
    }
    EXPECT_EQ(late->Event(), nullptr);

    auto doomed = std::make_unique<TEvent>();
    TSingleEventListener destroyer([&](void*, TEvent&, const TEventArg&) { doomed.reset(); });
    doomed->Attach(destroyer);
    doomed->Add([&](void*, TEvent&, const TEventArg&) { calls.push_back(99); });
    doomed->Fire(); // the event is gone after the first listener
    EXPECT_EQ(doomed, nullptr);
    EXPECT_EQ(calls.back(), 3);
}

TEST(GridIteratorTest, FixedItemsThenTheScrolledPart) {
    const auto walk = [](int32_t fixed, int32_t first, int32_t count) {
        std::vector<int32_t> out;
        TVisibleIterator it(fixed, first, count);
        for (int32_t i = 0; it.Next(i);)
            out.push_back(i);
        return out;
    };
    EXPECT_EQ(walk(1, 5, 8), (std::vector<int32_t>{0, 5, 6, 7}));
    EXPECT_EQ(walk(0, 3, 5), (std::vector<int32_t>{3, 4}));
    EXPECT_EQ(walk(2, 0, 4), (std::vector<int32_t>{0, 1, 2, 3}));
}

TEST(GridColourTest, SystemColoursComeFromThePalette) {
    EXPECT_EQ(ResolveColor(0x123456), 0x123456u);
    const QColor base = QGuiApplication::palette().color(QPalette::Active, QPalette::Base);
    EXPECT_EQ(ResolveColor(clWindow),
              static_cast<uint32_t>(base.red() + 256 * base.green() + 65536 * base.blue()));
    const QColor button = QGuiApplication::palette().color(QPalette::Active, QPalette::Button);
    EXPECT_EQ(ResolveColor(clBtnFace),
              static_cast<uint32_t>(button.red() + 256 * button.green() + 65536 * button.blue()));
    EXPECT_EQ(ResolveColor(-5), 0u);
}

} // namespace
