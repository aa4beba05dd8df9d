#include "app/ShellLinks.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace tw {

void OpenWebPage(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

void StartUpdater(const QString& programDir) {
    QProcess::startDetached(programDir + QStringLiteral("/update.EXE"), {});
}

} // namespace tw
