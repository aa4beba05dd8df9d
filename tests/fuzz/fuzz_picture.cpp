// libFuzzer target: picture bytes through tw::DecodePicture. The first byte
// picks the extension among .bmp, .jpg, .ico and .png; .bmp and .png are also
// how the desktop program and the batch tool read image parts, so this covers
// the part loader's decoding too. Anything but a PictureError escapes and is
// reported.

#include "FuzzEntry.h"

#include <QGuiApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's image plugins (ICO) load only with an application object.
    static QGuiApplication* app = new QGuiApplication(*argc, *argv);
    (void)app;
    // Qt's readers warn about every malformed file; the flood would slow the run.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    twfuzz::DecodeAsPicture(data, size);
    return 0;
}
