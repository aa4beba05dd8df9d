// The Tintwell desktop program.

#include "app/HelpModule.h"
#include "app/MainWindow.h"
#include "app/TintwellApplication.h"

#include <QStringList>

int main(int argc, char** argv) {
    TTintwellApplication app(argc, argv);
    tw::THelpModule help;

    TMainWindowSetup setup;
    setup.Arguments = QCoreApplication::arguments().mid(1);
    setup.Help = &help;
    TMainWindow window(std::move(setup));
    // "/close" asked this instance to end before the user works in it.
    if (window.CloseRequested()) return 0;
    window.show();
    return app.exec();
}
