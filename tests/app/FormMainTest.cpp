#include "app/Form_Main.h"
#include "colour/HSV.h"
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
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

namespace {

constexpr tw::ColorValue kRed = 0x0000FF;
constexpr tw::ColorValue kSkin = 0x5080C0; // an ordinary, non-white picture colour

struct Window {
    std::vector<QString> messages;
    bool answerQuit = false;
    int quitQuestions = 0;
    std::unique_ptr<TFormMain> form;

    explicit Window(QStringList arguments = {}) {
        TFormMainOptions options;
        options.Arguments = std::move(arguments);
        options.ShowMessage = [this](const QString& text) { messages.push_back(text); };
        options.ConfirmQuit = [this] {
            ++quitQuestions;
            return answerQuit;
        };
        options.ConfirmSaveChanges = [](const QString&) { return TSaveAnswer::Discard; };
        form = std::make_unique<TFormMain>(options);
        TDeferredCalls::RunQueue();
    }
    ~Window() {
        form.reset();
        TDeferredCalls::RunQueue();
    }
    TFormMain* operator->() { return form.get(); }
    TnvGrid& Grid() { return *form->nvGridImageParts; }
    TVokCell* Cell(int row) { return Grid().Cells(0, row); }
    // A plain click on a row: it becomes the only selected one and current.
    void Select(int row) {
        Grid().SetFocusedCell(Cell(row));
        Grid().RootCell().SelectCell(Cell(row), 0);
    }
    // Ctrl+click: adds the row to the selection.
    void AddToSelection(int row) {
        Grid().SetFocusedCell(Cell(row));
        Grid().RootCell().SelectCell(Cell(row), ssCtrl);
    }
    void Run(QAction* action) {
        bool handled = false;
        form->DispatchAction(action, true, handled);
        TDeferredCalls::RunQueue();
    }
    bool Enabled(QAction* action) {
        form->UpdateActions();
        return action->isEnabled();
    }
    // A uniform picture of the start size, so that recoloured pixels are easy to predict.
    void UniformPicture(tw::ColorValue c) {
        SetPicture(tw::Bitmap(form->PictureBitmap.Width(), form->PictureBitmap.Height(), c));
        form->RedrawLater();
        TDeferredCalls::RunQueue();
    }
    // The picture lives in the document: a new one starts it over with one blank part.
    void SetPicture(tw::Bitmap picture) { form->Document.NewDocument(std::move(picture), QString()); }
    void SetZoom(uint8_t index) {
        form->ZoomIndex = index;
        form->ResizeView();
        TDeferredCalls::RunQueue();
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

TEST(FormMain, StartsWithTheStartPictureOnePartAndTheBrush) {
    Window w;
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Tintwell"));
    EXPECT_FALSE(w->CloseRequested());
    EXPECT_TRUE(w.messages.empty());
    EXPECT_EQ(w->PictureBitmap.Width(), 400);
    EXPECT_EQ(w->PictureBitmap.Height(), 400);
    EXPECT_TRUE(w->PictureBitmap == tw::StartPicture());
    EXPECT_EQ(w->ZoomIndex, 4);
    EXPECT_DOUBLE_EQ(w->ZoomFactor(), 1.0);
    EXPECT_EQ(w->ImageView->width(), 400);
    EXPECT_EQ(w->ImageView->height(), 400);
    EXPECT_EQ(w->CurrentSettings, TTintwellSettings::Initial());
    EXPECT_TRUE(w->LabelFilename->text().isEmpty());
    EXPECT_EQ(w->LabelColorAtCurs->text(), QStringLiteral("Color at cursor"));

    ASSERT_EQ(w.Grid().RowCount(), 2);
    EXPECT_TRUE(w->RowSelected(1));
    EXPECT_EQ(w.Grid().FocusedCell(), w.Cell(1));
    ASSERT_NE(w->ImagePartAt(1), nullptr);
    EXPECT_TRUE(PartPixels(w->ImagePartAt(1)->Bitmap).empty());
    EXPECT_EQ(w->ImagePartAt(1)->Bitmap.Width(), 400);

    EXPECT_TRUE(w->ActionBrushMode->isChecked());
    EXPECT_FALSE(w->ActionFillMode->isChecked());
    EXPECT_FALSE(w->ActionEraseMode->isChecked());
    EXPECT_TRUE(w->ActionBrushLarge->isChecked());
    EXPECT_FALSE(w->ActionBrushSmall->isChecked());
    EXPECT_FALSE(w->ActionBrushMedium->isChecked());
    EXPECT_TRUE(w->ActionOrgImageInBack->isChecked());
    EXPECT_EQ(w->BrushRadius(), 8);
    // The blank part adds nothing: the view is the picture.
    EXPECT_TRUE(w->ViewBitmap == w->PictureBitmap);
}

TEST(FormMain, CommandsCarryTheirTextsAndKeys) {
    Window w;
    EXPECT_EQ(w->ActionFillMode->text(), QStringLiteral("Fill"));
    EXPECT_EQ(w->ActionFillMode->toolTip(), QStringLiteral("Find an object by hue or saturation rules"));
    EXPECT_EQ(w->ActionJoinSelectedImageParts->statusTip(), QStringLiteral("Group image parts "));
    EXPECT_EQ(w->OpenPicture1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(w->SaveCompletePicture->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(w->ActionHelp->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_FALSE(w->ActionZoomPlus->icon().isNull());
}

TEST(FormMain, CloseSwitchOnlyAsExactFirstArgument) {
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
    EXPECT_FALSE(TFormMain::IsCloseSwitch({}));
}

TEST(FormMain, EnablingFollowsTheCurrentCellSelectionAndZoom) {
    Window w;
    // With a current part everything runs, except Join with one selected row.
    for (QAction* a : {w->ActionBrushMode, w->ActionEraseMode, w->ActionChangeColor, w->ActionDeleteImagePart,
                       w->SaveImagePart})
        EXPECT_TRUE(w.Enabled(a)) << a->text().toStdString();
    EXPECT_FALSE(w.Enabled(w->ActionJoinSelectedImageParts));
    w.Run(w->ActionAddImagePart);
    w.AddToSelection(1);
    EXPECT_EQ(w->SelectedRowCount(), 2);
    EXPECT_TRUE(w.Enabled(w->ActionJoinSelectedImageParts));

    // No current cell: the part commands go, the rest stays.
    w.Grid().SetFocusedCell(nullptr);
    for (QAction* a : {w->ActionBrushMode, w->ActionEraseMode, w->ActionChangeColor, w->ActionDeleteImagePart,
                       w->ActionJoinSelectedImageParts, w->SaveImagePart})
        EXPECT_FALSE(w.Enabled(a)) << a->text().toStdString();
    for (QAction* a : {w->ActionFillMode, w->ActionBrushSmall, w->ActionBrushMedium, w->ActionBrushLarge,
                       w->ActionAddImagePart, w->ActionLoadimagepartfromfile, w->ActionOrgImageInBack,
                       w->ActionZoomPlus, w->ActionZoomMinus, w->ActionHelp, w->ActionAbout, w->ActionExit,
                       w->OpenPicture1, w->SaveCompletePicture})
        EXPECT_TRUE(w.Enabled(a)) << a->text().toStdString();
    // Disabling keeps the mode: Brush stays checked.
    EXPECT_TRUE(w->ActionBrushMode->isChecked());

    // Zoom limits, reached through the commands.
    for (int i = 0; i < 12; ++i)
        if (w.Enabled(w->ActionZoomPlus)) w.Run(w->ActionZoomPlus);
    EXPECT_EQ(w->ZoomIndex, 9);
    EXPECT_FALSE(w.Enabled(w->ActionZoomPlus));
    EXPECT_EQ(w->ImageView->width(), 4000);
    w.Run(w->ActionZoomPlus); // disabled: a direct run changes nothing either
    EXPECT_EQ(w->ZoomIndex, 9);
    for (int i = 0; i < 12; ++i)
        if (w.Enabled(w->ActionZoomMinus)) w.Run(w->ActionZoomMinus);
    EXPECT_EQ(w->ZoomIndex, 0);
    EXPECT_FALSE(w.Enabled(w->ActionZoomMinus));
    EXPECT_TRUE(w.Enabled(w->ActionZoomPlus));
    EXPECT_EQ(w->ImageView->width(), 20);
}

TEST(FormMain, ModesAndSizesAreRadioGroupsAndExitAsksFirst) {
    Window w;
    w.Run(w->ActionEraseMode);
    EXPECT_TRUE(w->ActionEraseMode->isChecked());
    EXPECT_FALSE(w->ActionBrushMode->isChecked());
    w.Run(w->ActionFillMode);
    EXPECT_TRUE(w->ActionFillMode->isChecked());
    EXPECT_FALSE(w->ActionEraseMode->isChecked());
    // Triggering from the tool bar goes the same way (Qt's own toggle does not count).
    w->ActionFillMode->trigger();
    EXPECT_TRUE(w->ActionFillMode->isChecked());
    w->ActionFillMode->trigger(); // a second click leaves it on
    EXPECT_TRUE(w->ActionFillMode->isChecked());
    auto* fillButton = qobject_cast<QToolButton*>(w->ToolBarTools->widgetForAction(w->ActionFillMode));
    ASSERT_NE(fillButton, nullptr);
    EXPECT_TRUE(fillButton->isChecked());
    w->ActionBrushMode->trigger();
    EXPECT_TRUE(w->ActionBrushMode->isChecked());
    EXPECT_FALSE(w->ActionFillMode->isChecked());

    w.Run(w->ActionBrushSmall);
    EXPECT_EQ(w->BrushRadius(), 2);
    w->ActionBrushMedium->trigger();
    EXPECT_EQ(w->BrushRadius(), 4);
    EXPECT_FALSE(w->ActionBrushSmall->isChecked());
    EXPECT_FALSE(w->ActionBrushLarge->isChecked());

    w->show();
    w.answerQuit = false;
    w.Run(w->ActionExit);
    EXPECT_EQ(w.quitQuestions, 1);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w.Grid().RowCount(), 2);
    w.answerQuit = true;
    w.Run(w->ActionExit);
    EXPECT_FALSE(w->isVisible());
}

// The brush square has 2r x 2r pixels, the erase square (2r - 1) x (2r - 1),
// both starting at (px - r, py - r), with r from the zoom and the brush size.
TEST(FormMain, BrushAndEraseDabsFollowTheRadiusTable) {
    struct Case {
        uint8_t zoom;
        QAction* TFormMain::*size;
        int r;
    };
    const std::vector<Case> cases = {
        {0, &TFormMain::ActionBrushSmall, 40},  {1, &TFormMain::ActionBrushLarge, 80},
        {2, &TFormMain::ActionBrushMedium, 16}, {3, &TFormMain::ActionBrushLarge, 16},
        {4, &TFormMain::ActionBrushLarge, 8},   {4, &TFormMain::ActionBrushSmall, 2},
        {5, &TFormMain::ActionBrushSmall, 1},   {5, &TFormMain::ActionBrushMedium, 3},
        {5, &TFormMain::ActionBrushLarge, 5},   {7, &TFormMain::ActionBrushLarge, 3},
        {8, &TFormMain::ActionBrushMedium, 1},  {8, &TFormMain::ActionBrushLarge, 2},
        {9, &TFormMain::ActionBrushLarge, 1},   {8, &TFormMain::ActionBrushSmall, 0},
        {9, &TFormMain::ActionBrushSmall, 0},   {9, &TFormMain::ActionBrushMedium, 0},
    };
    Window w;
    w.UniformPicture(kSkin);
    const int px = 200, py = 180;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << int(c.zoom) << " r " << c.r);
        w.SetZoom(c.zoom);
        w.Run(w.form.get()->*c.size);
        const double f = tw::ZoomFactor(c.zoom);
        const int X = static_cast<int>(px * f), Y = static_cast<int>(py * f);
        TImagePart& part = *w->ImagePartAt(1);

        w.Run(w->ActionBrushMode);
        w->TrackViewMouse(ssLeft, X, Y);
        EXPECT_EQ(w->CursorPicturePos, QPoint(px, py));
        // A brush smaller than one picture pixel takes the pixel under the cross.
        const QRect brushed = c.r > 0 ? QRect(px - c.r, py - c.r, 2 * c.r, 2 * c.r) : QRect(px, py, 1, 1);
        EXPECT_TRUE(CoversExactly(part.Bitmap, brushed));
        if (c.r > 0) {
            const tw::Bitmap source = w->PictureBitmap;
            tw::Bitmap scratch(1, 1);
            const TPartRecolourer things(w->CurrentSettings, source, scratch);
            EXPECT_EQ(part.Bitmap.Pixel(px, py), things.TransformColor(kSkin));
            // The view shows the painted square at once, without a rebuild.
            EXPECT_EQ(w->ViewBitmap.Pixel(px + c.r - 1, py + c.r - 1), things.TransformColor(kSkin));
        }

        w.Run(w->ActionEraseMode);
        w->TrackViewMouse(ssLeft, X, Y);
        if (c.r > 0) {
            // Only the last row and column of the brush square stay.
            const std::vector<QPoint> left = PartPixels(part.Bitmap);
            EXPECT_EQ(static_cast<int>(left.size()), 4 * c.r - 1);
            for (const QPoint& p : left)
                EXPECT_TRUE(p.x() == px + c.r - 1 || p.y() == py + c.r - 1);
            EXPECT_EQ(w->ViewBitmap.Pixel(px - c.r, py - c.r), kSkin);
        } else {
            EXPECT_TRUE(PartPixels(part.Bitmap).empty());
        }
        part.Bitmap.Fill(tw::kWhite);
    }
}

// Zoomed in past the brush size, a dab still changes what the cross points at:
// the picture pixel whose enlarged square holds the cursor, even where rounding
// the cursor position would name its neighbour.
TEST(FormMain, AZoomedInDabTakesThePixelUnderTheCross) {
    Window w;
    w.UniformPicture(kSkin);
    tw::Bitmap scratch(1, 1);
    const TPartRecolourer things(w->CurrentSettings, w->PictureBitmap, scratch);
    struct Case {
        uint8_t zoom;
        QAction* TFormMain::*size;
        QPoint view, under;
    };
    for (const Case& c : {Case{9, &TFormMain::ActionBrushSmall, {2007, 1806}, {200, 180}},
                          Case{9, &TFormMain::ActionBrushMedium, {1999, 1800}, {199, 180}},
                          Case{8, &TFormMain::ActionBrushSmall, {503, 304}, {100, 60}}}) {
        SCOPED_TRACE(testing::Message()
                     << "zoom " << int(c.zoom) << " at " << c.view.x() << "," << c.view.y());
        w.SetZoom(c.zoom);
        w.Run(w.form.get()->*c.size);
        TImagePart& part = *w->ImagePartAt(1);
        w.Run(w->ActionBrushMode);
        w->TrackViewMouse(ssLeft, c.view.x(), c.view.y());
        EXPECT_TRUE(CoversExactly(part.Bitmap, QRect(c.under, QSize(1, 1))));
        EXPECT_EQ(w->ViewBitmap.Pixel(c.under.x(), c.under.y()), things.TransformColor(kSkin));
        w.Run(w->ActionEraseMode);
        w->TrackViewMouse(ssLeft, c.view.x(), c.view.y());
        EXPECT_TRUE(PartPixels(part.Bitmap).empty());
        EXPECT_EQ(w->ViewBitmap.Pixel(c.under.x(), c.under.y()), kSkin);
    }

    // Scrolled to 1235, the view starts with picture pixel Round(123.5) = 124 at
    // 1235: the cross at 1236 stands on 124 there, not on 1236 / 10 = 123.
    w->show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    w.SetZoom(9);
    w.Run(w->ActionBrushSmall);
    w.Run(w->ActionBrushMode);
    for (QScrollBar* bar : {w->ScrollBox2->horizontalScrollBar(), w->ScrollBox2->verticalScrollBar()}) {
        ASSERT_TRUE(bar->isVisible());
        bar->setValue(1235);
    }
    w->TrackViewMouse(ssLeft, 1236, 1236);
    EXPECT_TRUE(CoversExactly(w->ImagePartAt(1)->Bitmap, QRect(124, 124, 1, 1)));
}

TEST(FormMain, BrushNeedsTheLeftButtonAndACurrentPartAndSkipsWhite) {
    Window w;
    w.UniformPicture(kSkin);
    tw::Bitmap picture = w->PictureBitmap;
    picture.SetPixel(100, 100, tw::kWhite);
    w.SetPicture(picture);
    TImagePart& part = *w->ImagePartAt(1);

    w->TrackViewMouse(0, 100, 100); // moving without the button
    EXPECT_TRUE(PartPixels(part.Bitmap).empty());
    EXPECT_EQ(w->CursorViewPos, QPoint(100, 100));

    w.Grid().SetFocusedCell(nullptr);
    w->TrackViewMouse(ssLeft, 100, 100);
    EXPECT_TRUE(PartPixels(part.Bitmap).empty());

    w.Select(1);
    w->TrackViewMouse(ssLeft, 100, 100);
    EXPECT_EQ(PartPixels(part.Bitmap).size(), 16u * 16u - 1u);
    EXPECT_EQ(part.Bitmap.Pixel(100, 100), tw::kWhite);

    // A dab over the picture's edge keeps to the picture.
    w->TrackViewMouse(ssLeft, 398, 2);
    EXPECT_EQ(part.Bitmap.Pixel(399, 0) != tw::kWhite, true);
    EXPECT_EQ(part.Bitmap.Width(), 400);

    // Fill mode paints nothing.
    part.Bitmap.Fill(tw::kWhite);
    w.Run(w->ActionFillMode);
    w->TrackViewMouse(ssLeft, 200, 200);
    EXPECT_TRUE(PartPixels(part.Bitmap).empty());
}

TEST(FormMain, FillClickHandsTheSeedToTheMaskDialog) {
    Window w;
    int calls = 0;
    QRect seed;
    QPoint viewPos;
    TTintwellSettings settings;
    w->OnShowMaskDialog = [&](const tw::Bitmap& picture, const QRect& s, QPoint v, TTintwellSettings t) {
        ++calls;
        EXPECT_EQ(&picture, &w->PictureBitmap);
        seed = s;
        viewPos = v;
        settings = t;
    };
    // Brush mode: a click does nothing.
    w->ImageViewMouseDown(*w->ImageView, TMouseButton::Left, ssLeft, 10, 10);
    w->ImageViewClick(*w->ImageView);
    EXPECT_EQ(calls, 0);

    w.Run(w->ActionFillMode);
    w.SetZoom(6); // factor 2: 61 / 2 = 30.5 rounds to even 30, 47 / 2 = 23.5 to 24
    w->ImageViewMouseDown(*w->ImageView, TMouseButton::Left, ssLeft, 61, 47);
    w->ImageViewClick(*w->ImageView);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seed, QRect(QPoint(30, 24), QPoint(30, 24)));
    EXPECT_EQ(viewPos, QPoint(61, 47));
    EXPECT_EQ(settings, w->CurrentSettings);
}

TEST(FormMain, ViewShowsSelectedPartsLowerNumbersOnTopAndTheBackgroundToggle) {
    Window w;
    w->ActionShowAllParts->trigger(); // the selected parts only
    w.UniformPicture(kSkin);
    tw::Bitmap a(400, 400), b(400, 400);
    a.FillRect(QRect(0, 0, 20, 20), 0x0000AA);
    b.FillRect(QRect(10, 10, 20, 20), 0x00AA00);
    w->AddImagePart(a, {0, 0}); // part 2
    w->AddImagePart(b, {0, 0}); // part 3
    TDeferredCalls::RunQueue();
    // Adding makes the new part the only selected row and the current cell.
    EXPECT_FALSE(w->RowSelected(1));
    EXPECT_FALSE(w->RowSelected(2));
    EXPECT_TRUE(w->RowSelected(3));
    EXPECT_EQ(w.Grid().FocusedCell(), w.Cell(3));
    EXPECT_EQ(w->ViewBitmap.Pixel(5, 5), kSkin); // part 2 is not shown
    EXPECT_EQ(w->ViewBitmap.Pixel(15, 15), 0x00AA00u);

    w.AddToSelection(2);
    TDeferredCalls::RunQueue();
    EXPECT_EQ(w->ViewBitmap.Pixel(5, 5), 0x0000AAu);
    EXPECT_EQ(w->ViewBitmap.Pixel(15, 15), 0x0000AAu); // the lower number lies on top
    EXPECT_EQ(w->ViewBitmap.Pixel(25, 25), 0x00AA00u);
    EXPECT_EQ(w->ViewBitmap.Pixel(100, 100), kSkin);

    w.Run(w->ActionOrgImageInBack);
    EXPECT_FALSE(w->ActionOrgImageInBack->isChecked());
    EXPECT_EQ(w->ViewBitmap.Pixel(100, 100), tw::kWhite);
    EXPECT_EQ(w->ViewBitmap.Pixel(15, 15), 0x0000AAu);

    // Erasing with the background off whitens the square even over part 3,
    // until the next rebuild.
    w.Run(w->ActionEraseMode);
    w->TrackViewMouse(ssLeft, 24, 24); // the current part is 2; r = 8
    EXPECT_EQ(w->ViewBitmap.Pixel(24, 24), tw::kWhite);
    EXPECT_EQ(w->ViewBitmap.Pixel(16, 16), tw::kWhite);
    w->RedrawLater();
    TDeferredCalls::RunQueue();
    EXPECT_EQ(w->ViewBitmap.Pixel(24, 24), 0x00AA00u);
    EXPECT_EQ(w->ViewBitmap.Pixel(16, 16), 0x00AA00u);

    w.Run(w->ActionOrgImageInBack);
    EXPECT_TRUE(w->ActionOrgImageInBack->isChecked());
    EXPECT_EQ(w->ViewBitmap.Pixel(100, 100), kSkin);

    // Selecting a part makes its settings the current ones.
    TTintwellSettings own;
    own.Hue = 200;
    w->ImagePartAt(1)->Settings = own;
    w.Select(1);
    EXPECT_EQ(w->CurrentSettings, own);
}

TEST(FormMain, ColourLabelsShowThePixelUnderTheCursor) {
    Window w;
    w->show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    w.UniformPicture(kRed);
    w->ImageViewMouseMove(*w->ImageView, 0, 50, 60);
    w->ImageView->Repaint();
    EXPECT_EQ(w->LabelColorAtCurs->text(), QStringLiteral("R:255  G:0  B:0")) << "no lag behind the paint";
    w->ImageViewMouseMove(*w->ImageView, 0, 50, 60);
    EXPECT_EQ(w->ColorAtCursor, kRed);
    EXPECT_EQ(w->LabelColorAtCurs->text(), QStringLiteral("R:255  G:0  B:0"));
    EXPECT_EQ(w->LabelColorAtCursHSV->text(), QStringLiteral("H:0  S:255  V:255"));

    // The marks: red cross arms, a black frame at the brush size and the centre left free.
    const tw::Bitmap& buffer = w->ImageView->Buffer();
    const QPoint o = w->ImageView->BufferArea().topLeft();
    auto at = [&](int x, int y) { return buffer.Pixel(x - o.x(), y - o.y()); };
    EXPECT_EQ(at(50, 60), kRed);              // the picture's red, not a mark
    EXPECT_EQ(at(50 - 8, 60 - 8), 0u);        // black frame corner
    EXPECT_EQ(at(50 - 9, 60 - 9), 0x808080u); // grey frame corner
}

TEST(FormMain, DeleteAndJoinKeepTheRightParts) {
    Window w;
    for (int i = 0; i < 4; ++i)
        w.Run(w->ActionAddImagePart);
    ASSERT_EQ(w.Grid().RowCount(), 6);
    for (int row = 1; row <= 5; ++row)
        w->ImagePartAt(row)->AnchorX = row * 10;

    w.Select(2);
    w.AddToSelection(4);
    w.Run(w->ActionDeleteImagePart);
    ASSERT_EQ(w.Grid().RowCount(), 4);
    EXPECT_EQ(w->ImagePartAt(1)->AnchorX, 10);
    EXPECT_EQ(w->ImagePartAt(2)->AnchorX, 30);
    EXPECT_EQ(w->ImagePartAt(3)->AnchorX, 50);
    EXPECT_EQ(w->SelectedRowCount(), 0);

    // Join parts 2 and 3: part 2's colour wins where both hold a pixel.
    tw::Bitmap& two = w->ImagePartAt(2)->Bitmap;
    tw::Bitmap& three = w->ImagePartAt(3)->Bitmap;
    two.SetPixel(5, 5, 0x000022);
    three.SetPixel(5, 5, 0x003300);
    three.SetPixel(6, 6, 0x440000);
    TTintwellSettings settingsOfTwo;
    settingsOfTwo.ValueTint = 12;
    w->ImagePartAt(2)->Settings = settingsOfTwo;
    w.Select(3);
    w.AddToSelection(2);
    w.Run(w->ActionJoinSelectedImageParts);
    ASSERT_EQ(w.Grid().RowCount(), 3);
    TImagePart& joined = *w->ImagePartAt(2);
    EXPECT_EQ(joined.AnchorX, 30);
    EXPECT_EQ(joined.Settings, settingsOfTwo);
    EXPECT_EQ(joined.Bitmap.Pixel(5, 5), 0x000022u);
    EXPECT_EQ(joined.Bitmap.Pixel(6, 6), 0x440000u);
    EXPECT_EQ(PartPixels(joined.Bitmap).size(), 2u);

    // Deleting every part leaves the commands that need one disabled.
    w.Grid().RootCell().SelectAll(true);
    w.Run(w->ActionDeleteImagePart);
    EXPECT_EQ(w.Grid().RowCount(), 1);
    EXPECT_EQ(w->FirstSelectedImagePart(), nullptr);
    EXPECT_FALSE(w.Enabled(w->ActionBrushMode));
    // Brushing with no part changes nothing and does not fail.
    w->TrackViewMouse(ssLeft, 100, 100);
}

TEST(FormMain, LoadsLosslessPartFilesOnly) {
    Window w;
    twtest::TempDir dir;
    tw::Bitmap mask(300, 200);
    mask.FillRect(QRect(3, 4, 5, 6), 0x123456);
    ASSERT_TRUE(tw::SavePicture(mask, dir.Path("mask.bmp")));
    ASSERT_TRUE(tw::SavePicture(mask, dir.Path("mask.png")));
    ASSERT_TRUE(tw::SavePicture(mask, dir.Path("mask.jpg")));

    w->LoadImagePartFrom(QString::fromStdString(dir.Path("mask.bmp")));
    ASSERT_EQ(w.Grid().RowCount(), 3);
    TImagePart& loaded = *w->ImagePartAt(2);
    EXPECT_EQ(loaded.Bitmap.Width(), 300); // keeps the file's size
    EXPECT_TRUE(CoversExactly(loaded.Bitmap, QRect(3, 4, 5, 6)));
    EXPECT_EQ(loaded.Bitmap.Pixel(3, 4), 0x123456u); // taken as stored
    EXPECT_EQ(loaded.Settings, w->CurrentSettings);
    EXPECT_TRUE(w->RowSelected(2));

    w->LoadImagePartFrom(QString::fromStdString(dir.Path("mask.png")));
    EXPECT_EQ(w.Grid().RowCount(), 4);
    EXPECT_TRUE(CoversExactly(w->ImagePartAt(3)->Bitmap, QRect(3, 4, 5, 6)));

    EXPECT_THROW(w->LoadImagePartFrom(QString::fromStdString(dir.Path("mask.jpg"))), tw::PictureError);
    twtest::WriteAll(dir.Path("broken.bmp"), "BM not really");
    EXPECT_THROW(w->LoadImagePartFrom(QString::fromStdString(dir.Path("broken.bmp"))), tw::PictureError);
    EXPECT_EQ(w.Grid().RowCount(), 4);

    // A smaller part lies at the picture's top-left corner in the view.
    w.Select(2);
    TDeferredCalls::RunQueue();
    EXPECT_EQ(w->ViewBitmap.Pixel(3, 4), 0x123456u);
    EXPECT_EQ(w->ViewBitmap.Width(), 400);
}

TEST(FormMain, ChangeColorRecoloursEverySelectedPart) {
    Window w;
    w.UniformPicture(kSkin);
    w.Run(w->ActionAddImagePart);
    w.Run(w->ActionAddImagePart);
    for (int row = 1; row <= 3; ++row)
        w->ImagePartAt(row)->Bitmap.SetPixel(row, row, 0x010101);
    TTintwellSettings first;
    first.Hue = 10;
    w->ImagePartAt(1)->Settings = first;

    // Without the dialog nothing changes.
    w.Select(1);
    w.AddToSelection(3);
    w.Run(w->ActionChangeColor);
    EXPECT_EQ(w->ImagePartAt(3)->Bitmap.Pixel(3, 3), 0x010101u);

    TTintwellSettings chosen;
    chosen.KeepHue = true;
    chosen.ValueTint = -30;
    TImagePart* shown = nullptr;
    TTintwellSettings shownSettings;
    w->OnShowColorSettings = [&](TImagePart* part, TTintwellSettings& s) {
        shown = part;
        shownSettings = s;
        s = chosen;
        return true;
    };
    w.Run(w->ActionChangeColor);
    EXPECT_EQ(shown, w->ImagePartAt(1));
    EXPECT_EQ(shownSettings, first);
    EXPECT_EQ(w->CurrentSettings, chosen);
    tw::Bitmap scratch(1, 1);
    const TPartRecolourer things(chosen, w->PictureBitmap, scratch);
    EXPECT_EQ(w->ImagePartAt(1)->Bitmap.Pixel(1, 1), things.TransformColor(kSkin));
    EXPECT_EQ(w->ImagePartAt(3)->Bitmap.Pixel(3, 3), things.TransformColor(kSkin));
    EXPECT_EQ(w->ImagePartAt(2)->Bitmap.Pixel(2, 2), 0x010101u);
    EXPECT_EQ(w->ImagePartAt(3)->Settings, chosen);
}

TEST(FormMain, GridDrawsNumbersAndAspectKeepingThumbnails) {
    Window w;
    tw::Bitmap wide(400, 200);
    wide.Fill(0x0000C0);
    w->AddImagePart(wide, {0, 0});
    tw::Bitmap surface(300, 100);
    TPaintCanvas canvas(surface);
    bool defaultDraw = true;
    TVokCell* thumb = w.Grid().Cells(1, 2);
    ASSERT_NE(thumb, nullptr);
    w->nvGridImagePartsUserRenderCell(w.Grid(), canvas, *thumb, TRect{10, 10, 260, 80}, defaultDraw);
    canvas.Flush();
    EXPECT_FALSE(defaultDraw);
    // 70 pixels high, so 140 wide, from the cell's left edge.
    EXPECT_EQ(surface.Pixel(10, 10), 0x0000C0u);
    EXPECT_EQ(surface.Pixel(149, 79), 0x0000C0u);
    EXPECT_EQ(surface.Pixel(150, 40), tw::kWhite);
    EXPECT_EQ(surface.Pixel(40, 80), tw::kWhite);

    // A cell without height draws nothing.
    surface.Fill(tw::kWhite);
    w->nvGridImagePartsUserRenderCell(w.Grid(), canvas, *thumb, TRect{10, 10, 260, 10}, defaultDraw);
    canvas.Flush();
    EXPECT_TRUE(PartPixels(surface).empty());

    // The number column writes the row's number; the header is left to the grid.
    w->nvGridImagePartsUserRenderCell(w.Grid(), canvas, *w.Grid().Cells(0, 2), TRect{0, 0, 50, 70},
                                      defaultDraw);
    canvas.Flush();
    EXPECT_FALSE(PartPixels(surface).empty());
    bool headerDefault = true;
    w->nvGridImagePartsUserRenderCell(w.Grid(), canvas, *w.Grid().Cells(0, 0), TRect{0, 0, 50, 20},
                                      headerDefault);
    EXPECT_TRUE(headerDefault);
    EXPECT_FALSE(w->nvGridImagePartsEditorCanModify(w.Grid(), thumb));
}

// The labels report only colours read from the picture under the mouse: not
// before the mouse has been over the view, and not from a cursor position that
// scrolling, a smaller picture or a smaller window left off the picture.
TEST(FormMain, ColourLabelsNeverReportAColourFromOffThePicture) {
    twtest::TempDir dir;
    Window w;
    w->show();
    auto settle = [] {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    };
    // Both labels after a paint.
    auto labels = [&] {
        w->ImageView->Repaint();
        return (w->LabelColorAtCurs->text() + " | " + w->LabelColorAtCursHSV->text()).toStdString();
    };
    const std::string none = "Color at cursor | Color at cursor";
    const std::string red = "R:255  G:0  B:0 | H:0  S:255  V:255";
    settle();
    EXPECT_EQ(labels(), none) << "the mouse has not been over the view";

    w.UniformPicture(kRed);
    w->ImageViewMouseMove(*w->ImageView, 0, 300, 300);
    EXPECT_EQ(labels(), red);

    // Zoomed in and scrolled by the wheel: the mouse has not moved, the picture has.
    w.SetZoom(9);
    settle();
    for (QScrollBar* bar : {w->ScrollBox2->horizontalScrollBar(), w->ScrollBox2->verticalScrollBar()})
        bar->setValue(bar->maximum());
    settle();
    EXPECT_EQ(labels(), none);

    // Back at zoom 1, a smaller picture opens while the mouse rests beyond it.
    w.SetZoom(4);
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(100, 80, kRed), dir.Path("small.bmp")));
    w->OpenPicture1Accept(QString::fromStdString(dir.Path("small.bmp")));
    TDeferredCalls::RunQueue();
    settle();
    EXPECT_EQ(labels(), none);
    w->ImageViewMouseMove(*w->ImageView, 0, 50, 40);
    EXPECT_EQ(labels(), red);
}

TEST(FormMain, ThePartsListFollowsUndoAndRedo) {
    Window w;
    tw::Bitmap a(400, 400), b(400, 400);
    a.FillRect(QRect(0, 0, 20, 20), 0x0000AA);
    b.FillRect(QRect(10, 10, 20, 20), 0x00AA00);
    w->AddImagePart(a, {0, 0}); // part 2
    w->AddImagePart(b, {0, 0}); // part 3
    TImagePart* two = w->ImagePartAt(2);
    TImagePart* three = w->ImagePartAt(3);
    EXPECT_EQ(w->ActionUndo->text(), QStringLiteral("Undo Add this"));
    w.AddToSelection(2);
    w.Run(w->ActionJoinSelectedImageParts);
    ASSERT_EQ(w.Grid().RowCount(), 3);
    w->Document.Undo();
    TDeferredCalls::RunQueue();
    ASSERT_EQ(w.Grid().RowCount(), 4);
    EXPECT_EQ(w->ImagePartAt(2), two);
    EXPECT_EQ(w->ImagePartAt(3), three);
    EXPECT_TRUE(w->RowSelected(2) && w->RowSelected(3));
    EXPECT_EQ(w->ViewBitmap.Pixel(15, 15), 0x0000AAu);
    w->Document.Undo(); // the second add
    ASSERT_EQ(w.Grid().RowCount(), 3);
    EXPECT_TRUE(w->RowSelected(2));
    w->Document.Redo();
    w.Select(3);
    w.Run(w->ActionDeleteImagePart);
    EXPECT_EQ(w.Grid().RowCount(), 3);
    w->ActionUndo->trigger();
    TDeferredCalls::RunQueue();
    ASSERT_EQ(w.Grid().RowCount(), 4);
    EXPECT_EQ(w->ImagePartAt(3), three);
    EXPECT_EQ(w.Grid().FocusedCell(), w.Cell(3));
    EXPECT_EQ(w->ViewBitmap.Pixel(25, 25), 0x00AA00u);
    w->ActionRedo->trigger();
    EXPECT_EQ(w.Grid().RowCount(), 3);
    EXPECT_FALSE(w->ActionRedo->isEnabled());
}
