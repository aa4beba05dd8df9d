#include "colour/ColourProfile.h"

#include <lcms2.h>

#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace {

// Transforms made without lcms2's cache may be used from several threads at once.
constexpr cmsUInt32Number kShared = cmsFLAGS_NOCACHE;

// RGB32 words as lcms2 sees their bytes.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr cmsUInt32Number kRgb32 = TYPE_BGRA_8;
#else
constexpr cmsUInt32Number kRgb32 = TYPE_ARGB_8;
#endif

int Level(double unit) {
    return static_cast<int>(std::nearbyint(std::clamp(unit, 0.0, 1.0) * 255));
}

TColorValue Convert(cmsHTRANSFORM transform, TColorValue colour) {
    const TRGBValues c = ColorToRGBValues(colour);
    const double in[3] = {c.R / 255.0, c.G / 255.0, c.B / 255.0};
    double out[3] = {};
    cmsDoTransform(transform, in, out, 1);
    return RGBToColor(Level(out[0]), Level(out[1]), Level(out[2]));
}

} // namespace

struct TColourProfile::TTransforms {
    cmsHTRANSFORM FromSrgb = nullptr, ToSrgb = nullptr, ToScreen = nullptr;
    ~TTransforms() {
        for (cmsHTRANSFORM t : {FromSrgb, ToSrgb, ToScreen})
            if (t) cmsDeleteTransform(t);
    }
};

TColourProfile::TColourProfile(const QByteArray& iccProfile) {
    if (iccProfile.isEmpty()) return;
    cmsHPROFILE picture =
        cmsOpenProfileFromMem(iccProfile.constData(), static_cast<cmsUInt32Number>(iccProfile.size()));
    if (!picture) return;
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    auto t = std::make_shared<TTransforms>();
    if (cmsGetColorSpace(picture) == cmsSigRgbData) {
        t->FromSrgb = cmsCreateTransform(srgb, TYPE_RGB_DBL, picture, TYPE_RGB_DBL,
                                         INTENT_RELATIVE_COLORIMETRIC, kShared);
        t->ToSrgb = cmsCreateTransform(picture, TYPE_RGB_DBL, srgb, TYPE_RGB_DBL,
                                       INTENT_RELATIVE_COLORIMETRIC, kShared);
        t->ToScreen = cmsCreateTransform(picture, kRgb32, srgb, kRgb32, INTENT_RELATIVE_COLORIMETRIC,
                                         kShared | cmsFLAGS_BLACKPOINTCOMPENSATION);
    }
    cmsCloseProfile(srgb);
    cmsCloseProfile(picture);
    if (!t->FromSrgb || !t->ToSrgb || !t->ToScreen) return;
    // An sRGB profile by another maker differs from lcms2's own by far less
    // than a level: such pictures are left exactly as they are.
    for (int r = 0; r <= 255; r += 15)
        for (int g = 0; g <= 255; g += 15)
            for (int b = 0; b <= 255; b += 15) {
                const double in[3] = {r / 255.0, g / 255.0, b / 255.0};
                double out[3] = {};
                cmsDoTransform(t->FromSrgb, in, out, 1);
                for (int k = 0; k < 3; ++k)
                    if (std::abs(out[k] - in[k]) * 255 >= 0.5) {
                        transforms_ = std::move(t);
                        return;
                    }
            }
}

TColorValue TColourProfile::FromSrgb(TColorValue srgb) const {
    return transforms_ ? Convert(transforms_->FromSrgb, srgb) : srgb;
}

TColorValue TColourProfile::ToSrgb(TColorValue colour) const {
    return transforms_ ? Convert(transforms_->ToSrgb, colour) : colour;
}

void TColourProfile::ToScreen(tw::Bitmap& bitmap, const QRect& rect) const {
    if (!transforms_) return;
    const QRect area = rect.intersected(bitmap.Rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        uint32_t* row = bitmap.Row(y) + area.left();
        cmsDoTransform(transforms_->ToScreen, row, row, static_cast<cmsUInt32Number>(area.width()));
    }
}
