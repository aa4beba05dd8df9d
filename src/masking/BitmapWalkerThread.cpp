#include "masking/BitmapWalkerThread.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

QPoint ClampInto(QPoint p, const tw::Bitmap& picture) {
    return QPoint(std::clamp(p.x(), 0, std::max(0, picture.Width() - 1)),
                  std::clamp(p.y(), 0, std::max(0, picture.Height() - 1)));
}

int32_t IntervalFor(double zoom) {
    if (!(zoom > 0)) zoom = 1;
    const double interval = std::nearbyint(1000 / zoom);
    return static_cast<int32_t>(std::clamp(interval, 1.0, 1e9));
}

} // namespace

TBitmapWalkerThread::TBitmapWalkerThread(const tw::Bitmap& source, double previewZoom,
                                         const TTintwellSettings& settings, const TWalkerRules& rules, QPoint seed,
                                         tw::Bitmap& mask)
    : source_(source), mask_(mask), seed_(ClampInto(seed, source)), rules_(rules),
      recolorer_(settings, source, mask), sourceStore_(std::make_unique<TThreadSafeBitmap>(source, *this)),
      previewZoom_(previewZoom), progressInterval_(IntervalFor(previewZoom)) {}

TBitmapWalkerThread::~TBitmapWalkerThread() {
    // A thread that frees itself is already past its end; others are waited for
    // before the members they use go away.
    WaitFor();
}

void TBitmapWalkerThread::BuildTileSync() {
    Synchronize([this] { PendingStore->BuildPendingTile(); });
}

void TBitmapWalkerThread::DoProgress() {
    Synchronize([this] {
        if (OnProgress) OnProgress(this);
    });
}

void TBitmapWalkerThread::Execute() {
    if (source_.IsEmpty() || mask_.Width() < source_.Width() || mask_.Height() < source_.Height()) {
        DoProgress();
        return;
    }
    seedHsv_ = ColorToHSVValues(ReadColor(seed_));
    IncludePoint(seed_);
    VisitNeighbours(seed_);
    int64_t k = 0;
    while (!queue_.empty()) {
        const QPoint p(queue_.front().X, queue_.front().Y);
        queue_.pop_front();
        VisitNeighbours(p);
        ++k;
        if (k % progressInterval_ == 0) DoProgress();
    }
    DoProgress();
}

void TBitmapWalkerThread::VisitNeighbours(QPoint p) {
    const int x = p.x(), y = p.y();
    TryNeighbour(p, {x - 1, y - 1});
    TryNeighbour(p, {x, y - 1});
    TryNeighbour(p, {x + 1, y - 1});
    TryNeighbour(p, {x - 1, y});
    TryNeighbour(p, {x + 1, y});
    TryNeighbour(p, {x - 1, y + 1});
    TryNeighbour(p, {x, y + 1});
    TryNeighbour(p, {x + 1, y + 1});
}

void TBitmapWalkerThread::TryNeighbour(QPoint p, QPoint q) {
    if (Terminated()) return;
    if (Accepts(p, q)) {
        IncludePoint(q);
        queue_.emplace_back(q);
    }
}

bool TBitmapWalkerThread::PassesRules(const TWalkerRules& rules, const THSVValues& r, const THSVValues& c) {
    // Tolerances stay real: the products are integers, the division by 100 real.
    if (rules.UseHue) {
        const double th = std::abs(static_cast<int64_t>(rules.HueDeviation) * 360) / 100.0;
        const double lo = r.H - th, hi = r.H + th;
        const bool direct = lo <= c.H && c.H <= hi;
        const bool wrappedLow = lo < 0 && c.H > lo + 360;
        const bool wrappedHigh = hi > 360 && c.H < hi - 360;
        if (!direct && !wrappedLow && !wrappedHigh) return false;
    }
    if (rules.UseSaturation) {
        const double ts = std::abs(static_cast<int64_t>(rules.SaturationDeviation) * 255) / 100.0;
        if (!(r.S - ts <= c.S && c.S <= r.S + ts)) return false;
    }
    if (rules.UseValue) {
        const double tv = std::abs(static_cast<int64_t>(rules.ValueDeviation) * 255) / 100.0;
        if (!(r.V - tv <= c.V && c.V <= r.V + tv)) return false;
    }
    return true;
}

bool TBitmapWalkerThread::Accepts(QPoint p, QPoint q) {
    if (q.x() < 0 || q.x() >= mask_.Width() || q.y() < 0 || q.y() >= mask_.Height()) return false;
    if (q.x() >= source_.Width() || q.y() >= source_.Height()) return false;
    if (sourceStore_->IsVisited(q.x(), q.y())) return false;
    if (!rules_.UseHue && !rules_.UseSaturation && !rules_.UseValue) return false;
    const THSVValues candidate = ColorToHSVValues(ReadColor(q));
    if (!rules_.CompareToNeighbour) return PassesRules(rules_, seedHsv_, candidate);
    if (p != referencePoint_) {
        referenceHsv_ = ColorToHSVValues(ReadColor(p));
        referencePoint_ = p;
    }
    return PassesRules(rules_, referenceHsv_, candidate);
}

TColorValue TBitmapWalkerThread::ReadColor(QPoint p) {
    if (!rules_.NineValueAverage) return sourceStore_->ColorAt(p.x(), p.y());
    // On the border only the positions inside the picture count, and divide.
    int32_t r = 0, g = 0, b = 0, n = 0;
    for (int y = p.y() - 1; y <= p.y() + 1; ++y)
        for (int x = p.x() - 1; x <= p.x() + 1; ++x) {
            if (x < 0 || y < 0 || x >= source_.Width() || y >= source_.Height()) continue;
            TRGBValues rgb;
            sourceStore_->RGBAt(x, y, rgb);
            r += rgb.R, g += rgb.G, b += rgb.B, ++n;
        }
    return RGBToColor(r / n, g / n, b / n);
}

void TBitmapWalkerThread::IncludePoint(QPoint p) {
    const TColorValue color = sourceStore_->ColorAt(p.x(), p.y());
    PaintMaskPixel(p, recolorer_.TransformColor(color));
    sourceStore_->MarkVisited(p.x(), p.y());
}

void TBitmapWalkerThread::PaintMaskPixel(QPoint p, TColorValue color) {
    TGraphicsLockGuard lock;
    mask_.SetPixel(p.x(), p.y(), color);
}
