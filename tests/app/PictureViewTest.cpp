// The main window's zoom, status bar, "Show all parts", keys, last folder and
// command-line picture.

#include "app/HelpViewer.h"
#include "app/TintwellApplication.h"
#include "app/WindowDriver.h"
#include "colour/ColourProfile.h"
#include "platform/DeferredCalls.h"
#include "platform/PictureFile.h"
#include "platform/ZoomedPainter.h"
#include "support/IccProfiles.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

struct Window : twtest::TWindow {
    explicit Window(QStringList arguments = {}, bool shown = true) : TWindow(std::move(arguments)) {
        if (shown) {
            window->resize(860, 620);
            window->show();
            QApplication::setActiveWindow(window.get());
            EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        }
        Settle();
    }
    // A turn over the picture; a plain one goes to the viewport, which scrolls
    // (events sent by hand do not travel up to a parent).
    void Wheel(QPoint viewportPos, int turn, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        QWidget* viewport = View().viewport();
        QWidget* target = modifiers == Qt::NoModifier ? viewport : &Surface();
        const QPoint pos = target->mapFrom(viewport, viewportPos);
        QWheelEvent event(pos, viewport->mapToGlobal(viewportPos), {}, {0, turn}, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
        Settle();
    }
    // The picture point (in zoomed-out picture pixels, as reals) shown at a viewport position.
    QPointF PictureAt(QPoint viewportPos) {
        const double f = View().ZoomFactor();
        return {(View().horizontalScrollBar()->value() + viewportPos.x()) / f,
                (View().verticalScrollBar()->value() + viewportPos.y()) / f};
    }
    void NewPicture(int width, int height) {
        Doc().NewDocument(tw::Bitmap(width, height, 0x5080C0), QString());
        Settle();
    }
};

// Equal but for the rounding of scroll positions.
bool Near(QPointF a, QPointF b, double tolerance) {
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

} // namespace

TEST(PictureView, ZoomKeepsThePointUnderTheCursorOrTheCentre) {
    Window w;
    w.NewPicture(800, 600);
    const QPoint cursor(230, 170);
    const QPointF under = w.PictureAt(cursor);
    for (int step = 5; step <= 9; ++step) {
        w.Wheel(cursor, 120);
        ASSERT_EQ(w.View().ZoomStep(), step);
        EXPECT_TRUE(Near(w.PictureAt(cursor), under, 1.0 / w.View().ZoomFactor() + 0.01));
    }
    w.Wheel(cursor, -240);
    EXPECT_EQ(w.View().ZoomStep(), 7);
    const int scrolled = w.View().verticalScrollBar()->value();
    w.Wheel(cursor, -120, Qt::NoModifier); // a plain turn scrolls
    EXPECT_EQ(w.View().ZoomStep(), 7);
    EXPECT_GT(w.View().verticalScrollBar()->value(), scrolled);

    // The tool bar's zoom keeps the centre of what is shown.
    const QPointF middle = w.PictureAt(w.View().ViewCentre());
    w.Action("zoomOut")->trigger();
    EXPECT_EQ(w.View().ZoomStep(), 6);
    EXPECT_TRUE(Near(w.PictureAt(w.View().ViewCentre()), middle, 1.0));
}

TEST(PictureView, KeysFitZoomAndOpenedPicturesShowWhole) {
    twtest::TempDir dir;
    Window w;
    w.NewPicture(1200, 300);
    const QSize room = w.View().maximumViewportSize();
    w.Key(Qt::Key_0, Qt::ControlModifier);
    const uint8_t fit = w.View().ZoomStep();
    EXPECT_LE(w.Surface().width(), room.width());
    EXPECT_LE(w.Surface().height(), room.height());
    EXPECT_GT(Round(1200 * tw::ZoomFactor(fit + 1)), room.width()) << "the largest that fits";
    w.Key(Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(w.View().ZoomStep(), fit + 1);
    w.Key(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(w.View().ZoomStep(), fit);
    w.Key(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(w.View().ZoomStep(), 4);
    EXPECT_EQ(w.Surface().width(), 1200);

    // A picture opened at 10x is shown whole; a small one at its own size. The
    // status bar names a larger file's own size beside the size worked on.
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(1600, 1200, 0x5080C0), dir.Path("big.bmp")));
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(40, 30, 0x5080C0), dir.Path("small.bmp")));
    w.View().ZoomTo(9, {0, 0});
    w.Open(QString::fromStdString(dir.Path("big.bmp")));
    EXPECT_LE(w.Surface().width(), room.width());
    EXPECT_LE(w.Surface().height(), room.height());
    EXPECT_EQ(w.View().horizontalScrollBar()->value(), 0);
    EXPECT_EQ(w.Label("pictureSize"), QStringLiteral("800 × 600 pixels (own size 1600 × 1200)"));
    w.View().ZoomTo(9, {0, 0});
    w.Open(QString::fromStdString(dir.Path("small.bmp")));
    EXPECT_EQ(w.View().ZoomStep(), 4);
}

TEST(PictureView, StatusBarAndShowAllParts) {
    Window w;
    EXPECT_TRUE(w.Action("showAllParts")->isChecked()) << "every part is on show by default";
    w.Action("showAllParts")->trigger(); // the selected ones only, for what follows
    EXPECT_EQ(w.Status(), QStringLiteral("Zoom 100 % | 400 × 400 pixels | 1 of 1 part shown"));
    tw::Bitmap a(400, 400), b(400, 400);
    a.FillRect(QRect(0, 0, 20, 20), 0x0000AA);
    b.FillRect(QRect(100, 100, 20, 20), 0x00AA00);
    w.Doc().AddGrownPart(a, {0, 0});
    w.Doc().AddGrownPart(b, {0, 0}); // the only one selected now
    w.Settle();
    w.View().ZoomTo(7, {0, 0});
    EXPECT_EQ(w.Status(), QStringLiteral("Zoom 250 % | 400 × 400 pixels | 1 of 3 parts shown"));
    const tw::Bitmap selectedOnly = w.ViewBitmap();
    EXPECT_NE(selectedOnly.Pixel(10, 10), 0x0000AAu);

    EXPECT_FALSE(w.Action("showAllParts")->isChecked());
    w.Action("showAllParts")->trigger();
    w.Settle();
    EXPECT_EQ(w.ViewBitmap().Pixel(10, 10), 0x0000AAu);
    EXPECT_EQ(w.ViewBitmap().Pixel(110, 110), 0x00AA00u);
    EXPECT_TRUE(w.Status().endsWith(QStringLiteral("3 of 3 parts shown")));
    // An erase over a part that is not current leaves that part in view.
    w.Key(Qt::Key_E);
    w.Click({25, 25});
    EXPECT_EQ(w.ViewBitmap().Pixel(10, 10), 0x0000AAu);

    w.Action("showAllParts")->trigger();
    w.Settle();
    EXPECT_TRUE(w.ViewBitmap() == selectedOnly) << "off again: only the selected parts, as before";
    EXPECT_TRUE(w.Status().endsWith(QStringLiteral("1 of 3 parts shown")));
}

TEST(PictureView, ToolKeysAndEveryShortcutInAMenu) {
    Window w;
    w.Key(Qt::Key_F);
    EXPECT_TRUE(w.Action("fill")->isChecked());
    w.Key(Qt::Key_E);
    EXPECT_TRUE(w.Action("erase")->isChecked());
    w.Key(Qt::Key_B);
    EXPECT_TRUE(w.Action("brush")->isChecked());
    EXPECT_TRUE(w.Action("largeBrush")->isChecked());
    for (int key : {Qt::Key_BracketRight, Qt::Key_BracketLeft, Qt::Key_BracketLeft, Qt::Key_BracketLeft})
        w.Key(key); // no step past either end
    EXPECT_TRUE(w.Action("smallBrush")->isChecked());
    w.Key(Qt::Key_BracketRight);
    EXPECT_TRUE(w.Action("mediumBrush")->isChecked());

    w.Doc().AddBlankPart();
    w.Key(Qt::Key_Delete);
    EXPECT_EQ(w.Doc().PartCount(), 1);

    // Every key shows in a menu item.
    QList<QAction*> inMenus = twtest::Child<QMenu>(w.window.get(), "partsMenu")->actions();
    for (QAction* menu : w->menuBar()->actions())
        for (QAction* item : menu->menu()->actions())
            inMenus += item->menu() ? item->menu()->actions() : QList<QAction*>{item};
    for (QAction* a : w->actions())
        if (!a->shortcut().isEmpty()) {
            EXPECT_TRUE(inMenus.contains(a)) << a->text().toStdString();
        }

    tw::THelpViewer help(QStringLiteral(":/help/"), QStringLiteral("What_is_Tintwell.htm"));
    help.show();
    QApplication::setActiveWindow(&help);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&help));
    QTest::keyClick(&help, Qt::Key_Escape);
    EXPECT_FALSE(help.isVisible());
}

TEST(PictureView, DialogsStartInTheLastFolderAndPartsOfferPngFirst) {
    twtest::TempDir a, b;
    Window w({}, false);
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(50, 40, 0x5080C0), a.Path("p.png")));
    w.Open(QString::fromStdString(a.Path("p.png")));
    // Where the next dialog starts, as the save dialogs are told.
    const auto folder = [&] {
        w.saveChoice.clear();
        w.Trigger("savePicture");
        return w.saveFolders.back();
    };
    EXPECT_EQ(folder(), a.Dir().path());
    w.SavePicture(QString::fromStdString(b.Path("out.png")));
    ASSERT_TRUE(twtest::FileExists(b.Path("out.png")));
    EXPECT_EQ(folder(), b.Dir().path());
    w.LoadPart(QString::fromStdString(a.Path("p.png")));
    EXPECT_EQ(folder(), a.Dir().path());

    const QStringList picture = TDialogPrompts::SaveFilters(QStringLiteral("Save Picture"));
    const QStringList part = TDialogPrompts::SaveFilters(TDialogPrompts::PartSaveCaption());
    EXPECT_EQ(picture.first(), QStringLiteral("JPEG Image File (*.jpg)"));
    EXPECT_EQ(part.first(), QStringLiteral("PNG Image File (*.png)"));
    EXPECT_EQ(QSet<QString>(picture.begin(), picture.end()), QSet<QString>(part.begin(), part.end()));
}

TEST(PictureView, ACommandLinePictureOpensAtStartUp) {
    twtest::TempDir dir;
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(300, 200, 0x5080C0), dir.Path("photo.bmp")));
    EXPECT_EQ(TMainWindow::PictureArgument({QStringLiteral("/close")}), QString());
    EXPECT_EQ(TMainWindow::PictureArgument({QStringLiteral("-DEBUG"), QStringLiteral("x.jpg")}),
              QStringLiteral("x.jpg"));
    {
        Window w({QStringLiteral("/debug"), QString::fromStdString(dir.Path("photo.bmp"))});
        EXPECT_EQ(w.Picture().Width(), 300);
        EXPECT_EQ(w.Label("fileName"), QString::fromStdString(dir.Path("photo.bmp")));
    }

    auto* app = static_cast<TTintwellApplication*>(QCoreApplication::instance());
    const auto saved = app->ShowError;
    std::vector<std::string> errors;
    app->ShowError = [&](const std::string& m) { errors.push_back(m); };
    {
        Window w({QString::fromStdString(dir.Path("missing.jpg"))});
        EXPECT_EQ(w.Picture().Width(), 400) << "the start picture stays";
        EXPECT_TRUE(w->isVisible());
    }
    app->ShowError = saved;
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("missing.jpg"), std::string::npos) << errors[0];
}

// A photo with a wide-gamut profile is shown converted to the screen, while
// the read-outs give its own values; one without a profile is shown as it is.
TEST(PictureView, ProfiledPhotosAreShownConvertedAndReadInTheirOwnValues) {
    Window w;
    const TColorValue own = RGBToColor(200, 40, 30);
    tw::TPictureMetadata wide;
    wide.IccProfile = twtest::WideGamutProfile();
    for (const bool profiled : {true, false}) {
        SCOPED_TRACE(profiled);
        w.Doc().NewDocument(tw::Bitmap(200, 150, own), QString(), true, {},
                            profiled ? wide : tw::TPictureMetadata());
        w.Settle();
        w.MoveTo({170, 140}); // away from the marks at the corner looked at
        w.Surface().Repaint();
        EXPECT_EQ(w.View().ColourUnderCursor(), own);
        const QPoint o = w.Surface().BufferArea().topLeft();
        const TColorValue shown = w.Surface().Buffer().Pixel(o.x() + 5, o.y() + 5);
        EXPECT_EQ(shown, profiled ? TColourProfile(wide.IccProfile).ToSrgb(own) : own);
        EXPECT_NE(TColourProfile(wide.IccProfile).ToSrgb(own), own);
    }
}
