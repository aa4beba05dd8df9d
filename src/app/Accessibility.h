#pragma once
// Names and descriptions for screen readers and accessibility-tree automation.
// Qt already names a button after its text; this fills in what it leaves empty
// or gets wrong: a tool button is named after its command's caption (with
// "..." kept), a control without text after its label, its tool tip or its
// group, and every control gets a description.

#include <QString>

#include <initializer_list>
#include <utility>

class QWidget;

namespace tw {

// A control's name where nothing on screen says what it is.
struct TAccessibleName {
    QWidget* Control;
    QString Name;
    QString Description = {};
};

// Names window and the controls in it now; tool buttons follow later changes
// of their command's caption. Call once the window's controls exist.
void NameControlsForAccessibility(QWidget* window, std::initializer_list<TAccessibleName> named = {});

// A caption without its access-key marks ("&Open" -> "Open", "A && B" -> "A & B").
QString WithoutAccessKeys(const QString& caption);

} // namespace tw
