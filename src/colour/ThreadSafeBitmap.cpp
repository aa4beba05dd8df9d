#include "colour/ThreadSafeBitmap.h"

#include <algorithm>
#include <stdexcept>

TThreadSafeBitmapPart::TThreadSafeBitmapPart(const tw::Bitmap& picture, int32_t height, int32_t width,
                                             int32_t top, int32_t left)
    : Entries(static_cast<size_t>(height) * static_cast<size_t>(width)), Left(left), Top(top), Width(width),
      Height(height) {
    // Outside the picture an entry reads like a canvas does there: all bits set.
    // The picture's size is read once: this runs on the GUI thread for every tile.
    const int32_t pictureWidth = picture.Width(), pictureHeight = picture.Height();
    const int32_t from = std::clamp(-left, 0, width), to = std::clamp(pictureWidth - left, from, width);
    for (int32_t ly = 0; ly < height; ++ly) {
        uint32_t* out = Entries.data() + static_cast<size_t>(ly) * static_cast<size_t>(width);
        const int32_t y = top + ly;
        if (y < 0 || y >= pictureHeight) {
            std::fill(out, out + width, 0xFFFFFFFFu);
            continue;
        }
        const uint32_t* row = picture.Row(y);
        std::fill(out, out + from, 0xFFFFFFFFu);
        for (int32_t lx = from; lx < to; ++lx)
            out[lx] = tw::ColorFromRgb32(row[left + lx]);
        std::fill(out + to, out + width, 0xFFFFFFFFu);
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
