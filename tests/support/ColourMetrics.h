#pragma once
// Colour differences and texture measures for the tests of colour matching:
// CIEDE2000, medians in L*a*b*, the spread of L*, and woven, folded patches.

#include "colour/Lab.h"
#include "platform/Bitmap.h"

#include <vector>

namespace twtest {

// CIEDE2000 colour difference (kL = kC = kH = 1).
double DeltaE2000(const TLab& x, const TLab& y);

// Per-coordinate medians of L*, a*, b* of the pixels of picture that the mask
// holds (not white; every pixel when mask is null).
TLab MedianLab(const tw::Bitmap& picture, const tw::Bitmap* mask = nullptr);
// The standard deviation of L* over the same pixels.
double LightnessSpread(const tw::Bitmap& picture, const tw::Bitmap* mask = nullptr);

// A woven fabric with folds of one colour: a fine weave and slow shading of
// the light in linear RGB, spread (std of L*) roughly as asked.
tw::Bitmap WovenPatch(TColorValue colour, int width, int height, double spread);

} // namespace twtest
