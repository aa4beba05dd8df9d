// The direct 24-bit bitmap codec against the general one: the same bytes out,
// the same picture in, and everything else left to the general reader.
#include "platform/PlainBmp.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include <random>

namespace {

using tw::Bitmap;

Bitmap Noise(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, rng() & 0xFFFFFF);
    return b;
}

QByteArray GeneralBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "bmp").write(image);
    return bytes;
}

QImage GeneralRead(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "bmp").read().convertToFormat(QImage::Format_RGB32);
}

TEST(PlainBmp, WritesAndReadsAsTheGeneralCodec) {
    for (const int w : {1, 2, 3, 5, 64}) {
        Bitmap picture = Noise(w, 7, static_cast<unsigned>(w));
        picture.Image().setDotsPerMeterX(1234);
        const QByteArray bytes = tw::EncodePlainBmp(picture);
        ASSERT_EQ(bytes, GeneralBytes(picture.Image())) << "width " << w;

        const QImage general = GeneralRead(bytes);
        std::optional<Bitmap> plain = tw::DecodePlainBmp(bytes);
        ASSERT_TRUE(plain);
        EXPECT_EQ(plain->Image(), general);
        EXPECT_EQ(plain->Image().dotsPerMeterX(), general.dotsPerMeterX());
        EXPECT_EQ(plain->Image().dotsPerMeterY(), general.dotsPerMeterY());

        // Rows stored top-down, with a gap before the pixels.
        QByteArray topDown = bytes.left(54) + QByteArray(6, '\x7f');
        const qsizetype stride = (w * 3 + 3) / 4 * 4;
        for (int y = 6; y >= 0; --y)
            topDown += bytes.mid(54 + y * stride, stride);
        const int negative = -7;
        std::memcpy(topDown.data() + 22, &negative, 4);
        topDown[10] = 60;
        plain = tw::DecodePlainBmp(topDown);
        ASSERT_TRUE(plain);
        EXPECT_EQ(plain->Image(), GeneralRead(topDown)) << "width " << w;
    }
}

TEST(PlainBmp, LeavesOtherKindsToTheGeneralReader) {
    const QByteArray bytes = tw::EncodePlainBmp(Noise(4, 3, 9));
    EXPECT_FALSE(tw::DecodePlainBmp(bytes.left(bytes.size() - 1))) << "cut short";
    QByteArray other = bytes;
    other[28] = 32; // bits per pixel
    EXPECT_FALSE(tw::DecodePlainBmp(other));
    other = bytes;
    other[30] = 1; // run-length coded
    EXPECT_FALSE(tw::DecodePlainBmp(other));
    other = bytes;
    other[46] = 2; // a palette
    EXPECT_FALSE(tw::DecodePlainBmp(other));
}

} // namespace
