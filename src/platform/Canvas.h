#pragma once
// Drawing onto a Bitmap in logical coordinates: the logical point Origin lands
// on the bitmap's (0, 0), so a buffer the size of a visible window can stand in
// for a much larger surface. Reading a pixel sees what was drawn so far.
//
// The pixel operations are virtual so that a canvas which also draws with a
// painter (or onto a surface that is not a Bitmap) can stand in wherever a
// Canvas is expected.

#include "platform/Bitmap.h"

#include <QPoint>
#include <QRect>

namespace tw {

enum class StretchMode { Plain, Halftone };

class Canvas {
  public:
    explicit Canvas(Bitmap& target, QPoint origin = {}) : target_(target), Origin(origin) {}
    virtual ~Canvas() = default;

    Bitmap& Target() { return target_; }
    // Logical rectangle currently covered by the target.
    virtual QRect Bounds() const { return target_.Rect().translated(Origin); }

    virtual ColorValue Pixel(int x, int y) const { return target_.Pixel(x - Origin.x(), y - Origin.y()); }
    virtual void SetPixel(int x, int y, ColorValue c) { target_.SetPixel(x - Origin.x(), y - Origin.y(), c); }
    virtual void FillRect(const QRect& r, ColorValue c) { target_.FillRect(r.translated(-Origin), c); }

    // Stretches src's srcRect onto the logical dstRect. Parts of srcRect beyond src
    // are left unpainted (halftone) or read as white (plain).
    virtual void StretchDraw(const QRect& dstRect, const Bitmap& src, const QRect& srcRect, StretchMode mode);
    // Draws src at logical (x, y); white pixels are transparent.
    virtual void DrawTransparent(int x, int y, const Bitmap& src) {
        target_.DrawTransparent(x - Origin.x(), y - Origin.y(), src);
    }

  private:
    Bitmap& target_;

  public:
    QPoint Origin;
};

} // namespace tw
