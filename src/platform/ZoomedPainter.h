#pragma once
// The zoom steps the views offer, and a picture painted zoomed into the part of
// a scrolled view that shows: the main view and the mask dialog's preview.

#include "platform/Bitmap.h"
#include "platform/Canvas.h"

#include <QPoint>
#include <QSize>

#include <cstdint>
#include <vector>

namespace tw {

// Zoom steps 0..9: 0.05, 0.1, 0.25, 0.5, 1, 1.5, 2, 2.5, 5, 10; any other index gives 1.
inline constexpr int kZoomSteps = 10;
inline constexpr int kZoom100Step = 4;
double ZoomFactor(int step);

// What zoomed painting needs to know of the scroll box the surface sits in.
struct ScrollBoxState {
    bool HorzVisible = false;
    int HorzPosition = 0;
    bool VertVisible = false;
    int VertPosition = 0;
    int Width = 0;  // client width of the scroll box
    int Height = 0; // client height
};

// Paints bitmaps[0] zoomed (smooth) with every further bitmap drawn over it
// (plain stretch, white transparent) onto a canvas addressed in zoomed-picture
// coordinates, only where the scroll box shows it. Holds GraphicsLock
// throughout: the mask worker may be writing an overlay.
void PaintZoomed(const ScrollBoxState& box, const std::vector<const Bitmap*>& bitmaps, int zoomStep,
                 Canvas& canvas);
// The same at any factor (a view whose steps are the photo's zooms).
void PaintZoomedBy(const ScrollBoxState& box, const std::vector<const Bitmap*>& bitmaps, double factor,
                   Canvas& canvas);

// The picture pixel that PaintZoomed shows at a point of the canvas: the one
// whose enlarged (or reduced) square holds the point's centre. Scrolled, this
// can differ by one from the point divided by the zoom factor.
QPoint PictureAtZoomed(const ScrollBoxState& box, QSize base, int zoomStep, QPoint at);
QPoint PictureAtZoomedBy(const ScrollBoxState& box, QSize base, double factor, QPoint at);

} // namespace tw
