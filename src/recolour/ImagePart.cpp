#include "recolour/ImagePart.h"

#include "recolour/BitmapThings.h"

void TImagePart::ApplySettings(const tw::Bitmap& picture, const TTintwellSettings& settings) {
    Settings = settings;
    TBitmapThings things(settings, picture, Bitmap);
    things.ApplyAll();
    AnchorX = things.AnchorX;
    AnchorY = things.AnchorY;
}
