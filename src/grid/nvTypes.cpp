#include "grid/nvTypes.h"

#include <QGuiApplication>
#include <QPalette>

tw::ColorValue ResolveColor(TColor color) {
    const auto value = static_cast<tw::ColorValue>(color);
    if ((value & 0xFF000000u) != kThemeColorFlag) return value & 0xFFFFFFu;
    struct Entry {
        TColor Color;
        QPalette::ColorGroup Group;
        QPalette::ColorRole Role;
        tw::ColorValue Fallback;
    };
    constexpr auto grey = [](tw::ColorValue v) { return v + 256 * v + 65536 * v; };
    // clWindow is the background of lists and text fields, which Qt calls Base.
    static constexpr Entry table[] = {
        {clWindow, QPalette::Active, QPalette::Base, 0xFFFFFF},
        {clWindowText, QPalette::Active, QPalette::Text, 0},
        {clHighlight, QPalette::Active, QPalette::Highlight, 0 + 256 * 120 + 65536 * 215},
        {clHighlightText, QPalette::Active, QPalette::HighlightedText, 0xFFFFFF},
        {clBtnFace, QPalette::Active, QPalette::Button, grey(240)},
        {clBtnShadow, QPalette::Active, QPalette::Dark, grey(160)},
        {clGrayText, QPalette::Disabled, QPalette::Text, grey(109)},
        {clBtnText, QPalette::Active, QPalette::ButtonText, 0},
        {clBtnHighlight, QPalette::Active, QPalette::Light, 0xFFFFFF},
        {cl3DDkShadow, QPalette::Active, QPalette::Shadow, grey(105)},
        {cl3DLight, QPalette::Active, QPalette::Midlight, grey(227)},
    };
    for (const Entry& e : table) {
        if (e.Color != color) continue;
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return e.Fallback;
        const QColor c = QGuiApplication::palette().color(e.Group, e.Role);
        return static_cast<tw::ColorValue>(c.red()) | (static_cast<tw::ColorValue>(c.green()) << 8) |
               (static_cast<tw::ColorValue>(c.blue()) << 16);
    }
    return 0;
}

QColor ToQColor(TColor color) {
    const tw::ColorValue v = ResolveColor(color);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}
