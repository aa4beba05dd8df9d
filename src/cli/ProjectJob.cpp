#include "cli/ProjectJob.h"

#include "cli/CliError.h"
#include "document/StrictJson.h"
#include "document/TintwellDocument.h"
#include "platform/ErrorReport.h"
#include "platform/FileAccess.h"
#include "platform/PictureFile.h"
#include "recolour/ImagePart.h"

#include <QFileInfo>

#include <algorithm>
#include <iostream>
#include <set>

namespace cli {
namespace {

// A position of the project's picture at the same place of another size: the
// pixel whose centre lies where the original pixel's centre lies.
int ScaledCoordinate(int at, int from, int to) {
    const int64_t scaled = (int64_t{2} * at + 1) * to / (int64_t{2} * from);
    return static_cast<int>(std::clamp<int64_t>(scaled, 0, to - 1));
}

} // namespace

tw::Bitmap ProjectResult(const TProject& project, const tw::Bitmap& picture) {
    return TTintwellDocument::ComposeResult(picture, static_cast<int>(project.Parts.size()),
                                            [&](int i, tw::Bitmap&) -> const tw::Bitmap& {
                                                return project.Parts[static_cast<size_t>(i)].Bitmap;
                                            });
}

tw::Bitmap ApplyProject(const TProject& project, const tw::Bitmap& picture) {
    const QSize from = project.PictureSize;
    return TTintwellDocument::ComposeResult(
        picture, static_cast<int>(project.Parts.size()),
        [&](int i, tw::Bitmap& scratch) -> const tw::Bitmap& {
            const TProjectPart& part = project.Parts[static_cast<size_t>(i)];
            if (part.Growth) {
                const QPoint seed(ScaledCoordinate(part.Growth->Seed.x(), from.width(), picture.Width()),
                                  ScaledCoordinate(part.Growth->Seed.y(), from.height(), picture.Height()));
                scratch = GrowPart(picture, seed, part.Growth->Rules, part.Settings);
            } else {
                // Every pixel of a part that is not white belongs to it, so a plain
                // stretch keeps the mask a mask.
                tw::Bitmap mask(picture.Width(), picture.Height());
                mask.StretchPlain(mask.Rect(), part.Bitmap, part.Bitmap.Rect());
                TImagePart scaled(mask);
                scaled.ApplySettings(picture, part.Settings);
                scratch = std::move(scaled.Bitmap);
            }
            return scratch;
        });
}

int RunProjectRecipe(const std::string& path, ArgReader& args) {
    std::string output, outputDir, extension = ".png";
    std::vector<std::string> pictures;
    bool listing = false; // the plain words after --pictures are pictures
    TBatchOptions batch;
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        if (!args.IsFlag()) {
            if (!listing) FailUsage("recipe takes one file; unexpected \"" + arg + "\"");
            pictures.push_back(arg);
            continue;
        }
        listing = false;
        if (TakeBatchFlag(arg, args, batch)) continue;
        if (arg == "-o" || arg == "--output") {
            output = args.Value();
        } else if (arg == "--output-dir") {
            outputDir = args.Value();
        } else if (arg == "--output-format") {
            const std::string format = args.Value();
            extension = format.empty() || format[0] == '.' ? format : "." + format;
            if (extension.find('/') != std::string::npos ||
                tw::SaveFormatFor("x" + extension) == tw::PictureFormat::Unknown)
                FailUsage("--output-format expects a picture file extension such as .png, not \"" +
                          tw::Printable(format) + "\"");
        } else if (arg == "--pictures") {
            args.NoValue();
            listing = true;
        } else {
            FailUsage("unknown option " + arg + " for recipe");
        }
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
    if (!several) {
        const std::string picture = project.PicturePath(path);
        job.Tasks.push_back({picture, output, output});
        tw::CheckPictureFile(picture);
        if (PictureFileHash(picture) != project.PictureHash)
            std::cerr << "tintwell-cli: warning: " << tw::DisplayName(picture)
                      << " has changed since the project was saved" << std::endl;
        return RunBatch(job, batch, false, [&](const TRecolorTask& task) {
            WritePicture(ProjectResult(project, LoadProjectPicture(project, task.Picture)), task.Output);
        });
    }
    std::set<std::string> outputs;
    for (const std::string& picture : pictures) {
        const std::string name = tw::PathFromQString(
            QFileInfo(QFile::decodeName(QByteArray::fromStdString(picture))).completeBaseName());
        const std::string result = tw::JoinPath(outputDir, name + extension);
        if (!outputs.insert(tw::CleanPath(tw::AbsolutePath(result))).second)
            FailInput("a second picture would be written to " + tw::Printable(result) + " (" +
                      tw::Printable(picture) + ")");
        job.Tasks.push_back({picture, result, picture + " -> " + result});
    }
    job.OutputDir = outputDir;
    return RunBatch(job, batch, true, [&](const TRecolorTask& task) {
        WritePicture(ApplyProject(project, LoadPictureToWorkOn(task.Picture, false)), task.Output);
    });
}

} // namespace cli
