#pragma once
// A tiled copy of a picture that a worker thread can read without touching the
// picture itself: 100 x 100 tiles are copied on the GUI thread on demand, while
// the worker waits, and each entry also carries the worker's visited mark.

#include "colour/HSV.h"
#include "platform/Bitmap.h"
#include "platform/GraphicsLock.h" // every reader of the worker's mask needs it too

#include <QPoint>

#include <cstdint>
#include <memory>
#include <vector>

class TThreadSafeBitmap;

// What a store needs from the thread that reads it: a field naming the store
// whose tile is wanted, and a way to have that tile built on the GUI thread.
class TThreadSafeBitmapOwner {
  public:
    virtual ~TThreadSafeBitmapOwner() = default;
    // Runs PendingStore->BuildPendingTile() on the GUI thread and waits for it.
    virtual void BuildTileSync() = 0;
    TThreadSafeBitmap* PendingStore = nullptr;
};

// One 100 x 100 tile. Entry bits 0..23 hold the colour, bit 24 the visited mark;
// positions beyond the picture hold all bits set (white and visited).
class TThreadSafeBitmapPart {
  public:
    static constexpr int32_t TileSize = 100;
    static constexpr uint32_t VisitedFlag = 0x1000000;

    TThreadSafeBitmapPart(const tw::Bitmap& picture, int32_t height, int32_t width, int32_t top,
                          int32_t left);

    void MarkVisited(int32_t x, int32_t y) { Entry(x, y) |= VisitedFlag; }
    bool IsVisited(int32_t x, int32_t y) const { return (Entry(x, y) & VisitedFlag) != 0; }
    TColorValue ColorAt(int32_t x, int32_t y) const { return Entry(x, y) & 0xFFFFFF; }

    std::vector<uint32_t> Entries;
    int32_t Left;
    int32_t Top;
    int32_t Width;
    int32_t Height;

  private:
    uint32_t& Entry(int32_t x, int32_t y) {
        return Entries[static_cast<size_t>((y - Top) * Width + (x - Left))];
    }
    uint32_t Entry(int32_t x, int32_t y) const {
        return Entries[static_cast<size_t>((y - Top) * Width + (x - Left))];
    }
};

class TThreadSafeBitmap {
  public:
    TThreadSafeBitmap(const tw::Bitmap& picture, TThreadSafeBitmapOwner& owner);

    // The tile holding (x, y), built through the owner when it is missing.
    // Throws std::out_of_range for a position outside the tile grid.
    TThreadSafeBitmapPart& TileAt(int32_t x, int32_t y) {
        const int64_t slot = SlotOf(x, y);
        if (slot >= 0)
            if (TThreadSafeBitmapPart* tile = Tiles[static_cast<size_t>(slot)].get()) return *tile;
        return FetchTile(x, y);
    }

    // The slot of the tile holding (x, y), or -1 when the position lies outside
    // the tile grid: negative, or in a tile column or row past the last. Such a
    // position must not wrap into another tile's slot.
    int64_t SlotOf(int32_t x, int32_t y) const {
        if (x < 0 || y < 0) return -1;
        // Unsigned division by a constant: the cheapest on the walker's hot path.
        constexpr uint32_t size = TThreadSafeBitmapPart::TileSize;
        const uint32_t tc = static_cast<uint32_t>(x) / size, tr = static_cast<uint32_t>(y) / size;
        if (tc >= static_cast<uint32_t>(TilesAcross) || tr >= static_cast<uint32_t>(TilesDown)) return -1;
        return static_cast<int64_t>(tr) * TilesAcross + tc;
    }

    // For positions inside the picture only.
    void MarkVisited(int32_t x, int32_t y) { TileAt(x, y).MarkVisited(x, y); }
    bool IsVisited(int32_t x, int32_t y) { return TileAt(x, y).IsVisited(x, y); }
    TColorValue ColorAt(int32_t x, int32_t y) { return TileAt(x, y).ColorAt(x, y); }
    // Leaves rgb unchanged for any position outside the tile grid.
    void RGBAt(int32_t x, int32_t y, TRGBValues& rgb) noexcept;

    // The slow path of TileAt: has the missing tile built on the GUI thread.
    TThreadSafeBitmapPart& FetchTile(int32_t x, int32_t y);

    // GUI thread only, inside the owner's synchronised call.
    void BuildPendingTile();

    int32_t TilesAcross;
    int32_t TilesDown;
    std::vector<std::unique_ptr<TThreadSafeBitmapPart>> Tiles;
    TThreadSafeBitmapOwner& OwnerThread;
    const tw::Bitmap& Source;
    QPoint PendingPoint;
};
