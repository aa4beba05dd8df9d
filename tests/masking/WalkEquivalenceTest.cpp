// The walker against a plain breadth-first walk written from its rules, on
// random pictures: the fast paths (tile edges, colour caches, batched mask
// writes) must not change a single mask pixel.
#include "masking/BitmapWalkerThread.h"
#include "masking/WalkTestSupport.h"

#include <gtest/gtest.h>

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
    visit(seed);
    while (!queue.empty()) {
        const QPoint p = queue.front();
        queue.pop_front();
        visit(p);
    }
    return mask;
}

TEST(WalkEquivalence, RandomPicturesAndRulesGiveThePlainWalksMask) {
    std::mt19937 random(19);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 48; ++round) {
        // Sizes around the 100-pixel tiles; few colours (repeats, blobs) or many (cache evictions).
        const int w = pick(1, 260), h = pick(1, 230);
        const int colours = round % 3 == 0 ? 20000 : pick(2, 12);
        std::vector<TColorValue> palette(static_cast<size_t>(colours));
        for (TColorValue& c : palette)
            c = static_cast<TColorValue>(pick(0, 0xFFFFFF));
        Bitmap picture(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.SetPixel(x, y,
                                 palette[static_cast<size_t>(pick(0, 3) == 0 ? pick(0, colours - 1)
                                                                             : (x / 9 + y / 7) % colours)]);
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

} // namespace
