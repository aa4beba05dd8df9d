#include "resources/ActionIcons.h"

#include <QFile>
#include <QImage>
#include <QPixmap>

#include <mutex>

// As for the start picture: resources in a static library need their
// initialiser called, from outside any namespace.
static void InitTintwellIcons() {
    Q_INIT_RESOURCE(tintwell_icons);
}

namespace tw {

const QStringList& ActionIconNames() {
    static const QStringList names = {
        QStringLiteral("fill"),
        QStringLiteral("brush"),
        QStringLiteral("erase"),
        QStringLiteral("change_color"),
        QStringLiteral("delete_image_part"),
        QStringLiteral("join_image_parts"),
        QStringLiteral("load_image_part"),
        QStringLiteral("add_image_part"),
        QStringLiteral("brush_small"),
        QStringLiteral("brush_medium"),
        QStringLiteral("brush_large"),
        QStringLiteral("original_in_background"),
        QStringLiteral("zoom_plus"),
        QStringLiteral("zoom_minus"),
        QStringLiteral("exit"),
        QStringLiteral("help"),
        QStringLiteral("about"),
        QStringLiteral("open_picture"),
        QStringLiteral("save_picture"),
        QStringLiteral("save_image_part"),
        QStringLiteral("undo"),
        QStringLiteral("redo"),
    };
    return names;
}

void RegisterActionIcons() {
    static std::once_flag once;
    std::call_once(once, InitTintwellIcons);
}

QIcon ActionIcon(const QString& name) {
    RegisterActionIcons();
    if (!ActionIconNames().contains(name)) return QIcon();
    // The large picture is named the way Qt names double-density pictures, so
    // Qt would take it for a 24-pixel one; added as pixmaps of their own size,
    // the icon serves 24 and 48 pixels and double-density screens alike.
    const QString base = QStringLiteral(":/icons/") + name;
    QIcon icon;
    for (const QString& file : {base + QStringLiteral(".png"), base + QStringLiteral("@2x.png")}) {
        QImage image(file);
        image.setDevicePixelRatio(1.0);
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace tw
