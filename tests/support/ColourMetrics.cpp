#include "support/ColourMetrics.h"

#include <algorithm>
#include <cmath>

namespace twtest {

double DeltaE2000(const TLab& x, const TLab& y) {
    constexpr double kPi = 3.14159265358979323846;
    const auto rad = [](double deg) { return deg * kPi / 180; };
    const auto deg = [](double r) { return r * 180 / kPi; };
    const double c1 = std::hypot(x.a, x.b), c2 = std::hypot(y.a, y.b), cm = (c1 + c2) / 2;
    const double g = 0.5 * (1 - std::sqrt(std::pow(cm, 7) / (std::pow(cm, 7) + std::pow(25.0, 7))));
    const double a1 = (1 + g) * x.a, a2 = (1 + g) * y.a;
    const double cp1 = std::hypot(a1, x.b), cp2 = std::hypot(a2, y.b);
    auto hue = [&](double b, double a) {
        if (a == 0 && b == 0) return 0.0;
        double h = deg(std::atan2(b, a));
        return h < 0 ? h + 360 : h;
    };
    const double hp1 = hue(x.b, a1), hp2 = hue(y.b, a2);
    const double dL = y.L - x.L, dC = cp2 - cp1;
    double dh = 0;
    if (cp1 * cp2 != 0) {
        dh = hp2 - hp1;
        if (dh > 180) dh -= 360;
        if (dh < -180) dh += 360;
    }
    const double dH = 2 * std::sqrt(cp1 * cp2) * std::sin(rad(dh / 2));
    const double Lm = (x.L + y.L) / 2, cpm = (cp1 + cp2) / 2;
    double hm = hp1 + hp2;
    if (cp1 * cp2 != 0) {
        if (std::abs(hp1 - hp2) > 180) hm += hm < 360 ? 360 : -360;
        hm /= 2;
    }
    const double t = 1 - 0.17 * std::cos(rad(hm - 30)) + 0.24 * std::cos(rad(2 * hm)) +
                     0.32 * std::cos(rad(3 * hm + 6)) - 0.20 * std::cos(rad(4 * hm - 63));
    const double dTheta = 30 * std::exp(-std::pow((hm - 275) / 25, 2));
    const double rc = 2 * std::sqrt(std::pow(cpm, 7) / (std::pow(cpm, 7) + std::pow(25.0, 7)));
    const double sl = 1 + 0.015 * (Lm - 50) * (Lm - 50) / std::sqrt(20 + (Lm - 50) * (Lm - 50));
    const double sc = 1 + 0.045 * cpm, sh = 1 + 0.015 * cpm * t;
    const double rt = -std::sin(rad(2 * dTheta)) * rc;
    return std::sqrt((dL / sl) * (dL / sl) + (dC / sc) * (dC / sc) + (dH / sh) * (dH / sh) +
                     rt * (dC / sc) * (dH / sh));
}

namespace {

template <typename Each> void ForEachHeld(const tw::Bitmap& picture, const tw::Bitmap* mask, Each each) {
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (!mask || mask->Pixel(x, y) != tw::kWhite) each(picture.Pixel(x, y));
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

} // namespace

TLab MedianLab(const tw::Bitmap& picture, const tw::Bitmap* mask) {
    std::vector<double> L, a, b;
    ForEachHeld(picture, mask, [&](TColorValue c) {
        const TLab lab = ColorToLab(c);
        L.push_back(lab.L);
        a.push_back(lab.a);
        b.push_back(lab.b);
    });
    return {Median(L), Median(a), Median(b)};
}

double LightnessSpread(const tw::Bitmap& picture, const tw::Bitmap* mask) {
    double sum = 0, sum2 = 0;
    long n = 0;
    ForEachHeld(picture, mask, [&](TColorValue c) {
        const double L = ColorToLab(c).L;
        sum += L;
        sum2 += L * L;
        ++n;
    });
    if (n == 0) return 0;
    const double mean = sum / static_cast<double>(n);
    return std::sqrt(std::max(0.0, sum2 / static_cast<double>(n) - mean * mean));
}

tw::Bitmap WovenPatch(TColorValue colour, int width, int height, double spread) {
    const TRGBValues c = ColorToRGBValues(colour);
    const double lin[3] = {SrgbToLinear(c.R), SrgbToLinear(c.G), SrgbToLinear(c.B)};
    const double L = ColorToLab(colour).L;
    // A light factor k changes L* by about 116/3 * (L + 16) / 116 * ln k: set
    // the factor's spread so that L* spreads as asked.
    const double sigma = spread / std::max(8.0, (L + 16) / 3);
    tw::Bitmap patch(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double weave = std::sin(x * 2.1) * std::sin(y * 1.7) + 0.5 * std::sin((x + 2 * y) * 0.9);
            const double fold = std::sin(x / 23.0 + std::sin(y / 31.0) * 2) + 0.6 * std::sin(y / 17.0);
            const double k = std::exp(sigma * (0.6 * weave + 0.9 * fold));
            int out[3];
            for (int i = 0; i < 3; ++i)
                out[i] = std::clamp(
                    static_cast<int>(std::lround(LinearToSrgb(std::min(1.0, lin[i] * k)) * 255)), 0, 255);
            patch.SetPixel(x, y, RGBToColor(out[0], out[1], out[2]));
        }
    return patch;
}

} // namespace twtest
