#include "recolour/ImagePart.h"

#include "recolour/PartRecolourer.h"

void TImagePart::ApplySettings(const tw::Bitmap& picture, const TTintwellSettings& settings) {
    Settings = settings;
    const QPoint anchor = RecolourPart(settings, picture, Bitmap);
    AnchorX = anchor.x();
    AnchorY = anchor.y();
}
