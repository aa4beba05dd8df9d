#include "resources/StartPicture.h"

#include <QImage>

#include <mutex>
#include <stdexcept>

// Resources in a static library are only registered when something calls their
// initialiser; the macro must be used outside any namespace.
static void InitTintwellResources() {
    Q_INIT_RESOURCE(tintwell_resources);
}

namespace tw {

Bitmap StartPicture() {
    static std::once_flag once;
    std::call_once(once, InitTintwellResources);
    const QImage image(QStringLiteral(":/tintwell/start.png"));
    if (image.isNull()) throw std::runtime_error("the built-in start picture is missing");
    return Bitmap(image);
}

} // namespace tw
