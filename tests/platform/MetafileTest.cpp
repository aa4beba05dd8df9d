#include "platform/Metafile.h"

#include "support/TestFiles.h"

#include <QImage>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using tw::Bitmap;
using tw::ColorValue;

// Odd width, so every DIB row needs padding.
constexpr int kW = 37;
constexpr int kH = 23;

constexpr ColorValue kTopLeft = 0x0000FF;     // red
constexpr ColorValue kTopRight = 0x00FF00;    // green
constexpr ColorValue kBottomLeft = 0xFF0000;  // blue
constexpr ColorValue kBottomRight = 0x2896C8; // orange: R, G and B all differ

// Solid quadrants survive a reader's smoothing; orientation and channel order still show.
Bitmap Quadrants() {
    Bitmap b(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            b.SetPixel(x, y,
                       y < kH / 2 ? (x < kW / 2 ? kTopLeft : kTopRight)
                                  : (x < kW / 2 ? kBottomLeft : kBottomRight));
    return b;
}

// Every pixel different, with single-pixel marks in the corners.
Bitmap Pattern() {
    Bitmap b(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            b.SetPixel(x, y, static_cast<ColorValue>(x * 7 | (y * 11) << 8 | ((x + y) * 4 + 1) << 16));
    b.SetPixel(0, 0, kTopLeft);
    b.SetPixel(kW - 1, 0, kTopRight);
    b.SetPixel(0, kH - 1, kBottomLeft);
    b.SetPixel(kW - 1, kH - 1, kBottomRight);
    return b;
}

ColorValue ValueOf(QRgb c) {
    return qRed(c) | qGreen(c) << 8 | qBlue(c) << 16;
}

bool Near(QRgb got, ColorValue want, int tolerance) {
    return std::abs(qRed(got) - static_cast<int>(want & 0xFF)) <= tolerance &&
           std::abs(qGreen(got) - static_cast<int>(want >> 8 & 0xFF)) <= tolerance &&
           std::abs(qBlue(got) - static_cast<int>(want >> 16 & 0xFF)) <= tolerance;
}

uint32_t U16(const QByteArray& b, int at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}
uint32_t U32(const QByteArray& b, int at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}
int32_t I32(const QByteArray& b, int at) {
    return static_cast<int32_t>(U32(b, at));
}

// The DIB bytes of pixel (x, y): bottom-up rows padded to four bytes, B G R.
ColorValue DibPixel(const QByteArray& b, int bitsAt, int x, int y) {
    const int at = bitsAt + (kH - 1 - y) * ((kW * 3 + 3) & ~3) + x * 3;
    return static_cast<uint8_t>(b[at + 2]) | static_cast<uint8_t>(b[at + 1]) << 8 |
           static_cast<uint8_t>(b[at]) << 16;
}

TEST(MetafileTest, EmfLayoutAddsUp) {
    const QByteArray emf = tw::EncodeEmf(Pattern());
    const int stride = (kW * 3 + 3) & ~3;
    ASSERT_EQ(stride, 112);

    EXPECT_EQ(U32(emf, 0), 1u);
    const int headerSize = static_cast<int>(U32(emf, 4));
    EXPECT_EQ(headerSize % 4, 0);
    EXPECT_EQ((std::vector<int32_t>{I32(emf, 8), I32(emf, 12), I32(emf, 16), I32(emf, 20)}),
              (std::vector<int32_t>{0, 0, kW - 1, kH - 1}));
    // 37 and 23 pixels at 96 dpi are 978.96 and 608.54 hundredths of a millimetre.
    EXPECT_EQ((std::vector<int32_t>{I32(emf, 24), I32(emf, 28), I32(emf, 32), I32(emf, 36)}),
              (std::vector<int32_t>{0, 0, 978, 608}));
    EXPECT_EQ(U32(emf, 40), 0x464D4520u);
    EXPECT_EQ(U32(emf, 44), 0x10000u);
    EXPECT_EQ(U32(emf, 48), static_cast<uint32_t>(emf.size()));
    EXPECT_EQ(U32(emf, 52), 3u);
    EXPECT_EQ(U16(emf, 56), 1u);
    // Reference device: pixels over millimetres must be 96 dpi.
    EXPECT_NEAR(I32(emf, 72) * 25.4 / I32(emf, 80), 96.0, 1e-9);
    EXPECT_NEAR(I32(emf, 76) * 25.4 / I32(emf, 84), 96.0, 1e-9);

    // The records tile the file exactly, each 4-byte aligned, and the last is EOF.
    std::vector<uint32_t> types;
    int at = 0;
    while (at < emf.size()) {
        types.push_back(U32(emf, at));
        const int size = static_cast<int>(U32(emf, at + 4));
        ASSERT_GT(size, 0);
        ASSERT_EQ(size % 4, 0);
        at += size;
    }
    EXPECT_EQ(at, emf.size());
    EXPECT_EQ(types, (std::vector<uint32_t>{1, 81, 14}));
    EXPECT_EQ(U32(emf, emf.size() - 4), 20u);

    const int rec = headerSize;
    const int offBmi = static_cast<int>(U32(emf, rec + 48));
    const int offBits = static_cast<int>(U32(emf, rec + 56));
    EXPECT_EQ(U32(emf, rec + 52), 40u);
    EXPECT_EQ(offBits, offBmi + 40);
    EXPECT_EQ(U32(emf, rec + 60), static_cast<uint32_t>(stride * kH));
    EXPECT_EQ(offBits + stride * kH, static_cast<int>(U32(emf, rec + 4)));
    EXPECT_EQ(U32(emf, rec + 68), 0x00CC0020u);
    EXPECT_EQ(I32(emf, rec + 72), kW);
    EXPECT_EQ(I32(emf, rec + 76), kH);
    EXPECT_EQ(I32(emf, rec + offBmi + 4), kW);
    EXPECT_EQ(I32(emf, rec + offBmi + 8), kH);
    EXPECT_EQ(U16(emf, rec + offBmi + 14), 24u);

    const Bitmap pattern = Pattern();
    for (auto [x, y] : {std::pair{0, 0}, {kW - 1, 0}, {0, kH - 1}, {kW - 1, kH - 1}, {18, 11}})
        EXPECT_EQ(DibPixel(emf, rec + offBits, x, y), pattern.Pixel(x, y)) << x << "," << y;
    EXPECT_EQ(emf.mid(rec + offBits + kW * 3, stride - kW * 3), QByteArray(stride - kW * 3, '\0'));
}

TEST(MetafileTest, WmfLayoutAddsUp) {
    const QByteArray wmf = tw::EncodeWmf(Pattern());
    ASSERT_EQ(wmf.size() % 2, 0);

    EXPECT_EQ(U32(wmf, 0), 0x9AC6CDD7u);
    EXPECT_EQ((std::vector<uint32_t>{U16(wmf, 6), U16(wmf, 8), U16(wmf, 10), U16(wmf, 12), U16(wmf, 14)}),
              (std::vector<uint32_t>{0, 0, kW, kH, 96}));
    uint32_t checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= U16(wmf, 2 * i);
    EXPECT_EQ(U16(wmf, 20), checksum);

    const int mh = 22;
    EXPECT_EQ(U16(wmf, mh), 1u);
    EXPECT_EQ(U16(wmf, mh + 2), 9u);
    EXPECT_EQ(U16(wmf, mh + 4), 0x0300u);
    EXPECT_EQ(U32(wmf, mh + 6) * 2, static_cast<uint32_t>(wmf.size() - mh));
    EXPECT_EQ(U16(wmf, mh + 10), 0u);

    // Records tile the rest exactly; the header's largest record matches the biggest one.
    std::vector<uint32_t> functions;
    uint32_t largest = 0;
    int at = mh + 18;
    while (at < wmf.size()) {
        const uint32_t words = U32(wmf, at);
        ASSERT_GE(words, 3u);
        functions.push_back(U16(wmf, at + 4));
        largest = std::max(largest, words);
        at += static_cast<int>(words * 2);
    }
    EXPECT_EQ(at, wmf.size());
    EXPECT_EQ(functions, (std::vector<uint32_t>{0x020B, 0x020C, 0x0F43, 0}));
    EXPECT_EQ(U32(wmf, mh + 12), largest);
    EXPECT_EQ(U32(wmf, wmf.size() - 6), 3u);

    // Window extent is stored height first.
    EXPECT_EQ(U16(wmf, mh + 18 + 10 + 6), static_cast<uint32_t>(kH));
    EXPECT_EQ(U16(wmf, mh + 18 + 10 + 8), static_cast<uint32_t>(kW));

    const int rec = mh + 18 + 20;
    EXPECT_EQ(U32(wmf, rec + 6), 0x00CC0020u);
    EXPECT_EQ(U16(wmf, rec + 20), static_cast<uint32_t>(kH)); // destination height
    EXPECT_EQ(U16(wmf, rec + 22), static_cast<uint32_t>(kW)); // destination width
    const int dib = rec + 28;
    EXPECT_EQ(I32(wmf, dib + 4), kW);
    EXPECT_EQ(I32(wmf, dib + 8), kH);
    const Bitmap pattern = Pattern();
    for (auto [x, y] : {std::pair{0, 0}, {kW - 1, 0}, {0, kH - 1}, {kW - 1, kH - 1}, {18, 11}})
        EXPECT_EQ(DibPixel(wmf, dib + 40, x, y), pattern.Pixel(x, y)) << x << "," << y;
}

TEST(MetafileTest, RefusesWhatCannotBeStored) {
    // 16-bit coordinates end at 32767, either way round.
    for (const Bitmap& big : {Bitmap(32768, 1), Bitmap(1, 32768)}) {
        try {
            tw::EncodeWmf(big);
            ADD_FAILURE() << big.Width() << " x " << big.Height() << " was accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "the picture is too large for a metafile");
        }
    }
    EXPECT_NO_THROW(tw::EncodeWmf(Bitmap(32767, 1)));
    // The enhanced format has 32-bit coordinates.
    EXPECT_EQ(U32(tw::EncodeEmf(Bitmap(32768, 1)), 16), 32767u);

    EXPECT_THROW(tw::EncodeEmf(Bitmap()), std::runtime_error);
    EXPECT_THROW(tw::EncodeWmf(Bitmap()), std::runtime_error);
}

TEST(MetafileTest, EmfReaderSeesEveryPixel) {
    if (!twtest::HaveProgram("emf2svg-conv"))
        GTEST_SKIP() << "emf2svg-conv (Debian emf2svg) is not installed";
    twtest::TempDir dir;
    const Bitmap pattern = Pattern();
    twtest::WriteAll(dir.Path("p.emf"), tw::EncodeEmf(pattern));
    QByteArray err;
    ASSERT_EQ(twtest::RunProgram("emf2svg-conv",
                                 {"-i", QString::fromStdString(dir.Path("p.emf")), "-o",
                                  QString::fromStdString(dir.Path("p.svg"))},
                                 nullptr, &err),
              0)
        << err.toStdString();

    const QString svg = QString::fromUtf8(twtest::ReadAll(dir.Path("p.svg")));
    const auto match = QRegularExpression("data:image/png;base64,([A-Za-z0-9+/=]+)").match(svg);
    ASSERT_TRUE(match.hasMatch()) << svg.left(500).toStdString();
    const QImage image = QImage::fromData(QByteArray::fromBase64(match.captured(1).toLatin1()), "PNG");
    ASSERT_EQ(image.size(), QSize(kW, kH));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(ValueOf(image.pixel(x, y)), pattern.Pixel(x, y)) << x << "," << y;
}

TEST(MetafileTest, WmfReaderDrawsThePicture) {
    if (!twtest::HaveProgram("wmf2gd")) GTEST_SKIP() << "wmf2gd (Debian libwmf-bin) is not installed";
    twtest::TempDir dir;
    twtest::WriteAll(dir.Path("q.wmf"), tw::EncodeWmf(Quadrants()));
    // The reader insists on loading a font even for a picture without text; a minimal
    // Ghostscript-style font map lets it run without the Type 1 font package.
    const char* const kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!twtest::FileExists(kFont)) GTEST_SKIP() << kFont << " (Debian fonts-dejavu-core) is missing";
    QByteArray fontmap;
    for (const char* name :
         {"Times-Roman", "Times-Italic", "Times-Bold", "Times-BoldItalic", "Helvetica", "Helvetica-Oblique",
          "Helvetica-Bold", "Helvetica-BoldOblique", "Courier", "Courier-Oblique", "Courier-Bold",
          "Courier-BoldOblique", "Symbol", "ZapfDingbats"})
        fontmap += QByteArray("/") + name + " (" + kFont + ") ;\n";
    twtest::WriteAll(dir.Path("Fontmap"), fontmap);

    const QString input = QString::fromStdString(dir.Path("q.wmf"));
    const QString fontArg = QString::fromStdString("--wmf-gs-fontmap=" + dir.Path("Fontmap"));
    struct Run {
        QStringList extra;
        QSize size;
        int tolerance;
    };
    // Left to itself the reader draws at 72 dpi, so the size shows the 96 dpi frame was
    // understood; asked for a larger size it smooths, so compare colours loosely.
    for (const Run& run : {Run{{}, QSize(kW * 3 / 4, kH * 3 / 4), 0},
                           Run{{"--maxwidth=370", "--maxheight=230", "--maxsize"}, QSize(370, 230), 8}}) {
        SCOPED_TRACE(run.extra.join(' ').toStdString());
        const QString output = QString::fromStdString(dir.Path("q.png"));
        QByteArray err;
        ASSERT_EQ(twtest::RunProgram("wmf2gd",
                                     QStringList{fontArg} + run.extra + QStringList{"-o", output, input},
                                     nullptr, &err),
                  0)
            << err.toStdString();
        const QImage image(output);
        ASSERT_EQ(image.size(), run.size);
        const int w = image.width(), h = image.height();
        const std::pair<QPoint, ColorValue> probes[] = {
            {{0, 0}, kTopLeft},         {{w - 1, 0}, kTopRight},
            {{0, h - 1}, kBottomLeft},  {{w - 1, h - 1}, kBottomRight},
            {{w / 4, h / 4}, kTopLeft}, {{w * 3 / 4, h * 3 / 4}, kBottomRight},
        };
        for (const auto& [p, want] : probes)
            EXPECT_TRUE(Near(image.pixel(p), want, run.tolerance))
                << p.x() << "," << p.y() << ": " << std::hex << ValueOf(image.pixel(p)) << " want " << want;
    }
}

} // namespace
