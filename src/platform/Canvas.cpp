#include "platform/Canvas.h"

#include <cmath>

namespace tw {

void Canvas::StretchDraw(const QRect& dstRect, const Bitmap& src, const QRect& srcRect, StretchMode mode) {
    if (dstRect.isEmpty() || srcRect.isEmpty()) return;
    const QRect dst = dstRect.translated(-Origin);
    if (mode == StretchMode::Plain) {
        target_.StretchPlain(dst, src, srcRect);
        return;
    }
    const QRect inside = srcRect.intersected(src.Rect());
    if (inside.isEmpty()) return;
    if (inside == srcRect) {
        target_.StretchHalftone(dst, src, srcRect);
        return;
    }
    // Keep the mapping that srcRect -> dstRect defines, for the part that exists.
    const double sx = static_cast<double>(dst.width()) / srcRect.width();
    const double sy = static_cast<double>(dst.height()) / srcRect.height();
    const int left = dst.left() + static_cast<int>(std::lround((inside.left() - srcRect.left()) * sx));
    const int top = dst.top() + static_cast<int>(std::lround((inside.top() - srcRect.top()) * sy));
    const int right = dst.left() + static_cast<int>(std::lround((inside.right() + 1 - srcRect.left()) * sx));
    const int bottom = dst.top() + static_cast<int>(std::lround((inside.bottom() + 1 - srcRect.top()) * sy));
    target_.StretchHalftone(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), src, inside);
}

} // namespace tw
