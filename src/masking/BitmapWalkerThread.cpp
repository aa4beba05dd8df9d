#include "masking/BitmapWalkerThread.h"

#include "platform/GraphicsLock.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
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
      height_(std::min(source.Height(), mask.Height())), tolerances_(rules), tables_(THSVTables::Get()),
      hsvCache_(16384), recolourCache_(4096) {}

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
    try {
        // Set before any colour is cached: the cache records the verdict against it.
        const TColorValue seedColor = ReadColor(seed_.x(), seed_.y());
        const TRGBValues rgb = ColorToRGBValues(seedColor);
        seedHsv_ = tables_.ToHSV(rgb.R, rgb.G, rgb.B);
        TThreadSafeBitmapPart& seedTile = Tile(seed_.x(), seed_.y());
        IncludePoint(EntryOf(seedTile, seed_.x(), seed_.y()), seed_.x(), seed_.y());
        VisitNeighbours(seed_.x(), seed_.y());
        // Counting down to the next report is the same cadence as k mod interval.
        int32_t untilProgress = progressInterval_;
        while (!queue_.Empty()) {
            const TMyPoint p = queue_.Pop();
            VisitNeighbours(p.X, p.Y);
            if (--untilProgress == 0) {
                untilProgress = progressInterval_;
                FlushPaints();
                DoProgress();
            }
        }
        FlushPaints();
    } catch (...) {
        // The mask keeps every pixel accepted so far.
        FlushPaints();
        throw;
    }
    DoProgress();
}

void TPointQueue::Grow() {
    std::vector<TMyPoint> bigger(items_.empty() ? 1024 : items_.size() * 2);
    for (size_t i = 0; i < count_; ++i)
        bigger[i] = items_[(head_ + i) & (items_.size() - 1)];
    items_.swap(bigger);
    head_ = 0;
}

void TBitmapWalkerThread::VisitNeighbours(int32_t x, int32_t y) {
    referenceRead_ = false;
    TThreadSafeBitmapPart& tile = Tile(x, y);
    const int32_t lx = x - tile.Left, ly = y - tile.Top;
    constexpr int32_t size = TThreadSafeBitmapPart::TileSize;
    if (!rules_.NineValueAverage && lx > 0 && lx < size - 1 && ly > 0 && ly < size - 1) {
        // All eight neighbours lie in this tile. Inside the picture the bounds
        // test is moot, and a position beyond its right or bottom edge reads as
        // visited, so it is never entered.
        uint32_t* e = &tile.Entries[static_cast<size_t>(ly * size + lx)];
        TryEntry(e[-size - 1], x - 1, y - 1, x, y);
        TryEntry(e[-size], x, y - 1, x, y);
        TryEntry(e[-size + 1], x + 1, y - 1, x, y);
        TryEntry(e[-1], x - 1, y, x, y);
        TryEntry(e[1], x + 1, y, x, y);
        TryEntry(e[size - 1], x - 1, y + 1, x, y);
        TryEntry(e[size], x, y + 1, x, y);
        TryEntry(e[size + 1], x + 1, y + 1, x, y);
        return;
    }
    TryNeighbour(x, y, x - 1, y - 1);
    TryNeighbour(x, y, x, y - 1);
    TryNeighbour(x, y, x + 1, y - 1);
    TryNeighbour(x, y, x - 1, y);
    TryNeighbour(x, y, x + 1, y);
    TryNeighbour(x, y, x - 1, y + 1);
    TryNeighbour(x, y, x, y + 1);
    TryNeighbour(x, y, x + 1, y + 1);
}

void TBitmapWalkerThread::TryNeighbour(int32_t px, int32_t py, int32_t x, int32_t y) {
    if (x < 0 || x >= width_ || y < 0 || y >= height_) return;
    TryEntry(EntryOf(Tile(x, y), x, y), x, y, px, py);
}

inline void TBitmapWalkerThread::TryEntry(uint32_t& entry, int32_t x, int32_t y, int32_t px, int32_t py) {
    if (Terminated()) return;
    if (entry & TThreadSafeBitmapPart::VisitedFlag) return;
    if (!tolerances_.any) return;
    const TColorValue color = rules_.NineValueAverage ? ReadColor(x, y) : (entry & 0xFFFFFF);
    const uint32_t candidate = PackedHsv(color);
    if (!rules_.CompareToNeighbour) {
        if (!(candidate & kSeedPass)) return;
    } else {
        if (!referenceRead_) {
            referenceHsv_ = Unpack(PackedHsv(ReadColor(px, py)));
            referenceRead_ = true;
        }
        if (!tolerances_.Pass(referenceHsv_, Unpack(candidate))) return;
    }
    IncludePoint(entry, x, y);
    queue_.Push(x, y);
}

uint32_t TBitmapWalkerThread::CacheHsv(TColorValue c) {
    CacheEntry& slot = hsvCache_[CacheSlot(c, hsvCache_.size())];
    const THSVValues hsv = tables_.ToHSV(
        static_cast<int32_t>(c & 0xFF), static_cast<int32_t>((c >> 8) & 0xFF), static_cast<int32_t>(c >> 16));
    slot.key = c + 1;
    slot.value = static_cast<uint32_t>(hsv.H) | static_cast<uint32_t>(hsv.S) << 9 |
                 static_cast<uint32_t>(hsv.V) << 17 | (tolerances_.Pass(seedHsv_, hsv) ? kSeedPass : 0);
    return slot.value;
}

TColorValue TBitmapWalkerThread::CacheRecoloured(TColorValue c) {
    CacheEntry& slot = recolourCache_[CacheSlot(c, recolourCache_.size())];
    slot.key = c + 1;
    slot.value = recolorer_.TransformColor(c);
    return slot.value;
}

TColorValue TBitmapWalkerThread::ReadColor(int32_t x, int32_t y) {
    if (!rules_.NineValueAverage) return EntryOf(Tile(x, y), x, y) & 0xFFFFFF;
    // On the border only the positions inside the picture count, and divide.
    int32_t r = 0, g = 0, b = 0, n = 0;
    for (int32_t yy = y - 1; yy <= y + 1; ++yy)
        for (int32_t xx = x - 1; xx <= x + 1; ++xx) {
            if (xx < 0 || yy < 0 || xx >= width_ || yy >= height_) continue;
            const TRGBValues rgb = ColorToRGBValues(EntryOf(Tile(xx, yy), xx, yy) & 0xFFFFFF);
            r += rgb.R, g += rgb.G, b += rgb.B, ++n;
        }
    return RGBToColor(r / n, g / n, b / n);
}

void TBitmapWalkerThread::FlushPaints() {
    if (paintCount_ == 0) return;
    TGraphicsLockGuard lock;
    // One detach check per batch; rows are found from the stride.
    auto* const base = reinterpret_cast<unsigned char*>(mask_.Row(0));
    const auto stride = static_cast<ptrdiff_t>(mask_.Image().bytesPerLine());
    for (size_t i = 0; i < paintCount_; ++i) {
        const PendingPaint& p = paints_[i];
        reinterpret_cast<uint32_t*>(base + p.y * stride)[p.x] = p.rgb32;
    }
    paintCount_ = 0;
}
