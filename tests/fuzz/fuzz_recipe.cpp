// libFuzzer target: bytes as a recipe file for the batch tool's reader. The
// file goes into a private folder under /tmp; the reader only resolves the
// paths it names, it never opens them. Anything but bad input escapes and is
// reported.

#include "FuzzEntry.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdlib>

namespace {
QTemporaryDir* g_dir = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication* app = new QCoreApplication(*argc, *argv);
    (void)app;
    g_dir = new QTemporaryDir(QStringLiteral("/tmp/tw-fuzz-recipe-XXXXXX"));
    if (!g_dir->isValid()) std::abort();
    std::atexit([] { delete g_dir; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    twfuzz::ReadAsRecipe(g_dir->path().toStdString(), data, size);
    return 0;
}
