#include "recolour/ImagePart.h"

#include "recolour/PartRecolourer.h"

void TImagePart::ApplySettings(const tw::Bitmap& picture, const TTintwellSettings& settings) {
    Settings = settings;
    TPartRecolourer things(settings, picture, Bitmap);
    things.ApplyAll();
    AnchorX = things.AnchorX;
    AnchorY = things.AnchorY;
}
