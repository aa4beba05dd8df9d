#pragma once
// The integer HSV colour model every colour decision is taken in, and the
// conversions between it, RGB and packed colour values (R + 256*G + 65536*B).
//
// H is a whole degree 0..360 (360 occurs through rounding and means red, like 0;
// grey has H = 0), S and V are 0..255. All functions are pure and thread-safe.

#include "platform/Rounding.h"

#include <cstdint>

using TColorValue = uint32_t;

struct TRGBValues {
    int32_t R = 0;
    int32_t G = 0;
    int32_t B = 0;
    bool operator==(const TRGBValues&) const = default;
};

struct THSVValues {
    int32_t H = 0;
    int32_t S = 0;
    int32_t V = 0;
    bool operator==(const THSVValues&) const = default;
};

double MaxOf3(double a, double b, double c);
double MinOf3(double a, double b, double c);

// Real form: H in degrees 0 <= H < 360, or NaN when S = 0; S 0..1; V 0..255.
void RGBToHSV(int32_t R, int32_t G, int32_t B, double& H, double& S, double& V);
void HSVToRGB(double H, double S, double V, double& R, double& G, double& B);

THSVValues RGBToHSVValues(const TRGBValues& rgb);
TRGBValues HSVToRGBValues(const THSVValues& hsv);

inline TRGBValues ColorToRGBValues(TColorValue x) {
    const TColorValue b = x / 65536;
    const TColorValue r = x - 65536 * b;
    const TColorValue g = r / 256;
    return {static_cast<int32_t>(r - 256 * g), static_cast<int32_t>(g), static_cast<int32_t>(b)};
}
inline TColorValue RGBToColor(int32_t R, int32_t G, int32_t B) {
    return static_cast<TColorValue>(R + 256 * G + 65536 * B);
}
inline TColorValue RGBValuesToColor(const TRGBValues& v) {
    return RGBToColor(v.R, v.G, v.B);
}

THSVValues ColorToHSVValues(TColorValue color);

// The conversions computed step by step in doubles, exactly as the model defines
// them. The fast versions above must agree with these on every input.
namespace hsv_reference {
THSVValues RGBToHSVValues(const TRGBValues& rgb);
TRGBValues HSVToRGBValues(const THSVValues& hsv);
} // namespace hsv_reference
