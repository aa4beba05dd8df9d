#include "document/ColourVariants.h"

#include <QJsonObject>

#include <set>

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
        if (!IsVariantName(variant.Name))
            json.Fail(TStrictJson::Join(at, "name"), VariantNameProblem(variant.Name));
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
