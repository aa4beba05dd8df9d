#include "colour/ThreadSafeBitmap.h"
#include "platform/ZoomedPainter.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using tw::Bitmap;
constexpr tw::ColorValue kMarker = 0x00FF00;

bool LockIsFree() {
    bool free = false;
    std::thread t([&] {
        free = GraphicsLock().try_lock();
        if (free) GraphicsLock().unlock();
    });
    t.join();
    return free;
}

QRect PaintedArea(const Bitmap& b) {
    QRect r;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (b.Pixel(x, y) != kMarker) r |= QRect(x, y, 1, 1);
    return r;
}

TEST(PaintZoomed, NothingToPaint) {
    Bitmap target(50, 50, kMarker);
    tw::Canvas canvas(target);
    tw::PaintZoomed({}, {}, 4, canvas);
    tw::PaintZoomed({}, {nullptr}, 4, canvas);
    EXPECT_TRUE(PaintedArea(target).isEmpty());
    EXPECT_TRUE(LockIsFree());
}

TEST(PaintZoomed, WholePictureWithoutScrollBars) {
    const Bitmap picture(100, 50, 0x404040);
    Bitmap target(260, 160, kMarker);
    tw::Canvas canvas(target);
    tw::PaintZoomed({}, {&picture}, 6, canvas); // factor 2
    EXPECT_EQ(PaintedArea(target), QRect(0, 0, 200, 100));
    EXPECT_TRUE(LockIsFree());
}

TEST(PaintZoomed, OnlyTheVisibleWindowWithOverlays) {
    Bitmap picture(500, 50);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 500; ++x)
            picture.SetPixel(x, y, static_cast<tw::ColorValue>(x / 2));
    Bitmap first(500, 50), second(500, 50);
    first.SetPixel(160, 10, 0x0000FF);
    first.SetPixel(170, 10, 0x0000FF);
    second.SetPixel(170, 10, 0xFF0000); // drawn later, so it wins
    second.SetPixel(100, 10, 0xFF0000); // left of the window: not painted

    // Horizontal bar at 300 in a box 400 wide, factor 2: picture columns 150..350
    // land on canvas columns 300..700. The buffer covers logical x 280..779.
    Bitmap buffer(500, 120, kMarker);
    tw::Canvas canvas(buffer, QPoint(280, 0));
    tw::ScrollBoxState box;
    box.HorzVisible = true;
    box.HorzPosition = 300;
    box.Width = 400;
    box.Height = 100;
    tw::PaintZoomed(box, {&picture, &first, &second}, 6, canvas);
    EXPECT_EQ(PaintedArea(buffer).translated(280, 0), QRect(300, 0, 400, 100));
    EXPECT_NEAR(static_cast<int>(canvas.Pixel(300, 50) & 0xFF), 75, 1) << "picture column 150";
    EXPECT_NEAR(static_cast<int>(canvas.Pixel(699, 50) & 0xFF), 174, 1) << "picture column 349";
    for (int dy : {20, 21})
        for (int dx : {320, 321})
            EXPECT_EQ(canvas.Pixel(dx, dy), 0x0000FFu);
    EXPECT_EQ(canvas.Pixel(340, 20), 0xFF0000u);
    EXPECT_EQ(canvas.Pixel(322, 20) & 0xFF00FF, canvas.Pixel(322, 20)) << "neighbours show the picture";
    EXPECT_TRUE(LockIsFree());
}

TEST(PaintZoomed, ReducedAndMagnified) {
    const Bitmap picture(800, 600, 0x102030);
    Bitmap overlay(800, 600);
    overlay.FillRect(QRect(400, 300, 40, 20), 0x0000FF);
    for (uint8_t zoom : {0, 4, 9}) {
        Bitmap buffer(1000, 700, kMarker);
        const double z = tw::ZoomFactor(zoom);
        tw::ScrollBoxState box{z * 800 > 1000, 0, z * 600 > 700, 0, 1000, 700};
        if (zoom == 9) box.HorzPosition = 4000, box.VertPosition = 3000;
        tw::Canvas canvas(buffer, QPoint(box.HorzPosition, box.VertPosition));
        tw::PaintZoomed(box, {&picture, &overlay}, zoom, canvas);
        const QPoint at(static_cast<int>(410 * z), static_cast<int>(305 * z));
        EXPECT_EQ(canvas.Pixel(at.x(), at.y()), 0x0000FFu) << int(zoom);
        const QRect expected = zoom == 0
                                   ? QRect(0, 0, 40, 30)
                                   : QRect(box.HorzPosition, box.VertPosition, std::min(1000, 800), 600);
        if (zoom != 9)
            EXPECT_EQ(PaintedArea(buffer).translated(canvas.Origin), expected) << int(zoom);
        else
            EXPECT_EQ(PaintedArea(buffer), buffer.Rect());
    }
}

} // namespace
