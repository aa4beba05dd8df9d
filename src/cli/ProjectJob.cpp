#include "cli/ProjectJob.h"

#include "cli/CliError.h"
#include "cli/RecipeReader.h"
#include "document/StrictJson.h"
#include "document/TintwellDocument.h"
#include "masking/PartGrower.h"
#include "platform/ErrorReport.h"
#include "platform/FileAccess.h"
#include "platform/PictureFile.h"
#include "recolour/PartRecolourer.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <set>

namespace cli {
namespace {

// A position of the project's picture at the same place of another size: the
// pixel whose centre lies where the original pixel's centre lies.
int ScaledCoordinate(int at, int from, int to) {
    const int64_t scaled = (int64_t{2} * at + 1) * to / (int64_t{2} * from);
    return static_cast<int>(std::clamp<int64_t>(scaled, 0, to - 1));
}

// The picture's result composed by a document that makes the parts added to it
// on demand.
tw::Bitmap Compose(TTintwellDocument& document, bool originalSize) {
    return originalSize ? std::move(*document.ComposeFullSizeResult()) : document.ComposeResult();
}

// The project with its parts' settings those of the variant.
TProject WithVariant(const TProject& project, const TColourVariant& variant) {
    std::vector<TTintwellSettings> own;
    for (const TProjectPart& part : project.Parts)
        own.push_back(part.Settings);
    const std::vector<TTintwellSettings> settings = VariantSettings(variant, own);
    TProject copy = project; // the parts' data are shared, not copied
    for (size_t i = 0; i < copy.Parts.size(); ++i)
        copy.Parts[i].Settings = settings[i];
    return copy;
}

// The task's result, or each of its variants' results, made by result from
// the picture read once. With one result the picture goes (release) before
// the result is encoded.
void WriteResults(const TRecolorJob& job, const TRecolorTask& task, const TProject& project,
                  const std::function<tw::Bitmap(const TProject&)>& result, const tw::TSaveOptions& save,
                  const std::function<void()>& release) {
    if (task.Variants.empty()) {
        const tw::Bitmap picture = result(project);
        release();
        WritePicture(picture, task.Output, save);
        return;
    }
    for (const TVariantResult& v : task.Variants)
        WritePicture(result(WithVariant(project, VariantNamed(job, v.Variant))), v.Output, save);
}

} // namespace

// Parts are decoded one at a time as the composition asks for them: a project
// may hold more of them than would fit in memory at once.
tw::Bitmap ProjectResult(const TProject& project, const tw::PictureAtBothSizes& picture, bool originalSize) {
    TTintwellDocument document;
    document.NewDocument(picture.Working, {}, false, picture.Full, picture.Metadata);
    for (size_t i = 0; i < project.Parts.size(); ++i)
        document.AddPartOnDemand([&project, i](const tw::Bitmap&) {
            const TProjectPart& part = project.Parts[i];
            return TTintwellDocument::TMadePart{project.PartBitmap(i), part.Settings, part.Growth};
        });
    return Compose(document, originalSize);
}

tw::Bitmap ApplyProject(const TProject& project, const tw::PictureAtBothSizes& picture, bool originalSize) {
    const tw::Bitmap& working = picture.Working;
    const QSize from = project.PictureSize;
    const auto seedOf = [&](QPoint seed) {
        return QPoint(ScaledCoordinate(seed.x(), from.width(), working.Width()),
                      ScaledCoordinate(seed.y(), from.height(), working.Height()));
    };
    // A seed that lands on another colour grows something else than the part
    // (the background instead of a petal): the picture fails before any work.
    // Every grow of a part is checked.
    for (size_t i = 0; i < project.Parts.size(); ++i) {
        const std::optional<TPartGrowth>& growth = project.Parts[i].Growth;
        if (!growth) continue;
        for (const TGrowthStep& step : growth->Steps()) {
            const std::string mismatch = SeedColorMismatch(working, seedOf(step.Seed), TPartGrowth::Of(step));
            if (!mismatch.empty()) throw PictureMisfit("part " + std::to_string(i + 1) + ": " + mismatch);
        }
    }
    TTintwellDocument document;
    document.NewDocument(working, {}, false, picture.Full, picture.Metadata);
    for (size_t i = 0; i < project.Parts.size(); ++i) {
        const TProjectPart& part = project.Parts[i];
        if (part.Growth) {
            TPartGrowth moved = *part.Growth;
            moved.Seed = seedOf(moved.Seed);
            for (TGrowthStep& step : moved.Then)
                step.Seed = seedOf(step.Seed);
            // Match colour's own colour of the part is the one it has on this picture.
            document.AddGrownPartOnDemand(moved, part.Settings.ForAnotherPicture());
            continue;
        }
        document.AddPartOnDemand([&project, &document, i](const tw::Bitmap& picture) {
            // Every pixel of a part that is not white belongs to it, so a plain
            // stretch keeps the mask a mask.
            TTintwellDocument::TMadePart made{tw::Bitmap(picture.Width(), picture.Height()), {}, {}};
            {
                const tw::Bitmap bitmap = project.PartBitmap(i);
                made.Bitmap.StretchPlain(made.Bitmap.Rect(), bitmap, bitmap.Rect());
            }
            made.Settings =
                WithPartReference(project.Parts[i].Settings.ForAnotherPicture(), picture, made.Bitmap);
            RecolourPart(document.InPictureColours(made.Settings), picture, made.Bitmap);
            return made;
        });
    }
    return Compose(document, originalSize);
}

bool TakeProjectFlag(const std::string& arg, ArgReader& args, TProjectOptions& options, bool& listing) {
    if (arg == "-o" || arg == "--output") {
        options.Output = args.Value();
    } else if (arg == "--output-dir") {
        options.OutputDir = args.Value();
    } else if (arg == "--output-format") {
        options.Format = args.Value();
    } else if (arg == "--original-size") {
        args.NoValue();
        options.OriginalSize = true;
    } else if (arg == "--pictures") {
        args.NoValue();
        listing = true;
    } else {
        return false;
    }
    if (options.FirstFlag.empty()) options.FirstFlag = arg;
    return true;
}

int RunProjectRecipe(const std::string& path, const TProjectOptions& options, const TBatchOptions& batch) {
    const std::string& output = options.Output;
    const std::string& outputDir = options.OutputDir;
    const std::vector<std::string>& pictures = options.Pictures;
    const bool originalSize = options.OriginalSize;
    std::string extension = ".png";
    if (options.Format) {
        extension = ResultExtension(*options.Format);
        if (!IsPlainExtension(extension) || tw::SaveFormatFor("x" + extension) == tw::PictureFormat::Unknown)
            FailUsage("--output-format expects a picture file extension such as .png, not \"" +
                      tw::Printable(*options.Format) + "\"");
    }
    const bool several = !pictures.empty();
    if (several && (outputDir.empty() || !output.empty()))
        FailUsage("recipe with --pictures needs --output-dir DIR (and no -o)");
    if (!several && (output.empty() || !outputDir.empty()))
        FailUsage("recipe with a project needs -o OUT, or --pictures with --output-dir");

    TProject project;
    try {
        project = ReadProject(path);
    } catch (const TJsonFileError& e) {
        FailInput(e.what());
    }
    TRecolorJob job;
    job.Recipe = path;
    job.StripMetadata = options.StripMetadata;
    job.Quality = options.Quality;
    job.Variants = project.Variants;
    if (!several) {
        const std::string picture = project.PicturePath(path);
        job.Tasks.push_back({picture, output, output, {}, {}});
        AddVariantResults(job);
        tw::CheckPictureFile(picture);
        if (PictureFileHash(picture) != project.PictureHash)
            std::cerr << "tintwell-cli: warning: " << tw::DisplayName(picture)
                      << " has changed since the project was saved" << std::endl;
        return RunBatch(job, batch, false, [&](const TRecolorTask& task, const TWarning& warn) {
            CheckResultSize(task.Picture, task.Output, originalSize);
            tw::PictureAtBothSizes picture = LoadProjectPicture(project, task.Picture);
            WriteResults(
                job, task, project,
                [&](const TProject& p) { return ProjectResult(p, picture, originalSize); },
                SaveOptionsFor(job, picture.Metadata, task.Picture, ResultsOf(task).front(), warn),
                [&] { picture = {}; });
        });
    }
    std::set<std::string> outputs;
    for (const std::string& picture : pictures) {
        const std::string result = ResultPath(outputDir, picture, extension);
        if (!outputs.insert(tw::CleanPath(tw::AbsolutePath(result))).second)
            FailInput("a second picture would be written to " + tw::Printable(result) + " (" +
                      tw::Printable(picture) + ")");
        job.Tasks.push_back({picture, result, picture + " -> " + result, picture, {}});
    }
    job.OutputDir = outputDir;
    if (const std::string twice = AddVariantResults(job); !twice.empty())
        FailInput("a second result would be written to " + tw::Printable(twice));
    // Painted parts are read again for every picture, and every part's data
    // must be sound before any work: each is decoded once here, one at a time.
    for (size_t i = 0; i < project.Parts.size(); ++i)
        project.PartBitmap(i);
    return RunBatch(job, batch, true, [&](const TRecolorTask& task, const TWarning& warn) {
        CheckResultSize(task.Picture, task.Output, originalSize);
        tw::PictureAtBothSizes picture;
        if (originalSize)
            picture = LoadBothSizes(task.Picture);
        else
            picture.Working = LoadPictureToWorkOn(task.Picture, false, &picture.Metadata);
        WriteResults(
            job, task, project, [&](const TProject& p) { return ApplyProject(p, picture, originalSize); },
            SaveOptionsFor(job, picture.Metadata, task.Picture, ResultsOf(task).front(), warn),
            [&] { picture = {}; });
    });
}

} // namespace cli
