// One grow takes two shaded garments of one colour whole, folds, specular
// spots and stitching included, without leaking into a textured background:
// "Whole picture" finds the second garment, filled holes close the first's.
#include "masking/PartGrower.h"

#include "masking/WalkTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using tw::Bitmap;

constexpr int kWidth = 800, kHeight = 600;

struct Scene {
    Bitmap picture{kWidth, kHeight};
    std::vector<uint8_t> garment = std::vector<uint8_t>(kWidth * kHeight); // 1, 2: which garment
    uint8_t At(int x, int y) const { return garment[static_cast<size_t>(y * kWidth + x)]; }
};

uint8_t GarmentAt(int x, int y) {
    const double ex = (x - 220) / 150.0, ey = (y - 300) / 230.0;
    if (ex * ex + ey * ey <= 1) return 1; // a skirt
    const bool body = x >= 470 && x < 700 && y >= 150 && y < 550;
    const bool sleeves = y >= 150 && y < 260 && ((x >= 400 && x < 470) || (x >= 700 && x < 770));
    return body || sleeves ? 2 : 0; // a shirt
}

Scene MakeScene() {
    Scene scene;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-25, 25);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t g = GarmentAt(x, y);
            scene.garment[static_cast<size_t>(y * kWidth + x)] = g;
            if (g == 0) {
                // Woven green: stripes and noise, saturated enough to keep its hue.
                const int stripe = (x / 3 + y / 5) % 2 ? 20 : 0;
                scene.picture.SetPixel(x, y,
                                       RGBToColor(60 + noise(random), 130 + stripe + noise(random), 70));
                continue;
            }
            // One red, its value shaded by about 25 % either way.
            const double f = 1 + 0.25 * std::sin(x / 37.0) * std::cos(y / 53.0);
            scene.picture.SetPixel(x, y,
                                   RGBToColor(static_cast<int>(std::lrint(180 * f)),
                                              static_cast<int>(std::lrint(40 * f)),
                                              static_cast<int>(std::lrint(50 * f))));
        }
    const auto fill = [&](int x0, int y0, int w, int h, TColorValue c) {
        scene.picture.FillRect(QRect(x0, y0, w, h), c);
    };
    const TColorValue fold = RGBToColor(40, 8, 12), thread = RGBToColor(30, 30, 30);
    // Dark folds, 4 pixels wide and 60 long.
    fill(180, 250, 4, 60, fold);
    fill(190, 400, 60, 4, fold);
    fill(550, 300, 4, 60, fold);
    fill(620, 250, 4, 60, fold);
    // Specular spots of about 10 pixels across.
    for (const QPoint c : {QPoint(260, 200), QPoint(600, 450), QPoint(430, 200)})
        for (int y = -5; y <= 5; ++y)
            for (int x = -5; x <= 5; ++x)
                if (x * x + y * y <= 25)
                    scene.picture.SetPixel(c.x() + x, c.y() + y, RGBToColor(250, 240, 238));
    // Stitching: rows of 2 x 2 dots.
    for (int x = 480; x < 690; x += 6)
        fill(x, 200, 2, 2, thread);
    for (int y = 150; y < 450; y += 6)
        fill(300, y, 2, 2, thread);
    return scene;
}

struct Coverage {
    double taken;  // of the garments' pixels more than 2 pixels from their outline
    double leaked; // part pixels outside the garments, of the garments' area
    double takenOf[3];
};

Coverage Measure(const Scene& scene, const Bitmap& part) {
    int64_t inner[3] = {}, innerTaken[3] = {}, area = 0, leaked = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t g = scene.At(x, y);
            const bool in = part.Pixel(x, y) != tw::kWhite;
            area += g != 0;
            leaked += g == 0 && in;
            if (g == 0) continue;
            bool deep = true;
            for (int dy = -2; dy <= 2 && deep; ++dy)
                for (int dx = -2; dx <= 2 && deep; ++dx)
                    deep = x + dx >= 0 && y + dy >= 0 && x + dx < kWidth && y + dy < kHeight &&
                           scene.At(x + dx, y + dy) == g;
            if (!deep) continue;
            ++inner[g], ++inner[0];
            if (in) ++innerTaken[g], ++innerTaken[0];
        }
    Coverage c{};
    c.taken = static_cast<double>(innerTaken[0]) / static_cast<double>(inner[0]);
    c.leaked = static_cast<double>(leaked) / static_cast<double>(area);
    for (int g = 0; g < 3; ++g)
        c.takenOf[g] = inner[g] ? static_cast<double>(innerTaken[g]) / static_cast<double>(inner[g]) : 0;
    return c;
}

TEST(GarmentScene, OneGrowTakesBothGarmentsWithTheirHolesAndNothingElse) {
    const Scene scene = MakeScene();
    const QPoint seed(220, 330);
    TWalkerRules rules = TWalkerRules::Default(); // 5 / 40 / 40 against the seed
    rules.Anywhere = true;
    rules.FillHoles = 3000;
    const Coverage both =
        Measure(scene, TPartGrower(scene.picture, seed, rules, twtest::KeepColours()).Grow().Mask);
    EXPECT_GE(both.taken, 0.99);
    EXPECT_LE(both.leaked, 0.005);
    EXPECT_GE(both.takenOf[2], 0.99) << "the shirt, not connected to the skirt";

    // Each option does its share: without holes the folds, spots and stitches
    // stay out; connected, the shirt does.
    rules.FillHoles = 0;
    const Coverage noHoles =
        Measure(scene, TPartGrower(scene.picture, seed, rules, twtest::KeepColours()).Grow().Mask);
    EXPECT_LT(noHoles.taken, both.taken - 0.005);
    rules.FillHoles = 3000;
    rules.Anywhere = false;
    const Coverage connected =
        Measure(scene, TPartGrower(scene.picture, seed, rules, twtest::KeepColours()).Grow().Mask);
    EXPECT_GE(connected.takenOf[1], 0.99);
    EXPECT_EQ(connected.takenOf[2], 0);
}

} // namespace
