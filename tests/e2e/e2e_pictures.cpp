// Pictures for the end-to-end test of the desktop program, and the checks of
// what it saved.
//
//   e2e_pictures make PHOTO.jpg OLD.jpg
//       writes a photo-like 600 x 400 picture (sky, meadow, a red ball with
//       shading and grain) and an unrelated small picture to be replaced
//   e2e_pictures check PHOTO.jpg RESULT.png RESULT.jpg
//       checks the saved results: the picture's size, the ball recoloured with
//       the settings new parts get, everything away from the ball unchanged
//   e2e_pictures check-undo RESULT.png UNDONE.png REDONE.png
//       checks a brush stroke across the sky (row 50, x 300 to 400) saved after
//       Ctrl+Z (identical to the result before it) and after Ctrl+Shift+Z
//       (changed along the stroke only)
//   e2e_pictures check-full PHOTO.jpg FULL.png REDONE.png
//       checks the full-size save: the photo's own size, the ball recoloured
//       as in the last working-size save (the photo is no larger than the
//       working size, so the two are the same pixels)
//
// Exit code 0 when everything holds, 1 with the reasons on stderr otherwise.
#include "colour/HSV.h"
#include "platform/Bitmap.h"
#include "platform/PictureError.h"
#include "platform/PictureFile.h"
#include "recolour/PartRecolourer.h"
#include "recolour/TintwellSettings.h"

#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kWidth = 600, kHeight = 400;
// The ball: an ellipse well inside the part of the view that is on screen.
constexpr double kBallX = 180, kBallY = 170, kBallRx = 90, kBallRy = 70;

// Where a point lies relative to the ball's outline grown (positive) or shrunk
// (negative) by margin pixels along both radii.
bool InBall(int x, int y, double margin) {
    const double dx = (x - kBallX) / (kBallRx + margin), dy = (y - kBallY) / (kBallRy + margin);
    return dx * dx + dy * dy <= 1.0;
}

uint32_t NextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

int Clamp(double v) {
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

// The scene at scale times its size (a photo larger than the working picture
// for scale 10), the grain still one pixel fine.
tw::Bitmap MakePhoto(int scale = 1) {
    tw::Bitmap photo(kWidth * scale, kHeight * scale);
    uint32_t seed = 12345;
    const int horizon = 230;
    for (int py = 0; py < photo.Height(); ++py) {
        for (int px = 0; px < photo.Width(); ++px) {
            const int x = px / scale, y = py / scale;
            const double grain = static_cast<int>(NextRandom(seed) % 11) - 5;
            double r, g, b;
            if (InBall(x, y, 0)) {
                // Lit from the upper left; the grain scales all channels alike so the hue stays put.
                const double dx = (x - kBallX + 30) / kBallRx, dy = (y - kBallY + 25) / kBallRy;
                const double light = 1.0 - 0.12 * std::min(1.0, std::sqrt(dx * dx + dy * dy)) + grain / 400;
                r = 215 * light;
                g = 32 * light;
                b = 32 * light;
            } else if (y < horizon) {
                const double t = static_cast<double>(y) / horizon; // deeper blue at the top
                const double cloud = 12 * std::sin(x / 37.0) * std::sin(y / 23.0);
                r = 70 + 80 * t + cloud + grain;
                g = 120 + 70 * t + cloud + grain;
                b = 220 + 20 * t + cloud + grain;
            } else {
                const double t = static_cast<double>(y - horizon) / (kHeight - horizon);
                const double blades = 18 * std::sin(x / 3.0 + y / 7.0) * std::sin(x / 11.0);
                r = 60 + 20 * t + blades + 2 * grain;
                g = 140 - 30 * t + blades + 2 * grain;
                b = 50 + blades + grain;
            }
            photo.SetPixel(px, py, RGBToColor(Clamp(r), Clamp(g), Clamp(b)));
        }
    }
    return photo;
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "e2e_pictures: %s\n", why.c_str());
    return 1;
}

int Make(const std::string& photoPath, const std::string& oldPath) {
    if (!tw::SavePicture(MakePhoto(), photoPath)) return Fail("cannot write " + photoPath);
    if (!tw::SavePicture(tw::Bitmap(50, 30, 0x808080), oldPath)) return Fail("cannot write " + oldPath);
    return 0;
}

int ChannelDifference(tw::ColorValue a, tw::ColorValue b) {
    int most = 0;
    for (int shift = 0; shift < 24; shift += 8)
        most = std::max(
            most, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return most;
}

int Check(const std::string& photoPath, const std::string& pngPath, const std::string& jpgPath) {
    // The program shows and recolours the picture as our decoder reads it.
    const tw::Bitmap photo = tw::LoadWorkingPicture(photoPath);
    const tw::Bitmap png = tw::LoadPicture(pngPath);
    const tw::Bitmap jpg = tw::LoadPicture(jpgPath);
    int failures = 0;
    auto expect = [&failures](bool ok, const std::string& what) {
        if (!ok) {
            std::fprintf(stderr, "e2e_pictures: %s\n", what.c_str());
            ++failures;
        }
    };
    const std::string size = std::to_string(photo.Width()) + " x " + std::to_string(photo.Height());
    expect(photo.Width() == kWidth && photo.Height() == kHeight, "the photo reads as " + size);
    expect(png.Width() == photo.Width() && png.Height() == photo.Height(), "the .png is not " + size);
    expect(jpg.Width() == photo.Width() && jpg.Height() == photo.Height(),
           "the replaced .jpg is not " + size + " (the old one was 50 x 30)");
    if (failures) return 1;

    // New parts shift the hue; every pixel of the .png is either the picture's
    // own or exactly its recoloured version.
    tw::Bitmap scratch(1, 1);
    const TPartRecolourer things(TTintwellSettings::Initial(), photo, scratch);
    long inner = 0, innerRecoloured = 0, outerChanged = 0, neither = 0, recoloured = 0;
    long jpgFar = 0, jpgSum = 0, compared = 0;
    for (int y = 0; y < photo.Height(); ++y) {
        for (int x = 0; x < photo.Width(); ++x) {
            const tw::ColorValue original = photo.Pixel(x, y), saved = png.Pixel(x, y);
            const tw::ColorValue changed = things.TransformColor(original);
            const bool isRecoloured = saved == changed && changed != original;
            recoloured += isRecoloured;
            if (saved != original && saved != changed) ++neither;
            if (InBall(x, y, -5)) {
                ++inner;
                innerRecoloured += isRecoloured;
            } else if (!InBall(x, y, 5)) {
                outerChanged += saved != original;
            }
            // The .jpg holds the same result, up to the encoder's small losses
            // away from the ball's sharp edge.
            if (InBall(x, y, -5) || !InBall(x, y, 5)) {
                const int d = ChannelDifference(jpg.Pixel(x, y), saved);
                jpgSum += d;
                jpgFar += d > 12;
                ++compared;
            }
        }
    }
    std::printf("ball: %ld of %ld inner pixels recoloured, %ld recoloured in all; "
                "%ld changed outside; %ld neither kept nor recoloured; "
                ".jpg vs .png: mean largest channel difference %.2f, %ld over 12\n",
                innerRecoloured, inner, recoloured, outerChanged, neither,
                static_cast<double>(jpgSum) / std::max(1L, compared), jpgFar);
    expect(innerRecoloured == inner, "not the whole ball was recoloured");
    expect(outerChanged == 0, "pixels away from the ball changed");
    expect(neither == 0, "pixels hold colours that are neither the picture's nor recoloured ones");
    expect(recoloured < inner * 3 / 2, "far more than the ball was recoloured");
    expect(static_cast<double>(jpgSum) / std::max(1L, compared) < 2.0 && jpgFar < compared / 1000,
           "the .jpg differs from the .png by more than the encoder's losses");
    return failures ? 1 : 0;
}

int CheckUndo(const std::string& resultPath, const std::string& undonePath, const std::string& redonePath) {
    const tw::Bitmap result = tw::LoadPicture(resultPath);
    const tw::Bitmap undone = tw::LoadPicture(undonePath);
    const tw::Bitmap redone = tw::LoadPicture(redonePath);
    if (undone.Rect() != result.Rect() || redone.Rect() != result.Rect()) {
        std::fprintf(stderr, "e2e_pictures: the undone or redone picture has another size\n");
        return 1;
    }
    // The stroke's reach: the large brush (8 pixels either way) along the row.
    const QRect stroke(300 - 10, 50 - 10, 100 + 20, 20);
    long undoneChanged = 0, inStroke = 0, outside = 0;
    for (int y = 0; y < result.Height(); ++y)
        for (int x = 0; x < result.Width(); ++x) {
            undoneChanged += undone.Pixel(x, y) != result.Pixel(x, y);
            const bool changed = redone.Pixel(x, y) != result.Pixel(x, y);
            (stroke.contains(x, y) ? inStroke : outside) += changed;
        }
    std::printf("stroke: %ld pixels differ after undo; after redo %ld along the stroke, %ld elsewhere\n",
                undoneChanged, inStroke, outside);
    int failures = 0;
    if (undoneChanged != 0) {
        std::fprintf(stderr, "e2e_pictures: the stroke is still there after Ctrl+Z\n");
        ++failures;
    }
    if (inStroke < 500 || outside != 0) {
        std::fprintf(stderr, "e2e_pictures: the stroke did not come back after Ctrl+Shift+Z, alone\n");
        ++failures;
    }
    return failures ? 1 : 0;
}

int CheckFull(const std::string& photoPath, const std::string& fullPath, const std::string& savedPath) {
    const tw::Bitmap photo = tw::LoadPicture(photoPath);
    const tw::Bitmap full = tw::LoadPicture(fullPath);
    const tw::Bitmap saved = tw::LoadPicture(savedPath);
    if (full.Rect() != photo.Rect())
        return Fail("the full-size picture is " + std::to_string(full.Width()) + " x " +
                    std::to_string(full.Height()) + ", the photo " + std::to_string(photo.Width()) + " x " +
                    std::to_string(photo.Height()));
    long differ = 0, ballRecoloured = 0, ball = 0;
    for (int y = 0; y < full.Height(); ++y)
        for (int x = 0; x < full.Width(); ++x) {
            differ += full.Pixel(x, y) != saved.Pixel(x, y);
            if (InBall(x, y, -5)) ++ball, ballRecoloured += full.Pixel(x, y) != photo.Pixel(x, y);
        }
    std::printf("full size: %ld of %ld ball pixels recoloured, %ld pixels differ from the saved result\n",
                ballRecoloured, ball, differ);
    if (ballRecoloured != ball) return Fail("the full-size picture's ball is not recoloured");
    if (differ != 0) return Fail("the full-size picture differs from the working-size save");
    return 0;
}

// Where the view's pixels (a screenshot of it) lie in the picture, found
// exactly; prints the place. Fails when they are nowhere in it.
int FindView(const std::string& viewPath, const std::string& picturePath) {
    const tw::Bitmap view = tw::LoadPicture(viewPath);
    const tw::Bitmap picture = tw::LoadPicture(picturePath);
    if (view.IsEmpty() || view.Width() > picture.Width() || view.Height() > picture.Height())
        return Fail(viewPath + " is empty or larger than " + picturePath);
    const size_t rowBytes = sizeof(uint32_t) * static_cast<size_t>(view.Width());
    for (int y = 0; y + view.Height() <= picture.Height(); ++y)
        for (int x = 0; x + view.Width() <= picture.Width(); ++x) {
            if (picture.Row(y)[x] != view.Row(0)[0] ||
                std::memcmp(picture.Row(y) + x, view.Row(0), rowBytes) != 0)
                continue;
            int row = 1;
            while (row < view.Height() && std::memcmp(picture.Row(y + row) + x, view.Row(row), rowBytes) == 0)
                ++row;
            if (row == view.Height()) {
                std::printf("%s: %d x %d view pixels found exactly at %d, %d of %s\n", viewPath.c_str(),
                            view.Width(), view.Height(), x, y, picturePath.c_str());
                return 0;
            }
        }
    return Fail("the pixels of " + viewPath + " are nowhere in " + picturePath);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // Qt's image readers and writers
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "make" && argc == 4) return Make(argv[2], argv[3]);
        if (command == "check" && argc == 5) return Check(argv[2], argv[3], argv[4]);
        if (command == "check-undo" && argc == 5) return CheckUndo(argv[2], argv[3], argv[4]);
        if (command == "check-full" && argc == 5) return CheckFull(argv[2], argv[3], argv[4]);
        if (command == "make-large" && argc == 3)
            return tw::SavePicture(MakePhoto(10), argv[2]) ? 0 : Fail(std::string("cannot write ") + argv[2]);
        if (command == "find-view" && argc == 4) return FindView(argv[2], argv[3]);
        if (command == "not-in" && argc == 4) return FindView(argv[2], argv[3]) == 0 ? 1 : 0;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    std::fprintf(stderr,
                 "usage: e2e_pictures make PHOTO.jpg OLD.jpg | check PHOTO.jpg RESULT.png RESULT.jpg | "
                 "check-undo RESULT.png UNDONE.png REDONE.png | check-full PHOTO.jpg FULL.png REDONE.png | "
                 "make-large PHOTO.png | find-view VIEW.png PICTURE.png | not-in VIEW.png PICTURE.png\n");
    return 2;
}
