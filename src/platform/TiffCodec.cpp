#include "platform/TiffCodec.h"

#include "platform/Orientation.h"
#include "platform/PictureError.h"
#include "platform/PictureFile.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

namespace tw {
namespace {

// --- Files in memory ----------------------------------------------------------------------

// What libtiff reads from or writes to: the bytes and where it stands in them.
struct TiffMemory {
    const QByteArray* In = nullptr;
    QByteArray* Out = nullptr;
    toff_t At = 0;
    std::string Error; // libtiff's first complaint
    toff_t Size() const { return static_cast<toff_t>(Out ? Out->size() : In->size()); }
};

TiffMemory& MemoryOf(thandle_t handle) {
    return *static_cast<TiffMemory*>(handle);
}

tmsize_t ReadMemory(thandle_t handle, void* buffer, tmsize_t size) {
    TiffMemory& m = MemoryOf(handle);
    if (m.Out || size < 0 || m.At >= m.Size()) return 0;
    const auto n = static_cast<tmsize_t>(std::min<toff_t>(static_cast<toff_t>(size), m.Size() - m.At));
    std::memcpy(buffer, m.In->constData() + m.At, static_cast<size_t>(n));
    m.At += static_cast<toff_t>(n);
    return n;
}

tmsize_t WriteMemory(thandle_t handle, void* buffer, tmsize_t size) {
    TiffMemory& m = MemoryOf(handle);
    if (!m.Out || size < 0) return -1;
    const toff_t end = m.At + static_cast<toff_t>(size);
    try {
        if (end > m.Size()) m.Out->resize(static_cast<qsizetype>(end), '\0');
    } catch (const std::bad_alloc&) {
        return -1;
    }
    std::memcpy(m.Out->data() + m.At, buffer, static_cast<size_t>(size));
    m.At = end;
    return size;
}

toff_t SeekMemory(thandle_t handle, toff_t offset, int whence) {
    TiffMemory& m = MemoryOf(handle);
    const toff_t base = whence == SEEK_CUR ? m.At : whence == SEEK_END ? m.Size() : 0;
    const auto target = static_cast<long long>(base) + static_cast<long long>(static_cast<int64_t>(offset));
    if (target < 0 || target > (1LL << 40)) return static_cast<toff_t>(-1);
    m.At = static_cast<toff_t>(target);
    return m.At;
}

int CloseMemory(thandle_t) {
    return 0;
}

toff_t SizeOfMemory(thandle_t handle) {
    return MemoryOf(handle).Size();
}

int MapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

void UnmapNothing(thandle_t, void*, toff_t) {}

int KeepFirstError(TIFF*, void* memory, const char*, const char* format, va_list args) {
    std::string& error = static_cast<TiffMemory*>(memory)->Error;
    if (error.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        error = text;
    }
    return 1; // handled: nothing goes to standard error
}

int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// An open TIFF in memory, closed on every path.
class TiffFile {
  public:
    TiffFile(const QByteArray* in, QByteArray* out, const std::string& name) {
        memory_.In = in;
        memory_.Out = out;
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, KeepFirstError, &memory_);
        TIFFOpenOptionsSetWarningHandlerExtR(options, IgnoreWarning, nullptr);
        // No single buffer beyond what the largest picture we take needs.
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxPicturePixels) * 8);
        tif_ = TIFFClientOpenExt(name.c_str(), out ? "wl" : "rm", &memory_, ReadMemory, WriteMemory,
                                 SeekMemory, CloseMemory, SizeOfMemory, MapNothing, UnmapNothing, options);
        TIFFOpenOptionsFree(options);
    }
    ~TiffFile() { Close(); }
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    TIFF* Get() const { return tif_; }
    // Writes what is left (a file being written); false when that fails.
    bool Close() {
        if (!tif_) return true;
        TIFFClose(std::exchange(tif_, nullptr));
        return memory_.Error.empty();
    }
    const std::string& Error() const { return memory_.Error; }

  private:
    TiffMemory memory_;
    TIFF* tif_ = nullptr;
};

[[noreturn]] void FailRead(const std::string& name, const std::string& reason) {
    throw PictureError("cannot read " + name + ": " + reason);
}

std::string Damaged(const TiffFile& file) {
    return file.Error().empty() ? "the file is truncated or corrupt"
                                : "the file is truncated or corrupt (" + file.Error() + ")";
}

// Opens a TIFF for reading; throws PictureError for what is no readable TIFF.
TIFF* OpenForReading(TiffFile& file, const QByteArray& data, const std::string& name) {
    if (data.isEmpty()) FailRead(name, "the file is empty");
    if (!file.Get()) {
        const bool tiff = data.size() >= 4 && (data.startsWith("II") || data.startsWith("MM"));
        FailRead(name, tiff ? Damaged(file) : "not a TIFF file");
    }
    return file.Get();
}

QSize StoredSize(TIFF* tif, const std::string& name) {
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0) FailRead(name, "the picture has no pixels");
    if (width > static_cast<uint32_t>(kMaxPictureSide) || height > static_cast<uint32_t>(kMaxPictureSide) ||
        static_cast<long long>(width) * height > kMaxPicturePixels)
        FailRead(name,
                 "the picture is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

// --- Samples to pixels --------------------------------------------------------------------

// How the stored samples become the picture's pixels.
struct Layout {
    int Colours = 3;      // colour samples a pixel: 3 (RGB) or 1 (grey, palette)
    int Samples = 3;      // all samples a pixel, extra ones included
    int Bits = 8;         // a sample
    int Alpha = -1;       // the alpha sample's index, or -1
    bool Planes = false;  // one plane per sample instead of samples together
    bool Palette = false; // colour samples index the colour map
    bool WhiteIsZero = false;
    const uint16_t* Map[3] = {}; // the colour map, 16-bit
    bool EightBitMap = false;    // written with 8-bit entries, as some writers do
};

// Sample i of a row whose samples are bits wide, packed from the high bit.
inline uint32_t SampleAt(const uint8_t* row, size_t i, int bits) {
    switch (bits) {
    case 8:
        return row[i];
    case 16:
        return reinterpret_cast<const uint16_t*>(row)[i];
    default: {
        const size_t bit = i * static_cast<size_t>(bits);
        return (row[bit / 8] >> (8 - bits - static_cast<int>(bit % 8))) & ((1u << bits) - 1);
    }
    }
}

// The same channel at 8 bits (or 16, kept for Qt's conversion) as the picture's QImage holds it.
inline uint32_t Scaled(uint32_t v, int bits) {
    return bits >= 8 ? v : v * 255 / ((1u << bits) - 1);
}

// Converts one stored row (a pointer per plane, or one for samples together)
// into a scanline of the QImage the layout fills.
void ConvertRow(const Layout& l, const uint8_t* const* planes, int width, uchar* out) {
    const auto sample = [&](int x, int k) {
        return l.Planes ? SampleAt(planes[k], static_cast<size_t>(x), l.Bits)
                        : SampleAt(planes[0], static_cast<size_t>(x) * l.Samples + k, l.Bits);
    };
    const bool wide = l.Bits == 16 && !l.Palette;
    auto* out16 = reinterpret_cast<uint16_t*>(out);
    const uint32_t top = wide ? 65535 : 255;
    for (int x = 0; x < width; ++x) {
        uint32_t c[4];
        if (l.Palette) {
            const uint32_t index = sample(x, 0);
            for (int k = 0; k < 3; ++k) {
                const uint32_t v = l.Map[k][index];
                c[k] = l.EightBitMap ? v : (v + 128) / 257;
            }
        } else if (l.Colours == 1) {
            uint32_t v = Scaled(sample(x, 0), l.Bits);
            if (l.WhiteIsZero) v = top - v;
            c[0] = c[1] = c[2] = v;
        } else {
            for (int k = 0; k < 3; ++k)
                c[k] = sample(x, k);
        }
        c[3] = l.Alpha >= 0 ? Scaled(sample(x, l.Alpha), l.Bits) : top;
        const int channels = l.Alpha >= 0 ? 4 : wide ? 4 : 3;
        for (int k = 0; k < channels; ++k) {
            if (wide)
                out16[x * channels + k] = static_cast<uint16_t>(c[k]);
            else
                out[x * channels + k] = static_cast<uchar>(c[k]);
        }
    }
}

Layout ReadLayout(TIFF* tif, const std::string& name, bool& associatedAlpha) {
    uint16_t samples = 1, bits = 1, planar = PLANARCONFIG_CONTIG, sampleFormat = SAMPLEFORMAT_UINT;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK, compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    if (!TIFFIsCODECConfigured(compression))
        FailRead(name, "this TIFF's compression (" + std::to_string(compression) + ") is not supported");
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG) {
        // The JPEG codec turns its colour planes into RGB itself.
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    Layout l;
    switch (photometric) {
    case PHOTOMETRIC_RGB:
        l.Colours = 3;
        break;
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        l.Colours = 1;
        l.WhiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
        break;
    case PHOTOMETRIC_PALETTE:
        l.Colours = 1;
        l.Palette = true;
        break;
    case PHOTOMETRIC_SEPARATED:
        FailRead(name, "CMYK TIFF files are not supported (save it as RGB)");
    default:
        FailRead(name,
                 "this kind of TIFF is not supported (colour model " + std::to_string(photometric) + ")");
    }
    if (sampleFormat != SAMPLEFORMAT_UINT && sampleFormat != SAMPLEFORMAT_VOID)
        FailRead(name, "TIFF files with floating-point or signed samples are not supported");
    const bool bitsOk = l.Palette        ? bits == 1 || bits == 2 || bits == 4 || bits == 8
                        : l.Colours == 3 ? bits == 8 || bits == 16
                                         : bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
    if (!bitsOk)
        FailRead(name,
                 "TIFF files with " + std::to_string(bits) + "-bit samples of this kind are not supported");
    if (samples < l.Colours || samples > 16)
        FailRead(name, "the file is truncated or corrupt (" + std::to_string(samples) + " samples a pixel)");
    l.Samples = samples;
    l.Bits = bits;
    l.Planes = planar == PLANARCONFIG_SEPARATE && samples > 1;
    associatedAlpha = false;
    uint16_t extraCount = 0;
    uint16_t* extras = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extras) && extraCount > 0 && extras &&
        samples > l.Colours && !l.Palette &&
        (extras[0] == EXTRASAMPLE_ASSOCALPHA || extras[0] == EXTRASAMPLE_UNASSALPHA)) {
        l.Alpha = l.Colours;
        associatedAlpha = extras[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    if (l.Palette) {
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
            FailRead(name, "the file is truncated or corrupt (the palette is missing)");
        l.Map[0] = r, l.Map[1] = g, l.Map[2] = b;
        const uint32_t entries = 1u << bits;
        l.EightBitMap = true;
        for (uint32_t i = 0; i < entries && l.EightBitMap; ++i)
            l.EightBitMap = r[i] < 256 && g[i] < 256 && b[i] < 256;
    }
    return l;
}

QImage::Format ImageFormat(const Layout& l, bool associatedAlpha) {
    const bool wide = l.Bits == 16 && !l.Palette;
    if (l.Alpha >= 0)
        return wide ? (associatedAlpha ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64)
                    : (associatedAlpha ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888);
    return wide ? QImage::Format_RGBX64 : QImage::Format_RGB888;
}

// Reads every row of the picture into image, a band (a strip, or a row of tiles) at a time.
void ReadRows(TIFF* tif, const Layout& l, QImage& image, const std::string& name, const TiffFile& file) {
    const int width = image.width(), height = image.height();
    const int planes = l.Planes ? l.Samples : 1;
    const bool tiled = TIFFIsTiled(tif) != 0;
    uint32_t bandWidth = static_cast<uint32_t>(width), bandHeight = 1;
    if (tiled) {
        uint32_t tileWidth = 0, tileHeight = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
        if (tileWidth == 0 || tileHeight == 0 || tileWidth > 65536 || tileHeight > 65536)
            FailRead(name, "the file is truncated or corrupt (tiles of " + std::to_string(tileWidth) + " x " +
                               std::to_string(tileHeight) + ")");
        bandWidth = (static_cast<uint32_t>(width) + tileWidth - 1) / tileWidth * tileWidth;
        bandHeight = tileHeight;
    } else {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        bandHeight = std::clamp<uint32_t>(rowsPerStrip, 1, static_cast<uint32_t>(height));
    }
    // A row of one plane of the band, in bytes; rows start on a byte.
    const uint64_t samplesAcross = uint64_t{bandWidth} * (l.Planes ? 1 : static_cast<uint64_t>(l.Samples));
    const uint64_t rowBytes = (samplesAcross * static_cast<uint64_t>(l.Bits) + 7) / 8;
    std::vector<std::vector<uint8_t>> bands(static_cast<size_t>(planes));
    std::vector<uint8_t> tile;
    try {
        for (auto& band : bands)
            band.resize(static_cast<size_t>(rowBytes * bandHeight));
        if (tiled) tile.resize(static_cast<size_t>(TIFFTileSize(tif)));
    } catch (const std::bad_alloc&) {
        FailRead(name, "not enough memory for a picture (" + std::to_string(width) + " x " +
                           std::to_string(height) + ")");
    }
    uint32_t tileWidth = 0;
    if (tiled) TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    const uint64_t tileRowBytes = tiled ? static_cast<uint64_t>(TIFFTileRowSize(tif)) : 0;
    for (uint32_t top = 0; top < static_cast<uint32_t>(height); top += bandHeight) {
        const uint32_t rows = std::min<uint32_t>(bandHeight, static_cast<uint32_t>(height) - top);
        for (int p = 0; p < planes; ++p) {
            uint8_t* band = bands[static_cast<size_t>(p)].data();
            if (!tiled) {
                const tstrip_t strip = TIFFComputeStrip(tif, top, static_cast<uint16_t>(p));
                if (TIFFReadEncodedStrip(tif, strip, band, static_cast<tmsize_t>(rowBytes * rows)) < 0)
                    FailRead(name, Damaged(file));
                continue;
            }
            // Each tile's rows go to their place across the band.
            const uint64_t tileBytesAcross =
                (uint64_t{tileWidth} * (l.Planes ? 1 : l.Samples) * l.Bits + 7) / 8;
            if (tileRowBytes < tileBytesAcross) FailRead(name, Damaged(file));
            for (uint32_t left = 0; left < bandWidth; left += tileWidth) {
                const ttile_t index = TIFFComputeTile(tif, left, top, 0, static_cast<uint16_t>(p));
                if (TIFFReadEncodedTile(tif, index, tile.data(), static_cast<tmsize_t>(tile.size())) < 0)
                    FailRead(name, Damaged(file));
                const uint64_t offset = (uint64_t{left} * (l.Planes ? 1 : l.Samples) * l.Bits) / 8;
                for (uint32_t r = 0; r < rows; ++r)
                    std::memcpy(band + r * rowBytes + offset, tile.data() + r * tileRowBytes,
                                static_cast<size_t>(tileBytesAcross));
            }
        }
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* rowPlanes[16] = {};
            for (int p = 0; p < planes; ++p)
                rowPlanes[p] = bands[static_cast<size_t>(p)].data() + r * rowBytes;
            ConvertRow(l, rowPlanes, width, image.scanLine(static_cast<int>(top + r)));
        }
    }
}

} // namespace

QSize ReadTiffSize(const QByteArray& data, const std::string& fileName) {
    const std::string name = DisplayName(fileName);
    TiffFile file(&data, nullptr, name);
    return StoredSize(OpenForReading(file, data, name), name);
}

QByteArray ReadTiffIccProfile(const QByteArray& data) {
    TiffFile file(&data, nullptr, "picture.tif");
    if (!file.Get()) return {};
    uint32_t size = 0;
    void* profile = nullptr;
    if (!TIFFGetField(file.Get(), TIFFTAG_ICCPROFILE, &size, &profile) || !profile || size == 0) return {};
    return QByteArray(static_cast<const char*>(profile), static_cast<qsizetype>(size));
}

Bitmap DecodeTiff(const QByteArray& data, const std::string& fileName) {
    const std::string name = DisplayName(fileName);
    TiffFile file(&data, nullptr, name);
    TIFF* tif = OpenForReading(file, data, name);
    const QSize size = StoredSize(tif, name);
    bool associatedAlpha = false;
    const Layout layout = ReadLayout(tif, name, associatedAlpha);
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);

    QImage image(size, ImageFormat(layout, associatedAlpha));
    if (image.isNull())
        FailRead(name, "not enough memory for a picture (" + std::to_string(size.width()) + " x " +
                           std::to_string(size.height()) + ")");
    ReadRows(tif, layout, image, name, file);
    try {
        return Upright(Bitmap(image), orientation);
    } catch (const std::exception&) {
        FailRead(name, "not enough memory for a picture (" + std::to_string(size.width()) + " x " +
                           std::to_string(size.height()) + ")");
    }
}

QByteArray EncodeTiff(const Bitmap& bitmap, const std::string& fileName, const QByteArray& iccProfile,
                      const std::function<void(double)>& progress) {
    const std::string name = DisplayName(fileName);
    const auto fail = [&name](const std::string& why) {
        throw PictureError("cannot write " + name + ": " + why);
    };
    if (bitmap.IsEmpty()) fail("the picture is empty");
    QByteArray bytes;
    TiffFile file(nullptr, &bytes, name);
    TIFF* tif = file.Get();
    if (!tif) fail("the TIFF encoder failed (" + file.Error() + ")");
    const auto width = static_cast<uint32_t>(bitmap.Width()), height = static_cast<uint32_t>(bitmap.Height());
    constexpr uint32_t kRowsPerStrip = 64;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    // zlib's quickest level, as for PNG: far less time for a slightly larger file.
    TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
    const int dotsPerMeter = bitmap.Image().dotsPerMeterX();
    if (dotsPerMeter > 0) {
        const double dpi = dotsPerMeter * 0.0254;
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, dpi);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, dpi);
    }
    if (!iccProfile.isEmpty())
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(iccProfile.size()),
                     iccProfile.constData());
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* words = bitmap.Row(static_cast<int>(y));
        for (uint32_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(words[x] >> 16);
            row[3 * x + 1] = static_cast<uint8_t>(words[x] >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(words[x]);
        }
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0)
            fail("the TIFF encoder failed (" + file.Error() + ")");
        if (progress && (y + 1) % kRowsPerStrip == 0) progress(static_cast<double>(y + 1) / height);
    }
    if (!file.Close()) fail("the TIFF encoder failed (" + file.Error() + ")");
    return bytes;
}

} // namespace tw
