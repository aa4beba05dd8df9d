#include "app/HelpModule.h"
#include "app/HelpViewer.h"
#include "app/UrlCatcher.h"
#include "app/WindowDriver.h"
#include "platform/DeferredCalls.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <vector>

namespace {

void Click(QWidget* widget) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

} // namespace

// The two links under the picture lead to the built-in help book and to the
// running version; neither sends the user to an address on the web.
TEST(HelpLinks, OnlineHelpOpensTheHelpBookAndTheVersionCheckNamesVersionAndReadme) {
    twtest::TempDir programDir;
    tw::THelpModuleSetup setup;
    setup.ProgramFile = programDir.Dir().filePath(QStringLiteral("tintwell"));
    tw::THelpModule help(setup);
    twtest::TWindow w({}, {}, &help);
    const std::vector<QString>& messages = w.messages;
    twtest::UrlCatcher web(QStringLiteral("https")), plainWeb(QStringLiteral("http"));

    Click(twtest::Child<QLabel>(w.window.get(), "helpLink"));
    ASSERT_NE(help.Viewer(), nullptr);
    EXPECT_TRUE(help.Viewer()->isVisible());
    EXPECT_EQ(help.Viewer()->PageTitle(), QStringLiteral("What is Tintwell?"));

    Click(twtest::Child<QLabel>(w.window.get(), "versionLink"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Tintwell " TW_VERSION ".")))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("README"))) << messages[0].toStdString();
    EXPECT_FALSE(messages[0].contains(QStringLiteral("://")));
    EXPECT_TRUE(web.Opened.isEmpty());
    EXPECT_TRUE(plainWeb.Opened.isEmpty());
    help.Viewer()->close();
}
