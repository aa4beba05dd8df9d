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

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

// One accepted pixel waiting to be expanded.
struct TMyPoint {
    explicit TMyPoint(QPoint p) : X(p.x()), Y(p.y()) {}
    int32_t X;
    int32_t Y;
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

    void VisitNeighbours(QPoint p);
    void TryNeighbour(QPoint p, QPoint q);
    bool Accepts(QPoint p, QPoint q);
    TColorValue ReadColor(QPoint p);
    THSVValues HsvAt(QPoint p);
    void IncludePoint(QPoint p);
    void PaintMaskPixel(QPoint p, TColorValue color);
    void DoProgress();

    const tw::Bitmap& source_;
    tw::Bitmap& mask_;
    QPoint seed_;
    // Pixels are queued by value: the queue is the hottest structure of the walk.
    std::deque<TMyPoint> queue_;
    TWalkerRules rules_;
    TBitmapThings recolorer_;
    std::unique_ptr<TThreadSafeBitmap> sourceStore_;
    int32_t progressInterval_;
    int32_t width_; // the part of the picture the walk may enter: Source and Mask overlap
    int32_t height_;
    Tolerances tolerances_;
    const THSVTables& tables_;
    // The reference colour of the pixel being expanded, read once per expansion.
    THSVValues seedHsv_{};
    THSVValues referenceHsv_{};
    QPoint referencePoint_{-1, -1};
};
