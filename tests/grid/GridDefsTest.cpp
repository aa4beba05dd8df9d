#include "grid/nvGridDefs.h"
#include "grid/nvGridTree.h"

#include <QDate>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

class GridDefsTest : public ::testing::Test {
  protected:
    GridDefsTest() {
        root.DefaultLayout = &defaultLayout;
        defs.Attach(root);
        defs.OnChange = [this](TnvDefinitionChange change) { changes.push_back(change); };
    }

    TnvGrid_Column& AddColumn(int width, const QString& header = {}) {
        TnvGrid_Column& column = defs.Columns().Add();
        column.SetWidth(width);
        column.SetHeaderText(header);
        return column;
    }
    TVokCell* Cell(int column, int row) { return root.GetCell(column, row); }
    void SetText(int column, int row, const QString& text) {
        static_cast<TVokSimpleCell*>(Cell(column, row))->SetText(text);
    }

    TLayoutProp defaultLayout;
    TVokGridCellForViewer root;
    TnvGridDefinitions defs;
    std::vector<TnvDefinitionChange> changes;
};

TEST_F(GridDefsTest, AxesFollowTheColumnDefinitions) {
    TnvGrid_Column& number = AddColumn(50, "Number");
    TnvGrid_Column& image = AddColumn(200, "Image");
    EXPECT_TRUE(defs.RebuildAxesIfDirty());
    EXPECT_FALSE(defs.RebuildAxesIfDirty());
    TAxisContentList& columns = root.Columns();
    ASSERT_EQ(columns.Count(), 3);
    EXPECT_EQ(columns.FixedCount(), 1);
    EXPECT_EQ(columns.Item(0)->ExplicitSize(), 20); // the information column
    EXPECT_FALSE(columns.Item(0)->Data);
    EXPECT_EQ(columns.Item(1)->Data.As<TnvGrid_Column>(), &number);
    EXPECT_EQ(columns.Item(2)->ExplicitSize(), 200);
    EXPECT_EQ(root.Rows().Count(), 1);
    EXPECT_EQ(root.Rows().FixedCount(), 1);

    // The main window's list: no information column, rows carrying parts.
    changes.clear();
    defs.SetHasInfoCol(false);
    EXPECT_EQ(changes, (std::vector<TnvDefinitionChange>{TnvDefinitionChange::Axes}));
    defs.RebuildAxesIfDirty();
    ASSERT_EQ(columns.Count(), 2);
    EXPECT_EQ(columns.FixedCount(), 0);
    int part = 0;
    root.Rows().Append(&part);
    EXPECT_EQ(defs.ColumnOf(Cell(1, 1)), &image);
    EXPECT_NE(defs.ColumnOf(Cell(0, 1))->ID(), image.ID());
    EXPECT_EQ(Cell(0, 1)->RowItem()->Data.As<int>(), &part);

    // A width under the layout's minimum still lays out at the minimum.
    number.SetWidth(10);
    defs.RebuildAxesIfDirty();
    root.Place({0, 0, 284, 300});
    EXPECT_EQ(columns.Item(0)->Size, 20);

    // A deleted definition is let go of at once; the rebuild drops its column.
    defs.Columns().Delete(0);
    EXPECT_EQ(defs.ColumnOf(Cell(0, 1)), nullptr);
    defs.RebuildAxesIfDirty();
    EXPECT_EQ(columns.Count(), 1);
    EXPECT_EQ(defs.ColumnOf(Cell(0, 1)), &image);

    defs.SetHasHeaders(false);
    defs.RebuildAxesIfDirty();
    EXPECT_EQ(root.Rows().FixedCount(), 0);
    EXPECT_EQ(root.Rows().Item(0)->Data.As<int>(), &part);
}

TEST_F(GridDefsTest, DefinitionChangesAskForTheRightWork) {
    TnvGrid_Column& column = AddColumn(50);
    defs.RebuildAxesIfDirty();
    changes.clear();
    column.SetHidden(true);
    column.SetHasIcon(true);
    column.SetWidth(60);
    EXPECT_EQ(changes,
              (std::vector<TnvDefinitionChange>{TnvDefinitionChange::Layout, TnvDefinitionChange::Repaint,
                                                TnvDefinitionChange::Axes}));
    EXPECT_TRUE(defs.AxesDirty());
    defs.RebuildAxesIfDirty();
    defs.ApplyHiddenFlags();
    EXPECT_TRUE(root.Columns().Item(1)->Hidden());

    EXPECT_EQ(column.GetDisplayName(), "Column0");
    TnvGrid_Column& copy = AddColumn(0, "Copy");
    copy.SetKind(tckDate);
    copy.SetLayoutName("kept");
    column.SetHeaderText("Original");
    copy.Assign(column);
    EXPECT_EQ(copy.Width(), 60);
    EXPECT_EQ(copy.HeaderText(), "Original");
    EXPECT_EQ(copy.Kind(), tckSimpleEdit);
    EXPECT_TRUE(copy.Hidden());
    EXPECT_EQ(copy.LayoutName(), "kept"); // not one of the copied properties
}

TEST_F(GridDefsTest, CellsTakeTheirColumnsLayoutAndKind) {
    TnvCellLayout& first = defs.CellLayouts().Add();
    first.SetName("Money");
    TnvCellLayout& second = defs.CellLayouts().Add();
    second.SetName("money");
    EXPECT_EQ(second.MinWidth(), 20);
    EXPECT_EQ(second.BackColor(), clWindow);
    EXPECT_EQ(second.FrameColor(), clBtnFace);
    EXPECT_EQ(second.FrameOptions(), TFrameOptions(foRight));
    second.SetFont({"Serif", 12, fsBold, 0x0000FF});
    EXPECT_EQ(second.Prop().FontName, "Serif");
    EXPECT_EQ(second.Prop().FontSize, 12);
    EXPECT_EQ(second.Prop().FontColor, 0x0000FF);
    EXPECT_EQ(second.GetDisplayName(), "money");

    TnvGrid_Column& flag = AddColumn(40);
    flag.SetLayoutName("MONEY");
    flag.SetKind(tckBool);
    AddColumn(40);
    defs.RebuildAxesIfDirty();
    root.Rows().Append();
    EXPECT_EQ(Cell(1, 1)->Layout, &second.Prop()); // case-insensitive, last one wins
    EXPECT_TRUE(Cell(1, 1)->StringData()->IsBool);
    EXPECT_EQ(Cell(1, 0)->Layout, nullptr);
    EXPECT_EQ(Cell(2, 1)->Layout, &defaultLayout);
    EXPECT_FALSE(Cell(2, 1)->StringData()->IsBool);

    defs.CellLayouts().Delete(1); // cells must not keep pointing at it
    EXPECT_EQ(Cell(1, 1)->Layout, &defaultLayout);
}

TEST_F(GridDefsTest, SubGridColumnsGetGridCellsBuiltFromTheirSubGrid) {
    defs.SetHasInfoCol(false);
    TnvGrid_SubGrid& details = defs.SubGrids().Add();
    details.SetName("Details");
    details.Columns().Add().SetWidth(30);
    details.Columns().Add().SetWidth(40);
    TnvGrid_SubGrid& other = defs.SubGrids().Add();
    other.SetName("Other");
    other.Columns().Add();
    EXPECT_EQ(other.GetDisplayName(), "Other");

    AddColumn(50);
    TnvGrid_Column& sub = AddColumn(100);
    sub.SetKind(tckSubGrid);
    sub.SetSubGridName("details");
    sub.OnContextSensitiveSubGrid = [](const TnvGrid_Column&, TAxisContentItem& row, QString& name) {
        if (row.Index() == 2) name = "other";
    };
    defs.RebuildAxesIfDirty();
    root.Rows().Append();
    root.Rows().Append();

    EXPECT_EQ(Cell(1, 0)->AsGridCell(), nullptr); // header cells stay simple
    TVokGridCell* grid = Cell(1, 1)->AsGridCell();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->Columns().Count(), 2);
    EXPECT_EQ(grid->Rows().FixedCount(), 1);
    EXPECT_EQ(grid->Columns().Item(1)->ExplicitSize(), 40);
    EXPECT_EQ(details.BuiltCells(), (std::vector<TVokGridCell*>{grid}));
    EXPECT_EQ(dynamic_cast<TVokSubGridCellData*>(grid->CellData.get())->SubGrid, &details);
    TVokGridCell* otherGrid = Cell(1, 2)->AsGridCell();
    ASSERT_NE(otherGrid, nullptr);
    EXPECT_EQ(otherGrid->Columns().Count(), 1);

    // Focus and selection reach into the sub-grid through the root.
    grid->Rows().Append();
    root.SetFocused(grid->GetCell(1, 1));
    EXPECT_EQ(root.DeepFocusedCell(), grid->GetCell(1, 1));

    details.Columns().Add();
    defs.RebuildAxesIfDirty();
    EXPECT_EQ(grid->Columns().Count(), 3);

    defs.SubGrids().Delete(other.Index());
    EXPECT_EQ(dynamic_cast<TVokSubGridCellData*>(otherGrid->CellData.get())->SubGrid, nullptr);
    EXPECT_FALSE(otherGrid->Columns().Item(0)->Data);
    root.Rows().Delete(1);
    EXPECT_TRUE(details.BuiltCells().empty());
    EXPECT_EQ(root.FocusedCell, nullptr);
}

TEST_F(GridDefsTest, SubTreeColumnsGetATreeToFill) {
    defs.SetHasInfoCol(false);
    TnvGrid_SubGrid& tree = defs.SubGrids().Add();
    tree.SetName("tree");
    tree.Columns().Add();
    TnvGrid_Column& column = AddColumn(100);
    column.SetKind(tckSubTree);
    column.SetSubGridName("Tree");
    defs.OnInitTreeSubDataList = [](TVokGridCell&, TnvGridTree& gridTree) {
        gridTree.Nodes().AddNode();
        gridTree.Nodes().AddNode();
        gridTree.Refresh();
    };
    defs.RebuildAxesIfDirty();
    root.Rows().Append();
    TVokGridCell* grid = Cell(0, 1)->AsGridCell();
    ASSERT_NE(grid, nullptr);
    auto* data = dynamic_cast<TVokSubGridCellDataTreeRef*>(grid->CellData.get());
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->IsTree);
    ASSERT_NE(data->Tree, nullptr);
    EXPECT_EQ(grid->Rows().Count(), 3); // header and one row per node
    EXPECT_EQ(grid->Rows().Item(2)->TreeNode(), data->Tree->Nodes().Node(1));
}

class GridSortTest : public GridDefsTest {
  protected:
    GridSortTest() {
        defs.SetHasInfoCol(false);
        column = &AddColumn(50);
        defs.RebuildAxesIfDirty();
    }
    void Fill(const std::vector<QString>& texts) {
        for (size_t i = 0; i < texts.size(); ++i) {
            root.Rows().Append(&tags[i]);
            SetText(0, root.Rows().Count() - 1, texts[i]);
        }
    }
    std::vector<QString> Texts() {
        std::vector<QString> result;
        for (int r = 1; r < root.Rows().Count(); ++r)
            result.push_back(Cell(0, r)->Text());
        return result;
    }
    std::vector<int> Tags() {
        std::vector<int> result;
        for (int r = 1; r < root.Rows().Count(); ++r)
            result.push_back(*root.Rows().Item(r)->Data.As<int>());
        return result;
    }
    TnvGrid_Column* column = nullptr;
    int tags[6]{1, 2, 3, 4, 5, 6};
};

TEST_F(GridSortTest, KeysPadNumbersAndEndWithTheRowIndex) {
    EXPECT_EQ(MakeUserSortKey("12", true, 3).Key, "B00000000000000012###00000000003");
    const TUserSortKey negative = MakeUserSortKey("-5", true, 1);
    EXPECT_EQ(negative.Key, "A00000000000000005###00000000001");
    EXPECT_TRUE(negative.Negative);
    EXPECT_EQ(MakeUserSortKey("abc", false, 12345678).Key, "ABC###00012345678");
    EXPECT_EQ(MakeUserSortKey("x", false, 2147483647).Key, "X###02147483647");
}

TEST_F(GridSortTest, NumericAndPlainSorts) {
    Fill({"12", "3", "-5", "-12"});
    column->SetNumericSort(true);
    defs.SortRows(*column, false);
    EXPECT_EQ(Texts(), (std::vector<QString>{"-12", "-5", "3", "12"}));
    EXPECT_EQ(Tags(), (std::vector<int>{4, 3, 2, 1})); // rows moved with their data
    defs.SortRows(*column, true);
    EXPECT_EQ(Texts(), (std::vector<QString>{"12", "3", "-5", "-12"}));

    root.Rows().Clear();
    Fill({"12", "3", "5"});
    column->SetNumericSort(false);
    defs.SortRows(*column, false);
    EXPECT_EQ(Texts(), (std::vector<QString>{"12", "3", "5"}));
}

TEST_F(GridSortTest, EqualKeysKeepTheirOrderBothWays) {
    Fill({"b", "a", "B", "a", "-5", "-5"});
    defs.SortRows(*column, false);
    EXPECT_EQ(Tags(), (std::vector<int>{5, 6, 2, 4, 1, 3}));
    defs.SortRows(*column, true);
    EXPECT_EQ(Tags(), (std::vector<int>{1, 3, 2, 4, 5, 6}));

    root.Rows().Clear();
    Fill({"-5", "-5", "-7"});
    column->SetNumericSort(true);
    defs.SortRows(*column, false);
    EXPECT_EQ(Tags(), (std::vector<int>{3, 1, 2}));
}

TEST_F(GridSortTest, HandlersMayReplaceKeysOrSortThemselves) {
    Fill({"a", "b", "c"});
    defs.OnGetUserSortCompareString = [](const TnvGrid_Column&, TVokCell* cell, QString& key) {
        key = cell->Text() == "b" ? "0" : key;
    };
    defs.SortRows(*column, false);
    EXPECT_EQ(Texts(), (std::vector<QString>{"b", "a", "c"}));

    defs.OnUserSort = [](const TnvGrid_Column&, std::vector<TAxisContentItem*>& rows, bool, bool& doDefault) {
        std::reverse(rows.begin(), rows.end());
        doDefault = false;
    };
    defs.SortRows(*column, false);
    EXPECT_EQ(Texts(), (std::vector<QString>{"c", "a", "b"}));
}

TEST_F(GridSortTest, DatesSortByTheirValue) {
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(DateSortText("05.03.2003", german, "dd.MM.yyyy"), "2003-03-05");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(DateSortText("5-Mar-2003", english, "d-MMM-yyyy"), "2003-03-05");
    EXPECT_EQ(DateSortText("Dec 24, 1999", english, "MMM d, yyyy"), "1999-12-24");
    EXPECT_EQ(DateSortText("3/5/03", english, "M/d/yy"), "2003-03-05");
    EXPECT_EQ(DateSortText("soon", english, "M/d/yy"), "soon");
    EXPECT_EQ(DateSortText("2/30/2003", english, "M/d/yyyy"), "2/30/2003"); // no such day

    // Through the grid, with the system's own short date format.
    column->SetKind(tckDate);
    const QLocale system = QLocale::system();
    const auto text = [&](int y, int m, int d) {
        return system.toString(QDate(y, m, d), QLocale::ShortFormat);
    };
    Fill({text(2010, 1, 2), text(2003, 12, 31), text(2007, 6, 15)});
    defs.SortRows(*column, false);
    EXPECT_EQ(Tags(), (std::vector<int>{2, 3, 1}));
}

} // namespace
