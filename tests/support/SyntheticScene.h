#pragma once
// A picture with a known truth for judging full-size borders: a shaded object
// with a soft rim about two pixels wide over a textured background. Recolouring
// the object should give coverage * transform(object) + (1 - coverage) * background.

#include "colour/HSV.h"
#include "fullsize/CoverageCarrier.h"
#include "platform/Bitmap.h"
#include "recolour/TintwellSettings.h"

#include <QPoint>
#include <QSize>

namespace twtest {

// Noise of a position, the same on every machine: the scenes' grain and blotches.
uint32_t Hash(int32_t x, int32_t y, uint32_t salt);

class SyntheticScene {
  public:
    SyntheticScene(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // The object's share of pixel (x, y), 0..1.
    double Coverage(int x, int y) const;
    TColorValue Object(int x, int y) const;
    TColorValue Background(int x, int y) const;
    tw::Bitmap Render() const;
    // A point well inside the object in a picture of the given size.
    QPoint Seed(QSize size) const;
    // The object's settings: a strong hue change that keeps no channel the same.
    static TTintwellSettings Recolour() { return {150, false, true, 10, -10, false}; }

  private:
    double Noise(double x, double y, double cell, uint32_t salt) const;
    int width_, height_;
    double cx_, cy_, radius_;
};

// The scene's object recoloured at the working size and carried up, next to the
// two plain ways of getting a full-size result.
struct SceneResult {
    tw::Bitmap full;    // the scene's picture
    tw::Bitmap working; // reduced to the working size
    tw::Bitmap part;    // grown at the working size and recoloured
    TPartGrowth growth;
    tw::Bitmap scaledUp;  // the working-size result stretched to full size
    tw::Bitmap grownFull; // a binary part grown at full size, drawn over the picture
};
SceneResult MakeSceneResult(const SyntheticScene& scene, bool withFullSizeWalk);

// Mean absolute error per channel against the truth over the border band, and
// the number of pixels away from it that differ from the rounded truth.
struct SceneError {
    double border = 0;
    long long borderPixels = 0;
    double rim = 0; // the part of the border error from the rim (0 < coverage < 1)
    long long rimPixels = 0;
    long long wrongAway = 0;
};
// picture is the scene rendered.
SceneError MeasureAgainstTruth(const SyntheticScene& scene, const tw::Bitmap& picture,
                               const tw::Bitmap& result, const TCoverageCarrier& band);

} // namespace twtest
