#pragma once
// A 24-bit RGB picture addressed in colour values (R + 256*G + 65536*B).
//
// Pixels are stored as QImage::Format_RGB32 (0xFFRRGGBB) so that Qt can paint
// them without a conversion; red and blue are swapped at this boundary only.

#include <QImage>
#include <QRect>

#include <cstdint>

namespace tw {

using ColorValue = uint32_t;

inline constexpr ColorValue kWhite = 0xFFFFFF;
// What a read outside the bitmap yields: every bit set.
inline constexpr ColorValue kOutside = 0xFFFFFFFF;

// Raw RGB32 word <-> colour value.
inline constexpr ColorValue ColorFromRgb32(uint32_t v) {
    return ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
}
inline constexpr uint32_t Rgb32FromColor(ColorValue c) {
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

class Bitmap {
  public:
    Bitmap() = default;
    // A new bitmap is white, like a fresh canvas.
    Bitmap(int width, int height, ColorValue fill = kWhite);
    // Takes any QImage; transparent pictures are drawn over white, as they would
    // be onto a fresh canvas.
    explicit Bitmap(const QImage& image);

    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    bool IsEmpty() const { return image_.isNull() || Width() == 0 || Height() == 0; }
    QRect Rect() const { return QRect(0, 0, Width(), Height()); }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width() && y < Height(); }

    // Resizing keeps the top-left content; uncovered area becomes white.
    void SetSize(int width, int height);

    ColorValue Pixel(int x, int y) const {
        if (!Contains(x, y)) return kOutside;
        return ColorFromRgb32(Row(y)[x]);
    }
    void SetPixel(int x, int y, ColorValue c) {
        if (Contains(x, y)) Row(y)[x] = Rgb32FromColor(c);
    }

    // Direct row access for whole-bitmap passes (RGB32 words; use the helpers above).
    const uint32_t* Row(int y) const { return reinterpret_cast<const uint32_t*>(image_.constScanLine(y)); }
    uint32_t* Row(int y) { return reinterpret_cast<uint32_t*>(image_.scanLine(y)); }

    void Fill(ColorValue c);
    void FillRect(const QRect& r, ColorValue c);

    // Full copy: size and pixels.
    void Assign(const Bitmap& other) { *this = other; }

    // Unscaled copy of src's srcRect to (x, y); clipped to both bitmaps.
    void CopyRect(int x, int y, const Bitmap& src, const QRect& srcRect);
    // Nearest-pixel stretch of src's srcRect onto dstRect (clipped to this bitmap).
    void StretchPlain(const QRect& dstRect, const Bitmap& src, const QRect& srcRect);
    // Smooth (area-averaging when reducing) stretch of src's srcRect onto dstRect.
    void StretchHalftone(const QRect& dstRect, const Bitmap& src, const QRect& srcRect);
    // Draws src at (x, y) with white as the transparent colour: only non-white pixels land.
    void DrawTransparent(int x, int y, const Bitmap& src);
    // The same, limited to the area of this bitmap.
    void DrawTransparentIn(const QRect& area, int x, int y, const Bitmap& src);

    const QImage& Image() const { return image_; }
    QImage& Image() { return image_; }

    bool operator==(const Bitmap& other) const;

  private:
    QImage image_;
};

} // namespace tw
