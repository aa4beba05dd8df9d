#pragma once
// Stands in for the web browser: registered as the handler of a URL scheme, it
// records the addresses Tintwell asks to open.

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

namespace twtest {

class UrlCatcher : public QObject {
    Q_OBJECT

  public:
    explicit UrlCatcher(const QString& scheme) : scheme_(scheme) {
        QDesktopServices::setUrlHandler(scheme_, this, "Open");
    }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(scheme_); }

    QList<QUrl> Opened;

  public slots:
    void Open(const QUrl& url) { Opened.append(url); }

  private:
    QString scheme_;
};

} // namespace twtest
