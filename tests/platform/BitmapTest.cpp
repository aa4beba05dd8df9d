#include "platform/Bitmap.h"

#include <gtest/gtest.h>

namespace {

using tw::Bitmap;

TEST(Bitmap, PixelsOutsideReadAllBitsSetAndIgnoreWrites) {
    Bitmap b(3, 2);
    EXPECT_EQ(b.Pixel(0, 0), tw::kWhite) << "a new bitmap is white";
    b.SetPixel(2, 1, 0x123456);
    EXPECT_EQ(b.Pixel(2, 1), 0x123456u);
    for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, 2}, {0, -1}}) {
        b.SetPixel(x, y, 0);
        EXPECT_EQ(b.Pixel(x, y), tw::kOutside);
    }
    EXPECT_EQ(Bitmap().Pixel(0, 0), tw::kOutside);
    // Colour values keep red in the low byte through the Qt image.
    b.SetPixel(0, 0, 0x0000FF);
    EXPECT_EQ(QColor(b.Image().pixel(0, 0)), QColor(255, 0, 0));
}

TEST(Bitmap, ResizeKeepsTopLeftAndCopyClips) {
    Bitmap b(4, 4, 0x010203);
    b.SetPixel(3, 3, 0x0A0B0C);
    b.SetSize(6, 2);
    EXPECT_EQ(b.Width(), 6);
    EXPECT_EQ(b.Pixel(3, 1), 0x010203u);
    EXPECT_EQ(b.Pixel(5, 0), tw::kWhite);

    Bitmap src(3, 3);
    for (int i = 0; i < 9; ++i)
        src.SetPixel(i % 3, i / 3, static_cast<tw::ColorValue>(i));
    Bitmap dst(3, 3);
    dst.CopyRect(-1, 1, src, QRect(0, 0, 3, 3));
    EXPECT_EQ(dst.Pixel(0, 1), 1u);
    EXPECT_EQ(dst.Pixel(1, 2), 5u);
    EXPECT_EQ(dst.Pixel(2, 2), tw::kWhite);
    // Overlapping copy within one bitmap moves rows without smearing.
    src.CopyRect(0, 1, src, QRect(0, 0, 3, 2));
    EXPECT_EQ(src.Pixel(0, 1), 0u);
    EXPECT_EQ(src.Pixel(2, 2), 5u);
}

TEST(Bitmap, PlainStretchRepeatsPixelsAndHalftoneAverages) {
    Bitmap src(2, 1);
    src.SetPixel(0, 0, 0);
    src.SetPixel(1, 0, 0xFFFFFF);
    Bitmap big(4, 2);
    big.StretchPlain(big.Rect(), src, src.Rect());
    EXPECT_EQ(big.Pixel(1, 1), 0u);
    EXPECT_EQ(big.Pixel(2, 0), tw::kWhite);

    Bitmap checker(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            checker.SetPixel(x, y, (x + y) % 2 ? 0xFFFFFF : 0);
    Bitmap small(2, 2, 0x00FF00);
    small.StretchHalftone(small.Rect(), checker, checker.Rect());
    const tw::ColorValue c = small.Pixel(0, 0);
    EXPECT_NEAR(static_cast<int>(c & 0xFF), 128, 2) << "area average of black and white is grey";
    Bitmap nearest(2, 2);
    nearest.StretchPlain(nearest.Rect(), checker, checker.Rect());
    EXPECT_TRUE(nearest.Pixel(0, 0) == 0 || nearest.Pixel(0, 0) == 0xFFFFFF) << "plain stretch never blends";
}

TEST(Bitmap, TransparentDrawSkipsWhite) {
    Bitmap base(3, 1, 0x111111);
    Bitmap over(3, 1);
    over.SetPixel(1, 0, 0x222222);
    base.DrawTransparent(0, 0, over);
    EXPECT_EQ(base.Pixel(0, 0), 0x111111u);
    EXPECT_EQ(base.Pixel(1, 0), 0x222222u);
    base.DrawTransparent(-1, 0, over); // clipped at the left edge
    EXPECT_EQ(base.Pixel(0, 0), 0x222222u);
}

TEST(Bitmap, TransparentQImageIsDrawnOverWhite) {
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(0, 0, 0, 0));
    image.setPixel(1, 0, qRgba(0, 0, 255, 255));
    const Bitmap b(image);
    EXPECT_EQ(b.Pixel(0, 0), tw::kWhite);
    EXPECT_EQ(b.Pixel(1, 0), 0xFF0000u);
}

} // namespace
