#include "colour/ColourStrips.h"

#include <algorithm>

namespace {

TColorValue Hsv(int32_t h, int32_t s, int32_t v) {
    return RGBValuesToColor(HSVToRGBValues({h, s, v}));
}

} // namespace

tw::Bitmap RuleStrip(TRuleChannel channel, TColorValue seedColor, int32_t half, int width, int height) {
    if (width <= 0 || height <= 0) return {};
    const THSVValues seed = ColorToHSVValues(seedColor);
    tw::Bitmap strip(width, height);
    const double step = 2.0 * half / width;
    // Column width lies outside the bitmap and leaves no mark.
    for (int b = 0; b < width; ++b) {
        TColorValue c = 0;
        switch (channel) {
        case TRuleChannel::Hue: {
            int32_t hue = Round(b * step + (seed.H - half));
            if (hue < 0) hue += 360;
            if (hue > 360) hue -= 360;
            c = Hsv(hue, 255, seed.V);
            break;
        }
        case TRuleChannel::Saturation:
            c = Hsv(seed.H, std::clamp(Round(b * step + (seed.S - half)), 0, 255), 255);
            break;
        case TRuleChannel::Value:
            c = Hsv(seed.H, seed.S, std::clamp(Round(b * step + (seed.V - half)), 0, 255));
            break;
        }
        strip.FillRect(QRect(b, 0, 1, height), c);
    }
    return strip;
}

tw::Bitmap HueChoiceStrip(int width, int height, int32_t saturation, std::optional<int32_t> shiftBy) {
    tw::Bitmap strip(width, height);
    const double step = 360.0 / width;
    // Column width lies outside the bitmap and leaves no mark.
    for (int x = 0; x < width; ++x) {
        const int32_t hue = Round(x * step);
        strip.FillRect(QRect(x, 0, 1, height), Hsv(hue, saturation, 255));
        if (shiftBy) {
            int32_t shifted = hue + *shiftBy;
            if (shifted > 360) shifted -= 360;
            strip.FillRect(QRect(x, height / 2, 1, height - height / 2), Hsv(shifted, saturation, 255));
        }
    }
    return strip;
}
