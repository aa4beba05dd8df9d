#pragma once
// The picture work of the batch tool, done by a document as in the desktop
// program: it makes each part when its turn comes (grown from its seed as the
// mask dialog grows it, or read from its file and recoloured) and draws the
// parts over the picture as a saved picture shows them.

#include "colour/HSV.h"
#include "document/ColourVariants.h"
#include "platform/Bitmap.h"
#include "platform/PictureFile.h"
#include "recolour/PartGrowth.h"
#include "recolour/TintwellSettings.h"
#include "recolour/WalkerRules.h"

#include <QPoint>

#include <functional>
#include <string>
#include <vector>

namespace cli {

// One part of a recolour job: grown from a seed, or read from a part bitmap.
struct TPartRequest {
    bool Grown = true;
    QPoint Seed;
    std::string PartFile; // when not grown
    TWalkerRules Rules = TWalkerRules::Default();
    // Grows after the first (a recipe's "grows"), their seed colours unused.
    std::vector<TGrowthStep> Then;
    TTintwellSettings Settings = TTintwellSettings::Initial();
};

// One colour variant's result of a picture.
struct TVariantResult {
    std::string Variant;
    std::string Output;
};

struct TRecolorTask {
    std::string Picture;
    std::string Output;
    std::string Label; // "photo.jpg -> out/photo.png", as the user wrote the names
    std::string Name;  // the picture as the user wrote it, for failure lines; Picture when empty
    // With colour variants: a result for each (Output with "-VARIANT" before
    // its extension) in place of Output.
    std::vector<TVariantResult> Variants;
};

// The files a task writes.
std::vector<std::string> ResultsOf(const TRecolorTask& task);

struct TRecolorJob {
    std::vector<TRecolorTask> Tasks;
    std::vector<TPartRequest> Parts;
    bool FullSize = false;
    // Parts at the working size, the result at the picture's own size.
    bool OriginalSize = false;
    // Results without the pictures' Exif, XMP and IPTC.
    bool StripMetadata = false;
    // WebP results lossy at this quality (1..100); 0: lossless.
    int Quality = 0;
    // The recipe the job came from, if any: no result may replace it either.
    std::string Recipe;
    // Made once every check has passed, before the first result is written.
    std::string OutputDir;
    // One result per picture per variant when there are any.
    std::vector<TColourVariant> Variants;
};

// Gives every task a result for each of the job's variants. Returns the
// first result two of them would write, empty when there is none.
std::string AddVariantResults(TRecolorJob& job);
// The variant named so in the job.
const TColourVariant& VariantNamed(const TRecolorJob& job, const std::string& name);

// What a picture's work says besides failing: a warning's text, without the
// "tintwell-cli: warning: " that PrintWarning puts before it.
using TWarning = std::function<void(const std::string& message)>;
void PrintWarning(const std::string& message);

// Loads a picture at the working size, or at the file's own size; metadata,
// when given, receives what the file carries besides the pixels.
tw::Bitmap LoadPictureToWorkOn(const std::string& path, bool fullSize,
                               tw::TPictureMetadata* metadata = nullptr);
// Loads a picture at its own size and at the working size.
tw::PictureAtBothSizes LoadBothSizes(const std::string& path);
// Refuses a seed outside the picture (bad input).
void CheckSeed(QPoint seed, const tw::Bitmap& picture);
// Refuses, before any work is done, an output name no picture format is known for.
void CheckOutputName(const std::string& path);
// Writes through the picture module (atomically); an unknown type is an error.
void WritePicture(const tw::Bitmap& bitmap, const std::string& path, const tw::TSaveOptions& options = {});
// How a result of the picture is written under the job's options. Metadata
// the picture's file holds but that cannot be read is a warning (through
// warn) when the result would have carried it; the result then has none.
tw::TSaveOptions SaveOptionsFor(const TRecolorJob& job, const tw::TPictureMetadata& metadata,
                                const std::string& picture, const std::string& output, const TWarning& warn);
// Refuses a quality (lossy WebP) for a result that is not WebP.
void CheckResultQuality(int quality, const std::string& output);
// Refuses, before any work, a picture the output's format cannot hold at the
// size it would be written (WebP beyond 16383 pixels a side).
void CheckResultSize(const std::string& picture, const std::string& output, bool atOwnSize);

// The tolerances the mask dialog suggests from the square of the given half
// width around the seed; positions outside the picture are skipped.
THSVValues SuggestTolerance(const tw::Bitmap& picture, QPoint seed, int halfWidth);

// The picture with every part drawn over it, the first part on top. Only one
// part bitmap is held at a time, however many parts there are.
// metadata: the picture's, for its colour profile.
tw::Bitmap RecolorPicture(const tw::Bitmap& picture, const std::vector<TPartRequest>& parts,
                          const tw::TPictureMetadata& metadata = {});
// The same parts, made on the working picture exactly as RecolorPicture makes
// them, carried up to the full picture by the document's full-size composition.
tw::Bitmap RecolorPictureAtFullSize(const tw::PictureAtBothSizes& picture,
                                    const std::vector<TPartRequest>& parts);

// Refuses, before anything is read in full or made, a job that cannot run: a
// result of no known type, a picture or part file that cannot be opened, a
// result that would replace one of the job's own inputs. checkPictures false
// leaves the pictures to fail one by one when their turn comes.
void CheckRecolorJob(const TRecolorJob& job, bool checkPictures = true);

// Makes the job's output folder, if it has one.
void MakeOutputFolder(const TRecolorJob& job);

// One task of the job: the picture read, recoloured with the job's parts, its
// result written. Warnings go to warn (PrintWarning when empty).
void RecolorOnePicture(const TRecolorJob& job, const TRecolorTask& task, const TWarning& warn = {});

// Checks the job, makes its output folder and runs every task; progress
// (optional) hears of each task before it starts.
void RunRecolorJob(const TRecolorJob& job,
                   const std::function<void(size_t index, const TRecolorTask& task)>& progress = {});

} // namespace cli
