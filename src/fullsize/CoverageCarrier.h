#pragma once
// Carries one working-size part up to the full-size picture as a coverage
// 0..255 per full-size pixel, a row at a time, and estimates the colours on
// either side of its border for the recolouring of mixed pixels.
//
// The coverage of a full-size pixel is worked out from the working pixels
// around it only: a 6 x 6 window of the part (the part, smoothed by a 1-2-1
// filter and sampled with a cubic B-spline at the pixel's place: the smooth
// outline, with no step of the working grid) and a 4 x 4 window of taps
// holding a colour model (where the pixel's colour lies between the part's
// own colour and the colour beyond it nearby, sampled the same way: the
// photo's edges, at the photo's own sharpness). Where the window holds only
// part or only picture pixels the coverage is 255 or 0; elsewhere (the border
// band) it is the colour model as far as the two sides' colours differ
// clearly, the smooth outline for the rest, kept within an envelope of the
// smooth outline (within about two working pixels of the part's edge), and
// never more than the pixel's colour leaves room for as a mix of the part's
// own colour nearby with any other (a gap of another colour taken in by the
// working part keeps its own colour where the colours beyond are too varied
// to draw a line to). So no full-size pixel depends on more than the working
// pixels within kReach of its own, and any rectangle of rows and columns comes
// out exactly as in the whole picture.

#include "platform/Bitmap.h"
#include "platform/RowBandPool.h"
#include "recolour/PartGrowth.h"

#include <QRect>
#include <QSize>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

enum class TBorderMethod {
    // Guided by the photo's colours: where the colours on either side of the
    // border differ clearly, a pixel's coverage is where its colour lies
    // between them; elsewhere the smooth outline. Within the smooth outline's
    // envelope.
    Guided,
    // The part's growth rules applied to each full-size pixel of the band,
    // softened across a pixel, within the same envelope; parts without rules
    // fall back to Guided. Every pixel is judged against the seed colour,
    // also for walks that compared neighbours.
    Rules,
    // The smooth outline alone, blind to the picture.
    Smooth,
};

class TCoverageCarrier {
  public:
    // A linear model of coverage in a pixel's red, green and blue, its
    // offset, and how far it holds (the smooth outline for the rest).
    using TModel = std::array<float, 5>;
    // How far (working pixels) to look inside the part for its own colour.
    static constexpr int kObjectRadius = 2;
    // How far a change of the part's working pixels reaches: the prepared data
    // of working pixels up to kPrepareReach away (whether they are taps, and
    // the colours around them, edges left out), and so the coverage and colour
    // of full-size pixels whose own working pixel (the one below and left of
    // their centre) lies up to kReach away.
    static constexpr int kPrepareReach = kObjectRadius + 2;
    static constexpr int kReach = kPrepareReach + 3;

    // part is a working-size part bitmap (white: not in the part) of
    // workingPicture's size; growth may be null. Works out everything needed at
    // the working size on pool's threads. Throws std::invalid_argument on
    // mismatched sizes.
    TCoverageCarrier(QSize fullSize, const tw::Bitmap& workingPicture, const tw::Bitmap& part,
                     const TPartGrowth* growth, TBorderMethod method, const TRowBandPool& pool);

    // Brings the prepared data up to date after the part's pixels changed
    // within changed (working pixels; anything outside it must be as before):
    // only what lies within kPrepareReach of it is worked out again. The
    // result is exactly that of a carrier made afresh from part.
    void Update(const tw::Bitmap& workingPicture, const tw::Bitmap& part, QRect changed,
                const TRowBandPool& pool);
    // The full-size pixels (of fullSize) whose coverage or colour a change of
    // a part's working pixels (of workingSize) within changed may alter (empty
    // for an empty change): those whose own working pixel lies within kReach
    // of it.
    static QRect Reach(QSize fullSize, QSize workingSize, QRect changed);

    // The full-size pixels whose coverage may be above 0 (empty for an empty part).
    QRect Bounds() const { return bounds_; }
    // Whether full-size (x, y) lies in the border band.
    bool InBorder(int x, int y) const;
    // A stretch of a full-size row with one kind of coverage: 0 (outside), 255
    // (inside, away from the border) or, for border pixels, per pixel.
    struct Run {
        int Begin, End;
        bool Border;
        uint8_t Coverage; // outside and inside runs
    };
    // Columns [Begin, End) of a row.
    struct Span {
        int Begin, End;
    };
    // The part's own colour along a row: see ObjectAt.
    struct ObjectColumns {
        const TCoverageCarrier* carrier = nullptr; // whose they are
        int y = -1, low = -1;
        int32_t sums[2][4];   // per column: trust-weighted red, green, blue, and the trust
        int32_t beyond[2][4]; // per column: the colour beyond, weighted, and the weight
    };
    // The part's own colour at a border pixel: see ObjectAt.
    struct TObjectColour {
        uint32_t Colour; // RGB32
        int32_t Trust;
        uint32_t Beyond; // the picture's colour beyond the part nearby, 0 when unknown
    };
    // What a thread keeps from one full-size row to the next: the working
    // columns combined down the rows of the row's window, each worked out once
    // per row. One per thread and carrier.
    struct TRowCache {
        const TCoverageCarrier* carrier = nullptr;
        std::vector<int> smoothRow, modelRow; // the full-size row each column was combined for
        std::vector<int32_t> smooth;          // the part down the window, in 4096ths
        std::vector<TModel> model;
        ObjectColumns object; // the part's own colour along the row
        // The Guided border keeps the part's own colour it looked up for each
        // border pixel of the row's runs (from their x0; Trust 0 where it did
        // not), so that the recolouring need not look it up again.
        bool objectsKept = false;
        std::vector<TObjectColour> objects;
    };
    // The runs of full-size row y over columns [x0, x1) outside the hidden
    // spans (sorted, apart), neighbouring outside or inside runs joined; the
    // coverage of border runs goes to out[x - x0]. Hidden columns are left out
    // of the runs and their coverage is not worked out. row is that row of the
    // full-size picture; the Rules border also reads the rows around it from
    // fullPicture (null for the others). Thread-safe with a cache per thread.
    void CoverageRuns(const uint32_t* row, const tw::Bitmap* fullPicture, int y, int x0, int x1, uint8_t* out,
                      std::vector<Run>& runs, TRowCache& cache, const std::vector<Span>& hidden = {}) const;
    // The part's own colour at full-size border pixel (x, y), estimated from
    // the working pixels well inside the part nearby, and how far it can be
    // trusted for unmixing (Trust 0..256; 0: not at all, the colour then
    // unused). Thread-safe with a columns record per thread: taken along a
    // row, the estimate's columns are worked out once for every full-size
    // pixel between the same two working columns.
    TObjectColour ObjectAt(int x, int y, ObjectColumns& columns) const;

  private:
    // Full-size to working-size mapping along one axis: each full pixel's own
    // working pixel (the one at or below its centre) and the weights of the
    // working pixels around it.
    struct Axis {
        std::vector<int> low;                       // the pixel's own working pixel
        std::vector<int32_t> weight256;             // bilinear weight of low + 1, in 256ths
        std::vector<std::array<float, 4>> spline;   // cubic B-spline weights of low - 1 .. low + 2
        std::vector<std::array<int32_t, 6>> smooth; // 1-2-1 then B-spline, of low - 2 .. low + 3; sum 4096
        std::vector<int> first; // first full pixel whose own working pixel is at or after each, plus the end
        Axis(int full, int working);
    };
    enum : uint8_t { kIn = 1, kEdge = 2, kMixed = 4, kTap = 8, kNear = 16 };

    uint8_t Flags(int x, int y) const { return flags_[static_cast<size_t>(y) * w_ + x]; }
    // The flags other than kIn, the bounds and the row runs from kIn.
    void MarkFlags();
    void MarkRowRuns();
    // The colours and colour models of the taps within region.
    void EstimateObjectColours(const tw::Bitmap& workingPicture, const TRowBandPool& pool, QRect region);
    // One side's colour near a tap: how many pixels, their mean, the largest
    // channel's standard deviation and the mean's largest channel.
    struct TSideColour {
        int32_t Count = 0;
        double Mean[3] = {0, 0, 0};
        double Spread = 0, Value = 0;
    };
    static TSideColour SideColour(const int32_t* sums); // a ColourSums' values
    static void FitColourLine(const TSideColour& object, const TSideColour& beyond, TModel& coef);
    void BorderCoverage(const uint32_t* row, const tw::Bitmap* fullPicture, int y, int x0, int x1,
                        uint8_t* out, TObjectColour* objects, TRowCache& cache) const;
    double RulesMembership(const tw::Bitmap& fullPicture, int x, int y) const;

    int w_, h_;
    Axis ax_, ay_;
    TBorderMethod method_;
    bool hasGrowth_ = false;
    TPartGrowth growth_;
    THSVValues seedHsv_{};
    int32_t ruleTrust_ = 256; // how far object colours of this part can be trusted at most
    std::vector<uint8_t> flags_;
    // Each working row as runs of outside, inside and mixed pixels (by the
    // window of the full-size pixels whose own working pixel they are), so
    // that a full-size row is taken a run at a time: the runs of row y are
    // rowRuns_[rowStart_[y]] up to rowRuns_[rowStart_[y + 1]].
    enum class RunKind : uint8_t { Outside, Inside, Mixed };
    struct WorkRun {
        uint16_t Begin, End; // working columns, end excluded
        RunKind Kind;
    };
    std::vector<WorkRun> rowRuns_;
    std::vector<uint32_t> rowStart_;
    // Taps are few, so what is kept for them is packed in row order, found
    // through one bit per working pixel (a row of words_ words per working
    // row) and the number of taps before each word.
    int words_ = 0;
    std::vector<uint64_t> tapBits_;
    std::vector<uint32_t> tapsBefore_;
    size_t TapIndex(int x, int y) const {
        const size_t word = static_cast<size_t>(y) * words_ + static_cast<size_t>(x / 64);
        return tapsBefore_[word] + BitCount(tapBits_[word] & ((uint64_t{1} << (x % 64)) - 1));
    }
    // The index of the tap at x, y and of the one at x + 1 (x itself at the last column).
    std::pair<size_t, size_t> TapPair(int x, int y) const {
        const size_t i = TapIndex(x, y);
        return {i, x + 1 < w_ ? i + 1 : i};
    }
    // The set bits of v, inline on any processor (a library call where the
    // build may not assume a bit-counting instruction).
    static size_t BitCount(uint64_t v) {
        v -= (v >> 1) & 0x5555555555555555u;
        v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
        v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
        return static_cast<size_t>((v * 0x0101010101010101u) >> 56);
    }
    size_t TapCount() const { return tapBits_.empty() ? 0 : tapsBefore_.back() + BitCount(tapBits_.back()); }
    // Per tap: the colour model (all 0 where the smooth outline holds alone).
    std::vector<TModel> coef_;
    // Per tap: the part's own colour nearby (RGB32) with its trust 0..255 in
    // the top byte, 0 when nothing lies well inside; the colour beyond the
    // part nearby (opaque RGB32), 0 when nothing lies well outside.
    struct TTapColours {
        uint32_t Own, Beyond;
    };
    std::vector<TTapColours> object_;
    QRect inside_; // the working pixels of the part
    QRect bounds_;
    QRect work_; // the working pixels that can hold any flag but kIn
};

// Inline: called for every mixed border pixel.
inline TCoverageCarrier::TObjectColour TCoverageCarrier::ObjectAt(int x, int y,
                                                                  ObjectColumns& columns) const {
    if (object_.empty()) return {0, 0, 0};
    // Bilinear weights (in 256ths) are products of a weight across and one
    // down: each of the two columns is blended down the rows first, in
    // integers. Each tap's own colour counts by its trust, the colour beyond
    // where it is known.
    const int xl = ax_.low[x];
    if (xl != columns.low || y != columns.y || columns.carrier != this) {
        const int yl = ay_.low[y], yh = std::min(yl + 1, h_ - 1);
        const int32_t fy = ay_.weight256[y];
        const auto [topLeft, topRight] = TapPair(xl, yl);
        const auto [bottomLeft, bottomRight] = TapPair(xl, yh);
        const size_t tops[2] = {topLeft, topRight}, bottoms[2] = {bottomLeft, bottomRight};
        for (int c = 0; c < 2; ++c) {
            const TTapColours& top = object_[tops[c]];
            const TTapColours& bottom = object_[bottoms[c]];
            const int32_t wt = (256 - fy) * static_cast<int32_t>(top.Own >> 24),
                          wb = fy * static_cast<int32_t>(bottom.Own >> 24);
            const int32_t bt = top.Beyond ? 256 - fy : 0, bb = bottom.Beyond ? fy : 0;
            int32_t* sum = columns.sums[c];
            int32_t* beyond = columns.beyond[c];
            for (int i = 0; i < 3; ++i) {
                const int shift = 16 - 8 * i;
                sum[i] = wt * static_cast<int32_t>((top.Own >> shift) & 0xFF) +
                         wb * static_cast<int32_t>((bottom.Own >> shift) & 0xFF);
                beyond[i] = bt * static_cast<int32_t>((top.Beyond >> shift) & 0xFF) +
                            bb * static_cast<int32_t>((bottom.Beyond >> shift) & 0xFF);
            }
            sum[3] = wt + wb;
            beyond[3] = bt + bb;
        }
        columns.low = xl;
        columns.y = y;
        columns.carrier = this;
    }
    const int64_t fx = ax_.weight256[x];
    TObjectColour o{0, 0, 0};
    // Each channel a weighted mean of levels, so within 0..255, rounded half
    // up: floor((2 sum + weight) / (2 weight)). In doubles, by one reciprocal:
    // the integers are exact, the quotient is off by less than 1e-12 and
    // lies 1 / (2 weight) > 1e-10 from the next integer unless it is one, so
    // a nudge of 1e-11 floors it exactly as integer division does.
    const auto mean = [fx](const int32_t* left, const int32_t* right, int64_t weight) {
        const double inverse = 1.0 / static_cast<double>(2 * weight);
        uint32_t v = 0xFF000000u;
        for (int i = 0; i < 3; ++i) {
            const int64_t sum = (256 - fx) * left[i] + fx * right[i];
            v |= static_cast<uint32_t>(static_cast<double>(2 * sum + weight) * inverse + 1e-11)
                 << (16 - 8 * i);
        }
        return v;
    };
    // The weights: up to 256 * 256 * 255.
    const int64_t weight = (256 - fx) * columns.sums[0][3] + fx * columns.sums[1][3];
    if (weight == 0) return o;
    o.Colour = mean(columns.sums[0], columns.sums[1], weight);
    // The trust: the bilinear mean of the taps' trusts, 0..255, taken to 0..256.
    o.Trust = static_cast<int32_t>((weight + 128 * 255) / (256 * 255));
    // The colour beyond only serves the unmixing, which needs some trust.
    const int64_t beyondWeight = (256 - fx) * columns.beyond[0][3] + fx * columns.beyond[1][3];
    if (o.Trust > 0 && beyondWeight > 0) o.Beyond = mean(columns.beyond[0], columns.beyond[1], beyondWeight);
    return o;
}
