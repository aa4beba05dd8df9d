// "Match colour": textured patches taken to a goal colour keep their texture,
// and the table agrees with the exact map.

#include "recolour/ColourMatch.h"
#include "colour/Lab.h"
#include "support/ColourMetrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

struct MatchCase {
    const char* name;
    TColorValue patch, goal;
};

// Clipped channels: 0 or 255 in any channel.
int ClippedPixels(const tw::Bitmap& b) {
    int n = 0;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const TRGBValues c = ColorToRGBValues(b.Pixel(x, y));
            n += c.R == 0 || c.R == 255 || c.G == 0 || c.G == 255 || c.B == 0 || c.B == 255;
        }
    return n;
}

} // namespace

TEST(ColourMatch, TexturedPatchesReachTheGoalAndKeepTheirTexture) {
    const MatchCase cases[] = {
        {"navy to cement", RGBToColor(31, 42, 68), RGBToColor(200, 198, 190)},
        {"black to red", RGBToColor(20, 20, 22), RGBToColor(200, 30, 40)},
        {"white to navy", RGBToColor(235, 235, 232), RGBToColor(31, 42, 90)},
        {"grey to green", RGBToColor(128, 128, 128), RGBToColor(40, 150, 60)},
        {"red to blue", RGBToColor(190, 30, 35), RGBToColor(30, 60, 190)},
        {"yellow to purple", RGBToColor(230, 200, 40), RGBToColor(110, 40, 140)},
    };
    for (const MatchCase& c : cases)
        for (double spread : {2.5, 8.0}) {
            SCOPED_TRACE(testing::Message() << c.name << ", spread " << spread);
            const tw::Bitmap patch = twtest::WovenPatch(c.patch, 120, 90, spread);
            const TColorValue from = PartReferenceColour(patch, tw::Bitmap(120, 90, 0));
            const TColourMatch match(from, c.goal);
            tw::Bitmap result(patch.Width(), patch.Height());
            for (int y = 0; y < patch.Height(); ++y)
                for (int x = 0; x < patch.Width(); ++x)
                    result.SetPixel(x, y, match.TransformColor(patch.Pixel(x, y)));
            const double dE = twtest::DeltaE2000(twtest::MedianLab(result), ColorToLab(c.goal));
            const double ratio = twtest::LightnessSpread(result) / twtest::LightnessSpread(patch);
            const int clipped = ClippedPixels(result) - ClippedPixels(patch);
            EXPECT_LE(dE, 2.0);
            EXPECT_GE(ratio, 0.8);
            EXPECT_LE(ratio, 1.25);
            EXPECT_LE(clipped, patch.Width() * patch.Height() / 100);
        }
}

// The table agrees with the exact map for the colours a part is made of (those
// near its reference), never gives white, and is the same however often made.
TEST(ColourMatch, TheTableFollowsTheExactMapNearTheReference) {
    const TColorValue from = RGBToColor(150, 60, 40), goal = RGBToColor(40, 90, 160);
    const TColourMatch match(from, goal);
    const TLab reference = ColorToLab(from);
    int near = 0, close = 0;
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 3)
            for (int b = 0; b < 256; b += 3) {
                const TColorValue c = RGBToColor(r, g, b);
                if (twtest::DeltaE2000(ColorToLab(c), reference) > 15) continue;
                ++near;
                const TRGBValues t = ColorToRGBValues(match.TransformColor(c)),
                                 e = ColorToRGBValues(match.Exact(c));
                const int off = std::max({std::abs(t.R - e.R), std::abs(t.G - e.G), std::abs(t.B - e.B)});
                // Where a channel runs into the edge of sRGB the map turns
                // sharply, and the table rounds the turn off.
                ASSERT_LE(off, 16) << r << "," << g << "," << b;
                close += off <= 1;
            }
    EXPECT_GT(near, 1000);
    EXPECT_GE(close, near * 9 / 10) << "most within a level";
    const TColourMatch toWhite(RGBToColor(200, 200, 200), tw::kWhite);
    EXPECT_NE(toWhite.TransformColor(RGBToColor(200, 200, 200)), tw::kWhite) << "white means outside a part";
    const TColourMatch again(from, goal);
    for (TColorValue c = 0; c < (1u << 24); c += 4093)
        ASSERT_EQ(match.TransformColor(c), again.TransformColor(c));
}
