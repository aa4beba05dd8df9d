#include "fullsize/CoverageCarrier.h"

#include "colour/HSVTables.h"
#include "masking/BitmapWalkerThread.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <stdexcept>

namespace {

constexpr int kWorkingBand = 16; // working-size rows per band of the preparation passes

bool InPart(uint32_t rgb32) {
    return (rgb32 | 0xFF000000u) != 0xFFFFFFFFu;
}

inline __attribute__((always_inline)) uint8_t ToCoverage(double q) {
    return static_cast<uint8_t>(std::clamp(Round(q * 255.0), 0, 255));
}

// Inverse of a symmetric 3 x 3 matrix (xx, xy, xz, yy, yz, zz) times v.
std::array<double, 3> SolveSymmetric(const double m[6], const double v[3]) {
    const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5];
    const double i00 = d * f - e * e, i01 = c * e - b * f, i02 = b * e - c * d;
    const double i11 = a * f - c * c, i12 = b * c - a * e, i22 = a * d - b * b;
    const double inverse = 1 / (a * i00 + b * i01 + c * i02);
    return {(i00 * v[0] + i01 * v[1] + i02 * v[2]) * inverse,
            (i01 * v[0] + i11 * v[1] + i12 * v[2]) * inverse,
            (i02 * v[0] + i12 * v[1] + i22 * v[2]) * inverse};
}

// Integer sums that add and take away term by term.
template <int N> struct TermSums {
    int32_t v[N] = {};
    TermSums& operator+=(const TermSums& o) {
        for (int i = 0; i < N; ++i)
            v[i] += o.v[i];
        return *this;
    }
    TermSums& operator-=(const TermSums& o) {
        for (int i = 0; i < N; ++i)
            v[i] -= o.v[i];
        return *this;
    }
};

// The guided filter's sums over pixels: part, colour (3), colour times part (3)
// and the colour products (6: rr, rg, rb, gg, gb, bb). 32 bits hold them: a
// working row is at most 800 pixels, and a prefix along it of a window's
// rows (2 * kGuidedRadius + 1 of them) at most 800 * 7 * 255 * 255.
struct WindowSums : TermSums<13> {
    void Add(uint32_t rgb32, int32_t part, int32_t sign) {
        const int32_t c[3] = {static_cast<int32_t>((rgb32 >> 16) & 0xFF),
                              static_cast<int32_t>((rgb32 >> 8) & 0xFF), static_cast<int32_t>(rgb32 & 0xFF)};
        const int32_t terms[13] = {part,        c[0],        c[1],        c[2],        c[0] * part,
                                   c[1] * part, c[2] * part, c[0] * c[0], c[0] * c[1], c[0] * c[2],
                                   c[1] * c[1], c[1] * c[2], c[2] * c[2]};
        for (int i = 0; i < 13; ++i)
            v[i] += sign * terms[i];
    }
};

// The part's own colour sums: red, green, blue and how many pixels.
struct ColourSums : TermSums<4> {
    void Add(uint32_t rgb32, int32_t sign) {
        v[0] += sign * static_cast<int32_t>((rgb32 >> 16) & 0xFF);
        v[1] += sign * static_cast<int32_t>((rgb32 >> 8) & 0xFF);
        v[2] += sign * static_cast<int32_t>(rgb32 & 0xFF);
        v[3] += sign;
    }
};

// Sums over windows of (2r + 1) x (2r + 1) pixels, for the few pixels of a
// row that need them: column sums over the window's rows, each worked out only
// when a window covers it, brought down from the row it was last summed for or
// summed afresh when that is cheaper; and a window that slides along the row
// from one pixel to the next. Integers, so exactly the sums of the window's
// pixels however they were come by. addPixel(sums, x, y, sign) adds one
// pixel's terms (sign -1 takes them away); rows beyond the picture add nothing.
template <class Sums, class AddPixel> class WindowSummer {
  public:
    WindowSummer(int left, int right, int height, int r, const AddPixel& addPixel)
        : left_(left), height_(height), r_(r), addPixel_(addPixel),
          column_(static_cast<size_t>(right - left + 1)), columnRow_(column_.size(), kNone) {}

    // The sums over columns x0..x1 (within left..right) of rows y - r .. y + r.
    // Calls for one row go left to right.
    const Sums& Over(int x0, int x1, int y) {
        if (y != row_ || to_ < from_ || x0 > to_ + 1) {
            window_ = Sums();
            for (int x = x0; x <= x1; ++x)
                window_ += Column(x, y);
        } else {
            for (int x = from_; x < x0; ++x)
                window_ -= Column(x, y);
            for (int x = to_ + 1; x <= x1; ++x)
                window_ += Column(x, y);
        }
        row_ = y, from_ = x0, to_ = x1;
        return window_;
    }

  private:
    static constexpr int kNone = std::numeric_limits<int>::min();
    const Sums& Column(int x, int y) {
        Sums& c = column_[static_cast<size_t>(x - left_)];
        int& at = columnRow_[static_cast<size_t>(x - left_)];
        if (at == y) return c;
        if (at != kNone && at < y && y - at <= r_) {
            for (int t = at + 1; t <= y; ++t)
                AddRow(c, x, t - r_ - 1, -1), AddRow(c, x, t + r_, 1);
        } else {
            c = Sums();
            for (int t = y - r_; t <= y + r_; ++t)
                AddRow(c, x, t, 1);
        }
        at = y;
        return c;
    }
    void AddRow(Sums& c, int x, int y, int32_t sign) const {
        if (y >= 0 && y < height_) addPixel_(c, x, y, sign);
    }

    int left_, height_, r_;
    const AddPixel& addPixel_;
    std::vector<Sums> column_;
    std::vector<int> columnRow_;
    Sums window_;
    int row_ = kNone, from_ = 0, to_ = -1;
};

} // namespace

TCoverageCarrier::Axis::Axis(int full, int working)
    : nearest(full), low(full), weight(full), weight256(full), first(static_cast<size_t>(working) + 1, full) {
    for (int i = 0; i < full; ++i) {
        nearest[i] = static_cast<int>(std::min<int64_t>(
            working - 1, ((2 * static_cast<int64_t>(i) + 1) * working) / (2 * static_cast<int64_t>(full))));
        const double u = (i + 0.5) * working / full - 0.5;
        int lo = u <= 0 ? 0 : static_cast<int>(u);
        double wt = u <= 0 ? 0.0 : u - lo;
        if (lo >= working - 1) lo = working - 1, wt = 0;
        low[i] = lo;
        weight[i] = static_cast<float>(wt);
        weight256[i] = Round(wt * 256);
    }
    for (int i = full - 1; i >= 0; --i)
        first[nearest[i]] = i;
    // Working pixels no full pixel lies in (a smaller full size) start where the next one does.
    for (int x = working - 1; x >= 0; --x)
        first[x] = std::min(first[x], first[x + 1]);
}

TCoverageCarrier::TCoverageCarrier(QSize fullSize, const tw::Bitmap& workingPicture, const tw::Bitmap& part,
                                   const TPartGrowth* growth, TBorderMethod method, const TRowBandPool& pool)
    : w_(workingPicture.Width()), h_(workingPicture.Height()), ax_(std::max(0, fullSize.width()), w_),
      ay_(std::max(0, fullSize.height()), h_), method_(method), hasGrowth_(growth != nullptr) {
    if (fullSize.isEmpty() || workingPicture.IsEmpty())
        throw std::invalid_argument("cannot carry a part up to or from an empty picture");
    if (part.Width() != w_ || part.Height() != h_)
        throw std::invalid_argument("a part must have the working picture's size");
    // The filter's window sums are 32-bit (see WindowSums).
    if (w_ > 4096) throw std::invalid_argument("a working picture is at most 4096 pixels wide");
    if (growth) {
        growth_ = *growth;
        const TRGBValues c = ColorToRGBValues(growth->SeedColor);
        seedHsv_ = THSVTables::Get().ToHSV(c.R, c.G, c.B);
    }
    if (method_ == TBorderMethod::Rules && !hasGrowth_) method_ = TBorderMethod::Guided;
    MarkFlags(part, pool);
    MarkRowRuns();
    if (work_.isEmpty()) return;
    if (method_ == TBorderMethod::Guided) FitGuided(workingPicture, pool);
    EstimateObjectColours(workingPicture, pool);
}

void TCoverageCarrier::MarkFlags(const tw::Bitmap& part, const TRowBandPool& pool) {
    flags_.assign(static_cast<size_t>(w_) * h_, 0);
    std::vector<int> rowMin(h_, w_), rowMax(h_, -1);
    pool.Run(h_, kWorkingBand, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const uint32_t* row = part.Row(y);
            for (int x = 0; x < w_; ++x)
                if (InPart(row[x])) {
                    flags_[static_cast<size_t>(y) * w_ + x] = kIn;
                    rowMin[y] = std::min(rowMin[y], x), rowMax[y] = x;
                }
        }
    });
    int left = w_, right = -1, top = h_, bottom = -1;
    for (int y = 0; y < h_; ++y)
        if (rowMax[y] >= 0) {
            left = std::min(left, rowMin[y]), right = std::max(right, rowMax[y]);
            top = std::min(top, y), bottom = y;
        }
    if (right < 0) return;
    const QRect inside(QPoint(left, top), QPoint(right, bottom));
    if (static_cast<int>(ax_.nearest.size()) == w_ && static_cast<int>(ay_.nearest.size()) == h_) {
        // Nothing to carry up: the part is the full-size part, and the result is
        // the working-size save's.
        bounds_ = inside;
        return;
    }
    // Every other flag lies within reach of the part's pixels: edges one pixel
    // beyond them, taps and near pixels kReach beyond the edges.
    constexpr int kReach = kGuidedRadius + 1;
    const QRect edges = inside.adjusted(-1, -1, 1, 1).intersected(QRect(0, 0, w_, h_));
    work_ =
        inside.adjusted(-1 - kReach, -1 - kReach, 1 + kReach, 1 + kReach).intersected(QRect(0, 0, w_, h_));
    bounds_ = QRect(QPoint(ax_.first[edges.left()], ay_.first[edges.top()]),
                    QPoint(ax_.first[edges.right() + 1] - 1, ay_.first[edges.bottom() + 1] - 1));

    // The flags below are worked out on rows of bits, 64 working pixels a word.
    const int words = (w_ + 63) / 64;
    const uint64_t lastWord = w_ % 64 ? (uint64_t{1} << (w_ % 64)) - 1 : ~uint64_t{0};
    const auto bitRows = [&] { return std::vector<uint64_t>(static_cast<size_t>(h_) * words, 0); };
    const auto bits = [&](std::vector<uint64_t>& b, int y) {
        return b.data() + static_cast<size_t>(y) * words;
    };
    // dst = src widened by r pixels to either side along the row.
    const auto widen = [&](const uint64_t* src, uint64_t* dst, int r) {
        for (int i = 0; i < words; ++i) {
            uint64_t v = src[i];
            for (int s = 1; s <= r; ++s) {
                v |= src[i] << s | src[i] >> s;
                if (i > 0) v |= src[i - 1] >> (64 - s);
                if (i + 1 < words) v |= src[i + 1] << (64 - s);
            }
            dst[i] = v;
        }
        dst[words - 1] &= lastWord;
    };
    // The OR of rows y - r .. y + r (within the picture) of src.
    const auto across = [&](std::vector<uint64_t>& src, int y, int r, uint64_t* dst) {
        std::fill(dst, dst + words, 0);
        for (int ny = std::max(0, y - r); ny <= std::min(h_ - 1, y + r); ++ny) {
            const uint64_t* row = bits(src, ny);
            for (int i = 0; i < words; ++i)
                dst[i] |= row[i];
        }
    };
    // Edge: the 3 x 3 square around the pixel, within the picture, holds both
    // sides of the part.
    // Inside and outside each widened along the row first, then across rows.
    std::vector<uint64_t> in = bitRows(), out = bitRows(), edge = bitRows();
    {
        std::vector<uint64_t> row(static_cast<size_t>(words)), outside(row.size());
        for (int y = 0; y < h_; ++y) {
            std::fill(row.begin(), row.end(), 0);
            const uint8_t* f = flags_.data() + static_cast<size_t>(y) * w_;
            for (int x = 0; x < w_; ++x)
                row[static_cast<size_t>(x / 64)] |= static_cast<uint64_t>(f[x] & kIn) << (x % 64);
            for (size_t i = 0; i < row.size(); ++i)
                outside[i] = ~row[i];
            outside.back() &= lastWord;
            widen(row.data(), bits(in, y), 1);
            widen(outside.data(), bits(out, y), 1);
        }
    }
    {
        std::vector<uint64_t> a(static_cast<size_t>(words)), b(a.size());
        for (int y = 0; y < h_; ++y) {
            across(in, y, 1, a.data());
            across(out, y, 1, b.data());
            uint64_t* e = bits(edge, y);
            for (int i = 0; i < words; ++i)
                e[i] = a[static_cast<size_t>(i)] & b[static_cast<size_t>(i)];
        }
    }
    // Taps: working pixels a border pixel interpolates from (within 1 of an edge).
    // Near: pixels whose filter window can see a tap's window (within kReach).
    // Chebyshev distances: along the row first, then across rows.
    std::vector<uint64_t> near1 = bitRows(), nearReach = bitRows();
    for (int y = 0; y < h_; ++y) {
        widen(bits(edge, y), bits(near1, y), 1);
        widen(bits(edge, y), bits(nearReach, y), kReach);
    }
    std::vector<uint64_t> near(static_cast<size_t>(words));
    tapBits_.assign(static_cast<size_t>(h_) * words, 0);
    tapsBefore_.assign(tapBits_.size(), 0);
    words_ = words;
    for (int y = work_.top(); y <= work_.bottom(); ++y) {
        across(near1, y, 1, bits(tapBits_, y));
        across(nearReach, y, kReach, near.data());
        const uint64_t* e = bits(edge, y);
        const uint64_t* tap = bits(tapBits_, y);
        uint8_t* f = flags_.data() + static_cast<size_t>(y) * w_;
        for (int i = 0; i < words; ++i)
            for (uint64_t any = near[static_cast<size_t>(i)]; any; any &= any - 1) {
                const int bit = __builtin_ctzll(any), x = i * 64 + bit;
                f[x] |= kNear | ((e[i] >> bit & 1) ? kEdge : 0) | ((tap[i] >> bit & 1) ? kTap : 0);
            }
    }
    uint32_t taps = 0;
    for (size_t i = 0; i < tapBits_.size(); ++i) {
        tapsBefore_[i] = taps;
        taps += static_cast<uint32_t>(BitCount(tapBits_[i]));
    }
}

void TCoverageCarrier::FitGuided(const tw::Bitmap& picture, const TRowBandPool& pool) {
    constexpr int r = kGuidedRadius;
    constexpr int kWindowRows = 2 * r + 1;
    // Per working pixel the local linear model coverage = a . colour + b, fitted to
    // the part's 0/1 over the window (He, Sun and Tang's guided filter); exact
    // integer window sums keep it independent of the bands. Each tap's
    // coefficients are then the mean of the models of every window holding it.
    // The models are kept only for the window's rows, down each band: a band
    // works out the models of the rows around it itself, so no picture-sized
    // array of them is ever made (only what is kept, coef_). Pixels beyond
    // work_ are far from the part: their model is 0.
    const int left = std::max(0, work_.left() - r), right = std::min(w_ - 1, work_.right() + r);
    const int columns = right - left + 1;
    coef_.assign(TapCount(), {0, 0, 0, 0});
    // Few bands: each works out the models of r rows on either side again.
    const int bandRows = std::max(2 * kWorkingBand, (work_.height() - 1) / (2 * pool.Threads()) + 1);
    pool.Run(work_.height(), bandRows, [&](int first, int end) {
        const int y0 = work_.top() + first, y1 = work_.top() + end; // the band's rows of coef_
        const int m0 = std::max(work_.top(), y0 - r), m1 = std::min(work_.bottom() + 1, y1 + r);
        std::vector<std::array<float, 4>> ring(static_cast<size_t>(kWindowRows) * columns, {0, 0, 0, 0});
        const std::vector<std::array<float, 4>> zero(static_cast<size_t>(columns), {0, 0, 0, 0});
        const auto modelRow = [&](int y) {
            return y < m0 || y >= m1 ? zero.data() - left
                                     : ring.data() + static_cast<size_t>(y % kWindowRows) * columns - left;
        };
        // Only near pixels need their window's sums.
        const auto addPixel = [&](WindowSums& c, int x, int y, int32_t sign) {
            c.Add(picture.Row(y)[x], Flags(x, y) & kIn, sign);
        };
        WindowSummer<WindowSums, decltype(addPixel)> summer(left, right, h_, r, addPixel);
        const auto fitRow = [&](int y) {
            std::array<float, 4>* model = ring.data() + static_cast<size_t>(y % kWindowRows) * columns - left;
            const int64_t rows = std::min(h_ - 1, y + r) - std::max(0, y - r) + 1;
            for (int x = work_.left(); x <= work_.right(); ++x) {
                const uint8_t f = Flags(x, y);
                if (!(f & kNear)) {
                    model[x] = {0, 0, 0, static_cast<float>(f & kIn)};
                    continue;
                }
                const int x0 = std::max(0, x - r), x1 = std::min(w_ - 1, x + r);
                const WindowSums& s = summer.Over(x0, x1, y);
                const int64_t n = rows * (x1 - x0 + 1), sp = s.v[0];
                // A window all inside or all outside fits a = 0, b = its value,
                // as the solve below would give.
                if (sp == 0 || sp == n) {
                    model[x] = {0, 0, 0, sp == 0 ? 0.0f : 1.0f};
                    continue;
                }
                int64_t si[3], sip[3], sii[6];
                std::copy(s.v + 1, s.v + 4, si);
                std::copy(s.v + 4, s.v + 7, sip);
                std::copy(s.v + 7, s.v + 13, sii);
                // The covariances times n * n, exact in integers; the common
                // factor leaves the solution as it is, so it is never divided out.
                const double n2 = static_cast<double>(n * n);
                static constexpr int kPair[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
                double sigma[6], cov[3];
                for (int i = 0; i < 6; ++i)
                    sigma[i] = static_cast<double>(n * sii[i] - si[kPair[i][0]] * si[kPair[i][1]]);
                sigma[0] += kGuidedEpsilon * n2, sigma[3] += kGuidedEpsilon * n2,
                    sigma[5] += kGuidedEpsilon * n2;
                for (int i = 0; i < 3; ++i)
                    cov[i] = static_cast<double>(n * sip[i] - si[i] * sp);
                const std::array<double, 3> a = SolveSymmetric(sigma, cov);
                const double b = (static_cast<double>(sp) - a[0] * static_cast<double>(si[0]) -
                                  a[1] * static_cast<double>(si[1]) - a[2] * static_cast<double>(si[2])) /
                                 static_cast<double>(n);
                model[x] = {static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(a[2]),
                            static_cast<float>(b)};
            }
        };
        // The mean over each tap's window, summed down the window's columns first.
        std::vector<std::array<double, 4>> sums(static_cast<size_t>(columns));
        const auto meanRow = [&](int y) {
            const int wy0 = std::max(0, y - r), wy1 = std::min(h_ - 1, y + r);
            // Only the columns some tap's window reaches, each once, left to right.
            int summed = left - 1;
            for (int x = work_.left(); x <= work_.right(); ++x) {
                const size_t k = static_cast<size_t>(y) * w_ + x;
                if (!(flags_[k] & kTap)) continue;
                const int x0 = std::max(0, x - r), x1 = std::min(w_ - 1, x + r);
                for (int nx = std::max(x0, summed + 1); nx <= x1; ++nx) {
                    std::array<double, 4>& c = sums[static_cast<size_t>(nx - left)];
                    c = {0, 0, 0, 0};
                    for (int ny = wy0; ny <= wy1; ++ny) {
                        const std::array<float, 4>& m = modelRow(ny)[nx];
                        for (int i = 0; i < 4; ++i)
                            c[i] += m[i];
                    }
                }
                summed = std::max(summed, x1);
                double sum[4] = {};
                for (int nx = x0; nx <= x1; ++nx)
                    for (int i = 0; i < 4; ++i)
                        sum[i] += sums[static_cast<size_t>(nx - left)][i];
                const int n = (wy1 - wy0 + 1) * (x1 - x0 + 1);
                for (int i = 0; i < 4; ++i)
                    coef_[TapIndex(x, y)][i] = static_cast<float>(sum[i] / n);
            }
        };
        // A row's mean as soon as the last model row of its window is known.
        int meaned = y0;
        for (int y = m0; y < m1; ++y) {
            fitRow(y);
            for (; meaned < y1 && meaned + r <= y; ++meaned)
                meanRow(meaned);
        }
        for (; meaned < y1; ++meaned)
            meanRow(meaned);
    });
}

void TCoverageCarrier::EstimateObjectColours(const tw::Bitmap& picture, const TRowBandPool& pool) {
    // The part's colour near each tap: the mean of the working pixels well inside
    // the part (not on its edge, so not mixed with what lies beyond).
    constexpr int r = kObjectRadius;
    object_.assign(TapCount(), 0);
    const int cl = std::max(0, work_.left() - r), cr = std::min(w_ - 1, work_.right() + r);
    const auto addPixel = [&](ColourSums& c, int x, int y, int32_t sign) {
        if ((Flags(x, y) & (kIn | kEdge)) == kIn) c.Add(picture.Row(y)[x], sign);
    };
    pool.Run(work_.height(), kWorkingBand, [&](int first, int end) {
        WindowSummer<ColourSums, decltype(addPixel)> summer(cl, cr, h_, r, addPixel);
        for (int y = work_.top() + first; y < work_.top() + end; ++y)
            for (int x = work_.left(); x <= work_.right(); ++x) {
                const size_t k = static_cast<size_t>(y) * w_ + x;
                if (!(flags_[k] & kTap)) continue;
                const int32_t* sum = summer.Over(std::max(0, x - r), std::min(w_ - 1, x + r), y).v;
                if (sum[3] == 0) continue;
                uint32_t c = 0xFF000000u;
                for (int i = 0; i < 3; ++i)
                    c |= static_cast<uint32_t>(Round(static_cast<double>(sum[i]) / sum[3])) << (16 - 8 * i);
                object_[TapIndex(x, y)] = c;
            }
    });
}

bool TCoverageCarrier::InBorder(int x, int y) const {
    if (x < 0 || y < 0 || x >= static_cast<int>(ax_.nearest.size()) ||
        y >= static_cast<int>(ay_.nearest.size()))
        return false;
    return Flags(ax_.nearest[x], ay_.nearest[y]) & kEdge;
}

void TCoverageCarrier::MarkRowRuns() {
    rowStart_.assign(static_cast<size_t>(h_) + 1, 0);
    rowRuns_.clear();
    for (int y = 0; y < h_; ++y) {
        rowStart_[static_cast<size_t>(y)] = static_cast<uint32_t>(rowRuns_.size());
        if (bounds_.isEmpty()) continue;
        const uint8_t* f = flags_.data() + static_cast<size_t>(y) * w_;
        for (int x = 0; x < w_;) {
            const RunKind kind = (f[x] & kEdge) ? RunKind::Edge
                                 : (f[x] & kIn) ? RunKind::Inside
                                                : RunKind::Outside;
            int end = x + 1;
            while (end < w_ && ((f[end] & kEdge) ? RunKind::Edge
                                : (f[end] & kIn) ? RunKind::Inside
                                                 : RunKind::Outside) == kind)
                ++end;
            rowRuns_.push_back({static_cast<uint16_t>(x), static_cast<uint16_t>(end), kind});
            x = end;
        }
    }
    rowStart_[static_cast<size_t>(h_)] = static_cast<uint32_t>(rowRuns_.size());
}

void TCoverageCarrier::CoverageRuns(const uint32_t* row, const tw::Bitmap* fullPicture, int y, int x0, int x1,
                                    uint8_t* out, std::vector<Run>& runs,
                                    const std::vector<Span>& hidden) const {
    runs.clear();
    const int wy = ay_.nearest[y];
    auto next = hidden.begin();
    // Adds the visible stretch [x, end) of one kind of working run.
    const auto add = [&](int x, int end, RunKind kind) {
        const bool joins = !runs.empty() && runs.back().End == x;
        if (kind != RunKind::Edge) {
            const uint8_t c = kind == RunKind::Inside ? 255 : 0;
            if (joins && !runs.back().Border && runs.back().Coverage == c)
                runs.back().End = end;
            else
                runs.push_back({x, end, false, c});
            return;
        }
        uint8_t* o = out + (x - x0);
        if (method_ == TBorderMethod::Guided)
            BorderGuided(row, y, x, end, o);
        else if (method_ == TBorderMethod::Smooth)
            BorderSmooth(y, x, end, o);
        else if (fullPicture)
            BorderRules(*fullPicture, y, x, end, o);
        else
            throw std::invalid_argument("the rules border needs the whole picture");
        if (joins && runs.back().Border)
            runs.back().End = end;
        else
            runs.push_back({x, end, true, 0});
    };
    const WorkRun* workRun = rowRuns_.data() + rowStart_[static_cast<size_t>(wy)];
    const WorkRun* const lastRun = rowRuns_.data() + rowStart_[static_cast<size_t>(wy) + 1];
    for (; workRun != lastRun; ++workRun) {
        const int begin = std::max(x0, ax_.first[workRun->Begin]),
                  end = std::min(x1, ax_.first[workRun->End]);
        if (begin >= x1) break;
        // The stretches between the hidden spans.
        for (int x = begin; x < end;) {
            while (next != hidden.end() && next->End <= x)
                ++next;
            if (next != hidden.end() && next->Begin <= x) {
                x = next->End;
                continue;
            }
            const int visibleEnd = next == hidden.end() ? end : std::min(end, next->Begin);
            add(x, visibleEnd, workRun->Kind);
            x = visibleEnd;
        }
    }
}

void TCoverageCarrier::BorderGuided(const uint32_t* row, int y, int x0, int x1, uint8_t* out) const {
    const int yl = ay_.low[y], yh = std::min(yl + 1, h_ - 1);
    const float fy = ay_.weight[y];
    for (int x = x0; x < x1;) {
        // The pixels between the same two working columns share their four taps.
        const int xl = ax_.low[x];
        const auto [upper0, upper1] = TapPair(xl, yl);
        const auto [lower0, lower1] = TapPair(xl, yh);
        const std::array<float, 4>&topLeft = coef_[upper0], &topRight = coef_[upper1];
        const std::array<float, 4>&bottomLeft = coef_[lower0], &bottomRight = coef_[lower1];
        for (; x < x1 && ax_.low[x] == xl; ++x) {
            const float fx = ax_.weight[x];
            float c[4];
            for (int i = 0; i < 4; ++i) {
                const float upper = topLeft[i] + fx * (topRight[i] - topLeft[i]);
                const float lower = bottomLeft[i] + fx * (bottomRight[i] - bottomLeft[i]);
                c[i] = upper + fy * (lower - upper);
            }
            const uint32_t p = row[x];
            const double q = static_cast<double>(c[0]) * ((p >> 16) & 0xFF) +
                             static_cast<double>(c[1]) * ((p >> 8) & 0xFF) +
                             static_cast<double>(c[2]) * (p & 0xFF) + static_cast<double>(c[3]);
            out[x - x0] = ToCoverage(q);
        }
    }
}

void TCoverageCarrier::BorderSmooth(int y, int x0, int x1, uint8_t* out) const {
    const int yl = ay_.low[y], yh = std::min(yl + 1, h_ - 1);
    const double fy = ay_.weight[y];
    for (int x = x0; x < x1; ++x) {
        const int xl = ax_.low[x], xh = std::min(xl + 1, w_ - 1);
        const double fx = ax_.weight[x];
        const auto in = [&](int wx, int wy) { return static_cast<double>(Flags(wx, wy) & kIn); };
        const double upper = in(xl, yl) + fx * (in(xh, yl) - in(xl, yl));
        const double lower = in(xl, yh) + fx * (in(xh, yh) - in(xl, yh));
        out[x - x0] = ToCoverage(upper + fy * (lower - upper));
    }
}

void TCoverageCarrier::BorderRules(const tw::Bitmap& fullPicture, int y, int x0, int x1, uint8_t* out) const {
    const THSVTables& tables = THSVTables::Get();
    const int width = fullPicture.Width(), height = fullPicture.Height();
    // 1 where a full-size pixel belongs to the part: by the rules in the band, by
    // the working-size part elsewhere.
    const auto member = [&](int x, int y) -> int {
        const uint8_t f = Flags(ax_.nearest[x], ay_.nearest[y]);
        if (!(f & kEdge)) return f & kIn;
        const TColorValue c = tw::ColorFromRgb32(fullPicture.Row(y)[x]);
        const THSVValues hsv =
            tables.ToHSV(static_cast<int32_t>(c & 0xFF), static_cast<int32_t>((c >> 8) & 0xFF),
                         static_cast<int32_t>(c >> 16));
        return TBitmapWalkerThread::PassesRules(growth_.Rules, seedHsv_, hsv) ? 1 : 0;
    };
    // Softened by the mean over the 3 x 3 neighbourhood: a transition of about a pixel.
    for (int x = x0; x < x1; ++x) {
        int sum = 0, n = 0;
        for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny)
            for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx)
                sum += member(nx, ny), ++n;
        out[x - x0] = ToCoverage(static_cast<double>(sum) / n);
    }
}
