#pragma once
// How far a part grows from its seed: the mask dialog's rules, kept with
// grown parts and read from recipes and projects.

#include <cstdint>

// The tolerance rules of one walk; deviations are percentages of a channel's
// full range (360 degrees of hue, 255 of saturation and value).
struct TWalkerRules {
    bool UseHue = false;
    bool UseSaturation = false;
    bool UseValue = false;
    int32_t HueDeviation = 0;
    int32_t SaturationDeviation = 0;
    int32_t ValueDeviation = 0;
    bool CompareToNeighbour = false;
    bool NineValueAverage = false;
    // Every pixel of the picture that passes against the seed joins, connected
    // or not. Needs seed compare.
    bool Anywhere = false;
    // After the walk, 4-connected regions outside the part that do not touch
    // the picture's border and have at most this many pixels join it; 0: none.
    int32_t FillHoles = 0;

    // The largest FillHoles accepted from files and the batch tool.
    static constexpr int32_t kMaxFillHoles = 1000000;

    bool operator==(const TWalkerRules&) const = default;

    // What the mask dialog starts with: hue 5 %, saturation 40 %, value 40 %.
    static TWalkerRules Default() { return {true, true, true, 5, 40, 40, false, false}; }
};
