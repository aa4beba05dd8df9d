#include "masking/ToleranceSuggestion.h"

#include "platform/Rounding.h"

#include <algorithm>
#include <cstdlib>

THSVValues ToleranceFromSamples(const THSVValues& reference, const std::vector<THSVValues>& samples) {
    int32_t maxH = 0, maxS = 0, maxV = 0;
    for (const THSVValues& s : samples) {
        // Hue is a circle: 355 lies 9 degrees from 4, as the walk compares them.
        const int32_t dH = std::abs(reference.H - s.H);
        maxH = std::max(maxH, std::min(dH, 360 - dH));
        maxS = std::max(maxS, std::abs(reference.S - s.S));
        maxV = std::max(maxV, std::abs(reference.V - s.V));
    }
    return {Round(maxH / 3.6), Round(maxS / 2.55), Round(maxV / 2.55)};
}

THSVValues SuggestTolerance(const tw::Bitmap& picture, QPoint seed, int halfWidth) {
    std::vector<THSVValues> samples;
    const int left = std::max(0, seed.x() - halfWidth),
              right = std::min(picture.Width() - 1, seed.x() + halfWidth);
    const int top = std::max(0, seed.y() - halfWidth),
              bottom = std::min(picture.Height() - 1, seed.y() + halfWidth);
    if (left <= right && top <= bottom)
        samples.reserve(static_cast<size_t>(right - left + 1) * static_cast<size_t>(bottom - top + 1));
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            samples.push_back(ColorToHSVValues(picture.Pixel(x, y)));
    return ToleranceFromSamples(ColorToHSVValues(picture.Pixel(seed.x(), seed.y())), samples);
}
