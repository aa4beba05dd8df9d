#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace tw {

// The names of the main window's command icons: "fill", "brush", "erase",
// "change_color", "delete_image_part", "join_image_parts", "load_image_part",
// "add_image_part", "brush_small", "brush_medium", "brush_large",
// "original_in_background", "zoom_plus", "zoom_minus", "exit", "help", "about",
// "open_picture", "save_picture", "save_image_part", "undo", "redo".
const QStringList& ActionIconNames();

// The icon of one command, with its 24 x 24 and 48 x 48 pictures; a null icon
// for a name that is not in ActionIconNames(). The pictures are also reachable
// as ":/icons/NAME.png" and ":/icons/NAME@2x.png" (the help pages show them).
QIcon ActionIcon(const QString& name);

// Makes the icon resources reachable by path; ActionIcon does it by itself.
void RegisterActionIcons();

} // namespace tw
