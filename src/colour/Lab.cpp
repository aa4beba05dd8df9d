#include "colour/Lab.h"

#include <array>
#include <cmath>

namespace {

// D65 white and the sRGB primaries (IEC 61966-2-1).
constexpr double kXn = 0.95047, kYn = 1.0, kZn = 1.08883;
constexpr double kEpsilon = 216.0 / 24389.0, kKappa = 24389.0 / 27.0;

// y^n for a small whole n, by repeated multiplication.
double Power(double y, int n) {
    double p = 1;
    for (int i = 0; i < n; ++i)
        p *= y;
    return p;
}

// The n-th root of x >= 0: Newton's method from above, which only falls until
// it stops, so the loop ends on its own. The start, a power of two just above
// the root, comes from x's exponent.
double Root(double x, int n) {
    if (x <= 0) return 0;
    const int exponent = std::ilogb(x);
    double y = std::ldexp(1.0, (exponent >= 0 ? exponent / n : -(-exponent / n)) + 1);
    for (;;) {
        const double next = y - (Power(y, n) - x) / (n * Power(y, n - 1));
        if (!(next < y)) return y;
        y = next;
    }
}

double DecodeChannel(double v) {
    // ((v + 0.055) / 1.055)^2.4 = t^2 * t^(2/5)
    if (v <= 0.04045) return v / 12.92;
    const double t = (v + 0.055) / 1.055;
    const double fifth = Root(t, 5);
    return t * t * fifth * fifth;
}

const std::array<double, 256>& LinearTable() {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[static_cast<size_t>(i)] = DecodeChannel(i / 255.0);
        return t;
    }();
    return table;
}

double LabF(double t) {
    return t > kEpsilon ? CubeRoot(t) : (kKappa * t + 16) / 116;
}

double LabFInverse(double f) {
    const double cube = f * f * f;
    return cube > kEpsilon ? cube : (116 * f - 16) / kKappa;
}

} // namespace

double CubeRoot(double x) {
    return x < 0 ? -Root(-x, 3) : Root(x, 3);
}

double SrgbUnitToLinear(double value) {
    return DecodeChannel(value);
}

double SrgbToLinear(int value) {
    return LinearTable()[static_cast<size_t>(value < 0 ? 0 : value > 255 ? 255 : value)];
}

double LinearToSrgb(double linear) {
    if (linear <= 0.0031308) return 12.92 * linear;
    // 1.055 * linear^(1/2.4) - 0.055, with linear^(5/12) = c * c^(1/4) for c = linear^(1/3)
    const double c = Root(linear, 3);
    return 1.055 * c * std::sqrt(std::sqrt(c)) - 0.055;
}

TLab LinearRgbToLab(double r, double g, double b) {
    const double x = 0.4124564 * r + 0.3575761 * g + 0.1804375 * b;
    const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
    const double z = 0.0193339 * r + 0.1191920 * g + 0.9503041 * b;
    const double fx = LabF(x / kXn), fy = LabF(y / kYn), fz = LabF(z / kZn);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

TLab ColorToLab(TColorValue color) {
    const TRGBValues c = ColorToRGBValues(color);
    return LinearRgbToLab(SrgbToLinear(c.R), SrgbToLinear(c.G), SrgbToLinear(c.B));
}

void LabToLinearRgb(const TLab& lab, double& r, double& g, double& b) {
    const double fy = (lab.L + 16) / 116;
    const double fx = fy + lab.a / 500, fz = fy - lab.b / 200;
    const double x = kXn * LabFInverse(fx), y = kYn * LabFInverse(fy), z = kZn * LabFInverse(fz);
    r = 3.2404542 * x - 1.5371385 * y - 0.4985314 * z;
    g = -0.9692660 * x + 1.8760108 * y + 0.0415560 * z;
    b = 0.0556434 * x - 0.2040259 * y + 1.0572252 * z;
}
