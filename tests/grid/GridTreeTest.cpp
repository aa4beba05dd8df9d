#include "grid/nvGridTree.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

namespace {

class GridTreeTest : public ::testing::Test {
  protected:
    // Tree:  A (A1, A2 (A2a)), B; rows after a header row.
    GridTreeTest() {
        root.Rows().InsertFixed();
        root.Columns().Append();
        tree = std::make_unique<TnvGridTree>(root);
        TnvDataList_GridTree& top = tree->Nodes();
        a = &top.AddNode();
        a1 = &a->Children().AddNode();
        a2 = &a->Children().AddNode();
        a2a = &a2->Children().AddNode();
        b = &top.AddNode();
        names = {{a, "A"}, {a1, "A1"}, {a2, "A2"}, {a2a, "A2a"}, {b, "B"}};
        tree->Controller().OnRowShown = [this](TAxisContentItem& row, TnvDataEntity_GridTreeNode& node) {
            static_cast<TVokSimpleCell*>(root.GetCell(0, row.Index()))->SetText(names.at(&node));
        };
        tree->Refresh();
    }

    // The rows' texts, each checked against the node its row points at.
    std::vector<QString> Rows() {
        std::vector<QString> result;
        for (int r = 1; r < root.Rows().Count(); ++r) {
            TAxisContentItem* row = root.Rows().Item(r);
            EXPECT_NE(row->TreeNode(), nullptr);
            if (!row->TreeNode()) continue;
            EXPECT_EQ(row->TreeNode()->RowItem(), row);
            EXPECT_EQ(root.GetCell(0, r)->Text(), names.at(row->TreeNode()));
            result.push_back(names.at(row->TreeNode()));
        }
        return result;
    }

    TLayoutProp defaultLayout;
    TVokGridCellForViewer root;
    std::unique_ptr<TnvGridTree> tree;
    TnvDataEntity_GridTreeNode *a, *a1, *a2, *a2a, *b;
    std::map<const TnvDataEntity_GridTreeNode*, QString> names;
};

TEST_F(GridTreeTest, ExpandAndCollapseInsertAndRemoveRows) {
    EXPECT_EQ(Rows(), (std::vector<QString>{"A", "B"}));
    EXPECT_EQ(a2a->LevelIndent(), 2);
    EXPECT_EQ(a2->ParentNode(), a);

    tree->Expand(*a);
    EXPECT_EQ(Rows(), (std::vector<QString>{"A", "A1", "A2", "B"}));
    tree->Expand(*a2);
    EXPECT_EQ(Rows(), (std::vector<QString>{"A", "A1", "A2", "A2a", "B"}));

    tree->Collapse(*a); // the whole shown subtree goes; A2 stays expanded
    EXPECT_EQ(Rows(), (std::vector<QString>{"A", "B"}));
    EXPECT_EQ(a2a->RowItem(), nullptr);
    EXPECT_TRUE(a2->Expanded);
    tree->Toggle(*a);
    EXPECT_EQ(Rows(), (std::vector<QString>{"A", "A1", "A2", "A2a", "B"}));

    a1->Hidden = true;
    tree->Refresh();
    EXPECT_EQ(Rows(), (std::vector<QString>{"A", "A2", "A2a", "B"}));

    // Expanding a node that has no row only sets its flag.
    tree->Collapse(*a);
    tree->Collapse(*a2);
    tree->Expand(*a2);
    EXPECT_EQ(Rows(), (std::vector<QString>{"A", "B"}));
}

TEST_F(GridTreeTest, RowsAndNodesLetGoOfEachOther) {
    tree->Expand(*a);
    TAxisContentItem* rowOfA1 = a1->RowItem();
    ASSERT_NE(rowOfA1, nullptr);
    root.Rows().Delete(rowOfA1->Index());
    EXPECT_EQ(a1->RowItem(), nullptr);

    TAxisContentItem* rowOfB = b->RowItem();
    tree->DeleteNode(*a); // its row and its children's rows go with it
    EXPECT_EQ(root.Rows().Count(), 2);
    EXPECT_EQ(root.Rows().Item(1), rowOfB);
    EXPECT_EQ(tree->Nodes().LoadedCount(), 1);

    tree.reset(); // the rows stay but no longer point at freed nodes
    EXPECT_EQ(root.Rows().Item(1)->TreeNode(), nullptr);
}

} // namespace
