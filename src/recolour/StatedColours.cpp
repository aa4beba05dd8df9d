#include "recolour/StatedColours.h"

namespace {

void Convert(TGivenColour& colour, const TColourProfile& profile) {
    if (!colour.Srgb) return;
    colour.Value = profile.FromSrgb(colour.Value);
    colour.Srgb = false;
}

} // namespace

TTintwellSettings InPictureColours(const TTintwellSettings& settings, const TColourProfile& profile) {
    if (!settings.MatchColour || profile.IsSrgb()) return settings;
    TTintwellSettings converted = settings;
    Convert(converted.Goal, profile);
    if (converted.From) Convert(*converted.From, profile);
    return converted;
}
