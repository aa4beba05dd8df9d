#include "support/PhotoScene.h"

#include "support/SyntheticScene.h"

#include "masking/PartGrower.h"
#include "platform/PictureFile.h"
#include "recolour/PartRecolourer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

namespace twtest {
namespace {

// Value noise in 0..1: hashed lattice values, smoothly interpolated.
double Noise(double x, double y, double cell, uint32_t salt) {
    const double gx = x / cell, gy = y / cell;
    const int ix = static_cast<int>(std::floor(gx)), iy = static_cast<int>(std::floor(gy));
    const double fx = gx - ix, fy = gy - iy;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const auto unit = [&](int i, int j) { return (Hash(i, j, salt) & 0xFFFF) / 65535.0; };
    const double a = unit(ix, iy), b = unit(ix + 1, iy), c = unit(ix, iy + 1), d = unit(ix + 1, iy + 1);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

double SmoothStep(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// i reflected into 0..n - 1, so that a photo tiles the plane without seams.
int Mirror(int i, int n) {
    const int period = 2 * n;
    i %= period;
    if (i < 0) i += period;
    return i < n ? i : period - 1 - i;
}

// The photo's colour at (u, v) in its own pixels, bilinear, mirrored beyond it.
void Sample(const tw::Bitmap& photo, double u, double v, double rgb[3]) {
    const int x0 = static_cast<int>(std::floor(u)), y0 = static_cast<int>(std::floor(v));
    const double fx = u - x0, fy = v - y0;
    const int w = photo.Width(), h = photo.Height();
    const uint32_t* r0 = photo.Row(Mirror(y0, h));
    const uint32_t* r1 = photo.Row(Mirror(y0 + 1, h));
    const uint32_t p[4] = {r0[Mirror(x0, w)], r0[Mirror(x0 + 1, w)], r1[Mirror(x0, w)],
                           r1[Mirror(x0 + 1, w)]};
    for (int i = 0; i < 3; ++i) {
        const int shift = 16 - 8 * i;
        const auto c = [&](int k) { return static_cast<double>((p[k] >> shift) & 0xFF); };
        rgb[i] = (c(0) + (c(1) - c(0)) * fx) * (1 - fy) + (c(2) + (c(3) - c(2)) * fx) * fy;
    }
}

// HSV (hue in degrees, saturation and value 0..1) to RGB in 0..255.
void FromHsv(double h, double s, double v, double rgb[3]) {
    h = std::fmod(h + 360.0, 360.0) / 60.0;
    const int sector = static_cast<int>(h);
    const double f = h - sector, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    const double table[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    for (int i = 0; i < 3; ++i)
        rgb[i] = 255 * table[sector % 6][i];
}

tw::Bitmap LoadPhoto(const char* name) {
    return tw::LoadPicture(std::string(TW_TEST_PHOTOS) + "/" + name);
}

uint32_t Rgb32(const double rgb[3]) {
    uint32_t v = 0xFF000000u;
    for (int i = 0; i < 3; ++i)
        v |= static_cast<uint32_t>(std::clamp(Round(rgb[i]), 0, 255)) << (16 - 8 * i);
    return v;
}

} // namespace

PhotoScene::PhotoScene(int width, int height)
    : width_(width), height_(height), shadowX0_(width * 7 / 10), shadowLength_(width * 3 / 20),
      background_(LoadPhoto("coffee.jpg")), grain_(LoadPhoto("gravel.jpg")), picture_(width, height) {
    // Nine overlapping lobed discs along the strip, bumps up and down.
    for (int i = 0; i < 9; ++i)
        lobes_.push_back({width * (0.1 + 0.1 * i), height * (0.5 + (i % 2 ? -0.05 : 0.05)),
                          height * (0.30 + 0.04 * (i % 2)), static_cast<double>(i)});
    for (int y = 0; y < height_; ++y) {
        uint32_t* row = picture_.Row(y);
        for (int x = 0; x < width_; ++x) {
            const double a = Alpha(x, y);
            double b[3], f[3] = {0, 0, 0}, mixed[3];
            Background(x, y, b);
            if (a > 0) Object(x, y, f);
            for (int i = 0; i < 3; ++i)
                mixed[i] = a * f[i] + (1 - a) * b[i];
            row[x] = Rgb32(mixed);
        }
    }
}

double PhotoScene::Distance(int x, int y) const {
    double best = -1e9;
    for (const Lobe& l : lobes_) {
        const double dx = x + 0.5 - l.cx, dy = y + 0.5 - l.cy;
        const double rho = std::hypot(dx, dy);
        // The outline stays within 0.9 and 1.1 radii: no angles needed well beyond.
        if (rho > l.radius * 1.1 + 40) {
            best = std::max(best, l.radius * 1.1 - rho);
            continue;
        }
        if (rho < l.radius * 0.88 - 400) return l.radius * 0.88 - rho;
        const double angle = std::atan2(dy, dx);
        const double outline =
            l.radius * (1 + 0.07 * std::sin(4 * angle + l.phase) + 0.03 * std::cos(9 * angle + 2 * l.phase));
        best = std::max(best, outline - rho);
    }
    return best;
}

double PhotoScene::Alpha(int x, int y) const {
    const double d = Distance(x, y);
    // The blur across the outline: 1 pixel to 14 and back along the strip.
    const double blur = 1 + 13 * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * x / 1500.0));
    return SmoothStep(d / blur + 0.5);
}

double PhotoScene::Shadow(int x) const {
    return 1 - 0.85 * SmoothStep(static_cast<double>(x - shadowX0_) / shadowLength_);
}

void PhotoScene::Object(int x, int y, double rgb[3]) const {
    double grain[3];
    // Turned: the photo tiles the plane mirrored, and mirror lines along rows or
    // columns would show in the blockiness, which is measured along them.
    constexpr double kCos = 0.8, kSin = 0.6;
    Sample(grain_, kCos * x - kSin * y, kSin * x + kCos * y, grain);
    const double g = grain[1] / 255.0;
    const double hue = 205 + 16 * (Noise(x, y, 700, 1) - 0.5);
    const double saturation = 0.6 + 0.25 * (Noise(x, y, 350, 2) - 0.5);
    // Darker towards the outline, over about 180 pixels.
    const double rim = 1 - 0.4 * (1 - SmoothStep(std::max(0.0, Distance(x, y)) / 180.0));
    const double value = std::clamp((0.66 + 0.35 * (g - 0.5)) * rim * Shadow(x), 0.0, 1.0);
    FromHsv(hue, saturation, value, rgb);
}

void PhotoScene::Background(int x, int y, double rgb[3]) const {
    Sample(background_, x / 2.0, y / 2.0, rgb);
    const double s = Shadow(x);
    for (int i = 0; i < 3; ++i)
        rgb[i] *= s;
}

PhotoSceneParts GrowPhotoScene(const PhotoScene& scene, bool withFullSizeWalk) {
    PhotoSceneParts r;
    r.working = tw::ReduceToWorkingSize(scene.Picture());
    const double scale = static_cast<double>(scene.Width()) / r.working.Width();
    const QPoint seed(static_cast<int>(scene.Width() * 0.4 / scale),
                      static_cast<int>(scene.Height() * 0.5 / scale));
    TGrownPart grown = TPartGrower(r.working, seed, TWalkerRules::Default(), PhotoScene::Settings()).Grow();
    r.part = std::move(grown.Mask);
    r.growth = grown.Growth;
    if (withFullSizeWalk) {
        const TGrownPart full =
            TPartGrower(scene.Picture(), QPoint(scene.Width() * 4 / 10, scene.Height() / 2),
                        TWalkerRules::Default(), PhotoScene::Settings())
                .Grow();
        r.grownFull = scene.Picture();
        r.grownFull.DrawTransparent(0, 0, full.Mask);
    }
    return r;
}

QRect ShadowWindow(const PhotoScene& scene, const tw::Bitmap& part) {
    // Where the part ends along its middle row, beyond the start of the shadow.
    const double scale = static_cast<double>(scene.Width()) / part.Width();
    const int wy = static_cast<int>(scene.Height() / 2 / scale);
    const uint32_t* row = part.Row(wy);
    int cut = static_cast<int>(scene.ShadowX() / scale);
    for (int x = static_cast<int>((scene.ShadowX() - 600) / scale); x + 1 < part.Width(); ++x)
        if ((row[x] | 0xFF000000u) != 0xFFFFFFFFu && (row[x + 1] | 0xFF000000u) == 0xFFFFFFFFu) {
            cut = x + 1;
            break;
        }
    const int cx = static_cast<int>(cut * scale);
    const QRect window(cx - 240, scene.Height() / 2 - 240, 480, 480);
    if (!QRect(0, 0, scene.Width(), scene.Height()).contains(window))
        throw std::logic_error("the shadow's cut lies too near the picture's edge");
    return window;
}

double Blockiness(const tw::Bitmap& picture, const tw::Bitmap& result, QRect window, double scale) {
    const int n = window.width(), m = window.height();
    std::vector<double> d(static_cast<size_t>(n) * m);
    for (int y = 0; y < m; ++y) {
        const uint32_t* p = picture.Row(window.top() + y) + window.left();
        const uint32_t* r = result.Row(window.top() + y) + window.left();
        for (int x = 0; x < n; ++x) {
            int largest = 0;
            for (int shift = 0; shift <= 16; shift += 8)
                largest = std::max(largest, std::abs(static_cast<int>((p[x] >> shift) & 0xFF) -
                                                     static_cast<int>((r[x] >> shift) & 0xFF)));
            d[static_cast<size_t>(y) * n + x] = largest;
        }
    }
    // One direction: lines of `length` values, `count` of them, value(line, i).
    const auto ratio = [&](int count, int length, auto value) {
        const int k0 = static_cast<int>(std::lround(length / scale));
        std::vector<double> spectrum(static_cast<size_t>(k0 + 9), 0.0);
        std::vector<double> line(static_cast<size_t>(length));
        for (int l = 0; l < count; ++l) {
            double mean = 0;
            for (int i = 0; i < length; ++i)
                mean += line[static_cast<size_t>(i)] = value(l, i);
            mean /= length;
            for (int k = k0 - 8; k <= k0 + 8; ++k) {
                double re = 0, im = 0;
                for (int i = 0; i < length; ++i) {
                    const double phase = 2 * std::numbers::pi * k * i / length;
                    re += (line[static_cast<size_t>(i)] - mean) * std::cos(phase);
                    im -= (line[static_cast<size_t>(i)] - mean) * std::sin(phase);
                }
                spectrum[static_cast<size_t>(k)] += std::hypot(re, im) / count;
            }
        }
        const double peak =
            std::max({spectrum[static_cast<size_t>(k0 - 1)], spectrum[static_cast<size_t>(k0)],
                      spectrum[static_cast<size_t>(k0 + 1)]});
        std::vector<double> around;
        for (int k = 3; k <= 8; ++k)
            around.push_back(spectrum[static_cast<size_t>(k0 - k)]),
                around.push_back(spectrum[static_cast<size_t>(k0 + k)]);
        std::sort(around.begin(), around.end());
        const double median = (around[around.size() / 2 - 1] + around[around.size() / 2]) / 2;
        return median > 0 ? peak / median : 1.0;
    };
    const double rows = ratio(m, n, [&](int l, int i) { return d[static_cast<size_t>(l) * n + i]; });
    const double columns = ratio(n, m, [&](int l, int i) { return d[static_cast<size_t>(i) * n + l]; });
    return (rows + columns) / 2;
}

BorderFigures MeasureBorders(const PhotoScene& scene, const tw::Bitmap& result, const tw::Bitmap& part) {
    const int w = scene.Width(), h = scene.Height();
    // The band: 0 < a < 1, widened by 2 pixels, up to the shadow's cut window.
    // Beyond it the walk has stopped and the part no longer stands for the
    // object: there the cut is judged by its blockiness alone.
    const QRect window = ShadowWindow(scene, part);
    std::vector<uint8_t> rim(static_cast<size_t>(w) * h, 0), band(rim.size(), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double a = scene.Alpha(x, y);
            rim[static_cast<size_t>(y) * w + x] = a > 0 && a < 1;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!rim[static_cast<size_t>(y) * w + x]) continue;
            for (int ny = std::max(0, y - 2); ny <= std::min(h - 1, y + 2); ++ny)
                for (int nx = std::max(0, x - 2); nx <= std::min(w - 1, x + 2); ++nx)
                    band[static_cast<size_t>(ny) * w + nx] = 1;
        }
    tw::Bitmap none;
    const TPartRecolourer things(PhotoScene::Settings(), none, none);
    BorderFigures f;
    double sum = 0;
    long long wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!band[static_cast<size_t>(y) * w + x] || x >= window.left()) continue;
            const double a = scene.Alpha(x, y);
            double o[3], b[3];
            scene.Object(x, y, o);
            scene.Background(x, y, b);
            const uint32_t t = things.TransformRgb32(Rgb32(o));
            const uint32_t got = result.Row(y)[x];
            double largest = 0;
            for (int i = 0; i < 3; ++i) {
                const int shift = 16 - 8 * i;
                const double ideal = a * ((t >> shift) & 0xFF) + (1 - a) * b[i];
                const double error = std::abs(static_cast<double>((got >> shift) & 0xFF) - ideal);
                sum += error;
                largest = std::max(largest, error);
            }
            wrong += largest > 40;
            ++f.bandPixels;
        }
    f.borderError = f.bandPixels ? sum / (3.0 * static_cast<double>(f.bandPixels)) : 0;
    f.falseColours =
        f.bandPixels ? 100.0 * static_cast<double>(wrong) / static_cast<double>(f.bandPixels) : 0;
    f.blockiness = Blockiness(scene.Picture(), result, window, static_cast<double>(w) / part.Width());
    return f;
}

} // namespace twtest
