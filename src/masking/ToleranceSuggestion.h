#pragma once
// The tolerances the mask dialog suggests from a seed's neighbourhood.

#include "colour/HSV.h"
#include "platform/Bitmap.h"

#include <QPoint>

#include <vector>

// Tolerances (percent of 360, 255, 255) that admit every sample when compared
// to the reference: the largest absolute difference per channel, hue measured
// the short way round the circle. H = hue, S = saturation, V = value tolerance.
THSVValues ToleranceFromSamples(const THSVValues& reference, const std::vector<THSVValues>& samples);

// The tolerances that admit every pixel of the square of the given half width
// around the seed, compared to the seed's own colour; positions outside the
// picture are skipped.
THSVValues SuggestTolerance(const tw::Bitmap& picture, QPoint seed, int halfWidth);
