#include "app/Form_About.h"
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

#include <gtest/gtest.h>

#include <stdexcept>

using tw::TAbout;

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
    TAbout about;
    EXPECT_EQ(about.size(), QSize(TAbout::kClientWidth, TAbout::kClientHeight));
    EXPECT_EQ(about.size(), QSize(332, 410));
    EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(about.isModal());

    EXPECT_EQ(about.LabelVersion->text(), QStringLiteral("Version: ") + QStringLiteral(TW_VERSION));
    EXPECT_EQ(about.LabelVersion->font().pixelSize(), 24);
    // Over the picture's top-left corner.
    EXPECT_EQ(about.LabelVersion->parentWidget(), about.Image1);
    EXPECT_LT(about.LabelVersion->x(), 10);
    EXPECT_LT(about.LabelVersion->y(), 10);

    // The 400 x 400 start picture, shown 250 x 250 in the middle of the 332 x 250 strip.
    EXPECT_EQ(about.Image1->geometry(), QRect(0, 0, 332, 250));
    EXPECT_EQ(about.Image1->pixmap().size(), QSize(250, 250));
    EXPECT_TRUE(about.Image1->alignment() & Qt::AlignHCenter);

    const QStringList lines = about.Memo1->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0], QStringLiteral("Thank you for using Tintwell. Pass it on. "));
    EXPECT_EQ(lines[1], QString());
    EXPECT_EQ(lines[2], QStringLiteral("The designers of this software humbly asks for any"));
    EXPECT_EQ(lines[3], QStringLiteral("and all ideas on how to bring this project forward."));
    EXPECT_EQ(lines[4], QStringLiteral("Pass them on where you got Tintwell from."));
    EXPECT_EQ(lines[5], QString());
    EXPECT_EQ(lines[6], QStringLiteral("TIA"));
    EXPECT_EQ(lines[7], QStringLiteral("New versions: see Tintwell's README."));
    EXPECT_TRUE(about.Memo1->isReadOnly());
    EXPECT_TRUE(about.Memo1->font().bold());

    about.show();
    // Every line is visible: nothing to scroll either way.
    EXPECT_EQ(about.Memo1->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(about.Memo1->horizontalScrollBar()->maximum(), 0);
    EXPECT_GE(about.Memo1->geometry().top(), 250);
    EXPECT_LE(about.Memo1->geometry().bottom(), about.Panel1->geometry().top());
    EXPECT_EQ(about.Panel1->geometry().bottom(), 409);
    EXPECT_TRUE(
        about.Panel1->geometry().contains(about.ButtonClose->geometry().translated(about.Panel1->pos())));
    EXPECT_FALSE(about.Label1->geometry().intersects(about.ButtonClose->geometry()));

    // Centred on the screen.
    const QRect screen = about.screen()->availableGeometry();
    EXPECT_LE((about.frameGeometry().center() - screen.center()).manhattanLength(), 2);
    about.close();
}

TEST(About, FadesInFromWhiteToBlackOverThirtyTwoTicks) {
    TAbout about;
    EXPECT_EQ(about.FadeLevel(), 255);
    EXPECT_EQ(about.TextColor(), Grey(255));

    about.show();
    EXPECT_TRUE(about.Timer1->isActive());
    EXPECT_EQ(about.Timer1->interval(), 1000);

    about.Timer1Timer();
    EXPECT_EQ(about.FadeLevel(), 247);
    EXPECT_EQ(about.TextColor(), Grey(247));
    for (int tick = 2; tick <= 31; ++tick)
        about.Timer1Timer();
    EXPECT_EQ(about.FadeLevel(), 7);
    EXPECT_EQ(about.TextColor(), Grey(7));

    about.Timer1Timer(); // the 32nd takes it below 0
    EXPECT_LT(about.FadeLevel(), 0);
    EXPECT_EQ(about.TextColor(), Grey(0));
    const int32_t finalLevel = about.FadeLevel();
    about.Timer1Timer();
    about.Timer1Timer();
    EXPECT_EQ(about.FadeLevel(), finalLevel);
    EXPECT_EQ(about.TextColor(), Grey(0));
    about.close();
}

TEST(About, EachShowingRestartsTheFadeFromWhite) {
    TAbout about;
    for (int showing = 0; showing < 2; ++showing) {
        about.show();
        EXPECT_TRUE(about.Timer1->isActive());
        EXPECT_EQ(about.FadeLevel(), 255);
        EXPECT_EQ(about.TextColor(), Grey(255));
        for (int tick = 0; tick < (showing == 0 ? 40 : 5); ++tick)
            about.Timer1Timer();
        EXPECT_NE(about.TextColor(), Grey(255));
        about.close();
        EXPECT_FALSE(about.Timer1->isActive());
    }
}

TEST(About, CloseButtonAcceptsAndTheLinkClosesTheBoxForTheHelpBook) {
    TAbout about;
    EXPECT_TRUE(about.ButtonClose->isDefault());
    EXPECT_EQ(about.ButtonClose->text(), QStringLiteral("Close"));

    QFont font = about.Label1->font();
    EXPECT_EQ(font.pixelSize(), 16);
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(about.Label1->palette().color(QPalette::WindowText), QColor(192, 192, 192));

    twtest::UrlCatcher browser(QStringLiteral("https"));
    int helpShown = 0;
    about.OnShowHelp = [&] {
        EXPECT_FALSE(about.isVisible()) << "a modal box would block the help window";
        ++helpShown;
    };
    about.show();
    Click(about.Label1);
    EXPECT_EQ(helpShown, 1);
    EXPECT_TRUE(browser.Opened.isEmpty());

    about.show();
    about.ButtonClose->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(About, VersionCaption) {
    EXPECT_EQ(TAbout::VersionCaption(QStringLiteral("1.2.3")), QStringLiteral("Version: 1.2.3"));
    try {
        TAbout::VersionCaption(QString());
        FAIL() << "an empty version must be reported";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("VERSIONSINFO SAKNAS!!! SLÅ PÅ DET I DITT PROJEKT"));
    }
}
