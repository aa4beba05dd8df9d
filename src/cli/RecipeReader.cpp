#include "cli/RecipeReader.h"

#include "cli/CliError.h"
#include "platform/ErrorReport.h"
#include "platform/FileAccess.h"
#include "platform/PictureFile.h"

#include <QFileInfo>
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
        : path_(path), file_(tw::DisplayName(path)), base_(tw::FolderOf(tw::AbsolutePath(path))) {}

    TRecipe Parse(const QJsonObject& root) {
        CheckKeys(root, "",
                  {"picture", "pictures", "output", "outputDir", "outputFormat", "fullSize", "originalSize",
                   "parts"});
        TRecipe recipe;
        recipe.Job.Recipe = path_;
        if (root.contains("fullSize")) recipe.Job.FullSize = Boolean(root["fullSize"], "fullSize");
        if (root.contains("originalSize"))
            recipe.Job.OriginalSize = Boolean(root["originalSize"], "originalSize");
        if (recipe.Job.FullSize && recipe.Job.OriginalSize)
            Fail("", "\"fullSize\" and \"originalSize\" cannot both be true");
        ReadTasks(root, recipe);
        if (!root.contains("parts")) Fail("", "\"parts\" is missing");
        const QJsonValue parts = root["parts"];
        if (!parts.isArray() || parts.toArray().isEmpty())
            Fail("parts", "expected a list of at least one part");
        const QJsonArray list = parts.toArray();
        for (qsizetype i = 0; i < list.size(); ++i)
            recipe.Job.Parts.push_back(Part(list[i], "parts[" + std::to_string(i) + "]"));
        return recipe;
    }

  private:
    [[noreturn]] void Fail(const std::string& where, const std::string& what) const {
        FailInput(file_ + ": " + (where.empty() ? "" : where + ": ") + what);
    }

    static std::string Join(const std::string& where, const std::string& key) {
        return where.empty() ? key : where + "." + key;
    }

    void CheckKeys(const QJsonObject& object, const std::string& where,
                   std::initializer_list<const char*> known) const {
        for (auto it = object.begin(); it != object.end(); ++it) {
            bool found = false;
            for (const char* k : known)
                found = found || it.key() == QLatin1String(k);
            if (!found) Fail(where, "unknown key \"" + tw::Printable(it.key().toStdString()) + "\"");
        }
    }

    QJsonObject Object(const QJsonValue& v, const std::string& where) const {
        if (!v.isObject()) Fail(where, "expected an object");
        return v.toObject();
    }

    bool Boolean(const QJsonValue& v, const std::string& where) const {
        if (!v.isBool()) Fail(where, "expected true or false");
        return v.toBool();
    }

    std::string Text(const QJsonValue& v, const std::string& where) const {
        if (!v.isString() || v.toString().isEmpty()) Fail(where, "expected a non-empty string");
        return v.toString().toStdString();
    }

    // A file name, as the file system spells it.
    std::string Path(const QJsonValue& v, const std::string& where) const {
        Text(v, where);
        return tw::PathFromQString(v.toString());
    }

    int32_t Number(const QJsonValue& v, const std::string& where, int32_t min, int32_t max) const {
        const double d = v.toDouble();
        if (!v.isDouble() || !std::isfinite(d) || d != std::trunc(d)) Fail(where, "expected a whole number");
        if (d < min || d > max)
            Fail(where, QString::number(d, 'g', 17).toStdString() + " is out of range (" +
                            std::to_string(min) + " to " + std::to_string(max) + ")");
        return static_cast<int32_t>(d);
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
                {ResolvedPath(picture), ResolvedPath(output), picture + " -> " + output});
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
            extension = format[0] == '.' ? format : "." + format;
            // Only an extension: anything more would put results outside outputDir.
            const bool plain =
                extension.size() > 1 && std::all_of(extension.begin() + 1, extension.end(), [](char c) {
                    return std::isalnum(static_cast<unsigned char>(c));
                });
            if (!plain)
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
            const std::string name =
                tw::PathFromQString(QFileInfo(list[i].toString()).completeBaseName()) + extension;
            const std::string output = tw::JoinPath(dir, name);
            const std::string resolved = ResolvedPath(output);
            if (!outputs.insert(resolved).second)
                Fail(where, "a second picture would be written to " + tw::Printable(output));
            recipe.Job.Tasks.push_back({ResolvedPath(picture), resolved, picture + " -> " + output});
        }
        recipe.Job.OutputDir = ResolvedPath(dir);
    }

    TPartRequest Part(const QJsonValue& value, const std::string& where) const {
        const QJsonObject part = Object(value, where);
        CheckKeys(part, where, {"seed", "part", "rules", "settings"});
        TPartRequest request;
        const bool seeded = part.contains("seed"), loaded = part.contains("part");
        if (seeded == loaded) Fail(where, "give either \"seed\" or \"part\"");
        if (seeded) {
            const QJsonValue seed = part["seed"];
            const QJsonArray xy = seed.toArray();
            if (!seed.isArray() || xy.size() != 2) Fail(Join(where, "seed"), "expected [x, y]");
            request.Seed = QPoint(Number(xy[0], Join(where, "seed[0]"), INT32_MIN, INT32_MAX),
                                  Number(xy[1], Join(where, "seed[1]"), INT32_MIN, INT32_MAX));
            if (part.contains("rules")) request.Rules = Rules(part["rules"], Join(where, "rules"));
        } else {
            request.Grown = false;
            request.PartFile = ResolvedPath(Path(part["part"], Join(where, "part")));
            if (part.contains("rules"))
                Fail(Join(where, "rules"), "rules apply to parts grown from a seed only");
        }
        if (part.contains("settings")) request.Settings = Settings(part["settings"], Join(where, "settings"));
        return request;
    }

    TWalkerRules Rules(const QJsonValue& value, const std::string& where) const {
        const QJsonObject o = Object(value, where);
        CheckKeys(o, where, {"hue", "saturation", "value", "neighbour", "average9"});
        TWalkerRules rules = TWalkerRules::Default();
        const auto deviation = [&](const char* key, bool& use, int32_t& percent) {
            if (!o.contains(key)) return;
            const QJsonValue v = o[key];
            use = !(v.isString() && v.toString() == "off");
            if (use) {
                if (!v.isDouble()) Fail(Join(where, key), "expected a percentage 0 to 100 or \"off\"");
                percent = Number(v, Join(where, key), 0, 100);
            }
        };
        deviation("hue", rules.UseHue, rules.HueDeviation);
        deviation("saturation", rules.UseSaturation, rules.SaturationDeviation);
        deviation("value", rules.UseValue, rules.ValueDeviation);
        if (o.contains("neighbour"))
            rules.CompareToNeighbour = Boolean(o["neighbour"], Join(where, "neighbour"));
        if (o.contains("average9")) rules.NineValueAverage = Boolean(o["average9"], Join(where, "average9"));
        return rules;
    }

    TTintwellSettings Settings(const QJsonValue& value, const std::string& where) const {
        const QJsonObject o = Object(value, where);
        CheckKeys(o, where, {"mode", "hue", "saturationTint", "valueTint", "avoidSingularities"});
        TTintwellSettings s = TTintwellSettings::Initial();
        if (o.contains("mode")) {
            const std::string mode = Text(o["mode"], Join(where, "mode"));
            if (mode != "shift" && mode != "change" && mode != "keep")
                Fail(Join(where, "mode"),
                     "expected \"shift\", \"change\" or \"keep\", not \"" + tw::Printable(mode) + "\"");
            s.ShiftHue = mode == "shift";
            s.KeepHue = mode == "keep";
        }
        if (o.contains("hue")) s.Hue = Number(o["hue"], Join(where, "hue"), 0, 360);
        if (o.contains("saturationTint"))
            s.SaturationTint = Number(o["saturationTint"], Join(where, "saturationTint"), -400, 400);
        if (o.contains("valueTint"))
            s.ValueTint = Number(o["valueTint"], Join(where, "valueTint"), -400, 400);
        if (o.contains("avoidSingularities"))
            s.AvoidSingularities = Boolean(o["avoidSingularities"], Join(where, "avoidSingularities"));
        return s;
    }

    std::string path_;
    std::string file_;
    std::string base_;
};

// Line and column (from 1) of a byte offset, for parse errors.
std::pair<int, int> LineAndColumn(const QByteArray& text, int offset) {
    int line = 1, column = 1;
    for (int i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return {line, column};
}

} // namespace

TRecipe ReadRecipe(const std::string& path) {
    const std::string name = tw::DisplayName(path);
    QByteArray bytes;
    try {
        // A recipe is a few lines; anything huge is not one.
        bytes = tw::ReadRegularFile(path, 16 << 20, "the file is too large for a recipe");
    } catch (const tw::FileAccessError& e) {
        FailInput("cannot read " + name + ": " + e.what());
    }

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        const auto [line, column] = LineAndColumn(bytes, error.offset);
        FailInput(name + ": malformed JSON at line " + std::to_string(line) + ", column " +
                  std::to_string(column) + ": " + error.errorString().toStdString());
    }
    if (!doc.isObject()) FailInput(name + ": expected a JSON object at the top");
    return RecipeParser(path).Parse(doc.object());
}

} // namespace cli
