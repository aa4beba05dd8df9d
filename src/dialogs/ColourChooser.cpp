#include "dialogs/ColourChooser.h"

#include "colour/HSV.h"

#include <QColorDialog>

std::optional<tw::ColorValue> ChooseColour(const TColourChooser& chooser, QWidget* parent,
                                           tw::ColorValue initial, const QString& title) {
    if (chooser) return chooser(initial);
    const QColor c = QColorDialog::getColor(QColorOf(initial), parent, title);
    if (!c.isValid()) return std::nullopt;
    return ColorOf(c);
}

QColor QColorOf(tw::ColorValue c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

tw::ColorValue ColorOf(const QColor& c) {
    return RGBToColor(c.red(), c.green(), c.blue());
}
