#pragma once
// A scene with a known truth, made from real photographs, for judging
// full-size borders. A textured object of varying colour (a gravel photo's
// grain, turned, its hue and saturation drifting) that darkens towards its outline is
// composited over a background photo (a coffee table), picture = a F + (1 - a) B,
// with an outline whose blur varies from 1 to 14 pixels along it; its right end
// sinks into a smooth shadow, where a walk from its middle stops. The ideal
// recolouring is a T(F) + (1 - a) B.

#include "platform/Bitmap.h"
#include "recolour/PartGrowth.h"
#include "recolour/TintwellSettings.h"

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <vector>

namespace twtest {

class PhotoScene {
  public:
    // A strip as wide as a camera picture: its working picture is 7.5 times smaller.
    explicit PhotoScene(int width = 6000, int height = 1200);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // The object's share of pixel (x, y), 0..1.
    double Alpha(int x, int y) const;
    // The object's and the background's own colours at (x, y), as RGB in 0..255.
    void Object(int x, int y, double rgb[3]) const;
    void Background(int x, int y, double rgb[3]) const;
    const tw::Bitmap& Picture() const { return picture_; }
    // The recolouring the scene is judged by: a strong hue change.
    static TTintwellSettings Settings() { return {35, false, false, 10, 0, false}; }
    // Where the shadow has got deep enough to stop a walk: the middle of its ramp.
    int ShadowX() const { return shadowX0_ + shadowLength_ / 2; }

  private:
    double Distance(int x, int y) const; // signed, positive inside, in pixels
    double Shadow(int x) const;

    int width_, height_;
    int shadowX0_, shadowLength_;
    struct Lobe {
        double cx, cy, radius, phase;
    };
    std::vector<Lobe> lobes_;
    tw::Bitmap background_, grain_; // the photos, scaled to this scene's pitch
    tw::Bitmap picture_;
};

// The object grown at the working size from its middle with the default rules.
struct PhotoSceneParts {
    tw::Bitmap working;
    tw::Bitmap part;
    TPartGrowth growth;
    tw::Bitmap grownFull; // a binary part grown at full size, drawn over the picture (when asked for)
};
PhotoSceneParts GrowPhotoScene(const PhotoScene& scene, bool withFullSizeWalk = false);

// The figures a full-size result is judged by, against the ideal recolouring:
// over the band where 0 < a < 1 widened by 2 pixels, the mean absolute
// difference per channel (border error) and the percentage of pixels whose
// largest channel difference exceeds 40 levels (false colours); and the
// blockiness of the 480 x 480 window across the shadow's cut.
struct BorderFigures {
    double borderError = 0;
    double falseColours = 0;
    double blockiness = 0;
    long long bandPixels = 0;
};
BorderFigures MeasureBorders(const PhotoScene& scene, const tw::Bitmap& result, const tw::Bitmap& part);

// With D the largest channel difference |result - picture| over window: the
// magnitude spectrum of each row of D (its mean taken away), averaged over the
// rows; its peak within one bin of the working-pixel frequency (the window's
// width / scale) over the median of the bins 3..8 away on either side; the
// same over columns; the two averaged. 1 is no grid.
double Blockiness(const tw::Bitmap& picture, const tw::Bitmap& result, QRect window, double scale);

// The 480 x 480 window across the part's cut in the shadow, in full-size pixels.
QRect ShadowWindow(const PhotoScene& scene, const tw::Bitmap& part);

} // namespace twtest
