#pragma once
// Colours a user states — Match colour's goal (and original) given as
// #rrggbb or from the colour chooser — are sRGB colours; a picture is
// recoloured in its own values. Hue numbers, the solver and the rules stay in
// the picture's values and are not converted.

#include "colour/ColourProfile.h"
#include "recolour/TintwellSettings.h"

// The settings with every colour stated in sRGB converted into the picture's
// values (and marked so). Settings without such colours, and every setting
// for a picture whose values are sRGB's, come back unchanged.
TTintwellSettings InPictureColours(const TTintwellSettings& settings, const TColourProfile& profile);
