#pragma once
// Colour variants: one job, many results — the same parts in a range of
// colours, as a catalogue shows a product. A variant is a name and either one
// goal colour that every part is matched to, or settings for each part. Files
// keep them as document/ColourVariants.h says.

#include "recolour/TintwellSettings.h"

#include <optional>
#include <string>
#include <vector>

struct TColourVariant {
    std::string Name;
    // Every part matched to this goal; or else Parts, one settings per part.
    std::optional<TGivenColour> Goal;
    std::vector<TTintwellSettings> Parts;

    bool operator==(const TColourVariant&) const = default;
};

// Letters, digits, '.', '_' and '-', not empty: safe in a file name on every system.
bool IsVariantName(const std::string& name);
// Why the name is none, as a sentence.
std::string VariantNameProblem(const std::string& name);
// The first problem with a list of variants for partCount parts, as a sentence; empty when there is none.
std::string VariantsProblem(const std::vector<TColourVariant>& variants, size_t partCount);

// The settings of each part in the variant. A goal keeps what the part's own
// Match colour already had (the colour the user gave, the part's own colour
// fixed on this picture).
std::vector<TTintwellSettings> VariantSettings(const TColourVariant& variant,
                                               const std::vector<TTintwellSettings>& parts);
// The colour that stands for the variant on a contact sheet: its goal, or the
// first part's goal in Match colour; none otherwise.
std::optional<TColorValue> VariantColour(const TColourVariant& variant);
