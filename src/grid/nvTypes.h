#pragma once
// Small types shared by the painted control, the grid's cell model and the
// grid view: colours (theme colours included) and the modifier-key state of
// input events. One definition each, so that every part of the component
// library can be used together.

#include "platform/Bitmap.h"

#include <QColor>

#include <cstdint>

// --- Colours -------------------------------------------------------------------

// A colour value R + 256*G + 65536*B, or a theme colour: top byte set and the
// theme index in the low byte, which makes it negative as a signed number.
// Theme colours are looked up in the application palette only when something
// is drawn, so controls follow the desktop theme.
using TColor = int32_t;

inline constexpr TColor clBlack = 0;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clWindow = -16777211;        // theme index 5
inline constexpr TColor clWindowText = -16777208;    // 8
inline constexpr TColor clHighlight = -16777203;     // 13
inline constexpr TColor clHighlightText = -16777202; // 14
inline constexpr TColor clBtnFace = -16777201;       // 15
inline constexpr TColor clBtnShadow = -16777200;     // 16
inline constexpr TColor clGrayText = -16777199;      // 17
inline constexpr TColor clBtnText = -16777198;       // 18
inline constexpr TColor clBtnHighlight = -16777196;  // 20
inline constexpr TColor cl3DDkShadow = -16777195;    // 21
inline constexpr TColor cl3DLight = -16777194;       // 22

// The same colours as the unsigned colour values the canvas works in.
inline constexpr tw::ColorValue kThemeColorFlag = 0xFF000000u;
inline constexpr tw::ColorValue kColorWindow = static_cast<tw::ColorValue>(clWindow);
inline constexpr tw::ColorValue kColorWindowText = static_cast<tw::ColorValue>(clWindowText);
inline constexpr tw::ColorValue kColorHighlight = static_cast<tw::ColorValue>(clHighlight);
inline constexpr tw::ColorValue kColorHighlightText = static_cast<tw::ColorValue>(clHighlightText);
inline constexpr tw::ColorValue kColorBtnFace = static_cast<tw::ColorValue>(clBtnFace);
inline constexpr tw::ColorValue kColorBtnShadow = static_cast<tw::ColorValue>(clBtnShadow);
inline constexpr tw::ColorValue kColorGrayText = static_cast<tw::ColorValue>(clGrayText);
inline constexpr tw::ColorValue kColorBtnText = static_cast<tw::ColorValue>(clBtnText);
inline constexpr tw::ColorValue kColorBtnHighlight = static_cast<tw::ColorValue>(clBtnHighlight);
inline constexpr tw::ColorValue kColor3DDkShadow = static_cast<tw::ColorValue>(cl3DDkShadow);
inline constexpr tw::ColorValue kColor3DLight = static_cast<tw::ColorValue>(cl3DLight);

// The plain colour value a colour stands for. Theme colours come from the
// application palette (fixed values when there is no GUI application); a
// theme index without a meaning gives black; other values lose their top byte.
tw::ColorValue ResolveColor(TColor color);
inline tw::ColorValue ResolveColor(tw::ColorValue color) {
    return ResolveColor(static_cast<TColor>(color));
}
QColor ToQColor(TColor color);
inline QColor ToQColor(tw::ColorValue color) {
    return ToQColor(static_cast<TColor>(color));
}

// --- Modifier keys ---------------------------------------------------------------

// Modifier keys and mouse buttons held during an input event, as a set of bits.
using TShiftState = uint8_t;
enum TShiftStateFlag : uint8_t {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64,
};
struct TShift {
    static constexpr TShiftState Shift = ssShift, Alt = ssAlt, Ctrl = ssCtrl, Left = ssLeft, Right = ssRight,
                                 Middle = ssMiddle, Double = ssDouble;
};
