#pragma once
// Choosing a colour: the desktop's colour dialog, or what a test puts in its place.

#include "platform/Bitmap.h"

#include <QColor>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

// nullopt when the user cancels.
using TColourChooser = std::function<std::optional<tw::ColorValue>(tw::ColorValue initial)>;

// The chooser when there is one, else the standard colour dialog over parent.
std::optional<tw::ColorValue> ChooseColour(const TColourChooser& chooser, QWidget* parent,
                                           tw::ColorValue initial, const QString& title);

QColor QColorOf(tw::ColorValue c);
tw::ColorValue ColorOf(const QColor& c);
