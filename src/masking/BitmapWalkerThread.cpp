#include "masking/BitmapWalkerThread.h"

#include "platform/GraphicsLock.h"

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
                                         const TTintwellSettings& settings, const TWalkerRules& rules,
                                         QPoint seed, tw::Bitmap& mask)
    : source_(source), mask_(mask), seed_(ClampInto(seed, source)), rules_(rules),
      recolorer_(settings, source, mask), sourceStore_(std::make_unique<TThreadSafeBitmap>(source, *this)),
      progressInterval_(IntervalFor(previewZoom)), width_(std::min(source.Width(), mask.Width())),
      height_(std::min(source.Height(), mask.Height())), tolerances_(rules), tables_(THSVTables::Get()) {}

TBitmapWalkerThread::Tolerances::Tolerances(const TWalkerRules& rules)
    : useHue(rules.UseHue), useSaturation(rules.UseSaturation), useValue(rules.UseValue),
      any(rules.UseHue || rules.UseSaturation || rules.UseValue),
      // The products are integers, the division by 100 real.
      th(static_cast<double>(std::abs(static_cast<int64_t>(rules.HueDeviation) * 360)) / 100.0),
      ts(static_cast<double>(std::abs(static_cast<int64_t>(rules.SaturationDeviation) * 255)) / 100.0),
      tv(static_cast<double>(std::abs(static_cast<int64_t>(rules.ValueDeviation) * 255)) / 100.0) {}

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
    seedHsv_ = HsvAt(seed_);
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

inline THSVValues TBitmapWalkerThread::HsvAt(QPoint p) {
    const TColorValue c = ReadColor(p);
    return tables_.ToHSV(static_cast<int32_t>(c & 0xFF), static_cast<int32_t>((c >> 8) & 0xFF),
                         static_cast<int32_t>(c >> 16));
}

bool TBitmapWalkerThread::Accepts(QPoint p, QPoint q) {
    if (q.x() < 0 || q.x() >= width_ || q.y() < 0 || q.y() >= height_) return false;
    if (sourceStore_->IsVisited(q.x(), q.y())) return false;
    if (!tolerances_.any) return false;
    const THSVValues candidate = HsvAt(q);
    if (!rules_.CompareToNeighbour) return tolerances_.Pass(seedHsv_, candidate);
    // The reference is read once per expanded pixel: reading is deterministic.
    if (p != referencePoint_) {
        referenceHsv_ = HsvAt(p);
        referencePoint_ = p;
    }
    return tolerances_.Pass(referenceHsv_, candidate);
}

TColorValue TBitmapWalkerThread::ReadColor(QPoint p) {
    if (!rules_.NineValueAverage) return sourceStore_->ColorAt(p.x(), p.y());
    // On the border only the positions inside the picture count, and divide.
    int32_t r = 0, g = 0, b = 0, n = 0;
    for (int y = p.y() - 1; y <= p.y() + 1; ++y)
        for (int x = p.x() - 1; x <= p.x() + 1; ++x) {
            if (x < 0 || y < 0 || x >= width_ || y >= height_) continue;
            TRGBValues rgb;
            sourceStore_->RGBAt(x, y, rgb);
            r += rgb.R, g += rgb.G, b += rgb.B, ++n;
        }
    return RGBToColor(r / n, g / n, b / n);
}

void TBitmapWalkerThread::IncludePoint(QPoint p) {
    // Always the single pixel, never the 3 x 3 average.
    TThreadSafeBitmapPart& tile = sourceStore_->TileAt(p.x(), p.y());
    PaintMaskPixel(p, recolorer_.TransformColor(tile.ColorAt(p.x(), p.y())));
    tile.MarkVisited(p.x(), p.y());
}

void TBitmapWalkerThread::PaintMaskPixel(QPoint p, TColorValue color) {
    // Every point that reaches here lies inside both bitmaps (see Accepts and Execute).
    TGraphicsLockGuard lock;
    mask_.Row(p.y())[p.x()] = tw::Rgb32FromColor(color);
}
