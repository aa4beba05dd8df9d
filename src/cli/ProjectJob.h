#pragma once
// A project file as a recipe: its own picture recomposed from the parts it
// keeps, or its parts carried to other pictures.

#include "cli/BatchRun.h"
#include "cli/CliArguments.h"
#include "document/ProjectFile.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

// The result of the project's own picture, the same the desktop program saves
// ("Save Picture...", or "Save Full-Size Picture..." with originalSize).
// The picture's metadata gives its colour profile.
tw::Bitmap ProjectResult(const TProject& project, const tw::PictureAtBothSizes& picture, bool originalSize);

// The project's parts on another picture: each grown part grown again from its
// seed scaled to this picture's working size, each painted part applied as its
// mask scaled to the picture; the same settings, the same order.
tw::Bitmap ApplyProject(const TProject& project, const tw::PictureAtBothSizes& picture, bool originalSize);

// The options only a project takes.
struct TProjectOptions {
    std::string Output, OutputDir;
    std::optional<std::string> Format; // --output-format as given; ".png" without
    std::vector<std::string> Pictures;
    bool OriginalSize = false;
    bool StripMetadata = false; // --strip-metadata
    int Quality = 0;            // --quality
    std::string FirstFlag;      // the first of these options given, for a recipe that takes none
};

// Takes -o, --output-dir, --output-format, --original-size and --pictures,
// after which listing is true: the plain words that follow are pictures.
// false for any other flag.
bool TakeProjectFlag(const std::string& flag, ArgReader& args, TProjectOptions& options, bool& listing);

// "recipe PROJECT.tintwell ...".
int RunProjectRecipe(const std::string& path, const TProjectOptions& options, const TBatchOptions& batch);

} // namespace cli
