#include "masking/BitmapWalkerThread.h"

#include "platform/GraphicsLock.h"
#include "platform/LargeMemory.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>

namespace {

bool HasZeroByte(uint64_t v) {
    return ((v - 0x0101010101010101u) & ~v & 0x8080808080808080u) != 0;
}

} // namespace

TBitmapWalkerThread::TBitmapWalkerThread(const tw::Bitmap& source, const TPartGrowth& growth,
                                         const TTintwellSettings& settings, int32_t progressInterval,
                                         tw::Bitmap& mask)
    : source_(source), mask_(mask), seed_(growth.Seed), seedColor_(growth.SeedColor), rules_(growth.Rules),
      recolorer_(settings, source, mask), progressInterval_(std::max(1, progressInterval)),
      untilProgress_(progressInterval_), width_(std::min(source.Width(), mask.Width())),
      height_(std::min(source.Height(), mask.Height())), tolerances_(growth.Rules),
      tables_(THSVTables::Get()), hsvCache_(16384), recolourCache_(4096) {}

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

void TBitmapWalkerThread::HandOverStrips(int32_t first, int32_t last) {
    pendingFirst_ = static_cast<size_t>((first + 1) / StripRows);
    pendingLast_ = static_cast<size_t>((last + 1) / StripRows);
    // Prepared on the GUI thread while the walk waits, as picture tiles were.
    Synchronize([this] {
        for (size_t s = pendingFirst_; s <= pendingLast_; ++s)
            if (!stripReady_[s]) PrepareStrip(s);
    });
}

void TBitmapWalkerThread::PrepareStrip(size_t strip) {
    const size_t frameRows = static_cast<size_t>(height_) + 2, stride = static_cast<size_t>(markStride_);
    const size_t first = strip * StripRows, end = std::min(first + StripRows, frameRows);
    for (size_t row = first; row < end; ++row) {
        uint8_t* m = marks_.get() + row * stride;
        if (row == 0 || row == frameRows - 1) {
            std::fill(m, m + stride, kVisited);
            continue;
        }
        // Cleared whole, then the frame columns set: a fill of the inner stretch
        // alone trips g++ 12's object-size check at -O3 (it cannot see the
        // stride is at least 3), which the Release build treats as an error.
        std::fill(m, m + stride, uint8_t{0});
        m[0] = m[stride - 1] = kVisited;
    }
    stripReady_[strip] = 1;
}

void TBitmapWalkerThread::DoProgress() {
    // Nobody listening: no need to stop and wait for the GUI thread.
    if (!OnProgress) return;
    Synchronize([this] {
        if (OnProgress) OnProgress(this);
    });
}

void TBitmapWalkerThread::Execute() {
    if (source_.IsEmpty() || mask_.Width() < source_.Width() || mask_.Height() < source_.Height() ||
        !source_.Contains(seed_.x(), seed_.y())) {
        DoProgress();
        return;
    }
    try {
        sourceBase_ = reinterpret_cast<const unsigned char*>(source_.Row(0));
        sourceStride_ = static_cast<ptrdiff_t>(source_.Image().bytesPerLine());
        markStride_ = width_ + 2;
        const size_t frameRows = static_cast<size_t>(height_) + 2;
        const size_t markBytes = frameRows * static_cast<size_t>(markStride_);
        marks_.reset(new uint8_t[markBytes]);
        tw::AdviseLargePages(marks_.get(), markBytes);
        stripReady_.assign((frameRows + StripRows - 1) / StripRows, 0);
        NeedRows(seed_.y() - 1, seed_.y() + 1);
        // Set before any colour is cached: the cache records the verdict against it.
        const TRGBValues rgb = ColorToRGBValues(seedColor_);
        seedHsv_ = tables_.ToHSV(rgb.R, rgb.G, rgb.B);
        IncludePoint(Mark(seed_.x(), seed_.y()), seed_.x(), seed_.y());
        if (!rules_.CompareToNeighbour) {
            if (rules_.Anywhere)
                FillAnywhere();
            else
                FillRuns();
        } else {
            VisitNeighbours(seed_.x(), seed_.y());
            while (!queue_.Empty()) {
                const TWalkPoint p = queue_.Pop();
                VisitNeighbours(p.X, p.Y);
                CountPoint();
            }
        }
        if (rules_.FillHoles > 0 && !Terminated()) FillHoles();
        FlushPaints();
    } catch (...) {
        // The mask keeps every pixel accepted so far.
        FlushPaints();
        throw;
    }
    DoProgress();
}

bool TBitmapWalkerThread::AcceptRun(int32_t y, int32_t left, int32_t right, bool leftward) {
    const auto* row =
        reinterpret_cast<const uint32_t*>(sourceBase_ + static_cast<ptrdiff_t>(y) * sourceStride_);
    uint32_t lastPixel = 0, lastOut = 0; // the run's own memo of the recoloured word
    bool remembered = false;
    for (int32_t todo = right - left + 1; todo > 0;) {
        if (Terminated()) return false;
        // A stretch ends at the next progress report or when the batch is full.
        const int32_t n = std::min({todo, untilProgress_, static_cast<int32_t>(kPaintBatch - paintCount_)});
        // Stretches go outwards from the end already joined to the region, so
        // a walk stopped in between leaves the region in one piece.
        const int32_t x = leftward ? left + todo - n : right - todo + 1;
        todo -= n;
        std::fill_n(&Mark(x, y), n, kVisited);
        if (runCount_ > 0 && runs_[runCount_ - 1].y == y &&
            runs_[runCount_ - 1].x + runs_[runCount_ - 1].count == x)
            runs_[runCount_ - 1].count += n;
        else
            runs_[runCount_++] = {y, x, n};
        uint32_t* out = colours_.data() + paintCount_;
        for (int32_t i = 0; i < n; ++i) {
            const uint32_t pixel = row[x + i];
            if (!remembered || pixel != lastPixel) {
                lastPixel = pixel;
                lastOut = tw::Rgb32FromColor(Recoloured(tw::ColorFromRgb32(pixel)));
                remembered = true;
            }
            out[i] = lastOut;
        }
        paintCount_ += static_cast<size_t>(n);
        accepted_ += n;
        untilProgress_ -= n;
        if (untilProgress_ == 0) {
            untilProgress_ = progressInterval_;
            FlushPaints();
            DoProgress();
        } else if (paintCount_ == kPaintBatch) {
            FlushPaints();
        }
    }
    return true;
}

void TBitmapWalkerThread::FillRuns() {
    if (!tolerances_.any) return;
    struct Run {
        int32_t y, left, right;
    };
    const auto rowOf = [this](int32_t y) {
        return reinterpret_cast<const uint32_t*>(sourceBase_ + static_cast<ptrdiff_t>(y) * sourceStride_);
    };
    // First in, first out: the region spreads from the seed's row both ways at once.
    std::deque<Run> runs;
    const int32_t sx = seed_.x(), sy = seed_.y();
    uint8_t* marks = &Mark(0, sy);
    const uint32_t* row = rowOf(sy);
    int32_t left = sx, right = sx;
    while (Open(marks, row, left - 1, sy))
        --left;
    while (Open(marks, row, right + 1, sy))
        ++right;
    if (!AcceptRun(sy, sx + 1, right, false) || !AcceptRun(sy, left, sx - 1, true)) return;
    runs.push_back({sy, left, right});
    while (!runs.empty()) {
        const Run run = runs.front();
        runs.pop_front();
        for (const int32_t y : {run.y - 1, run.y + 1}) {
            if (y < 0 || y >= height_) continue;
            NeedRows(y, y);
            marks = &Mark(0, y);
            row = rowOf(y);
            // Eight neighbours: the row beside reaches one position further each way.
            for (int32_t x = run.left - 1, end = run.right + 1; x <= end; ++x) {
                // Stretches already visited or refused go by eight at a time.
                uint64_t eight;
                while (x + 8 <= end && (std::memcpy(&eight, marks + x, 8), !HasZeroByte(eight)))
                    x += 8;
                if (!Open(marks, row, x, y)) continue;
                int32_t from = x, to = x;
                while (Open(marks, row, from - 1, y))
                    --from;
                while (Open(marks, row, to + 1, y))
                    ++to;
                // x touches the run beside; the pixels either side of it join through it.
                if (!AcceptRun(y, x, to, false) || !AcceptRun(y, from, x - 1, true)) return;
                runs.push_back({y, from, to});
                x = to + 1; // not open, or the frame
            }
        }
    }
}

void TBitmapWalkerThread::FillAnywhere() {
    if (!tolerances_.any) return;
    for (int32_t y = 0; y < height_; ++y) {
        NeedRows(y, y);
        uint8_t* marks = &Mark(0, y);
        const auto* row =
            reinterpret_cast<const uint32_t*>(sourceBase_ + static_cast<ptrdiff_t>(y) * sourceStride_);
        for (int32_t x = 0; x < width_; ++x) {
            if (!Open(marks, row, x, y)) continue;
            int32_t to = x;
            for (;;) {
                const int32_t next = to + 1;
                if (marks[next]) break; // the frame closes the row
                // A picture word like the one before passes as it did (plain colours only).
                if (!rules_.NineValueAverage && row[next] == row[to]) {
                    ++to;
                    continue;
                }
                if (!Open(marks, row, next, y)) break;
                ++to;
            }
            if (!AcceptRun(y, x, to, false)) return;
            x = to + 1; // not open, or the frame
        }
    }
}

void TBitmapWalkerThread::FillHoles() {
    NeedRows(0, height_ - 1);
    const int64_t limit = rules_.FillHoles;
    struct Span {
        int32_t y, left, right;
    };
    // Each region outside the part is flooded once, a span of a row at a time;
    // the frame reads as part, so the flood stays inside the picture.
    std::vector<Span> todo, region;
    const auto outside = [this](int32_t x, int32_t y) {
        const uint8_t m = Mark(x, y);
        return m != kVisited && m != kHoleSeen;
    };
    for (int32_t y0 = 0; y0 < height_; ++y0) {
        if (Terminated()) return;
        for (int32_t x0 = 0; x0 < width_; ++x0) {
            if (!outside(x0, y0)) continue;
            todo.assign(1, Span{y0, x0, x0});
            region.clear();
            int64_t size = 0;
            bool border = false;
            while (!todo.empty()) {
                const Span s = todo.back();
                todo.pop_back();
                if (!outside(s.left, s.y)) continue;
                int32_t left = s.left, right = s.left;
                while (outside(left - 1, s.y))
                    --left;
                while (outside(right + 1, s.y))
                    ++right;
                std::fill(&Mark(left, s.y), &Mark(right, s.y) + 1, kHoleSeen);
                size += right - left + 1;
                border = border || left == 0 || right == width_ - 1 || s.y == 0 || s.y == height_ - 1;
                if (!border && size <= limit) region.push_back({s.y, left, right});
                // Four neighbours: the rows beside, over the same columns.
                for (const int32_t y : {s.y - 1, s.y + 1}) {
                    if (y < 0 || y >= height_) continue;
                    for (int32_t x = left; x <= right; ++x)
                        if (outside(x, y) && (x == left || !outside(x - 1, y))) todo.push_back({y, x, x});
                }
            }
            if (border || size > limit) continue;
            for (const Span& s : region)
                for (int32_t x = s.left; x <= s.right; ++x) {
                    PaintMaskPixel(x, s.y, Recoloured(SourceColor(x, s.y)));
                    ++accepted_;
                    CountPoint();
                }
        }
    }
}

void TPointQueue::Grow() {
    std::vector<TWalkPoint> bigger(items_.empty() ? 1024 : items_.size() * 2);
    for (size_t i = 0; i < count_; ++i)
        bigger[i] = items_[(head_ + i) & (items_.size() - 1)];
    items_.swap(bigger);
    head_ = 0;
}

void TBitmapWalkerThread::VisitNeighbours(int32_t x, int32_t y) {
    referenceRead_ = false;
    NeedRows(y - 1, y + 1);
    // The frame reads as visited, so no neighbour needs a bounds test.
    uint8_t* m = &Mark(x, y);
    const ptrdiff_t s = markStride_;
    TryEntry(m[-s - 1], x - 1, y - 1, x, y);
    TryEntry(m[-s], x, y - 1, x, y);
    TryEntry(m[-s + 1], x + 1, y - 1, x, y);
    TryEntry(m[-1], x - 1, y, x, y);
    TryEntry(m[1], x + 1, y, x, y);
    TryEntry(m[s - 1], x - 1, y + 1, x, y);
    TryEntry(m[s], x, y + 1, x, y);
    TryEntry(m[s + 1], x + 1, y + 1, x, y);
}

inline void TBitmapWalkerThread::TryEntry(uint8_t& mark, int32_t x, int32_t y, int32_t px, int32_t py) {
    if (Terminated()) return;
    if (mark) return;
    if (!tolerances_.any) return;
    const TColorValue color = rules_.NineValueAverage ? ReadColor(x, y) : SourceColor(x, y);
    const uint32_t candidate = PackedHsv(color);
    if (!referenceRead_) {
        referenceHsv_ = Unpack(PackedHsv(ReadColor(px, py)));
        referenceRead_ = true;
    }
    if (!tolerances_.Pass(referenceHsv_, Unpack(candidate))) return;
    IncludePoint(mark, x, y);
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

TColorValue TBitmapWalkerThread::ReadColor(int32_t x, int32_t y) const {
    if (!rules_.NineValueAverage) return SourceColor(x, y);
    // On the border only the positions inside the picture count, and divide.
    int32_t r = 0, g = 0, b = 0, n = 0;
    for (int32_t yy = std::max(y - 1, 0); yy <= std::min(y + 1, height_ - 1); ++yy)
        for (int32_t xx = std::max(x - 1, 0); xx <= std::min(x + 1, width_ - 1); ++xx) {
            const TRGBValues rgb = ColorToRGBValues(SourceColor(xx, yy));
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
    const uint32_t* colour = colours_.data();
    for (size_t i = 0; i < runCount_; ++i) {
        const PendingRun& r = runs_[i];
        std::copy_n(colour, r.count, reinterpret_cast<uint32_t*>(base + r.y * stride) + r.x);
        colour += r.count;
    }
    runCount_ = 0;
    paintCount_ = 0;
}
