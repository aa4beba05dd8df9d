#include "grid/nvDataEntityPack.h"

#include <algorithm>
#include <stdexcept>

int32_t TnvDataEntity::Index() const {
    if (!ownerList_) return -1;
    return ownerList_->UnloadedBefore + ownerList_->PositionOf(*this);
}

TnvDataList::~TnvDataList() {
    Clear();
}

int32_t TnvDataList::PositionOf(const TnvDataEntity& entity) const {
    const auto it =
        std::find_if(items_.begin(), items_.end(), [&](const auto& e) { return e.get() == &entity; });
    return it == items_.end() ? -1 : static_cast<int32_t>(it - items_.begin());
}

TnvDataEntity& TnvDataList::Add(std::unique_ptr<TnvDataEntity> entity) {
    return Insert(LoadedCount(), std::move(entity));
}

TnvDataEntity& TnvDataList::Insert(int32_t position, std::unique_ptr<TnvDataEntity> entity) {
    if (!entity) throw std::invalid_argument("TnvDataList::Insert: no entity");
    if (position < 0 || position > LoadedCount()) throw std::out_of_range("TnvDataList::Insert: position");
    if (entity->ownerList_) throw std::invalid_argument("TnvDataList::Insert: entity is in another list");
    TnvDataEntity& added = *entity;
    items_.insert(items_.begin() + position, std::move(entity));
    added.ownerList_ = this;
    EntityAdded(added);
    return added;
}

void TnvDataList::Delete(int32_t position) {
    if (position < 0 || position >= LoadedCount()) throw std::out_of_range("TnvDataList::Delete: position");
    // Take it out first, so the entity's destructor sees a consistent list.
    std::unique_ptr<TnvDataEntity> gone = std::move(items_[static_cast<size_t>(position)]);
    items_.erase(items_.begin() + position);
    gone->ownerList_ = nullptr;
}

void TnvDataList::Clear() {
    while (!items_.empty())
        Delete(LoadedCount() - 1);
}
