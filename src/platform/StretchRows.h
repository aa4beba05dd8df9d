#pragma once
// Bitmap's smooth stretch for a source that is not held as one bitmap (the
// view's tiles of the full-size result): its rows are asked for as they are
// needed. Bitmap::StretchHalftone is this over a bitmap.

#include "platform/Bitmap.h"

#include <QRect>
#include <QSize>

#include <cstdint>
#include <functional>

namespace tw {

// Pixels x0..x1 of source row y, kept until the next call.
using TSourceRow = std::function<const uint32_t*(int y, int x0, int x1)>;

// Smooth (area-averaging when reducing) stretch of a source of srcSize onto
// dstRect; only the destination pixels within target are worked out, and only
// the source pixels they need are asked for.
void StretchHalftoneRows(Bitmap& target, const QRect& dstRect, QSize srcSize, const TSourceRow& rowAt);

} // namespace tw
