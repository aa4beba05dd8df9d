#include "recolour/SharedGraphicsThings.h"

#include "colour/ThreadSafeBitmap.h"

#include <algorithm>
#include <cstdlib>

double TSharedGraphicsThings::ZoomFactor(uint8_t index) {
    static constexpr double kFactors[kZoomLevels] = {0.05, 0.1, 0.25, 0.5, 1, 1.5, 2, 2.5, 5, 10};
    return index < kZoomLevels ? kFactors[index] : 1.0;
}

void TSharedGraphicsThings::ToleranceFromSamples(const THSVValues& reference,
                                                 const std::vector<THSVValues>& samples, THSVValues& result) {
    int32_t maxH = 0, maxS = 0, maxV = 0;
    for (const THSVValues& s : samples) {
        // Hue is a circle: 355 lies 9 degrees from 4, as the walk compares them.
        const int32_t dH = std::abs(reference.H - s.H);
        maxH = std::max(maxH, std::min(dH, 360 - dH));
        maxS = std::max(maxS, std::abs(reference.S - s.S));
        maxV = std::max(maxV, std::abs(reference.V - s.V));
    }
    result = {Round(maxH / 3.6), Round(maxS / 2.55), Round(maxV / 2.55)};
}

void TSharedGraphicsThings::PaintZoomed(const TScrollBoxState& box,
                                        const std::vector<const tw::Bitmap*>& bitmaps, uint8_t zoomIndex,
                                        tw::Canvas& canvas) {
    TGraphicsLockGuard lock;
    if (bitmaps.empty() || !bitmaps.front()) return;
    const tw::Bitmap& base = *bitmaps.front();
    const double z = ZoomFactor(zoomIndex);
    double x0 = 0, x1 = base.Width() * z, y0 = 0, y1 = base.Height() * z;
    if (box.HorzVisible) {
        x0 = box.HorzPosition;
        x1 = box.Width + x0;
    }
    if (box.VertVisible) {
        y0 = box.VertPosition;
        y1 = box.Height + y0;
    }
    const QRect source(QPoint(Round(x0 / z), Round(y0 / z)), QPoint(Round(x1 / z) - 1, Round(y1 / z) - 1));
    const QRect dest(QPoint(Round(x0), Round(y0)), QPoint(Round(x1) - 1, Round(y1) - 1));
    canvas.StretchDraw(dest, base, source, tw::StretchMode::Halftone);
    if (bitmaps.size() < 2 || source.isEmpty()) return;
    tw::Bitmap overlay(std::max(0, Round(x1 - x0)), std::max(0, Round(y1 - y0)));
    for (size_t i = 1; i < bitmaps.size(); ++i) {
        if (!bitmaps[i]) continue;
        overlay.StretchPlain(overlay.Rect(), *bitmaps[i], source);
        canvas.DrawTransparent(Round(x0), Round(y0), overlay);
    }
}
