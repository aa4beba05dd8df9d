#pragma once

#include "colour/HSV.h"

#include <cstdint>
#include <optional>

// A colour the user gave: its value in the picture's own terms, and whether it
// was stated as an sRGB colour (#rrggbb) rather than in the picture's values.
struct TGivenColour {
    TColorValue Value = 0;
    bool Srgb = true;
    bool operator==(const TGivenColour&) const = default;
};

// The recolour settings of one image part, copied by value everywhere.
// Hue mode: KeepHue = keep, ShiftHue = shift by Hue, neither = change to Hue.
// MatchColour overrides them all: the part's reference colour goes to Goal
// (see recolour/ColourMatch.h); hue, tints and avoid singularities do not apply.
struct TTintwellSettings {
    TTintwellSettings() = default;
    // A hue mode with its tints.
    TTintwellSettings(int32_t hue, bool keepHue, bool shiftHue, int32_t saturationTint, int32_t valueTint,
                      bool avoidSingularities)
        : Hue(hue), KeepHue(keepHue), ShiftHue(shiftHue), SaturationTint(saturationTint),
          ValueTint(valueTint), AvoidSingularities(avoidSingularities) {}
    // "Match colour" to the goal, from the given reference or the part's own.
    static TTintwellSettings Match(TGivenColour goal, std::optional<TGivenColour> from = std::nullopt) {
        TTintwellSettings s;
        s.MatchColour = true;
        s.Goal = goal;
        s.From = from;
        return s;
    }

    int32_t Hue = 0;
    bool KeepHue = false;
    bool ShiftHue = false;
    int32_t SaturationTint = 0; // percent
    int32_t ValueTint = 0;      // percent
    bool AvoidSingularities = false;
    bool MatchColour = false;
    TGivenColour Goal;
    // The reference: fixed when the mode is applied to a part (the median of
    // its pixels) unless given; none until then.
    std::optional<TGivenColour> From;

    bool operator==(const TTintwellSettings&) const = default;

    // What the main window gives new parts: a hue shift by 75 degrees.
    static TTintwellSettings Initial() {
        TTintwellSettings s;
        s.Hue = 75;
        s.ShiftHue = true;
        return s;
    }
};
