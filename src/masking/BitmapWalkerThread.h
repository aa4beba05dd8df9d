#pragma once
// Grows a mask breadth-first from a seed pixel on a worker thread. Every
// accepted pixel is painted into the mask at once, already recoloured, so a
// preview can show the region growing.

#include "colour/HSVTables.h"
#include "colour/ThreadSafeBitmap.h"
#include "platform/Bitmap.h"
#include "platform/Thread.h"
#include "recolour/BitmapThings.h"
#include "recolour/TintwellSettings.h"

#include <QPoint>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// One accepted pixel waiting to be expanded.
struct TMyPoint {
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
    TMyPoint Pop() {
        const TMyPoint p = items_[head_];
        head_ = (head_ + 1) & (items_.size() - 1);
        --count_;
        return p;
    }

  private:
    void Grow();
    std::vector<TMyPoint> items_;
    size_t head_ = 0;
    size_t count_ = 0;
};

// The tolerance rules of one walk; deviations are percentages of a channel's
// full range (360 degrees of hue, 255 of saturation and value).
struct TWalkerRules {
    bool UseHue = false;
    bool UseSaturation = false;
    bool UseValue = false;
    int32_t HueDeviation = 0;
    int32_t SaturationDeviation = 0;
    int32_t ValueDeviation = 0;
    bool CompareToNeighbour = false;
    bool NineValueAverage = false;

    bool operator==(const TWalkerRules&) const = default;

    // What the mask dialog starts with: hue 5 %, saturation 40 %, value 40 %.
    static TWalkerRules Default() { return {true, true, true, 5, 40, 40, false, false}; }
};

class TBitmapWalkerThread : public tw::Thread, public TThreadSafeBitmapOwner {
  public:
    // Created suspended. The seed is clamped into the picture (a click on the last
    // zoomed column can round one pixel past the edge). Source and Mask must stay
    // alive, and Source unchanged, until OnTerminate has run.
    TBitmapWalkerThread(const tw::Bitmap& source, double previewZoom, const TTintwellSettings& settings,
                        const TWalkerRules& rules, QPoint seed, tw::Bitmap& mask);
    ~TBitmapWalkerThread() override;

    // Runs on the GUI thread every ProgressInterval expanded points and once at the end.
    std::function<void(TBitmapWalkerThread*)> OnProgress;
    int32_t ProgressInterval() const { return progressInterval_; }
    QPoint Seed() const { return seed_; }

    void BuildTileSync() override;

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

    void VisitNeighbours(int32_t x, int32_t y);
    // Tests (and accepts) the neighbour (x, y) whose store entry is entry, of
    // the pixel being expanded at (px, py).
    // Inlined at every call even at -O2: it is most of the walk's work.
    [[gnu::always_inline]] inline void TryEntry(uint32_t& entry, int32_t x, int32_t y, int32_t px,
                                                int32_t py);
    void TryNeighbour(int32_t px, int32_t py, int32_t x, int32_t y);
    TColorValue ReadColor(int32_t x, int32_t y);
    void IncludePoint(uint32_t& entry, int32_t x, int32_t y) {
        // Always the single pixel, never the 3 x 3 average.
        PaintMaskPixel(x, y, Recoloured(entry & 0xFFFFFF));
        entry |= TThreadSafeBitmapPart::VisitedFlag;
    }
    void PaintMaskPixel(int32_t x, int32_t y, TColorValue color) {
        // Every point that reaches here lies inside both bitmaps (see TryNeighbour and Execute).
        paints_[paintCount_++] = {x, y, tw::Rgb32FromColor(color)};
        if (paintCount_ == kPaintBatch) FlushPaints();
    }
    void FlushPaints();
    void DoProgress();

    // The tile holding (x, y); the last one used is remembered, since reads
    // cluster around the pixel being expanded.
    TThreadSafeBitmapPart& Tile(int32_t x, int32_t y) {
        if (tile_ && static_cast<uint32_t>(x - tile_->Left) < TThreadSafeBitmapPart::TileSize &&
            static_cast<uint32_t>(y - tile_->Top) < TThreadSafeBitmapPart::TileSize)
            return *tile_;
        tile_ = &sourceStore_->TileAt(x, y);
        return *tile_;
    }
    static uint32_t& EntryOf(TThreadSafeBitmapPart& tile, int32_t x, int32_t y) {
        return tile.Entries[static_cast<size_t>((y - tile.Top) * tile.Width + (x - tile.Left))];
    }

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
        const CacheEntry& slot = recolourCache_[CacheSlot(c, recolourCache_.size())];
        return slot.key == c + 1 ? slot.value : CacheRecoloured(c);
    }
    TColorValue CacheRecoloured(TColorValue c);
    struct CacheEntry {
        uint32_t key = 0; // colour + 1; 0 for an empty slot
        uint32_t value = 0;
    };

    const tw::Bitmap& source_;
    tw::Bitmap& mask_;
    QPoint seed_;
    TPointQueue queue_;
    TWalkerRules rules_;
    TBitmapThings recolorer_;
    std::unique_ptr<TThreadSafeBitmap> sourceStore_;
    int32_t progressInterval_;
    int32_t width_; // the part of the picture the walk may enter: Source and Mask overlap
    int32_t height_;
    Tolerances tolerances_;
    const THSVTables& tables_;
    THSVValues seedHsv_{};
    // The reference of the pixel being expanded (neighbour compare), read at
    // most once per expansion: reading is deterministic.
    THSVValues referenceHsv_{};
    bool referenceRead_ = false;
    TThreadSafeBitmapPart* tile_ = nullptr;
    std::vector<CacheEntry> hsvCache_;
    std::vector<CacheEntry> recolourCache_;
    // Mask writes wait here and go out under GraphicsLock in one batch, so the
    // lock is taken once per batch and held only for the copy (a few
    // microseconds), never while the worker computes or waits.
    struct PendingPaint {
        int32_t x, y;
        uint32_t rgb32;
    };
    static constexpr size_t kPaintBatch = 512;
    std::array<PendingPaint, kPaintBatch> paints_{};
    size_t paintCount_ = 0;
};
