// The main window's zoom, status bar, "Show all parts", keys, last folder and
// command-line picture.

#include "app/HelpViewer.h"
#include "app/TintwellApplication.h"
#include "app/WindowDriver.h"
#include "colour/ColourProfile.h"
#include "document/ViewTiles.h"
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

namespace {

// Waits, running the event loop, until the view has composed what it shows.
bool WaitUntilSharp(Window& w) {
    for (int i = 0; i < 2000 && !(w.View().IsSharp() && !w.View().Tiles().Busy()); ++i) {
        QTest::qWait(5);
        w.Settle();
    }
    w.Surface().Repaint();
    return w.View().IsSharp();
}

// How many of the view's painted pixels differ from a picture of the
// surface's size at the same place (at 100 % the photo-sized one).
int Differences(Window& w, const tw::Bitmap& expected) {
    const tw::Bitmap& shown = w.Surface().Buffer();
    const QPoint o = w.Surface().BufferArea().topLeft();
    int differ = 0;
    for (int y = 0; y < w.Surface().BufferArea().height(); ++y)
        for (int x = 0; x < w.Surface().BufferArea().width(); ++x)
            differ += shown.Pixel(x, y) != expected.Pixel(o.x() + x, o.y() + y);
    return differ;
}

// A photo of fine stripes (at 1600 x 1200: working picture 800 x 600).
tw::Bitmap StripedPhoto(int width = 1600, int height = 1200) {
    tw::Bitmap photo(width, height);
    for (int y = 0; y < photo.Height(); ++y)
        for (int x = 0; x < photo.Width(); ++x)
            photo.SetPixel(x, y,
                           RGBToColor((x * 7 + y) % 200 + 30, (y * 3) % 180 + 40, (x + 2 * y) % 150 + 60));
    return photo;
}

// A part brushed in the middle of the working picture and recoloured, then the
// photo at 100 % across the part's left border.
void BrushAPartAndShowItsBorder(Window& w) {
    w.Doc().BeginStroke();
    w.Doc().Dab(TStrokeKind::Brush, QPoint(400, 300), 60);
    w.Doc().EndStroke();
    w.Doc().ChangeColor(TTintwellSettings::Initial());
    w.Key(Qt::Key_1, Qt::ControlModifier);
    w.View().horizontalScrollBar()->setValue(500);
    w.View().verticalScrollBar()->setValue(400);
}

} // namespace

// At the photo's own size the view shows the pixels "Save Full-Size Picture..."
// writes, kept so through an edit; Show Original shows the photo's own.
TEST(PictureView, AtThePhotosOwnSizeTheViewShowsTheFullSizeResult) {
    twtest::TempDir dir;
    const tw::Bitmap photo = StripedPhoto();
    ASSERT_TRUE(tw::SavePicture(photo, dir.Path("photo.png")));
    Window w;
    w.Open(QString::fromStdString(dir.Path("photo.png")));
    ASSERT_EQ(w.Picture().Width(), 800);
    BrushAPartAndShowItsBorder(w);
    EXPECT_DOUBLE_EQ(w.View().PhotoZoom(), 1.0);
    EXPECT_EQ(w.Surface().width(), 1600);
    EXPECT_EQ(w.Label("zoom"), QStringLiteral("Zoom 100 %"));
    ASSERT_TRUE(w.View().ShowsPhotoPixels());
    ASSERT_TRUE(WaitUntilSharp(w));
    std::optional<tw::Bitmap> saved = w.Doc().ComposeFullSizeResult();
    ASSERT_TRUE(saved);
    ASSERT_NE(Differences(w, photo), 0) << "the part is in view";
    EXPECT_EQ(Differences(w, *saved), 0);

    // A colour change drops the part's tiles only; a dab the tiles it reaches.
    ASSERT_TRUE(w.View().Tiles().Tile({1, 1}) && w.View().Tiles().Tile({3, 2}));
    w.Doc().ChangeColor(TTintwellSettings(200, false, false, 0, 0, false));
    EXPECT_TRUE(w.View().Tiles().Tile({1, 1})) << "far from the part";
    EXPECT_FALSE(w.View().Tiles().Tile({3, 2})) << "on the part";
    ASSERT_TRUE(WaitUntilSharp(w));
    saved = w.Doc().ComposeFullSizeResult();
    EXPECT_EQ(Differences(w, *saved), 0);
    w.Doc().BeginStroke();
    w.Doc().Dab(TStrokeKind::Erase, QPoint(345, 300), 4);
    w.Doc().EndStroke();
    ASSERT_TRUE(WaitUntilSharp(w));
    saved = w.Doc().ComposeFullSizeResult();
    EXPECT_EQ(Differences(w, *saved), 0);

    w.Key(Qt::Key_Backslash);
    w.Settle();
    EXPECT_TRUE(w.View().ShowsOriginal());
    EXPECT_EQ(w.Label("zoom"), QStringLiteral("Zoom 100 %, original shown"));
    w.Surface().Repaint();
    EXPECT_EQ(Differences(w, photo), 0);
    w.Key(Qt::Key_Backslash);

    // The steps go on to 400 % of the photo; Ctrl+0 fits it again.
    w.View().ZoomTo(w.View().ZoomStepCount() - 1);
    EXPECT_GE(w.View().PhotoZoom(), 4.0);
    w.Key(Qt::Key_0, Qt::ControlModifier);
    EXPECT_LE(w.Surface().width(), w.View().maximumViewportSize().width());
}

// Without the picture behind the parts, the view at 100 % shows the parts
// over white as the full-size composition draws them, white away from them;
// the tiles over the picture are kept for when it is back.
TEST(PictureView, WithoutThePictureBehindThePartsTheyAreShownOverWhiteAtFullSize) {
    Window w;
    const tw::Bitmap photo = StripedPhoto();
    w.Doc().NewDocument(tw::ReduceToWorkingSize(photo), QString(), true, photo);
    BrushAPartAndShowItsBorder(w);
    ASSERT_TRUE(WaitUntilSharp(w));
    w.Trigger("originalInBackground");
    ASSERT_FALSE(w.View().ShowsPicture());
    ASSERT_TRUE(w.View().ShowsPhotoPixels());
    ASSERT_TRUE(WaitUntilSharp(w));
    TFullSizeOptions overWhite;
    overWhite.Background = 0xFFFFFFFFu;
    const std::optional<tw::Bitmap> expected = w.Doc().ComposeFullSizeResult(overWhite);
    ASSERT_TRUE(expected);
    EXPECT_EQ(Differences(w, *expected), 0);
    EXPECT_EQ(w.Surface().Buffer().Pixel(20, 20), tw::kWhite) << "far from the part";
    EXPECT_NE(Differences(w, *w.Doc().ComposeFullSizeResult()), 0);

    w.Trigger("originalInBackground");
    EXPECT_TRUE(w.View().IsSharp()) << "the tiles over the picture were kept";
}

// The original of a photo with a colour profile comes at 100 % from tiles
// converted to the screen on the worker, not in a paint.
TEST(PictureView, TheOriginalOfAProfiledPhotoIsConvertedOnTheWorker) {
    Window w;
    const tw::Bitmap photo = StripedPhoto();
    tw::TPictureMetadata wide;
    wide.IccProfile = twtest::WideGamutProfile();
    w.Doc().NewDocument(tw::ReduceToWorkingSize(photo), QString(), true, photo, wide);
    BrushAPartAndShowItsBorder(w);
    w.Key(Qt::Key_Backslash);
    ASSERT_TRUE(WaitUntilSharp(w));
    EXPECT_TRUE(w.View().Tiles().Tile({2, 1}, TViewLayer::Original));
    tw::Bitmap onScreen;
    onScreen.Assign(photo);
    w.Doc().Profile().ToScreen(onScreen, onScreen.Rect());
    EXPECT_EQ(Differences(w, onScreen), 0);
}

// Below the photo's own size the view shows the full-size result reduced with
// the view's smoothing, exactly as the whole result reduced at once: where
// tile edges fall on whole screen pixels (75 % and 50 % here) and where they
// do not (66 2/3 % and 83 1/3 %).
TEST(PictureView, BelowThePhotosOwnSizeTheViewShowsTheFullSizeResultReduced) {
    for (const int width : {1600, 2400}) {
        Window w;
        const tw::Bitmap photo = StripedPhoto(width, width * 3 / 4);
        w.Doc().NewDocument(tw::ReduceToWorkingSize(photo), QString(), true, photo);
        BrushAPartAndShowItsBorder(w);
        const std::optional<tw::Bitmap> saved = w.Doc().ComposeFullSizeResult();
        ASSERT_TRUE(saved);
        for (int step = 0; step < w.View().ZoomStepCount(); ++step) {
            w.View().ZoomTo(step);
            if (w.View().ZoomFactor() <= 1 || w.View().PhotoZoom() >= 1) continue;
            SCOPED_TRACE(w.View().PhotoZoom());
            w.View().horizontalScrollBar()->setValue(300);
            w.View().verticalScrollBar()->setValue(200);
            ASSERT_TRUE(WaitUntilSharp(w));
            tw::Bitmap reduced(w.Surface().width(), w.Surface().height());
            reduced.StretchHalftone(reduced.Rect(), *saved, saved->Rect());
            EXPECT_EQ(Differences(w, reduced), 0);
            const double f = w.View().ZoomFactor();
            const QRect area = w.Surface().BufferArea();
            int unlikeWorking = 0;
            for (int y = 0; y < area.height(); ++y)
                for (int x = 0; x < area.width(); ++x)
                    unlikeWorking +=
                        reduced.Pixel(area.left() + x, area.top() + y) !=
                        w.View().ViewBitmap().Pixel(int((area.left() + x) / f), int((area.top() + y) / f));
            EXPECT_GT(unlikeWorking, 10000) << "the working-size drawing would not pass";
        }
    }
}

// A block being composed that the view has moved away from is given up and
// never kept, and the block the view moved to follows; one the view still
// shows part of is kept.
TEST(PictureView, ABlockTheViewMovedAwayFromIsGivenUp) {
    Window w;
    const tw::Bitmap photo = StripedPhoto();
    w.Doc().NewDocument(tw::ReduceToWorkingSize(photo), QString(), true, photo);
    TViewTiles tiles([&] { return w.Doc().FullSizeSource(); });
    tiles.SetFullSize(photo.Rect().size());
    const auto settle = [&](const QRect& wanted) {
        for (int i = 0; i < 2000 && (tiles.Busy() || !tiles.Sharp(wanted)); ++i)
            QTest::qWait(5);
        return tiles.Sharp(wanted);
    };
    const QRect corner(0, 0, 256, 256), far(1400, 1000, 200, 200);
    tiles.Want(corner);
    ASSERT_TRUE(tiles.Busy());
    tiles.Want(far);
    ASSERT_TRUE(settle(far));
    EXPECT_FALSE(tiles.Tile({0, 0}));

    tiles.Want(corner);
    const QRect wider = corner.adjusted(0, 0, 256, 0);
    tiles.Want(wider);
    ASSERT_TRUE(settle(wider));
    EXPECT_TRUE(tiles.Tile({0, 0}));
}
