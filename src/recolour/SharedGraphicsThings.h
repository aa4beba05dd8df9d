#pragma once

#include "colour/HSV.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"

#include <QPoint>
#include <QSize>

#include <cstdint>
#include <vector>

// What zoomed painting needs to know of the scroll box the surface sits in.
struct TScrollBoxState {
    bool HorzVisible = false;
    int HorzPosition = 0;
    bool VertVisible = false;
    int VertPosition = 0;
    int Width = 0;  // client width of the scroll box
    int Height = 0; // client height
};

// Class operations shared by the main window and the mask dialog.
class TSharedGraphicsThings {
  public:
    TSharedGraphicsThings() = delete;

    // Zoom levels 0..9: 0.05, 0.1, 0.25, 0.5, 1, 1.5, 2, 2.5, 5, 10; any other index gives 1.
    static double ZoomFactor(uint8_t index);
    static constexpr uint8_t kZoomLevels = 10;

    // Paints bitmaps[0] zoomed (smooth) with every further bitmap drawn over it
    // (plain stretch, white transparent) onto a canvas addressed in zoomed-picture
    // coordinates, only where the scroll box shows it. Holds GraphicsLock
    // throughout: the mask worker may be writing an overlay.
    static void PaintZoomed(const TScrollBoxState& box, const std::vector<const tw::Bitmap*>& bitmaps,
                            uint8_t zoomIndex, tw::Canvas& canvas);

    // The picture pixel that PaintZoomed shows at a point of the canvas: the one
    // whose enlarged (or reduced) square holds the point's centre. Scrolled, this
    // can differ by one from the point divided by the zoom factor.
    static QPoint PictureAt(const TScrollBoxState& box, QSize base, uint8_t zoomIndex, QPoint at);

    // Tolerances (percent of 360, 255, 255) that admit every sample when compared
    // to the reference: the largest absolute difference per channel, hue measured
    // the short way round the circle. Result: H = hue, S = saturation, V = value
    // tolerance.
    static void ToleranceFromSamples(const THSVValues& reference, const std::vector<THSVValues>& samples,
                                     THSVValues& result);
    // The tolerances that admit every pixel of the square of the given half width
    // around the seed, compared to the seed's own colour; positions outside the
    // picture are skipped.
    static THSVValues SuggestTolerance(const tw::Bitmap& picture, QPoint seed, int halfWidth);
};
