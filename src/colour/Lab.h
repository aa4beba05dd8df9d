#pragma once
// CIE L*a*b* (D65) for 8-bit sRGB colour values: the perceptual space the
// "Match colour" mode works in. Every step is plain IEEE double arithmetic in
// a fixed order (roots by Newton's method, not the maths library), so the
// results are the same on every machine.

#include "colour/HSV.h"

struct TLab {
    double L = 0; // 0 (black) .. 100 (white)
    double a = 0;
    double b = 0;
    bool operator==(const TLab&) const = default;
};

// The linear light of an 8-bit sRGB channel value, 0..1 (tabulated).
double SrgbToLinear(int value);
// The linear light of an sRGB channel value given as 0..1.
double SrgbUnitToLinear(double value);
// The sRGB channel value (0..1, not rounded) of a linear light 0..1.
double LinearToSrgb(double linear);

TLab ColorToLab(TColorValue color);
TLab LinearRgbToLab(double r, double g, double b);
// The linear sRGB of a Lab colour; components outside 0..1 mean it is out of gamut.
void LabToLinearRgb(const TLab& lab, double& r, double& g, double& b);

// Cube root of x (any sign), to the last bit of a double, by Newton's method.
double CubeRoot(double x);
