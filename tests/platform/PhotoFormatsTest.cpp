// The photo readers' own rules, in memory: TIFF orientation, palettes, pages
// and alpha; metadata blocks too large for their container, or broken; colour
// profiles that change nothing and ones that do.

#include "colour/ColourProfile.h"
#include "platform/PictureFile.h"
#include "platform/PictureMetadata.h"
#include "platform/TiffCodec.h"
#include "support/IccProfiles.h"

#include <gtest/gtest.h>

#include <QFile>

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A small TIFF written with libtiff: 8-bit samples, one strip, the given
// photometric interpretation, samples a pixel and orientation; a second page
// when asked.
struct TiffSpec {
    int Width = 3, Height = 2;
    uint16_t Photometric = PHOTOMETRIC_RGB;
    uint16_t Samples = 3;
    uint16_t Orientation = ORIENTATION_TOPLEFT;
    std::vector<uint8_t> Pixels;
    std::vector<uint16_t> Map; // the palette: 256 reds, greens, blues
    bool SecondPage = false;
};

QByteArray WriteTiff(const TiffSpec& s) {
    char path[] = "/tmp/tw-tiff-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return {};
    TIFF* tif = TIFFFdOpen(fd, path, "w");
    for (int page = 0; page < (s.SecondPage ? 2 : 1); ++page) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, s.Width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, s.Height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, s.Samples);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.Photometric);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, s.Orientation);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, s.Height);
        if (s.Samples == 4) {
            const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
        }
        if (!s.Map.empty())
            TIFFSetField(tif, TIFFTAG_COLORMAP, s.Map.data(), s.Map.data() + 256, s.Map.data() + 512);
        std::vector<uint8_t> pixels = s.Pixels;
        if (page == 1) std::fill(pixels.begin(), pixels.end(), 0);
        TIFFWriteEncodedStrip(tif, 0, pixels.data(), static_cast<tmsize_t>(pixels.size()));
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    QFile file(QString::fromLatin1(path));
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    std::remove(path);
    return bytes;
}

} // namespace

TEST(PhotoFormats, TiffsComeUprightWithPalettesAlphaAndTheirFirstPage) {
    // Stored 3 x 2, turned a quarter clockwise by its orientation: 2 x 3 upright.
    TiffSpec turned;
    for (int i = 0; i < 6; ++i)
        turned.Pixels.insert(turned.Pixels.end(), {static_cast<uint8_t>(10 * i), 0, 0});
    turned.Orientation = ORIENTATION_RIGHTTOP;
    turned.SecondPage = true;
    const tw::Bitmap upright = tw::DecodeTiff(WriteTiff(turned), "turned.tif");
    ASSERT_EQ(upright.Rect().size(), QSize(2, 3));
    // Stored row 0 (0, 10, 20) becomes the right column, top to bottom.
    EXPECT_EQ(upright.Pixel(1, 0), RGBToColor(0, 0, 0));
    EXPECT_EQ(upright.Pixel(1, 2), RGBToColor(20, 0, 0));
    EXPECT_EQ(upright.Pixel(0, 0), RGBToColor(30, 0, 0));
    EXPECT_EQ(tw::ReadTiffSize(WriteTiff(turned), "turned.tif"), QSize(3, 2)) << "as stored";

    TiffSpec palette;
    palette.Photometric = PHOTOMETRIC_PALETTE;
    palette.Samples = 1;
    palette.Pixels = {0, 1, 2, 2, 1, 0};
    palette.Map.assign(768, 0);
    palette.Map[1] = 65535;       // entry 1: red
    palette.Map[256 + 2] = 32896; // entry 2: green 128
    const tw::Bitmap mapped = tw::DecodeTiff(WriteTiff(palette), "palette.tif");
    EXPECT_EQ(mapped.Pixel(1, 0), RGBToColor(255, 0, 0));
    EXPECT_EQ(mapped.Pixel(2, 0), RGBToColor(0, 128, 0));

    TiffSpec alpha;
    alpha.Samples = 4;
    alpha.Pixels = {0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const tw::Bitmap flat = tw::DecodeTiff(WriteTiff(alpha), "alpha.tif");
    EXPECT_EQ(flat.Pixel(0, 0), tw::kWhite) << "transparent over white";
    EXPECT_EQ(flat.Pixel(1, 0), RGBToColor(0, 0, 0));

    TiffSpec cmyk;
    cmyk.Photometric = PHOTOMETRIC_SEPARATED;
    cmyk.Samples = 4;
    cmyk.Pixels.assign(24, 0);
    EXPECT_THROW(tw::DecodeTiff(WriteTiff(cmyk), "cmyk.tif"), tw::PictureError);
}

TEST(PhotoFormats, MetadataTooLargeOrBrokenLeavesTheRestAndNeverThrows) {
    // An XMP packet beyond a JPEG segment is left out; the Exif still goes in.
    const QByteArray exif = QByteArray::fromHex("49492a00080000000100100102000400000054430000000000");
    const QByteArray longXmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                               "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
                               "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" dc:format=\"" +
                               QByteArray(70000, 'a') + "\"/></rdf:RDF></x:xmpmeta>";
    tw::TPictureMetadata metadata;
    tw::ReadMetadataBlocks(exif, longXmp, metadata);
    ASSERT_TRUE(metadata.HasMetadata()) << metadata.Problem;
    const std::vector<tw::TJpegSegment> segments = tw::JpegMetadataSegments(metadata, QSize(4, 3));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_TRUE(segments[0].Data.startsWith(QByteArray("Exif\0\0", 6)));
    EXPECT_TRUE(segments[0].Data.contains("Tintwell"));
    // Damaged blocks: a problem to report, no metadata, no exception.
    for (const QByteArray& damaged :
         {QByteArray("II*\0\xff\xff\xff\x7f", 8), QByteArray("MM\0*\0\0\0\x08\xff\xff")}) {
        tw::TPictureMetadata broken;
        EXPECT_NO_THROW(tw::ReadMetadataBlocks(damaged, "<x:xmpmeta", broken));
        EXPECT_FALSE(broken.Problem.empty());
        EXPECT_EQ(tw::ExifOrientation(reinterpret_cast<const unsigned char*>(damaged.constData()),
                                      static_cast<size_t>(damaged.size())),
                  1);
    }
}

TEST(PhotoFormats, SrgbProfilesChangeNothingAndWideOnesRoundTrip) {
    for (const QByteArray& none : {QByteArray(), twtest::SrgbProfile(), QByteArray(132, 'x')}) {
        const TColourProfile profile(none);
        EXPECT_TRUE(profile.IsSrgb());
        EXPECT_EQ(profile.FromSrgb(RGBToColor(1, 2, 3)), RGBToColor(1, 2, 3));
    }
    const TColourProfile wide(twtest::WideGamutProfile());
    ASSERT_FALSE(wide.IsSrgb());
    tw::Bitmap shown(16, 16);
    int worst = 0;
    for (int r = 0; r < 256; r += 17)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 17) {
                const TColorValue c = RGBToColor(r, g, b);
                const TRGBValues back = ColorToRGBValues(wide.ToSrgb(wide.FromSrgb(c)));
                worst = std::max({worst, std::abs(back.R - r), std::abs(back.G - g), std::abs(back.B - b)});
                shown.SetPixel(r / 17, g / 17, c);
            }
    // Within the 8-bit steps of the wider space, which are coarse near black.
    EXPECT_LE(worst, 6);
    // Pure sRGB red is inside the wider space: less red there, still red.
    const TRGBValues red = ColorToRGBValues(wide.FromSrgb(RGBToColor(255, 0, 0)));
    EXPECT_LT(red.R, 255);
    EXPECT_GT(red.R, red.G + 100);
    // The screen sees what ToSrgb gives, within a level (sRGB colours lie inside the wider space).
    tw::Bitmap screen;
    screen.Assign(shown);
    wide.ToScreen(screen, screen.Rect());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const TRGBValues a = ColorToRGBValues(screen.Pixel(x, y));
            const TRGBValues e = ColorToRGBValues(wide.ToSrgb(shown.Pixel(x, y)));
            EXPECT_LE(std::max({std::abs(a.R - e.R), std::abs(a.G - e.G), std::abs(a.B - e.B)}), 1)
                << x << "," << y;
        }
}
