#include "recolour/ColourMatch.h"

#include "platform/Rounding.h"
#include "platform/RowBandPool.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace {

constexpr int kGrid = TColourMatch::kGrid;
// How far the offsets of lightness run unchanged before they bend towards
// black or white: this share of the room there is.
constexpr double kKnee = 0.5;
// Chroma below this carries no hue worth turning with (a*b* units).
constexpr double kGreyChroma = 2, kHueChroma = 10;
// The chroma scale is (goal + k) / (reference + k), within these bounds.
constexpr double kChromaDamping = 12, kLeastScale = 0.25, kMostScale = 4;
// Deviations of a*b* beyond this are no texture (a*b* units).
constexpr double kFarDeviation = 40;

// An offset kept while it fits the room up to the knee, then bent smoothly
// (with slope 1 at the knee) so that it never reaches the end of the room.
double Compressed(double offset, double room) {
    if (room <= 0) return 0;
    const double knee = kKnee * room, span = room - knee;
    if (offset <= knee) return offset;
    const double over = offset - knee;
    return knee + over / (1 + over / span);
}

// Inside sRGB with more than half a level to spare at either end, so that a colour
// brought in keeps every channel off 0 and 255: a channel there is clipped
// detail, not a colour.
const double kGamutLow = SrgbUnitToLinear(0.6 / 255), kGamutHigh = SrgbUnitToLinear(254.4 / 255);
bool InGamut(double r, double g, double b) {
    return r >= kGamutLow && r <= kGamutHigh && g >= kGamutLow && g <= kGamutHigh && b >= kGamutLow &&
           b <= kGamutHigh;
}

double Clamp01(double v) {
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

// How far (0..1, to 2^-15) one can go from `from` (in gamut) towards `to`
// at lightness L before leaving the gamut for the first time. A slice of the
// gamut at one lightness is not quite convex in L*a*b*: the way is walked in
// steps before the crossing is narrowed down, so that the point found moves
// continuously with `to`.
double ShareInGamut(double L, double fromA, double fromB, double toA, double toB) {
    constexpr int kSteps = 8;
    double r, g, b;
    const auto inside = [&](double t) {
        LabToLinearRgb({L, fromA + (toA - fromA) * t, fromB + (toB - fromB) * t}, r, g, b);
        return InGamut(r, g, b);
    };
    double lo = 0, hi = 1;
    for (int i = 1; i <= kSteps; ++i) {
        const double t = static_cast<double>(i) / kSteps;
        if (!inside(t)) {
            hi = t;
            break;
        }
        lo = t;
    }
    if (lo == 1) return 1;
    for (int i = 0; i < 12; ++i) {
        const double mid = (lo + hi) / 2;
        (inside(mid) ? lo : hi) = mid;
    }
    return lo;
}

// The sRGB colour of a Lab colour (channels 0..255, not rounded), brought into
// gamut at its lightness by lowering chroma towards the goal's a*b*, so that a
// texture round the goal stays round it; where the goal's own chroma does not
// fit at this lightness, towards as much of it as fits. (A goal on the very
// edge of sRGB cannot keep its chroma at other lightnesses: there the
// texture's lighter and darker pixels come out less colourful.) Both steps
// move continuously with the colour, so neighbouring colours stay neighbours.
std::array<double, 3> LinearColour(const TLab& lab, const TLab& goal) {
    double r, g, b;
    LabToLinearRgb(lab, r, g, b);
    if (!InGamut(r, g, b)) {
        // The anchor: the goal's a*b*, or where it does not fit, a share of
        // it that lies well inside (u squared: the goal itself at u = 1).
        const double u = ShareInGamut(lab.L, 0, 0, goal.a, goal.b);
        const double anchorA = goal.a * u * u, anchorB = goal.b * u * u;
        const double t = ShareInGamut(lab.L, anchorA, anchorB, lab.a, lab.b);
        LabToLinearRgb({lab.L, anchorA + (lab.a - anchorA) * t, anchorB + (lab.b - anchorB) * t}, r, g, b);
    }
    return {Clamp01(r), Clamp01(g), Clamp01(b)};
}

std::array<double, 3> SrgbColour(const TLab& lab, const TLab& goal) {
    const std::array<double, 3> c = LinearColour(lab, goal);
    return {LinearToSrgb(c[0]) * 255, LinearToSrgb(c[1]) * 255, LinearToSrgb(c[2]) * 255};
}

// The Lab colour of every grid point, the same for every table.
const std::vector<TLab>& GridLab() {
    static const std::vector<TLab> grid = [] {
        std::vector<TLab> labs;
        labs.reserve(static_cast<size_t>(kGrid) * kGrid * kGrid);
        // Grid point i stands for the channel value i * 255 / 32, between whole levels.
        std::array<double, kGrid> linear{};
        for (int i = 0; i < kGrid; ++i)
            linear[static_cast<size_t>(i)] = SrgbUnitToLinear(static_cast<double>(i) / (kGrid - 1));
        for (int r = 0; r < kGrid; ++r)
            for (int g = 0; g < kGrid; ++g)
                for (int b = 0; b < kGrid; ++b)
                    labs.push_back(LinearRgbToLab(linear[static_cast<size_t>(r)],
                                                  linear[static_cast<size_t>(g)],
                                                  linear[static_cast<size_t>(b)]));
        return labs;
    }();
    return grid;
}

} // namespace

const std::array<int, 256> TColourMatch::kCell = [] {
    std::array<int, 256> cell{};
    for (int v = 0; v < 256; ++v)
        cell[static_cast<size_t>(v)] = std::min(v * (kGrid - 1) / 255, kGrid - 2);
    return cell;
}();

const std::array<TColourMatch::TOrder, 8> TColourMatch::kOrder = [] {
    // Indexed by (r >= g) | (g >= b) << 1 | (r >= b) << 2; the two orders
    // that cannot happen take a neighbour's.
    constexpr ptrdiff_t stride[3] = {kGrid * kGrid, kGrid, 1};
    const auto order = [&](int first, int second, int third) {
        return TOrder{{first, second, third}, {stride[first], stride[second]}};
    };
    std::array<TOrder, 8> table{};
    table[0] = order(2, 1, 0); // b > g > r
    table[1] = order(2, 0, 1); // b > r >= g
    table[2] = order(1, 2, 0); // g >= b > r
    table[3] = order(0, 1, 2); // cannot happen
    table[4] = order(2, 1, 0); // cannot happen
    table[5] = order(0, 2, 1); // r >= b > g
    table[6] = order(1, 0, 2); // g > r >= b
    table[7] = order(0, 1, 2); // r >= g >= b
    return table;
}();

const std::array<float, 256> TColourMatch::kFraction = [] {
    std::array<float, 256> fraction{};
    for (int v = 0; v < 256; ++v)
        fraction[static_cast<size_t>(v)] =
            static_cast<float>(v * (kGrid - 1) / 255.0 - kCell[static_cast<size_t>(v)]);
    return fraction;
}();

TColourMatch::TColourMatch(TColorValue from, TColorValue goal)
    : from_(from), goal_(goal), reference_(ColorToLab(from)), target_(ColorToLab(goal)) {
    const double cr = std::sqrt(reference_.a * reference_.a + reference_.b * reference_.b);
    const double cg = std::sqrt(target_.a * target_.a + target_.b * target_.b);
    // Deviations turn with the hue only as far as both colours have one.
    const double weight = std::clamp((std::min(cr, cg) - kGreyChroma) / (kHueChroma - kGreyChroma), 0.0, 1.0);
    if (weight > 0) {
        const double c = (reference_.a * target_.a + reference_.b * target_.b) / (cr * cg);
        const double s = (reference_.a * target_.b - reference_.b * target_.a) / (cr * cg);
        // Between no turn and the whole turn, made a pure rotation again.
        const double pc = 1 - weight + weight * c, ps = weight * s;
        const double norm = std::sqrt(pc * pc + ps * ps);
        if (norm > 0) cos_ = pc / norm, sin_ = ps / norm;
    }
    scale_ = std::clamp((cg + kChromaDamping) / (cr + kChromaDamping), kLeastScale, kMostScale);

    const std::vector<TLab>& grid = GridLab();
    nodes_.resize(grid.size());
    // A plane of red at a time, on every core: each node on its own, so the
    // table is the same for any number of threads.
    constexpr size_t kPlane = static_cast<size_t>(kGrid) * kGrid;
    TRowBandPool().Run(kGrid, 1, [&](int first, int end) {
        for (size_t i = static_cast<size_t>(first) * kPlane; i < static_cast<size_t>(end) * kPlane; ++i) {
            const std::array<double, 3> c = SrgbColour(Map(grid[i]), target_);
            nodes_[i].Value =
                TLanes{static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2]), 0};
        }
    });
}

TLab TColourMatch::Map(const TLab& lab) const {
    const double offset = lab.L - reference_.L;
    const double L = offset >= 0 ? target_.L + Compressed(offset, 100 - target_.L)
                                 : target_.L - Compressed(-offset, target_.L);
    const double da = lab.a - reference_.a, db = lab.b - reference_.b;
    double ta = scale_ * (cos_ * da - sin_ * db), tb = scale_ * (sin_ * da + cos_ * db);
    // A colour far from the reference is no texture of it: its deviation is
    // bent towards a bound, so that the map stays smooth out there.
    const double size = std::sqrt(ta * ta + tb * tb);
    if (size > kFarDeviation) {
        const double bent = Compressed(size, kFarDeviation / kKnee);
        ta *= bent / size, tb *= bent / size;
    }
    return {L, target_.a + ta, target_.b + tb};
}

TColorValue TColourMatch::Exact(TColorValue color) const {
    const std::array<double, 3> c = SrgbColour(Map(ColorToLab(color)), target_);
    const TColorValue result = RGBToColor(Round(c[0]), Round(c[1]), Round(c[2]));
    return result == tw::kWhite ? 0xFFFEFF : result;
}

std::shared_ptr<const TColourMatch> TColourMatch::For(TColorValue from, TColorValue goal) {
    // Tables in use stay shared, and the last few made stay too: a part is
    // grown, recoloured and composed at full size with one table, made once.
    static constexpr size_t kKept = 8;
    static std::mutex lock;
    static std::map<std::pair<TColorValue, TColorValue>, std::weak_ptr<const TColourMatch>> tables;
    static std::deque<std::shared_ptr<const TColourMatch>> recent;
    const std::lock_guard guard(lock);
    // Goals tried one after another in the dialog leave slots behind: cleared now and then.
    if (tables.size() > 64) std::erase_if(tables, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<const TColourMatch>& slot = tables[{from, goal}];
    if (std::shared_ptr<const TColourMatch> table = slot.lock()) return table;
    auto table = std::make_shared<const TColourMatch>(from, goal);
    slot = table;
    recent.push_back(table);
    if (recent.size() > kKept) recent.pop_front();
    return table;
}

TColorValue PartReferenceColour(const tw::Bitmap& picture, const tw::Bitmap& part) {
    // Medians by counting in steps of 1/64 of a unit: exact enough, and no sort.
    constexpr int kScale = 64;
    std::vector<uint32_t> countL(100 * kScale + 1), countA(256 * kScale + 1), countB(256 * kScale + 1);
    std::unordered_map<uint32_t, TLab> seen;
    uint64_t n = 0;
    const int w = std::min(picture.Width(), part.Width()), h = std::min(picture.Height(), part.Height());
    for (int y = 0; y < h; ++y) {
        const uint32_t* mask = part.Row(y);
        const uint32_t* row = picture.Row(y);
        for (int x = 0; x < w; ++x) {
            if ((mask[x] & 0xFFFFFF) == 0xFFFFFF) continue;
            const uint32_t colour = row[x] & 0xFFFFFF;
            auto found = seen.find(colour);
            if (found == seen.end())
                found = seen.emplace(colour, ColorToLab(tw::ColorFromRgb32(colour))).first;
            const TLab& lab = found->second;
            ++countL[static_cast<size_t>(std::clamp(Round(lab.L * kScale), 0, 100 * kScale))];
            ++countA[static_cast<size_t>(std::clamp(Round((lab.a + 128) * kScale), 0, 256 * kScale))];
            ++countB[static_cast<size_t>(std::clamp(Round((lab.b + 128) * kScale), 0, 256 * kScale))];
            ++n;
        }
    }
    if (n == 0) return tw::kWhite;
    const auto median = [n](const std::vector<uint32_t>& count) {
        uint64_t below = 0;
        for (size_t i = 0; i < count.size(); ++i) {
            below += count[i];
            if (2 * below >= n) return static_cast<double>(i);
        }
        return static_cast<double>(count.size() - 1);
    };
    const TLab centre{median(countL) / kScale, median(countA) / kScale - 128, median(countB) / kScale - 128};
    const std::array<double, 3> c = SrgbColour(centre, centre);
    return RGBToColor(Round(c[0]), Round(c[1]), Round(c[2]));
}
