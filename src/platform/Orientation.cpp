#include "platform/Orientation.h"

namespace tw {

Placement PlacementFor(int orientation, ptrdiff_t width, ptrdiff_t height, ptrdiff_t stride) {
    const ptrdiff_t w = width - 1, h = height - 1;
    switch (orientation) {
    case 2:
        return {w, -1, stride}; // mirror left to right
    case 3:
        return {h * stride + w, -1, -stride}; // turn half round
    case 4:
        return {h * stride, 1, -stride}; // mirror top to bottom
    case 5:
        return {0, stride, 1}; // mirror across the main diagonal
    case 6:
        return {h, stride, -1}; // turn a quarter clockwise
    case 7:
        return {w * stride + h, -stride, -1}; // mirror across the other diagonal
    case 8:
        return {w * stride, -stride, 1}; // turn a quarter anticlockwise
    default:
        return {0, 1, stride};
    }
}

Bitmap Upright(const Bitmap& stored, int orientation) {
    if (orientation < 2 || orientation > 8 || stored.IsEmpty()) return stored;
    const int width = stored.Width(), height = stored.Height();
    Bitmap upright = SwapsSides(orientation) ? Bitmap(height, width) : Bitmap(width, height);
    const Placement place = PlacementFor(orientation, width, height, upright.Image().bytesPerLine() / 4);
    uint32_t* target = upright.Row(0);
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = stored.Row(y);
        uint32_t* at = target + place.Origin + y * place.StepY;
        for (int x = 0; x < width; ++x)
            at[x * place.StepX] = row[x];
    }
    return upright;
}

} // namespace tw
