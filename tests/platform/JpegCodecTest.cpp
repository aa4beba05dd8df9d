#include "platform/JpegCodec.h"
#include "platform/PictureError.h"
#include "platform/PictureFile.h"

#include "support/TestFiles.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include <jpeglib.h>

using tw::Bitmap;
using tw::ColorValue;
using tw::DecodeJpeg;
using tw::EncodeJpeg;
using tw::PictureError;

namespace {

int Red(ColorValue c) {
    return static_cast<int>(c & 0xFF);
}
int Green(ColorValue c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
int Blue(ColorValue c) {
    return static_cast<int>((c >> 16) & 0xFF);
}
ColorValue Rgb(int r, int g, int b) {
    return static_cast<ColorValue>(r | g << 8 | b << 16);
}

int MaxChannelDiff(ColorValue a, ColorValue b) {
    return std::max({std::abs(Red(a) - Red(b)), std::abs(Green(a) - Green(b)), std::abs(Blue(a) - Blue(b))});
}

// Smooth gradients in all three channels, so JPEG's losses stay small but every channel varies.
Bitmap Colourful(int width, int height, bool grey = false) {
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int r = x * 255 / std::max(1, width - 1);
            const int g = y * 255 / std::max(1, height - 1);
            const int t = (x + 2 * y) % 512;
            const int blue = t < 256 ? t : 511 - t;
            b.SetPixel(x, y, grey ? Rgb(r, r, r) : Rgb(r, g, blue));
        }
    return b;
}

// The worst of the three channels' mean absolute differences.
double MeanAbsError(const Bitmap& a, const Bitmap& b) {
    long long sum[3] = {};
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const ColorValue p = a.Pixel(x, y), q = b.Pixel(x, y);
            sum[0] += std::abs(Red(p) - Red(q));
            sum[1] += std::abs(Green(p) - Green(q));
            sum[2] += std::abs(Blue(p) - Blue(q));
        }
    return static_cast<double>(*std::max_element(sum, sum + 3)) / (a.Width() * a.Height());
}

QByteArray PngBytes(const Bitmap& b) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    b.Image().save(&buffer, "PNG");
    return bytes;
}

// Offset of the frame header (SOFn) marker, or -1.
int FrameHeaderOffset(const QByteArray& jpeg) {
    int i = 2;
    while (i + 4 <= jpeg.size() && static_cast<uint8_t>(jpeg[i]) == 0xFF) {
        const int marker = static_cast<uint8_t>(jpeg[i + 1]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) return i;
        i += 2 + (static_cast<uint8_t>(jpeg[i + 2]) << 8 | static_cast<uint8_t>(jpeg[i + 3]));
    }
    return -1;
}

QByteArray WithFrameSize(QByteArray jpeg, int width, int height) {
    const int sof = FrameHeaderOffset(jpeg);
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width);
    return jpeg;
}

// A TIFF structure whose first IFD holds one orientation entry.
QByteArray ExifTiff(int orientation, bool bigEndian) {
    auto u16 = [bigEndian](int v) {
        const char hi = static_cast<char>(v >> 8), lo = static_cast<char>(v);
        return bigEndian ? QByteArray{} + hi + lo : QByteArray{} + lo + hi;
    };
    auto u32 = [&](int v) { return bigEndian ? u16(v >> 16) + u16(v) : u16(v) + u16(v >> 16); };
    return QByteArray(bigEndian ? "MM" : "II") + u16(42) + u32(8) + u16(1) + u16(0x0112) + u16(3) + u32(1) +
           u16(orientation) + u16(0) + u32(0);
}

// Puts an APP1 EXIF segment holding tiff right after SOI.
QByteArray WithExif(const QByteArray& jpeg, const QByteArray& tiff) {
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const int length = static_cast<int>(payload.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment += static_cast<char>(length >> 8);
    segment += static_cast<char>(length);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

// A uniform CMYK JPEG made directly with libjpeg; samples are written as given.
QByteArray UniformCmykJpeg(int c, int m, int y, int k, bool adobeMarker) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = 16;
    cinfo.image_height = 16;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row;
    for (int x = 0; x < 16; ++x)
        row.insert(row.end(), {JSAMPLE(c), JSAMPLE(m), JSAMPLE(y), JSAMPLE(k)});
    for (int line = 0; line < 16; ++line) {
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    std::free(out);
    return bytes;
}

// Quadrants red, green / blue, yellow: every orientation moves them somewhere recognisable.
Bitmap Quadrants() {
    Bitmap b(40, 20);
    b.FillRect(QRect(0, 0, 20, 10), Rgb(255, 0, 0));
    b.FillRect(QRect(20, 0, 20, 10), Rgb(0, 255, 0));
    b.FillRect(QRect(0, 10, 20, 10), Rgb(0, 0, 255));
    b.FillRect(QRect(20, 10, 20, 10), Rgb(255, 255, 0));
    return b;
}

std::string ReadError(const QByteArray& bytes, const std::string& fileName) {
    try {
        DecodeJpeg(bytes, fileName);
    } catch (const PictureError& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(JpegCodec, RoundTripKeepsPicturesClose) {
    const Bitmap original = Colourful(320, 240);
    const QByteArray best = EncodeJpeg(original, "a.jpg");
    const Bitmap decoded = DecodeJpeg(best, "a.jpg");
    ASSERT_EQ(decoded.Width(), 320);
    ASSERT_EQ(decoded.Height(), 240);
    EXPECT_LT(MeanAbsError(original, decoded), 3.0);

    // Baseline, colour, and the quality really is applied.
    const int sof = FrameHeaderOffset(best);
    ASSERT_GE(sof, 0);
    EXPECT_EQ(static_cast<uint8_t>(best[sof + 1]), 0xC0);
    EXPECT_EQ(best[sof + 9], 3);
    EXPECT_LT(EncodeJpeg(original, "a.jpg", 50).size(), best.size() / 2);

    for (ColorValue c : {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(200, 60, 30), Rgb(12, 250, 128)}) {
        const Bitmap back = DecodeJpeg(EncodeJpeg(Bitmap(24, 17, c), "u.jpg"), "u.jpg");
        for (int y = 0; y < back.Height(); ++y)
            for (int x = 0; x < back.Width(); ++x)
                ASSERT_LE(MaxChannelDiff(back.Pixel(x, y), c), 2) << std::hex << c << " at " << x << "," << y;
    }
}

TEST(JpegCodec, ImageMagickAgreesWithUs) {
    if (!twtest::HaveProgram("identify") || !twtest::HaveProgram("convert"))
        GTEST_SKIP() << "ImageMagick (identify, convert) is not installed";
    twtest::TempDir dir;
    const Bitmap original = Colourful(96, 64);
    twtest::WriteAll(dir.Path("ours.jpg"), EncodeJpeg(original, "ours.jpg"));
    QByteArray out;
    ASSERT_EQ(twtest::RunProgram(
                  "identify",
                  {"-format", "%w %h %Q %[interlace]", QString::fromStdString(dir.Path("ours.jpg"))}, &out),
              0);
    EXPECT_EQ(out.trimmed().toStdString(), "96 64 100 None");

    twtest::WriteAll(dir.Path("colour.png"), PngBytes(original));
    twtest::WriteAll(dir.Path("grey.png"), PngBytes(Colourful(96, 64, true)));
    struct Case {
        const char* file;
        QStringList args;
        int frameMarker, components;
        bool grey;
    };
    const Case cases[] = {
        {"progressive.jpg", {"colour.png", "-interlace", "JPEG"}, 0xC2, 3, false},
        {"grey.jpg", {"grey.png", "-colorspace", "Gray"}, 0xC0, 1, true},
        {"cmyk.jpg", {"colour.png", "-colorspace", "CMYK"}, 0xC0, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        QStringList args = c.args;
        args[0] = QString::fromStdString(dir.Path(args[0].toStdString()));
        args << "-quality"
             << "100" << QString::fromStdString(dir.Path(c.file));
        ASSERT_EQ(twtest::RunProgram("convert", args), 0);
        const QByteArray bytes = twtest::ReadAll(dir.Path(c.file));
        const int sof = FrameHeaderOffset(bytes);
        ASSERT_GE(sof, 0);
        EXPECT_EQ(static_cast<uint8_t>(bytes[sof + 1]), c.frameMarker);
        EXPECT_EQ(bytes[sof + 9], c.components);
        const Bitmap decoded = DecodeJpeg(bytes, c.file);
        ASSERT_EQ(decoded.Width(), 96);
        ASSERT_EQ(decoded.Height(), 64);
        EXPECT_LT(MeanAbsError(c.grey ? Colourful(96, 64, true) : original, decoded), 3.0);
    }
}

TEST(JpegCodec, CmykIsReadWithAndWithoutAdobeInversion) {
    // Plain CMYK stores ink amounts; Adobe's stores 255 minus them. Both mean the same orange.
    const ColorValue orange = Rgb(200, 100, 50);
    for (bool adobe : {false, true}) {
        const QByteArray bytes =
            adobe ? UniformCmykJpeg(200, 100, 50, 255, true) : UniformCmykJpeg(55, 155, 205, 0, false);
        const Bitmap decoded = DecodeJpeg(bytes, "cmyk.jpg");
        EXPECT_LE(MaxChannelDiff(decoded.Pixel(5, 5), orange), 2) << "adobe " << adobe;
    }
    // Black ink alone halves every channel.
    const Bitmap grey = DecodeJpeg(UniformCmykJpeg(0, 0, 0, 128, false), "k.jpg");
    EXPECT_LE(MaxChannelDiff(grey.Pixel(0, 0), Rgb(127, 127, 127)), 2);
}

TEST(JpegCodec, BadFilesAreRefusedWithTheirName) {
    const QByteArray good = EncodeJpeg(Colourful(64, 48), "good.jpg");
    std::mt19937 random(7);
    QByteArray noise(4096, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    noise[0] = 'x';
    struct Case {
        QByteArray bytes;
        std::string reason;
    };
    const Case cases[] = {
        {QByteArray(), "the file is empty"},
        {noise, "not a JPEG file"},
        {PngBytes(Colourful(8, 8)), "not a JPEG file"},
        {good.left(good.size() / 2), "the file is truncated or corrupt"},
        {good.left(good.size() - 1), "the file is truncated or corrupt"},
        {WithFrameSize(good, 65535, 65535), "the picture is too large (65535 x 65535)"},
        {WithFrameSize(good, 20000, 20000), "the picture is too large (20000 x 20000)"},
        {WithFrameSize(good, 1500, 1500), "the file is truncated or corrupt"},
        // Within the size limit, but far too few bytes for it: refused from the
        // header alone, before a gigabyte is reserved for the pixels.
        {WithFrameSize(good, 16000, 16000),
         "the file is too short for its size (16000 x 16000), truncated or corrupt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadError(c.bytes, "/some/folder/photo.jpg"), "cannot read photo.jpg: " + c.reason);
    EXPECT_THROW(tw::ReadJpegSize(noise, "x.jpg"), PictureError);

    // Every cut is refused; random damage either decodes or is refused, but never crashes.
    for (int cut = 0; cut < good.size(); cut += 13)
        ASSERT_EQ(ReadError(good.left(cut), "cut.jpg").rfind("cannot read cut.jpg: ", 0), 0u) << cut;
    for (int i = 0; i < 300; ++i) {
        QByteArray damaged = good;
        for (int j = 0; j < 3; ++j)
            damaged[random() % damaged.size()] = static_cast<char>(random());
        try {
            DecodeJpeg(damaged, "damaged.jpg", QSize(random() % 70, random() % 50));
        } catch (const PictureError&) {
        }
    }
}

TEST(JpegCodec, EncodeErrorsNameTheFile) {
    EXPECT_THROW(EncodeJpeg(Bitmap(), "empty.jpg"), PictureError);
    try {
        EncodeJpeg(Bitmap(65501, 1), "/out/wide.jpg");
        FAIL() << "a picture wider than JPEG allows was written";
    } catch (const PictureError& e) {
        EXPECT_STREQ(e.what(), "cannot write wide.jpg: the picture is too large (65501 x 1)");
    }
}

TEST(JpegCodec, DctScalingKeepsAtLeastTheMinimumSize) {
    const Bitmap original = Colourful(4000, 3000);
    const QByteArray bytes = EncodeJpeg(original, "big.jpg");
    struct Case {
        QSize minimum, expected;
    };
    const Case cases[] = {
        {QSize(800, 600), QSize(1000, 750)},    {QSize(1001, 100), QSize(2000, 1500)},
        {QSize(100, 751), QSize(2000, 1500)},   {QSize(10, 10), QSize(500, 375)},
        {QSize(4000, 3000), QSize(4000, 3000)}, {QSize(5000, 5000), QSize(4000, 3000)},
        {QSize(), QSize(4000, 3000)},
    };
    for (const Case& c : cases) {
        const Bitmap b = DecodeJpeg(bytes, "big.jpg", c.minimum);
        EXPECT_EQ(QSize(b.Width(), b.Height()), c.expected) << c.minimum.width() << "x" << c.minimum.height();
    }
    const Bitmap quarter = DecodeJpeg(bytes, "big.jpg", QSize(800, 600));
    for (QPoint p : {QPoint(10, 10), QPoint(500, 300), QPoint(990, 740)})
        EXPECT_LE(MaxChannelDiff(quarter.Pixel(p.x(), p.y()), original.Pixel(4 * p.x() + 2, 4 * p.y() + 2)),
                  6);

    // Turned upright the picture is 3000 x 4000, and that is what the minimum refers to.
    const QByteArray turned = WithExif(bytes, ExifTiff(6, false));
    const Bitmap upright = DecodeJpeg(turned, "turned.jpg", QSize(600, 800));
    EXPECT_EQ(QSize(upright.Width(), upright.Height()), QSize(750, 1000));
    EXPECT_EQ(tw::ReadJpegSize(turned, "turned.jpg"), QSize(4000, 3000));
}

// Rows read a band at a time are DecodeJpeg's pixels; files whose stored rows
// are not the picture's rows (turned by EXIF, CMYK) do not stream, and a file
// cut short fails when its rows run out, naming it.
TEST(JpegCodec, RowReaderGivesTheDecodersRowsOrSaysItCannot) {
    const Bitmap original = Colourful(300, 200);
    const QByteArray bytes = EncodeJpeg(original, "rows.jpg");
    const Bitmap whole = DecodeJpeg(bytes, "rows.jpg");
    tw::JpegRowReader reader(bytes, "rows.jpg");
    ASSERT_TRUE(reader.Streams());
    ASSERT_EQ(QSize(reader.Width(), reader.Height()), QSize(300, 200));
    Bitmap rows(300, 200);
    for (int y = 0; y < 200; y += 16)
        reader.Read(rows.Row(y), rows.Image().bytesPerLine() / 4, std::min(16, 200 - y));
    EXPECT_TRUE(rows == whole);
    EXPECT_THROW(reader.Read(rows.Row(0), 300, 1), std::logic_error) << "no row beyond the last";

    EXPECT_FALSE(tw::JpegRowReader(WithExif(bytes, ExifTiff(6, false)), "t.jpg").Streams());
    EXPECT_FALSE(tw::JpegRowReader(UniformCmykJpeg(0, 0, 0, 128, false), "k.jpg").Streams());

    const QByteArray cut = bytes.left(bytes.size() * 2 / 3);
    tw::JpegRowReader shortFile(cut, "cut.jpg");
    try {
        for (int y = 0; y < 200; ++y)
            shortFile.Read(rows.Row(y), 300, 1);
        ADD_FAILURE() << "a file cut short must fail";
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find("cut.jpg"), std::string::npos) << e.what();
    }
}

TEST(JpegCodec, ExifOrientationTurnsThePictureUpright) {
    const QByteArray plain = EncodeJpeg(Quadrants(), "q.jpg");
    const ColorValue R = Rgb(255, 0, 0), G = Rgb(0, 255, 0), B = Rgb(0, 0, 255), Y = Rgb(255, 255, 0);
    struct Case {
        int orientation;
        ColorValue topLeft, topRight, bottomLeft, bottomRight;
    };
    const Case cases[] = {{1, R, G, B, Y}, {2, G, R, Y, B}, {3, Y, B, G, R}, {4, B, Y, R, G},
                          {5, R, B, G, Y}, {6, B, R, Y, G}, {7, Y, G, B, R}, {8, G, Y, R, B}};
    for (bool bigEndian : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << "orientation " << c.orientation << " big-endian " << bigEndian);
            const Bitmap b = DecodeJpeg(WithExif(plain, ExifTiff(c.orientation, bigEndian)), "q.jpg");
            const bool turned = c.orientation >= 5;
            ASSERT_EQ(b.Width(), turned ? 20 : 40);
            ASSERT_EQ(b.Height(), turned ? 40 : 20);
            const int r = b.Width() - 1, bottom = b.Height() - 1;
            EXPECT_LE(MaxChannelDiff(b.Pixel(0, 0), c.topLeft), 8);
            EXPECT_LE(MaxChannelDiff(b.Pixel(r, 0), c.topRight), 8);
            EXPECT_LE(MaxChannelDiff(b.Pixel(0, bottom), c.bottomLeft), 8);
            EXPECT_LE(MaxChannelDiff(b.Pixel(r, bottom), c.bottomRight), 8);
        }

    // Damaged EXIF data, or an orientation outside 1..8, is ignored rather than trusted.
    const QByteArray good = ExifTiff(6, false);
    QByteArray farIfd = good, hugeCount = good, longType = good, badValue = good;
    farIfd[4] = farIfd[5] = farIfd[6] = farIfd[7] = '\xF0';
    hugeCount[8] = hugeCount[9] = '\xFF';
    hugeCount.truncate(20);
    badValue[18] = 9;
    for (const QByteArray& tiff : {farIfd, hugeCount, badValue, good.left(7), good.left(21),
                                   QByteArray("XX") + good.mid(2), QByteArray()}) {
        const Bitmap b = DecodeJpeg(WithExif(plain, tiff), "q.jpg");
        EXPECT_EQ(QSize(b.Width(), b.Height()), QSize(40, 20));
    }
    // exiv2 reads an orientation stored as a 32-bit number all the same.
    longType[12] = 4;
    const Bitmap turned = DecodeJpeg(WithExif(plain, longType), "q.jpg");
    EXPECT_EQ(QSize(turned.Width(), turned.Height()), QSize(20, 40));
}

TEST(JpegCodec, DecodesOnSeveralThreadsAtOnce) {
    const QByteArray bytes = EncodeJpeg(Colourful(200, 150), "t.jpg");
    const QByteArray broken = bytes.left(bytes.size() / 2);
    const Bitmap expected = DecodeJpeg(bytes, "t.jpg");
    std::vector<int> good(4, 0), refused(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                if (DecodeJpeg(bytes, "t.jpg") == expected) ++good[t];
                refused[t] += ReadError(broken, "b.jpg").find("truncated") != std::string::npos;
                EncodeJpeg(expected, "t.jpg");
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(good, std::vector<int>(4, 20));
    EXPECT_EQ(refused, std::vector<int>(4, 20));
}

// Saved JPEGs keep the colour planes at full resolution (4:4:4, still baseline):
// halved ones fringe saturated edges such as a recoloured part's.
TEST(JpegCodec, SavedJpegsKeepColourAtFullResolution) {
    Bitmap stripes(64, 48);
    for (int x = 0; x < 64; ++x)
        stripes.FillRect(QRect(x, 0, 1, 48), x % 4 < 2 ? Rgb(230, 20, 30) : Rgb(20, 40, 220));
    twtest::TempDir dir;
    ASSERT_TRUE(tw::SavePicture(stripes, dir.Path("s.jpg")));
    const QByteArray saved = twtest::ReadAll(dir.Path("s.jpg"));
    const int sof = FrameHeaderOffset(saved);
    ASSERT_GE(sof, 0);
    EXPECT_EQ(static_cast<uint8_t>(saved[sof + 1]), 0xC0) << "baseline";
    ASSERT_EQ(saved[sof + 9], 3);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(static_cast<uint8_t>(saved[sof + 11 + 3 * c]), 0x11) << "component " << c;
    EXPECT_LT(MeanAbsError(DecodeJpeg(saved, "s.jpg"), stripes), 1.5);
    EXPECT_GT(MeanAbsError(DecodeJpeg(EncodeJpeg(stripes, "h.jpg"), "h.jpg"), stripes), 5.0)
        << "halved colour planes cannot hold these stripes";
}
