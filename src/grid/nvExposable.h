#pragma once
// Base of what the grid's tree binding shows: lists of entries and the entries
// themselves. Such objects have an identity (rows point at them), so they are
// neither copied nor moved.

class TnvExposable {
  public:
    TnvExposable() = default;
    virtual ~TnvExposable();
    TnvExposable(const TnvExposable&) = delete;
    TnvExposable& operator=(const TnvExposable&) = delete;
};
