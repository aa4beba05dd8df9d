#pragma once
// Grows a mask from a seed pixel on a worker thread. Every accepted pixel is
// painted into the mask soon after, already recoloured, so a preview can show
// the region growing. Against the seed the accepted set does not depend on the
// order, so that walk goes by runs of a row; against the neighbour it is
// breadth-first, as the result depends on the order. "Anywhere" takes every
// pixel of the picture that passes against the seed, row by row, with the same
// test; holes of the part are filled once the walk is done.

#include "colour/HSVTables.h"
#include "platform/Bitmap.h"
#include "platform/GraphicsLock.h" // every reader of the worker's mask needs it too
#include "platform/Thread.h"
#include "recolour/PartGrowth.h"
#include "recolour/PartRecolourer.h"
#include "recolour/TintwellSettings.h"
#include "recolour/WalkerRules.h"

#include <QPoint>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// One accepted pixel waiting to be expanded.
struct TWalkPoint {
    int32_t X;
    int32_t Y;
};

// The accepted pixels not yet expanded, first in, first out: a ring buffer that
// doubles when full, so a point costs two stores and two loads.
class TPointQueue {
  public:
    bool Empty() const { return count_ == 0; }
    void Push(int32_t x, int32_t y) {
        if (count_ == items_.size()) Grow();
        items_[(head_ + count_) & (items_.size() - 1)] = {x, y};
        ++count_;
    }
    TWalkPoint Pop() {
        const TWalkPoint p = items_[head_];
        head_ = (head_ + 1) & (items_.size() - 1);
        --count_;
        return p;
    }

  private:
    void Grow();
    std::vector<TWalkPoint> items_;
    size_t head_ = 0;
    size_t count_ = 0;
};

class TBitmapWalkerThread : public tw::Thread {
  public:
    // Created suspended; TPartGrower makes walks. growth is the walk's record:
    // its seed lies inside the picture (a walk from outside paints nothing) and
    // every pixel is judged against its seed colour under its rules. Source and
    // Mask must stay alive, and Source unchanged, until OnTerminate has run.
    TBitmapWalkerThread(const tw::Bitmap& source, const TPartGrowth& growth,
                        const TTintwellSettings& settings, int32_t progressInterval, tw::Bitmap& mask);
    ~TBitmapWalkerThread() override;

    // Runs on the GUI thread every ProgressInterval accepted points after the
    // seed and once at the end. Set before Resume.
    std::function<void(TBitmapWalkerThread*)> OnProgress;
    int32_t ProgressInterval() const { return progressInterval_; }
    QPoint Seed() const { return seed_; }
    // The pixels in the part so far: read it in OnProgress and OnTerminate.
    int64_t Accepted() const { return accepted_; }

    // Rows of visited marks are prepared in strips of this many, each handed
    // over from the GUI thread when the walk first needs it.
    static constexpr int32_t StripRows = 64;

    // The pure acceptance test, shared with tests: whether candidate (Hc, Sc, Vc)
    // passes the rules against reference (Hr, Sr, Vr).
    static bool PassesRules(const TWalkerRules& rules, const THSVValues& reference,
                            const THSVValues& candidate) {
        return Tolerances(rules).Pass(reference, candidate);
    }

  protected:
    void Execute() override;

  private:
    // The rules with their tolerances worked out once: real numbers, not rounded.
    struct Tolerances {
        explicit Tolerances(const TWalkerRules& rules);
        bool Pass(const THSVValues& r, const THSVValues& c) const {
            if (useHue) {
                const double lo = r.H - th, hi = r.H + th;
                // The direct range is inclusive, the two wrapped ranges strict.
                if (!(lo <= c.H && c.H <= hi) && !(lo < 0 && c.H > lo + 360) && !(hi > 360 && c.H < hi - 360))
                    return false;
            }
            if (useSaturation && !(r.S - ts <= c.S && c.S <= r.S + ts)) return false;
            if (useValue && !(r.V - tv <= c.V && c.V <= r.V + tv)) return false;
            return true;
        }
        bool useHue, useSaturation, useValue, any;
        double th, ts, tv;
    };

    // Visited marks, one byte per position with a frame of one position round
    // the picture that reads as visited, so neighbours need no bounds test.
    static constexpr uint8_t kVisited = 1;  // accepted, or the frame
    static constexpr uint8_t kRejected = 2; // failed against the seed: it always will
    static constexpr uint8_t kHoleSeen = 4; // outside the part, already looked at for holes
    uint8_t& Mark(int32_t x, int32_t y) {
        return marks_[static_cast<size_t>(y + 1) * static_cast<size_t>(markStride_) +
                      static_cast<size_t>(x + 1)];
    }
    // Makes sure the marks of picture rows first..last (the frame included) are prepared.
    void NeedRows(int32_t first, int32_t last) {
        if (!stripReady_[static_cast<size_t>((first + 1) / StripRows)] ||
            !stripReady_[static_cast<size_t>((last + 1) / StripRows)])
            HandOverStrips(first, last);
    }
    void HandOverStrips(int32_t first, int32_t last);
    void PrepareStrip(size_t strip);

    // Against the seed: runs of a row, each one's neighbours in the rows above and below.
    void FillRuns();
    // Against the seed, connected or not: every row from the top.
    void FillAnywhere();
    // Once the walk is done: 4-connected regions outside the part that do not
    // touch the picture's border, of at most rules_.FillHoles pixels, join it.
    void FillHoles();
    // Whether (x, y) may be entered against the seed; marks a failure for good.
    // marks and row: the marks and the picture pixels of row y.
    bool Open(uint8_t* marks, const uint32_t* row, int32_t x, int32_t y) {
        if (marks[x]) return false;
        const uint32_t key = rules_.NineValueAverage ? ReadColor(x, y) : row[x] | 0xFF000000u;
        if (key != lastKey_) {
            lastKey_ = key;
            lastPass_ = (PackedHsv(rules_.NineValueAverage ? key : tw::ColorFromRgb32(key)) & kSeedPass) != 0;
        }
        if (!lastPass_) marks[x] = kRejected;
        return lastPass_;
    }
    // Accepts left..right of row y, from the left end or, when leftward, from
    // the right end; false once the walk is told to stop.
    bool AcceptRun(int32_t y, int32_t left, int32_t right, bool leftward);
    // Counts one accepted point towards the next progress report.
    void CountPoint() {
        if (--untilProgress_ == 0) {
            untilProgress_ = progressInterval_;
            FlushPaints();
            DoProgress();
        }
    }

    // Against the neighbour: breadth-first.
    void VisitNeighbours(int32_t x, int32_t y);
    // Tests (and accepts) the neighbour (x, y), whose mark is mark, of the
    // pixel being expanded at (px, py).
    // Inlined at every call even at -O2: it is most of the walk's work.
    [[gnu::always_inline]] inline void TryEntry(uint8_t& mark, int32_t x, int32_t y, int32_t px, int32_t py);
    TColorValue SourceColor(int32_t x, int32_t y) const {
        return tw::ColorFromRgb32(
            reinterpret_cast<const uint32_t*>(sourceBase_ + static_cast<ptrdiff_t>(y) * sourceStride_)[x]);
    }
    TColorValue ReadColor(int32_t x, int32_t y) const;
    void IncludePoint(uint8_t& mark, int32_t x, int32_t y) {
        // Always the single pixel, never the 3 x 3 average.
        PaintMaskPixel(x, y, Recoloured(SourceColor(x, y)));
        mark = kVisited;
        ++accepted_;
    }
    void PaintMaskPixel(int32_t x, int32_t y, TColorValue color) {
        // Every point that reaches here lies inside both bitmaps. Neighbouring
        // pixels of a row share one run.
        if (runCount_ > 0) {
            PendingRun& last = runs_[runCount_ - 1];
            if (last.y == y && last.x + last.count == x) {
                ++last.count;
                colours_[paintCount_++] = tw::Rgb32FromColor(color);
                if (paintCount_ == kPaintBatch) FlushPaints();
                return;
            }
        }
        runs_[runCount_++] = {y, x, 1};
        colours_[paintCount_++] = tw::Rgb32FromColor(color);
        if (paintCount_ == kPaintBatch) FlushPaints();
    }
    void FlushPaints();
    void DoProgress();

    // Colours repeat, so their HSV values (packed with whether they pass
    // against the seed) and their recoloured values are cached by colour.
    static constexpr uint32_t kSeedPass = 1u << 25;
    static size_t CacheSlot(TColorValue c, size_t size) { return ((c * 2654435761u) >> 12) & (size - 1); }
    uint32_t PackedHsv(TColorValue c) {
        const CacheEntry& slot = hsvCache_[CacheSlot(c, hsvCache_.size())];
        return slot.key == c + 1 ? slot.value : CacheHsv(c);
    }
    uint32_t CacheHsv(TColorValue c);
    static THSVValues Unpack(uint32_t packed) {
        return {static_cast<int32_t>(packed & 0x1FF), static_cast<int32_t>((packed >> 9) & 0xFF),
                static_cast<int32_t>((packed >> 17) & 0xFF)};
    }
    TColorValue Recoloured(TColorValue c) {
        if (c == lastRecolourKey_) return lastRecoloured_;
        const CacheEntry& slot = recolourCache_[CacheSlot(c, recolourCache_.size())];
        lastRecolourKey_ = c;
        lastRecoloured_ = slot.key == c + 1 ? slot.value : CacheRecoloured(c);
        return lastRecoloured_;
    }
    TColorValue CacheRecoloured(TColorValue c);
    struct CacheEntry {
        uint32_t key = 0; // colour + 1; 0 for an empty slot
        uint32_t value = 0;
    };

    const tw::Bitmap& source_;
    tw::Bitmap& mask_;
    QPoint seed_;
    TColorValue seedColor_;
    TPointQueue queue_;
    TWalkerRules rules_;
    TPartRecolourer recolorer_;
    int32_t progressInterval_;
    int32_t untilProgress_;
    int64_t accepted_ = 0;
    int32_t width_; // the part of the picture the walk may enter: Source and Mask overlap
    int32_t height_;
    Tolerances tolerances_;
    const THSVTables& tables_;
    THSVValues seedHsv_{};
    // The reference of the pixel being expanded (neighbour compare), read at
    // most once per expansion: reading is deterministic.
    THSVValues referenceHsv_{};
    bool referenceRead_ = false;
    // The picture is read in place: it stays unchanged while the walk runs.
    const unsigned char* sourceBase_ = nullptr;
    ptrdiff_t sourceStride_ = 0;
    // Left uninitialised: only the strips the walk reaches take memory.
    std::unique_ptr<uint8_t[]> marks_;
    int32_t markStride_ = 0;
    std::vector<uint8_t> stripReady_;
    size_t pendingFirst_ = 0, pendingLast_ = 0; // the strips being handed over
    // The last colour (or picture word) judged against the seed; the first
    // value is neither, so the first read fills it.
    uint32_t lastKey_ = 0x01000000u;
    bool lastPass_ = false;
    TColorValue lastRecolourKey_ = 0xFFFFFFFFu;
    TColorValue lastRecoloured_ = 0;
    std::vector<CacheEntry> hsvCache_;
    std::vector<CacheEntry> recolourCache_;
    // Mask writes wait here as runs of a row and go out under GraphicsLock in
    // one batch, so the lock is taken once per batch and held only for the
    // copy (a few microseconds), never while the worker computes or waits.
    struct PendingRun {
        int32_t y, x, count;
    };
    static constexpr size_t kPaintBatch = 4096;
    std::array<PendingRun, kPaintBatch> runs_{};
    std::array<uint32_t, kPaintBatch> colours_{};
    size_t runCount_ = 0;
    size_t paintCount_ = 0;
};
