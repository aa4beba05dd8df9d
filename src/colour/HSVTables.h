#pragma once
// The tabulated, inlinable core of the HSV conversions, for whole-picture loops.
// Every table is filled from the step-by-step double formulas, so the results are
// those of the model; the exhaustive tests hold them to it.

#include "colour/HSV.h"

#include <array>
#include <cstdint>

struct THSVTables {
    // RGB -> HSV: saturation by [delta * 256 + max]; hue by [case][diff + 255][delta],
    // case 0 when red is the largest channel, 1 green, 2 blue.
    std::array<uint8_t, 256 * 256> saturation;
    std::array<std::array<std::array<uint16_t, 256>, 511>, 3> hue;
    // HSV -> RGB: p = Round(V * (1 - S)) by [S * 256 + V]; sector, fraction and
    // the saturation fraction as the formulas compute them.
    std::array<uint8_t, 256 * 256> p;
    std::array<int32_t, 361> sector;
    std::array<double, 361> fraction;
    std::array<double, 256> saturationFraction;

    static const THSVTables& Get();

    // R, G, B 0..255.
    THSVValues ToHSV(int32_t R, int32_t G, int32_t B) const {
        const int32_t maxGB = G > B ? G : B;
        const int32_t minGB = G < B ? G : B;
        const int32_t max = R > maxGB ? R : maxGB;
        const int32_t min = R < minGB ? R : minGB;
        const int32_t delta = max - min;
        if (delta == 0) return {0, 0, max};
        int32_t c, diff;
        if (R == max)
            c = 0, diff = G - B;
        else if (G == max)
            c = 1, diff = B - R;
        else
            c = 2, diff = R - G;
        return {hue[c][diff + 255][delta], saturation[delta * 256 + max], max};
    }

    // H 0..360, S 0..255, V 0..255; writes R, G, B.
    void ToRGB(int32_t H, int32_t S, int32_t V, int32_t out[3]) const {
        if (S == 0) {
            out[0] = out[1] = out[2] = V;
            return;
        }
        const double s = saturationFraction[S];
        const double f = fraction[H];
        const double v = V;
        const int32_t values[4] = {V, p[S * 256 + V], Round(v * (1 - s * f)), Round(v * (1 - s * (1 - f)))};
        // Which of V, p, q, t goes to R, G, B in each sector of 60 degrees.
        static constexpr uint8_t kPick[6][3] = {{0, 3, 1}, {2, 0, 1}, {1, 0, 3},
                                                {1, 2, 0}, {3, 1, 0}, {0, 1, 2}};
        const uint8_t* pick = kPick[sector[H]];
        out[0] = values[pick[0]];
        out[1] = values[pick[1]];
        out[2] = values[pick[2]];
    }
};
