#include "cli/RecolorJob.h"

#include "cli/CliError.h"
#include "document/TintwellDocument.h"
#include "fullsize/FullSizeComposer.h"
#include "masking/ToleranceSuggestion.h"
#include "platform/ErrorReport.h"
#include "platform/FileAccess.h"
#include "platform/PictureFile.h"
#include "recolour/PartRecolourer.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace cli {
namespace {

// The PNG library prints its own complaint about a damaged file to stderr
// before our error carries the same news; one line per failure is the promise,
// so stderr is muted while a picture is decoded.
class MutedStderr {
  public:
    MutedStderr() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~MutedStderr() {
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    MutedStderr(const MutedStderr&) = delete;
    MutedStderr& operator=(const MutedStderr&) = delete;

  private:
    int saved_ = -1;
};

std::string SizeText(const tw::Bitmap& b) {
    return std::to_string(b.Width()) + " x " + std::to_string(b.Height());
}

tw::Bitmap LoadPartBitmap(const std::string& path, const tw::Bitmap& picture) {
    tw::Bitmap part;
    {
        const MutedStderr muted;
        part = TTintwellDocument::ReadPartFile(path); // the desktop program's rule
    }
    if (part.Width() != picture.Width() || part.Height() != picture.Height())
        FailInput("part " + tw::DisplayName(path) + " is " + SizeText(part) + " but the picture is " +
                  SizeText(picture) + "; a part must have the picture's size");
    return part;
}

} // namespace

tw::PictureAtBothSizes LoadBothSizes(const std::string& path) {
    const MutedStderr muted;
    return tw::LoadPictureAtBothSizes(path);
}

void PrintWarning(const std::string& message) {
    std::cerr << "tintwell-cli: warning: " << tw::Printable(message) << std::endl;
}

tw::Bitmap LoadPictureToWorkOn(const std::string& path, bool fullSize, tw::TPictureMetadata* metadata) {
    const MutedStderr muted;
    return fullSize ? tw::LoadPicture(path, {}, metadata) : tw::LoadWorkingPicture(path, metadata);
}

void CheckSeed(QPoint seed, const tw::Bitmap& picture) {
    if (!picture.Contains(seed.x(), seed.y()))
        FailInput("seed " + std::to_string(seed.x()) + "," + std::to_string(seed.y()) +
                  " is outside the picture (" + SizeText(picture) + ")");
}

void CheckOutputName(const std::string& path) {
    if (tw::LoadFormatFor(path) == tw::PictureFormat::Heif)
        FailInput(
            "cannot write " + tw::DisplayName(path) +
            ": HEIC and AVIF pictures are read, not written; write the result as .jpg, .png, .tif or .webp");
    if (tw::SaveFormatFor(path) == tw::PictureFormat::Unknown)
        FailInput("cannot write " + tw::DisplayName(path) + ": unsupported file type");
}

void WritePicture(const tw::Bitmap& bitmap, const std::string& path, const tw::TSaveOptions& options) {
    CheckOutputName(path);
    if (!tw::SavePicture(bitmap, path, options))
        FailInput("cannot write " + tw::DisplayName(path) + ": unsupported file type");
}

tw::TSaveOptions SaveOptionsFor(const TRecolorJob& job, const tw::TPictureMetadata& metadata,
                                const std::string& picture, const std::string& output, const TWarning& warn) {
    tw::TSaveOptions options;
    options.Metadata = metadata;
    options.StripMetadata = job.StripMetadata;
    options.Quality = job.Quality;
    if (!metadata.Problem.empty() && !job.StripMetadata && tw::KeepsMetadata(tw::SaveFormatFor(output))) {
        const std::string message =
            tw::DisplayName(picture) + ": " + metadata.Problem + "; the result has none";
        warn ? warn(message) : PrintWarning(message);
        options.Metadata.Store.reset();
    }
    return options;
}

void CheckResultQuality(int quality, const std::string& output) {
    if (quality > 0 && tw::SaveFormatFor(output) != tw::PictureFormat::Webp)
        FailInput("cannot write " + tw::DisplayName(output) +
                  ": a quality applies to WebP results (.webp) only");
}

void CheckResultSize(const std::string& picture, const std::string& output, bool atOwnSize) {
    // Working-size results are far smaller than any format's limit.
    if (!atOwnSize || tw::SaveFormatFor(output) != tw::PictureFormat::Webp) return;
    QSize size;
    {
        const MutedStderr muted;
        size = tw::PictureFileSize(picture);
    }
    tw::CheckFitsFormat(size, output);
}

THSVValues SuggestTolerance(const tw::Bitmap& picture, QPoint seed, int halfWidth) {
    // The same sampling the desktop program's document does.
    return ::SuggestTolerance(picture, seed, halfWidth);
}

namespace {

// Everything that can be refused is checked before the first walk starts; the
// part files are read again when their turn comes, so that memory does not
// grow with the number of parts.
void CheckParts(const tw::Bitmap& picture, const std::vector<TPartRequest>& requests) {
    for (const TPartRequest& request : requests) {
        if (request.Grown) {
            CheckSeed(request.Seed, picture);
            for (const TGrowthStep& step : request.Then)
                CheckSeed(step.Seed, picture);
        } else
            LoadPartBitmap(request.PartFile, picture);
    }
}

// The job's parts, each made on the document's picture when its turn comes:
// grown from its seed as the mask dialog grows it, or read from its file and
// recoloured, as the desktop program would hold it.
void AddParts(TTintwellDocument& document, const std::vector<TPartRequest>& requests) {
    for (const TPartRequest& request : requests) {
        if (request.Grown) {
            document.AddGrownPartOnDemand(TPartGrowth{request.Seed, 0, request.Rules, request.Then},
                                          request.Settings);
            continue;
        }
        document.AddPartOnDemand([&request, &document](const tw::Bitmap& picture) {
            TTintwellDocument::TMadePart part{LoadPartBitmap(request.PartFile, picture), {}, {}};
            part.Settings = WithPartReference(request.Settings, picture, part.Bitmap);
            RecolourPart(document.InPictureColours(part.Settings), picture, part.Bitmap);
            return part;
        });
    }
}

} // namespace

tw::Bitmap RecolorPicture(const tw::Bitmap& picture, const std::vector<TPartRequest>& requests,
                          const tw::TPictureMetadata& metadata) {
    CheckParts(picture, requests);
    // Composed as the desktop program saves.
    TTintwellDocument document;
    document.NewDocument(picture, {}, false, {}, metadata);
    AddParts(document, requests);
    return document.ComposeResult();
}

namespace {

// A JPEG result of a large JPEG picture goes through a band at a time: the
// picture is never held whole, and decoding, composing and encoding run side by
// side. The bytes are the whole-picture path's. Other pictures, and jobs with
// more parts than the memory set aside for their data, take that path.
bool RecolorStreamed(const TRecolorJob& job, const TRecolorTask& task, const TWarning& warn) {
    const std::string& picturePath = task.Picture;
    const std::string& output = task.Output;
    const std::vector<TPartRequest>& requests = job.Parts;
    constexpr size_t kPartDataBudget = 160u << 20;
    if (tw::SaveFormatFor(output) != tw::PictureFormat::Jpeg) return false;
    std::optional<tw::StreamablePicture> picture;
    {
        const MutedStderr muted;
        picture = tw::OpenStreamablePicture(picturePath);
    }
    if (!picture || requests.size() * PreparedPartBytes(tw::WorkingSize(picture->FullSize)) > kPartDataBudget)
        return false;
    TTintwellDocument document;
    document.NewStreamedDocument(
        picture->FullSize,
        [&] {
            tw::Bitmap working = picture->Working();
            CheckParts(working, requests);
            return working;
        },
        QString::fromStdString(picturePath), picture->Metadata);
    AddParts(document, requests);
    tw::JpegRowReader reader(picture->Bytes, picturePath);
    // The metadata goes in ahead of the first row, prepared now.
    tw::SavedJpegFile file(picture->FullSize, output,
                           SaveOptionsFor(job, picture->Metadata, picturePath, output, warn));
    document.StreamFullSizeResult(
        [&](uint32_t* rows, ptrdiff_t stride, int count) { reader.Read(rows, stride, count); },
        [&](const uint32_t* rows, ptrdiff_t stride, int count) { file.Write(rows, stride, count); });
    file.Commit();
    return true;
}

} // namespace

tw::Bitmap RecolorPictureAtFullSize(const tw::PictureAtBothSizes& picture,
                                    const std::vector<TPartRequest>& requests) {
    CheckParts(picture.Working, requests);
    TTintwellDocument document;
    document.NewDocument(picture.Working, {}, false, picture.Full, picture.Metadata);
    AddParts(document, requests);
    return std::move(*document.ComposeFullSizeResult()); // nothing cancels it
}

void CheckRecolorJob(const TRecolorJob& job, bool checkPictures) {
    for (const TRecolorTask& task : job.Tasks)
        for (const std::string& result : ResultsOf(task)) {
            CheckOutputName(result);
            CheckResultQuality(job.Quality, result);
        }
    std::vector<std::pair<std::string, std::string>> inputs; // canonical path, as given
    for (const TRecolorTask& task : job.Tasks) {
        if (checkPictures) tw::CheckPictureFile(task.Picture);
        inputs.emplace_back(tw::CanonicalPath(task.Picture), task.Picture);
    }
    for (const TPartRequest& part : job.Parts) {
        if (part.Grown) continue;
        TTintwellDocument::CheckPartFileType(part.PartFile);
        tw::CheckPictureFile(part.PartFile);
        inputs.emplace_back(tw::CanonicalPath(part.PartFile), part.PartFile);
    }
    if (!job.Recipe.empty()) inputs.emplace_back(tw::CanonicalPath(job.Recipe), job.Recipe);
    // A result written over an input would feed a later picture the wrong file.
    for (const TRecolorTask& task : job.Tasks)
        for (const std::string& result : ResultsOf(task)) {
            const std::string output = tw::CanonicalPath(result);
            for (const auto& [input, given] : inputs)
                if (output == input)
                    FailInput("cannot write " + tw::DisplayName(result) +
                              ": it is also an input of this job (" + tw::DisplayName(given) + ")");
        }
}

void MakeOutputFolder(const TRecolorJob& job) {
    if (job.OutputDir.empty()) return;
    try {
        tw::MakeFolders(job.OutputDir);
    } catch (const tw::FileAccessError&) {
        FailInput("cannot make the folder " + tw::Printable(job.OutputDir));
    }
}

void RecolorOnePicture(const TRecolorJob& job, const TRecolorTask& task, const TWarning& warn) {
    if (!task.Variants.empty()) {
        // Each variant is the job run alone with its settings, so its result
        // is byte for byte what that run writes.
        std::vector<TTintwellSettings> own;
        for (const TPartRequest& part : job.Parts)
            own.push_back(part.Settings);
        TRecolorJob alone;
        alone.Parts = job.Parts;
        alone.FullSize = job.FullSize;
        alone.OriginalSize = job.OriginalSize;
        alone.StripMetadata = job.StripMetadata;
        alone.Quality = job.Quality;
        for (const TVariantResult& result : task.Variants) {
            const std::vector<TTintwellSettings> settings =
                VariantSettings(VariantNamed(job, result.Variant), own);
            for (size_t i = 0; i < alone.Parts.size(); ++i)
                alone.Parts[i].Settings = settings[i];
            RecolorOnePicture(alone, {task.Picture, result.Output, task.Label, task.Name, {}}, warn);
        }
        return;
    }
    CheckResultSize(task.Picture, task.Output, job.OriginalSize || job.FullSize);
    if (job.OriginalSize) {
        if (RecolorStreamed(job, task, warn)) return;
        tw::PictureAtBothSizes picture = LoadBothSizes(task.Picture);
        const tw::Bitmap result = RecolorPictureAtFullSize(picture, job.Parts);
        const tw::TSaveOptions options =
            SaveOptionsFor(job, picture.Metadata, task.Picture, task.Output, warn);
        picture = {}; // the input goes before the output is encoded
        WritePicture(result, task.Output, options);
        return;
    }
    tw::TPictureMetadata metadata;
    const tw::Bitmap picture = LoadPictureToWorkOn(task.Picture, job.FullSize, &metadata);
    WritePicture(RecolorPicture(picture, job.Parts, metadata), task.Output,
                 SaveOptionsFor(job, metadata, task.Picture, task.Output, warn));
}

void RunRecolorJob(const TRecolorJob& job, const std::function<void(size_t, const TRecolorTask&)>& progress) {
    CheckRecolorJob(job);
    MakeOutputFolder(job);
    for (size_t i = 0; i < job.Tasks.size(); ++i) {
        if (progress) progress(i, job.Tasks[i]);
        RecolorOnePicture(job, job.Tasks[i]);
    }
}

} // namespace cli
