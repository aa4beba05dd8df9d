#pragma once

#include "platform/Bitmap.h"
#include "recolour/PartGrowth.h"
#include "recolour/TintwellSettings.h"

#include <cstdint>
#include <optional>

// One region of the picture recoloured as a unit: a part bitmap in which white
// means "not in this part" and every other pixel is the part's recoloured pixel.
class TImagePart {
  public:
    // Takes a full copy of the given part bitmap. Creation does not recolour.
    explicit TImagePart(const tw::Bitmap& bitmap) : Bitmap(bitmap) {}
    virtual ~TImagePart() = default;

    // Stores the settings and recolours the whole part from the picture's pixels,
    // replacing any earlier effect; the anchor moves to the first part pixel.
    void ApplySettings(const tw::Bitmap& picture, const TTintwellSettings& settings);

    tw::Bitmap Bitmap;
    TTintwellSettings Settings;
    int32_t AnchorX = 0;
    int32_t AnchorY = 0;
    // How the part was grown, while its pixels are still what the growth made:
    // recolouring keeps it, brushing, erasing and joining drop it.
    std::optional<TPartGrowth> Growth;
};
