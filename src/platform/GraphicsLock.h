#pragma once
// The one process-wide lock between the mask worker's writes and painting on
// the GUI thread. Re-entrant, so a painting helper may take it again.

#include <mutex>

// Take it only through TGraphicsLockGuard, so that it is released on every path.
std::recursive_mutex& GraphicsLock();

class TGraphicsLockGuard {
  public:
    TGraphicsLockGuard() : guard_(GraphicsLock()) {}

  private:
    std::lock_guard<std::recursive_mutex> guard_;
};
