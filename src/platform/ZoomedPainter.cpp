#include "platform/ZoomedPainter.h"

#include "platform/GraphicsLock.h"
#include "platform/Rounding.h"

#include <algorithm>
#include <cmath>

namespace tw {

double ZoomFactor(int step) {
    static constexpr double kFactors[kZoomSteps] = {0.05, 0.1, 0.25, 0.5, 1, 1.5, 2, 2.5, 5, 10};
    return step >= 0 && step < kZoomSteps ? kFactors[step] : 1.0;
}

namespace {

// The window of the zoomed picture that the scroll box shows, in zoomed
// coordinates: [x0, x1) x [y0, y1).
struct TZoomWindow {
    double x0, x1, y0, y1;
};

TZoomWindow VisibleWindow(const ScrollBoxState& box, QSize base, double z) {
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

QPoint PictureAtZoomed(const ScrollBoxState& box, QSize base, int zoomStep, QPoint at) {
    return PictureAtZoomedBy(box, base, ZoomFactor(zoomStep), at);
}

QPoint PictureAtZoomedBy(const ScrollBoxState& box, QSize base, double z, QPoint at) {
    const TZoomWindow w = VisibleWindow(box, base, z);
    return {SourceAt(w.x0, w.x1, z, at.x()), SourceAt(w.y0, w.y1, z, at.y())};
}

void PaintZoomed(const ScrollBoxState& box, const std::vector<const Bitmap*>& bitmaps, int zoomStep,
                 Canvas& canvas) {
    PaintZoomedBy(box, bitmaps, ZoomFactor(zoomStep), canvas);
}

void PaintZoomedBy(const ScrollBoxState& box, const std::vector<const Bitmap*>& bitmaps, double z,
                   Canvas& canvas) {
    TGraphicsLockGuard lock;
    if (bitmaps.empty() || !bitmaps.front()) return;
    const Bitmap& base = *bitmaps.front();
    const auto [x0, x1, y0, y1] = VisibleWindow(box, base.Rect().size(), z);
    const QRect source(QPoint(Round(x0 / z), Round(y0 / z)), QPoint(Round(x1 / z) - 1, Round(y1 / z) - 1));
    const QRect dest(QPoint(Round(x0), Round(y0)), QPoint(Round(x1) - 1, Round(y1) - 1));
    canvas.StretchDraw(dest, base, source, StretchMode::Halftone);
    if (bitmaps.size() < 2 || source.isEmpty()) return;
    Bitmap overlay(std::max(0, Round(x1 - x0)), std::max(0, Round(y1 - y0)));
    for (size_t i = 1; i < bitmaps.size(); ++i) {
        if (!bitmaps[i]) continue;
        overlay.StretchPlain(overlay.Rect(), *bitmaps[i], source);
        canvas.DrawTransparent(Round(x0), Round(y0), overlay);
    }
}

} // namespace tw
