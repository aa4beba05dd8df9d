#include "recolour/SharedGraphicsThings.h"

#include "platform/GraphicsLock.h"

#include <algorithm>
#include <cmath>
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

THSVValues TSharedGraphicsThings::SuggestTolerance(const tw::Bitmap& picture, QPoint seed, int halfWidth) {
    std::vector<THSVValues> samples;
    const int left = std::max(0, seed.x() - halfWidth),
              right = std::min(picture.Width() - 1, seed.x() + halfWidth);
    const int top = std::max(0, seed.y() - halfWidth),
              bottom = std::min(picture.Height() - 1, seed.y() + halfWidth);
    if (left <= right && top <= bottom)
        samples.reserve(static_cast<size_t>(right - left + 1) * static_cast<size_t>(bottom - top + 1));
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            samples.push_back(ColorToHSVValues(picture.Pixel(x, y)));
    THSVValues result;
    ToleranceFromSamples(ColorToHSVValues(picture.Pixel(seed.x(), seed.y())), samples, result);
    return result;
}

namespace {

// The window of the zoomed picture that the scroll box shows, in zoomed
// coordinates: [x0, x1) x [y0, y1).
struct TZoomWindow {
    double x0, x1, y0, y1;
};

TZoomWindow VisibleWindow(const TScrollBoxState& box, QSize base, double z) {
    TZoomWindow w{0, base.width() * z, 0, base.height() * z};
    if (box.HorzVisible) {
        w.x0 = box.HorzPosition;
        w.x1 = box.Width + w.x0;
    }
    if (box.VertVisible) {
        w.y0 = box.VertPosition;
        w.y1 = box.Height + w.y0;
    }
    return w;
}

// Along one axis: the source pixel whose share of the stretch covers the
// centre of canvas pixel v, for the window [v0, v1).
int SourceAt(double v0, double v1, double z, int v) {
    const int s0 = Round(v0 / z), s1 = Round(v1 / z);
    const int d0 = Round(v0), d1 = Round(v1);
    if (d1 <= d0 || s1 <= s0) return static_cast<int>(std::floor(v / z));
    return s0 + static_cast<int>(std::floor((v - d0 + 0.5) * (s1 - s0) / (d1 - d0)));
}

} // namespace

QPoint TSharedGraphicsThings::PictureAt(const TScrollBoxState& box, QSize base, uint8_t zoomIndex,
                                        QPoint at) {
    const double z = ZoomFactor(zoomIndex);
    const TZoomWindow w = VisibleWindow(box, base, z);
    return {SourceAt(w.x0, w.x1, z, at.x()), SourceAt(w.y0, w.y1, z, at.y())};
}

void TSharedGraphicsThings::PaintZoomed(const TScrollBoxState& box,
                                        const std::vector<const tw::Bitmap*>& bitmaps, uint8_t zoomIndex,
                                        tw::Canvas& canvas) {
    TGraphicsLockGuard lock;
    if (bitmaps.empty() || !bitmaps.front()) return;
    const tw::Bitmap& base = *bitmaps.front();
    const double z = ZoomFactor(zoomIndex);
    const auto [x0, x1, y0, y1] = VisibleWindow(box, base.Rect().size(), z);
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
