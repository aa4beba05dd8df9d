#pragma once
// Project files (.tintwell): the work on one picture kept for later and
// carried to other pictures. JSON, versioned by "format":
//
//   {"format": 3,
//    "picture": {"path": "photo.jpg", "width": 800, "height": 533, "sha256": "<hex>"},
//    "settings": {...},
//    "parts": [{"bitmap": "<PNG, base64>", "anchor": [x, y], "settings": {...},
//               "growth": [{"seed": [x, y], "seedColor": [r, g, b], "rules": {...}},
//                          {"seed": [x, y], "seedColor": [r, g, b], "rules": {...}, "remove": true}]}],
//    "variants": [...]}
//
// Formats 1 and 2 (a part's "growth" one object, the first grow alone) are read too.
//
// The picture's path is relative to the project's folder when the picture lies
// in it (or below it), absolute otherwise; width and height are the working
// size the parts have (at most 800 x 600). Part bitmaps are stored losslessly,
// first part first; "growth" is there for parts grown from a seed only;
// "variants" (document/ColourVariants.h) when there are any.

#include "document/ColourVariants.h"
#include "platform/Bitmap.h"
#include "platform/PictureFile.h"
#include "recolour/PartGrowth.h"
#include "recolour/TintwellSettings.h"

#include <QByteArray>
#include <QPoint>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class TTintwellDocument;

struct TProjectPart {
    // The part's bitmap as a PNG file whose header gives the picture's size.
    // A project may hold thousands of parts, so each is decoded only when it
    // is used (TProject::PartBitmap).
    QByteArray Png;
    TTintwellSettings Settings = TTintwellSettings::Initial();
    QPoint Anchor;
    std::optional<TPartGrowth> Growth;

    void SetBitmap(const tw::Bitmap& bitmap);
};

struct TProject {
    std::string File;    // the project file as messages name it
    std::string Picture; // as written in the file
    QSize PictureSize;
    std::string PictureHash; // SHA-256 of the picture file's bytes, lower-case hex
    TTintwellSettings Settings = TTintwellSettings::Initial();
    std::vector<TProjectPart> Parts;
    std::vector<TColourVariant> Variants;

    // The picture's path, a relative one taken from the project file's folder.
    std::string PicturePath(const std::string& projectPath) const;
    // Part index's bitmap, decoded now. Damaged data throw a TJsonFileError
    // naming the part's key; running out of memory throws std::bad_alloc.
    tw::Bitmap PartBitmap(size_t index) const;
    // The memory every part's bitmap takes once decoded.
    uint64_t DecodedPartBytes() const;
};

// The most memory the desktop program gives to a project's decoded parts.
inline constexpr uint64_t kProjectPartsBudget = 2'000'000'000;

// A project whose parts need more memory than kProjectPartsBudget; the message
// is a sentence for the user naming the file, the number of parts and the budget.
class TProjectTooLargeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kProjectExtension = ".tintwell";

// SHA-256 of the file's bytes in lower-case hex; a file that cannot be read
// throws a PictureError.
std::string PictureFileHash(const std::string& path);

// The document's state as a project to be saved at projectPath.
TProject ProjectOfDocument(const TTintwellDocument& document, const std::string& projectPath);
QByteArray ProjectBytes(const TProject& project);
// Writes the project atomically; a failure is a PictureError naming the file.
void SaveProject(const TProject& project, const std::string& path);
// Reads a project strictly: an unreadable or malformed file, an unknown key, a
// wrong type, a number out of range or a part whose PNG header is not of the
// picture's size throws a TJsonFileError naming the key. No part is decoded.
TProject ReadProject(const std::string& path);
// Refuses (TProjectTooLargeError), before any part is decoded, a project whose
// parts would need more memory than kProjectPartsBudget.
void CheckProjectPartsBudget(const TProject& project);

// The project's picture read from picturePath at its own and the working
// size; a picture whose working size is not the parts' size throws a PictureError.
tw::PictureAtBothSizes LoadProjectPicture(const TProject& project, const std::string& picturePath);
// The document becomes the project on that picture, with a fresh history. Every
// part is decoded first, after CheckProjectPartsBudget; the document changes
// only when all of them are.
void RestoreProject(TTintwellDocument& document, const TProject& project, tw::PictureAtBothSizes picture,
                    const QString& fileName);
