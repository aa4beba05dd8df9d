#pragma once
// Carries one working-size part up to the full-size picture as a coverage
// 0..255 per full-size pixel, a row at a time. Away from the part's border the
// coverage is the working-size part's 0 or 255; in the border band (full-size
// pixels under working-size pixels on or next to the part's edge) it is decided
// from the full-size pixels, so the border follows the object's real edge.

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
    // Edge-aware upsampling: a guided filter fitted at the working size, applied
    // with the full-size pixels as the guide.
    Guided,
    // The part's growth rules applied to each full-size pixel of the band, softened
    // across a pixel; parts without rules fall back to Guided. Every pixel is
    // judged against the seed colour, also for walks that compared neighbours.
    Rules,
    // The part smoothly (bilinearly) upsampled, blind to the picture.
    Smooth,
};

class TCoverageCarrier {
  public:
    // The guided filter's window radius (working pixels) and regulariser (in
    // squared 8-bit levels): what measured best on shaded objects over texture.
    static constexpr int kGuidedRadius = 3;
    static constexpr double kGuidedEpsilon = 25.0;
    // How far (working pixels) to look inside the part for its own colour.
    static constexpr int kObjectRadius = 3;

    // part is a working-size part bitmap (white: not in the part) of
    // workingPicture's size; growth may be null. Works out everything needed at
    // the working size on pool's threads. Throws std::invalid_argument on
    // mismatched sizes.
    TCoverageCarrier(QSize fullSize, const tw::Bitmap& workingPicture, const tw::Bitmap& part,
                     const TPartGrowth* growth, TBorderMethod method, const TRowBandPool& pool);

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
    // The runs of full-size row y over columns [x0, x1) outside the hidden
    // spans (sorted, apart), neighbouring outside or inside runs joined; the
    // coverage of border runs goes to out[x - x0]. Hidden columns are left out
    // of the runs and their coverage is not worked out. row is that row of the
    // full-size picture; the Rules border also reads the rows around it from
    // fullPicture (null for the others). Thread-safe.
    void CoverageRuns(const uint32_t* row, const tw::Bitmap* fullPicture, int y, int x0, int x1, uint8_t* out,
                      std::vector<Run>& runs, const std::vector<Span>& hidden = {}) const;
    // The part's own colour at full-size border pixel (x, y) whose picture pixel
    // is pixel (RGB32 words): estimated from the working pixels well inside the
    // part nearby, or pixel itself when there are none. Thread-safe with a
    // columns record per thread: taken along a row, the estimate's columns are
    // worked out once for every full-size pixel between the same two working
    // columns.
    struct ObjectColumns {
        const TCoverageCarrier* carrier = nullptr; // whose they are
        int y = -1, low = -1;
        int32_t sums[2][4]; // per column: red, green, blue and weight, blended down the rows
    };
    uint32_t ObjectAt(uint32_t pixel, int x, int y, ObjectColumns& columns) const;

  private:
    // Full-size to working-size mapping along one axis.
    struct Axis {
        std::vector<int> nearest;       // the working pixel a full pixel lies in
        std::vector<int> low;           // bilinear taps and the weight of the high one
        std::vector<float> weight;      // (of the high tap)
        std::vector<int32_t> weight256; // the same in 256ths, for integer blends
        std::vector<int> first;         // first full pixel of each working pixel, plus the end
        Axis(int full, int working);
    };
    enum : uint8_t { kIn = 1, kEdge = 2, kTap = 4, kNear = 8 };

    uint8_t Flags(int x, int y) const { return flags_[static_cast<size_t>(y) * w_ + x]; }
    void MarkFlags(const tw::Bitmap& part, const TRowBandPool& pool);
    void MarkRowRuns();
    void FitGuided(const tw::Bitmap& workingPicture, const TRowBandPool& pool);
    void EstimateObjectColours(const tw::Bitmap& workingPicture, const TRowBandPool& pool);
    void BorderGuided(const uint32_t* row, int y, int x0, int x1, uint8_t* out) const;
    void BorderSmooth(int y, int x0, int x1, uint8_t* out) const;
    void BorderRules(const tw::Bitmap& fullPicture, int y, int x0, int x1, uint8_t* out) const;

    int w_, h_;
    Axis ax_, ay_;
    TBorderMethod method_;
    bool hasGrowth_ = false;
    TPartGrowth growth_;
    THSVValues seedHsv_{};
    std::vector<uint8_t> flags_;
    // Each working row as runs of outside, inside and edge pixels, so that a
    // full-size row is taken a run at a time rather than a working pixel at a
    // time: the runs of row y are rowRuns_[rowStart_[y]] up to rowRuns_[rowStart_[y + 1]].
    enum class RunKind : uint8_t { Outside, Inside, Edge };
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
    // Per tap: the filter's mean coefficients (red, green, blue, offset).
    std::vector<std::array<float, 4>> coef_;
    // Per tap: the part's own colour nearby (RGB32), 0 when nothing lies well inside.
    std::vector<uint32_t> object_;
    QRect bounds_;
    QRect work_; // the working pixels that can hold any flag but kIn
};

// Inline: called for every mixed border pixel.
inline uint32_t TCoverageCarrier::ObjectAt(uint32_t pixel, int x, int y, ObjectColumns& columns) const {
    if (object_.empty()) return pixel;
    // Bilinear weights (in 256ths) are products of a weight across and one
    // down: each of the two columns is blended down the rows first, in integers.
    // A tap with nothing well inside it counts for nothing.
    const int xl = ax_.low[x];
    if (xl != columns.low || y != columns.y || columns.carrier != this) {
        const int yl = ay_.low[y], yh = std::min(yl + 1, h_ - 1);
        const int32_t fy = ay_.weight256[y];
        const auto [topLeft, topRight] = TapPair(xl, yl);
        const auto [bottomLeft, bottomRight] = TapPair(xl, yh);
        const size_t tops[2] = {topLeft, topRight}, bottoms[2] = {bottomLeft, bottomRight};
        for (int c = 0; c < 2; ++c) {
            const uint32_t top = object_[tops[c]];
            const uint32_t bottom = object_[bottoms[c]];
            const int32_t wt = top ? 256 - fy : 0, wb = bottom ? fy : 0;
            int32_t* sum = columns.sums[c];
            for (int i = 0; i < 3; ++i)
                sum[i] = wt * static_cast<int32_t>((top >> (16 - 8 * i)) & 0xFF) +
                         wb * static_cast<int32_t>((bottom >> (16 - 8 * i)) & 0xFF);
            sum[3] = wt + wb;
        }
        columns.low = xl;
        columns.y = y;
        columns.carrier = this;
    }
    const int32_t fx = ax_.weight256[x];
    const int32_t* left = columns.sums[0];
    const int32_t* right = columns.sums[1];
    const int32_t weight = (256 - fx) * left[3] + fx * right[3];
    // A sliver of a part with nothing well inside it: the pixel stands for itself.
    if (weight == 0) return pixel;
    // Each channel a weighted mean of levels, so within 0..255; rounded half up.
    uint32_t v = 0xFF000000u;
    if (weight == 256 * 256) {
        // All four taps hold the part's colour (the usual case): a shift divides.
        for (int i = 0; i < 3; ++i) {
            const int32_t sum = (256 - fx) * left[i] + fx * right[i];
            v |= static_cast<uint32_t>((2 * sum + weight) >> 17) << (16 - 8 * i);
        }
        return v;
    }
    for (int i = 0; i < 3; ++i) {
        const int32_t sum = (256 - fx) * left[i] + fx * right[i];
        v |= static_cast<uint32_t>((2 * sum + weight) / (2 * weight)) << (16 - 8 * i);
    }
    return v;
}
