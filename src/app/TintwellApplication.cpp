#include "app/TintwellApplication.h"

#include "platform/ErrorReport.h"
#include "platform/Thread.h"

#include <QMessageBox>

#include <cstdio>
#include <exception>

TTintwellApplication::TTintwellApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Tintwell");
    setApplicationVersion(TW_VERSION);
    ShowError = [this](const std::string& message) { ShowErrorBox(message); };
    // Code that must not let an exception unwind through Qt reports it here too.
    tw::SetErrorHandler([this](const std::string& message) {
        if (ShowError) ShowError(message);
    });
    // Worker threads' synchronised calls run from this loop, modal loops included.
    tw::EnableSynchronizeFromEventLoop();
}

TTintwellApplication::~TTintwellApplication() {
    tw::SetErrorHandler({});
}

bool TTintwellApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        tw::ReportException(std::current_exception());
    }
    return false;
}

void TTintwellApplication::ShowErrorBox(const std::string& message) {
    // An error raised while the box is up (a paint behind it, say) must not stack
    // boxes without end: it goes to the terminal instead.
    if (showing_) {
        std::fprintf(stderr, "Tintwell: %s\n", message.c_str());
        return;
    }
    showing_ = true;
    QMessageBox::warning(activeWindow(), "Tintwell", QString::fromStdString(message));
    showing_ = false;
}
