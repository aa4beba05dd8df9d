#pragma once
// Colours written as #rrggbb: how Tintwell shows a colour as text and reads
// one given that way.

#include "colour/HSV.h"

#include <optional>
#include <string>
#include <string_view>

// "#rrggbb" in lower case.
std::string HexColour(TColorValue colour);
// "#rrggbb" or "rrggbb", either case; nothing for anything else.
std::optional<TColorValue> ParseHexColour(std::string_view text);
