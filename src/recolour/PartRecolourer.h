#pragma once

#include "colour/HSV.h"
#include "colour/HSVTables.h"
#include "platform/Bitmap.h"
#include "recolour/ColourMatch.h"
#include "recolour/TintwellSettings.h"

#include <QPoint>

#include <array>
#include <cstdint>
#include <memory>

// Applies one set of recolour settings from the picture to a part bitmap, in
// which white marks a position outside the part. Short-lived: built for one
// operation. The transform never yields white, so recolouring never removes a
// pixel from its part.
class TPartRecolourer {
  public:
    TPartRecolourer(const TTintwellSettings& settings, const tw::Bitmap& source, tw::Bitmap& target);

    // The recoloured value of one picture pixel. Allocation-free; safe to run on
    // several objects from several threads at once.
    TColorValue TransformColor(TColorValue color) const {
        return tw::ColorFromRgb32(TransformRgb32(tw::Rgb32FromColor(color)));
    }

    // Recolours (x, y) from the picture when the part holds that position.
    void ApplyAt(int x, int y);
    // Recolours every part pixel from the picture; AnchorX/AnchorY become the
    // first part pixel in column-major order, or the bottom-right corner.
    // threads < 1: one per processor core; the result is the same for any number.
    void ApplyAll(int threads = 0);
    // Takes the picture's pixels in the inclusive rectangle into the part and
    // recolours them (a pure white picture pixel leaves the part).
    void PaintRect(int left, int top, int right, int bottom);

    const TTintwellSettings Settings;
    const tw::Bitmap& Source;
    tw::Bitmap& Target;
    int32_t AnchorX = 0;
    int32_t AnchorY = 0;

    // The whole transform on a raw RGB32 word, inlined into the picture loops.
    uint32_t TransformRgb32(uint32_t rgb32) const {
        if (match_) return match_->TransformRgb32(rgb32);
        if (unmatched_) {
            const uint32_t kept = rgb32 | 0xFF000000u;
            return kept == 0xFFFFFFFFu ? 0xFFFEFFFFu : kept;
        }
        const THSVValues hsv =
            tables_.ToHSV(static_cast<int32_t>((rgb32 >> 16) & 0xFF),
                          static_cast<int32_t>((rgb32 >> 8) & 0xFF), static_cast<int32_t>(rgb32 & 0xFF));
        int32_t c[3];
        tables_.ToRGB(hueMap_[hsv.H], saturationMap_[hsv.S], valueMap_[hsv.V], c);
        if (Settings.AvoidSingularities) {
            // Moves a result whose three channels share one band of five levels off grey.
            const int32_t band = c[1] / 5;
            if (band == c[0] / 5 && band == c[2] / 5 && c[0] <= 250 && c[1] >= 5) c[0] += 5, c[1] -= 5;
        }
        const uint32_t result = 0xFF000000u | (static_cast<uint32_t>(c[0]) << 16) |
                                (static_cast<uint32_t>(c[1]) << 8) | static_cast<uint32_t>(c[2]);
        // White means "not in the part", so the transform never yields it.
        return result == 0xFFFFFFFFu ? 0xFFFEFFFFu : result;
    }

  private:
    const THSVTables& tables_;

    // The hue, saturation and value steps depend on one channel each, so they
    // are tabulated per settings object.
    std::array<int16_t, 361> hueMap_{};
    std::array<uint8_t, 256> saturationMap_{};
    std::array<uint8_t, 256> valueMap_{};
    // Match colour's table; none in the hue modes.
    std::shared_ptr<const TColourMatch> match_;
    // Match colour before the part's own colour is known (while it is being
    // grown): the picture's colours stay, and the part is recoloured once its
    // colour is fixed.
    bool unmatched_ = false;
};

// Recolours every part pixel of part from picture with settings: the one way
// a part is recoloured, whether its settings change, "Change color..."
// recolours it, a preview shows the settings or the batch tool reads it from a
// file. Returns the part's anchor: its first pixel in column-major order, or
// the bottom-right corner when it has none.
QPoint RecolourPart(const TTintwellSettings& settings, const tw::Bitmap& picture, tw::Bitmap& part);

// The transform computed step by step without tables; TransformColor must agree
// with it. Match colour has its own exact form (TColourMatch::Exact), which its
// table follows within a level: here it is the table's result.
TColorValue TransformColorReference(const TTintwellSettings& settings, TColorValue color);

// The settings with Match colour's reference worked out from the picture's
// pixels the part holds (anything not white in part) when they still need one.
TTintwellSettings WithPartReference(const TTintwellSettings& settings, const tw::Bitmap& picture,
                                    const tw::Bitmap& part);
