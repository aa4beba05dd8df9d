#include "app/AboutBox.h"
#include "app/UrlCatcher.h"
#include "platform/ErrorReport.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include "support/WidgetLookup.h"

#include <gtest/gtest.h>

#include <stdexcept>

using tw::TAboutBox;

namespace {

QColor Grey(int level) {
    return QColor(level, level, level);
}

void Click(QWidget* widget) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

} // namespace

TEST(About, LayoutVersionAndNote) {
    TAboutBox about;
    EXPECT_EQ(about.size(), QSize(TAboutBox::kClientWidth, TAboutBox::kClientHeight));
    EXPECT_EQ(about.size(), QSize(332, 410));
    EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(about.isModal());

    EXPECT_EQ(twtest::Child<QLabel>(about, "version")->text(),
              QStringLiteral("Version: ") + QStringLiteral(TW_VERSION));
    EXPECT_EQ(twtest::Child<QLabel>(about, "version")->font().pixelSize(), 24);
    // Over the picture's top-left corner.
    EXPECT_EQ(twtest::Child<QLabel>(about, "version")->parentWidget(),
              twtest::Child<QLabel>(about, "picture"));
    EXPECT_LT(twtest::Child<QLabel>(about, "version")->x(), 10);
    EXPECT_LT(twtest::Child<QLabel>(about, "version")->y(), 10);

    // The 400 x 400 start picture, shown 250 x 250 in the middle of the 332 x 250 strip.
    EXPECT_EQ(twtest::Child<QLabel>(about, "picture")->geometry(), QRect(0, 0, 332, 250));
    EXPECT_EQ(twtest::Child<QLabel>(about, "picture")->pixmap().size(), QSize(250, 250));
    EXPECT_TRUE(twtest::Child<QLabel>(about, "picture")->alignment() & Qt::AlignHCenter);

    const QStringList lines =
        twtest::Child<QPlainTextEdit>(about, "note")->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0], QStringLiteral("Thank you for using Tintwell. Pass it on. "));
    EXPECT_EQ(lines[1], QString());
    EXPECT_EQ(lines[2], QStringLiteral("The designers of this software humbly asks for any"));
    EXPECT_EQ(lines[3], QStringLiteral("and all ideas on how to bring this project forward."));
    EXPECT_EQ(lines[4], QStringLiteral("Pass them on where you got Tintwell from."));
    EXPECT_EQ(lines[5], QString());
    EXPECT_EQ(lines[6], QStringLiteral("TIA"));
    EXPECT_EQ(lines[7], QStringLiteral("New versions: see Tintwell's README."));
    EXPECT_TRUE(twtest::Child<QPlainTextEdit>(about, "note")->isReadOnly());
    EXPECT_TRUE(twtest::Child<QPlainTextEdit>(about, "note")->font().bold());

    about.show();
    // Every line is visible: nothing to scroll either way.
    EXPECT_EQ(twtest::Child<QPlainTextEdit>(about, "note")->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(twtest::Child<QPlainTextEdit>(about, "note")->horizontalScrollBar()->maximum(), 0);
    EXPECT_GE(twtest::Child<QPlainTextEdit>(about, "note")->geometry().top(), 250);
    EXPECT_LE(twtest::Child<QPlainTextEdit>(about, "note")->geometry().bottom(),
              twtest::Child<QWidget>(about, "strip")->geometry().top());
    EXPECT_EQ(twtest::Child<QWidget>(about, "strip")->geometry().bottom(), 409);
    EXPECT_TRUE(twtest::Child<QWidget>(about, "strip")
                    ->geometry()
                    .contains(twtest::Child<QPushButton>(about, "close")
                                  ->geometry()
                                  .translated(twtest::Child<QWidget>(about, "strip")->pos())));
    EXPECT_FALSE(twtest::Child<QLabel>(about, "helpLink")
                     ->geometry()
                     .intersects(twtest::Child<QPushButton>(about, "close")->geometry()));

    // Centred on the screen.
    const QRect screen = about.screen()->availableGeometry();
    EXPECT_LE((about.frameGeometry().center() - screen.center()).manhattanLength(), 2);
    about.close();
}

TEST(About, FadesInFromWhiteToBlackOverThirtyTwoTicks) {
    TAboutBox about;
    EXPECT_EQ(about.FadeLevel(), 255);
    EXPECT_EQ(about.TextColor(), Grey(255));

    about.show();
    EXPECT_TRUE(twtest::Child<QTimer>(about, "fadeTimer")->isActive());
    EXPECT_EQ(twtest::Child<QTimer>(about, "fadeTimer")->interval(), 1000);

    about.Fade();
    EXPECT_EQ(about.FadeLevel(), 247);
    EXPECT_EQ(about.TextColor(), Grey(247));
    for (int tick = 2; tick <= 31; ++tick)
        about.Fade();
    EXPECT_EQ(about.FadeLevel(), 7);
    EXPECT_EQ(about.TextColor(), Grey(7));

    about.Fade(); // the 32nd takes it below 0
    EXPECT_LT(about.FadeLevel(), 0);
    EXPECT_EQ(about.TextColor(), Grey(0));
    const int32_t finalLevel = about.FadeLevel();
    about.Fade();
    about.Fade();
    EXPECT_EQ(about.FadeLevel(), finalLevel);
    EXPECT_EQ(about.TextColor(), Grey(0));
    about.close();
}

TEST(About, EachShowingRestartsTheFadeFromWhite) {
    TAboutBox about;
    for (int showing = 0; showing < 2; ++showing) {
        about.show();
        EXPECT_TRUE(twtest::Child<QTimer>(about, "fadeTimer")->isActive());
        EXPECT_EQ(about.FadeLevel(), 255);
        EXPECT_EQ(about.TextColor(), Grey(255));
        for (int tick = 0; tick < (showing == 0 ? 40 : 5); ++tick)
            about.Fade();
        EXPECT_NE(about.TextColor(), Grey(255));
        about.close();
        EXPECT_FALSE(twtest::Child<QTimer>(about, "fadeTimer")->isActive());
    }
}

TEST(About, CloseButtonAcceptsAndTheLinkClosesTheBoxForTheHelpBook) {
    TAboutBox about;
    EXPECT_TRUE(twtest::Child<QPushButton>(about, "close")->isDefault());
    EXPECT_EQ(twtest::Child<QPushButton>(about, "close")->text(), QStringLiteral("Close"));

    QFont font = twtest::Child<QLabel>(about, "helpLink")->font();
    EXPECT_EQ(font.pixelSize(), 16);
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(twtest::Child<QLabel>(about, "helpLink")->palette().color(QPalette::WindowText),
              QColor(192, 192, 192));

    twtest::UrlCatcher browser(QStringLiteral("https"));
    int helpShown = 0;
    QObject::connect(&about, &TAboutBox::helpRequested, [&] {
        EXPECT_FALSE(about.isVisible()) << "a modal box would block the help window";
        ++helpShown;
    });
    about.show();
    Click(twtest::Child<QLabel>(about, "helpLink"));
    EXPECT_EQ(helpShown, 1);
    EXPECT_TRUE(browser.Opened.isEmpty());

    about.show();
    twtest::Child<QPushButton>(about, "close")->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(About, VersionCaption) {
    EXPECT_EQ(TAboutBox::VersionCaption(QStringLiteral("1.2.3")), QStringLiteral("Version: 1.2.3"));
    try {
        TAboutBox::VersionCaption(QString());
        FAIL() << "an empty version must be reported";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("VERSIONSINFO SAKNAS!!! SLÅ PÅ DET I DITT PROJEKT"));
    }
}
