#include "colour/HSV.h"
#include "colour/HexColour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

THSVValues Hsv(int r, int g, int b) {
    return RGBToHSVValues({r, g, b});
}

TEST(HSV, KnownConversionsFromRgb) {
    EXPECT_EQ(Hsv(0, 0, 0), (THSVValues{0, 0, 0}));
    EXPECT_EQ(Hsv(128, 128, 128), (THSVValues{0, 0, 128}));
    EXPECT_EQ(Hsv(255, 0, 0), (THSVValues{0, 255, 255}));
    EXPECT_EQ(Hsv(0, 255, 0), (THSVValues{120, 255, 255}));
    EXPECT_EQ(Hsv(0, 0, 255), (THSVValues{240, 255, 255}));
    EXPECT_EQ(Hsv(255, 255, 0), (THSVValues{60, 255, 255})) << "red wins the tie with green";
    EXPECT_EQ(Hsv(255, 0, 1), (THSVValues{360, 255, 255})) << "359.76 rounds up to 360";
    EXPECT_EQ(Hsv(8, 3, 0).H, 22) << "22.5 rounds half to even";
    EXPECT_EQ(Hsv(6, 5, 5).S, 42);
    EXPECT_EQ(Hsv(2, 1, 1).S, 128) << "127.5 rounds half to even";
    EXPECT_EQ(Hsv(200, 150, 100), (THSVValues{30, 128, 200}));
}

TEST(HSV, RealFormLeavesHueUndefinedForGrey) {
    double h, s, v;
    RGBToHSV(77, 77, 77, h, s, v);
    EXPECT_TRUE(std::isnan(h));
    EXPECT_EQ(s, 0);
    EXPECT_EQ(v, 77);
    RGBToHSV(0, 0, 0, h, s, v);
    EXPECT_TRUE(std::isnan(h));
}

TEST(HSV, KnownConversionsToRgb) {
    EXPECT_EQ(HSVToRGBValues({360, 255, 255}), (TRGBValues{255, 0, 0}));
    EXPECT_EQ(HSVToRGBValues({30, 128, 200}), (TRGBValues{200, 150, 100}));
    for (int h : {0, 17, 180, 359, 360})
        EXPECT_EQ(HSVToRGBValues({h, 0, 77}), (TRGBValues{77, 77, 77}));
    EXPECT_EQ(HSVToRGBValues(Hsv(200, 150, 100)), (TRGBValues{200, 150, 100}));
}

TEST(HSV, DoublePrecisionTieFromTheModel) {
    // Exact arithmetic would give G = 60 here; the model's double steps give 61.
    EXPECT_EQ(HSVToRGBValues({1, 85, 90}).G, 61);
    EXPECT_EQ(hsv_reference::HSVToRGBValues({1, 85, 90}).G, 61);
}

TEST(HSV, ColorValuePacking) {
    EXPECT_EQ(ColorToRGBValues(16777215), (TRGBValues{255, 255, 255}));
    EXPECT_EQ(ColorToRGBValues(255 + 256 * 3), (TRGBValues{255, 3, 0}));
    EXPECT_EQ(RGBToColor(1, 2, 3), 1u + 256u * 2 + 65536u * 3);
    EXPECT_EQ(ColorToHSVValues(RGBToColor(200, 150, 100)), (THSVValues{30, 128, 200}));
}

TEST(HSV, RoundHalfEvenMatchesNearbyint) {
    for (double x :
         {0.5, 1.5, 2.5, 22.5, 127.5, -0.5, -1.5, 0.49999999999999994, 254.50000000000003, 1e15 + 0.5})
        EXPECT_EQ(RoundHalfEven(x), std::nearbyint(x)) << x;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> d(-1e6, 1e6);
    for (int i = 0; i < 200000; ++i) {
        const double x = d(rng);
        ASSERT_EQ(RoundHalfEven(x), std::nearbyint(x)) << x;
    }
}

// The fast conversions must equal the step-by-step model on every input.
TEST(HSVExhaustive, EveryColourConvertsLikeTheModelAndPacksBack) {
    for (uint32_t c = 0; c <= 0xFFFFFF; ++c) {
        const TRGBValues rgb = ColorToRGBValues(c);
        ASSERT_EQ(RGBValuesToColor(rgb), c);
        ASSERT_EQ(RGBToHSVValues(rgb), hsv_reference::RGBToHSVValues(rgb)) << c;
    }
}

TEST(HSVExhaustive, EveryHsvTripleConvertsLikeTheModel) {
    for (int h = 0; h <= 360; ++h)
        for (int s = 0; s < 256; ++s)
            for (int v = 0; v < 256; ++v) {
                const THSVValues hsv{h, s, v};
                ASSERT_EQ(HSVToRGBValues(hsv), hsv_reference::HSVToRGBValues(hsv))
                    << h << " " << s << " " << v;
            }
}

} // namespace

TEST(HexColour, ReadsWhatItWritesAndNothingElse) {
    for (const TColorValue c : {0x000000u, 0x442A1Fu, 0xFFFFFFu, 0x0A0B0Cu})
        EXPECT_EQ(ParseHexColour(HexColour(c)), c);
    EXPECT_EQ(ParseHexColour("1F2A44"), 0x442A1Fu);
    for (const char* bad : {"", "#", "#1f2a4", "#1f2a445", "#1g2a44", "##1f2a44", " #1f2a44", "1f2a44 "})
        EXPECT_EQ(ParseHexColour(bad), std::nullopt) << bad;
}
