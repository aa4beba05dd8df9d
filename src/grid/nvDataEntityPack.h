#pragma once
// Entries and lists of entries for the grid's tree binding. A list owns its
// entries; like a grid axis it may stand for entries that are not loaded, as
// counts before and after the loaded ones.

#include "grid/nvExposable.h"

#include <cstdint>
#include <memory>
#include <vector>

class TnvDataList;

class TnvDataEntity : public TnvExposable {
  public:
    bool Expanded = false;
    bool Hidden = false;

    TnvDataList* OwnerList() const { return ownerList_; }
    // Logical index in the owner list (unloaded entries before it counted);
    // -1 when in no list.
    int32_t Index() const;

  private:
    friend class TnvDataList;
    TnvDataList* ownerList_ = nullptr;
};

class TnvDataList : public TnvExposable {
  public:
    TnvDataList() = default;
    ~TnvDataList() override;

    int32_t UnloadedBefore = 0;
    int32_t UnloadedAfter = 0;

    int32_t Count() const { return LoadedCount() + UnloadedBefore + UnloadedAfter; }
    int32_t LoadedCount() const { return static_cast<int32_t>(items_.size()); }
    // By position among the loaded entries.
    TnvDataEntity& Items(int32_t position) const { return *items_.at(static_cast<size_t>(position)); }
    int32_t PositionOf(const TnvDataEntity& entity) const;

    TnvDataEntity& Add(std::unique_ptr<TnvDataEntity> entity);
    TnvDataEntity& Insert(int32_t position, std::unique_ptr<TnvDataEntity> entity);
    void Delete(int32_t position);
    void Clear();

  protected:
    virtual void EntityAdded(TnvDataEntity&) {}

  private:
    std::vector<std::unique_ptr<TnvDataEntity>> items_;
};

// A list that hangs below an entry of another list (a two-level structure,
// nested as deep as needed).
class TnvDataList2lev : public TnvDataList {
  public:
    explicit TnvDataList2lev(TnvDataEntity* parentEntity = nullptr) : parentEntity_(parentEntity) {}
    TnvDataEntity* ParentEntity() const { return parentEntity_; }

  private:
    TnvDataEntity* parentEntity_;
};
