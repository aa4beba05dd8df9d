// The walker against a plain breadth-first walk written from its rules, on
// random pictures: the fast paths (tile edges, colour caches, batched mask
// writes) must not change a single mask pixel.
#include "masking/BitmapWalkerThread.h"
#include "masking/WalkTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <random>
#include <vector>

namespace {

using tw::Bitmap;

Bitmap PlainWalk(const Bitmap& picture, const TWalkerRules& rules, QPoint seed,
                 const TTintwellSettings& settings) {
    const int w = picture.Width(), h = picture.Height();
    Bitmap mask(w, h);
    std::vector<bool> visited(static_cast<size_t>(w) * static_cast<size_t>(h));
    auto hsvAt = [&](int x, int y) {
        int32_t r = 0, g = 0, b = 0, n = 0;
        for (int yy = y - 1; yy <= y + 1; ++yy)
            for (int xx = x - 1; xx <= x + 1; ++xx) {
                const bool centre = xx == x && yy == y;
                if ((!rules.NineValueAverage && !centre) || xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
                const TRGBValues v = ColorToRGBValues(picture.Pixel(xx, yy));
                r += v.R, g += v.G, b += v.B, ++n;
            }
        return hsv_reference::RGBToHSVValues({r / n, g / n, b / n});
    };
    std::deque<QPoint> queue;
    auto include = [&](QPoint p) {
        mask.SetPixel(p.x(), p.y(), TransformColorReference(settings, picture.Pixel(p.x(), p.y())));
        visited[static_cast<size_t>(p.y() * w + p.x())] = true;
    };
    const THSVValues seedHsv = hsvAt(seed.x(), seed.y());
    const bool anyRule = rules.UseHue || rules.UseSaturation || rules.UseValue;
    auto visit = [&](QPoint p) {
        if (!anyRule) return;
        for (const auto& [dx, dy] :
             {std::pair{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}}) {
            const QPoint q(p.x() + dx, p.y() + dy);
            if (q.x() < 0 || q.y() < 0 || q.x() >= w || q.y() >= h ||
                visited[static_cast<size_t>(q.y() * w + q.x())])
                continue;
            const THSVValues reference = rules.CompareToNeighbour ? hsvAt(p.x(), p.y()) : seedHsv;
            if (!TBitmapWalkerThread::PassesRules(rules, reference, hsvAt(q.x(), q.y()))) continue;
            include(q);
            queue.push_back(q);
        }
    };
    include(seed);
    if (rules.Anywhere && !rules.CompareToNeighbour) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (anyRule && TBitmapWalkerThread::PassesRules(rules, seedHsv, hsvAt(x, y))) include({x, y});
    } else {
        visit(seed);
    }
    while (!queue.empty()) {
        const QPoint p = queue.front();
        queue.pop_front();
        visit(p);
    }
    // Holes: each 4-connected region of pixels outside the part, labelled plainly.
    std::vector<int> label(visited.size(), -1);
    for (int start = 0; start < w * h && rules.FillHoles > 0; ++start) {
        if (visited[static_cast<size_t>(start)] || label[static_cast<size_t>(start)] >= 0) continue;
        std::vector<int> region{start};
        label[static_cast<size_t>(start)] = start;
        bool border = false;
        for (size_t i = 0; i < region.size(); ++i) {
            const int x = region[i] % w, y = region[i] / w;
            border = border || x == 0 || y == 0 || x == w - 1 || y == h - 1;
            for (const auto& [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
                const int nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                const size_t q = static_cast<size_t>(ny * w + nx);
                if (visited[q] || label[q] >= 0) continue;
                label[q] = start;
                region.push_back(ny * w + nx);
            }
        }
        if (border || static_cast<int>(region.size()) > rules.FillHoles) continue;
        for (const int p : region)
            mask.SetPixel(p % w, p / w, TransformColorReference(settings, picture.Pixel(p % w, p / w)));
    }
    return mask;
}

// Random pictures of few colours in blobs, or of many.
Bitmap RandomPicture(std::mt19937& random, int w, int h, int colours) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    std::vector<TColorValue> palette(static_cast<size_t>(colours));
    for (TColorValue& c : palette)
        c = static_cast<TColorValue>(pick(0, 0xFFFFFF));
    Bitmap picture(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.SetPixel(x, y,
                             palette[static_cast<size_t>(pick(0, 3) == 0 ? pick(0, colours - 1)
                                                                         : (x / 9 + y / 7) % colours)]);
    return picture;
}

TEST(WalkEquivalence, RandomPicturesAndRulesGiveThePlainWalksMask) {
    std::mt19937 random(19);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 48; ++round) {
        // Sizes around the 100-pixel tiles; few colours (repeats, blobs) or many (cache evictions).
        const int w = pick(1, 260), h = pick(1, 230);
        const Bitmap picture = RandomPicture(random, w, h, round % 3 == 0 ? 20000 : pick(2, 12));
        TWalkerRules rules{pick(0, 1) == 1, pick(0, 1) == 1, pick(0, 2) > 0,  pick(0, 30),
                           pick(0, 100),    pick(0, 100),    pick(0, 1) == 1, pick(0, 3) == 0};
        const TTintwellSettings settings{pick(0, 360),  pick(0, 1) == 1, pick(0, 1) == 1,
                                         pick(-50, 50), pick(-50, 50),   pick(0, 1) == 1};
        const QPoint seed(pick(0, w - 1), pick(0, h - 1));
        Bitmap mask(w, h);
        twtest::RunWalk(picture, mask, rules, seed, 1000, settings);
        const Bitmap expected = PlainWalk(picture, rules, seed, settings);
        int differing = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                differing += mask.Pixel(x, y) != expected.Pixel(x, y);
        ASSERT_EQ(differing, 0) << "round " << round << ", " << w << " x " << h;
    }
}

TEST(WalkEquivalence, WholePictureAndFilledHolesGiveThePlainWalksMask) {
    // Every combination of connected / whole picture, seed / neighbour compare
    // (the walker ignores "whole picture" beside neighbour compare) and holes
    // off / small / large, with the rules, the average and the colours random.
    std::mt19937 random(31);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 72; ++round) {
        const int w = pick(1, 180), h = pick(1, 150);
        const Bitmap picture = RandomPicture(random, w, h, round % 4 == 0 ? 5000 : pick(2, 8));
        TWalkerRules rules{pick(0, 1) == 1, pick(0, 1) == 1, pick(0, 2) > 0, pick(0, 30),
                           pick(0, 100),    pick(0, 100),    round % 6 == 5, pick(0, 3) == 0};
        rules.Anywhere = round % 2 == 1;
        rules.FillHoles = std::array{0, pick(1, 40), pick(100, 30000)}[static_cast<size_t>(round / 2 % 3)];
        const TTintwellSettings settings{pick(0, 360),  pick(0, 1) == 1, pick(0, 1) == 1,
                                         pick(-50, 50), pick(-50, 50),   false};
        const QPoint seed(pick(0, w - 1), pick(0, h - 1));
        Bitmap mask(w, h);
        twtest::RunWalk(picture, mask, rules, seed, pick(1, 3000), settings);
        const Bitmap expected = PlainWalk(picture, rules, seed, settings);
        int differing = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                differing += mask.Pixel(x, y) != expected.Pixel(x, y);
        ASSERT_EQ(differing, 0) << "round " << round << ", " << w << " x " << h << ", anywhere "
                                << rules.Anywhere << ", holes " << rules.FillHoles;
    }
}

} // namespace
