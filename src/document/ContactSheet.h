#pragma once
// A contact sheet: every colour variant's picture small, at most four to a
// row and the sheet at most 800 pixels wide, each with its name and its colour
// as #rrggbb below it, for looking over a set of variants at once. Drawn with
// the built-in font, so the batch tool needs no font system for it.

#include "colour/HSV.h"
#include "platform/Bitmap.h"

#include <optional>
#include <string>
#include <vector>

struct TContactEntry {
    std::string Name;
    std::optional<TColorValue> Colour; // shown as a swatch and #rrggbb when there is one
    tw::Bitmap Thumbnail;              // made with ContactThumbnail
};

inline constexpr int kContactSheetWidth = 800;
inline constexpr int kContactSheetColumns = 4;

// A picture reduced (smoothly) to the width of a sheet's cell.
tw::Bitmap ContactThumbnail(const tw::Bitmap& picture);
// The sheet of the entries in order, row by row.
tw::Bitmap ComposeContactSheet(const std::vector<TContactEntry>& entries);
