#include "fullsize/CoverageCarrier.h"

#include "colour/HSVTables.h"
#include "masking/BitmapWalkerThread.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

constexpr int kWorkingBand = 16; // working-size rows per band of the preparation passes

bool InPart(uint32_t rgb32) {
    return (rgb32 | 0xFF000000u) != 0xFFFFFFFFu;
}

inline __attribute__((always_inline)) uint8_t ToCoverage(double q) {
    return static_cast<uint8_t>(std::clamp(Round(q * 255.0), 0, 255));
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

// The part's own colour sums: red, green, blue, how many pixels, and the
// squares of red, green and blue.
struct ColourSums : TermSums<7> {
    void Add(uint32_t rgb32, int32_t sign) {
        const int32_t c[3] = {static_cast<int32_t>((rgb32 >> 16) & 0xFF),
                              static_cast<int32_t>((rgb32 >> 8) & 0xFF), static_cast<int32_t>(rgb32 & 0xFF)};
        for (int i = 0; i < 3; ++i)
            v[i] += sign * c[i], v[4 + i] += sign * c[i] * c[i];
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

// How far an object colour is trusted for unmixing: fully up to a spread of
// kSpreadTrusted levels (the largest channel's standard deviation) among the
// part's pixels nearby, not at all from kSpreadUntrusted; not at all at a
// value (largest channel) of kDarkUntrusted, fully from kDarkTrusted.
constexpr double kSpreadTrusted = 12, kSpreadUntrusted = 36;
constexpr double kDarkUntrusted = 16, kDarkTrusted = 64;
// The colour line between the two sides of a border is used from a distance
// of kLineContrast levels between their colours, fully from twice that.
constexpr double kLineContrast = 16;
constexpr double kSideMargin = 0.5;

// How much of the part's own colour f a pixel p can hold at most, mixed with
// any colour at all (0..1): p = a f' + (1 - a) b with b within the colour
// cube. f' is f lit anywhere from kRoomDarkest to kRoomLightest times as
// brightly (the object's own shading and texture; no brighter than white) and
// each channel of p is given kRoomMargin levels either way (its tint
// drifting), so that the object's own pixels have room for all of it; an
// orange pixel in a gap of a blue object has room for little.
// With lighting s, channel c allows a <= (p + m) / (s f) where p is darker and
// a <= (255 - p + m) / (255 - s f) where it is lighter, that is
// s <= A / a with A = (p + m) / f, and s >= (255 - B / a) / f with
// B = 255 - p + m. Some s in [darkest, lightest] meets them all while a is
// below each of A / darkest, B / (255 - lightest f) and (B_i + A_j f_i) / 255.
constexpr double kRoomMargin = 10, kRoomDarkest = 0.35, kRoomLightest = 1.6;

double ObjectRoom(uint32_t p, uint32_t f) {
    double a[3], b[3], fc[3], largest = 0;
    for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;
        const double pc = static_cast<double>((p >> shift) & 0xFF);
        fc[c] = static_cast<double>((f >> shift) & 0xFF);
        largest = std::max(largest, fc[c]);
        a[c] = fc[c] > 0 ? (pc + kRoomMargin) / fc[c] : std::numeric_limits<double>::infinity();
        b[c] = 255 - pc + kRoomMargin;
    }
    if (largest == 0) return 1;
    const double lightest = std::min(kRoomLightest, 255 / largest);
    double room = 1;
    for (int i = 0; i < 3; ++i) {
        room = std::min(room, a[i] / kRoomDarkest);
        if (lightest * fc[i] < 255) room = std::min(room, b[i] / (255 - lightest * fc[i]));
        for (int j = 0; j < 3; ++j)
            if (j != i && fc[j] > 0) room = std::min(room, (b[i] + a[j] * fc[i]) / 255);
    }
    return room;
}

// q, or the room for f in p where that is less: most border pixels have room
// enough, which the bounds tell without a division, multiplied out.
double WithinRoom(double q, uint32_t p, uint32_t f) {
    double pm[3], b[3], fc[3], largest = 0;
    for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;
        const double pc = static_cast<double>((p >> shift) & 0xFF);
        pm[c] = pc + kRoomMargin;
        b[c] = 255 - pc + kRoomMargin;
        fc[c] = static_cast<double>((f >> shift) & 0xFF);
        largest = std::max(largest, fc[c]);
    }
    if (largest == 0) return q;
    const double lightest = kRoomLightest * largest > 255 ? 255 / largest : kRoomLightest;
    bool enough = true;
    for (int i = 0; i < 3; ++i) {
        enough = enough && pm[i] >= q * kRoomDarkest * fc[i] && b[i] >= q * (255 - lightest * fc[i]);
        for (int j = 0; j < 3; ++j)
            enough = enough && (j == i || b[i] * fc[j] + pm[j] * fc[i] >= 255 * q * fc[j]);
    }
    return enough ? q : std::min(q, ObjectRoom(p, f));
}

// Bits of the flags, a row of words per working row: rows widened and ORed
// over windows of pixels, 64 working pixels a word.
class TBitRows {
  public:
    TBitRows(int width, int height)
        : width_(width), height_(height), words_((width + 63) / 64),
          lastWord_(width % 64 ? (uint64_t{1} << (width % 64)) - 1 : ~uint64_t{0}),
          bits_(static_cast<size_t>(height) * words_, 0) {}
    int Words() const { return words_; }
    uint64_t* Row(int y) { return bits_.data() + static_cast<size_t>(y) * words_; }
    const uint64_t* Row(int y) const { return bits_.data() + static_cast<size_t>(y) * words_; }
    bool At(int x, int y) const { return Row(y)[x / 64] >> (x % 64) & 1; }
    // Bit x of each row of the result: the OR of the bits x + s, s in
    // [-below, above], of the rows y + t, t in [-below, above], within the picture.
    TBitRows Widened(int below, int above) const {
        TBitRows along(width_, height_), out(width_, height_);
        for (int y = 0; y < height_; ++y) {
            const uint64_t* src = Row(y);
            uint64_t* dst = along.Row(y);
            for (int i = 0; i < words_; ++i) {
                uint64_t v = src[i];
                for (int s = 1; s <= above; ++s) { // bit x + s to x
                    v |= src[i] >> s;
                    if (i + 1 < words_) v |= src[i + 1] << (64 - s);
                }
                for (int s = 1; s <= below; ++s) { // bit x - s to x
                    v |= src[i] << s;
                    if (i > 0) v |= src[i - 1] >> (64 - s);
                }
                dst[i] = v;
            }
            dst[words_ - 1] &= lastWord_;
        }
        for (int y = 0; y < height_; ++y) {
            uint64_t* dst = out.Row(y);
            for (int t = std::max(0, y - below); t <= std::min(height_ - 1, y + above); ++t) {
                const uint64_t* src = along.Row(t);
                for (int i = 0; i < words_; ++i)
                    dst[i] |= src[i];
            }
        }
        return out;
    }
    TBitRows& operator&=(const TBitRows& o) {
        for (size_t i = 0; i < bits_.size(); ++i)
            bits_[i] &= o.bits_[i];
        return *this;
    }
    std::vector<uint64_t>& Bits() { return bits_; }
    // The smallest rectangle holding every set bit (empty when none).
    QRect Bounds() const {
        int left = width_, right = -1, top = -1, bottom = -1;
        for (int y = 0; y < height_; ++y) {
            const uint64_t* r = Row(y);
            for (int i = 0; i < words_; ++i)
                if (r[i]) {
                    left = std::min(left, i * 64 + __builtin_ctzll(r[i]));
                    if (top < 0) top = y;
                    bottom = y;
                }
            for (int i = words_ - 1; i >= 0; --i)
                if (r[i]) {
                    right = std::max(right, i * 64 + 63 - __builtin_clzll(r[i]));
                    break;
                }
        }
        return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
    }

  private:
    int width_, height_, words_;
    uint64_t lastWord_;
    std::vector<uint64_t> bits_;
};

// The envelope around the smooth outline s (0..1) within which the colour model
// may place the coverage: 1 once s passes kEnvelope, 0 where s is 0; the
// same from the other side.
constexpr double kEnvelope = 1.0 / 16;

} // namespace

TCoverageCarrier::Axis::Axis(int full, int working)
    : low(full), weight256(full), spline(full), smooth(full), first(static_cast<size_t>(working) + 1, full) {
    for (int i = 0; i < full; ++i) {
        // The pixel's centre in working pixels, and the one at or below it.
        const double u = (i + 0.5) * working / full - 0.5;
        int lo = u <= 0 ? 0 : static_cast<int>(u);
        double t = u <= 0 ? 0.0 : u - lo;
        if (lo >= working - 1) lo = working - 1, t = 0;
        low[i] = lo;
        weight256[i] = Round(t * 256);
        const double t2 = t * t, t3 = t2 * t, s = 1 - t;
        const double b[4] = {s * s * s / 6, (3 * t3 - 6 * t2 + 4) / 6, (-3 * t3 + 3 * t2 + 3 * t + 1) / 6,
                             t3 / 6};
        for (int k = 0; k < 4; ++k)
            spline[i][k] = static_cast<float>(b[k]);
        // The 1-2-1 filter first: each spline tap spread over its neighbours.
        double spread[6] = {};
        for (int k = 0; k < 4; ++k)
            spread[k] += b[k] / 4, spread[k + 1] += b[k] / 2, spread[k + 2] += b[k] / 4;
        int32_t sum = 0;
        int largest = 0;
        for (int k = 0; k < 6; ++k) {
            smooth[i][k] = Round(spread[k] * 4096);
            sum += smooth[i][k];
            if (smooth[i][k] > smooth[i][largest]) largest = k;
        }
        // Exactly 4096 in all, so that a window all in the part gives exactly 1.
        smooth[i][largest] += 4096 - sum;
    }
    for (int i = full - 1; i >= 0; --i)
        first[low[i]] = i;
    // Working pixels that are no full pixel's own (a smaller full size) start where the next one does.
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
    // Runs keep 16-bit columns.
    if (w_ > 4096) throw std::invalid_argument("a working picture is at most 4096 pixels wide");
    if (growth) {
        growth_ = *growth;
        const TRGBValues c = ColorToRGBValues(growth->SeedColor);
        seedHsv_ = THSVTables::Get().ToHSV(c.R, c.G, c.B);
        // A walk with a rule switched off takes in colours far from the seed's:
        // the colour nearby is a poorer guide to what a mixed pixel holds.
        const TWalkerRules& rules = growth->Rules;
        if (!rules.UseHue || !rules.UseSaturation || !rules.UseValue) ruleTrust_ = 128;
    }
    if (method_ == TBorderMethod::Rules && !hasGrowth_) method_ = TBorderMethod::Guided;
    flags_.assign(static_cast<size_t>(w_) * h_, 0);
    pool.Run(h_, kWorkingBand, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const uint32_t* row = part.Row(y);
            uint8_t* f = flags_.data() + static_cast<size_t>(y) * w_;
            for (int x = 0; x < w_; ++x)
                f[x] = InPart(row[x]) ? kIn : 0;
        }
    });
    MarkFlags();
    coef_.assign(TapCount(), {0, 0, 0, 0, 0});
    object_.assign(TapCount(), {0, 0});
    if (work_.isEmpty()) return;
    EstimateObjectColours(workingPicture, pool, work_);
}

void TCoverageCarrier::MarkFlags() {
    for (uint8_t& f : flags_)
        f &= kIn;
    TBitRows in(w_, h_), out(w_, h_);
    for (int y = 0; y < h_; ++y) {
        const uint8_t* f = flags_.data() + static_cast<size_t>(y) * w_;
        uint64_t* i = in.Row(y);
        uint64_t* o = out.Row(y);
        // Spelled out: the same as a conditional pointer, which GCC 12 with
        // the undefined-behaviour sanitizer compiles into wild writes.
        for (int x = 0; x < w_; ++x)
            if (f[x] & kIn)
                i[x / 64] |= uint64_t{1} << (x % 64);
            else
                o[x / 64] |= uint64_t{1} << (x % 64);
    }
    inside_ = in.Bounds();
    bounds_ = work_ = QRect();
    words_ = in.Words();
    tapBits_.assign(static_cast<size_t>(h_) * words_, 0);
    tapsBefore_.assign(tapBits_.size(), 0);
    if (!inside_.isEmpty()) {
        if (static_cast<int>(ax_.low.size()) == w_ && static_cast<int>(ay_.low.size()) == h_) {
            // Nothing to carry up: the part is the full-size part, and the result is
            // the working-size save's.
            bounds_ = inside_;
        } else {
            // Edge: the 3 x 3 square around the pixel holds both sides of the part.
            TBitRows edge = in.Widened(1, 1);
            edge &= out.Widened(1, 1);
            // Mixed: the window of the full-size pixels whose own working pixel
            // this is (from 2 before to 3 after) holds both sides.
            TBitRows inWindow = in.Widened(2, 3);
            TBitRows mixed = inWindow;
            mixed &= out.Widened(2, 3);
            // Taps: what a mixed pixel's full-size pixels interpolate from (from
            // 1 before to 2 after). Near: the pixels a tap's colours are
            // taken from.
            TBitRows taps = mixed.Widened(2, 1);
            TBitRows near = taps.Widened(kObjectRadius, kObjectRadius);
            for (int y = 0; y < h_; ++y) {
                const uint64_t *e = edge.Row(y), *m = mixed.Row(y), *t = taps.Row(y), *n = near.Row(y);
                uint8_t* f = flags_.data() + static_cast<size_t>(y) * w_;
                for (int i = 0; i < words_; ++i)
                    for (uint64_t any = n[i]; any; any &= any - 1) {
                        const int bit = __builtin_ctzll(any), x = i * 64 + bit;
                        f[x] |= kNear | ((e[i] >> bit & 1) ? kEdge : 0) | ((m[i] >> bit & 1) ? kMixed : 0) |
                                ((t[i] >> bit & 1) ? kTap : 0);
                    }
            }
            tapBits_ = std::move(taps.Bits());
            work_ = near.Bounds();
            // Full-size pixels reach the part when their window holds any of it.
            const QRect reach = inWindow.Bounds();
            bounds_ = QRect(QPoint(ax_.first[reach.left()], ay_.first[reach.top()]),
                            QPoint(ax_.first[reach.right() + 1] - 1, ay_.first[reach.bottom() + 1] - 1));
        }
    }
    uint32_t count = 0;
    for (size_t i = 0; i < tapBits_.size(); ++i) {
        tapsBefore_[i] = count;
        count += static_cast<uint32_t>(BitCount(tapBits_[i]));
    }
    MarkRowRuns();
}

void TCoverageCarrier::Update(const tw::Bitmap& picture, const tw::Bitmap& part, QRect changed,
                              const TRowBandPool& pool) {
    if (part.Width() != w_ || part.Height() != h_ || picture.Width() != w_ || picture.Height() != h_)
        throw std::invalid_argument("a part must have the working picture's size");
    changed = changed.intersected(QRect(0, 0, w_, h_));
    if (changed.isEmpty()) return;
    for (int y = changed.top(); y <= changed.bottom(); ++y) {
        const uint32_t* row = part.Row(y);
        uint8_t* f = flags_.data() + static_cast<size_t>(y) * w_;
        for (int x = changed.left(); x <= changed.right(); ++x)
            f[x] = InPart(row[x]) ? kIn : 0;
    }
    // Keep what was worked out for the taps that stay, by where they are.
    const std::vector<uint64_t> oldBits = std::move(tapBits_);
    const std::vector<uint32_t> oldBefore = std::move(tapsBefore_);
    const std::vector<TModel> oldCoef = std::move(coef_);
    const std::vector<TTapColours> oldObject = std::move(object_);
    MarkFlags();
    coef_.assign(TapCount(), {0, 0, 0, 0, 0});
    object_.assign(TapCount(), {0, 0});
    if (work_.isEmpty()) return;
    // Taps within kPrepareReach of the change are worked out again; beyond it
    // nothing they depend on has changed, nor whether they are taps.
    const QRect again = changed.adjusted(-kPrepareReach, -kPrepareReach, kPrepareReach, kPrepareReach);
    for (int y = work_.top(); y <= work_.bottom(); ++y)
        for (int i = 0; i < words_; ++i) {
            const size_t word = static_cast<size_t>(y) * words_ + static_cast<size_t>(i);
            for (uint64_t any = tapBits_[word]; any; any &= any - 1) {
                const int bit = __builtin_ctzll(any), x = i * 64 + bit;
                if (again.contains(x, y) || !(oldBits[word] >> bit & 1)) continue;
                const size_t from = oldBefore[word] + BitCount(oldBits[word] & ((uint64_t{1} << bit) - 1));
                const size_t to = TapIndex(x, y);
                coef_[to] = oldCoef[from];
                object_[to] = oldObject[from];
            }
        }
    const QRect region = again.intersected(work_);
    if (region.isEmpty()) return;
    EstimateObjectColours(picture, pool, region);
}

QRect TCoverageCarrier::Reach(QSize fullSize, QSize workingSize, QRect changed) {
    const int w = workingSize.width(), h = workingSize.height();
    changed = changed.intersected(QRect(0, 0, w, h));
    if (changed.isEmpty() || fullSize.isEmpty()) return {};
    const Axis ax(fullSize.width(), w), ay(fullSize.height(), h);
    const int left = std::max(0, changed.left() - kReach), right = std::min(w - 1, changed.right() + kReach);
    const int top = std::max(0, changed.top() - kReach), bottom = std::min(h - 1, changed.bottom() + kReach);
    return QRect(QPoint(ax.first[left], ay.first[top]),
                 QPoint(ax.first[right + 1] - 1, ay.first[bottom + 1] - 1));
}

void TCoverageCarrier::EstimateObjectColours(const tw::Bitmap& picture, const TRowBandPool& pool,
                                             QRect region) {
    // The colours on either side near each tap: the means of the working
    // pixels well inside the part and of those well outside it (not on its
    // edge, so not mixed with the other side). The part's own colour is
    // trusted to stand for the object at the border as far as it is not
    // spread out (the object changes near the border) nor dark (where hue
    // means little).
    constexpr int r = kObjectRadius;
    const int cl = std::max(0, region.left() - r), cr = std::min(w_ - 1, region.right() + r);
    const auto addInside = [&](ColourSums& c, int x, int y, int32_t sign) {
        if ((Flags(x, y) & (kIn | kEdge)) == kIn) c.Add(picture.Row(y)[x], sign);
    };
    const auto addOutside = [&](ColourSums& c, int x, int y, int32_t sign) {
        if ((Flags(x, y) & (kIn | kEdge)) == 0) c.Add(picture.Row(y)[x], sign);
    };
    pool.Run(region.height(), kWorkingBand, [&](int first, int end) {
        WindowSummer<ColourSums, decltype(addInside)> inside(cl, cr, h_, r, addInside);
        WindowSummer<ColourSums, decltype(addOutside)> outside(cl, cr, h_, r, addOutside);
        for (int y = region.top() + first; y < region.top() + end; ++y)
            for (int x = region.left(); x <= region.right(); ++x) {
                if (!(Flags(x, y) & kTap)) continue;
                const int x0 = std::max(0, x - r), x1 = std::min(w_ - 1, x + r);
                const TSideColour object = SideColour(inside.Over(x0, x1, y).v);
                if (object.Count == 0) continue;
                const size_t tap = TapIndex(x, y);
                const double trust =
                    std::clamp((kSpreadUntrusted - object.Spread) / (kSpreadUntrusted - kSpreadTrusted), 0.0,
                               1.0) *
                    std::clamp((object.Value - kDarkUntrusted) / (kDarkTrusted - kDarkUntrusted), 0.0, 1.0) *
                    ruleTrust_ / 256.0;
                uint32_t c = 0;
                for (int i = 0; i < 3; ++i)
                    c |= static_cast<uint32_t>(Round(object.Mean[i])) << (16 - 8 * i);
                const TSideColour beyond = SideColour(outside.Over(x0, x1, y).v);
                object_[tap].Own = c | static_cast<uint32_t>(Round(trust * 255)) << 24;
                if (beyond.Count > 0) {
                    uint32_t b = 0xFF000000u;
                    for (int i = 0; i < 3; ++i)
                        b |= static_cast<uint32_t>(Round(beyond.Mean[i])) << (16 - 8 * i);
                    object_[tap].Beyond = b;
                }
                if (method_ == TBorderMethod::Guided) FitColourLine(object, beyond, coef_[tap]);
            }
    });
}

TCoverageCarrier::TSideColour TCoverageCarrier::SideColour(const int32_t* sums) {
    TSideColour s;
    s.Count = sums[3];
    if (s.Count == 0) return s;
    double variance = 0;
    for (int i = 0; i < 3; ++i) {
        s.Mean[i] = static_cast<double>(sums[i]) / s.Count;
        variance = std::max(variance, static_cast<double>(sums[4 + i]) / s.Count - s.Mean[i] * s.Mean[i]);
        s.Value = std::max(s.Value, s.Mean[i]);
    }
    s.Spread = std::sqrt(std::max(0.0, variance));
    return s;
}

void TCoverageCarrier::FitColourLine(const TSideColour& object, const TSideColour& beyond, TModel& coef) {
    // The coverage of a pixel mixed from the two sides' colours is where it
    // lies on the line between them: (pixel - beyond) . d / |d|^2 with
    // d = object - beyond. It holds where the two sides differ clearly
    // against their own spread; elsewhere (a walk that stopped inside a
    // gradient, a brush stroke, a side missing) the model is left out, as
    // far as it is not sure, for the smooth outline.
    if (beyond.Count == 0) return;
    double d[3], d2 = 0;
    for (int i = 0; i < 3; ++i)
        d[i] = object.Mean[i] - beyond.Mean[i], d2 += d[i] * d[i];
    const double contrast = std::sqrt(d2);
    const double weight =
        std::clamp((contrast - kLineContrast) / kLineContrast, 0.0, 1.0) *
        std::clamp(2 - 2 * (object.Spread + beyond.Spread) / std::max(contrast, 1.0), 0.0, 1.0);
    if (weight <= 0) return;
    // A side's own texture scatters its pixels around the line: those within
    // kSideMargin of its spread from its colour count as wholly that side.
    const double t0 = std::min(0.25, kSideMargin * beyond.Spread / contrast),
                 t1 = std::min(0.25, kSideMargin * object.Spread / contrast);
    const double stretch = 1 / (1 - t0 - t1);
    double offset = -t0;
    for (int i = 0; i < 3; ++i)
        offset -= d[i] / d2 * beyond.Mean[i];
    for (int i = 0; i < 3; ++i)
        coef[i] = static_cast<float>(weight * stretch * d[i] / d2);
    coef[3] = static_cast<float>(weight * stretch * offset);
    coef[4] = static_cast<float>(weight);
}

bool TCoverageCarrier::InBorder(int x, int y) const {
    if (x < 0 || y < 0 || x >= static_cast<int>(ax_.low.size()) || y >= static_cast<int>(ay_.low.size()))
        return false;
    return Flags(ax_.low[x], ay_.low[y]) & kMixed;
}

void TCoverageCarrier::MarkRowRuns() {
    rowStart_.assign(static_cast<size_t>(h_) + 1, 0);
    rowRuns_.clear();
    const auto kindOf = [](uint8_t f) {
        return (f & kMixed) ? RunKind::Mixed : (f & kIn) ? RunKind::Inside : RunKind::Outside;
    };
    for (int y = 0; y < h_; ++y) {
        rowStart_[static_cast<size_t>(y)] = static_cast<uint32_t>(rowRuns_.size());
        if (bounds_.isEmpty()) continue;
        const uint8_t* f = flags_.data() + static_cast<size_t>(y) * w_;
        for (int x = 0; x < w_;) {
            const RunKind kind = kindOf(f[x]);
            int end = x + 1;
            while (end < w_ && kindOf(f[end]) == kind)
                ++end;
            rowRuns_.push_back({static_cast<uint16_t>(x), static_cast<uint16_t>(end), kind});
            x = end;
        }
    }
    rowStart_[static_cast<size_t>(h_)] = static_cast<uint32_t>(rowRuns_.size());
}

void TCoverageCarrier::CoverageRuns(const uint32_t* row, const tw::Bitmap* fullPicture, int y, int x0, int x1,
                                    uint8_t* out, std::vector<Run>& runs, TRowCache& cache,
                                    const std::vector<Span>& hidden) const {
    runs.clear();
    cache.objectsKept = method_ == TBorderMethod::Guided;
    if (cache.objectsKept) cache.objects.resize(static_cast<size_t>(std::max(0, x1 - x0)));
    if (method_ == TBorderMethod::Rules && !fullPicture)
        throw std::invalid_argument("the rules border needs the whole picture");
    const int wy = ay_.low[y];
    auto next = hidden.begin();
    // Adds the visible stretch [x, end) of one kind of working run.
    const auto add = [&](int x, int end, RunKind kind) {
        const bool joins = !runs.empty() && runs.back().End == x;
        if (kind != RunKind::Mixed) {
            const uint8_t c = kind == RunKind::Inside ? 255 : 0;
            if (joins && !runs.back().Border && runs.back().Coverage == c)
                runs.back().End = end;
            else
                runs.push_back({x, end, false, c});
            return;
        }
        BorderCoverage(row, fullPicture, y, x, end, out + (x - x0),
                       cache.objectsKept ? cache.objects.data() + (x - x0) : nullptr, cache);
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

void TCoverageCarrier::BorderCoverage(const uint32_t* row, const tw::Bitmap* fullPicture, int y, int x0,
                                      int x1, uint8_t* out, TObjectColour* objects, TRowCache& cache) const {
    if (cache.carrier != this) {
        cache.carrier = this;
        cache.smoothRow.assign(static_cast<size_t>(w_), -1);
        cache.modelRow.assign(static_cast<size_t>(w_), -1);
        cache.smooth.resize(static_cast<size_t>(w_));
        cache.model.resize(static_cast<size_t>(w_));
    }
    const int wy = ay_.low[y];
    const std::array<int32_t, 6>& down = ay_.smooth[y];
    const std::array<float, 4>& splineDown = ay_.spline[y];
    const auto clampX = [&](int x) { return std::clamp(x, 0, w_ - 1); };
    const auto clampY = [&](int y) { return std::clamp(y, 0, h_ - 1); };
    // Working column x of the part, combined down the smooth outline's six rows.
    const auto smoothAt = [&](int x) {
        if (cache.smoothRow[static_cast<size_t>(x)] != y) {
            int32_t v = 0;
            for (int j = 0; j < 6; ++j)
                if (Flags(x, clampY(wy - 2 + j)) & kIn) v += down[j];
            cache.smooth[static_cast<size_t>(x)] = v;
            cache.smoothRow[static_cast<size_t>(x)] = y;
        }
        return cache.smooth[static_cast<size_t>(x)];
    };
    // Working column x of the model's taps, combined down the B-spline's four rows.
    const auto modelAt = [&](int x) -> const TModel& {
        if (cache.modelRow[static_cast<size_t>(x)] != y) {
            TModel m = {0, 0, 0, 0, 0};
            for (int j = 0; j < 4; ++j) {
                const TModel& c = coef_[TapIndex(x, clampY(wy - 1 + j))];
                for (int i = 0; i < 5; ++i)
                    m[i] += splineDown[j] * c[i];
            }
            cache.model[static_cast<size_t>(x)] = m;
            cache.modelRow[static_cast<size_t>(x)] = y;
        }
        return cache.model[static_cast<size_t>(x)];
    };
    // The full-size pixels of one working column share its windows' columns.
    for (int x = x0; x < x1;) {
        const int wx = ax_.low[x];
        const int end = std::min(x1, ax_.first[static_cast<size_t>(wx) + 1]);
        int32_t columns[6];
        for (int i = 0; i < 6; ++i)
            columns[i] = smoothAt(clampX(wx - 2 + i));
        const TModel* models[4] = {};
        bool anyModel = false;
        if (method_ == TBorderMethod::Guided)
            for (int k = 0; k < 4; ++k) {
                models[k] = &modelAt(clampX(wx - 1 + k));
                anyModel = anyModel || (*models[k])[4] != 0;
            }
        for (; x < end; ++x) {
            const std::array<int32_t, 6>& across = ax_.smooth[x];
            int64_t s = 0;
            for (int i = 0; i < 6; ++i)
                s += static_cast<int64_t>(across[i]) * columns[i];
            const double smooth = static_cast<double>(s) / (4096.0 * 4096.0);
            double model = smooth;
            if (method_ == TBorderMethod::Rules) {
                model = RulesMembership(*fullPicture, x, y);
            } else if (anyModel) {
                // The colour model as far as the taps hold one, the smooth
                // outline for the rest.
                const std::array<float, 4>& splineAcross = ax_.spline[x];
                float c[5] = {0, 0, 0, 0, 0};
                for (int k = 0; k < 4; ++k)
                    for (int i = 0; i < 5; ++i)
                        c[i] += splineAcross[k] * (*models[k])[i];
                const uint32_t p = row[x];
                model = static_cast<double>(c[0]) * ((p >> 16) & 0xFF) +
                        static_cast<double>(c[1]) * ((p >> 8) & 0xFF) +
                        static_cast<double>(c[2]) * (p & 0xFF) + static_cast<double>(c[3]) +
                        (1 - static_cast<double>(c[4])) * smooth;
            }
            // Within the envelope of the smooth outline (the outline itself
            // lies within it).
            const double upper = std::min(1.0, smooth / kEnvelope);
            const double lower = std::max(0.0, 1 - (1 - smooth) / kEnvelope);
            double q = std::clamp(model, lower, upper);
            // No more of the part than the pixel's colour leaves room for,
            // as far as the part's own colour nearby is trusted.
            if (objects) {
                TObjectColour& o = objects[x - x0];
                o = q > 0 ? ObjectAt(x, y, cache.object) : TObjectColour{0, 0, 0};
                if (o.Trust > 0) {
                    const double room = WithinRoom(q, row[x], o.Colour);
                    if (room < q) q -= (q - room) * o.Trust / 256.0;
                }
            }
            out[x - x0] = ToCoverage(q);
        }
    }
}

double TCoverageCarrier::RulesMembership(const tw::Bitmap& fullPicture, int x, int y) const {
    const THSVTables& tables = THSVTables::Get();
    const int width = fullPicture.Width(), height = fullPicture.Height();
    // 1 where a full-size pixel belongs to the part: by the rules in the band, by
    // the working-size part elsewhere.
    const auto member = [&](int x, int y) -> int {
        const uint8_t f = Flags(ax_.low[x], ay_.low[y]);
        if (!(f & kMixed)) return f & kIn;
        const TColorValue c = tw::ColorFromRgb32(fullPicture.Row(y)[x]);
        const THSVValues hsv =
            tables.ToHSV(static_cast<int32_t>(c & 0xFF), static_cast<int32_t>((c >> 8) & 0xFF),
                         static_cast<int32_t>(c >> 16));
        return TBitmapWalkerThread::PassesRules(growth_.Rules, seedHsv_, hsv) ? 1 : 0;
    };
    // Softened by the mean over the 3 x 3 neighbourhood: a transition of about a pixel.
    int sum = 0, n = 0;
    for (int ny = std::max(0, y - 1); ny <= std::min(height - 1, y + 1); ++ny)
        for (int nx = std::max(0, x - 1); nx <= std::min(width - 1, x + 1); ++nx)
            sum += member(nx, ny), ++n;
    return static_cast<double>(sum) / n;
}
