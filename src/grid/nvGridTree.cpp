#include "grid/nvGridTree.h"

#include <stdexcept>

TnvDataList_GridTree::TnvDataList_GridTree(TnvDataEntity_GridTreeNode* parentNode)
    : TnvDataList2lev(parentNode) {}

TnvDataEntity_GridTreeNode& TnvDataList_GridTree::AddNode() {
    return static_cast<TnvDataEntity_GridTreeNode&>(Add(std::make_unique<TnvDataEntity_GridTreeNode>()));
}

TnvDataEntity_GridTreeNode* TnvDataList_GridTree::Node(int32_t position) const {
    return dynamic_cast<TnvDataEntity_GridTreeNode*>(&Items(position));
}

TnvDataEntity_GridTreeNode* TnvDataList_GridTree::ParentNode() const {
    return static_cast<TnvDataEntity_GridTreeNode*>(ParentEntity());
}

void TnvDataList_GridTree::CollectShown(std::vector<TnvDataEntity_GridTreeNode*>& nodes) const {
    for (int32_t p = 0; p < LoadedCount(); ++p) {
        TnvDataEntity_GridTreeNode* node = Node(p);
        if (!node || node->Hidden) continue;
        nodes.push_back(node);
        if (node->Expanded && node->HasChildren()) node->Children().CollectShown(nodes);
    }
}

TnvDataEntity_GridTreeNode::~TnvDataEntity_GridTreeNode() {
    // The row stays (it belongs to the grid) but no longer points here.
    if (rowItem_) rowItem_->SetTreeNode(nullptr);
}

TnvDataList_GridTree& TnvDataEntity_GridTreeNode::Children() {
    if (!children_) children_ = std::make_unique<TnvDataList_GridTree>(this);
    return *children_;
}

TnvDataEntity_GridTreeNode* TnvDataEntity_GridTreeNode::ParentNode() const {
    const auto* list = dynamic_cast<const TnvDataList_GridTree*>(OwnerList());
    return list ? list->ParentNode() : nullptr;
}

int32_t TnvDataEntity_GridTreeNode::LevelIndent() const {
    int32_t level = 0;
    for (const TnvDataEntity_GridTreeNode* p = ParentNode(); p; p = p->ParentNode())
        ++level;
    return level;
}

void TnvListController::InsertRows(int32_t index, const std::vector<TnvDataEntity_GridTreeNode*>& nodes) {
    TVokUpdateScope update(rows_.OwnerCell());
    for (TnvDataEntity_GridTreeNode* node : nodes) {
        TAxisContentItem& row = rows_.Insert(index++, node);
        if (OnRowShown) OnRowShown(row, *node);
    }
}

void TnvListController::DeleteRowsOf(const std::vector<TnvDataEntity_GridTreeNode*>& nodes) {
    TVokUpdateScope update(rows_.OwnerCell());
    // From the last one up, so the rows still to go keep their places.
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
        TAxisContentItem* row = (*it)->RowItem();
        if (row && &row->Owner() == &rows_) rows_.Delete(row->Index());
    }
}

TnvGridTree::TnvGridTree(TVokGridCell& cell)
    : cell_(cell), nodes_(std::make_unique<TnvDataList_GridTree>()), controller_(cell.Rows()) {}

// The nodes go with the tree; rows still linked to them are unlinked by the
// nodes' destructors.
TnvGridTree::~TnvGridTree() = default;

void TnvGridTree::Refresh() {
    TVokUpdateScope update(cell_);
    TAxisContentList& rows = cell_.Rows();
    rows.Clear();
    std::vector<TnvDataEntity_GridTreeNode*> shown;
    nodes_->CollectShown(shown);
    controller_.InsertRows(rows.FixedCount(), shown);
}

void TnvGridTree::Expand(TnvDataEntity_GridTreeNode& node) {
    if (node.Expanded) return;
    node.Expanded = true;
    if (!node.RowItem() || !node.HasChildren()) return;
    std::vector<TnvDataEntity_GridTreeNode*> shown;
    node.Children().CollectShown(shown);
    try {
        controller_.InsertRows(node.RowItem()->Index() + 1, shown);
    } catch (...) {
        // Rows already made for the children go again.
        controller_.DeleteRowsOf(shown);
        node.Expanded = false;
        throw;
    }
}

void TnvGridTree::Collapse(TnvDataEntity_GridTreeNode& node) {
    if (!node.Expanded) return;
    if (node.HasChildren()) {
        std::vector<TnvDataEntity_GridTreeNode*> shown;
        node.Children().CollectShown(shown);
        controller_.DeleteRowsOf(shown);
    }
    node.Expanded = false;
}

void TnvGridTree::Toggle(TnvDataEntity_GridTreeNode& node) {
    if (node.Expanded)
        Collapse(node);
    else
        Expand(node);
}

void TnvGridTree::DeleteNode(TnvDataEntity_GridTreeNode& node) {
    TnvDataList* list = node.OwnerList();
    if (!list) throw std::invalid_argument("TnvGridTree::DeleteNode: node is in no list");
    std::vector<TnvDataEntity_GridTreeNode*> rowsToGo{&node};
    if (node.Expanded && node.HasChildren()) node.Children().CollectShown(rowsToGo);
    controller_.DeleteRowsOf(rowsToGo);
    list->Delete(list->PositionOf(node));
}
