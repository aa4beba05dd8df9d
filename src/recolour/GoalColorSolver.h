#pragma once

#include "colour/HSV.h"
#include "recolour/TintwellSettings.h"

// The settings that take the original colour to the goal colour: change to the
// goal's hue, with the saturation and value tints that scale the original's
// channels to the goal's (limited to the tint range -400..400), avoiding
// singularities. A direct computation, no search.
TTintwellSettings SolveGoalColor(TColorValue original, TColorValue goal);

// Whether the goal lies out of reach because the original is grey: tints scale
// saturation and value by a percentage, so a grey original (no saturation)
// never gains the goal's colour and black never gains its brightness.
bool GoalUnreachableFromGrey(TColorValue original, TColorValue goal);

// What the solved settings actually make of the original colour.
TColorValue SolvedColor(TColorValue original, TColorValue goal);

inline constexpr int32_t kMinTint = -400;
inline constexpr int32_t kMaxTint = 400;
