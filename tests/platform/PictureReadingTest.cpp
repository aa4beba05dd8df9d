#include "platform/PictureChecks.h"
#include "platform/PictureFile.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <random>
#include <span>
#include <vector>

#include <zlib.h>

namespace {

using tw::Bitmap;
using tw::ColorValue;
using twtest::TempDir;

Bitmap Gradient(QSize size) {
    Bitmap b(size.width(), size.height());
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            b.SetPixel(x, y,
                       static_cast<ColorValue>(x * 255 / size.width() + 256 * (y * 255 / size.height())));
    return b;
}

// The largest difference of one channel between two colours.
int ChannelDiff(ColorValue a, ColorValue b) {
    int most = 0;
    for (int shift : {0, 8, 16})
        most = std::max(
            most, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return most;
}

// The DCT may decode a JPEG at 1/2, 1/4 or 1/8 of its size, but the working size
// still follows from the size of the file.
TEST(PictureFile, JpegsOpenAtTheWorkingSizeOfTheirFile) {
    TempDir dir;
    const std::string path = dir.Path("photo.jpg");
    const std::pair<QSize, QSize> cases[] = {
        {{1600, 1600}, {800, 800}},  {{1600, 2400}, {800, 1200}}, {{1600, 1700}, {800, 850}},
        {{3001, 4001}, {800, 1067}}, {{2000, 1500}, {800, 600}},  {{1700, 900}, {800, 424}},
        {{1000, 750}, {800, 600}},   {{640, 480}, {640, 480}},
    };
    for (const auto& [size, working] : cases) {
        ASSERT_EQ(tw::WorkingSize(size), working);
        ASSERT_TRUE(tw::SavePicture(Gradient(size), path));
        const Bitmap opened = tw::LoadWorkingPicture(path);
        ASSERT_EQ(opened.Rect().size(), working) << size.width() << " x " << size.height();
        // The whole picture, reduced: as a full decode reduced, give or take the JPEG losses.
        const Bitmap reference = tw::ReduceToWorkingSize(tw::LoadPicture(path));
        for (const QPoint p : {QPoint(0, 0), QPoint(working.width() / 2, working.height() / 3),
                               QPoint(working.width() - 1, working.height() - 1)})
            EXPECT_LE(ChannelDiff(opened.Pixel(p.x(), p.y()), reference.Pixel(p.x(), p.y())), 3);
    }
}

ColorValue PaletteColour(int i) {
    return static_cast<ColorValue>((i * 7 & 0xFF) | (255 - i) << 8 | (i * 13 & 0xFF) << 16);
}

// A 40 x 30 BMP with a 256-colour palette and the given pixel codes (RLE8, RLE4 or none).
QByteArray Bmp8(int compression, const QByteArray& pixels, bool topDown = false) {
    QByteArray b(54, '\0');
    const auto put32 = [&b](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<char>(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put32(14, 40), put32(18, 40), put32(22, topDown ? -30 : 30);
    b[26] = 1, b[28] = static_cast<char>(compression == 2 ? 4 : 8), b[30] = static_cast<char>(compression);
    put32(46, compression == 2 ? 16 : 256);
    for (int i = 0; i < (compression == 2 ? 16 : 256); ++i) {
        const ColorValue c = PaletteColour(i);
        b += static_cast<char>(c >> 16), b += static_cast<char>(c >> 8), b += static_cast<char>(c), b += '\0';
    }
    put32(10, static_cast<uint32_t>(b.size()));
    return b + pixels;
}

Bitmap Decoded(const QByteArray& bmp) {
    return tw::DecodePicture(bmp, "coded.bmp");
}

// Pixels the codes skip take the first palette entry, never what memory held; codes
// that stop before their end are refused.
TEST(PictureFile, RunLengthBmpsSetEveryPixelAndMustBeWhole) {
    const QByteArray stale = Bmp8(0, QByteArray(40 * 30, '\x4d')); // as from a previous picture
    const QByteArray end("\0\1", 2), rowEnd("\0\0", 2);
    Bitmap expected(40, 30, PaletteColour(0));
    expected.FillRect(QRect(0, 29, 10, 1), PaletteColour(5)); // rows count from the bottom
    expected.FillRect(QRect(15, 27, 4, 1), PaletteColour(9));
    // 10 pixels, a jump 5 right and 2 up, 4 pixels; RLE4 runs alternate two values.
    const QByteArray jumps = QByteArray("\x0a\x05\0\x02\x05\x02\x04\x09", 8) + end;
    const QByteArray jumps4 = QByteArray("\x0a\x35\0\x02\x05\x02\x04\x9a", 8) + end;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Decoded(stale).Pixel(0, 0), PaletteColour(0x4d));
        EXPECT_EQ(Decoded(Bmp8(1, end)), Bitmap(40, 30, PaletteColour(0)));
        EXPECT_EQ(Decoded(Bmp8(1, jumps)), expected);
        Bitmap topDown(40, 30, PaletteColour(0));
        topDown.FillRect(QRect(0, 0, 10, 1), PaletteColour(5));
        topDown.FillRect(QRect(15, 2, 4, 1), PaletteColour(9));
        EXPECT_EQ(Decoded(Bmp8(1, jumps, true)), topDown);
        const Bitmap four = Decoded(Bmp8(2, jumps4));
        EXPECT_EQ(four.Pixel(8, 29), PaletteColour(3));
        EXPECT_EQ(four.Pixel(18, 27), PaletteColour(10));
        for (const QPoint p : {QPoint(10, 29), QPoint(19, 27), QPoint(0, 0), QPoint(39, 28)})
            EXPECT_EQ(four.Pixel(p.x(), p.y()), PaletteColour(0)) << p.x() << ", " << p.y();
    }
    QByteArray rows; // every row in full, the last one ended by its row end
    for (int y = 0; y < 30; ++y)
        rows += QByteArray("\x28") + static_cast<char>(y + 1) + rowEnd;
    EXPECT_EQ(Decoded(Bmp8(1, rows)).Pixel(39, 0), PaletteColour(30));

    for (const QByteArray& cut :
         {rows.left(rows.size() - 2), rows.left(7), QByteArray("\x0a\x05\0\x02\x05", 5),
          QByteArray("\x0a\x05\0\x09\x01\x02\x03\x04", 8), QByteArray()}) {
        try {
            Decoded(Bmp8(1, cut));
            ADD_FAILURE() << "a cut-off stream of " << cut.size() << " bytes was taken";
        } catch (const tw::PictureError& e) {
            EXPECT_NE(std::string(e.what()).find("coded.bmp: the file is truncated"), std::string::npos)
                << e.what();
        }
    }
}

QByteArray PngOf(const Bitmap& picture) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.Image().convertToFormat(QImage::Format_RGB888).save(&buffer, "PNG");
    return png;
}

// An icon whose entries all point at the same image.
QByteArray IconOf(const QByteArray& png, int entries) {
    QByteArray ico(6 + 16 * entries, '\0');
    ico[2] = 1, ico[4] = static_cast<char>(entries), ico[5] = static_cast<char>(entries >> 8);
    for (int e = 0; e < entries; ++e) {
        const int at = 6 + 16 * e;
        ico[at] = ico[at + 1] = 16, ico[at + 4] = 1, ico[at + 6] = 32;
        for (int i = 0; i < 4; ++i) {
            ico[at + 8 + i] = static_cast<char>(png.size() >> (8 * i));
            ico[at + 12 + i] = static_cast<char>((6 + 16 * entries) >> (8 * i));
        }
    }
    return ico + png;
}

TEST(PictureFile, IconImagesAreCheckedOnceHoweverManyEntriesShareThem) {
    const Bitmap picture = Gradient({16, 16});
    const QByteArray one = IconOf(PngOf(picture), 1), many = IconOf(PngOf(picture), 4000);
    EXPECT_GT(tw::CheckIconPngs(one), 2);
    EXPECT_EQ(tw::CheckIconPngs(many), tw::CheckIconPngs(one));
    EXPECT_EQ(tw::DecodePicture(many, "many.ico"), picture);
}

// A PNG of the given kind whose image data are random rows followed, in the same
// stream, by `surplus` bytes of zeros; then the stream is cut short of its checksum.
// Returns the filtered rows' size in `rowBytes`.
QByteArray PngWithSurplus(int width, int height, int depth, int colourType, bool interlaced, size_t surplus,
                          size_t& rowBytes) {
    const int bits = depth * (colourType == 2 ? 3 : colourType == 6 ? 4 : 1);
    // First column and row, column and row step of each pass.
    static constexpr int kAdam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                         {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    static constexpr int kWhole[1][4] = {{0, 0, 1, 1}};
    std::mt19937 random(width * height);
    std::vector<unsigned char> rows;
    for (const auto& p : interlaced ? std::span<const int[4]>(kAdam7) : std::span<const int[4]>(kWhole)) {
        const int w = (width - p[0] + p[2] - 1) / p[2], h = (height - p[1] + p[3] - 1) / p[3];
        for (int y = 0; w > 0 && y < h; ++y) {
            rows.push_back(0); // no filter
            for (int i = 0; i < (w * bits + 7) / 8; ++i)
                rows.push_back(static_cast<unsigned char>(random()));
        }
    }
    rowBytes = rows.size();
    rows.resize(rows.size() + surplus);
    std::vector<unsigned char> packed(compressBound(static_cast<uLong>(rows.size())));
    uLongf packedSize = packed.size();
    compress2(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size()), 9);
    if (surplus > 0) packedSize -= 4;
    const auto chunk = [](const char* type, const QByteArray& data) {
        QByteArray c(4, '\0');
        for (int i = 0; i < 4; ++i)
            c[i] = static_cast<char>(data.size() >> (24 - 8 * i));
        c += QByteArray(type, 4) + data;
        const uLong crc =
            crc32(0, reinterpret_cast<const Bytef*>(c.constData() + 4), static_cast<uInt>(data.size() + 4));
        for (int i = 0; i < 4; ++i)
            c += static_cast<char>(crc >> (24 - 8 * i));
        return c;
    };
    QByteArray header(13, '\0');
    header[2] = static_cast<char>(width >> 8), header[3] = static_cast<char>(width);
    header[6] = static_cast<char>(height >> 8), header[7] = static_cast<char>(height);
    header[8] = static_cast<char>(depth), header[9] = static_cast<char>(colourType);
    header[12] = interlaced ? 1 : 0;
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header);
    for (uLongf at = 0; at < packedSize; at += 100000)
        png += chunk("IDAT", QByteArray(reinterpret_cast<const char*>(packed.data()) + at,
                                        static_cast<qsizetype>(std::min<uLongf>(100000, packedSize - at))));
    return png + chunk("IEND", {});
}

// Bytes that the image data of a PNG stream inflate to.
size_t InflatedImageData(const QByteArray& png) {
    z_stream z{};
    inflateInit(&z);
    std::vector<unsigned char> out(1 << 16);
    size_t total = 0;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const auto length = static_cast<qsizetype>(tw::Be32(png, at));
        if (png.mid(at + 4, 4) == "IDAT") {
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(png.constData() + at + 8));
            z.avail_in = static_cast<uInt>(length);
            int result = Z_OK;
            while (result == Z_OK && (z.avail_in > 0 || z.avail_out == 0)) {
                z.next_out = out.data();
                z.avail_out = static_cast<uInt>(out.size());
                result = inflate(&z, Z_NO_FLUSH);
                total += out.size() - z.avail_out;
            }
        }
        at += 12 + length;
    }
    inflateEnd(&z);
    return total;
}

// The reader inflates image data to the end of their stream: what follows the
// rows must go before it sees them, and the rows decode as they would alone,
// whatever follows them.
TEST(PictureFile, PngImageDataEndWithThePicture) {
    struct Kind {
        int width, height, depth, colourType;
        bool interlaced;
    };
    for (const Kind k : {Kind{64, 64, 8, 2, false}, Kind{13, 11, 1, 0, false}, Kind{37, 21, 8, 2, true},
                         Kind{5, 3, 16, 6, true}, Kind{1, 1, 4, 0, true}}) {
        size_t rowBytes = 0;
        const QByteArray healthy =
            PngWithSurplus(k.width, k.height, k.depth, k.colourType, k.interlaced, 0, rowBytes);
        const QByteArray hostile =
            PngWithSurplus(k.width, k.height, k.depth, k.colourType, k.interlaced, 16 << 20, rowBytes);
        EXPECT_EQ(tw::WithoutSurplusImageData(healthy), healthy) << "healthy files stay as they are";
        const QByteArray bounded = tw::WithoutSurplusImageData(hostile);
        EXPECT_EQ(InflatedImageData(bounded), rowBytes) << k.width << " x " << k.height;
        const Bitmap expected = tw::DecodePicture(healthy, "healthy.png");
        EXPECT_EQ(tw::DecodePicture(hostile, "hostile.png"), expected);
        EXPECT_EQ(tw::DecodePicture(IconOf(hostile, 1), "hostile.ico"), expected) << "icons hold PNGs too";
    }
}

} // namespace
