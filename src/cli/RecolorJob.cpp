#include "cli/RecolorJob.h"

#include "cli/CliError.h"
#include "platform/PictureFile.h"
#include "platform/Thread.h"
#include "recolour/ImagePart.h"
#include "recolour/SharedGraphicsThings.h"

#include <algorithm>
#include <memory>

namespace cli {
namespace {

std::string SizeText(const tw::Bitmap& b) { return std::to_string(b.Width()) + " x " + std::to_string(b.Height()); }

// Parts are stored as 24-bit BMP files by the desktop program; other formats
// would blur or shift the white that marks "not in the part".
tw::Bitmap LoadPartBitmap(const std::string& path, const tw::Bitmap& picture) {
    if (tw::ExtensionOf(path) != ".bmp")
        FailInput("cannot use " + tw::DisplayName(path) + " as a part: parts are read from BMP files only");
    tw::Bitmap part = tw::LoadPicture(path);
    if (part.Width() != picture.Width() || part.Height() != picture.Height())
        FailInput("part " + tw::DisplayName(path) + " is " + SizeText(part) + " but the picture is " +
                  SizeText(picture) + "; a part must have the picture's size");
    return part;
}

} // namespace

tw::Bitmap LoadPictureToWorkOn(const std::string& path, bool fullSize) {
    return fullSize ? tw::LoadPicture(path) : tw::LoadWorkingPicture(path);
}

void CheckSeed(QPoint seed, const tw::Bitmap& picture) {
    if (!picture.Contains(seed.x(), seed.y()))
        FailInput("seed " + std::to_string(seed.x()) + "," + std::to_string(seed.y()) +
                  " is outside the picture (" + SizeText(picture) + ")");
}

void CheckOutputName(const std::string& path) {
    if (tw::SaveFormatFor(path) == tw::PictureFormat::Unknown)
        FailInput("cannot write " + tw::DisplayName(path) + ": unsupported file type");
}

void WritePicture(const tw::Bitmap& bitmap, const std::string& path) {
    CheckOutputName(path);
    if (!tw::SavePicture(bitmap, path))
        FailInput("cannot write " + tw::DisplayName(path) + ": unsupported file type");
}

tw::Bitmap GrowPart(const tw::Bitmap& picture, QPoint seed, const TWalkerRules& rules,
                    const TTintwellSettings& settings) {
    tw::Bitmap mask(picture.Width(), picture.Height());
    bool ended = false;
    // The worker frees itself after OnTerminate; until then this thread services
    // its synchronised calls (tile builds, progress) as the GUI thread would.
    // It keeps normal priority: here nothing else needs the processor first.
    auto* walker = new TBitmapWalkerThread(picture, 1.0, settings, rules, seed, mask);
    walker->FreeOnTerminate = true;
    walker->OnTerminate = [&ended](tw::Thread*) { ended = true; };
    walker->Resume();
    while (!ended) tw::CheckSynchronize(50);
    return mask;
}

THSVValues SuggestTolerance(const tw::Bitmap& picture, QPoint seed, int halfWidth) {
    const THSVValues reference = ColorToHSVValues(picture.Pixel(seed.x(), seed.y()));
    std::vector<THSVValues> samples;
    const int left = std::max(0, seed.x() - halfWidth), right = std::min(picture.Width() - 1, seed.x() + halfWidth);
    const int top = std::max(0, seed.y() - halfWidth), bottom = std::min(picture.Height() - 1, seed.y() + halfWidth);
    samples.reserve(static_cast<size_t>(right - left + 1) * static_cast<size_t>(bottom - top + 1));
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) samples.push_back(ColorToHSVValues(picture.Pixel(x, y)));
    THSVValues result;
    TSharedGraphicsThings::ToleranceFromSamples(reference, samples, result);
    return result;
}

tw::Bitmap RecolorPicture(const tw::Bitmap& picture, const std::vector<TPartSpec>& specs) {
    // Everything that can be refused is checked before the first walk starts.
    std::vector<std::unique_ptr<TImagePart>> parts;
    for (const TPartSpec& spec : specs) {
        if (spec.Grown)
            CheckSeed(spec.Seed, picture);
        else
            parts.push_back(std::make_unique<TImagePart>(LoadPartBitmap(spec.PartFile, picture)));
    }
    std::vector<const tw::Bitmap*> layers;
    auto loaded = parts.begin();
    std::vector<std::unique_ptr<TImagePart>> grown;
    for (const TPartSpec& spec : specs) {
        if (spec.Grown) {
            // The walk painted the part's recoloured pixels already.
            grown.push_back(std::make_unique<TImagePart>(GrowPart(picture, spec.Seed, spec.Rules, spec.Settings)));
            grown.back()->Settings = spec.Settings;
            layers.push_back(&grown.back()->Bitmap);
        } else {
            (*loaded)->ApplySettings(picture, spec.Settings);
            layers.push_back(&(*loaded)->Bitmap);
            ++loaded;
        }
    }
    tw::Bitmap result = picture;
    // As in a saved picture: the last part first, so that earlier parts end on top.
    for (auto layer = layers.rbegin(); layer != layers.rend(); ++layer) result.DrawTransparent(0, 0, **layer);
    return result;
}

void RunRecolorJob(const TRecolorJob& job, const std::function<void(size_t, const TRecolorTask&)>& progress) {
    for (const TRecolorTask& task : job.Tasks) CheckOutputName(task.Output);
    for (size_t i = 0; i < job.Tasks.size(); ++i) {
        const TRecolorTask& task = job.Tasks[i];
        if (progress) progress(i, task);
        const tw::Bitmap picture = LoadPictureToWorkOn(task.Picture, job.FullSize);
        WritePicture(RecolorPicture(picture, job.Parts), task.Output);
    }
}

} // namespace cli
