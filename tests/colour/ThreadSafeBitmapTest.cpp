#include "colour/ThreadSafeBitmap.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

using tw::Bitmap;

// Builds tiles at once on the calling thread and counts the requests.
class DirectOwner : public TThreadSafeBitmapOwner {
  public:
    void BuildTileSync() override {
        ++builds;
        PendingStore->BuildPendingTile();
    }
    int builds = 0;
};

Bitmap Numbered(int w, int h) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, static_cast<tw::ColorValue>(x + 1000 * y));
    return b;
}

TEST(ThreadSafeBitmap, TileGeometry) {
    DirectOwner owner;
    const Bitmap empty;
    const TThreadSafeBitmap none(empty, owner);
    EXPECT_EQ(none.Tiles.size(), 2u) << "one slot plus the spare";

    const Bitmap square = Numbered(100, 100);
    TThreadSafeBitmap store(square, owner);
    EXPECT_EQ(store.TilesAcross, 2);
    EXPECT_EQ(store.TilesDown, 2);
    const TThreadSafeBitmapPart* first = &store.TileAt(99, 99);
    EXPECT_EQ(first, store.Tiles[0].get());
    EXPECT_EQ(store.ColorAt(99, 99), 99u + 99000u);
    // Tile (1, 0) lies wholly beyond the picture: white and already visited.
    const TThreadSafeBitmapPart* beyond = &store.TileAt(100, 0);
    EXPECT_EQ(beyond, store.Tiles[1].get());
    EXPECT_EQ(store.ColorAt(100, 0), tw::kWhite);
    EXPECT_TRUE(store.IsVisited(100, 0));
    EXPECT_EQ(owner.builds, 2);
}

TEST(ThreadSafeBitmap, BuildsOnlyTheTileTouched) {
    DirectOwner owner;
    const Bitmap picture = Numbered(300, 300);
    TThreadSafeBitmap store(picture, owner);
    EXPECT_EQ(store.ColorAt(150, 250), 150u + 250000u);
    EXPECT_EQ(owner.builds, 1);
    int present = 0;
    for (const auto& t : store.Tiles)
        present += t != nullptr;
    EXPECT_EQ(present, 1);
    const TThreadSafeBitmapPart& tile = *store.Tiles[1 + 2 * store.TilesAcross];
    EXPECT_EQ(tile.Left, 100);
    EXPECT_EQ(tile.Top, 200);
    EXPECT_EQ(tile.Entries.front(), 100u + 200000u);
    EXPECT_EQ(tile.Entries.back(), 199u + 299000u);
    store.ColorAt(199, 201);
    EXPECT_EQ(owner.builds, 1) << "a present tile is read without a hand-over";
}

TEST(ThreadSafeBitmap, RgbReadsAndVisitedMarks) {
    DirectOwner owner;
    const Bitmap picture = Numbered(150, 120);
    TThreadSafeBitmap store(picture, owner);
    TRGBValues rgb{1, 2, 3};
    store.RGBAt(-1, 5, rgb);
    EXPECT_EQ(rgb, (TRGBValues{1, 2, 3}));
    store.RGBAt(5, -1, rgb);
    EXPECT_EQ(rgb, (TRGBValues{1, 2, 3}));
    store.RGBAt(150, 7, rgb);
    EXPECT_EQ(rgb, (TRGBValues{255, 255, 255})) << "beyond the right edge, inside the last tile column";
    store.RGBAt(5000, 5000, rgb = {1, 2, 3});
    EXPECT_EQ(rgb, (TRGBValues{1, 2, 3})) << "outside the tile list";

    for (int y = 0; y < 100; ++y)
        for (int x = 100; x < 150; ++x)
            ASSERT_FALSE(store.IsVisited(x, y));
    const TColorValue before = store.ColorAt(120, 30);
    store.MarkVisited(120, 30);
    EXPECT_TRUE(store.IsVisited(120, 30));
    EXPECT_EQ(store.ColorAt(120, 30), before);
    store.RGBAt(120, 30, rgb);
    EXPECT_EQ(RGBValuesToColor(rgb), before);
}

// A 150 x 150 picture has 2 x 2 tiles: column 2 or row 2 would wrap into the
// slot of another tile, whose later reads would then run off that tile.
TEST(ThreadSafeBitmap, PositionsPastTheTileGridAreOutside) {
    DirectOwner owner;
    const Bitmap picture = Numbered(150, 150);
    TThreadSafeBitmap store(picture, owner);
    for (const QPoint p : {QPoint(250, 50), QPoint(50, 250), QPoint(250, 250), QPoint(-50, 50)}) {
        TRGBValues rgb{1, 2, 3};
        store.RGBAt(p.x(), p.y(), rgb);
        EXPECT_EQ(rgb, (TRGBValues{1, 2, 3})) << p.x() << "," << p.y();
        EXPECT_THROW(store.TileAt(p.x(), p.y()), std::out_of_range) << p.x() << "," << p.y();
    }
    EXPECT_EQ(owner.builds, 0);
    EXPECT_EQ(store.ColorAt(50, 149), 50u + 149000u);
    EXPECT_EQ(store.ColorAt(149, 149), 149u + 149000u);
    EXPECT_EQ(store.Tiles[2]->Left, 0);
    EXPECT_EQ(store.Tiles[2]->Top, 100);
}

TEST(GraphicsLock, IsReentrantAndExcludesOtherThreads) {
    TGraphicsLockGuard outer;
    {
        TGraphicsLockGuard inner; // the same thread may take it again
        bool other = true;
        std::thread t([&] {
            other = GraphicsLock().try_lock();
            if (other) GraphicsLock().unlock();
        });
        t.join();
        EXPECT_FALSE(other);
    }
}

} // namespace
