#include "document/StrictJson.h"

#include "colour/HexColour.h"
#include "platform/ErrorReport.h"
#include "platform/FileAccess.h"
#include "platform/PictureFile.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace {

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

QJsonObject TStrictJson::ReadObject(const std::string& path, int64_t maxBytes, const std::string& tooLarge) {
    const std::string name = tw::DisplayName(path);
    QByteArray bytes;
    try {
        bytes = tw::ReadRegularFile(path, maxBytes, tooLarge);
    } catch (const tw::FileAccessError& e) {
        throw TJsonFileError("cannot read " + name + ": " + e.what());
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        const auto [line, column] = LineAndColumn(bytes, error.offset);
        throw TJsonFileError(name + ": malformed JSON at line " + std::to_string(line) + ", column " +
                             std::to_string(column) + ": " + error.errorString().toStdString());
    }
    if (!doc.isObject()) throw TJsonFileError(name + ": expected a JSON object at the top");
    return doc.object();
}

void TStrictJson::Fail(const std::string& where, const std::string& what) const {
    throw TJsonFileError(file_ + ": " + (where.empty() ? "" : where + ": ") + what);
}

std::string TStrictJson::Join(const std::string& where, const std::string& key) {
    return where.empty() ? key : where + "." + key;
}

void TStrictJson::CheckKeys(const QJsonObject& object, const std::string& where,
                            std::initializer_list<const char*> known) const {
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool found = false;
        for (const char* k : known)
            found = found || it.key() == QLatin1String(k);
        if (!found) Fail(where, "unknown key \"" + tw::Printable(it.key().toStdString()) + "\"");
    }
}

QJsonObject TStrictJson::Object(const QJsonValue& v, const std::string& where) const {
    if (!v.isObject()) Fail(where, "expected an object");
    return v.toObject();
}

bool TStrictJson::Boolean(const QJsonValue& v, const std::string& where) const {
    if (!v.isBool()) Fail(where, "expected true or false");
    return v.toBool();
}

std::string TStrictJson::Text(const QJsonValue& v, const std::string& where) const {
    if (!v.isString() || v.toString().isEmpty()) Fail(where, "expected a non-empty string");
    return v.toString().toStdString();
}

int32_t TStrictJson::Number(const QJsonValue& v, const std::string& where, int32_t min, int32_t max) const {
    const double d = v.toDouble();
    if (!v.isDouble() || !std::isfinite(d) || d != std::trunc(d)) Fail(where, "expected a whole number");
    if (d < min || d > max)
        Fail(where, QString::number(d, 'g', 17).toStdString() + " is out of range (" + std::to_string(min) +
                        " to " + std::to_string(max) + ")");
    return static_cast<int32_t>(d);
}

QPoint TStrictJson::Point(const QJsonValue& v, const std::string& where) const {
    const QJsonArray xy = v.toArray();
    if (!v.isArray() || xy.size() != 2) Fail(where, "expected [x, y]");
    return QPoint(Number(xy[0], where + "[0]", INT32_MIN, INT32_MAX),
                  Number(xy[1], where + "[1]", INT32_MIN, INT32_MAX));
}

TGivenColour TStrictJson::Colour(const QJsonValue& v, const std::string& where) const {
    if (v.isString()) {
        const std::string text = v.toString().toStdString();
        const std::optional<TColorValue> colour = text.starts_with('#') ? ParseHexColour(text) : std::nullopt;
        if (!colour) Fail(where, "expected \"#rrggbb\" or [r, g, b], not \"" + tw::Printable(text) + "\"");
        return {*colour, true};
    }
    const QJsonArray rgb = v.toArray();
    if (!v.isArray() || rgb.size() != 3) Fail(where, "expected \"#rrggbb\" or [r, g, b]");
    int32_t c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = Number(rgb[i], where + "[" + std::to_string(i) + "]", 0, 255);
    return {RGBToColor(c[0], c[1], c[2]), false};
}

QJsonValue TStrictJson::ColourJson(const TGivenColour& colour) {
    if (colour.Srgb) return QString::fromStdString(HexColour(colour.Value));
    const TRGBValues c = ColorToRGBValues(colour.Value);
    return QJsonArray{c.R, c.G, c.B};
}

TWalkerRules TStrictJson::Rules(const QJsonValue& value, const std::string& where) const {
    const QJsonObject o = Object(value, where);
    CheckKeys(o, where, {"hue", "saturation", "value", "neighbour", "average9", "anywhere", "fillHoles"});
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
    if (o.contains("neighbour")) rules.CompareToNeighbour = Boolean(o["neighbour"], Join(where, "neighbour"));
    if (o.contains("average9")) rules.NineValueAverage = Boolean(o["average9"], Join(where, "average9"));
    if (o.contains("anywhere")) rules.Anywhere = Boolean(o["anywhere"], Join(where, "anywhere"));
    if (o.contains("fillHoles"))
        rules.FillHoles = Number(o["fillHoles"], Join(where, "fillHoles"), 0, TWalkerRules::kMaxFillHoles);
    if (rules.Anywhere && rules.CompareToNeighbour)
        Fail(Join(where, "anywhere"),
             "does not go with \"neighbour\": true (the whole picture is compared to the seed)");
    return rules;
}

TTintwellSettings TStrictJson::Settings(const QJsonValue& value, const std::string& where) const {
    const QJsonObject o = Object(value, where);
    CheckKeys(
        o, where,
        {"mode", "hue", "saturationTint", "valueTint", "avoidSingularities", "goal", "from", "reference"});
    TTintwellSettings s = TTintwellSettings::Initial();
    const bool match = o.contains("mode") && o["mode"].isString() && o["mode"].toString() == "match";
    if (match) {
        // The goal and where from; the hue and the tints have no say here.
        if (!o.contains("goal")) Fail(where, "\"mode\": \"match\" needs a \"goal\" colour");
        if (o.contains("from") && o.contains("reference"))
            Fail(where, "give \"from\" or \"reference\", not both");
        s = TTintwellSettings::Match(Colour(o["goal"], Join(where, "goal")));
        if (o.contains("from")) s.From = Colour(o["from"], Join(where, "from"));
        if (o.contains("reference")) {
            const TGivenColour reference = Colour(o["reference"], Join(where, "reference"));
            if (reference.Srgb) Fail(Join(where, "reference"), "expected the picture's own [r, g, b]");
            s.Reference = reference.Value;
        }
        for (const char* key : {"hue", "saturationTint", "valueTint", "avoidSingularities"})
            if (o.contains(key)) Fail(Join(where, key), "does not go with \"mode\": \"match\"");
        return s;
    }
    for (const char* key : {"goal", "from", "reference"})
        if (o.contains(key)) Fail(Join(where, key), "goes with \"mode\": \"match\" only");
    if (o.contains("mode")) {
        const std::string mode = Text(o["mode"], Join(where, "mode"));
        if (mode != "shift" && mode != "change" && mode != "keep")
            Fail(Join(where, "mode"), "expected \"shift\", \"change\", \"keep\" or \"match\", not \"" +
                                          tw::Printable(mode) + "\"");
        s.ShiftHue = mode == "shift";
        s.KeepHue = mode == "keep";
    }
    if (o.contains("hue")) s.Hue = Number(o["hue"], Join(where, "hue"), 0, 360);
    if (o.contains("saturationTint"))
        s.SaturationTint = Number(o["saturationTint"], Join(where, "saturationTint"), -400, 400);
    if (o.contains("valueTint")) s.ValueTint = Number(o["valueTint"], Join(where, "valueTint"), -400, 400);
    if (o.contains("avoidSingularities"))
        s.AvoidSingularities = Boolean(o["avoidSingularities"], Join(where, "avoidSingularities"));
    return s;
}

QJsonObject TStrictJson::RulesJson(const TWalkerRules& r) {
    const auto deviation = [](bool use, int32_t percent) {
        return use ? QJsonValue(percent) : QJsonValue("off");
    };
    QJsonObject o{{"hue", deviation(r.UseHue, r.HueDeviation)},
                  {"saturation", deviation(r.UseSaturation, r.SaturationDeviation)},
                  {"value", deviation(r.UseValue, r.ValueDeviation)},
                  {"neighbour", r.CompareToNeighbour},
                  {"average9", r.NineValueAverage}};
    // Written only when used, so that files without them stay as they were.
    if (r.Anywhere) o["anywhere"] = true;
    if (r.FillHoles > 0) o["fillHoles"] = r.FillHoles;
    return o;
}

QJsonObject TStrictJson::SettingsJson(const TTintwellSettings& s) {
    if (s.MatchColour) {
        QJsonObject o{{"mode", "match"}, {"goal", ColourJson(s.Goal)}};
        if (s.From) o["from"] = ColourJson(*s.From);
        if (s.Reference) o["reference"] = ColourJson({*s.Reference, false});
        return o;
    }
    return QJsonObject{{"mode", s.KeepHue    ? "keep"
                                : s.ShiftHue ? "shift"
                                             : "change"},
                       {"hue", s.Hue},
                       {"saturationTint", s.SaturationTint},
                       {"valueTint", s.ValueTint},
                       {"avoidSingularities", s.AvoidSingularities}};
}
