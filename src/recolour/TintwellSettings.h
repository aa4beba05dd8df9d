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
    // The colour the user gave as the one to take to the goal.
    std::optional<TGivenColour> From;
    // Otherwise the part's own colour (the middle of its pixels), worked out
    // when the mode is first applied to a part and kept from then on, so that
    // later dabs and added pixels do not move it. Worked out again when the
    // settings are carried to another picture.
    std::optional<TColorValue> Reference;

    bool operator==(const TTintwellSettings&) const = default;

    // Match colour still waiting for the part's own colour.
    bool NeedsReference() const { return MatchColour && !From && !Reference; }
    // The colour Match colour takes to the goal; the goal itself while there
    // is none yet (a recolourer then leaves the colours as they are).
    TColorValue MatchFrom() const { return From ? From->Value : Reference ? *Reference : Goal.Value; }
    // The settings for the same part on another picture: its own colour there is another.
    TTintwellSettings ForAnotherPicture() const {
        TTintwellSettings s = *this;
        s.Reference.reset();
        return s;
    }

    // What the main window gives new parts: a hue shift by 75 degrees.
    static TTintwellSettings Initial() {
        TTintwellSettings s;
        s.Hue = 75;
        s.ShiftHue = true;
        return s;
    }
};
