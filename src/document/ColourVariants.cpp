#include "document/ColourVariants.h"

#include "platform/ErrorReport.h"

#include <QJsonObject>

#include <algorithm>
#include <set>

bool IsVariantName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '_' || c == '-';
    });
}

namespace {

std::string NameProblem(const std::string& name) {
    return "\"" + tw::Printable(name) +
           "\" is no variant name: use letters, digits, \".\", \"_\" and \"-\" only";
}

} // namespace

std::string VariantsProblem(const std::vector<TColourVariant>& variants, size_t partCount) {
    std::set<std::string> names;
    for (const TColourVariant& v : variants) {
        if (!IsVariantName(v.Name)) return NameProblem(v.Name);
        if (!names.insert(v.Name).second) return "there are two variants named \"" + v.Name + "\"";
        if (!v.Goal && v.Parts.size() != partCount)
            return "variant \"" + v.Name + "\" gives settings for " + std::to_string(v.Parts.size()) +
                   (v.Parts.size() == 1 ? " part" : " parts") + ", but there " +
                   (partCount == 1 ? "is 1 part" : "are " + std::to_string(partCount) + " parts");
    }
    return {};
}

std::vector<TTintwellSettings> VariantSettings(const TColourVariant& variant,
                                               const std::vector<TTintwellSettings>& parts) {
    if (!variant.Goal) return variant.Parts;
    std::vector<TTintwellSettings> settings;
    settings.reserve(parts.size());
    for (const TTintwellSettings& own : parts) {
        TTintwellSettings s =
            TTintwellSettings::Match(*variant.Goal, own.MatchColour ? own.From : std::nullopt);
        if (own.MatchColour) s.Reference = own.Reference;
        settings.push_back(s);
    }
    return settings;
}

std::optional<TColorValue> VariantColour(const TColourVariant& variant) {
    if (variant.Goal) return variant.Goal->Value;
    if (!variant.Parts.empty() && variant.Parts.front().MatchColour) return variant.Parts.front().Goal.Value;
    return std::nullopt;
}

std::string VariantResultPath(const std::string& result, const std::string& variant) {
    const size_t slash = result.rfind('/');
    const size_t dot = result.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    if (!hasExtension) return result + "-" + variant;
    return result.substr(0, dot) + "-" + variant + result.substr(dot);
}

std::vector<TColourVariant> ReadVariants(const TStrictJson& json, const QJsonValue& value,
                                         const std::string& where, size_t partCount) {
    if (!value.isArray() || value.toArray().isEmpty())
        json.Fail(where, "expected a list of at least one variant");
    const QJsonArray list = value.toArray();
    std::vector<TColourVariant> variants;
    std::set<std::string> names;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const std::string at = where + "[" + std::to_string(i) + "]";
        const QJsonObject o = json.Object(list[i], at);
        json.CheckKeys(o, at, {"name", "goal", "parts"});
        if (!o.contains("name")) json.Fail(at, "\"name\" is missing");
        TColourVariant variant;
        variant.Name = json.Text(o["name"], TStrictJson::Join(at, "name"));
        if (!IsVariantName(variant.Name)) json.Fail(TStrictJson::Join(at, "name"), NameProblem(variant.Name));
        if (!names.insert(variant.Name).second)
            json.Fail(TStrictJson::Join(at, "name"), "a second variant named \"" + variant.Name + "\"");
        if (o.contains("goal") == o.contains("parts")) json.Fail(at, "give either \"goal\" or \"parts\"");
        if (o.contains("goal")) {
            variant.Goal = json.Colour(o["goal"], TStrictJson::Join(at, "goal"));
        } else {
            const std::string partsAt = TStrictJson::Join(at, "parts");
            const QJsonArray parts = o["parts"].toArray();
            if (!o["parts"].isArray() || static_cast<size_t>(parts.size()) != partCount)
                json.Fail(partsAt, "expected a list of " + std::to_string(partCount) +
                                       (partCount == 1 ? " part's settings" : " parts' settings") +
                                       ", one for each part");
            for (qsizetype k = 0; k < parts.size(); ++k)
                variant.Parts.push_back(json.Settings(parts[k], partsAt + "[" + std::to_string(k) + "]"));
        }
        variants.push_back(std::move(variant));
    }
    return variants;
}

QJsonArray VariantsJson(const std::vector<TColourVariant>& variants) {
    QJsonArray list;
    for (const TColourVariant& v : variants) {
        QJsonObject o{{"name", QString::fromStdString(v.Name)}};
        if (v.Goal) {
            o["goal"] = TStrictJson::ColourJson(*v.Goal);
        } else {
            QJsonArray parts;
            for (const TTintwellSettings& s : v.Parts)
                parts.append(TStrictJson::SettingsJson(s));
            o["parts"] = parts;
        }
        list.append(o);
    }
    return list;
}
