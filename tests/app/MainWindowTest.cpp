#include "app/WindowDriver.h"
#include "colour/HSV.h"
#include "dialogs/ColourSettingsDialog.h"
#include "dialogs/GrowPartDialog.h"
#include "platform/DeferredCalls.h"
#include "platform/PictureError.h"
#include "platform/PictureFile.h"
#include "platform/ZoomedPainter.h"
#include "recolour/PartRecolourer.h"
#include "resources/StartPicture.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

namespace {

constexpr tw::ColorValue kRed = 0x0000FF;
constexpr tw::ColorValue kSkin = 0x5080C0; // an ordinary, non-white picture colour

struct Window : twtest::TWindow {
    explicit Window(QStringList arguments = {}) : TWindow(std::move(arguments)) { answerQuit = false; }
    // A uniform picture of the start size, so that recoloured pixels are easy to predict.
    void UniformPicture(tw::ColorValue c) {
        SetPicture(tw::Bitmap(Picture().Width(), Picture().Height(), c));
    }
    // The picture lives in the document: a new one starts it over with one blank part.
    void SetPicture(tw::Bitmap picture) {
        Doc().NewDocument(std::move(picture), QString());
        Settle();
    }
};

// Pixels of a part bitmap that are in the part.
std::vector<QPoint> PartPixels(const tw::Bitmap& b) {
    std::vector<QPoint> out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (b.Pixel(x, y) != tw::kWhite) out.emplace_back(x, y);
    return out;
}

bool CoversExactly(const tw::Bitmap& b, const QRect& square) {
    const std::vector<QPoint> pixels = PartPixels(b);
    if (static_cast<long>(pixels.size()) != static_cast<long>(square.width()) * square.height()) return false;
    for (const QPoint& p : pixels)
        if (!square.contains(p)) return false;
    return true;
}

} // namespace

TEST(MainWindow, StartsWithTheStartPictureOnePartAndTheBrush) {
    Window w;
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Tintwell"));
    EXPECT_FALSE(w->CloseRequested());
    EXPECT_TRUE(w.messages.empty());
    EXPECT_EQ(w.Picture().Width(), 400);
    EXPECT_EQ(w.Picture().Height(), 400);
    EXPECT_TRUE(w.Picture() == tw::StartPicture());
    EXPECT_EQ(w.View().ZoomStep(), 4);
    EXPECT_DOUBLE_EQ(w.View().ZoomFactor(), 1.0);
    EXPECT_EQ(w.Surface().width(), 400);
    EXPECT_EQ(w.Surface().height(), 400);
    EXPECT_EQ(w.Doc().CurrentSettings(), TTintwellSettings::Initial());
    EXPECT_TRUE(w.Label("fileName").isEmpty());
    EXPECT_EQ(w.Label("colourAtCursor"), QStringLiteral("Color at cursor"));

    ASSERT_EQ(w.Grid().RowCount(), 2);
    EXPECT_TRUE(w.RowSelected(1));
    EXPECT_EQ(w.Grid().FocusedCell(), w.Cell(1));
    ASSERT_NE(w.PartAt(1), nullptr);
    EXPECT_TRUE(PartPixels(w.PartAt(1)->Bitmap).empty());
    EXPECT_EQ(w.PartAt(1)->Bitmap.Width(), 400);

    EXPECT_TRUE(w.Action("brush")->isChecked());
    EXPECT_FALSE(w.Action("fill")->isChecked());
    EXPECT_FALSE(w.Action("erase")->isChecked());
    EXPECT_TRUE(w.Action("largeBrush")->isChecked());
    EXPECT_FALSE(w.Action("smallBrush")->isChecked());
    EXPECT_FALSE(w.Action("mediumBrush")->isChecked());
    EXPECT_TRUE(w.Action("originalInBackground")->isChecked());
    EXPECT_EQ(w.View().BrushRadius(), 8);
    // The blank part adds nothing: the view is the picture.
    EXPECT_TRUE(w.ViewBitmap() == w.Picture());
}

TEST(MainWindow, CommandsCarryTheirTextsAndKeys) {
    Window w;
    EXPECT_EQ(w.Action("fill")->text(), QStringLiteral("Fill"));
    EXPECT_EQ(w.Action("fill")->toolTip(), QStringLiteral("Find an object by hue or saturation rules"));
    EXPECT_EQ(w.Action("joinSelectedImageParts")->statusTip(), QStringLiteral("Group image parts "));
    EXPECT_EQ(w.Action("openPicture")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(w.Action("savePicture")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(w.Action("help")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_FALSE(w.Action("zoomIn")->icon().isNull());
}

TEST(MainWindow, CloseSwitchOnlyAsExactFirstArgument) {
    {
        Window w({QStringLiteral("/CLOSE")});
        EXPECT_FALSE(w->CloseRequested());
        EXPECT_TRUE(w.messages.empty());
    }
    {
        Window w({QStringLiteral("photo.jpg"), QStringLiteral("/close")});
        EXPECT_FALSE(w->CloseRequested());
        EXPECT_TRUE(w.messages.empty());
        EXPECT_EQ(w.Grid().RowCount(), 2);
    }
    {
        Window w({QStringLiteral("/close")});
        EXPECT_TRUE(w->CloseRequested());
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(
            w.messages[0],
            QStringLiteral(
                "Please save and close Tintwell at this point. Otherwise the update cannot be applied."));
    }
    EXPECT_FALSE(TMainWindow::IsCloseSwitch({}));
}

TEST(MainWindow, EnablingFollowsTheCurrentCellSelectionAndZoom) {
    Window w;
    // With a current part everything runs, except Join with one selected row.
    for (QAction* a : {w.Action("brush"), w.Action("erase"), w.Action("changeColor"),
                       w.Action("deleteImagePart"), w.Action("saveImagePart")})
        EXPECT_TRUE(w.Enabled(a)) << a->text().toStdString();
    EXPECT_FALSE(w.Enabled("joinSelectedImageParts"));
    w.Trigger("addImagePart");
    w.AddToSelection(1);
    EXPECT_EQ(w.Doc().SelectedCount(), 2);
    EXPECT_TRUE(w.Enabled("joinSelectedImageParts"));

    // No current cell: the part commands go, the rest stays.
    w.Grid().SetFocusedCell(nullptr);
    for (QAction* a :
         {w.Action("brush"), w.Action("erase"), w.Action("changeColor"), w.Action("deleteImagePart"),
          w.Action("joinSelectedImageParts"), w.Action("saveImagePart")})
        EXPECT_FALSE(w.Enabled(a)) << a->text().toStdString();
    for (QAction* a :
         {w.Action("fill"), w.Action("smallBrush"), w.Action("mediumBrush"), w.Action("largeBrush"),
          w.Action("addImagePart"), w.Action("loadImagePart"), w.Action("originalInBackground"),
          w.Action("zoomIn"), w.Action("zoomOut"), w.Action("help"), w.Action("about"), w.Action("exit"),
          w.Action("openPicture"), w.Action("savePicture")})
        EXPECT_TRUE(w.Enabled(a)) << a->text().toStdString();
    // Disabling keeps the mode: Brush stays checked.
    EXPECT_TRUE(w.Action("brush")->isChecked());

    // Zoom limits, reached through the commands.
    for (int i = 0; i < 12; ++i)
        if (w.Enabled("zoomIn")) w.Trigger("zoomIn");
    EXPECT_EQ(w.View().ZoomStep(), 9);
    EXPECT_FALSE(w.Enabled("zoomIn"));
    EXPECT_EQ(w.Surface().width(), 4000);
    w.Trigger("zoomIn"); // disabled: a direct run changes nothing either
    EXPECT_EQ(w.View().ZoomStep(), 9);
    for (int i = 0; i < 12; ++i)
        if (w.Enabled("zoomOut")) w.Trigger("zoomOut");
    EXPECT_EQ(w.View().ZoomStep(), 0);
    EXPECT_FALSE(w.Enabled("zoomOut"));
    EXPECT_TRUE(w.Enabled("zoomIn"));
    EXPECT_EQ(w.Surface().width(), 20);
}

TEST(MainWindow, ModesAndSizesAreRadioGroupsAndExitAsksFirst) {
    Window w;
    w.Trigger("erase");
    EXPECT_TRUE(w.Action("erase")->isChecked());
    EXPECT_FALSE(w.Action("brush")->isChecked());
    w.Trigger("fill");
    EXPECT_TRUE(w.Action("fill")->isChecked());
    EXPECT_FALSE(w.Action("erase")->isChecked());
    // Triggering from the tool bar goes the same way (Qt's own toggle does not count).
    w.Action("fill")->trigger();
    EXPECT_TRUE(w.Action("fill")->isChecked());
    w.Action("fill")->trigger(); // a second click leaves it on
    EXPECT_TRUE(w.Action("fill")->isChecked());
    auto* fillButton = qobject_cast<QToolButton*>(
        twtest::Child<QToolBar>(w.window.get(), "ToolBarTools")->widgetForAction(w.Action("fill")));
    ASSERT_NE(fillButton, nullptr);
    EXPECT_TRUE(fillButton->isChecked());
    w.Action("brush")->trigger();
    EXPECT_TRUE(w.Action("brush")->isChecked());
    EXPECT_FALSE(w.Action("fill")->isChecked());

    w.Trigger("smallBrush");
    EXPECT_EQ(w.View().BrushRadius(), 2);
    w.Action("mediumBrush")->trigger();
    EXPECT_EQ(w.View().BrushRadius(), 4);
    EXPECT_FALSE(w.Action("smallBrush")->isChecked());
    EXPECT_FALSE(w.Action("largeBrush")->isChecked());

    w->show();
    w.answerQuit = false;
    w.Trigger("exit");
    EXPECT_EQ(w.quitQuestions, 1);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w.Grid().RowCount(), 2);
    w.answerQuit = true;
    w.Trigger("exit");
    EXPECT_FALSE(w->isVisible());
}

// The brush square has 2r x 2r pixels, the erase square (2r - 1) x (2r - 1),
// both starting at (px - r, py - r), with r from the zoom and the brush size.
TEST(MainWindow, BrushAndEraseDabsFollowTheRadiusTable) {
    struct Case {
        uint8_t zoom;
        const char* size;
        int r;
    };
    const std::vector<Case> cases = {
        {0, "smallBrush", 40}, {1, "largeBrush", 80}, {2, "mediumBrush", 16}, {3, "largeBrush", 16},
        {4, "largeBrush", 8},  {4, "smallBrush", 2},  {5, "smallBrush", 1},   {5, "mediumBrush", 3},
        {5, "largeBrush", 5},  {7, "largeBrush", 3},  {8, "mediumBrush", 1},  {8, "largeBrush", 2},
        {9, "largeBrush", 1},  {8, "smallBrush", 0},  {9, "smallBrush", 0},   {9, "mediumBrush", 0},
    };
    Window w;
    w.UniformPicture(kSkin);
    const int px = 200, py = 180;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << int(c.zoom) << " r " << c.r);
        w.SetZoom(c.zoom);
        w.Trigger(c.size);
        const double f = tw::ZoomFactor(c.zoom);
        const int X = static_cast<int>(px * f), Y = static_cast<int>(py * f);
        TImagePart& part = *w.PartAt(1);

        w.Trigger("brush");
        w.MoveTo({X, Y}, true);
        EXPECT_EQ(w.View().PictureAt({X, Y}), QPoint(px, py));
        // A brush smaller than one picture pixel takes the pixel under the cross.
        const QRect brushed = c.r > 0 ? QRect(px - c.r, py - c.r, 2 * c.r, 2 * c.r) : QRect(px, py, 1, 1);
        EXPECT_TRUE(CoversExactly(part.Bitmap, brushed));
        if (c.r > 0) {
            const tw::Bitmap source = w.Picture();
            tw::Bitmap scratch(1, 1);
            const TPartRecolourer things(w.Doc().CurrentSettings(), source, scratch);
            EXPECT_EQ(part.Bitmap.Pixel(px, py), things.TransformColor(kSkin));
            // The view shows the painted square at once, without a rebuild.
            EXPECT_EQ(w.ViewBitmap().Pixel(px + c.r - 1, py + c.r - 1), things.TransformColor(kSkin));
        }

        w.Trigger("erase");
        w.MoveTo({X, Y}, true);
        if (c.r > 0) {
            // Only the last row and column of the brush square stay.
            const std::vector<QPoint> left = PartPixels(part.Bitmap);
            EXPECT_EQ(static_cast<int>(left.size()), 4 * c.r - 1);
            for (const QPoint& p : left)
                EXPECT_TRUE(p.x() == px + c.r - 1 || p.y() == py + c.r - 1);
            EXPECT_EQ(w.ViewBitmap().Pixel(px - c.r, py - c.r), kSkin);
        } else {
            EXPECT_TRUE(PartPixels(part.Bitmap).empty());
        }
        part.Bitmap.Fill(tw::kWhite);
    }
}

// Zoomed in past the brush size, a dab still changes what the cross points at:
// the picture pixel whose enlarged square holds the cursor, even where rounding
// the cursor position would name its neighbour.
TEST(MainWindow, AZoomedInDabTakesThePixelUnderTheCross) {
    Window w;
    w.UniformPicture(kSkin);
    tw::Bitmap scratch(1, 1);
    const TPartRecolourer things(w.Doc().CurrentSettings(), w.Picture(), scratch);
    struct Case {
        uint8_t zoom;
        const char* size;
        QPoint view, under;
    };
    for (const Case& c :
         {Case{9, "smallBrush", {2007, 1806}, {200, 180}}, Case{9, "mediumBrush", {1999, 1800}, {199, 180}},
          Case{8, "smallBrush", {503, 304}, {100, 60}}}) {
        SCOPED_TRACE(testing::Message()
                     << "zoom " << int(c.zoom) << " at " << c.view.x() << "," << c.view.y());
        w.SetZoom(c.zoom);
        w.Trigger(c.size);
        TImagePart& part = *w.PartAt(1);
        w.Trigger("brush");
        w.MoveTo(c.view, true);
        EXPECT_TRUE(CoversExactly(part.Bitmap, QRect(c.under, QSize(1, 1))));
        EXPECT_EQ(w.ViewBitmap().Pixel(c.under.x(), c.under.y()), things.TransformColor(kSkin));
        w.Trigger("erase");
        w.MoveTo(c.view, true);
        EXPECT_TRUE(PartPixels(part.Bitmap).empty());
        EXPECT_EQ(w.ViewBitmap().Pixel(c.under.x(), c.under.y()), kSkin);
    }

    // Scrolled to 1235, the view starts with picture pixel Round(123.5) = 124 at
    // 1235: the cross at 1236 stands on 124 there, not on 1236 / 10 = 123.
    w->show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    w.SetZoom(9);
    w.Trigger("smallBrush");
    w.Trigger("brush");
    for (QScrollBar* bar : {w.View().horizontalScrollBar(), w.View().verticalScrollBar()}) {
        ASSERT_TRUE(bar->isVisible());
        bar->setValue(1235);
    }
    w.MoveTo({1236, 1236}, true);
    EXPECT_TRUE(CoversExactly(w.PartAt(1)->Bitmap, QRect(124, 124, 1, 1)));
}

TEST(MainWindow, BrushNeedsTheLeftButtonAndACurrentPartAndSkipsWhite) {
    Window w;
    w.UniformPicture(kSkin);
    tw::Bitmap picture = w.Picture();
    picture.SetPixel(100, 100, tw::kWhite);
    w.SetPicture(picture);
    TImagePart& part = *w.PartAt(1);

    w.MoveTo({100, 100}); // moving without the button
    EXPECT_TRUE(PartPixels(part.Bitmap).empty());
    EXPECT_EQ(w.View().PointerPosition(), QPoint(100, 100));

    w.Grid().SetFocusedCell(nullptr);
    w.MoveTo({100, 100}, true);
    EXPECT_TRUE(PartPixels(part.Bitmap).empty());

    w.Select(1);
    w.MoveTo({100, 100}, true);
    EXPECT_EQ(PartPixels(part.Bitmap).size(), 16u * 16u - 1u);
    EXPECT_EQ(part.Bitmap.Pixel(100, 100), tw::kWhite);

    // A dab over the picture's edge keeps to the picture.
    w.MoveTo({398, 2}, true);
    EXPECT_EQ(part.Bitmap.Pixel(399, 0) != tw::kWhite, true);
    EXPECT_EQ(part.Bitmap.Width(), 400);

    // Fill mode paints nothing.
    part.Bitmap.Fill(tw::kWhite);
    w.Trigger("fill");
    w.MoveTo({200, 200}, true);
    EXPECT_TRUE(PartPixels(part.Bitmap).empty());
}

TEST(MainWindow, FillClickHandsTheSeedToTheMaskDialog) {
    Window w;
    auto* dialog = w->findChild<TGrowPartDialog*>();
    ASSERT_NE(dialog, nullptr);
    int shown = 0;
    QPoint seed;
    const auto cancelWhenShown = [&] {
        PressWhen(
            [&] {
                if (!dialog->isVisible() || dialog->Walking()) return false;
                ++shown;
                seed = dialog->Seed();
                return true;
            },
            twtest::Child<QPushButton>(dialog, "cancel"));
    };
    // Brush mode: a click does nothing.
    w.Click({10, 10});
    EXPECT_EQ(shown, 0);
    EXPECT_FALSE(dialog->isVisible());

    w.Trigger("fill");
    w.SetZoom(6); // factor 2: 61 / 2 = 30.5 rounds to even 30, 47 / 2 = 23.5 to 24
    cancelWhenShown();
    w.Click({61, 47});
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(seed, QPoint(30, 24));
    EXPECT_TRUE(dialog->Source() == w.Picture());
    EXPECT_EQ(w.PartAt(2), nullptr) << "Cancel adds nothing";
}

TEST(MainWindow, ViewShowsSelectedPartsLowerNumbersOnTopAndTheBackgroundToggle) {
    Window w;
    w.Action("showAllParts")->trigger(); // the selected parts only
    w.UniformPicture(kSkin);
    tw::Bitmap a(400, 400), b(400, 400);
    a.FillRect(QRect(0, 0, 20, 20), 0x0000AA);
    b.FillRect(QRect(10, 10, 20, 20), 0x00AA00);
    w.Doc().AddGrownPart(a, {0, 0}); // part 2
    w.Doc().AddGrownPart(b, {0, 0}); // part 3
    TDeferredCalls::RunQueue();
    // Adding makes the new part the only selected row and the current cell.
    EXPECT_FALSE(w.RowSelected(1));
    EXPECT_FALSE(w.RowSelected(2));
    EXPECT_TRUE(w.RowSelected(3));
    EXPECT_EQ(w.Grid().FocusedCell(), w.Cell(3));
    EXPECT_EQ(w.ViewBitmap().Pixel(5, 5), kSkin); // part 2 is not shown
    EXPECT_EQ(w.ViewBitmap().Pixel(15, 15), 0x00AA00u);

    w.AddToSelection(2);
    TDeferredCalls::RunQueue();
    EXPECT_EQ(w.ViewBitmap().Pixel(5, 5), 0x0000AAu);
    EXPECT_EQ(w.ViewBitmap().Pixel(15, 15), 0x0000AAu); // the lower number lies on top
    EXPECT_EQ(w.ViewBitmap().Pixel(25, 25), 0x00AA00u);
    EXPECT_EQ(w.ViewBitmap().Pixel(100, 100), kSkin);

    w.Trigger("originalInBackground");
    EXPECT_FALSE(w.Action("originalInBackground")->isChecked());
    EXPECT_EQ(w.ViewBitmap().Pixel(100, 100), tw::kWhite);
    EXPECT_EQ(w.ViewBitmap().Pixel(15, 15), 0x0000AAu);

    // Erasing with the background off whitens the square even over part 3,
    // until the next rebuild.
    w.Trigger("erase");
    w.MoveTo({24, 24}, true); // the current part is 2; r = 8
    EXPECT_EQ(w.ViewBitmap().Pixel(24, 24), tw::kWhite);
    EXPECT_EQ(w.ViewBitmap().Pixel(16, 16), tw::kWhite);
    w.View().RedrawLater();
    TDeferredCalls::RunQueue();
    EXPECT_EQ(w.ViewBitmap().Pixel(24, 24), 0x00AA00u);
    EXPECT_EQ(w.ViewBitmap().Pixel(16, 16), 0x00AA00u);

    w.Trigger("originalInBackground");
    EXPECT_TRUE(w.Action("originalInBackground")->isChecked());
    EXPECT_EQ(w.ViewBitmap().Pixel(100, 100), kSkin);

    // Selecting a part makes its settings the current ones.
    TTintwellSettings own;
    own.Hue = 200;
    w.PartAt(1)->Settings = own;
    w.Select(1);
    EXPECT_EQ(w.Doc().CurrentSettings(), own);
}

TEST(MainWindow, ColourLabelsShowThePixelUnderTheCursor) {
    Window w;
    w->show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    w.UniformPicture(kRed);
    w.MoveTo({50, 60});
    w.Surface().Repaint();
    EXPECT_EQ(w.Label("colourAtCursor"), QStringLiteral("R:255  G:0  B:0")) << "no lag behind the paint";
    w.MoveTo({50, 60});
    EXPECT_EQ(w.View().ColourUnderCursor(), kRed);
    EXPECT_EQ(w.Label("colourAtCursor"), QStringLiteral("R:255  G:0  B:0"));
    EXPECT_EQ(w.Label("hsvAtCursor"), QStringLiteral("H:0  S:255  V:255"));

    // The marks: red cross arms, a black frame at the brush size and the centre left free.
    const tw::Bitmap& buffer = w.Surface().Buffer();
    const QPoint o = w.Surface().BufferArea().topLeft();
    auto at = [&](int x, int y) { return buffer.Pixel(x - o.x(), y - o.y()); };
    EXPECT_EQ(at(50, 60), kRed);              // the picture's red, not a mark
    EXPECT_EQ(at(50 - 8, 60 - 8), 0u);        // black frame corner
    EXPECT_EQ(at(50 - 9, 60 - 9), 0x808080u); // grey frame corner
}

TEST(MainWindow, DeleteAndJoinKeepTheRightParts) {
    Window w;
    for (int i = 0; i < 4; ++i)
        w.Trigger("addImagePart");
    ASSERT_EQ(w.Grid().RowCount(), 6);
    for (int row = 1; row <= 5; ++row)
        w.PartAt(row)->AnchorX = row * 10;

    w.Select(2);
    w.AddToSelection(4);
    w.Trigger("deleteImagePart");
    ASSERT_EQ(w.Grid().RowCount(), 4);
    EXPECT_EQ(w.PartAt(1)->AnchorX, 10);
    EXPECT_EQ(w.PartAt(2)->AnchorX, 30);
    EXPECT_EQ(w.PartAt(3)->AnchorX, 50);
    EXPECT_EQ(w.Doc().SelectedCount(), 0);

    // Join parts 2 and 3: part 2's colour wins where both hold a pixel.
    tw::Bitmap& two = w.PartAt(2)->Bitmap;
    tw::Bitmap& three = w.PartAt(3)->Bitmap;
    two.SetPixel(5, 5, 0x000022);
    three.SetPixel(5, 5, 0x003300);
    three.SetPixel(6, 6, 0x440000);
    TTintwellSettings settingsOfTwo;
    settingsOfTwo.ValueTint = 12;
    w.PartAt(2)->Settings = settingsOfTwo;
    w.Select(3);
    w.AddToSelection(2);
    w.Trigger("joinSelectedImageParts");
    ASSERT_EQ(w.Grid().RowCount(), 3);
    TImagePart& joined = *w.PartAt(2);
    EXPECT_EQ(joined.AnchorX, 30);
    EXPECT_EQ(joined.Settings, settingsOfTwo);
    EXPECT_EQ(joined.Bitmap.Pixel(5, 5), 0x000022u);
    EXPECT_EQ(joined.Bitmap.Pixel(6, 6), 0x440000u);
    EXPECT_EQ(PartPixels(joined.Bitmap).size(), 2u);

    // Deleting every part leaves the commands that need one disabled.
    w.Grid().RootCell().SelectAll(true);
    w.Trigger("deleteImagePart");
    EXPECT_EQ(w.Grid().RowCount(), 1);
    EXPECT_EQ(w.Doc().FirstSelectedPart(), nullptr);
    EXPECT_FALSE(w.Enabled("brush"));
    // Brushing with no part changes nothing and does not fail.
    w.MoveTo({100, 100}, true);
}

TEST(MainWindow, LoadsLosslessPartFilesOnly) {
    Window w;
    twtest::TempDir dir;
    tw::Bitmap mask(300, 200);
    mask.FillRect(QRect(3, 4, 5, 6), 0x123456);
    ASSERT_TRUE(tw::SavePicture(mask, dir.Path("mask.bmp")));
    ASSERT_TRUE(tw::SavePicture(mask, dir.Path("mask.png")));
    ASSERT_TRUE(tw::SavePicture(mask, dir.Path("mask.jpg")));

    w.LoadPart(QString::fromStdString(dir.Path("mask.bmp")));
    ASSERT_EQ(w.Grid().RowCount(), 3);
    TImagePart& loaded = *w.PartAt(2);
    EXPECT_EQ(loaded.Bitmap.Width(), 300); // keeps the file's size
    EXPECT_TRUE(CoversExactly(loaded.Bitmap, QRect(3, 4, 5, 6)));
    EXPECT_EQ(loaded.Bitmap.Pixel(3, 4), 0x123456u); // taken as stored
    EXPECT_EQ(loaded.Settings, w.Doc().CurrentSettings());
    EXPECT_TRUE(w.RowSelected(2));

    w.LoadPart(QString::fromStdString(dir.Path("mask.png")));
    EXPECT_EQ(w.Grid().RowCount(), 4);
    EXPECT_TRUE(CoversExactly(w.PartAt(3)->Bitmap, QRect(3, 4, 5, 6)));

    twtest::WriteAll(dir.Path("broken.bmp"), "BM not really");
    {
        twtest::ShownErrors errors;
        w.LoadPart(QString::fromStdString(dir.Path("mask.jpg")));
        w.LoadPart(QString::fromStdString(dir.Path("broken.bmp")));
        EXPECT_EQ(errors.messages.size(), 2u) << "each refused with a message";
    }
    EXPECT_EQ(w.Grid().RowCount(), 4);

    // A smaller part lies at the picture's top-left corner in the view.
    w.Select(2);
    TDeferredCalls::RunQueue();
    EXPECT_EQ(w.ViewBitmap().Pixel(3, 4), 0x123456u);
    EXPECT_EQ(w.ViewBitmap().Width(), 400);
}

TEST(MainWindow, ChangeColorRecoloursEverySelectedPart) {
    Window w;
    w.UniformPicture(kSkin);
    w.Trigger("addImagePart");
    w.Trigger("addImagePart");
    for (int row = 1; row <= 3; ++row)
        w.PartAt(row)->Bitmap.SetPixel(row, row, 0x010101);
    TTintwellSettings first;
    first.Hue = 10;
    w.PartAt(1)->Settings = first;

    // Cancel changes nothing.
    auto* colours = w->findChild<TColourSettingsDialog*>();
    ASSERT_NE(colours, nullptr);
    w.Select(1);
    w.AddToSelection(3);
    PressWhen([&] { return colours->isVisible(); }, twtest::Child<QPushButton>(colours, "cancel"));
    w.Trigger("changeColor");
    EXPECT_EQ(w.PartAt(3)->Bitmap.Pixel(3, 3), 0x010101u);

    // OK: the dialog showed the first selected part and its settings; the
    // settings on screen go to every selected part.
    TTintwellSettings chosen;
    chosen.KeepHue = true;
    chosen.ValueTint = -30;
    const TImagePart* shown = nullptr;
    TTintwellSettings shownSettings;
    PressWhen(
        [&] {
            if (!colours->isVisible()) return false;
            shown = colours->BoundPart();
            shownSettings = colours->Settings();
            twtest::Child<QRadioButton>(colours, "keepHue")->setChecked(true);
            twtest::Child<QSlider>(colours, "valueTint")->setValue(-30);
            return true;
        },
        twtest::Child<QPushButton>(colours, "ok"));
    w.Trigger("changeColor");
    EXPECT_EQ(shown, w.PartAt(1));
    EXPECT_EQ(shownSettings, first);
    chosen.Hue = first.Hue; // the hue stays on screen, unused while kept
    EXPECT_EQ(w.Doc().CurrentSettings(), chosen);
    tw::Bitmap scratch(1, 1);
    const TPartRecolourer things(chosen, w.Picture(), scratch);
    EXPECT_EQ(w.PartAt(1)->Bitmap.Pixel(1, 1), things.TransformColor(kSkin));
    EXPECT_EQ(w.PartAt(3)->Bitmap.Pixel(3, 3), things.TransformColor(kSkin));
    EXPECT_EQ(w.PartAt(2)->Bitmap.Pixel(2, 2), 0x010101u);
    EXPECT_EQ(w.PartAt(3)->Settings, chosen);
}

TEST(MainWindow, GridDrawsNumbersAndAspectKeepingThumbnails) {
    Window w;
    tw::Bitmap wide(400, 200);
    wide.Fill(0x0000C0);
    w.Doc().AddGrownPart(wide, {0, 0});
    tw::Bitmap surface(300, 100);
    TPaintCanvas canvas(surface);
    bool defaultDraw = true;
    TVokCell* thumb = w.Grid().Cells(1, 2);
    ASSERT_NE(thumb, nullptr);
    const auto render = [&](TVokCell& cell, const TRect& rect, bool& draw) {
        w.Grid().OnUserRenderCell(w.Grid(), canvas, cell, QString(), false, false, {}, rect, draw);
    };
    render(*thumb, TRect{10, 10, 260, 80}, defaultDraw);
    canvas.Flush();
    EXPECT_FALSE(defaultDraw);
    // 70 pixels high, so 140 wide, from the cell's left edge.
    EXPECT_EQ(surface.Pixel(10, 10), 0x0000C0u);
    EXPECT_EQ(surface.Pixel(149, 79), 0x0000C0u);
    EXPECT_EQ(surface.Pixel(150, 40), tw::kWhite);
    EXPECT_EQ(surface.Pixel(40, 80), tw::kWhite);

    // A cell without height draws nothing.
    surface.Fill(tw::kWhite);
    render(*thumb, TRect{10, 10, 260, 10}, defaultDraw);
    canvas.Flush();
    EXPECT_TRUE(PartPixels(surface).empty());

    // The number column writes the row's number; the header is left to the grid.
    render(*w.Grid().Cells(0, 2), TRect{0, 0, 50, 70}, defaultDraw);
    canvas.Flush();
    EXPECT_FALSE(PartPixels(surface).empty());
    bool headerDefault = true;
    render(*w.Grid().Cells(0, 0), TRect{0, 0, 50, 20}, headerDefault);
    EXPECT_TRUE(headerDefault);
    EXPECT_FALSE(w.Grid().OnEditorCanModify(w.Grid(), thumb));
}

// The labels report only colours read from the picture under the mouse: not
// before the mouse has been over the view, and not from a cursor position that
// scrolling, a smaller picture or a smaller window left off the picture.
TEST(MainWindow, ColourLabelsNeverReportAColourFromOffThePicture) {
    twtest::TempDir dir;
    Window w;
    w->show();
    auto settle = [] {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    };
    // Both labels after a paint.
    auto labels = [&] {
        w.Surface().Repaint();
        return (w.Label("colourAtCursor") + " | " + w.Label("hsvAtCursor")).toStdString();
    };
    const std::string none = "Color at cursor | Color at cursor";
    const std::string red = "R:255  G:0  B:0 | H:0  S:255  V:255";
    settle();
    EXPECT_EQ(labels(), none) << "the mouse has not been over the view";

    w.UniformPicture(kRed);
    w.MoveTo({300, 300});
    EXPECT_EQ(labels(), red);

    // Zoomed in and scrolled by the wheel: the mouse has not moved, the picture has.
    w.SetZoom(9);
    settle();
    for (QScrollBar* bar : {w.View().horizontalScrollBar(), w.View().verticalScrollBar()})
        bar->setValue(bar->maximum());
    settle();
    EXPECT_EQ(labels(), none);

    // Back at zoom 1, a smaller picture opens while the mouse rests beyond it.
    w.SetZoom(4);
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(100, 80, kRed), dir.Path("small.bmp")));
    w.Open(QString::fromStdString(dir.Path("small.bmp")));
    TDeferredCalls::RunQueue();
    settle();
    EXPECT_EQ(labels(), none);
    w.MoveTo({50, 40});
    EXPECT_EQ(labels(), red);
}

TEST(MainWindow, ThePartsListFollowsUndoAndRedo) {
    Window w;
    tw::Bitmap a(400, 400), b(400, 400);
    a.FillRect(QRect(0, 0, 20, 20), 0x0000AA);
    b.FillRect(QRect(10, 10, 20, 20), 0x00AA00);
    w.Doc().AddGrownPart(a, {0, 0}); // part 2
    w.Doc().AddGrownPart(b, {0, 0}); // part 3
    TImagePart* two = w.PartAt(2);
    TImagePart* three = w.PartAt(3);
    EXPECT_EQ(w.Action("undo")->text(), QStringLiteral("Undo Add this"));
    w.AddToSelection(2);
    w.Trigger("joinSelectedImageParts");
    ASSERT_EQ(w.Grid().RowCount(), 3);
    w.Doc().Undo();
    TDeferredCalls::RunQueue();
    ASSERT_EQ(w.Grid().RowCount(), 4);
    EXPECT_EQ(w.PartAt(2), two);
    EXPECT_EQ(w.PartAt(3), three);
    EXPECT_TRUE(w.RowSelected(2) && w.RowSelected(3));
    EXPECT_EQ(w.ViewBitmap().Pixel(15, 15), 0x0000AAu);
    w.Doc().Undo(); // the second add
    ASSERT_EQ(w.Grid().RowCount(), 3);
    EXPECT_TRUE(w.RowSelected(2));
    w.Doc().Redo();
    w.Select(3);
    w.Trigger("deleteImagePart");
    EXPECT_EQ(w.Grid().RowCount(), 3);
    w.Action("undo")->trigger();
    TDeferredCalls::RunQueue();
    ASSERT_EQ(w.Grid().RowCount(), 4);
    EXPECT_EQ(w.PartAt(3), three);
    EXPECT_EQ(w.Grid().FocusedCell(), w.Cell(3));
    EXPECT_EQ(w.ViewBitmap().Pixel(25, 25), 0x00AA00u);
    w.Action("redo")->trigger();
    EXPECT_EQ(w.Grid().RowCount(), 3);
    EXPECT_FALSE(w.Action("redo")->isEnabled());
}

// Shift+click in the parts list extends the selection from the current part,
// also one the program just made current by adding it.
TEST(MainWindow, ShiftClickExtendsFromAPartJustAdded) {
    Window w;
    const auto shiftClick = [&](int row) {
        w.Grid().SetFocusedCell(w.Cell(row));
        w.Grid().RootCell().SelectCell(w.Cell(row), ssShift);
        w.Settle();
    };
    w.Trigger("addImagePart"); // part 2, current
    shiftClick(1);
    EXPECT_TRUE(w.RowSelected(1) && w.RowSelected(2));
    EXPECT_EQ(w.Doc().SelectedCount(), 2);
    w.Trigger("addImagePart"); // part 3, current
    shiftClick(2);
    EXPECT_FALSE(w.RowSelected(1));
    EXPECT_TRUE(w.RowSelected(2) && w.RowSelected(3));
    EXPECT_EQ(w.Doc().SelectedParts(), (std::vector<TImagePart*>{w.PartAt(2), w.PartAt(3)}));
}
