#include "platform/Metafile.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace tw {
namespace {

constexpr uint32_t kSrcCopy = 0x00CC0020;
constexpr uint16_t kDibRgbColors = 0;
constexpr int kDpi = 96;
constexpr int32_t kPelsPerMetre = 3780; // 96 dpi, rounded

constexpr int64_t kDibHeaderBytes = 40;

// Both formats are little-endian; the buffer is sized exactly up front and filled in order.
class Writer {
  public:
    explicit Writer(QByteArray& out) : p_(reinterpret_cast<uint8_t*>(out.data())) {}

    void U16(uint16_t v) {
        p_[0] = static_cast<uint8_t>(v);
        p_[1] = static_cast<uint8_t>(v >> 8);
        p_ += 2;
    }
    void I16(int v) { U16(static_cast<uint16_t>(static_cast<int16_t>(v))); }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void I32(int64_t v) { U32(static_cast<uint32_t>(static_cast<int32_t>(v))); }

    // A 24-bit bottom-up DIB: BGR bytes, rows padded to four bytes with zeros.
    void DibHeader(const Bitmap& bitmap, int64_t bitsBytes) {
        U32(kDibHeaderBytes);
        I32(bitmap.Width());
        I32(bitmap.Height()); // positive: bottom-up
        U16(1);               // planes
        U16(24);              // bits per pixel
        U32(0);               // BI_RGB
        U32(static_cast<uint32_t>(bitsBytes));
        I32(kPelsPerMetre);
        I32(kPelsPerMetre);
        U32(0); // colours used
        U32(0); // colours important
    }
    void DibBits(const Bitmap& bitmap, int64_t stride) {
        const int w = bitmap.Width();
        const int64_t pad = stride - int64_t{w} * 3;
        for (int y = bitmap.Height() - 1; y >= 0; --y) {
            const uint32_t* row = bitmap.Row(y);
            // An RGB32 word 0xFFRRGGBB already is B, G, R in little-endian byte order.
            for (int x = 0; x < w; ++x) {
                const uint32_t v = row[x];
                p_[0] = static_cast<uint8_t>(v);
                p_[1] = static_cast<uint8_t>(v >> 8);
                p_[2] = static_cast<uint8_t>(v >> 16);
                p_ += 3;
            }
            std::memset(p_, 0, static_cast<size_t>(pad));
            p_ += pad;
        }
    }

    const uint8_t* Position() const { return p_; }

  private:
    uint8_t* p_;
};

int64_t DibStride(const Bitmap& bitmap) {
    return (int64_t{bitmap.Width()} * 3 + 3) & ~int64_t{3};
}

[[noreturn]] void TooLarge() {
    throw std::runtime_error("the picture is too large for a metafile");
}

void RequireNotEmpty(const Bitmap& bitmap) {
    if (bitmap.IsEmpty()) throw std::runtime_error("an empty picture cannot be stored in a metafile");
}

QByteArray Allocate(int64_t bytes) {
    QByteArray out(static_cast<qsizetype>(bytes), Qt::Uninitialized);
    if (out.size() != bytes) throw std::runtime_error("not enough memory for the metafile");
    return out;
}

void CheckFilled(const QByteArray& out, const Writer& writer) {
    if (writer.Position() != reinterpret_cast<const uint8_t*>(out.constData()) + out.size())
        throw std::logic_error("metafile size miscounted");
}

} // namespace

QByteArray EncodeEmf(const Bitmap& bitmap) {
    RequireNotEmpty(bitmap);
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    const int64_t stride = DibStride(bitmap);
    const int64_t bitsBytes = stride * h;

    constexpr int64_t kHeaderBytes = 108; // with the pixel-format and micrometre extensions
    constexpr int64_t kStretchFixedBytes = 80;
    constexpr int64_t kEofBytes = 20;
    const int64_t stretchBytes = kStretchFixedBytes + kDibHeaderBytes + bitsBytes;
    const int64_t total = kHeaderBytes + stretchBytes + kEofBytes;
    if (total > std::numeric_limits<uint32_t>::max()) TooLarge();

    // A reference device of 1920 x 1440 pixels is exactly 508 x 381 mm at 96 dpi.
    constexpr int32_t kDeviceW = 1920, kDeviceH = 1440;
    constexpr int32_t kDeviceMmW = kDeviceW * 254 / (kDpi * 10), kDeviceMmH = kDeviceH * 254 / (kDpi * 10);
    static_assert(kDeviceMmW * kDpi * 10 == kDeviceW * 254 && kDeviceMmH * kDpi * 10 == kDeviceH * 254);

    QByteArray out = Allocate(total);
    Writer o(out);

    // EMR_HEADER. Bounds are inclusive device pixels; the frame is the same area in 0.01 mm.
    o.U32(1);
    o.U32(kHeaderBytes);
    o.I32(0), o.I32(0), o.I32(w - 1), o.I32(h - 1);
    o.I32(0), o.I32(0);
    o.I32(static_cast<int64_t>(std::nearbyint(w * 2540.0 / kDpi)) - 1);
    o.I32(static_cast<int64_t>(std::nearbyint(h * 2540.0 / kDpi)) - 1);
    o.U32(0x464D4520); // " EMF"
    o.U32(0x10000);
    o.U32(static_cast<uint32_t>(total));
    o.U32(3); // records
    o.U16(1); // handles: the reserved entry zero only
    o.U16(0);
    o.U32(0), o.U32(0); // no description
    o.U32(0);           // no palette
    o.I32(kDeviceW), o.I32(kDeviceH);
    o.I32(kDeviceMmW), o.I32(kDeviceMmH);
    o.U32(0), o.U32(0), o.U32(0); // no pixel format, not OpenGL
    o.I32(kDeviceMmW * 1000), o.I32(kDeviceMmH * 1000);

    // EMR_STRETCHDIBITS: the whole DIB onto (0, 0, w, h).
    o.U32(81);
    o.U32(static_cast<uint32_t>(stretchBytes));
    o.I32(0), o.I32(0), o.I32(w - 1), o.I32(h - 1);
    o.I32(0), o.I32(0);                     // destination
    o.I32(0), o.I32(0), o.I32(w), o.I32(h); // source
    o.U32(kStretchFixedBytes), o.U32(kDibHeaderBytes);
    o.U32(kStretchFixedBytes + kDibHeaderBytes), o.U32(static_cast<uint32_t>(bitsBytes));
    o.U32(kDibRgbColors);
    o.U32(kSrcCopy);
    o.I32(w), o.I32(h); // destination size
    o.DibHeader(bitmap, bitsBytes);
    o.DibBits(bitmap, stride);

    // EMR_EOF: no palette; the palette offset points just past the fixed fields, as usual.
    o.U32(14);
    o.U32(kEofBytes);
    o.U32(0), o.U32(16);
    o.U32(kEofBytes);

    CheckFilled(out, o);
    return out;
}

QByteArray EncodeWmf(const Bitmap& bitmap) {
    RequireNotEmpty(bitmap);
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    // Coordinates are signed 16-bit.
    if (w > std::numeric_limits<int16_t>::max() || h > std::numeric_limits<int16_t>::max()) TooLarge();
    const int64_t stride = DibStride(bitmap);
    const int64_t bitsBytes = stride * h;

    constexpr int64_t kPlaceableBytes = 22;
    constexpr int64_t kHeaderBytes = 18;
    constexpr int64_t kWindowRecordBytes = 10;
    constexpr int64_t kStretchFixedBytes = 28;
    constexpr int64_t kEofBytes = 6;
    const int64_t stretchBytes = kStretchFixedBytes + kDibHeaderBytes + bitsBytes;
    const int64_t total = kPlaceableBytes + kHeaderBytes + 2 * kWindowRecordBytes + stretchBytes + kEofBytes;
    // Record and file sizes are counted in 16-bit words in 32-bit fields.
    const int64_t metafileWords = (total - kPlaceableBytes) / 2;
    if (metafileWords > std::numeric_limits<uint32_t>::max()) TooLarge();

    QByteArray out = Allocate(total);
    Writer o(out);

    // Placeable header: bounds in logical units, 96 of them to the inch.
    o.U32(0x9AC6CDD7);
    o.U16(0); // handle
    o.I16(0), o.I16(0), o.I16(w), o.I16(h);
    o.U16(kDpi);
    o.U32(0);
    uint16_t checksum = 0;
    for (int i = 0; i < 10; ++i) {
        checksum ^= static_cast<uint16_t>(static_cast<uint8_t>(out[2 * i]) |
                                          static_cast<uint8_t>(out[2 * i + 1]) << 8);
    }
    o.U16(checksum);

    // METAHEADER: sizes leave out the placeable header, which readers do not count.
    o.U16(1);      // in memory
    o.U16(9);      // header words
    o.U16(0x0300); // version
    o.U32(static_cast<uint32_t>(metafileWords));
    o.U16(0); // objects
    o.U32(static_cast<uint32_t>(stretchBytes / 2));
    o.U16(0);

    // Parameters of these two records are stored y first.
    o.U32(5), o.U16(0x020B), o.I16(0), o.I16(0); // META_SETWINDOWORG
    o.U32(5), o.U16(0x020C), o.I16(h), o.I16(w); // META_SETWINDOWEXT

    // META_STRETCHDIB, parameters in reverse: source h, w, y, x; then destination h, w, y, x.
    o.U32(static_cast<uint32_t>(stretchBytes / 2));
    o.U16(0x0F43);
    o.U32(kSrcCopy);
    o.U16(kDibRgbColors);
    o.I16(h), o.I16(w), o.I16(0), o.I16(0);
    o.I16(h), o.I16(w), o.I16(0), o.I16(0);
    o.DibHeader(bitmap, bitsBytes);
    o.DibBits(bitmap, stride);

    o.U32(3), o.U16(0); // META_EOF

    CheckFilled(out, o);
    return out;
}

} // namespace tw
