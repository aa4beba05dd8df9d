#include "colour/HSV.h"

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
    case 0: R = V, G = t, B = p; break;
    case 1: R = q, G = V, B = p; break;
    case 2: R = p, G = V, B = t; break;
    case 3: R = p, G = q, B = V; break;
    case 4: R = t, G = p, B = V; break;
    default: R = V, G = p, B = q; break;
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
struct RGBToHSVTables {
    std::array<uint8_t, 256 * 256> saturation{}; // [delta * 256 + max]
    // [case][diff + 255][delta]: case 0 red is max, 1 green, 2 blue.
    std::array<std::array<std::array<uint16_t, 256>, 511>, 3> hue{};

    RGBToHSVTables() {
        for (int max = 0; max < 256; ++max)
            for (int delta = 0; delta <= max; ++delta) {
                const double S = max == 0 ? 0.0 : static_cast<double>(delta) / static_cast<double>(max);
                saturation[delta * 256 + max] = static_cast<uint8_t>(std::nearbyint(S * 255));
            }
        // Adding 0 for the red case is exact, so one expression serves all three.
        const double offset[3] = {0, 120, 240};
        for (int c = 0; c < 3; ++c)
            for (int delta = 1; delta < 256; ++delta)
                for (int diff = -delta; diff <= delta; ++diff) {
                    double H = static_cast<double>(diff) * 60 / static_cast<double>(delta) + offset[c];
                    if (H < 0) H += 360;
                    hue[c][diff + 255][delta] = static_cast<uint16_t>(std::nearbyint(H));
                }
    }
};

const RGBToHSVTables& Tables() {
    static const std::unique_ptr<RGBToHSVTables> tables = std::make_unique<RGBToHSVTables>();
    return *tables;
}

// H / 60 split into sector and fraction, and S / 255, for every integer input.
struct HSVToRGBTables {
    std::array<int, 361> sector{};
    std::array<double, 361> fraction{};
    std::array<double, 256> saturation{};
    HSVToRGBTables() {
        for (int H = 0; H <= 360; ++H) {
            const double h = (H == 360 ? 0 : H) / 60.0;
            sector[H] = static_cast<int>(h);
            fraction[H] = h - sector[H];
        }
        for (int S = 0; S < 256; ++S) saturation[S] = S / 255.0;
    }
};

const HSVToRGBTables& InverseTables() {
    static const HSVToRGBTables tables;
    return tables;
}

} // namespace

THSVValues RGBToHSVValues(const TRGBValues& rgb) {
    const int R = rgb.R, G = rgb.G, B = rgb.B;
    if ((R | G | B) & ~0xFF) return hsv_reference::RGBToHSVValues(rgb); // outside the tables
    const RGBToHSVTables& t = Tables();
    int max, c, diff;
    if (R >= G && R >= B)
        max = R, c = 0, diff = G - B;
    else if (G >= B)
        max = G, c = 1, diff = B - R;
    else
        max = B, c = 2, diff = R - G;
    const int min = R < G ? (R < B ? R : B) : (G < B ? G : B);
    const int delta = max - min;
    if (delta == 0) return {0, 0, max};
    return {t.hue[c][diff + 255][delta], t.saturation[delta * 256 + max], max};
}

TRGBValues HSVToRGBValues(const THSVValues& hsv) {
    if (hsv.H < 0 || hsv.H > 360 || hsv.S < 0 || hsv.S > 255) return hsv_reference::HSVToRGBValues(hsv);
    const int32_t V = hsv.V;
    if (hsv.S == 0) return {V, V, V};
    const HSVToRGBTables& t = InverseTables();
    const double S = t.saturation[hsv.S];
    const double f = t.fraction[hsv.H];
    const double v = V;
    const int32_t p = Round(v * (1 - S));
    const int32_t q = Round(v * (1 - S * f));
    const int32_t u = Round(v * (1 - S * (1 - f)));
    switch (t.sector[hsv.H]) {
    case 0: return {V, u, p};
    case 1: return {q, V, p};
    case 2: return {p, V, u};
    case 3: return {p, q, V};
    case 4: return {u, p, V};
    default: return {V, p, q};
    }
}

THSVValues ColorToHSVValues(TColorValue color) { return RGBToHSVValues(ColorToRGBValues(color)); }
