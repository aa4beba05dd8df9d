#include "support/SyntheticScene.h"

#include "masking/PartGrower.h"
#include "masking/WalkTestSupport.h"
#include "platform/PictureFile.h"
#include "recolour/PartRecolourer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace twtest {

uint32_t Hash(int32_t x, int32_t y, uint32_t salt) {
    uint32_t h =
        static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^ salt * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    return h ^ (h >> 15);
}

namespace {

double Unit(uint32_t h) {
    return (h & 0xFFFF) / 65535.0;
}

TColorValue FromHsv(double h, double s, double v) {
    return RGBValuesToColor(HSVToRGBValues({static_cast<int32_t>(std::fmod(h + 360, 360)),
                                            std::clamp(static_cast<int32_t>(s), 0, 255),
                                            std::clamp(static_cast<int32_t>(v), 0, 255)}));
}

} // namespace

SyntheticScene::SyntheticScene(int width, int height)
    : width_(width), height_(height), cx_(width * 0.47), cy_(height * 0.52),
      radius_(std::min(width, height) * 0.3) {}

double SyntheticScene::Noise(double x, double y, double cell, uint32_t salt) const {
    // Value noise: hashed lattice values, smoothly interpolated.
    const double gx = x / cell, gy = y / cell;
    const int ix = static_cast<int>(std::floor(gx)), iy = static_cast<int>(std::floor(gy));
    const double fx = gx - ix, fy = gy - iy;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double a = Unit(Hash(ix, iy, salt)), b = Unit(Hash(ix + 1, iy, salt));
    const double c = Unit(Hash(ix, iy + 1, salt)), d = Unit(Hash(ix + 1, iy + 1, salt));
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

double SyntheticScene::Coverage(int x, int y) const {
    // A lobed outline, so the edge runs at every angle and curvature; the rim is
    // a linear ramp two pixels wide across it.
    const double dx = x + 0.5 - cx_, dy = y + 0.5 - cy_;
    const double distance = std::hypot(dx, dy);
    // The outline stays between 0.83 and 1.17 radii: no angles needed well away from it.
    if (distance < radius_ * 0.83 - 2) return 1;
    if (distance > radius_ * 1.17 + 2) return 0;
    const double angle = std::atan2(dy, dx);
    const double outline = radius_ * (1 + 0.12 * std::sin(3 * angle) + 0.05 * std::cos(7 * angle + 1));
    return std::clamp(0.5 - (distance - outline) / 2.0, 0.0, 1.0);
}

TColorValue SyntheticScene::Object(int x, int y) const {
    // Lit from the upper left, with a soft highlight.
    const double dx = (x - cx_) / radius_, dy = (y - cy_) / radius_;
    const double light =
        0.5 - 0.3 * (dx + dy) + 0.25 * std::exp(-4 * ((dx + 0.4) * (dx + 0.4) + (dy + 0.4) * (dy + 0.4)));
    return FromHsv(18 + 6 * dx, 175 - 25 * light, 120 + 110 * std::clamp(light, 0.0, 1.0));
}

TColorValue SyntheticScene::Background(int x, int y) const {
    // Patches of greens and blues at two scales with a fine grain, like foliage or fabric.
    const double scale = std::min(width_, height_) / 450.0;
    const double broad = Noise(x, y, 60 * scale, 1), fine = Noise(x, y, 7 * scale, 2);
    const double grain = Unit(Hash(x, y, 3)) - 0.5;
    return FromHsv(120 + 90 * broad + 20 * fine, 70 + 90 * Noise(x, y, 25 * scale, 4),
                   60 + 110 * broad * 0.6 + 70 * fine * 0.6 + 24 * grain);
}

tw::Bitmap SyntheticScene::Render() const {
    tw::Bitmap picture(width_, height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            const double c = Coverage(x, y);
            if (c == 0 || c == 1) {
                picture.SetPixel(x, y, c == 1 ? Object(x, y) : Background(x, y));
                continue;
            }
            const TRGBValues o = ColorToRGBValues(Object(x, y)), b = ColorToRGBValues(Background(x, y));
            picture.SetPixel(x, y,
                             RGBToColor(Round(c * o.R + (1 - c) * b.R), Round(c * o.G + (1 - c) * b.G),
                                        Round(c * o.B + (1 - c) * b.B)));
        }
    return picture;
}

QPoint SyntheticScene::Seed(QSize size) const {
    return QPoint(static_cast<int>(cx_ * size.width() / width_),
                  static_cast<int>(cy_ * size.height() / height_));
}

SceneResult MakeSceneResult(const SyntheticScene& scene, bool withFullSizeWalk) {
    SceneResult r;
    r.full = scene.Render();
    r.working = tw::ReduceToWorkingSize(r.full);
    const TWalkerRules rules = TWalkerRules::Default();
    const QPoint seed = scene.Seed(r.working.Rect().size());
    r.part = tw::Bitmap(r.working.Width(), r.working.Height());
    RunWalk(r.working, r.part, rules, seed, 1000, SyntheticScene::Recolour());
    r.growth = TPartGrower::GrowthAt(r.working, seed, rules);
    tw::Bitmap workingResult = r.working;
    workingResult.DrawTransparent(0, 0, r.part);
    r.scaledUp = tw::Bitmap(r.full.Width(), r.full.Height());
    r.scaledUp.StretchHalftone(r.scaledUp.Rect(), workingResult, workingResult.Rect());
    if (withFullSizeWalk) {
        tw::Bitmap fullPart(r.full.Width(), r.full.Height());
        RunWalk(r.full, fullPart, rules, scene.Seed(r.full.Rect().size()), 1000, SyntheticScene::Recolour());
        r.grownFull = r.full;
        r.grownFull.DrawTransparent(0, 0, fullPart);
    }
    return r;
}

SceneError MeasureAgainstTruth(const SyntheticScene& scene, const tw::Bitmap& picture,
                               const tw::Bitmap& result, const TCoverageCarrier& band) {
    tw::Bitmap none;
    const TPartRecolourer things(SyntheticScene::Recolour(), none, none);
    SceneError e;
    double sum = 0, rim = 0;
    for (int y = 0; y < scene.Height(); ++y)
        for (int x = 0; x < scene.Width(); ++x) {
            const double c = scene.Coverage(x, y);
            const bool inBorder = band.InBorder(x, y);
            if (!inBorder && (c == 0 || c == 1)) {
                // Plain object or background: the truth is the pixel or its transform.
                const TColorValue pixel = picture.Pixel(x, y);
                e.wrongAway += result.Pixel(x, y) != (c == 1 ? things.TransformColor(pixel) : pixel);
                continue;
            }
            const TRGBValues o = ColorToRGBValues(things.TransformColor(scene.Object(x, y)));
            const TRGBValues b = ColorToRGBValues(scene.Background(x, y));
            const TRGBValues got = ColorToRGBValues(result.Pixel(x, y));
            const double truth[3] = {c * o.R + (1 - c) * b.R, c * o.G + (1 - c) * b.G,
                                     c * o.B + (1 - c) * b.B};
            const int values[3] = {got.R, got.G, got.B};
            if (inBorder) {
                double error = 0;
                for (int i = 0; i < 3; ++i)
                    error += std::abs(values[i] - truth[i]);
                sum += error;
                ++e.borderPixels;
                if (c > 0 && c < 1) rim += error, ++e.rimPixels;
            } else if (values[0] != Round(truth[0]) || values[1] != Round(truth[1]) ||
                       values[2] != Round(truth[2])) {
                ++e.wrongAway;
            }
        }
    e.border = e.borderPixels ? sum / (3.0 * static_cast<double>(e.borderPixels)) : 0;
    e.rim = e.borderPixels ? rim / (3.0 * static_cast<double>(e.borderPixels)) : 0;
    return e;
}

} // namespace twtest
