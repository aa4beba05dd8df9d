#pragma once
// A small built-in bitmap font (5 x 7 pixels a character) for labels drawn
// into pictures where no font system runs, such as the batch tool's contact
// sheets: letters, digits, space and . _ - # : , ( ) / +. Other characters
// draw as a box.

#include "platform/Bitmap.h"

#include <string>

namespace tw {

// Pixels a character takes across (with its gap) and down, at scale 1.
inline constexpr int kTinyAdvance = 6;
inline constexpr int kTinyHeight = 7;

// Draws text with its top-left corner at (x, y), every font pixel a square of
// scale x scale picture pixels. Returns the width drawn.
int DrawTinyText(Bitmap& picture, int x, int y, const std::string& text, ColorValue colour, int scale = 1);
// The width DrawTinyText would draw.
int TinyTextWidth(const std::string& text, int scale = 1);

} // namespace tw
