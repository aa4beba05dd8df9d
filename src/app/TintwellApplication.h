#pragma once
// The application object. It is also the program's general error handler: an
// exception that escapes an event handler is caught here, its message shown in
// a message box, and the program carries on. Steps completed before the error
// stay in effect.

#include <QApplication>

#include <functional>
#include <string>

class TTintwellApplication : public QApplication {
  public:
    TTintwellApplication(int& argc, char** argv);
    ~TTintwellApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the message as the error handler does (a warning box titled
    // "Tintwell"). Tests replace it to see what would be shown.
    std::function<void(const std::string&)> ShowError;

  private:
    void ShowErrorBox(const std::string& message);
    bool showing_ = false;
};
