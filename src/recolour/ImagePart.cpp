#include "recolour/ImagePart.h"

#include "recolour/PartRecolourer.h"

void TImagePart::ApplySettings(const tw::Bitmap& picture, const TTintwellSettings& settings) {
    Settings = WithPartReference(settings, picture, Bitmap);
    const QPoint anchor = RecolourPart(Settings, picture, Bitmap);
    AnchorX = anchor.x();
    AnchorY = anchor.y();
}
