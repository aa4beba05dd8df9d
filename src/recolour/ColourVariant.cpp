#include "recolour/ColourVariant.h"

#include "platform/ErrorReport.h"

#include <algorithm>
#include <set>

bool IsVariantName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '_' || c == '-';
    });
}

std::string VariantNameProblem(const std::string& name) {
    return "\"" + tw::Printable(name) +
           "\" is no variant name: use letters, digits, \".\", \"_\" and \"-\" only";
}

std::string VariantsProblem(const std::vector<TColourVariant>& variants, size_t partCount) {
    std::set<std::string> names;
    for (const TColourVariant& v : variants) {
        if (!IsVariantName(v.Name)) return VariantNameProblem(v.Name);
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
