#include "masking/PartGrower.h"

#include "colour/HSVTables.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

namespace {

std::string ColorText(TColorValue color) {
    const TRGBValues c = ColorToRGBValues(color);
    return "(" + std::to_string(c.R) + "," + std::to_string(c.G) + "," + std::to_string(c.B) + ")";
}

} // namespace

TPartGrower::TPartGrower(const tw::Bitmap& picture, QPoint seed, const TWalkerRules& rules,
                         const TTintwellSettings& settings, int32_t progressInterval)
    : picture_(picture), settings_(settings), progressInterval_(progressInterval),
      growth_(GrowthAt(picture, seed, rules)) {}

TGrownPart TPartGrower::Grow() const {
    TGrownPart grown{tw::Bitmap(picture_.Width(), picture_.Height()), growth_};
    std::exception_ptr failure;
    TBitmapWalkerThread walker(picture_, growth_, settings_, progressInterval_, grown.Mask);
    walker.OnTerminate = [&failure](tw::Thread* t) { failure = t->FatalException(); };
    walker.RunHere();
    if (failure) std::rethrow_exception(failure);
    return grown;
}

TBitmapWalkerThread* TPartGrower::Start(tw::Bitmap& mask,
                                        std::function<void(TBitmapWalkerThread*)> onProgress,
                                        std::function<void(tw::Thread*)> onEnd) const {
    auto* walker = new TBitmapWalkerThread(picture_, growth_, settings_, progressInterval_, mask);
    walker->FreeOnTerminate = true;
    walker->OnTerminate = std::move(onEnd);
    walker->OnProgress = std::move(onProgress);
    walker->SetIdlePriority();
    walker->Resume();
    return walker;
}

int32_t TPartGrower::ProgressIntervalForZoom(double zoom) {
    if (!(zoom > 0)) zoom = 1;
    const double interval = std::nearbyint(1000 / zoom);
    return static_cast<int32_t>(std::clamp(interval, 1.0, 1e9));
}

QPoint TPartGrower::ClampSeed(const tw::Bitmap& picture, QPoint seed) {
    return QPoint(std::clamp(seed.x(), 0, std::max(0, picture.Width() - 1)),
                  std::clamp(seed.y(), 0, std::max(0, picture.Height() - 1)));
}

TPartGrowth TPartGrower::GrowthAt(const tw::Bitmap& picture, QPoint seed, const TWalkerRules& rules) {
    TPartGrowth g;
    g.Seed = ClampSeed(picture, seed);
    g.Rules = rules;
    g.SeedColor = picture.Pixel(g.Seed.x(), g.Seed.y());
    if (!rules.NineValueAverage || picture.IsEmpty()) return g;
    // On the border only the positions inside the picture count, and divide.
    int32_t r = 0, gr = 0, b = 0, n = 0;
    for (int y = g.Seed.y() - 1; y <= g.Seed.y() + 1; ++y)
        for (int x = g.Seed.x() - 1; x <= g.Seed.x() + 1; ++x) {
            if (!picture.Contains(x, y)) continue;
            const TRGBValues c = ColorToRGBValues(picture.Pixel(x, y));
            r += c.R, gr += c.G, b += c.B, ++n;
        }
    g.SeedColor = RGBToColor(r / n, gr / n, b / n);
    return g;
}

TGrownPart GrowSteps(const tw::Bitmap& picture, const TPartGrowth& growth,
                     const TTintwellSettings& settings) {
    TGrownPart part = TPartGrower(picture, growth.Seed, growth.Rules, settings).Grow();
    part.Growth.Then.clear();
    for (const TGrowthStep& step : growth.Then) {
        const TGrownPart region = TPartGrower(picture, step.Seed, step.Rules, settings).Grow();
        // The walks paint with the same settings, so a joined pixel is what the
        // part's own walk would have painted there.
        for (int y = 0; y < picture.Height(); ++y) {
            const uint32_t* from = region.Mask.Row(y);
            uint32_t* to = part.Mask.Row(y);
            for (int x = 0; x < picture.Width(); ++x) {
                if (tw::ColorFromRgb32(from[x]) == tw::kWhite) continue;
                if (step.Remove)
                    to[x] = tw::Rgb32FromColor(tw::kWhite);
                else if (tw::ColorFromRgb32(to[x]) == tw::kWhite)
                    to[x] = from[x];
            }
        }
        part.Growth.Then.push_back({region.Growth.Seed, region.Growth.SeedColor, step.Rules, step.Remove});
    }
    return part;
}

std::string SeedColorMismatch(const tw::Bitmap& picture, QPoint seed, const TPartGrowth& growth) {
    const TColorValue landed = TPartGrower::GrowthAt(picture, seed, growth.Rules).SeedColor;
    const auto hsv = [](TColorValue color) {
        const TRGBValues c = ColorToRGBValues(color);
        return THSVTables::Get().ToHSV(c.R, c.G, c.B); // as the walker converts
    };
    if (TBitmapWalkerThread::PassesRules(growth.Rules, hsv(growth.SeedColor), hsv(landed))) return {};
    return "the seed lands on " + ColorText(landed) + ", not on a colour like " + ColorText(growth.SeedColor);
}
