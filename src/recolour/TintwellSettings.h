#pragma once

#include <cstdint>

// The recolour settings of one image part, copied by value everywhere.
// Hue mode: KeepHue = keep, ShiftHue = shift by Hue, neither = change to Hue.
struct TTintwellSettings {
    int32_t Hue = 0;
    bool KeepHue = false;
    bool ShiftHue = false;
    int32_t SaturationTint = 0; // percent
    int32_t ValueTint = 0;      // percent
    bool AvoidSingularities = false;

    bool operator==(const TTintwellSettings&) const = default;

    // What the main window gives new parts: a hue shift by 75 degrees.
    static TTintwellSettings Initial() {
        TTintwellSettings s;
        s.Hue = 75;
        s.ShiftHue = true;
        return s;
    }
};
