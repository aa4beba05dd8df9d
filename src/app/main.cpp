// The Tintwell desktop program.

#include "app/Form_Main.h"
#include "app/HelpModule.h"
#include "app/MainDialogs.h"
#include "app/TintwellApplication.h"

#include <QStringList>

int main(int argc, char** argv) {
    TTintwellApplication app(argc, argv);
    tw::THelpModule help;

    TFormMainOptions options;
    options.Arguments = QCoreApplication::arguments().mid(1);
    options.Help = &help;
    TFormMain form(options);
    // "/close" asked this instance to end before the user works in it.
    if (form.CloseRequested()) return 0;
    ConnectDialogs(form);
    form.show();
    return app.exec();
}
