#include "fullsize/FullSizeComposer.h"
#include "platform/PictureFile.h"
#include "recolour/PartRecolourer.h"
#include "support/PhotoScene.h"
#include "support/SyntheticScene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace {

// The picture composed whole with one thread, once three have given the same.
tw::Bitmap ComposedAnyThreads(const tw::Bitmap& full, const tw::Bitmap& working,
                              const std::vector<TFullSizePart>& parts) {
    TFullSizeOptions options;
    options.Threads = 1;
    auto one = ComposeFullSize(full, working, parts, options);
    options.Threads = 3;
    const auto three = ComposeFullSize(full, working, parts, options);
    EXPECT_TRUE(one && three && *one == *three);
    return one ? std::move(*one) : tw::Bitmap();
}

// Streams full's rows through ComposeFullSizeRows into Picture. Reading fails
// from row FailReadingAt on, and making part FailPartAt fails.
struct Streaming {
    const tw::Bitmap& Full;
    const tw::Bitmap& Working;
    int FailReadingAt = -1, FailPartAt = -1;
    int Written = 0;
    tw::Bitmap Picture{Full.Width(), Full.Height()};

    bool Run(const std::vector<TFullSizePart>& parts, const TFullSizeOptions& options) {
        int read = 0;
        Written = 0;
        return ComposeFullSizeRows(
            Full.Rect().size(), [&]() -> const tw::Bitmap& { return Working; },
            static_cast<int>(parts.size()),
            [&](int i, tw::Bitmap&) {
                if (i == FailPartAt) throw std::runtime_error("no such part");
                return parts[static_cast<size_t>(i)];
            },
            [&](uint32_t* rows, ptrdiff_t stride, int count) {
                if (FailReadingAt >= 0 && read >= FailReadingAt) throw std::runtime_error("damaged");
                for (int i = 0; i < count; ++i, ++read)
                    std::copy_n(Full.Row(read), Full.Width(), rows + i * stride);
            },
            [&](const uint32_t* rows, ptrdiff_t stride, int count) {
                for (int i = 0; i < count; ++i, ++Written)
                    std::copy_n(rows + i * stride, Picture.Width(), Picture.Row(Written));
            },
            options);
    }
};

// The blend in integers equals coverage * over + (1 - coverage) * under computed
// in doubles and rounded half to even, for every input.
TEST(FullSizeBlend, EqualsTheRealFormulaEverywhere) {
    int wrong = 0;
    for (uint32_t c = 0; c <= 255; ++c)
        for (uint32_t over = 0; over <= 255; ++over)
            for (uint32_t under = 0; under <= 255; ++under) {
                const double coverage = c / 255.0;
                const int expected = Round(coverage * over + (1 - coverage) * under);
                wrong += static_cast<int>(BlendChannel(c, over, under)) != expected;
            }
    EXPECT_EQ(wrong, 0);
}

// A mixed pixel never gets a colour that is neither the picture's nor a
// recoloured one: per channel within the range of the pixel, its transform and
// (when unmixing) the object's transform and the colour beyond the part. Coverage 0 keeps the pixel, a full
// pixel not unmixed is its transform, and a full unmix moves the pixel as the
// object is moved, as far as that range allows.
TEST(FullSizeBlend, MixedPixelsStayWithinThePictureAndItsRecolouring) {
    uint32_t state = 12345;
    const auto next = [&] { return state = state * 1664525u + 1013904223u; };
    int outside = 0;
    for (int i = 0; i < 200000; ++i) {
        const uint32_t p = next() | 0xFF000000u, t = next() | 0xFF000000u, o = next() | 0xFF000000u,
                       to = next() | 0xFF000000u, c = next() >> 24;
        const uint32_t beyond = i % 2 ? next() | 0xFF000000u : 0;
        const int32_t unmix = static_cast<int32_t>(next() % 257);
        const uint32_t v = RecolourMixedPixel(p, t, o, to, beyond, c, unmix);
        for (int shift = 0; shift <= 16; shift += 8) {
            const auto at = [shift](uint32_t w) { return static_cast<int>((w >> shift) & 0xFF); };
            int low = std::min(at(p), at(t)), high = std::max(at(p), at(t));
            if (unmix > 0) low = std::min(low, at(to)), high = std::max(high, at(to));
            if (unmix > 0 && beyond) low = std::min(low, at(beyond)), high = std::max(high, at(beyond));
            outside += at(v) < low || at(v) > high;
        }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(RecolourMixedPixel(0xFF102030u, 0xFF605040u, 0xFF405060u, 0xFF604000u, 0, 0, 256), 0xFF102030u);
    EXPECT_EQ(RecolourMixedPixel(0xFF102030u, 0xFF605040u, 0xFF405060u, 0xFF604000u, 0, 255, 0), 0xFF605040u);
    // Moved by (+32, -16, -96): red as the object goes, green held at the
    // pixel's own level (lowest of the three) unless the colour beyond is
    // lower, blue at 0.
    EXPECT_EQ(RecolourMixedPixel(0xFF102030u, 0xFF605040u, 0xFF405060u, 0xFF604000u, 0, 255, 256),
              0xFF302000u);
    EXPECT_EQ(RecolourMixedPixel(0xFF102030u, 0xFF605040u, 0xFF405060u, 0xFF604000u, 0xFF181818u, 255, 256),
              0xFF301800u);
}

// The synthetic scene: the object grown at the working size and carried up to
// 1600 x 1200 must be exact away from the border and beat both plain ways in it.
TEST(FullSizeScene, ExactAwayFromTheBorderAndCloserToTheTruthInIt) {
    const twtest::SyntheticScene scene(1600, 1200);
    const twtest::SceneResult r = twtest::MakeSceneResult(scene, true);
    ASSERT_EQ(r.working.Width(), 800);
    const TRowBandPool pool(1);
    const TCoverageCarrier band(r.full.Rect().size(), r.working, r.part, nullptr, TBorderMethod::Guided,
                                pool);

    const twtest::SceneError scaledUp = twtest::MeasureAgainstTruth(scene, r.full, r.scaledUp, band);
    const twtest::SceneError grownFull = twtest::MeasureAgainstTruth(scene, r.full, r.grownFull, band);
    ASSERT_GT(scaledUp.borderPixels, 5000);
    TFullSizeOptions options;
    options.Threads = 2;
    for (const TBorderMethod method : {TBorderMethod::Guided, TBorderMethod::Rules, TBorderMethod::Smooth}) {
        options.Border = method;
        const auto result = ComposeFullSize(
            r.full, r.working, {{&r.part, twtest::SyntheticScene::Recolour(), r.growth}}, options);
        ASSERT_TRUE(result);
        const twtest::SceneError e = twtest::MeasureAgainstTruth(scene, r.full, *result, band);
        EXPECT_EQ(e.wrongAway, 0) << "method " << static_cast<int>(method);
        if (method == TBorderMethod::Guided) {
            EXPECT_LT(e.border, scaledUp.border / 3) << e.border << " vs " << scaledUp.border;
            EXPECT_LT(e.border, grownFull.border * 2 / 3) << e.border << " vs " << grownFull.border;
        }
    }
}

// Two overlapping parts (the first on top) and a grown one: the same picture
// whatever the number of threads, the first part winning where both cover.
TEST(FullSizeCompose, SameWithAnyThreadCountFirstPartOnTop) {
    const twtest::SyntheticScene scene(1000, 900);
    const twtest::SceneResult r = twtest::MakeSceneResult(scene, false);
    tw::Bitmap left(r.working.Width(), r.working.Height()),
        all(r.working.Width(), r.working.Height(), 0x010101);
    left.FillRect(QRect(0, 0, r.working.Width() / 2, r.working.Height()), 0x010101);
    const TTintwellSettings first{200, false, false, 0, 0, false}, second{100, false, true, 30, 0, true};
    const std::vector<TFullSizePart> parts = {{&left, first, std::nullopt},
                                              {&r.part, twtest::SyntheticScene::Recolour(), r.growth},
                                              {&all, second, {}}};
    const tw::Bitmap one = ComposedAnyThreads(r.full, r.working, parts);
    ASSERT_EQ(one.Width(), 1000);

    // Rows streamed through, a band at a time, make the same picture; what the
    // reader throws comes back out.
    TFullSizeOptions options;
    for (const int threads : {1, 3}) {
        options.Threads = threads;
        Streaming streaming{r.full, r.working};
        ASSERT_TRUE(streaming.Run(parts, options));
        EXPECT_EQ(streaming.Written, r.full.Height());
        EXPECT_TRUE(streaming.Picture == one) << threads << " threads";
        streaming.FailReadingAt = 400;
        EXPECT_THROW(streaming.Run(parts, options), std::runtime_error);
        EXPECT_LE(streaming.Written, 400);
    }

    tw::Bitmap none;
    const TPartRecolourer top(first, none, none), bottom(second, none, none);
    for (const QPoint p : {QPoint(10, 10), QPoint(300, 890), QPoint(990, 10), QPoint(700, 890)}) {
        const TColorValue pixel = r.full.Pixel(p.x(), p.y());
        EXPECT_EQ(one.Pixel(p.x(), p.y()), (p.x() < 500 ? top : bottom).TransformColor(pixel)) << p.x();
    }
}

// Parts that touch the picture's edges, span words of working columns, or are
// all border (a checkerboard, nothing well inside): the same picture whole with
// one thread and with several, and streamed.
TEST(FullSizeCompose, PartsAtThePictureEdgesAndAllBorder) {
    const twtest::SyntheticScene scene(1000, 900);
    const twtest::SceneResult r = twtest::MakeSceneResult(scene, false);
    const int w = r.working.Width(), h = r.working.Height();
    tw::Bitmap right(w, h), corner(w, h), checks(w, h);
    right.FillRect(QRect(w - 70, 0, 70, h), 0x010101);
    corner.FillRect(QRect(0, 0, 65, 30), 0x010101);
    for (int y = h - 40; y < h; ++y)
        for (int x = w - 130; x < w; ++x)
            if ((x + y) % 2) checks.SetPixel(x, y, 0x010101);
    const TTintwellSettings a{200, false, false, 0, 0, false}, b{100, false, true, 30, 0, true};
    const std::vector<TFullSizePart> parts = {
        {&right, a, std::nullopt}, {&checks, b, std::nullopt}, {&corner, b, std::nullopt}};
    const tw::Bitmap one = ComposedAnyThreads(r.full, r.working, parts);
    TFullSizeOptions options;
    options.Threads = 2;
    Streaming streaming{r.full, r.working};
    ASSERT_TRUE(streaming.Run(parts, options));
    EXPECT_TRUE(streaming.Picture == one);
    // Inside the right-hand part, away from its border, exactly its transform.
    tw::Bitmap none;
    const TPartRecolourer top(a, none, none);
    const QPoint p(r.full.Width() - 1, r.full.Height() / 2);
    EXPECT_EQ(one.Pixel(p.x(), p.y()), top.TransformColor(r.full.Pixel(p.x(), p.y())));
}

// Photographic texture composited with a soft outline (blur 1 to 14 pixels)
// over a photo, grown at the working size and carried up 3.75 times: the three
// figures against the ideal recolouring. The starting figures are those of the
// border this one replaced (a guided filter's coverage interpolated
// bilinearly, unclamped unmixing), measured on the same scene. In the window
// the photo's grain moves the blockiness by a few hundredths either way, so
// the grid is judged on the coverage alone too: the part over a picture of one
// colour (1.25 for the border replaced).
TEST(FullSizeScene, PhotoBordersCloseToTheTruthWithoutFalseColoursOrGrid) {
    constexpr double kStartingBorderError = 3.34, kStartingFalseColours = 0.00;
    const twtest::PhotoScene scene(3000, 600);
    const twtest::PhotoSceneParts r = twtest::GrowPhotoScene(scene);
    const auto result =
        ComposeFullSize(scene.Picture(), r.working, {{&r.part, twtest::PhotoScene::Settings(), r.growth}});
    ASSERT_TRUE(result);
    const twtest::BorderFigures f = twtest::MeasureBorders(scene, *result, r.part);
    ASSERT_GT(f.bandPixels, 20000);
    EXPECT_LE(f.borderError, 0.8 * kStartingBorderError);
    EXPECT_LE(f.falseColours, std::max(0.1, kStartingFalseColours));
    EXPECT_LE(f.blockiness, 1.05);

    const tw::Bitmap flat(scene.Width(), scene.Height(), 0x806040);
    const auto over = ComposeFullSize(flat, r.working, {{&r.part, twtest::PhotoScene::Settings(), r.growth}});
    ASSERT_TRUE(over);
    EXPECT_LE(twtest::Blockiness(flat, *over, twtest::ShadowWindow(scene, r.part), 3000.0 / r.part.Width()),
              1.05);
}

// A part that has taken in a strip of what lies beyond it (working pixels
// mixed from both sides, the colours beyond too varied to draw a line to):
// the strip's pixels have no room for the part's blue and stay nearly as they
// were, while the part's own pixels beside them are recoloured whole.
TEST(FullSizeCompose, PixelsWithNoRoomForThePartsColourKeepTheirOwn) {
    const int w = 3000, h = 600, edge = 1500;
    tw::Bitmap full(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t grain = twtest::Hash(x, y, 7) % 21;
            // Blue with some grain; beyond it cream and orange stripes.
            full.Row(y)[x] = x < edge ? 0xFF000000u | (17 + grain) << 16 | (53 + grain) << 8 | (74 + grain)
                             : (x / 6) % 2 ? 0xFFF0E1C8u
                                           : 0xFFE67814u;
        }
    const tw::Bitmap working = tw::ReduceToWorkingSize(full);
    const double scale = static_cast<double>(w) / working.Width();
    tw::Bitmap part(working.Width(), working.Height());
    part.FillRect(QRect(0, 0, static_cast<int>(edge / scale) + 1, working.Height()), 0x010101);
    const TTintwellSettings settings = twtest::PhotoScene::Settings();
    const tw::Bitmap result = ComposedAnyThreads(full, working, {{&part, settings, std::nullopt}});
    tw::Bitmap none;
    const TPartRecolourer recolourer(settings, none, none);
    int largest = 0;
    for (int y = 20; y < h - 20; ++y) {
        for (int x = edge; x < edge + 4; ++x) {
            const uint32_t p = full.Row(y)[x], r = result.Row(y)[x];
            for (int shift = 0; shift <= 16; shift += 8)
                largest = std::max(largest, std::abs(static_cast<int>((p >> shift) & 0xFF) -
                                                     static_cast<int>((r >> shift) & 0xFF)));
        }
        ASSERT_EQ(result.Pixel(edge - 20, y), recolourer.TransformColor(full.Pixel(edge - 20, y))) << y;
    }
    EXPECT_LE(largest, 15); // 20 when the whole strip is taken as the part
}

// Any rectangle comes out as the same rectangle of the whole picture, with
// any number of threads; a change of a part's working pixels alters nothing
// beyond its reach, and the part's prepared data brought up to date for the
// change is that of the changed part.
TEST(FullSizeCompose, RectanglesReachAndUpdatesAsTheWhole) {
    const twtest::SyntheticScene scene(1000, 900);
    const twtest::SceneResult r = twtest::MakeSceneResult(scene, false);
    const int w = r.working.Width(), h = r.working.Height();
    tw::Bitmap corner(w, h);
    corner.FillRect(QRect(0, 0, 65, 30), 0x010101);
    const TTintwellSettings other{100, false, true, 30, 0, true};
    const std::vector<TFullSizePart> parts = {{&r.part, twtest::SyntheticScene::Recolour(), r.growth},
                                              {&corner, other, std::nullopt}};
    const tw::Bitmap whole = ComposedAnyThreads(r.full, r.working, parts);
    TFullSizeOptions options;
    for (const QRect rect : {QRect(0, 0, 1, 1), QRect(13, 7, 301, 233), QRect(480, 300, 97, 411),
                             QRect(999, 0, 1, 900), r.full.Rect()}) {
        options.Threads = rect.width() % 2 ? 1 : 3;
        const auto part = ComposeFullSizeRect(r.full, r.working, parts, rect, options);
        ASSERT_TRUE(part);
        tw::Bitmap expected(rect.width(), rect.height());
        expected.CopyRect(0, 0, whole, rect);
        EXPECT_TRUE(*part == expected) << rect.x() << "," << rect.y();
    }
    EXPECT_THROW(ComposeFullSizeRect(r.full, r.working, parts, QRect(990, 0, 20, 5)), std::invalid_argument);

    // A dab added at the part's edge and a stroke erased across it.
    const uint32_t* middle = r.part.Row(h / 2);
    int edge = 0;
    while (edge < w && (middle[edge] | 0xFF000000u) == 0xFFFFFFFFu)
        ++edge;
    ASSERT_LT(edge, w - 40);
    tw::Bitmap edited = r.part;
    const QRect dab(edge - 5, h / 2 - 5, 9, 9), stroke(edge, h / 2 + 20, 40, 3);
    edited.FillRect(dab, 0x010101);
    edited.FillRect(stroke, 0xFFFFFF);
    const QRect changed = dab.united(stroke);
    const QRect reach = FullSizeReach(r.full.Rect().size(), r.working.Rect().size(), changed);
    const auto after = ComposeFullSize(r.full, r.working, {{&edited, parts[0].Settings, std::nullopt}});
    const auto before = ComposeFullSize(r.full, r.working, {{&r.part, parts[0].Settings, std::nullopt}});
    ASSERT_TRUE(after && before);
    int outside = 0, inside = 0;
    for (int y = 0; y < after->Height(); ++y)
        for (int x = 0; x < after->Width(); ++x)
            if (after->Row(y)[x] != before->Row(y)[x]) ++(reach.contains(x, y) ? inside : outside);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inside, 100);

    const TRowBandPool pool(2);
    TCoverageCarrier updated(r.full.Rect().size(), r.working, r.part, nullptr, TBorderMethod::Guided, pool);
    updated.Update(r.working, edited, changed, pool);
    const TCoverageCarrier fresh(r.full.Rect().size(), r.working, edited, nullptr, TBorderMethod::Guided,
                                 pool);
    EXPECT_EQ(updated.Bounds(), fresh.Bounds());
    const int fw = r.full.Width();
    std::vector<uint8_t> a(static_cast<size_t>(fw)), b(a.size());
    std::vector<TCoverageCarrier::Run> runsA, runsB;
    TCoverageCarrier::TRowCache cacheA, cacheB;
    TCoverageCarrier::ObjectColumns columnsA, columnsB;
    int differ = 0;
    for (int y = 0; y < r.full.Height(); ++y) {
        updated.CoverageRuns(r.full.Row(y), nullptr, y, 0, fw, a.data(), runsA, cacheA);
        fresh.CoverageRuns(r.full.Row(y), nullptr, y, 0, fw, b.data(), runsB, cacheB);
        differ += runsA.size() != runsB.size();
        for (size_t i = 0; i < std::min(runsA.size(), runsB.size()); ++i) {
            const TCoverageCarrier::Run &ra = runsA[i], &rb = runsB[i];
            differ += ra.Begin != rb.Begin || ra.End != rb.End || ra.Border != rb.Border ||
                      (!ra.Border && ra.Coverage != rb.Coverage);
            if (!ra.Border || ra.Begin != rb.Begin || ra.End != rb.End) continue;
            for (int x = ra.Begin; x < ra.End; ++x) {
                const TCoverageCarrier::TObjectColour oa = updated.ObjectAt(x, y, columnsA),
                                                      ob = fresh.ObjectAt(x, y, columnsB);
                differ += a[static_cast<size_t>(x)] != b[static_cast<size_t>(x)] || oa.Colour != ob.Colour ||
                          oa.Trust != ob.Trust || oa.Beyond != ob.Beyond;
            }
        }
    }
    EXPECT_EQ(differ, 0);
}

// Over a background colour (white: the view without the picture behind the
// parts) each pixel is coverage * recoloured + (1 - coverage) * what lies
// below, the first part over the second over white, within one step per part
// (each blend rounds); pixels no part covers are white, and a rectangle is
// that of the whole picture.
TEST(FullSizeCompose, OverWhiteEachPartBlendsOverWhatLiesBelow) {
    const twtest::SyntheticScene scene(1000, 900);
    const twtest::SceneResult r = twtest::MakeSceneResult(scene, false);
    tw::Bitmap left(r.working.Width(), r.working.Height());
    left.FillRect(QRect(0, 0, r.working.Width() / 2, r.working.Height()), 0x010101);
    const std::vector<TFullSizePart> parts = {{&left, {200, false, false, 0, 0, false}, std::nullopt},
                                              {&r.part, twtest::SyntheticScene::Recolour(), r.growth}};
    TFullSizeOptions options;
    options.Unmix = false;
    options.Background = 0xFFFFFFFFu;
    const auto whole = ComposeFullSize(r.full, r.working, parts, options);
    ASSERT_TRUE(whole);
    const QRect rect(430, 200, 300, 400);
    const auto cut = ComposeFullSizeRect(r.full, r.working, parts, rect, options);
    ASSERT_TRUE(cut);
    tw::Bitmap expectedCut(rect.width(), rect.height());
    expectedCut.CopyRect(0, 0, *whole, rect);
    EXPECT_TRUE(*cut == expectedCut);
    Streaming streaming{r.full, r.working};
    EXPECT_THROW(streaming.Run(parts, options), std::invalid_argument);

    const TRowBandPool pool(2);
    tw::Bitmap none;
    std::vector<TCoverageCarrier> carriers;
    for (const TFullSizePart& part : parts)
        carriers.emplace_back(r.full.Rect().size(), r.working, *part.Bitmap,
                              part.Growth ? &*part.Growth : nullptr, TBorderMethod::Guided, pool);
    const TPartRecolourer top(parts[0].Settings, none, none), bottom(parts[1].Settings, none, none);
    const int width = r.full.Width();
    std::vector<std::vector<uint8_t>> coverage(parts.size(),
                                               std::vector<uint8_t>(static_cast<size_t>(width)));
    std::vector<TCoverageCarrier::Run> runs;
    TCoverageCarrier::TRowCache caches[2];
    int worst = 0, notWhite = 0, blended = 0;
    for (int y = 0; y < r.full.Height(); ++y) {
        for (size_t p = 0; p < parts.size(); ++p) {
            carriers[p].CoverageRuns(r.full.Row(y), nullptr, y, 0, width, coverage[p].data(), runs,
                                     caches[p]);
            for (const TCoverageCarrier::Run& run : runs)
                if (!run.Border) std::fill(&coverage[p][run.Begin], &coverage[p][0] + run.End, run.Coverage);
        }
        for (int x = 0; x < width; ++x) {
            const TColorValue pixel = r.full.Pixel(x, y), shown = whole->Pixel(x, y);
            const uint8_t c1 = coverage[1][static_cast<size_t>(x)], c0 = coverage[0][static_cast<size_t>(x)];
            if (c0 == 0 && c1 == 0) {
                notWhite += shown != tw::kWhite;
                continue;
            }
            blended += (c0 > 0 && c0 < 255) || (c1 > 0 && c1 < 255);
            const TColorValue t1 = bottom.TransformColor(pixel), t0 = top.TransformColor(pixel);
            for (int shift = 0; shift <= 16; shift += 8) {
                const auto at = [shift](TColorValue v) { return static_cast<double>((v >> shift) & 0xFF); };
                const double below = c1 / 255.0 * at(t1) + (1 - c1 / 255.0) * 255;
                const double expected = c0 / 255.0 * at(t0) + (1 - c0 / 255.0) * below;
                worst = std::max(worst, static_cast<int>(std::ceil(std::abs(at(shown) - expected) - 1e-9)));
            }
        }
    }
    EXPECT_EQ(notWhite, 0);
    EXPECT_GT(blended, 1000);
    EXPECT_LE(worst, 2);
}

TEST(FullSizeCompose, AtTheWorkingSizeAsTheWorkingSizeSave) {
    const twtest::SyntheticScene scene(640, 480);
    const twtest::SceneResult r = twtest::MakeSceneResult(scene, false);
    ASSERT_EQ(r.working.Width(), 640);
    tw::Bitmap saved = r.full;
    saved.DrawTransparent(0, 0, r.part);
    const auto result =
        ComposeFullSize(r.full, r.working, {{&r.part, twtest::SyntheticScene::Recolour(), r.growth}});
    ASSERT_TRUE(result);
    EXPECT_TRUE(*result == saved);
}

TEST(FullSizeCompose, CancelProgressAndBadParts) {
    const twtest::SyntheticScene scene(1200, 900);
    const tw::Bitmap full = scene.Render();
    const tw::Bitmap working = tw::ReduceToWorkingSize(full);
    const tw::Bitmap part(working.Width(), working.Height(), 0x010101);
    const std::vector<TFullSizePart> parts(3, {&part, TTintwellSettings::Initial(), std::nullopt});
    std::atomic<bool> cancel{false};
    std::vector<double> seen;
    TFullSizeOptions options;
    options.Threads = 2;
    options.Cancel = &cancel;
    options.OnProgress = [&](double f) { seen.push_back(f); };
    ASSERT_TRUE(ComposeFullSize(full, working, parts, options));
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 1.0);

    seen.clear();
    options.OnProgress = [&](double f) {
        seen.push_back(f);
        cancel = true;
    };
    EXPECT_FALSE(ComposeFullSize(full, working, parts, options));
    EXPECT_LT(seen.back(), 0.5) << "stopped early";

    const tw::Bitmap wrongSize(working.Width() + 1, working.Height());
    EXPECT_THROW(ComposeFullSize(full, working, {{&wrongSize, {}, {}}}), std::invalid_argument);

    // Streamed: progress on the calling thread only, up to 1; a cancel stops
    // the writing early; a bad part or a failing maker of parts comes back out.
    Streaming streaming{full, working};
    cancel = false;
    seen.clear();
    const auto caller = std::this_thread::get_id();
    options.OnProgress = [&](double f) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        seen.push_back(f);
    };
    EXPECT_TRUE(streaming.Run(parts, options));
    EXPECT_EQ(streaming.Written, full.Height());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 1.0);
    options.OnProgress = [&](double f) { cancel = cancel || f > 0.2; };
    EXPECT_FALSE(streaming.Run(parts, options));
    EXPECT_LT(streaming.Written, full.Height());
    cancel = false;
    options.OnProgress = nullptr;
    EXPECT_THROW(streaming.Run({parts[0], {&wrongSize, {}, {}}}, options), std::invalid_argument);
    streaming.FailPartAt = 1;
    EXPECT_THROW(streaming.Run(parts, options), std::runtime_error);
}

} // namespace
