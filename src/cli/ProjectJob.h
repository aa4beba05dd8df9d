#pragma once
// A project file as a recipe: its own picture recomposed from the parts it
// keeps, or its parts carried to other pictures.

#include "cli/BatchRun.h"
#include "cli/CliArguments.h"
#include "document/ProjectFile.h"

#include <string>
#include <vector>

namespace cli {

// The result of the project's own picture, the same the desktop program saves
// ("Save Picture...", or "Save Full-Size Picture..." with originalSize).
tw::Bitmap ProjectResult(const TProject& project, const tw::PictureAtBothSizes& picture, bool originalSize);

// The project's parts on another picture: each grown part grown again from its
// seed scaled to this picture's working size, each painted part applied as its
// mask scaled to the picture; the same settings, the same order.
tw::Bitmap ApplyProject(const TProject& project, const tw::PictureAtBothSizes& picture, bool originalSize);

// "recipe PROJECT.tintwell ...": the arguments after the project's name.
int RunProjectRecipe(const std::string& path, ArgReader& args);

} // namespace cli
