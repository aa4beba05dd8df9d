#pragma once
// A picture's colour profile (an ICC profile, through lcms2). Pictures are
// recoloured in their own RGB values; a profile says what those values mean.
// It is needed where colours cross over: a colour the user states in sRGB
// (#rrggbb, the colour chooser) going into the picture's values, and the
// picture's values going to the screen.
//
// Pictures without a profile, with an sRGB profile, or with one lcms2 cannot
// use need no conversion: their values pass unchanged, bit for bit.

#include "colour/HSV.h"
#include "platform/Bitmap.h"

#include <QByteArray>
#include <QRect>

#include <memory>

class TColourProfile {
  public:
    // No profile: the picture's values are sRGB's.
    TColourProfile() = default;
    explicit TColourProfile(const QByteArray& iccProfile);

    // Whether colours pass unchanged: no profile, an sRGB one (every colour
    // within half a level of itself), or one that is not an RGB profile lcms2 reads.
    bool IsSrgb() const { return !transforms_; }

    // An sRGB colour in the picture's values (relative colorimetric, each
    // channel rounded half to even).
    TColorValue FromSrgb(TColorValue srgb) const;
    // A colour of the picture in sRGB, the same way.
    TColorValue ToSrgb(TColorValue colour) const;
    // The pixels of rect in the picture's values, converted in place to what
    // the screen shows: sRGB, as the screen's own profile is not known.
    void ToScreen(tw::Bitmap& bitmap, const QRect& rect) const;

  private:
    struct TTransforms;
    std::shared_ptr<const TTransforms> transforms_;
};
