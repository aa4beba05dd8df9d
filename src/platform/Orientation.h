#pragma once
// The eight ways a stored picture can lie (the Exif and TIFF orientation tag:
// 1 upright, 2 mirrored, 3 turned half round, ... 8 turned a quarter
// anticlockwise), and turning a picture upright.

#include "platform/Bitmap.h"

#include <cstddef>

namespace tw {

// Orientations 5 to 8 swap width and height.
inline bool SwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// Where stored pixel (x, y) of a width x height picture lands in the upright
// bitmap, as a word index: Origin + x * StepX + y * StepY.
struct Placement {
    ptrdiff_t Origin, StepX, StepY;
};
Placement PlacementFor(int orientation, ptrdiff_t width, ptrdiff_t height, ptrdiff_t stride);

// The stored picture turned upright; the picture itself for orientation 1 or
// one outside 1..8.
Bitmap Upright(const Bitmap& stored, int orientation);

} // namespace tw
