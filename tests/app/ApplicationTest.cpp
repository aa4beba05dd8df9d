#include "app/TintwellApplication.h"

#include "platform/ErrorReport.h"

#include <QCoreApplication>
#include <QEvent>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Throws from its first event, as a faulty paint or click handler would.
class Thrower : public QObject {
  public:
    int handled = 0;

  protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User && ++handled == 1)
            throw std::runtime_error("cannot read photo.jpg: not a JPEG file");
        return QObject::event(e);
    }
};

TEST(TintwellApplication, ErrorsFromEventHandlersAreShownAndTheProgramCarriesOn) {
    auto* app = dynamic_cast<TTintwellApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    std::vector<std::string> shown;
    const auto previous = app->ShowError;
    app->ShowError = [&](const std::string& m) { shown.push_back(m); };

    Thrower thrower;
    QEvent first(QEvent::User), second(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &first); // the exception stops here, not in Qt
    QCoreApplication::sendEvent(&thrower, &second);
    EXPECT_EQ(thrower.handled, 2) << "later events are handled as usual";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "cannot read photo.jpg: not a JPEG file");

    // Code that catches for itself hands errors to the same place.
    tw::ReportException(std::make_exception_ptr(std::runtime_error("cannot write out.png: disk full")));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1], "cannot write out.png: disk full");
    app->ShowError = previous;
}

} // namespace
