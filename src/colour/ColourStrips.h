#pragma once
// The colour strips the two dialogs show under their track bars, painted as
// plain bitmaps so that the dialogs only have to display them.

#include "colour/HSV.h"
#include "platform/Bitmap.h"

#include <cstdint>
#include <optional>

enum class TRuleChannel { Hue, Saturation, Value };

// The strip under one rule of the mask dialog: left to right the seed colour
// with the channel running from its value - half to its value + half, column
// by column. Hue strips show full saturation and wrap around; saturation and
// value stop at 0 and 255. Empty when width or height is not positive.
tw::Bitmap RuleStrip(TRuleChannel channel, TColorValue seedColor, int32_t half, int width, int height);

// The hue strip of the colour settings dialog: hues 0..360 left to right at the
// saturation and full value; with shiftBy, the lower half shows every hue
// shifted by that much.
tw::Bitmap HueChoiceStrip(int width, int height, int32_t saturation, std::optional<int32_t> shiftBy);
