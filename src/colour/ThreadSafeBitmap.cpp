#include "colour/ThreadSafeBitmap.h"

#include <stdexcept>

TThreadSafeBitmapPart::TThreadSafeBitmapPart(const tw::Bitmap& picture, int32_t height, int32_t width,
                                             int32_t top, int32_t left)
    : Entries(static_cast<size_t>(height) * static_cast<size_t>(width)), Left(left), Top(top), Width(width),
      Height(height) {
    size_t i = 0;
    for (int32_t ly = 0; ly < height; ++ly) {
        const int32_t y = top + ly;
        const bool rowInside = y >= 0 && y < picture.Height();
        const uint32_t* row = rowInside ? picture.Row(y) : nullptr;
        for (int32_t lx = 0; lx < width; ++lx, ++i) {
            const int32_t x = left + lx;
            // Outside the picture an entry reads like a canvas does there: all bits set.
            Entries[i] =
                rowInside && x >= 0 && x < picture.Width() ? tw::ColorFromRgb32(row[x]) : 0xFFFFFFFFu;
        }
    }
}

TThreadSafeBitmap::TThreadSafeBitmap(const tw::Bitmap& picture, TThreadSafeBitmapOwner& owner)
    : TilesAcross(picture.Width() / TThreadSafeBitmapPart::TileSize + 1),
      TilesDown(picture.Height() / TThreadSafeBitmapPart::TileSize + 1),
      Tiles(static_cast<size_t>(TilesAcross) * static_cast<size_t>(TilesDown) + 1), OwnerThread(owner),
      Source(picture) {}

TThreadSafeBitmapPart& TThreadSafeBitmap::FetchTile(int32_t x, int32_t y) {
    for (;;) {
        const int64_t slot = SlotOf(x, y);
        if (slot < 0) throw std::out_of_range("position outside the tile grid");
        if (TThreadSafeBitmapPart* tile = Tiles[static_cast<size_t>(slot)].get()) return *tile;
        PendingPoint = QPoint(x, y);
        OwnerThread.PendingStore = this;
        OwnerThread.BuildTileSync();
    }
}

void TThreadSafeBitmap::RGBAt(int32_t x, int32_t y, TRGBValues& rgb) noexcept {
    if (SlotOf(x, y) < 0) return;
    try {
        rgb = ColorToRGBValues(TileAt(x, y).ColorAt(x, y));
    } catch (...) {
        // Unreadable positions leave the caller's record as it was.
    }
}

void TThreadSafeBitmap::BuildPendingTile() {
    constexpr int32_t size = TThreadSafeBitmapPart::TileSize;
    const int64_t slot = SlotOf(PendingPoint.x(), PendingPoint.y());
    if (slot < 0) throw std::out_of_range("position outside the tile grid");
    const int32_t tc = PendingPoint.x() / size, tr = PendingPoint.y() / size;
    Tiles[static_cast<size_t>(slot)] =
        std::make_unique<TThreadSafeBitmapPart>(Source, size, size, tr * size, tc * size);
}
