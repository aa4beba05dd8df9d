#include "cli/RecipeReader.h"

#include "cli/CliError.h"
#include "document/StrictJson.h"
#include "platform/ErrorReport.h"
#include "platform/FileAccess.h"
#include "platform/PictureFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <initializer_list>
#include <set>

namespace cli {
namespace {

class RecipeParser {
  public:
    RecipeParser(const std::string& path)
        : path_(path), json_(tw::DisplayName(path)), base_(tw::FolderOf(tw::AbsolutePath(path))) {}

    TRecipe Parse(const QJsonObject& root) {
        CheckKeys(root, "",
                  {"picture", "pictures", "output", "outputDir", "outputFormat", "fullSize", "originalSize",
                   "stripMetadata", "quality", "parts", "variants"});
        TRecipe recipe;
        recipe.Job.Recipe = path_;
        if (root.contains("fullSize")) recipe.Job.FullSize = Boolean(root["fullSize"], "fullSize");
        if (root.contains("originalSize"))
            recipe.Job.OriginalSize = Boolean(root["originalSize"], "originalSize");
        if (recipe.Job.FullSize && recipe.Job.OriginalSize)
            Fail("", "\"fullSize\" and \"originalSize\" cannot both be true");
        if (root.contains("stripMetadata"))
            recipe.Job.StripMetadata = Boolean(root["stripMetadata"], "stripMetadata");
        if (root.contains("quality")) recipe.Job.Quality = json_.Number(root["quality"], "quality", 1, 100);
        ReadTasks(root, recipe);
        if (recipe.Job.Quality > 0)
            for (const TRecolorTask& task : recipe.Job.Tasks)
                if (tw::SaveFormatFor(task.Output) != tw::PictureFormat::Webp)
                    Fail("quality", "a quality applies to WebP results (.webp) only");
        if (!root.contains("parts")) Fail("", "\"parts\" is missing");
        const QJsonValue parts = root["parts"];
        if (!parts.isArray() || parts.toArray().isEmpty())
            Fail("parts", "expected a list of at least one part");
        const QJsonArray list = parts.toArray();
        for (qsizetype i = 0; i < list.size(); ++i)
            recipe.Job.Parts.push_back(Part(list[i], "parts[" + std::to_string(i) + "]"));
        if (root.contains("variants")) {
            recipe.Job.Variants = ReadVariants(json_, root["variants"], "variants", recipe.Job.Parts.size());
            if (const std::string twice = AddVariantResults(recipe.Job); !twice.empty())
                Fail("variants", "a second result would be written to " + tw::Printable(twice));
        }
        return recipe;
    }

  private:
    [[noreturn]] void Fail(const std::string& where, const std::string& what) const {
        json_.Fail(where, what);
    }
    static std::string Join(const std::string& where, const std::string& key) {
        return TStrictJson::Join(where, key);
    }
    void CheckKeys(const QJsonObject& object, const std::string& where,
                   std::initializer_list<const char*> known) const {
        json_.CheckKeys(object, where, known);
    }
    bool Boolean(const QJsonValue& v, const std::string& where) const { return json_.Boolean(v, where); }
    std::string Text(const QJsonValue& v, const std::string& where) const { return json_.Text(v, where); }

    // A file name, as the file system spells it.
    std::string Path(const QJsonValue& v, const std::string& where) const {
        Text(v, where);
        return tw::PathFromQString(v.toString());
    }

    std::string ResolvedPath(const std::string& path) const {
        return tw::CleanPath(tw::JoinPath(base_, path));
    }

    void ReadTasks(const QJsonObject& root, TRecipe& recipe) const {
        const bool one = root.contains("picture"), several = root.contains("pictures");
        if (one == several)
            Fail("", "give either \"picture\" (with \"output\") or \"pictures\" (with \"outputDir\")");
        if (one) {
            if (root.contains("outputDir") || root.contains("outputFormat"))
                Fail("", "\"outputDir\" and \"outputFormat\" go with \"pictures\"; use \"output\" for one "
                         "picture");
            if (!root.contains("output")) Fail("", "\"output\" is missing");
            const std::string picture = Path(root["picture"], "picture");
            const std::string output = Path(root["output"], "output");
            recipe.Job.Tasks.push_back(
                {ResolvedPath(picture), ResolvedPath(output), picture + " -> " + output, picture, {}});
            return;
        }
        recipe.SeveralPictures = true;
        if (root.contains("output"))
            Fail("", "\"output\" goes with \"picture\"; use \"outputDir\" for several pictures");
        if (!root.contains("outputDir")) Fail("", "\"outputDir\" is missing");
        const std::string dir = Path(root["outputDir"], "outputDir");
        std::string extension = ".png";
        if (root.contains("outputFormat")) {
            const std::string format = Text(root["outputFormat"], "outputFormat");
            extension = ResultExtension(format);
            if (!IsPlainExtension(extension))
                Fail("outputFormat",
                     "expected a file extension such as \".png\", not \"" + tw::Printable(format) + "\"");
            if (tw::SaveFormatFor("x" + extension) == tw::PictureFormat::Unknown)
                Fail("outputFormat", "unsupported file type \"" + extension + "\"");
        }
        const QJsonValue pictures = root["pictures"];
        if (!pictures.isArray() || pictures.toArray().isEmpty())
            Fail("pictures", "expected a list of at least one file name");
        const QJsonArray list = pictures.toArray();
        std::set<std::string> outputs;
        for (qsizetype i = 0; i < list.size(); ++i) {
            const std::string where = "pictures[" + std::to_string(i) + "]";
            const std::string picture = Path(list[i], where);
            const std::string output = ResultPath(dir, picture, extension);
            const std::string resolved = ResolvedPath(output);
            if (!outputs.insert(resolved).second)
                Fail(where, "a second picture would be written to " + tw::Printable(output));
            recipe.Job.Tasks.push_back(
                {ResolvedPath(picture), resolved, picture + " -> " + output, picture, {}});
        }
        recipe.Job.OutputDir = ResolvedPath(dir);
    }

    TPartRequest Part(const QJsonValue& value, const std::string& where) const {
        const QJsonObject part = json_.Object(value, where);
        CheckKeys(part, where, {"seed", "part", "grows", "rules", "settings"});
        TPartRequest request;
        const bool seeded = part.contains("seed"), loaded = part.contains("part"),
                   grows = part.contains("grows");
        if (grows && (seeded || loaded)) Fail(where, "give \"grows\" in place of \"seed\" or \"part\"");
        if (!grows && seeded == loaded) Fail(where, "give either \"seed\" or \"part\" (or \"grows\")");
        if (seeded) {
            request.Seed = json_.Point(part["seed"], Join(where, "seed"));
            if (part.contains("rules")) request.Rules = json_.Rules(part["rules"], Join(where, "rules"));
        } else if (grows) {
            if (part.contains("rules"))
                Fail(Join(where, "rules"), "each of \"grows\" gives its own \"rules\"");
            const std::string at = Join(where, "grows");
            const QJsonValue list = part["grows"];
            if (!list.isArray() || list.toArray().isEmpty()) Fail(at, "expected a list of at least one grow");
            const QJsonArray steps = list.toArray();
            for (qsizetype i = 0; i < steps.size(); ++i) {
                const std::string stepAt = at + "[" + std::to_string(i) + "]";
                const QJsonObject o = json_.Object(steps[i], stepAt);
                CheckKeys(o, stepAt, {"seed", "rules", "remove"});
                if (!o.contains("seed")) Fail(stepAt, "\"seed\" is missing");
                TGrowthStep step;
                step.Seed = json_.Point(o["seed"], Join(stepAt, "seed"));
                step.Rules = o.contains("rules") ? json_.Rules(o["rules"], Join(stepAt, "rules"))
                                                 : TWalkerRules::Default();
                if (o.contains("remove")) step.Remove = json_.Boolean(o["remove"], Join(stepAt, "remove"));
                if (i == 0 && step.Remove) Fail(Join(stepAt, "remove"), "the first grow makes the part");
                if (i == 0) {
                    request.Seed = step.Seed;
                    request.Rules = step.Rules;
                } else {
                    request.Then.push_back(step);
                }
            }
        } else {
            request.Grown = false;
            request.PartFile = ResolvedPath(Path(part["part"], Join(where, "part")));
            if (part.contains("rules"))
                Fail(Join(where, "rules"), "rules apply to parts grown from a seed only");
        }
        if (part.contains("settings"))
            request.Settings = json_.Settings(part["settings"], Join(where, "settings"));
        return request;
    }

    std::string path_;
    TStrictJson json_;
    std::string base_;
};

} // namespace

TRecipe ReadRecipe(const std::string& path) {
    try {
        // A recipe is a few lines; anything huge is not one.
        const QJsonObject root =
            TStrictJson::ReadObject(path, 16 << 20, "the file is too large for a recipe");
        return RecipeParser(path).Parse(root);
    } catch (const TJsonFileError& e) {
        FailInput(e.what());
    }
}

std::string ResultExtension(const std::string& format) {
    return !format.empty() && format[0] == '.' ? format : "." + format;
}

bool IsPlainExtension(const std::string& extension) {
    return extension.size() > 1 && extension[0] == '.' &&
           std::all_of(extension.begin() + 1, extension.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

std::string ResultPath(const std::string& outputDir, const std::string& picture,
                       const std::string& extension) {
    std::string name = picture.substr(picture.rfind('/') + 1);
    if (const size_t dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
    return tw::JoinPath(outputDir, name + extension);
}

} // namespace cli
