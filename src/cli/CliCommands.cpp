#include "cli/CliCommands.h"

#include "cli/BatchRun.h"
#include "cli/CliArguments.h"
#include "cli/CliError.h"
#include "cli/ProjectJob.h"
#include "cli/RecipeReader.h"
#include "cli/RecolorJob.h"
#include "masking/PartGrower.h"
#include "platform/ErrorReport.h"
#include "platform/PictureFile.h"
#include "recolour/GoalColorSolver.h"
#include "recolour/PartRecolourer.h"
#include "recolour/StatedColours.h"
#include "resources/StartPicture.h"

#include <algorithm>
#include <iostream>

namespace cli {
namespace {

constexpr const char* kUsage = R"(usage: tintwell-cli COMMAND [ARGUMENTS]

commands:
  hsv                              read "R G B" lines, write "H S V" lines
  transform [SETTINGS]             read "R G B" lines, write the recoloured "R G B"
  solve --from R,G,B --to R,G,B    print the SETTINGS that take one colour to the other
  open PICTURE -o OUT [RESULT]     load at the working size, write OUT
  grow PICTURE --seed X,Y [RULES] [SETTINGS] -o PART.bmp [--full-size]
                                   grow one part from a seed, write its bitmap
  tolerance PICTURE --seed X,Y --half-width N [--full-size]
                                   suggest tolerances from the square around a seed
  recolor PICTURE -o OUT [--full-size | --original-size] [RESULT] PART...
                                   PART: --seed X,Y [RULES] [SETTINGS]
                                       | --part PART.bmp [SETTINGS]
                                   earlier parts lie on top of later ones
  recipe FILE.json [RESULT] [BATCH]
                                   run a recolour job described in JSON
  recipe PROJECT.tintwell -o OUT [--original-size] [RESULT]
                                   the project's result picture, as the desktop program saves it
  recipe PROJECT.tintwell --pictures PICTURE... --output-dir DIR [--output-format EXT]
         [--original-size] [RESULT] [BATCH]
                                   the project's parts on other pictures, seeds grown again
  demo -o OUT                      recolour the built-in start picture
)";

constexpr const char* kDetails = R"(
SETTINGS (default --shift 75):
  --change H | --shift H | --keep  hue mode, H 0..360
  --match COLOUR                   match colour: the part's own colour becomes COLOUR,
                                   its folds and texture kept (no tints with it)
  --match-from COLOUR              the colour to take to it (default: the middle of
                                   the part's colours); transform needs it
                                   COLOUR: R,G,B (the picture's values) or #RRGGBB
  --saturation-tint N              -400..400, default 0
  --value-tint N                   -400..400, default 0
  --avoid-singularities
RULES:
  --hue P|off  --saturation P|off  --value P|off
                                   tolerance in percent 0..100 (default 5, 40, 40)
  --neighbour                      compare to the neighbour instead of the seed
  --average9                       compare 3 x 3 averages
  --anywhere                       every pixel of the picture like the seed, connected
                                   or not (not with --neighbour)
  --fill-holes N                   then holes of at most N pixels inside the part join
                                   it (0..1000000, default 0: none)
RESULT:
  --strip-metadata                 write no Exif, XMP or IPTC (the colour profile stays)
  --quality N                      WebP results lossy at quality 1..100 (default: lossless)
BATCH (recipes and projects with several pictures):
  --jobs N                         pictures at once (default: one per core)
  --shard K/N                      only every N-th picture, starting at the K-th (from 0)
  --skip-existing                  leave out pictures whose result exists
  --keep-going                     report a failing picture and do the rest
  --contact-sheet FILE.png         every result small on one sheet, named, with its
                                   variant's colour (a recipe's "variants" give
                                   NAME-VARIANT.EXT for every picture and variant)

Pictures are worked on at the working size (scaled to 600 high, or to 800 wide
when wider than 800; smaller ones as they are) unless --full-size is given. recolor --original-size makes the parts at the
working size and writes the result at the picture's own size, each part's
border following the picture. Pictures are read from .bmp .jpg .jpeg .png .ico
.tif .tiff .webp .heic .heif .avif; output types: .bmp .jpg .jpeg .png .tif
.tiff .webp .ico .emf .wmf. JPEG, PNG, TIFF and WebP results keep the picture's
metadata and colour profile.
Exit codes: 0 done, 1 bad input, 2 usage error.
)";

[[noreturn]] void UnknownOption(const std::string& flag, const std::string& command) {
    FailUsage("unknown option " + flag + " for " + command);
}

// The picture, -o, --full-size and how the result is written, which several commands share.
struct FileArgs {
    std::string picture;
    std::string output;
    bool fullSize = false;
    bool stripMetadata = false;
    int quality = 0;

    // Takes the argument just read when it is one of these; false otherwise.
    bool Take(const std::string& arg, ArgReader& args, const std::string& command, bool allowFullSize) {
        if (!args.IsFlag()) {
            if (!picture.empty()) FailUsage(command + " takes one picture; unexpected \"" + arg + "\"");
            picture = arg;
        } else if (arg == "-o" || arg == "--output") {
            output = args.Value();
        } else if (allowFullSize && arg == "--full-size") {
            args.NoValue();
            fullSize = true;
        } else {
            return false;
        }
        return true;
    }

    // --strip-metadata and --quality, for the commands that write a picture's result.
    bool TakeResultFlag(const std::string& arg, ArgReader& args) {
        return TakeResultOption(arg, args, stripMetadata, quality);
    }

    void Require(const std::string& command, bool needPicture) const {
        if (needPicture && picture.empty()) FailUsage(command + " needs a picture");
        if (output.empty()) FailUsage(command + " needs -o OUT");
    }
};

void RequireSeed(bool given, const std::string& command) {
    if (!given) FailUsage(command + " needs --seed X,Y");
}

// Reads "R G B" lines from standard input and writes one answer line for each.
// Blank lines are skipped; a bad line ends the run as bad input.
template <typename Answer> void ForEachColorLine(Answer answer) {
    std::string line, out;
    long long number = 0;
    while (std::getline(std::cin, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> words;
        size_t at = 0;
        while (at < line.size()) {
            const size_t start = line.find_first_not_of(" \t", at);
            if (start == std::string::npos) break;
            const size_t end = std::min(line.find_first_of(" \t", start), line.size());
            words.push_back(line.substr(start, end - start));
            at = end;
        }
        if (words.empty()) continue;
        // Every line before a bad one is answered, as a filter would.
        const auto fail = [&](const std::string& why) {
            std::cout << out << std::flush;
            FailInput("line " + std::to_string(number) + ": " + why);
        };
        int64_t c[3] = {};
        if (words.size() != 3 || !ParseWholeNumber(words[0], c[0]) || !ParseWholeNumber(words[1], c[1]) ||
            !ParseWholeNumber(words[2], c[2]))
            fail("expected \"R G B\" (three whole numbers), got \"" + line + "\"");
        for (int64_t v : c)
            if (v < 0 || v > 255) fail("\"" + line + "\" is out of range (0 to 255)");
        answer(TRGBValues{static_cast<int32_t>(c[0]), static_cast<int32_t>(c[1]), static_cast<int32_t>(c[2])},
               out);
        if (out.size() > (1 << 16)) {
            std::cout << out;
            out.clear();
        }
    }
    std::cout << out << std::flush;
    if (!std::cout) FailInput("cannot write to standard output");
}

std::string Triple(int32_t a, int32_t b, int32_t c) {
    return std::to_string(a) + ' ' + std::to_string(b) + ' ' + std::to_string(c) + '\n';
}

int CommandHsv(ArgReader args) {
    if (!args.AtEnd()) FailUsage("hsv takes no arguments; unexpected \"" + args.Next() + "\"");
    ForEachColorLine([](const TRGBValues& rgb, std::string& out) {
        const THSVValues hsv = RGBToHSVValues(rgb);
        out += Triple(hsv.H, hsv.S, hsv.V);
    });
    return kExitSuccess;
}

int CommandTransform(ArgReader args) {
    TTintwellSettings settings = TTintwellSettings::Initial();
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        if (!IsSettingsFlag(arg)) {
            if (args.IsFlag()) UnknownOption(arg, "transform");
            FailUsage("transform reads colours from standard input; unexpected \"" + arg + "\"");
        }
        ApplySettingsFlag(arg, args, settings);
    }
    FinishSettings(settings);
    if (settings.MatchColour && !settings.From)
        FailUsage("transform --match needs --match-from R,G,B: there is no part to take the colour from");
    // The transform reads no bitmap; the recolorer only needs something to refer to.
    const tw::Bitmap none;
    tw::Bitmap target;
    const TPartRecolourer things(settings, none, target);
    ForEachColorLine([&things](const TRGBValues& rgb, std::string& out) {
        const TRGBValues result = ColorToRGBValues(things.TransformColor(RGBValuesToColor(rgb)));
        out += Triple(result.R, result.G, result.B);
    });
    return kExitSuccess;
}

int CommandSolve(ArgReader args) {
    bool haveFrom = false, haveTo = false;
    TColorValue from = 0, to = 0;
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        if (arg == "--from") {
            from = ParseColor(arg, args.Value());
            haveFrom = true;
        } else if (arg == "--to") {
            to = ParseColor(arg, args.Value());
            haveTo = true;
        } else if (args.IsFlag()) {
            UnknownOption(arg, "solve");
        } else {
            FailUsage("solve takes no picture; unexpected \"" + arg + "\"");
        }
    }
    if (!haveFrom || !haveTo) FailUsage("solve needs --from R,G,B and --to R,G,B");
    std::cout << FormatSettings(SolveGoalColor(from, to)) << '\n';
    // The settings are still the nearest the tints can do; the warning keeps
    // a script from taking them for the goal.
    if (GoalUnreachableFromGrey(from, to)) {
        const TRGBValues reached = ColorToRGBValues(SolvedColor(from, to));
        std::cerr
            << "tintwell-cli: warning: the goal cannot be reached from a grey original; these settings give "
            << reached.R << ',' << reached.G << ',' << reached.B << std::endl;
    }
    return kExitSuccess;
}

int CommandOpen(ArgReader args) {
    FileArgs files;
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        if (!files.Take(arg, args, "open", false) && !files.TakeResultFlag(arg, args))
            UnknownOption(arg, "open");
    }
    files.Require("open", true);
    CheckOutputName(files.output);
    TRecolorJob job;
    job.StripMetadata = files.stripMetadata;
    job.Quality = files.quality;
    CheckResultQuality(job.Quality, files.output);
    tw::TPictureMetadata metadata;
    const tw::Bitmap picture = LoadPictureToWorkOn(files.picture, false, &metadata);
    WritePicture(picture, files.output, SaveOptionsFor(job, metadata, files.picture, files.output, {}));
    return kExitSuccess;
}

int CommandGrow(ArgReader args) {
    FileArgs files;
    TPartRequest part;
    bool haveSeed = false;
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        if (files.Take(arg, args, "grow", true)) continue;
        if (arg == "--seed") {
            part.Seed = ParsePoint(arg, args.Value());
            haveSeed = true;
        } else if (IsRuleFlag(arg)) {
            ApplyRuleFlag(arg, args, part.Rules);
        } else if (IsSettingsFlag(arg)) {
            ApplySettingsFlag(arg, args, part.Settings);
        } else {
            UnknownOption(arg, "grow");
        }
    }
    files.Require("grow", true);
    RequireSeed(haveSeed, "grow");
    FinishSettings(part.Settings);
    FinishRules(part.Rules);
    CheckOutputName(files.output);
    tw::Bitmap grown;
    {
        // The picture goes before the part is encoded: at camera size the two
        // and the encoded file would not all fit the memory budget at once.
        tw::TPictureMetadata metadata;
        const tw::Bitmap picture = LoadPictureToWorkOn(files.picture, files.fullSize, &metadata);
        CheckSeed(part.Seed, picture);
        // The part is painted recoloured: stated colours in the picture's values.
        const TTintwellSettings settings =
            InPictureColours(part.Settings, TColourProfile(metadata.IccProfile));
        grown = TPartGrower(picture, part.Seed, part.Rules, settings).Grow().Mask;
    }
    WritePicture(grown, files.output);
    return kExitSuccess;
}

int CommandTolerance(ArgReader args) {
    FileArgs files;
    QPoint seed;
    bool haveSeed = false;
    int halfWidth = -1;
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        if (arg == "-o" || arg == "--output") UnknownOption(arg, "tolerance");
        if (files.Take(arg, args, "tolerance", true)) continue;
        if (arg == "--seed") {
            seed = ParsePoint(arg, args.Value());
            haveSeed = true;
        } else if (arg == "--half-width") {
            // The dialog offers 3, 10, 25 and 100; more is allowed, within reason.
            halfWidth = ParseNumber(arg, args.Value(), 0, 1000);
        } else {
            UnknownOption(arg, "tolerance");
        }
    }
    if (files.picture.empty()) FailUsage("tolerance needs a picture");
    RequireSeed(haveSeed, "tolerance");
    if (halfWidth < 0) FailUsage("tolerance needs --half-width N");
    const tw::Bitmap picture = LoadPictureToWorkOn(files.picture, files.fullSize);
    CheckSeed(seed, picture);
    const THSVValues t = SuggestTolerance(picture, seed, halfWidth);
    std::cout << "hue " << t.H << " saturation " << t.S << " value " << t.V << '\n';
    return kExitSuccess;
}

int CommandRecolor(ArgReader args) {
    FileArgs files;
    TRecolorJob job;
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        if (files.Take(arg, args, "recolor", true) || files.TakeResultFlag(arg, args)) continue;
        if (arg == "--original-size") {
            args.NoValue();
            job.OriginalSize = true;
        } else if (arg == "--seed") {
            TPartRequest part;
            part.Seed = ParsePoint(arg, args.Value());
            job.Parts.push_back(part);
        } else if (arg == "--part") {
            TPartRequest part;
            part.Grown = false;
            part.PartFile = args.Value();
            job.Parts.push_back(part);
        } else if (IsSettingsFlag(arg) || IsRuleFlag(arg)) {
            if (job.Parts.empty()) FailUsage(arg + " must follow the --seed or --part it applies to");
            TPartRequest& part = job.Parts.back();
            if (IsSettingsFlag(arg)) {
                ApplySettingsFlag(arg, args, part.Settings);
            } else {
                if (!part.Grown) FailUsage(arg + " applies to parts grown from a --seed, not to a --part");
                ApplyRuleFlag(arg, args, part.Rules);
            }
        } else {
            UnknownOption(arg, "recolor");
        }
    }
    files.Require("recolor", true);
    if (job.Parts.empty()) FailUsage("recolor needs at least one --seed X,Y or --part PART.bmp");
    for (TPartRequest& part : job.Parts) {
        FinishSettings(part.Settings);
        FinishRules(part.Rules);
    }
    job.FullSize = files.fullSize;
    job.StripMetadata = files.stripMetadata;
    job.Quality = files.quality;
    if (job.FullSize && job.OriginalSize)
        FailUsage("--full-size and --original-size cannot be used together: --full-size works on the "
                  "picture's own size, --original-size only writes the result at it");
    job.Tasks.push_back({files.picture, files.output, {}, {}, {}});
    RunRecolorJob(job);
    return kExitSuccess;
}

int CommandRecipe(ArgReader args) {
    // Options mean the same before the recipe's name as after it. A project
    // takes options of its own, refused for a JSON recipe.
    std::string path;
    TBatchOptions batch;
    TProjectOptions project;
    bool stripMetadata = false;
    int quality = 0;
    bool listing = false; // the plain words after --pictures are pictures
    const auto isProject = [](const std::string& name) { return tw::ExtensionOf(name) == kProjectExtension; };
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        if (!args.IsFlag()) {
            // A project is never one of its own pictures, wherever its name stands.
            if (path.empty() && (!listing || isProject(arg))) {
                path = arg;
            } else if (listing) {
                project.Pictures.push_back(arg);
            } else {
                FailUsage("recipe takes one file; unexpected \"" + arg + "\"");
            }
            continue;
        }
        listing = false;
        if (TakeBatchFlag(arg, args, batch) || TakeResultOption(arg, args, stripMetadata, quality)) continue;
        if ((!path.empty() && !isProject(path)) || !TakeProjectFlag(arg, args, project, listing))
            UnknownOption(arg, "recipe");
    }
    if (path.empty()) FailUsage("recipe needs a FILE.json");
    project.StripMetadata = stripMetadata;
    project.Quality = quality;
    if (isProject(path)) return RunProjectRecipe(path, project, batch);
    if (!project.FirstFlag.empty()) UnknownOption(project.FirstFlag, "recipe");
    TRecipe recipe = ReadRecipe(path);
    // The options say more than the recipe.
    recipe.Job.StripMetadata = recipe.Job.StripMetadata || stripMetadata;
    if (quality > 0) recipe.Job.Quality = quality;
    return RunBatch(
        recipe.Job, batch, recipe.SeveralPictures,
        [&](const TRecolorTask& task, const TWarning& warn) { RecolorOnePicture(recipe.Job, task, warn); });
}

int CommandDemo(ArgReader args) {
    FileArgs files;
    while (!args.AtEnd()) {
        const std::string arg = args.Next();
        if (!args.IsFlag()) FailUsage("demo takes no picture; unexpected \"" + arg + "\"");
        if (!files.Take(arg, args, "demo", false)) UnknownOption(arg, "demo");
    }
    files.Require("demo", false);
    CheckOutputName(files.output);
    // The red balloon turns teal, the blue one a warm orange. The wider
    // saturation tolerance takes in the pale gloss spots as well.
    TPartRequest red;
    red.Seed = QPoint(110, 140);
    red.Rules.SaturationDeviation = 75;
    red.Settings = {175, false, false, 0, 0, false};
    TPartRequest blue;
    blue.Seed = QPoint(215, 195);
    blue.Rules.SaturationDeviation = 75;
    blue.Settings = {28, false, false, 10, 15, false};
    WritePicture(RecolorPicture(tw::StartPicture(), {red, blue}), files.output);
    return kExitSuccess;
}

} // namespace

void PrintUsage(std::FILE* to, bool details) {
    std::fputs(kUsage, to);
    std::fputs(details ? kDetails : "\nRun \"tintwell-cli --help\" for the settings, rules and exit codes.\n",
               to);
}

int RunCli(const std::vector<std::string>& all) {
    if (all.empty()) FailUsage("no command given");
    const std::string& command = all[0];
    const std::vector<std::string> rest(all.begin() + 1, all.end());
    const bool help = command == "--help" || command == "-h" || command == "help" ||
                      std::find(rest.begin(), rest.end(), "--help") != rest.end();
    if (help) {
        PrintUsage(stdout, true);
        return kExitSuccess;
    }
    ArgReader args(rest);
    if (command == "hsv") return CommandHsv(args);
    if (command == "transform") return CommandTransform(args);
    if (command == "solve") return CommandSolve(args);
    if (command == "open") return CommandOpen(args);
    if (command == "grow") return CommandGrow(args);
    if (command == "tolerance") return CommandTolerance(args);
    if (command == "recolor") return CommandRecolor(args);
    if (command == "recipe") return CommandRecipe(args);
    if (command == "demo") return CommandDemo(args);
    FailUsage("unknown command \"" + command + "\"");
}

} // namespace cli
