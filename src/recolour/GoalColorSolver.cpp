#include "recolour/GoalColorSolver.h"

#include "recolour/PartRecolourer.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t TintBetween(int32_t from, int32_t to) {
    // Black or grey originals divide by 1 instead of 0; the limit then decides.
    if (from == 0) from = 1;
    const double tint = std::nearbyint(static_cast<double>((to - from) * 100) / from);
    return static_cast<int32_t>(
        std::clamp(tint, static_cast<double>(kMinTint), static_cast<double>(kMaxTint)));
}

} // namespace

TTintwellSettings SolveGoalColor(TColorValue original, TColorValue goal) {
    const THSVValues from = ColorToHSVValues(original);
    const THSVValues to = ColorToHSVValues(goal);
    TTintwellSettings s;
    s.Hue = to.H;
    s.KeepHue = false;
    s.ShiftHue = false;
    s.SaturationTint = TintBetween(from.S, to.S);
    s.ValueTint = TintBetween(from.V, to.V);
    s.AvoidSingularities = true;
    return s;
}

bool GoalUnreachableFromGrey(TColorValue original, TColorValue goal) {
    const THSVValues from = ColorToHSVValues(original);
    const THSVValues to = ColorToHSVValues(goal);
    return (from.S == 0 && to.S > 0) || (from.V == 0 && to.V > 0);
}

TColorValue SolvedColor(TColorValue original, TColorValue goal) {
    return TransformColorReference(SolveGoalColor(original, goal), original);
}
