#include "grid/nvVokGridContent.h"

#include "grid/nvGridDefs.h"
#include "grid/nvGridTree.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Moves one element of a vector so that it ends up at index `to`.
template <class T> void MoveElement(std::vector<T>& v, int32_t from, int32_t to) {
    const auto b = v.begin();
    if (from < to)
        std::rotate(b + from, b + from + 1, b + to + 1);
    else if (from > to)
        std::rotate(b + to, b + from, b + from + 1);
}

template <class T> void EraseValue(std::vector<T*>& v, const T* value) {
    v.erase(std::remove(v.begin(), v.end(), value), v.end());
}

constexpr int32_t NoLayoutExtent = 20;

} // namespace

// ---------------------------------------------------------------------------
// Events

TSingleEventListener::~TSingleEventListener() {
    if (event_ && !ownedByEvent_) event_->Detach(*this);
}

TEvent::~TEvent() {
    *alive_ = false;
    for (TSingleEventListener* l : listeners_)
        if (l && !l->ownedByEvent_) l->event_ = nullptr;
}

TSingleEventListener& TEvent::Add(TSingleEventListener::TMethod method) {
    auto listener = std::make_unique<TSingleEventListener>(std::move(method));
    listener->event_ = this;
    listener->ownedByEvent_ = true;
    listeners_.push_back(listener.get());
    owned_.push_back(std::move(listener));
    return *listeners_.back();
}

void TEvent::Attach(TSingleEventListener& listener) {
    if (listener.event_ == this) return;
    if (listener.ownedByEvent_)
        throw std::invalid_argument("TEvent::Attach: listener belongs to another event");
    if (listener.event_) listener.event_->Detach(listener);
    listener.event_ = this;
    listeners_.push_back(&listener);
}

void TEvent::Detach(TSingleEventListener& listener) {
    if (listener.event_ != this) return;
    const auto it = std::find(listeners_.begin(), listeners_.end(), &listener);
    if (it != listeners_.end()) {
        if (firing_ > 0)
            *it = nullptr; // the running loop skips it; compacted afterwards
        else
            listeners_.erase(it);
    }
    listener.event_ = nullptr;
    if (!listener.ownedByEvent_) return;
    const auto owned =
        std::find_if(owned_.begin(), owned_.end(), [&](const auto& p) { return p.get() == &listener; });
    if (owned == owned_.end()) return;
    std::unique_ptr<TSingleEventListener> gone = std::move(*owned);
    owned_.erase(owned);
    // A listener may detach itself from inside its own call: keep it alive
    // until the event has finished firing.
    if (firing_ > 0) released_.push_back(std::move(gone));
}

void TEvent::Fire(const TEventArg& argument) {
    const std::shared_ptr<bool> alive = alive_;
    struct FiringScope {
        TEvent& event;
        const std::shared_ptr<bool>& alive;
        ~FiringScope() {
            if (!*alive) return;
            if (--event.firing_ == 0) event.Compact();
        }
    } scope{*this, alive};
    ++firing_;
    for (size_t i = 0; i < listeners_.size(); ++i) {
        TSingleEventListener* l = listeners_[i];
        if (!l) continue;
        l->LastSender = Sender;
        l->LastEvent = this;
        l->LastArgument = argument;
        if (l->Method) l->Method(Sender, *this, argument);
        if (!*alive) return; // a listener destroyed the event
    }
}

int32_t TEvent::ListenerCount() const {
    return static_cast<int32_t>(
        std::count_if(listeners_.begin(), listeners_.end(), [](auto* l) { return l; }));
}

void TEvent::Compact() {
    EraseValue<TSingleEventListener>(listeners_, nullptr);
    released_.clear();
}

// ---------------------------------------------------------------------------
// Axis items

TAxisContentItem::~TAxisContentItem() {
    SetTreeNode(nullptr);
}

void TAxisContentItem::SetTreeNode(TnvDataEntity_GridTreeNode* node) {
    if (treeNode_ == node) return;
    if (treeNode_) treeNode_->rowItem_ = nullptr;
    if (node) {
        if (node->rowItem_) node->rowItem_->treeNode_ = nullptr;
        node->rowItem_ = this;
    }
    treeNode_ = node;
}

void TAxisContentItem::SetExplicitSize(int32_t size, bool hasExplicitSize) {
    if (sharedSize_) {
        sharedSize_->ExplicitSize = size;
        sharedSize_->HasExplicitSize = hasExplicitSize;
    } else {
        explicitSize_ = size;
        hasExplicitSize_ = hasExplicitSize;
    }
    if (TVokGridCellForViewer* root = owner_->OwnerCell().Root()) root->NotifySizeChanged(*this);
}

void TAxisContentItem::SetHidden(bool hidden) {
    if (hidden == hidden_) return;
    hidden_ = hidden;
    if (hidden)
        owner_->hiddenItems_.push_back(this);
    else
        EraseValue(owner_->hiddenItems_, this);
    owner_->ContentChanged(this);
}

int32_t TAxisContentItem::Index() const {
    owner_->FlushRenumber();
    return index_;
}

// ---------------------------------------------------------------------------
// Axes

// Marks a virtual load (or a call into the load and unload handlers) in
// progress, for as long as the scope lasts, failures included.
struct TAxisContentList::TLoadScope {
    explicit TLoadScope(TAxisContentList& axis) : axis_(axis) { ++axis_.LoadDepth; }
    ~TLoadScope() { --axis_.LoadDepth; }
    TLoadScope(const TLoadScope&) = delete;
    TLoadScope& operator=(const TLoadScope&) = delete;

  private:
    TAxisContentList& axis_;
};

TAxisContentList::~TAxisContentList() = default;

int32_t TAxisContentList::Count() const {
    return LoadedCount() + unloadedBefore_ + unloadedAfter_;
}

bool TAxisContentList::IsLoaded(int32_t index) const {
    if (index < 0) return false;
    if (index < fixedCount_) return true;
    return index >= fixedCount_ + unloadedBefore_ && index < unloadedBefore_ + LoadedCount();
}

TAxisContentItem* TAxisContentList::LoadedItem(int32_t index) const {
    return IsLoaded(index) ? items_[static_cast<size_t>(PositionOf(index))].get() : nullptr;
}

TAxisContentItem* TAxisContentList::Item(int32_t index) {
    if (index < 0 || index >= Count()) return nullptr;
    EnsureLoaded(index);
    return LoadedItem(index);
}

void TAxisContentList::MarkRenumber(int32_t index) {
    renumberFrom_ = renumberPending_ ? std::min(renumberFrom_, index) : index;
    renumberPending_ = true;
}

void TAxisContentList::FlushRenumber() {
    if (!renumberPending_) return;
    const int32_t from = std::max(renumberFrom_, 0);
    int32_t position = from < fixedCount_ ? from : std::max(fixedCount_, from - unloadedBefore_);
    for (; position < LoadedCount(); ++position)
        items_[static_cast<size_t>(position)]->index_ = IndexOfPosition(position);
    renumberPending_ = false;
    renumberFrom_ = Count();
}

void TAxisContentList::ContentChanged(TAxisContentItem* item) {
    TVokGridCellForViewer* root = ownerCell_.Root();
    if (!root) return;
    if (item)
        root->NotifyContentChanged(item);
    else
        root->NotifyContentChanged({});
}

TAxisContentItem& TAxisContentList::InsertAtPosition(int32_t position, int32_t index, bool fixed,
                                                     TObjectRef data, TnvDataEntity_GridTreeNode* treeNode,
                                                     int32_t* unloadedCount) {
    auto owned = std::make_unique<TAxisContentItem>(*this);
    TAxisContentItem& item = *owned;
    item.Data = data;
    item.index_ = index;
    items_.insert(items_.begin() + position, std::move(owned));
    if (fixed) ++fixedCount_;
    if (unloadedCount) --*unloadedCount;
    MarkRenumber(index);
    item.SetTreeNode(treeNode);
    try {
        ownerCell_.Cells().ItemInserted(*this, position);
    } catch (...) {
        items_.erase(items_.begin() + position);
        if (fixed) --fixedCount_;
        if (unloadedCount) ++*unloadedCount;
        MarkRenumber(index);
        throw;
    }
    return item;
}

TAxisContentItem& TAxisContentList::Insert(int32_t index, TnvDataEntity_GridTreeNode* treeNode) {
    if (LoadDepth > 0) throw EVokGridError("Not allowed to add items during load");
    if (index < 0 || index > Count()) throw std::out_of_range("TAxisContentList::Insert: index out of range");
    TnvDataEntity_GridTreeNode* const pending = PendingTreeNode;
    if (!treeNode) treeNode = pending;
    PendingTreeNode = nullptr;
    try {
        if (index < fixedCount_) {
            TAxisContentItem& item = InsertAtPosition(index, index, true, {}, treeNode);
            ContentChanged(&item);
            return item;
        }
        // The new item goes before the item now at index, or after the last
        // one; either must be loaded first.
        if (index == Count()) {
            if (index > fixedCount_) EnsureLoaded(index - 1);
        } else {
            EnsureLoaded(index);
        }
        if (!IsLoaded(index) && index != unloadedBefore_ + LoadedCount())
            throw std::logic_error("TAxisContentList::Insert: insertion point could not be loaded");
        TAxisContentItem& item = InsertAtPosition(PositionOf(index), index, false, {}, treeNode);
        ContentChanged(&item);
        return item;
    } catch (...) {
        PendingTreeNode = pending;
        throw;
    }
}

TAxisContentItem& TAxisContentList::InsertFixed() {
    if (LoadDepth > 0) throw EVokGridError("Not allowed to add items during load");
    TAxisContentItem& item = InsertAtPosition(fixedCount_, fixedCount_, true, {}, nullptr);
    ContentChanged(&item);
    return item;
}

TAxisContentItem& TAxisContentList::Append(TObjectRef data) {
    if (LoadDepth > 0) throw EVokGridError("Not allowed to add items during load");
    if (Count() > fixedCount_) EnsureLoaded(Count() - 1);
    if (unloadedAfter_ != 0)
        throw std::logic_error("TAxisContentList::Append: last item could not be loaded");
    TAxisContentItem& item = InsertAtPosition(LoadedCount(), Count(), false, data, nullptr);
    ContentChanged(&item);
    return item;
}

void TAxisContentList::RemoveFromLists(TAxisContentItem& item) {
    EraseValue(hiddenItems_, &item);
    if (item.inVisibleList_) {
        EraseValue(visibleItems_, &item);
        item.inVisibleList_ = false;
    }
}

void TAxisContentList::DeleteAtPosition(int32_t position) {
    TAxisContentItem& item = *items_[static_cast<size_t>(position)];
    RemoveFromLists(item);
    {
        // The cells go first, while the item they point at still exists.
        std::vector<std::unique_ptr<TVokCell>> cells = ownerCell_.Cells().ItemRemoved(*this, position);
    }
    if (position < fixedCount_) --fixedCount_;
    items_.erase(items_.begin() + position);
}

void TAxisContentList::Delete(int32_t index) {
    const int32_t count = Count();
    if (index < 0 || index >= count) throw std::out_of_range("TAxisContentList::Delete: index out of range");
    if (!IsLoaded(index)) {
        // Indexes before the loaded window start after the fixed items.
        if (index < fixedCount_ + unloadedBefore_)
            --unloadedBefore_;
        else
            --unloadedAfter_;
        MarkRenumber(index);
        ContentChanged(nullptr);
        return;
    }
    // Measured while the item is still counted: only a scroll position at or
    // beyond the end goes back to the start.
    if (isRows_) {
        if (ownerCell_.FirstScrolledRow() >= count) ownerCell_.SetFirstScrolledRow(fixedCount_);
    } else {
        if (ownerCell_.FirstScrolledColumn() >= count) ownerCell_.SetFirstScrolledColumn(fixedCount_);
    }
    DeleteAtPosition(PositionOf(index));
    MarkRenumber(index);
    ContentChanged(nullptr);
}

void TAxisContentList::Move(int32_t fromIndex, int32_t toIndex) {
    const int32_t count = Count();
    if (fromIndex < 0 || fromIndex >= count || toIndex < 0 || toIndex >= count)
        throw std::out_of_range("TAxisContentList::Move: index out of range");
    if (fromIndex == toIndex) return;
    if ((fromIndex < fixedCount_) != (toIndex < fixedCount_))
        throw std::invalid_argument("TAxisContentList::Move: cannot move between fixed and scrolling items");
    EnsureLoaded(fromIndex);
    EnsureLoaded(toIndex);
    if (!IsLoaded(fromIndex) || !IsLoaded(toIndex))
        throw std::out_of_range("TAxisContentList::Move: both items must be loaded together");
    const int32_t from = PositionOf(fromIndex);
    const int32_t to = PositionOf(toIndex);
    ownerCell_.Cells().ItemMoved(*this, from, to);
    MoveElement(items_, from, to);
    MarkRenumber(std::min(fromIndex, toIndex));
    ContentChanged(items_[static_cast<size_t>(to)].get());
}

void TAxisContentList::ReportUnloaded(int32_t first, int32_t last) {
    TVokGridCellForViewer* root = ownerCell_.Root();
    if (!root || !root->OnVirtualUnLoad) return;
    TVirtualUnload request{first, last, true, true};
    TLoadScope scope(*this);
    root->OnVirtualUnLoad(ownerCell_, nullptr, isRows_, request);
}

void TAxisContentList::DeleteFrom(int32_t index) {
    const int32_t from = std::max(index, 0);
    if (from >= Count()) return;
    TVokUpdateScope update(ownerCell_);
    // Loaded items from the end down.
    while (LoadedCount() > 0 && IndexOfPosition(LoadedCount() - 1) >= from)
        Delete(IndexOfPosition(LoadedCount() - 1));
    // Items that exist only as counts, but only those at or after index: the
    // ones before it stay, so the remaining indexes keep their meaning.
    const int32_t count = Count();
    const int32_t afterFrom = std::max(from, unloadedBefore_ + LoadedCount());
    if (unloadedAfter_ > 0 && afterFrom < count) {
        ReportUnloaded(afterFrom, count - 1);
        unloadedAfter_ -= count - afterFrom;
    }
    const int32_t beforeEnd = fixedCount_ + unloadedBefore_;
    const int32_t beforeFrom = std::max(from, fixedCount_);
    if (beforeFrom < beforeEnd) {
        ReportUnloaded(beforeFrom, beforeEnd - 1);
        unloadedBefore_ -= beforeEnd - beforeFrom;
    }
    if (from <= fixedCount_) LoadedFrom = LoadedTo = -1;
    MarkRenumber(from);
    ContentChanged(nullptr);
}

void TAxisContentList::AddUnloaded(int32_t count) {
    if (count <= 0) return;
    unloadedAfter_ += count;
    ContentChanged(nullptr);
}

void TAxisContentList::Arrange(const std::vector<TAxisContentItem*>& order) {
    for (const TAxisContentItem* item : order)
        if (!item || item->owner_ != this || item->Index() < fixedCount_ || !IsLoaded(item->Index()))
            throw std::invalid_argument(
                "TAxisContentList::Arrange: not a loaded scrolling item of this axis");
    TVokUpdateScope update(ownerCell_);
    const int32_t start = fixedCount_ + unloadedBefore_;
    for (size_t k = 0; k < order.size(); ++k) {
        const int32_t target = start + static_cast<int32_t>(k);
        const int32_t current = order[k]->Index();
        if (current != target) Move(current, target);
    }
}

void TAxisContentList::EnsureLoaded(int32_t index) {
    // Loads are not nested: a load handler sees only what is loaded already.
    if (LoadDepth > 0) return;
    if (index < fixedCount_ || index >= Count() || IsLoaded(index)) return;
    int32_t first = 0;
    int32_t last = 0;
    bool atFront = false;
    const int32_t windowEnd = unloadedBefore_ + LoadedCount();
    if (index >= windowEnd) {
        first = windowEnd;
        last = index;
    } else {
        first = index;
        last = fixedCount_ + unloadedBefore_ - 1;
        atFront = true;
    }
    if ((last - first) + LoadedCount() > MaxLoadWindow) {
        // Too far from what is loaded: start a new window at index.
        UnloadAll();
        const int32_t scrolling = Count() - fixedCount_;
        unloadedBefore_ = std::min(index - fixedCount_, scrolling - 1);
        unloadedAfter_ = scrolling - unloadedBefore_;
        first = last = index;
        atFront = false;
    }
    LoadRange(first, last, atFront);
}

void TAxisContentList::UnloadAll() {
    ownerCell_.SelectAll(false);
    ClearVisible();
    const int32_t scrolling = Count() - fixedCount_;
    while (LoadedCount() > fixedCount_)
        DeleteAtPosition(LoadedCount() - 1);
    unloadedBefore_ = 0;
    unloadedAfter_ = scrolling;
    renumberPending_ = false;
    LoadedFrom = LoadedTo = -1;
}

void TAxisContentList::LoadRange(int32_t first, int32_t last, bool atFront) {
    TLoadScope scope(*this);
    LastLoadAtFront = atFront;
    LoadedFrom = first;
    LoadedTo = last;
    std::vector<TAxisContentItem*> created;
    if (atFront) {
        // Each new item goes right after the fixed ones, the last index first.
        for (int32_t index = last; index >= first; --index)
            created.push_back(&InsertAtPosition(fixedCount_, index, false, {}, nullptr, &unloadedBefore_));
    } else {
        for (int32_t index = first; index <= last; ++index)
            created.push_back(&InsertAtPosition(LoadedCount(), index, false, {}, nullptr, &unloadedAfter_));
    }
    TVokGridCellForViewer* root = ownerCell_.Root();
    if (!root || !root->OnVirtualLoad) return;
    // Reported in creation order: from the end for a load at the front.
    for (TAxisContentItem* item : created)
        root->OnVirtualLoad(ownerCell_, *item, isRows_);
}

bool TAxisContentList::UnloadEnd(bool atFront) {
    if (LoadedCount() <= fixedCount_) return false;
    const int32_t edge = atFront ? fixedCount_ + unloadedBefore_ : unloadedBefore_ + LoadedCount() - 1;
    if (edge >= LoadedFrom && edge <= LoadedTo) return false;
    TVokGridCellForViewer* root = ownerCell_.Root();
    TAxisContentItem* edgeItem = LoadedItem(edge);
    TVirtualUnload request{edge, edge, false, true};
    if (root && root->OnVirtualUnLoad) {
        TLoadScope scope(*this);
        root->OnVirtualUnLoad(ownerCell_, edgeItem, isRows_, request);
    }
    if (request.Last < request.First) throw EVokGridError("Incorrect intervall");
    // Only a run of loaded scrolling items that starts (or ends) at this edge
    // can become a count.
    const int32_t first = request.First;
    const int32_t last = request.Last;
    const auto checkInterval = [&] {
        const bool atEdge =
            atFront ? first == fixedCount_ + unloadedBefore_ : last == unloadedBefore_ + LoadedCount() - 1;
        if (!atEdge) throw EVokGridError("Index fu");
        for (int32_t index = first; index <= last; ++index) {
            const TAxisContentItem* item = LoadedItem(index);
            if (index < fixedCount_ || !item || item->Index() != index) throw EVokGridError("Index fu");
        }
    };
    checkInterval();
    for (int32_t index = first; index <= last; ++index) {
        if (LoadedItem(index)->InVisibleList()) return false;
        const TCellMatrix& cells = ownerCell_.Cells();
        if (isRows_ ? cells.AnySelectedInRow(index) : cells.AnySelectedInColumn(index)) return false;
    }
    request.Perform = true;
    request.CanUnload = true;
    if (root && root->OnVirtualUnLoad) {
        TLoadScope scope(*this);
        root->OnVirtualUnLoad(ownerCell_, LoadedItem(edge), isRows_, request);
        // The handler may not have changed the axis under the pass's feet.
        checkInterval();
    }
    const bool keepCount = request.CanUnload;
    for (int32_t n = last - first + 1; n > 0; --n) {
        if (atFront) {
            DeleteAtPosition(fixedCount_);
            if (keepCount) ++unloadedBefore_;
        } else {
            DeleteAtPosition(LoadedCount() - 1);
            if (keepCount) ++unloadedAfter_;
        }
    }
    MarkRenumber(first);
    if (!keepCount) ContentChanged(nullptr);
    return true;
}

void TAxisContentList::UnloadOutsideLoadedRange() {
    if (LoadedFrom < 0 || LoadDepth > 0) return;
    while (UnloadEnd(true)) {
    }
    while (UnloadEnd(false)) {
    }
}

void TAxisContentList::ClearVisible() {
    for (TAxisContentItem* item : visibleItems_)
        item->inVisibleList_ = false;
    visibleItems_.clear();
}

void TAxisContentList::AddVisible(TAxisContentItem& item) {
    if (item.owner_ != this || item.inVisibleList_) return;
    item.inVisibleList_ = true;
    visibleItems_.push_back(&item);
}

// ---------------------------------------------------------------------------
// Matrix

TCellMatrix::~TCellMatrix() {
    Clear();
}

void TCellMatrix::Clear() {
    // Column by column from the end; each cell leaves the matrix before it is
    // destroyed, so whoever hears of its destruction sees a consistent matrix.
    while (!columns_.empty()) {
        std::vector<std::unique_ptr<TVokCell>> column = std::move(columns_.back());
        columns_.pop_back();
        while (!column.empty())
            column.pop_back();
    }
}

void TCellMatrix::CheckAxis(const TAxisContentList& axis) const {
    if (&axis != &owner_.Columns() && &axis != &owner_.Rows()) throw EVokGridError();
}

TVokCell* TCellMatrix::CellAtPosition(int32_t columnPosition, int32_t rowPosition) const {
    if (columnPosition < 0 || columnPosition >= static_cast<int32_t>(columns_.size())) return nullptr;
    const auto& column = columns_[static_cast<size_t>(columnPosition)];
    if (rowPosition < 0 || rowPosition >= static_cast<int32_t>(column.size())) return nullptr;
    return column[static_cast<size_t>(rowPosition)].get();
}

TVokCell* TCellMatrix::LoadedCell(int32_t column, int32_t row) const {
    const TAxisContentList& columns = owner_.Columns();
    const TAxisContentList& rows = owner_.Rows();
    if (!columns.IsLoaded(column) || !rows.IsLoaded(row)) return nullptr;
    return CellAtPosition(columns.PositionOf(column), rows.PositionOf(row));
}

TVokCell* TCellMatrix::GetCell(int32_t column, int32_t row) {
    TAxisContentList& columns = owner_.Columns();
    TAxisContentList& rows = owner_.Rows();
    if (column < 0 || row < 0 || column >= columns.Count() || row >= rows.Count()) return nullptr;
    columns.EnsureLoaded(column);
    rows.EnsureLoaded(row);
    return LoadedCell(column, row);
}

bool TCellMatrix::AnySelectedInColumn(int32_t column) const {
    const TAxisContentList& columns = owner_.Columns();
    if (!columns.IsLoaded(column)) return false;
    const size_t position = static_cast<size_t>(columns.PositionOf(column));
    if (position >= columns_.size()) return false;
    const auto& cells = columns_[position];
    return std::any_of(cells.begin(), cells.end(), [](const auto& c) { return c->Selected(); });
}

bool TCellMatrix::AnySelectedInRow(int32_t row) const {
    const TAxisContentList& rows = owner_.Rows();
    if (!rows.IsLoaded(row)) return false;
    const size_t position = static_cast<size_t>(rows.PositionOf(row));
    return std::any_of(columns_.begin(), columns_.end(), [&](const auto& column) {
        return position < column.size() && column[position]->Selected();
    });
}

void TCellMatrix::ItemInserted(const TAxisContentList& axis, int32_t position) {
    CheckAxis(axis);
    const TAxisContentList& columns = owner_.Columns();
    const TAxisContentList& rows = owner_.Rows();
    // All new cells are made before any goes in, so a failure leaves the
    // matrix as it was.
    if (&axis == &columns) {
        TAxisContentItem& column = columns.ItemAtPosition(position);
        std::vector<std::unique_ptr<TVokCell>> cells;
        cells.reserve(static_cast<size_t>(rows.LoadedCount()));
        for (int32_t r = 0; r < rows.LoadedCount(); ++r)
            cells.push_back(owner_.CreateCell(column, rows.ItemAtPosition(r)));
        columns_.insert(columns_.begin() + position, std::move(cells));
    } else {
        TAxisContentItem& row = rows.ItemAtPosition(position);
        std::vector<std::unique_ptr<TVokCell>> cells;
        cells.reserve(columns_.size());
        for (int32_t c = 0; c < static_cast<int32_t>(columns_.size()); ++c)
            cells.push_back(owner_.CreateCell(columns.ItemAtPosition(c), row));
        for (auto& column : columns_)
            column.reserve(column.size() + 1);
        for (size_t c = 0; c < columns_.size(); ++c)
            columns_[c].insert(columns_[c].begin() + position, std::move(cells[c]));
    }
}

std::vector<std::unique_ptr<TVokCell>> TCellMatrix::ItemRemoved(const TAxisContentList& axis,
                                                                int32_t position) {
    CheckAxis(axis);
    std::vector<std::unique_ptr<TVokCell>> removed;
    if (&axis == &owner_.Columns()) {
        if (position >= 0 && position < static_cast<int32_t>(columns_.size())) {
            removed = std::move(columns_[static_cast<size_t>(position)]);
            columns_.erase(columns_.begin() + position);
        }
    } else {
        removed.reserve(columns_.size());
        for (auto& column : columns_) {
            if (position < 0 || position >= static_cast<int32_t>(column.size())) continue;
            removed.push_back(std::move(column[static_cast<size_t>(position)]));
            column.erase(column.begin() + position);
        }
    }
    return removed;
}

void TCellMatrix::ItemMoved(const TAxisContentList& axis, int32_t fromPosition, int32_t toPosition) {
    CheckAxis(axis);
    if (&axis == &owner_.Columns()) {
        MoveElement(columns_, fromPosition, toPosition);
    } else {
        for (auto& column : columns_)
            MoveElement(column, fromPosition, toPosition);
    }
}

// ---------------------------------------------------------------------------
// Content

void TVokSimpleCellStringData::SetText(const QString& text) {
    text_ = text;
    TVokCell& cell = Owner();
    cell.textMeasured_ = false;
    if (cell.Layout && cell.Layout->WrapTextAndFit) {
        cell.neededHeight_ = 0;
        if (cell.root_) cell.root_->NotifyContentChanged(&cell);
    }
    cell.Changed.Fire(&cell);
}

TVokSubGridCellData::~TVokSubGridCellData() {
    // Normally the grid cell has already left its definition's list; this
    // covers content replaced on a live cell.
    if (SubGrid) SubGrid->ForgetBuiltCell(&Owner());
}

TVokSubGridCellDataTreeRef::TVokSubGridCellDataTreeRef(TVokCell& owner) : TVokSubGridCellData(owner) {}

TVokSubGridCellDataTreeRef::~TVokSubGridCellDataTreeRef() = default;

// ---------------------------------------------------------------------------
// Cells

TVokCell::TVokCell(TVokGridCell* owner, TAxisContentItem* columnItem, TAxisContentItem* rowItem)
    : owner_(owner), root_(owner ? owner->root_ : nullptr), columnItem_(columnItem), rowItem_(rowItem) {}

TVokCell::~TVokCell() {
    BeforeDestroy();
}

void TVokCell::BeforeDestroy() noexcept {
    if (destroying_) return;
    destroying_ = true;
    if (owner_ && root_ && root_->OnCellDestroying) {
        try {
            root_->OnCellDestroying(*this);
        } catch (...) {
            // Nothing can be reported from a destructor; the cell goes anyway.
        }
    }
    // Any grid cell up the tree may point at this one (SelectCell on the root
    // anchors a nested cell there).
    for (TVokGridCell* g = owner_; g; g = g->Owner()) {
        if (g->FocusedCell == this) g->FocusedCell = nullptr;
        if (g->AnchorCell == this) g->AnchorCell = nullptr;
    }
}

void TVokCell::SetSelected(bool value) {
    if (value == selected_) return;
    selected_ = value;
    if (owner_ && owner_->RowSelect) owner_->SelectRow(*this, value);
    if (root_) root_->NotifySelectionChanged(*this);
}

void TVokCell::BeginUpdate() {
    if (root_ && root_ != this) root_->BeginUpdate();
}

void TVokCell::EndUpdate() {
    if (root_ && root_ != this) root_->EndUpdate();
}

int32_t TVokCell::CandidateHeight() const {
    const int32_t minimum = Layout ? Layout->MinHeight : NoLayoutExtent;
    if (rowItem_ && rowItem_->HasExplicitSize()) return std::max(rowItem_->ExplicitSize(), minimum);
    return NeededHeight();
}

int32_t TVokCell::CandidateWidth() const {
    const int32_t minimum = Layout ? Layout->MinWidth : NoLayoutExtent;
    if (columnItem_ && columnItem_->HasExplicitSize()) return std::max(columnItem_->ExplicitSize(), minimum);
    return NeededWidth();
}

bool TVokCell::IsFixed() const {
    if (!owner_ || !columnItem_ || !rowItem_) return false;
    return owner_->IsFixed(columnItem_->Index(), rowItem_->Index());
}

bool TVokCell::IsGridCell() const {
    return dynamic_cast<const TVokGridCell*>(this) != nullptr;
}

TVokGridCell* TVokCell::AsGridCell() {
    return dynamic_cast<TVokGridCell*>(this);
}

TVokSimpleCellStringData* TVokCell::StringData() const {
    return dynamic_cast<TVokSimpleCellStringData*>(CellData.get());
}

QString TVokCell::Text() const {
    const TVokSimpleCellStringData* data = StringData();
    return data ? data->Text() : QString();
}

void TVokCell::Paint(const TRect& rect, TVokDrawStateSet state) {
    Rect = rect;
    if (root_ && root_->OnPaintCell) root_->OnPaintCell(*this, rect, state);
}

TVokSimpleCell::~TVokSimpleCell() {
    BeforeDestroy();
}

void TVokSimpleCell::SetText(const QString& text) {
    TVokSimpleCellStringData* data = StringData();
    if (!data) throw std::logic_error("TVokSimpleCell::SetText: the cell holds no text");
    data->SetText(text);
}

void TVokSimpleCell::Measure() {
    if (MeasurePending) return;
    MeasurePending = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{MeasurePending};
    if (!Layout) {
        neededHeight_ = std::max(neededHeight_, NoLayoutExtent);
        neededWidth_ = std::max(neededWidth_, NoLayoutExtent);
        return;
    }
    neededWidth_ = std::max(neededWidth_, Layout->MinWidth);
    TVokGridCellForViewer* root = Root();
    if (Layout->WrapTextAndFit && root && root->OnMeasureText) {
        // Measuring wrapped text is dear: only again after the text changed.
        if (!textMeasured_) {
            CustomHeight = root->OnMeasureText(*this);
            textMeasured_ = true;
        }
        neededHeight_ = CustomHeight;
    } else {
        neededHeight_ = std::max(neededHeight_, Layout->MinHeight);
    }
}

// ---------------------------------------------------------------------------
// Grid cells

TVokGridCell::TVokGridCell(TVokGridCell* owner, TAxisContentItem* columnItem, TAxisContentItem* rowItem)
    : TVokCell(owner, columnItem, rowItem), columns_(std::make_unique<TAxisContentList>(*this, false)),
      rows_(std::make_unique<TAxisContentList>(*this, true)), cells_(std::make_unique<TCellMatrix>(*this)) {}

TVokGridCell::~TVokGridCell() {
    BeforeDestroy();
    if (auto* data = dynamic_cast<TVokSubGridCellData*>(CellData.get()); data && data->SubGrid) {
        data->SubGrid->ForgetBuiltCell(this);
        data->SubGrid = nullptr;
    }
    DestroyContent();
}

void TVokGridCell::DestroyContent() noexcept {
    // Cells point at the axis items, so they go first.
    if (cells_) cells_->Clear();
}

void TVokGridCell::SetFirstScrolledRow(int32_t row) {
    row = std::max(row, FixedRowCount());
    const bool changed = row != FirstScrolledRow();
    firstScrolledRow_ = row;
    if (changed) ScrollChanged.Fire();
}

void TVokGridCell::SetFirstScrolledColumn(int32_t column) {
    column = std::max(column, FixedColumnCount());
    const bool changed = column != FirstScrolledColumn();
    firstScrolledColumn_ = column;
    if (changed) ScrollChanged.Fire();
}

std::unique_ptr<TVokCellData> TVokGridCell::CreateCellData(TVokCell& cell) {
    TVokGridCellForViewer* root = Root();
    if (!root) throw EVokGridError("CreateVokCellData");
    const auto& factory = cell.IsGridCell() ? root->GridCellDataFactory : root->SimpleCellDataFactory;
    if (!factory) throw EVokGridError("CreateVokCellData");
    std::unique_ptr<TVokCellData> data = factory(cell);
    if (!data) throw EVokGridError("CreateVokCellData");
    return data;
}

std::unique_ptr<TVokCell> TVokGridCell::CreateCell(TAxisContentItem& column, TAxisContentItem& row) {
    TVokGridCellForViewer* root = Root();
    TVokCellKind kind = TVokCellKind::Simple;
    if (root && root->OnGetCellKind) kind = root->OnGetCellKind(*this, column, row);
    std::unique_ptr<TVokCell> cell;
    if (kind == TVokCellKind::Grid) {
        auto grid = std::make_unique<TVokGridCell>(this, &column, &row);
        // A focus change inside a sub-grid is a focus change of this grid.
        grid->FocusChanged.Add(
            [this](void*, TEvent&, const TEventArg& argument) { FocusChanged.Fire(argument); });
        cell = std::move(grid);
    } else {
        cell = std::make_unique<TVokSimpleCell>(this, &column, &row);
    }
    cell->CellData = CreateCellData(*cell);
    if (kind == TVokCellKind::Simple && !IsFixed(column.Index(), row.Index()) && root)
        cell->Layout = root->DefaultLayout;
    if (root && root->OnCellCreated) root->OnCellCreated(*cell);
    return cell;
}

void TVokGridCell::SetSelected(bool value) {
    if (Owner()) TVokCell::SetSelected(value);
    SelectAll(value);
}

void TVokGridCell::SelectAll(bool value) {
    // Bounds are read again at every step: selection handlers may change things.
    for (int32_t c = FixedColumnCount(); c < columns_->LoadedCount(); ++c)
        for (int32_t r = FixedRowCount(); r < rows_->LoadedCount(); ++r)
            if (TVokCell* cell = cells_->CellAtPosition(c, r)) cell->SetSelected(value);
}

void TVokGridCell::SelectRow(const TVokCell& cell, bool value) {
    const int32_t row = rows_->PositionOf(cell.RowItem()->Index());
    for (int32_t c = FixedColumnCount(); c < columns_->LoadedCount(); ++c)
        if (TVokCell* other = cells_->CellAtPosition(c, row)) other->SetSelected(value);
}

void TVokGridCell::Measure() {
    int32_t height = 0;
    int32_t width = 0;
    for (int32_t r = 0; r < rows_->LoadedCount(); ++r)
        if (const TAxisContentItem& row = rows_->ItemAtPosition(r); !row.Hidden()) height += row.Size;
    for (int32_t c = 0; c < columns_->LoadedCount(); ++c)
        if (const TAxisContentItem& column = columns_->ItemAtPosition(c); !column.Hidden())
            width += column.Size;
    neededHeight_ = std::max(Layout ? Layout->MinHeight : NoLayoutExtent, height);
    neededWidth_ = std::max(Layout ? Layout->MinWidth : NoLayoutExtent, width);
}

bool TVokGridCell::IsFixed(int32_t column, int32_t row) const {
    if (column < 0 || row < 0 || column < FixedColumnCount() || row < FixedRowCount()) return true;
    return TVokCell::IsFixed();
}

bool TVokGridCell::Contains(const TVokCell& cell) const {
    for (const TVokGridCell* g = cell.Owner(); g; g = g->Owner())
        if (g == this) return true;
    return false;
}

void TVokGridCell::SelectRange(int32_t column1, int32_t row1, int32_t column2, int32_t row2) {
    // Only what is loaded: a range over virtual rows must not load them all.
    for (int32_t r = std::min(row1, row2); r <= std::max(row1, row2); ++r)
        for (int32_t c = std::min(column1, column2); c <= std::max(column1, column2); ++c)
            if (TVokCell* cell = cells_->LoadedCell(c, r); cell && !cell->IsFixed()) cell->SetSelected(true);
}

void TVokGridCell::SelectCell(TVokCell* cell, TShiftState shift) {
    if (!cell) return;
    if (!Contains(*cell)) throw EVokGridError();
    if (!MultiSelect) shift = {};
    if (cell->IsFixed()) return;
    const bool withShift = (shift & ssShift) != 0;
    const bool withCtrl = (shift & ssCtrl) != 0;
    if (!withShift && !withCtrl) {
        AnchorCell = cell;
        SelectAll(false);
        cell->SetSelected(true);
    } else if (withShift) {
        if (!AnchorCell) AnchorCell = cell;
        TVokGridCell* owner = cell->Owner();
        if (AnchorCell->Owner() != owner) return;
        if (!withCtrl) owner->SelectAll(false);
        // The anchor may have gone with a deselection handler's doing.
        if (!AnchorCell) return;
        owner->SelectRange(AnchorCell->ColumnItem()->Index(), AnchorCell->RowItem()->Index(),
                           cell->ColumnItem()->Index(), cell->RowItem()->Index());
    } else {
        AnchorCell = cell;
        cell->SetSelected(!cell->Selected());
    }
}

void TVokGridCell::SetFocused(TVokCell* cell) {
    if (cell && cell->Owner() != this) {
        if (!Contains(*cell)) throw EVokGridError();
        TVokGridCell* nested = cell->Owner();
        while (nested->Owner() != this)
            nested = nested->Owner();
        nested->SetFocused(cell);
        SetFocused(nested);
        return;
    }
    TVokCell* const focused = cell && !cell->IsFixed() ? cell : nullptr;
    if (focused == FocusedCell) return;
    TVokCell* const previous = FocusedCell;
    FocusedCell = focused;
    if (previous && previous != focused) {
        if (TVokGridCell* grid = previous->AsGridCell()) grid->SetFocused(nullptr);
    }
    FocusChanged.Fire(focused);
}

TVokCell* TVokGridCell::DeepFocusedCell() const {
    TVokCell* cell = FocusedCell;
    while (cell) {
        TVokGridCell* grid = cell->AsGridCell();
        if (!grid || !grid->FocusedCell) return cell;
        cell = grid->FocusedCell;
    }
    return nullptr;
}

void TVokGridCell::Place(const TRect& rect) {
    TAxisContentList& columns = *columns_;
    TAxisContentList& rows = *rows_;
    columns.ClearVisible();
    rows.ClearVisible();
    VisibleColumnCount = 0;
    VisibleRowCount = 0;
    AllColumnsFit = true;
    AllRowsFit = true;
    LastVisibleColumn = -1;
    const int32_t width = rect.Width();
    const int32_t height = rect.Height();

    // Measure as many columns and rows as fit, plus the one that overflows.
    bool firstColumn = true;
    int32_t columnSum = 0;
    TVisibleIterator columnWalk(columns.FixedCount(), FirstScrolledColumn(), columns.Count());
    for (int32_t c = 0; columnWalk.Next(c);) {
        TAxisContentItem* column = columns.Item(c);
        if (!column || column->Hidden()) continue;
        column->Size = 0;
        column->Position = 0;
        int32_t rowSum = 0;
        TVisibleIterator rowWalk(rows.FixedCount(), FirstScrolledRow(), rows.Count());
        for (int32_t r = 0; rowWalk.Next(r);) {
            TAxisContentItem* row = rows.Item(r);
            if (!row) continue;
            if (firstColumn) {
                row->Size = 0;
                row->Position = 0;
            }
            if (row->Hidden()) continue;
            TVokCell* cell = cells_->GetCell(c, r);
            if (!cell) continue;
            if (TVokGridCell* grid = cell->AsGridCell()) {
                grid->Place(rect);
                grid->Measure();
            } else {
                cell->Measure();
            }
            row->Size = std::max(row->Size, cell->CandidateHeight());
            column->Size = std::max(column->Size, cell->CandidateWidth());
            rowSum += row->Size;
            if (rowSum > height) break;
        }
        firstColumn = false;
        columnSum += column->Size;
        if (columnSum > width) break;
    }

    // Positions, and the visible lists.
    int32_t sum = 0;
    TVisibleIterator columnPlace(columns.FixedCount(), FirstScrolledColumn(), columns.Count());
    for (int32_t c = 0; columnPlace.Next(c);) {
        TAxisContentItem* column = columns.Item(c);
        if (!column || column->Hidden()) continue;
        ++VisibleColumnCount;
        column->Position = sum;
        columns.AddVisible(*column);
        LastVisibleColumn = c;
        sum += column->Size;
        if (sum > width) {
            AllColumnsFit = false;
            break;
        }
    }
    if (!firstColumn) {
        sum = 0;
        TVisibleIterator rowPlace(rows.FixedCount(), FirstScrolledRow(), rows.Count());
        for (int32_t r = 0; rowPlace.Next(r);) {
            TAxisContentItem* row = rows.Item(r);
            if (!row || row->Hidden()) continue;
            ++VisibleRowCount;
            row->Position = sum;
            rows.AddVisible(*row);
            sum += row->Size;
            if (sum > height) {
                // A partly shown last row does not count.
                AllRowsFit = false;
                --VisibleRowCount;
                break;
            }
        }
    }

    columns.UnloadOutsideLoadedRange();
    rows.UnloadOutsideLoadedRange();
    LayoutRect = rect;
}

TVokCell* TVokGridCell::CellAt(int32_t x, int32_t y, bool deep) {
    if (!LayoutRect.Contains(x, y)) return nullptr;
    for (TAxisContentItem* column : columns_->VisibleItems()) {
        const int32_t left = LayoutRect.Left + column->Position;
        if (x < left || x >= left + column->Size) continue;
        for (TAxisContentItem* row : rows_->VisibleItems()) {
            const int32_t top = LayoutRect.Top + row->Position;
            if (y < top || y >= top + row->Size) continue;
            TVokCell* cell = cells_->LoadedCell(column->Index(), row->Index());
            if (!cell) return nullptr;
            cell = GroupRunLast(*cell);
            if (deep) {
                if (TVokGridCell* grid = cell->AsGridCell())
                    if (TVokCell* inner = grid->CellAt(x, y, true)) return inner;
            }
            return cell;
        }
        return nullptr;
    }
    return nullptr;
}

bool TVokGridCell::DefaultGroupCompare(const TVokCell& above, const TVokCell& cell) {
    const TVokSimpleCellStringData* a = above.StringData();
    const TVokSimpleCellStringData* b = cell.StringData();
    return a && b && !above.IsGridCell() && !cell.IsGridCell() && a->Text() == b->Text();
}

bool TVokGridCell::GroupsWithAbove(const TVokCell& above, const TVokCell& cell) const {
    if (above.IsFixed() || cell.IsFixed()) return false;
    const TVokGridCellForViewer* root = Root();
    if (root && root->OnGroupCompare) return root->OnGroupCompare(above, cell);
    return DefaultGroupCompare(above, cell);
}

void TVokGridCell::MarkGroupCells(TAxisContentItem& column) {
    const TVokGridCellForViewer* root = Root();
    const bool grouping = root && root->OnIsGroupColumn && root->OnIsGroupColumn(column);
    TVokCell* above = nullptr;
    for (TAxisContentItem* row : rows_->VisibleItems()) {
        TVokCell* cell = cells_->LoadedCell(column.Index(), row->Index());
        if (!cell) continue;
        if (grouping && above && GroupsWithAbove(*above, *cell)) {
            above->Grouped = true;
            above->GroupTail = false;
            cell->Grouped = true;
            cell->GroupTail = true;
        } else {
            cell->Grouped = false;
            cell->GroupTail = false;
        }
        above = cell;
    }
}

TVokCell* TVokGridCell::RowNeighbour(const TVokCell& cell, int step) {
    TVokGridCell* owner = cell.Owner();
    if (!owner) return nullptr;
    const int32_t column = cell.ColumnItem()->Index();
    for (int32_t r = cell.RowItem()->Index() + step;; r += step) {
        const TAxisContentItem* row = owner->rows_->LoadedItem(r);
        if (!row) return nullptr;
        if (!row->Hidden()) return owner->cells_->LoadedCell(column, r);
    }
}

TVokCell* TVokGridCell::GroupRunLast(TVokCell& cell) {
    TVokCell* current = &cell;
    while (current->Grouped && !current->GroupTail) {
        TVokCell* next = RowNeighbour(*current, 1);
        if (!next || !next->Grouped) break;
        current = next;
    }
    return current;
}

TVokCell* TVokGridCell::GroupRunFirst(TVokCell& cell) {
    TVokCell* current = &cell;
    while (current->Grouped) {
        TVokCell* previous = RowNeighbour(*current, -1);
        if (!previous || !previous->Grouped || previous->GroupTail) break;
        current = previous;
    }
    return current;
}

// ---------------------------------------------------------------------------
// The root

TVokGridCellForViewer::TVokGridCellForViewer() : TVokGridCell(nullptr, nullptr, nullptr) {
    root_ = this;
    SimpleCellDataFactory = [](TVokCell& cell) { return std::make_unique<TVokSimpleCellStringData>(cell); };
    GridCellDataFactory = [](TVokCell& cell) { return std::make_unique<TVokSubGridCellDataTreeRef>(cell); };
}

TVokGridCellForViewer::~TVokGridCellForViewer() {
    // The cells go while the hooks they call on their way out still exist.
    DestroyContent();
}

void TVokGridCellForViewer::BeginUpdate() {
    ++updateCount_;
}

void TVokGridCellForViewer::EndUpdate() {
    if (updateCount_ == 0) return;
    if (--updateCount_ == 0 && contentChangedPending_) {
        contentChangedPending_ = false;
        ContentChanged.Fire();
    }
}

void TVokGridCellForViewer::NotifyContentChanged(const TEventArg& argument) {
    if (updateCount_ > 0)
        contentChangedPending_ = true;
    else
        ContentChanged.Fire(argument);
}

// ---------------------------------------------------------------------------
// Sort keys

namespace {

// Splits "text###00000000007" into the text and the 11-digit tail; a key
// without such a tail is all text.
std::pair<QStringView, QStringView> SplitSortKey(const QString& key) {
    constexpr qsizetype tail = 14;
    if (key.size() >= tail && QStringView(key).sliced(key.size() - tail, 3) == u"###") {
        const QStringView digits = QStringView(key).sliced(key.size() - 11);
        if (std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
            return {QStringView(key).first(key.size() - tail), digits};
    }
    return {QStringView(key), QStringView()};
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

} // namespace

QString DateSortText(const QString& text, const QLocale& locale) {
    return DateSortText(text, locale, locale.dateFormat(QLocale::ShortFormat));
}

QString DateSortText(const QString& text, const QLocale& locale, const QString& shortDateFormat) {
    const QString format = shortDateFormat.toUpper();
    QString t = text;
    if (format.contains(QStringLiteral("MMM"))) {
        for (int month = 1; month <= 12; ++month) {
            const QString name = locale.toString(QDate(2003, month, 1), QStringLiteral("MMM"));
            if (!name.isEmpty()) t.replace(name, QString::number(month), Qt::CaseInsensitive);
        }
    }
    // Day, month and year are the three numbers of the text, in the order the
    // format names them.
    const qsizetype dayAt = format.indexOf(QLatin1Char('D'));
    const qsizetype monthAt = format.indexOf(QLatin1Char('M'));
    const qsizetype yearAt = format.indexOf(QLatin1Char('Y'));
    if (dayAt < 0 || monthAt < 0 || yearAt < 0) return text;
    static const QRegularExpression number(QStringLiteral("\\d+"));
    std::vector<QString> numbers;
    for (auto it = number.globalMatch(t); it.hasNext();)
        numbers.push_back(it.next().captured());
    if (numbers.size() != 3) return text;
    const auto rank = [&](qsizetype at) {
        return static_cast<size_t>((at > dayAt) + (at > monthAt) + (at > yearAt));
    };
    const int day = numbers[rank(dayAt)].toInt();
    const int month = numbers[rank(monthAt)].toInt();
    int year = numbers[rank(yearAt)].toInt();
    if (numbers[rank(yearAt)].size() <= 2) {
        // Two-digit years fall within fifty years of today.
        const int now = QDate::currentDate().year();
        year += now - now % 100;
        if (year > now + 50) year -= 100;
    }
    const QDate date(year, month, day);
    if (!date.isValid()) return text;
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

TUserSortKey MakeUserSortKey(const QString& text, bool numericSort, int32_t rowIndex) {
    TUserSortKey result;
    QString key = text.toUpper();
    if (numericSort) {
        if (key.startsWith(QLatin1Char('-'))) {
            result.Negative = true;
            key.remove(0, 1);
        }
        key = (QString(17, QLatin1Char('0')) + key).right(17);
        key.prepend(result.Negative ? QLatin1Char('A') : QLatin1Char('B'));
    }
    key += QStringLiteral("###") + (QStringLiteral("0000000000") + QString::number(rowIndex)).right(11);
    result.Key = key;
    return result;
}

int CompareUserSortKeys(const TUserSortKey& a, const TUserSortKey& b, bool descending) {
    const auto [textA, tailA] = SplitSortKey(a.Key);
    const auto [textB, tailB] = SplitSortKey(b.Key);
    int result = Sign(textA.compare(textB, Qt::CaseSensitive));
    if (descending) result = -result;
    if (a.Negative && b.Negative) result = -result;
    if (result != 0) return result;
    return Sign(tailA.compare(tailB, Qt::CaseSensitive));
}
