#pragma once
// Recolour jobs described in JSON:
//
//   {"picture": "in.jpg", "output": "out.png", "fullSize": false,
//    "parts": [{"seed": [x, y], "rules": {...}, "settings": {...}}, {"part": "mask.bmp", "settings": {...}}]}
//
// or, for several pictures, "pictures": [...] with "outputDir" and optional
// "outputFormat" (".png" by default). Relative paths are relative to the recipe.
// "variants" (document/ColourVariants.h) makes one result per picture per
// variant: "out.png" becomes "out-navy.png", "out/photo.png" "out/photo-navy.png".

#include "cli/RecolorJob.h"

#include <string>

namespace cli {

struct TRecipe {
    TRecolorJob Job;
    // Given as "pictures": progress is reported per picture. The job's
    // OutputDir is where their results go.
    bool SeveralPictures = false;
};

// Every problem — unreadable file, malformed JSON, a wrong type, an unknown key,
// a number out of range — is bad input naming the key or the position.
TRecipe ReadRecipe(const std::string& path);

// Results of several pictures: ".png" from "png" or ".png"; whether such an
// extension is a plain one (letters and digits only: anything more could put
// results outside the output folder); and picture's result in the folder, named
// after the picture without its last extension (bytes kept as they are).
std::string ResultExtension(const std::string& format);
bool IsPlainExtension(const std::string& extension);
std::string ResultPath(const std::string& outputDir, const std::string& picture,
                       const std::string& extension);

} // namespace cli
