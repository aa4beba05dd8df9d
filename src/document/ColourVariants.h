#pragma once
// Colour variants in recipes and project files:
//
//   "variants": [{"name": "navy", "goal": "#1f2a44"},
//                {"name": "mix", "parts": [{...settings...}, {...settings...}]}]
//
// Each variant's result is the picture's result with its settings
// (recolour/ColourVariant.h), written beside the others as NAME-VARIANT.EXT.

#include "document/StrictJson.h"
#include "recolour/ColourVariant.h"

#include <QJsonArray>

#include <string>
#include <vector>

// A result's name with the variant's: "out/photo.png" -> "out/photo-navy.png".
std::string VariantResultPath(const std::string& result, const std::string& variant);

// Read strictly, every problem named by its key ("variants[2].name: ...");
// partCount: the parts a variant's "parts" must give settings for.
std::vector<TColourVariant> ReadVariants(const TStrictJson& json, const QJsonValue& value,
                                         const std::string& where, size_t partCount);
QJsonArray VariantsJson(const std::vector<TColourVariant>& variants);
