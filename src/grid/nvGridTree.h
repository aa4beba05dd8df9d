#pragma once
// Tree rows: a tree of nodes bound to the rows of a grid cell. Every shown
// node has a row and that row points back at it. Expanding a node inserts rows
// for its shown descendants right below its own row; collapsing removes them.
// A node is shown when it is not hidden and every ancestor is expanded.

#include "grid/nvDataEntityPack.h"
#include "grid/nvVokGridContent.h"

#include <functional>
#include <memory>
#include <vector>

class TnvDataEntity_GridTreeNode;

// A list of tree nodes: the top level of a tree, or the children of a node.
class TnvDataList_GridTree : public TnvDataList2lev {
  public:
    explicit TnvDataList_GridTree(TnvDataEntity_GridTreeNode* parentNode = nullptr);

    TnvDataEntity_GridTreeNode& AddNode();
    // Null when the entry at that position is not a tree node.
    TnvDataEntity_GridTreeNode* Node(int32_t position) const;
    TnvDataEntity_GridTreeNode* ParentNode() const;
    // The shown nodes of this list and below, in row order.
    void CollectShown(std::vector<TnvDataEntity_GridTreeNode*>& nodes) const;
};

class TnvDataEntity_GridTreeNode : public TnvDataEntity {
  public:
    TnvDataEntity_GridTreeNode() = default;
    ~TnvDataEntity_GridTreeNode() override;

    // What the application hangs on the node; never freed here.
    TObjectRef Data;
    int32_t CollapsedIconIndex = -1;
    int32_t ExpandedIconIndex = -1;

    // Made on first use.
    TnvDataList_GridTree& Children();
    bool HasChildren() const { return children_ && children_->LoadedCount() > 0; }
    TnvDataEntity_GridTreeNode* ParentNode() const;
    // How many steps the node is indented: 0 on the top level.
    int32_t LevelIndent() const;
    TAxisContentItem* RowItem() const { return rowItem_; }

  private:
    friend class TAxisContentItem;
    TAxisContentItem* rowItem_ = nullptr;
    std::unique_ptr<TnvDataList_GridTree> children_;
};

// Inserts and removes the rows that stand for nodes.
class TnvListController {
  public:
    explicit TnvListController(TAxisContentList& rows) : rows_(rows) {}

    TAxisContentList& Rows() const { return rows_; }
    // One row per node from index on, each linked to its node.
    void InsertRows(int32_t index, const std::vector<TnvDataEntity_GridTreeNode*>& nodes);
    // Deletes the rows of the given nodes that have one.
    void DeleteRowsOf(const std::vector<TnvDataEntity_GridTreeNode*>& nodes);

    // Runs for every row made for a node, so the application can fill it.
    std::function<void(TAxisContentItem& row, TnvDataEntity_GridTreeNode& node)> OnRowShown;

  private:
    TAxisContentList& rows_;
};

// Binds a tree to the rows (after the fixed ones) of one grid cell.
class TnvGridTree {
  public:
    explicit TnvGridTree(TVokGridCell& cell);
    ~TnvGridTree();
    TnvGridTree(const TnvGridTree&) = delete;
    TnvGridTree& operator=(const TnvGridTree&) = delete;

    TVokGridCell& Cell() const { return cell_; }
    TnvDataList_GridTree& Nodes() const { return *nodes_; }
    TnvListController& Controller() { return controller_; }

    // Rebuilds every row after the fixed ones from the shown nodes.
    void Refresh();
    void Expand(TnvDataEntity_GridTreeNode& node);
    void Collapse(TnvDataEntity_GridTreeNode& node);
    void Toggle(TnvDataEntity_GridTreeNode& node);
    // Removes the node and its descendants together with their rows.
    void DeleteNode(TnvDataEntity_GridTreeNode& node);

  private:
    TVokGridCell& cell_;
    std::unique_ptr<TnvDataList_GridTree> nodes_;
    TnvListController controller_;
};
