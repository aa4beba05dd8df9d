// The two modal dialogs, driven the way a user drives them: shown without
// their modal loop, with the worker's synchronised calls serviced from the
// event loop as in the program.

#include "colour/HSV.h"
#include "grid/nvOffscreenPaint.h"
#include "masking/Modal_Selection.h"
#include "platform/DeferredCalls.h"
#include "platform/Thread.h"
#include "platform/ZoomedPainter.h"
#include "recolour/ImagePart.h"
#include "recolour/Modal_ColorSettings.h"
#include "recolour/PartRecolourer.h"
#include "resources/StartPicture.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs the event loop for a few milliseconds, sleeping while there is nothing
// to do: a busy test thread would starve the idle-priority walker.
void RunLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        RunLoopFor(5);
    }
    return true;
}

void Pump(int ms) {
    RunLoopFor(ms);
}

// Waits for the walk started on showing (queued) and any walk running to end.
bool WalkDone(const TFormSelection& dlg) {
    return PumpUntil([&] { return TDeferredCalls::PendingCount() == 0 && !dlg.Walking(); });
}

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override { tw::EnableSynchronizeFromEventLoop(); }
};

QRect SeedAt(int x, int y) {
    return QRect(QPoint(x, y), QPoint(x, y));
}

constexpr uint8_t kZoom1 = 4; // factor 1
constexpr uint8_t kZoom2 = 6; // factor 2

TColorValue Hsv(int h, int s, int v) {
    return RGBValuesToColor(HSVToRGBValues({h, s, v}));
}

// --- Mask generation dialog ---------------------------------------------------

using MaskDialogTest = DialogTest;

TEST_F(MaskDialogTest, RuleLabelsAndStripsFollowTheTrackBarsAndTheSeed) {
    TFormSelection dlg;
    // Hue 10 at full saturation and value.
    const TColorValue orange = RGBToColor(255, 42, 0);
    ASSERT_EQ(ColorToHSVValues(orange), (THSVValues{10, 255, 255}));
    dlg.Load(tw::Bitmap(40, 30, orange), SeedAt(5, 5), QPoint(5, 5), TTintwellSettings{}, kZoom1);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    EXPECT_EQ(dlg.SeedColor(), orange);
    dlg.PageControl1->setCurrentWidget(dlg.TabSheet1);
    Pump(50);

    for (int p : {0, 5, 100}) {
        dlg.TrackBarValue->setValue(p);
        EXPECT_EQ(dlg.LabelValue->text(), QString::number(p) + " % deviation");
    }

    const tw::Bitmap* strip = &dlg.ImageHue->Picture();
    ASSERT_GT(strip->Width(), 100);
    EXPECT_EQ(strip->Height(), 8);
    EXPECT_EQ(strip->Width(), dlg.ImageHue->width());

    dlg.TrackHue->setValue(0);
    strip = &dlg.ImageHue->Picture();
    for (int b = 0; b < strip->Width(); ++b)
        ASSERT_EQ(strip->Pixel(b, 3), orange) << b;

    // Half 90 around hue 10: from 280 over 360/0 up to about 100.
    dlg.TrackHue->setValue(50);
    EXPECT_EQ(dlg.LabelHue->text(), "50 % deviation");
    strip = &dlg.ImageHue->Picture();
    const int w = strip->Width();
    EXPECT_EQ(strip->Pixel(0, 0), Hsv(280, 255, 255));
    EXPECT_EQ(strip->Pixel(0, 7), Hsv(280, 255, 255));
    const int last = ColorToHSVValues(strip->Pixel(w - 1, 0)).H;
    EXPECT_GE(last, 98);
    EXPECT_LE(last, 100);
    bool wrapped = false;
    int previous = 280;
    for (int b = 1; b < w; ++b) {
        const int h = ColorToHSVValues(strip->Pixel(b, 0)).H;
        if (h < previous) wrapped = true;
        previous = h;
    }
    EXPECT_TRUE(wrapped);

    EXPECT_EQ(TFormSelection::LevelStripHalf(20), 26); // 25.5 rounds to even
    EXPECT_EQ(TFormSelection::LevelStripHalf(60), 76); // 76.5 rounds to even
    EXPECT_EQ(TFormSelection::HueStripHalf(50), 90);
}

TEST_F(MaskDialogTest, SaturationStripOnAWhiteSeedIsClampedOnItsLeftHalf) {
    TFormSelection dlg;
    dlg.TrackBarSaturation->setValue(20);
    dlg.Load(tw::Bitmap(30, 30, tw::kWhite), SeedAt(3, 3), QPoint(3, 3), TTintwellSettings{}, kZoom1);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    const tw::Bitmap& strip = dlg.ImageSat->Picture();
    const int w = strip.Width();
    ASSERT_GT(w, 10);
    for (int b = 0; b <= w / 2 - 1; ++b)
        ASSERT_EQ(strip.Pixel(b, 0), tw::kWhite) << b;
    const THSVValues right = ColorToHSVValues(strip.Pixel(w - 1, 0));
    EXPECT_EQ(right.V, 255);
    EXPECT_GE(right.S, 24);
    EXPECT_LE(right.S, 26);
}

TEST_F(MaskDialogTest, WalkStateTableStopRestartAndClosing) {
    TFormSelection dlg;
    const tw::Bitmap picture = tw::StartPicture();
    dlg.Load(picture, SeedAt(98, 118), QPoint(98, 118), TTintwellSettings::Initial(), kZoom1);
    dlg.show();
    // The walk starts once the dialog is up, on the page "Coloring mask".
    dlg.PageControl1->setCurrentWidget(dlg.TabSheet1);
    ASSERT_TRUE(WalkDone(dlg));
    EXPECT_EQ(dlg.PageControl1->currentWidget(), dlg.TabSheet2);

    // Walking: its end can only arrive through the event loop, which does not run here.
    dlg.StartWalk();
    ASSERT_TRUE(dlg.Walking());
    EXPECT_TRUE(dlg.ButtonStopThread->isEnabled());
    EXPECT_FALSE(dlg.ButtonCancel->isEnabled());
    EXPECT_FALSE(dlg.ButtonAdd->isEnabled());
    EXPECT_FALSE(dlg.ButtonRestart->isEnabled());
    EXPECT_FALSE(dlg.FormCloseQuery());
    EXPECT_FALSE(dlg.close());
    dlg.reject(); // Escape
    EXPECT_TRUE(dlg.isVisible());
    // "Restart" during a walk only shows the mask page.
    dlg.PageControl1->setCurrentWidget(dlg.TabSheet1);
    dlg.ButtonRestartClick();
    EXPECT_EQ(dlg.PageControl1->currentWidget(), dlg.TabSheet2);

    // Stopping: still registered, nothing to press but the check box.
    dlg.ButtonStopThread->click();
    EXPECT_TRUE(dlg.Walking());
    EXPECT_FALSE(dlg.ButtonStopThread->isEnabled());
    EXPECT_FALSE(dlg.ButtonCancel->isEnabled());
    EXPECT_FALSE(dlg.close());

    // Idle again once the worker has ended.
    ASSERT_TRUE(PumpUntil([&] { return !dlg.Walking(); }));
    EXPECT_FALSE(dlg.ButtonStopThread->isEnabled());
    EXPECT_TRUE(dlg.ButtonCancel->isEnabled());
    EXPECT_TRUE(dlg.ButtonAdd->isEnabled());
    EXPECT_TRUE(dlg.ButtonRestart->isEnabled());
    dlg.ButtonStopThreadClick(); // nothing to stop
    EXPECT_FALSE(dlg.Walking());

    // The close button leaves without a part.
    int added = 0;
    dlg.OnAddImagePart = [&](const tw::Bitmap&, QPoint) { ++added; };
    EXPECT_TRUE(dlg.close());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(added, 0);

    // Control state lasts from one showing to the next.
    dlg.CBHue->setChecked(false);
    dlg.TrackBarValue->setValue(17);
    dlg.Load(picture, SeedAt(300, 96), QPoint(300, 96), TTintwellSettings::Initial(), kZoom1);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    EXPECT_FALSE(dlg.CBHue->isChecked());
    EXPECT_EQ(dlg.TrackBarValue->value(), 17);
    EXPECT_EQ(dlg.LabelValue->text(), "17 % deviation");
    dlg.close();

    // A dialog that goes away during a walk lets the walk end first: it owns
    // the picture the walk reads and the mask it writes.
    {
        TFormSelection going;
        going.Load(picture, SeedAt(200, 176), QPoint(200, 176), TTintwellSettings::Initial(), kZoom1);
        going.StartWalk();
        ASSERT_TRUE(going.Walking());
    }
}

TEST_F(MaskDialogTest, AddThisHandsTheGrownMaskOver) {
    TFormSelection dlg;
    // A 20 x 10 block of one colour on white grows into exactly that block.
    tw::Bitmap picture(60, 40, tw::kWhite);
    picture.FillRect(QRect(10, 10, 20, 10), RGBToColor(200, 40, 40));
    const TTintwellSettings keep{0, true, false, 0, 0, false};
    dlg.Load(picture, SeedAt(15, 12), QPoint(33, 44), keep, kZoom1);
    tw::Bitmap handed;
    QPoint anchor;
    int added = 0;
    dlg.OnAddImagePart = [&](const tw::Bitmap& mask, QPoint at) {
        handed = mask;
        anchor = at;
        ++added;
    };
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    dlg.ButtonAdd->click();
    ASSERT_EQ(added, 1);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(anchor, QPoint(33, 44));
    // How it grew, for carrying the part up to the full-size picture.
    ASSERT_TRUE(dlg.Growth());
    EXPECT_EQ(dlg.Growth()->Seed, QPoint(15, 12));
    EXPECT_EQ(dlg.Growth()->SeedColor, RGBToColor(200, 40, 40));
    ASSERT_EQ(handed.Width(), 60);
    ASSERT_EQ(handed.Height(), 40);
    int inside = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool block = QRect(10, 10, 20, 10).contains(x, y);
            if (handed.Pixel(x, y) != tw::kWhite) ++inside;
            ASSERT_EQ(handed.Pixel(x, y) != tw::kWhite, block) << x << "," << y;
        }
    EXPECT_EQ(inside, 200);
}

// Grey picture of value 100 with marker pixels at chosen distances right of
// the seed: each suggestion square reaches some of them.
tw::Bitmap MarkedGrey() {
    tw::Bitmap picture(260, 260, RGBToColor(100, 100, 100));
    const auto grey = [](int v) { return RGBToColor(v, v, v); };
    picture.SetPixel(153, 150, grey(110)); // in 7x7
    picture.SetPixel(154, 150, grey(130));
    picture.SetPixel(150, 160, grey(150)); // in 21x21
    picture.SetPixel(150, 161, grey(170));
    picture.SetPixel(125, 150, grey(190)); // in 51x51
    picture.SetPixel(124, 150, grey(210));
    picture.SetPixel(250, 250, grey(230)); // in 201x201, the largest square
    picture.SetPixel(251, 150, grey(250));
    return picture;
}

TEST_F(MaskDialogTest, SuggestionsSampleTheirSquaresAroundTheSeed) {
    TFormSelection dlg;
    dlg.Load(MarkedGrey(), SeedAt(150, 150), QPoint(150, 150), TTintwellSettings{}, kZoom1);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    dlg.PageControl1->setCurrentWidget(dlg.TabSheet1);

    struct Case {
        QPushButton* button;
        int value; // Round(dV / 2.55) of the farthest marker reached
    };
    for (const Case& c :
         {Case{dlg.Button1, 4}, Case{dlg.Button2, 20}, Case{dlg.Button3, 35}, Case{dlg.Button4, 51}}) {
        c.button->click();
        EXPECT_EQ(dlg.TrackBarValue->value(), c.value) << c.button->text().toStdString();
        EXPECT_EQ(dlg.TrackHue->value(), 0);
        EXPECT_EQ(dlg.TrackBarSaturation->value(), 0);
        // Idle before: the suggestion starts a walk with the new rules at once.
        EXPECT_TRUE(dlg.Walking());
        EXPECT_EQ(dlg.PageControl1->currentWidget(), dlg.TabSheet2);
        ASSERT_TRUE(PumpUntil([&] { return !dlg.Walking(); }));
    }
    EXPECT_TRUE(dlg.CBHue->isChecked());

    // During a walk: the walk stops, the bars move, no new walk starts.
    dlg.StartWalk();
    ASSERT_TRUE(dlg.Walking());
    dlg.Button1->click();
    EXPECT_EQ(dlg.TrackBarValue->value(), 4);
    EXPECT_TRUE(dlg.Walking());
    EXPECT_FALSE(dlg.ButtonStopThread->isEnabled());
    EXPECT_FALSE(dlg.ButtonRestart->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return !dlg.Walking(); }));
    EXPECT_TRUE(dlg.ButtonRestart->isEnabled());
    dlg.ButtonRestart->click();
    EXPECT_TRUE(dlg.Walking());
    ASSERT_TRUE(PumpUntil([&] { return !dlg.Walking(); }));
    dlg.close();
}

TEST_F(MaskDialogTest, PreviewIsCentredOnTheClickOnce) {
    EXPECT_EQ(TFormSelection::CenteredPosition(900, 569, 2000), 616);
    EXPECT_EQ(TFormSelection::CenteredPosition(900, 569, 800), 231);
    EXPECT_EQ(TFormSelection::CenteredPosition(100, 569, 2000), 0);
    EXPECT_EQ(TFormSelection::CenteredPosition(2900, 569, 2000), 0);

    TFormSelection dlg;
    dlg.Load(tw::StartPicture(), SeedAt(300, 96), QPoint(600, 192), TTintwellSettings::Initial(), kZoom2);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    Pump(50);
    EXPECT_EQ(dlg.Preview->width(), 800);
    QScrollBar* h = dlg.ScrollBox1->horizontalScrollBar();
    QScrollBar* v = dlg.ScrollBox1->verticalScrollBar();
    const int boxW = dlg.ScrollBox1->viewport()->width();
    const int boxH = dlg.ScrollBox1->viewport()->height();
    EXPECT_EQ(h->value(), TFormSelection::CenteredPosition(600, boxW, 800));
    EXPECT_EQ(v->value(), TFormSelection::CenteredPosition(192, boxH, 800));
    EXPECT_GT(h->value(), 0);
    // Once per showing: the user's scrolling stays.
    h->setValue(0);
    dlg.Preview->Invalidate();
    Pump(50);
    EXPECT_EQ(h->value(), 0);
    dlg.close();
}

TEST_F(MaskDialogTest, RealWalkGrowsInThePreviewAndBlinksOverThePicture) {
    TFormSelection dlg;
    const tw::Bitmap picture = tw::StartPicture();
    dlg.Load(picture, SeedAt(98, 118), QPoint(98, 118), TTintwellSettings::Initial(), kZoom1);
    int paints = 0;
    int paintsWhileWalking = 0;
    const auto paint = dlg.Preview->OnPaint;
    dlg.Preview->OnPaint = [&](TnvOffscreenPaint& s) {
        ++paints;
        if (dlg.Walking()) ++paintsWhileWalking;
        paint(s);
    };
    dlg.resize(599, 499);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    Pump(50);
    EXPECT_GT(paintsWhileWalking, 0);
    EXPECT_GT(paints, paintsWhileWalking);

    // The red balloon is in the mask, in its recoloured colours; the sky is not.
    const tw::Bitmap& mask = dlg.Mask();
    tw::Bitmap unused;
    const TPartRecolourer recolour(TTintwellSettings::Initial(), picture, unused);
    EXPECT_EQ(mask.Pixel(98, 118), recolour.TransformColor(picture.Pixel(98, 118)));
    EXPECT_EQ(mask.Pixel(5, 5), tw::kWhite);
    int grown = 0;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x)
            grown += mask.Pixel(x, y) != tw::kWhite;
    EXPECT_GT(grown, 2000);

    // The preview shows the mask alone: white sky, recoloured balloon.
    const auto shown = [&](int x, int y) {
        const QRect area = dlg.Preview->BufferArea();
        return dlg.Preview->Buffer().Pixel(x - area.x(), y - area.y());
    };
    EXPECT_EQ(shown(98, 118), mask.Pixel(98, 118));
    EXPECT_EQ(shown(5, 5), tw::kWhite);

    // Blinking starts with the picture behind the mask.
    dlg.CBBlinkOrg->click();
    EXPECT_TRUE(dlg.Timer1->isActive());
    EXPECT_EQ(dlg.Timer1->interval(), 2000);
    EXPECT_TRUE(dlg.ShowPictureBehind());
    Pump(50);
    EXPECT_EQ(shown(5, 5), picture.Pixel(5, 5));
    EXPECT_EQ(shown(98, 118), mask.Pixel(98, 118));
    dlg.Timer1Timer();
    EXPECT_FALSE(dlg.ShowPictureBehind());
    Pump(50);
    EXPECT_EQ(shown(5, 5), tw::kWhite);
    dlg.Timer1Timer();
    dlg.CBBlinkOrg->click();
    EXPECT_FALSE(dlg.Timer1->isActive());
    EXPECT_FALSE(dlg.ShowPictureBehind());
    dlg.close();
}

// --- Colour settings dialog ----------------------------------------------------

using ColorDialogTest = DialogTest;

TTintwellSettings SettingsOnScreen(TFormColorSettings& dlg) {
    TTintwellSettings s;
    dlg.GetSettings(s);
    return s;
}

TEST_F(ColorDialogTest, GoSolvesForTheGoalColour) {
    TFormColorSettings dlg;
    EXPECT_FALSE(dlg.PanelOrgColor->HasColor()) << "no original until a part or the user gives one";
    EXPECT_EQ(dlg.Label4->text(), "0 %");
    EXPECT_EQ(dlg.Label5->text(), "0 %");

    struct Case {
        TColorValue original, goal;
        int hue, saturation, value;
    };
    const Case cases[] = {
        {RGBToColor(200, 150, 100), RGBToColor(100, 100, 200), 240, 0, 0},
        {RGBToColor(100, 100, 100), RGBToColor(200, 100, 100), 0, 400, 100}, // 12700 limited to 400
        {RGBToColor(255, 0, 0), RGBToColor(128, 0, 0), 0, 0, -50},
    };
    for (const Case& c : cases) {
        dlg.RGHueKeep->setChecked(true);
        dlg.CBAvoidSing->setChecked(false);
        dlg.PanelOrgColor->SetColor(c.original);
        dlg.PanelGoalColor->SetColor(c.goal);
        dlg.ButtonChangeTo->click();
        EXPECT_EQ(dlg.TrackHue->value(), c.hue);
        EXPECT_EQ(dlg.TrackBarSaturation->value(), c.saturation);
        EXPECT_EQ(dlg.TrackBarValue->value(), c.value);
        EXPECT_EQ(dlg.Label4->text(), QString::number(c.saturation) + " %");
        EXPECT_TRUE(dlg.RGHueChange->isChecked());
        EXPECT_TRUE(dlg.CBAvoidSing->isChecked());
        EXPECT_TRUE(dlg.TrackHue->isEnabled());
        const TTintwellSettings s = SettingsOnScreen(dlg);
        EXPECT_EQ(s, (TTintwellSettings{c.hue, false, false, c.saturation, c.value, true}));
    }
}

// Tints are percentages: from a grey original "GO!" cannot reach a coloured
// goal, and the dialog says so with the colour the settings give instead.
TEST_F(ColorDialogTest, GoFromAGreyOriginalSaysTheGoalIsOutOfReach) {
    TFormColorSettings dlg;
    EXPECT_TRUE(dlg.LabelUnreachable->isHidden());
    const TColorValue grey = RGBToColor(76, 76, 76);
    dlg.PanelOrgColor->SetColor(grey);
    dlg.PanelGoalColor->SetColor(RGBToColor(200, 120, 60));
    dlg.ButtonChangeTo->click();
    ASSERT_FALSE(dlg.LabelUnreachable->isHidden());
    EXPECT_FALSE(dlg.PanelReachedColor->isHidden());
    tw::Bitmap one(1, 1), other(1, 1);
    const TPartRecolourer onScreen(SettingsOnScreen(dlg), one, other);
    const TColorValue given = onScreen.TransformColor(grey);
    EXPECT_EQ(dlg.PanelReachedColor->Color(), given);
    const TRGBValues rgb = ColorToRGBValues(given);
    EXPECT_EQ(dlg.LabelUnreachable->text(),
              QString::asprintf("The goal cannot be reached from a grey original. These settings give "
                                "R:%d G:%d B:%d.",
                                rgb.R, rgb.G, rgb.B));
    // Changed settings are no longer those the note speaks of.
    dlg.TrackBarValue->setValue(10);
    EXPECT_TRUE(dlg.LabelUnreachable->isHidden());
    // Black cannot be brightened either; a coloured original reaches its goal.
    dlg.PanelOrgColor->SetColor(0);
    dlg.PanelGoalColor->SetColor(RGBToColor(60, 60, 60));
    dlg.ButtonChangeTo->click();
    EXPECT_FALSE(dlg.LabelUnreachable->isHidden());
    dlg.PanelOrgColor->SetColor(RGBToColor(200, 150, 100));
    dlg.ButtonChangeTo->click();
    EXPECT_TRUE(dlg.LabelUnreachable->isHidden());
}

TEST_F(ColorDialogTest, ResetKeepsTheHueOnScreenAndClearsTheRest) {
    TFormColorSettings dlg;
    dlg.ShowSettings({75, false, true, 120, -30, true});
    // Moved but not yet read back: Reset still keeps it.
    dlg.TrackHue->setValue(123);
    dlg.ButtonReset->click();
    EXPECT_TRUE(dlg.RGHueKeep->isChecked());
    EXPECT_EQ(dlg.TrackBarSaturation->value(), 0);
    EXPECT_EQ(dlg.TrackBarValue->value(), 0);
    EXPECT_FALSE(dlg.CBAvoidSing->isChecked());
    EXPECT_EQ(SettingsOnScreen(dlg), (TTintwellSettings{123, true, false, 0, 0, false}));
}

TEST_F(ColorDialogTest, HueStripShowsShiftAndKeep) {
    TFormColorSettings dlg;
    tw::Bitmap picture(50, 50, RGBToColor(10, 200, 30));
    TImagePart part(tw::Bitmap(50, 50, tw::kWhite));
    part.ApplySettings(picture, {75, false, true, 0, 0, false});
    dlg.Prepare({75, false, true, 0, 0, false}, &picture, &part);
    EXPECT_EQ(dlg.TrackHue->value(), 75);
    EXPECT_TRUE(dlg.RGHueShift->isChecked());

    const tw::Bitmap& strip = dlg.HueStrip();
    ASSERT_EQ(strip.Width(), 204);
    ASSERT_EQ(strip.Height(), 15);
    for (int x : {0, 100, 203}) {
        const int hue = Round(x * 360.0 / 204);
        int shifted = hue + 75;
        if (shifted > 360) shifted -= 360;
        EXPECT_EQ(strip.Pixel(x, 0), Hsv(hue, 255, 255)) << x;
        EXPECT_EQ(strip.Pixel(x, 6), Hsv(hue, 255, 255)) << x;
        EXPECT_EQ(strip.Pixel(x, 7), Hsv(shifted, 255, 255)) << x;
        EXPECT_EQ(strip.Pixel(x, 14), Hsv(shifted, 255, 255)) << x;
    }

    dlg.RGHueKeep->click();
    EXPECT_FALSE(dlg.TrackHue->isEnabled());
    const tw::Bitmap& pale = dlg.HueStrip();
    EXPECT_EQ(pale.Pixel(0, 0), Hsv(0, 100, 255));
    EXPECT_EQ(pale.Pixel(100, 14), Hsv(Round(100 * 360.0 / 204), 100, 255));

    dlg.RGHueChange->click();
    EXPECT_TRUE(dlg.TrackHue->isEnabled());
    EXPECT_EQ(dlg.HueStrip().Pixel(100, 14), Hsv(Round(100 * 360.0 / 204), 255, 255));
}

// A picture with a colour gradient and a part covering its left half.
struct PartFixture {
    tw::Bitmap picture{400, 300};
    TImagePart part{tw::Bitmap(400, 300, tw::kWhite)};
    PartFixture() {
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x)
                picture.SetPixel(x, y, RGBToColor(x / 2, 60 + y / 3, 200 - x / 4));
        TPartRecolourer things({0, true, false, 0, 0, false}, picture, part.Bitmap);
        things.PaintRect(0, 0, 199, 299);
        part.AnchorX = 120;
        part.AnchorY = 90;
    }
};

void SendClick(QWidget* w, QPoint at) {
    const QPointF local(at);
    const QPointF global(w->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
}

TEST_F(ColorDialogTest, PreviewsStartCentredOnThePartScrollTogetherAndRecolourLive) {
    PartFixture f;
    TFormColorSettings dlg;
    const TTintwellSettings shift{75, false, true, 0, 0, false};
    dlg.Prepare(shift, &f.picture, &f.part);
    dlg.show();
    Pump(50);
    QScrollBar* orgH = dlg.ScrollBoxOrg->horizontalScrollBar();
    QScrollBar* orgV = dlg.ScrollBoxOrg->verticalScrollBar();
    QScrollBar* newH = dlg.ScrollBoxNew->horizontalScrollBar();
    QScrollBar* newV = dlg.ScrollBoxNew->verticalScrollBar();
    // The part covers columns 0..199 and rows 0..299: its middle (99, 149)
    // sits in the middle of the preview.
    const QSize view = dlg.ScrollBoxOrg->viewport()->size();
    const QPoint start(99 - view.width() / 2, 149 - view.height() / 2);
    EXPECT_EQ(orgH->value(), start.x());
    EXPECT_EQ(orgV->value(), start.y());
    EXPECT_EQ(newH->value(), start.x());
    EXPECT_EQ(dlg.OrgSample().Pixel(0, 0), f.picture.Pixel(start.x(), start.y()));

    // Scrolling the right box moves the left one and takes new samples.
    newH->setValue(180);
    newV->setValue(20);
    EXPECT_EQ(orgH->value(), 180);
    EXPECT_EQ(orgV->value(), 20);
    EXPECT_EQ(dlg.OrgSample().Pixel(0, 0), f.picture.Pixel(180, 20));
    EXPECT_EQ(dlg.OrgSample().Pixel(144, 144), f.picture.Pixel(324, 164));
    // Columns 20.. of the sample lie right of the part: white there.
    Pump(50);
    const TPartRecolourer shifted(shift, f.picture, f.part.Bitmap);
    EXPECT_EQ(dlg.NewSample().Pixel(5, 5), shifted.TransformColor(f.picture.Pixel(185, 25)));
    EXPECT_EQ(dlg.NewSample().Pixel(30, 5), tw::kWhite);

    // The right preview follows the track bars, always from the original.
    dlg.TrackBarValue->setValue(-50);
    Pump(50);
    Pump(50);
    const TPartRecolourer darker({75, false, true, 0, -50, false}, f.picture, f.part.Bitmap);
    EXPECT_EQ(dlg.NewSample().Pixel(5, 5), darker.TransformColor(f.picture.Pixel(185, 25)));
    const auto shown = [](TnvOffscreenPaint* box, int x, int y) {
        const QRect area = box->BufferArea();
        return box->Buffer().Pixel(x - area.x(), y - area.y());
    };
    EXPECT_EQ(shown(dlg.PaintBoxNew, 185, 25), darker.TransformColor(f.picture.Pixel(185, 25)));
    EXPECT_EQ(shown(dlg.PaintBoxOrg, 185, 25), f.picture.Pixel(185, 25));

    // The mouse readout tells what is on screen under it.
    QMouseEvent move(QEvent::MouseMove, QPointF(190, 30),
                     QPointF(dlg.PaintBoxOrg->mapToGlobal(QPoint(190, 30))), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(dlg.PaintBoxOrg, &move);
    const THSVValues hsv = ColorToHSVValues(f.picture.Pixel(190, 30));
    EXPECT_EQ(dlg.LabelHSVATMouse->text(),
              QString::asprintf("HSV at mouse: H:%d S:%d V:%d", hsv.H, hsv.S, hsv.V));

    // Grab and drag: the picture follows the mouse, both boxes move, and the
    // release after a drag picks no colour.
    dlg.ToolButtonOrgColor->setChecked(true);
    const TColorValue before = dlg.PanelOrgColor->Color();
    const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), QPointF(dlg.PaintBoxNew->mapToGlobal(at)), button, buttons,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(dlg.PaintBoxNew, &e);
    };
    mouse(QEvent::MouseButtonPress, QPoint(200, 60), Qt::LeftButton, Qt::LeftButton);
    // 30 left and 10 up on screen.
    mouse(QEvent::MouseMove, QPoint(170, 50), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(newH->value(), 210);
    EXPECT_EQ(newV->value(), 30);
    EXPECT_EQ(orgH->value(), 210);
    // The same screen point is client (190, 40) now; 20 further left, 30 further up.
    mouse(QEvent::MouseMove, QPoint(190, 40), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(newH->value(), 220);
    EXPECT_EQ(newV->value(), 50);
    mouse(QEvent::MouseButtonRelease, QPoint(200, 60), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(dlg.PanelOrgColor->Color(), before);
    EXPECT_TRUE(dlg.ToolButtonOrgColor->isChecked());
    EXPECT_EQ(dlg.OrgSample().Pixel(0, 0), f.picture.Pixel(220, 50));

    dlg.reject();
    EXPECT_EQ(dlg.BoundPart(), nullptr);
    EXPECT_TRUE(dlg.OrgSample().IsEmpty());
}

TEST_F(ColorDialogTest, ResizingGrowsThePreviewsAndTheirSamplesAndTheHueShowsItsNumber) {
    PartFixture f;
    TFormColorSettings dlg;
    dlg.Prepare({75, false, true, 0, 0, false}, &f.picture, &f.part);
    EXPECT_EQ(dlg.LabelHueValue->text(), "75");
    dlg.TrackHue->setValue(300);
    EXPECT_EQ(dlg.LabelHueValue->text(), "300");
    dlg.show();
    Pump(50);
    const QSize before = dlg.ScrollBoxNew->size();
    dlg.resize(dlg.width() + 300, dlg.height() + 200);
    Pump(50);
    EXPECT_GE(dlg.ScrollBoxOrg->width(), before.width() + 140);
    EXPECT_GE(dlg.ScrollBoxNew->height(), before.height() + 180);
    // The sample covers the whole grown view, so the far corner is the picture's.
    const QSize view = dlg.ScrollBoxOrg->viewport()->size();
    EXPECT_GE(dlg.OrgSample().Width(), view.width());
    EXPECT_GE(dlg.OrgSample().Height(), view.height());
    const QPoint at(dlg.ScrollBoxOrg->horizontalScrollBar()->value(),
                    dlg.ScrollBoxOrg->verticalScrollBar()->value());
    const QPoint corner(std::min(view.width(), 400 - at.x()) - 1, std::min(view.height(), 300 - at.y()) - 1);
    EXPECT_GT(corner.x(), TFormColorSettings::SampleSize);
    EXPECT_EQ(dlg.OrgSample().Pixel(corner.x(), corner.y()),
              f.picture.Pixel(at.x() + corner.x(), at.y() + corner.y()));
    dlg.reject();
}

TEST_F(ColorDialogTest, PickingSetsTheSwatchesOfTheButtonsDownAndReleasesThem) {
    PartFixture f;
    TFormColorSettings dlg;
    dlg.Prepare({0, true, false, 0, 0, false}, &f.picture, &f.part);
    dlg.show();
    Pump(50);
    const int sx = dlg.ScrollBoxOrg->horizontalScrollBar()->value();
    const int sy = dlg.ScrollBoxOrg->verticalScrollBar()->value();

    // Both down, one click, the same 5 x 5 average in both swatches.
    dlg.CheckBox5pointavg->setChecked(true);
    dlg.ToolButtonOrgColor->setChecked(true);
    dlg.ToolButtonGoalColor->setChecked(true);
    SendClick(dlg.PaintBoxOrg, QPoint(sx + 10, sy + 20));
    int r = 0, g = 0, b = 0;
    for (int dx = -2; dx <= 2; ++dx)
        for (int dy = -2; dy <= 2; ++dy) {
            const TRGBValues c = ColorToRGBValues(f.picture.Pixel(sx + 10 + dx, sy + 20 + dy));
            r += c.R, g += c.G, b += c.B;
        }
    const TColorValue average = RGBToColor(r / 25, g / 25, b / 25);
    EXPECT_EQ(dlg.PanelOrgColor->Color(), average);
    EXPECT_EQ(dlg.PanelGoalColor->Color(), average);
    EXPECT_FALSE(dlg.ToolButtonOrgColor->isChecked());
    EXPECT_FALSE(dlg.ToolButtonGoalColor->isChecked());

    // Neither down: a click does nothing. Goal only, single pixel, right box.
    SendClick(dlg.PaintBoxNew, QPoint(sx + 3, sy + 3));
    EXPECT_EQ(dlg.PanelOrgColor->Color(), average);
    dlg.CheckBox5pointavg->setChecked(false);
    dlg.ToolButtonGoalColor->setChecked(true);
    SendClick(dlg.PaintBoxNew, QPoint(sx + 3, sy + 3));
    EXPECT_EQ(dlg.PanelGoalColor->Color(), dlg.NewSample().Pixel(3, 3));
    EXPECT_EQ(dlg.PanelOrgColor->Color(), average);

    // The colour dialog buttons; cancelling leaves the swatch alone.
    dlg.OnChooseColor = [](tw::ColorValue) { return std::optional<tw::ColorValue>(RGBToColor(1, 2, 3)); };
    dlg.ToolButtonOrgColorPick->click();
    EXPECT_EQ(dlg.PanelOrgColor->Color(), RGBToColor(1, 2, 3));
    dlg.OnChooseColor = [](tw::ColorValue) { return std::optional<tw::ColorValue>(); };
    dlg.ToolButtonOrgColorPick->click();
    EXPECT_EQ(dlg.PanelOrgColor->Color(), RGBToColor(1, 2, 3));
    dlg.reject();
}

TEST_F(ColorDialogTest, AverageColorAtCountsOutsidePositionsWithTheNearestPixel) {
    EXPECT_EQ(TFormColorSettings::AverageColorAt(nullptr, 0, 0, 2), 0u);
    tw::Bitmap bmp(3, 3, 0);
    bmp.FillRect(QRect(0, 0, 1, 3), RGBToColor(250, 0, 10));
    EXPECT_EQ(TFormColorSettings::AverageColorAt(&bmp, 0, 1, 0), RGBToColor(250, 0, 10));
    // At the corner, columns -2..0 all read column 0: 15 of 25 positions.
    EXPECT_EQ(TFormColorSettings::AverageColorAt(&bmp, 0, 0, 2), RGBToColor(150, 0, 6));
    // Truncating division: 5 of 25 positions hold 250 and 10.
    EXPECT_EQ(TFormColorSettings::AverageColorAt(&bmp, 2, 2, 2), RGBToColor(50, 0, 2));
}

TEST_F(ColorDialogTest, WithoutAPartTheSettingsStillRoundTrip) {
    TFormColorSettings dlg;
    dlg.Prepare({200, false, false, -40, 40, true}, nullptr, nullptr);
    dlg.show();
    Pump(30);
    EXPECT_EQ(SettingsOnScreen(dlg), (TTintwellSettings{200, false, false, -40, 40, true}));
    // Track bars limit values beyond their ranges.
    dlg.ShowSettings({500, false, false, 900, -900, false});
    EXPECT_EQ(SettingsOnScreen(dlg), (TTintwellSettings{360, false, false, 400, -400, false}));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

// --- Screenshots (run with --gtest_also_run_disabled_tests) ---------------------

TEST_F(DialogTest, DISABLED_Screenshots) {
    const tw::Bitmap picture = tw::StartPicture();
    TFormSelection mask;
    tw::Bitmap grown;
    mask.OnAddImagePart = [&](const tw::Bitmap& m, QPoint) { grown = m; };
    mask.Load(picture, SeedAt(98, 118), QPoint(196, 236), TTintwellSettings::Initial(), kZoom2);
    mask.show();
    ASSERT_TRUE(WalkDone(mask));
    Pump(100);
    mask.grab().save("/tmp/dialog-selection-mask.png");
    mask.CBBlinkOrg->click();
    Pump(100);
    mask.grab().save("/tmp/dialog-selection-blink.png");
    mask.CBBlinkOrg->click();
    mask.ButtonAdvanced->click();
    Pump(100);
    mask.grab().save("/tmp/dialog-selection-settings.png");
    mask.StartWalk();
    Pump(5);
    mask.grab().save("/tmp/dialog-selection-walking.png");
    ASSERT_TRUE(PumpUntil([&] { return !mask.Walking(); }));
    mask.ButtonAdd->click();
    ASSERT_FALSE(grown.IsEmpty());

    TImagePart part(grown);
    part.ApplySettings(picture, TTintwellSettings::Initial());
    TFormColorSettings colors;
    colors.Prepare(TTintwellSettings::Initial(), &picture, &part);
    colors.show();
    Pump(100);
    colors.grab().save("/tmp/dialog-colors.png");
    colors.RGHueKeep->click();
    colors.TrackBarValue->setValue(-30);
    Pump(100);
    colors.grab().save("/tmp/dialog-colors-keep.png");
}

} // namespace
