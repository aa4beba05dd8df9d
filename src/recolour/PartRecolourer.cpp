#include "recolour/PartRecolourer.h"

#include "platform/RowBandPool.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

constexpr uint32_t kWhiteRgb32 = tw::Rgb32FromColor(tw::kWhite);

int32_t ApplyTint(int32_t channel, int32_t tint) {
    // The product is an integer, the division real.
    const int64_t product = static_cast<int64_t>(channel) * tint;
    return static_cast<int32_t>(channel + std::nearbyint(static_cast<double>(product) / 100.0));
}

int32_t Limit(int32_t channel, bool avoidSingularities) {
    if (avoidSingularities) {
        if (channel < 25) return 26;
        if (channel > 230) return 229;
        return channel;
    }
    return std::clamp(channel, 0, 255);
}

int32_t NewHue(const TTintwellSettings& s, int32_t H) {
    if (s.ShiftHue) {
        H += s.Hue;
        if (H > 360) H -= 360;
    } else if (!s.KeepHue) {
        H = s.Hue;
    }
    return H;
}

// Moves a result whose three channels share one band of five levels off grey.
void NudgeGrey(TRGBValues& c) {
    const int32_t band = c.G / 5;
    if (band == c.R / 5 && band == c.B / 5 && c.R <= 250 && c.G >= 5) {
        c.R += 5;
        c.G -= 5;
    }
}

TColorValue NeverWhite(TColorValue c) {
    return c == tw::kWhite ? 16777214u : c;
}

} // namespace

TColorValue TransformColorReference(const TTintwellSettings& settings, TColorValue color) {
    if (settings.NeedsReference()) return NeverWhite(color);
    if (settings.MatchColour)
        return NeverWhite(
            TColourMatch::For(settings.MatchFrom(), settings.Goal.Value)->TransformColor(color));
    THSVValues hsv = hsv_reference::RGBToHSVValues(ColorToRGBValues(color));
    hsv.H = NewHue(settings, hsv.H);
    hsv.S = Limit(ApplyTint(hsv.S, settings.SaturationTint), settings.AvoidSingularities);
    hsv.V = Limit(ApplyTint(hsv.V, settings.ValueTint), settings.AvoidSingularities);
    TRGBValues rgb = hsv_reference::HSVToRGBValues(hsv);
    if (settings.AvoidSingularities) NudgeGrey(rgb);
    return NeverWhite(RGBValuesToColor(rgb));
}

TPartRecolourer::TPartRecolourer(const TTintwellSettings& settings, const tw::Bitmap& source,
                                 tw::Bitmap& target)
    : Settings(settings), Source(source), Target(target), tables_(THSVTables::Get()) {
    if (settings.NeedsReference()) {
        unmatched_ = true;
        return;
    }
    if (settings.MatchColour) {
        match_ = TColourMatch::For(settings.MatchFrom(), settings.Goal.Value);
        return;
    }
    for (int32_t H = 0; H <= 360; ++H) {
        int32_t mapped = NewHue(settings, H);
        // Settings from outside the 0..360 range are folded back into it, so the
        // tables are never indexed out of range.
        if (mapped < 0 || mapped > 360) mapped = ((mapped % 360) + 360) % 360;
        hueMap_[H] = static_cast<int16_t>(mapped);
    }
    for (int32_t c = 0; c < 256; ++c) {
        saturationMap_[c] =
            static_cast<uint8_t>(Limit(ApplyTint(c, settings.SaturationTint), settings.AvoidSingularities));
        valueMap_[c] =
            static_cast<uint8_t>(Limit(ApplyTint(c, settings.ValueTint), settings.AvoidSingularities));
    }
}

void TPartRecolourer::ApplyAt(int x, int y) {
    if (!Target.Contains(x, y) || !Source.Contains(x, y)) return;
    uint32_t& t = Target.Row(y)[x];
    if ((t | 0xFF000000u) != kWhiteRgb32) t = TransformRgb32(Source.Row(y)[x]);
}

void TPartRecolourer::ApplyAll(int threads) {
    // Rows are walked for speed; the result equals a column-major scan because each
    // pixel is independent, and the anchor is the column-major first part pixel.
    // Large parts are shared out in bands of rows; each band finds its own first
    // pixel and the bands are combined top to bottom, as one pass would, so the
    // result does not depend on the number of threads.
    AnchorX = Target.Width() - 1;
    AnchorY = Target.Height() - 1;
    const int height = Target.Height();
    if (Target.IsEmpty()) return;
    // Row addresses are taken here, once: the bands must not detach the image.
    auto* const targetBase = reinterpret_cast<unsigned char*>(Target.Row(0));
    const auto targetStride = static_cast<ptrdiff_t>(Target.Image().bytesPerLine());
    const int sourceHeight = std::min(height, Source.Height());
    const auto* const sourceBase =
        sourceHeight > 0 ? reinterpret_cast<const unsigned char*>(Source.Row(0)) : nullptr;
    const auto sourceStride = static_cast<ptrdiff_t>(Source.Image().bytesPerLine());
    const int width = Target.Width();
    const int inside = std::min(width, Source.Width());
    constexpr int kBandRows = 64;
    struct Anchor {
        int x = -1, y = -1; // -1: no part pixel in the band
    };
    std::vector<Anchor> anchors(static_cast<size_t>((height + kBandRows - 1) / kBandRows));
    const auto run = [&](int top, int bottom) {
        Anchor& band = anchors[static_cast<size_t>(top / kBandRows)];
        for (int y = top; y < bottom; ++y) {
            auto* t = reinterpret_cast<uint32_t*>(targetBase + y * targetStride);
            const auto* s =
                y < sourceHeight ? reinterpret_cast<const uint32_t*>(sourceBase + y * sourceStride) : nullptr;
            const int limit = s ? inside : 0;
            for (int x = 0; x < width; ++x) {
                if ((t[x] | 0xFF000000u) == kWhiteRgb32) continue;
                if (band.x < 0 || x < band.x) band.x = x, band.y = y;
                if (x < limit) t[x] = TransformRgb32(s[x]);
            }
        }
    };
    // Below a quarter of a megapixel a thread costs more than it saves.
    const bool small = static_cast<int64_t>(width) * height < 262144;
    TRowBandPool(small ? 1 : threads).Run(height, kBandRows, run);
    bool found = false;
    for (const Anchor& band : anchors)
        if (band.x >= 0 && (!found || band.x < AnchorX)) {
            AnchorX = band.x;
            AnchorY = band.y;
            found = true;
        }
}

void TPartRecolourer::PaintRect(int left, int top, int right, int bottom) {
    const int x0 = std::max(left, 0), y0 = std::max(top, 0);
    const int x1 = std::min({right, Target.Width() - 1, Source.Width() - 1});
    const int y1 = std::min({bottom, Target.Height() - 1, Source.Height() - 1});
    for (int y = y0; y <= y1; ++y) {
        const uint32_t* s = Source.Row(y);
        uint32_t* t = Target.Row(y);
        for (int x = x0; x <= x1; ++x) {
            const uint32_t pixel = s[x] | 0xFF000000u;
            t[x] = pixel == kWhiteRgb32 ? pixel : TransformRgb32(pixel);
        }
    }
}

QPoint RecolourPart(const TTintwellSettings& settings, const tw::Bitmap& picture, tw::Bitmap& part) {
    TPartRecolourer things(settings, picture, part);
    things.ApplyAll();
    return QPoint(things.AnchorX, things.AnchorY);
}

TTintwellSettings WithPartReference(const TTintwellSettings& settings, const tw::Bitmap& picture,
                                    const tw::Bitmap& part) {
    if (!settings.NeedsReference()) return settings;
    TTintwellSettings fixed = settings;
    const TColorValue reference = PartReferenceColour(picture, part);
    // A part without pixels has no colour of its own yet.
    if (reference != tw::kWhite) fixed.Reference = reference;
    return fixed;
}
