#include "colour/HSV.h"
#include "colour/HSVTables.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>

double MaxOf3(double a, double b, double c) {
    const double m = a > b ? a : b;
    return m > c ? m : c;
}

double MinOf3(double a, double b, double c) {
    const double m = a < b ? a : b;
    return m < c ? m : c;
}

void RGBToHSV(int32_t R, int32_t G, int32_t B, double& H, double& S, double& V) {
    const double max = MaxOf3(R, G, B);
    const double min = MinOf3(R, G, B);
    const double delta = max - min;
    V = max;
    S = V == 0 ? 0.0 : delta / V;
    if (S == 0) {
        H = std::nan("");
        return;
    }
    // Tested in this order, so red wins a tie with green or blue, and green wins over blue.
    if (R == max)
        H = static_cast<double>(G - B) * 60 / delta;
    else if (G == max)
        H = static_cast<double>(B - R) * 60 / delta + 120;
    else
        H = static_cast<double>(R - G) * 60 / delta + 240;
    if (H < 0) H += 360;
}

void HSVToRGB(double H, double S, double V, double& R, double& G, double& B) {
    if (S == 0) {
        R = G = B = V;
        return;
    }
    if (H == 360) H = 0;
    const double h = H / 60;
    const int i = static_cast<int>(h);
    const double f = h - i;
    const double p = V * (1 - S);
    const double q = V * (1 - S * f);
    const double t = V * (1 - S * (1 - f));
    switch (i) {
    case 0:
        R = V, G = t, B = p;
        break;
    case 1:
        R = q, G = V, B = p;
        break;
    case 2:
        R = p, G = V, B = t;
        break;
    case 3:
        R = p, G = q, B = V;
        break;
    case 4:
        R = t, G = p, B = V;
        break;
    default:
        R = V, G = p, B = q;
        break;
    }
}

namespace hsv_reference {

THSVValues RGBToHSVValues(const TRGBValues& rgb) {
    double h, s, v;
    RGBToHSV(rgb.R, rgb.G, rgb.B, h, s, v);
    return {std::isnan(h) ? 0 : static_cast<int32_t>(std::nearbyint(h)),
            static_cast<int32_t>(std::nearbyint(s * 255)), static_cast<int32_t>(std::nearbyint(v))};
}

TRGBValues HSVToRGBValues(const THSVValues& hsv) {
    double r, g, b;
    HSVToRGB(hsv.H, hsv.S / 255.0, hsv.V, r, g, b);
    return {static_cast<int32_t>(std::nearbyint(r)), static_cast<int32_t>(std::nearbyint(g)),
            static_cast<int32_t>(std::nearbyint(b))};
}

} // namespace hsv_reference

namespace {

// Saturation and hue depend on few inputs (delta and max; the signed channel
// difference, delta and which channel is the largest), so they are tabulated
// once from the step-by-step formulas; the tables are exact by construction.
std::unique_ptr<THSVTables> MakeTables() {
    auto t = std::make_unique<THSVTables>();
    for (int max = 0; max < 256; ++max)
        for (int delta = 0; delta < 256; ++delta) {
            const double S = max == 0 ? 0.0 : static_cast<double>(delta) / static_cast<double>(max);
            t->saturation[delta * 256 + max] =
                delta <= max ? static_cast<uint8_t>(std::nearbyint(S * 255)) : 0;
        }
    // Adding 0 for the red case is exact, so one expression serves all three.
    const double offset[3] = {0, 120, 240};
    for (int c = 0; c < 3; ++c)
        for (int delta = 0; delta < 256; ++delta)
            for (int diff = -255; diff <= 255; ++diff) {
                uint16_t value = 0;
                if (delta > 0 && diff >= -delta && diff <= delta) {
                    double H = static_cast<double>(diff) * 60 / static_cast<double>(delta) + offset[c];
                    if (H < 0) H += 360;
                    value = static_cast<uint16_t>(std::nearbyint(H));
                }
                t->hue[c][diff + 255][delta] = value;
            }
    for (int H = 0; H <= 360; ++H) {
        const double h = (H == 360 ? 0 : H) / 60.0;
        t->sector[H] = static_cast<int32_t>(h);
        t->fraction[H] = h - t->sector[H];
    }
    for (int S = 0; S < 256; ++S) {
        t->saturationFraction[S] = S / 255.0;
        for (int V = 0; V < 256; ++V)
            t->p[S * 256 + V] = static_cast<uint8_t>(std::nearbyint(V * (1 - S / 255.0)));
    }
    return t;
}

} // namespace

const THSVTables& THSVTables::Get() {
    static const std::unique_ptr<THSVTables> tables = MakeTables();
    return *tables;
}

THSVValues RGBToHSVValues(const TRGBValues& rgb) {
    if ((rgb.R | rgb.G | rgb.B) & ~0xFF) return hsv_reference::RGBToHSVValues(rgb); // outside the tables
    return THSVTables::Get().ToHSV(rgb.R, rgb.G, rgb.B);
}

TRGBValues HSVToRGBValues(const THSVValues& hsv) {
    if (hsv.H < 0 || hsv.H > 360 || hsv.S < 0 || hsv.S > 255 || hsv.V < 0 || hsv.V > 255)
        return hsv_reference::HSVToRGBValues(hsv);
    int32_t out[3];
    THSVTables::Get().ToRGB(hsv.H, hsv.S, hsv.V, out);
    return {out[0], out[1], out[2]};
}

THSVValues ColorToHSVValues(TColorValue color) {
    return RGBToHSVValues(ColorToRGBValues(color));
}
