// The two modal dialogs, driven the way a user drives them: shown without
// their modal loop, with the worker's synchronised calls serviced from the
// event loop as in the program.

#include "colour/HSV.h"
#include "dialogs/ColourSettingsDialog.h"
#include "dialogs/GrowPartDialog.h"
#include "grid/nvOffscreenPaint.h"
#include "platform/DeferredCalls.h"
#include "platform/Thread.h"
#include "platform/ZoomedPainter.h"
#include "recolour/ImagePart.h"
#include "recolour/PartRecolourer.h"
#include "resources/StartPicture.h"
#include "support/WidgetLookup.h"

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
#include <QSpinBox>
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
bool WalkDone(const TGrowPartDialog& dlg) {
    return PumpUntil([&] { return TDeferredCalls::PendingCount() == 0 && !dlg.Walking(); });
}

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override { tw::EnableSynchronizeFromEventLoop(); }
};

QPoint SeedAt(int x, int y) {
    return QPoint(x, y);
}

constexpr int kZoom1 = 4; // factor 1
constexpr int kZoom2 = 6; // factor 2

TColorValue Hsv(int h, int s, int v) {
    return RGBValuesToColor(HSVToRGBValues({h, s, v}));
}

// --- Mask generation dialog ---------------------------------------------------

using MaskDialogTest = DialogTest;

TEST_F(MaskDialogTest, RuleLabelsAndStripsFollowTheTrackBarsAndTheSeed) {
    TGrowPartDialog dlg;
    // Hue 10 at full saturation and value.
    const TColorValue orange = RGBToColor(255, 42, 0);
    ASSERT_EQ(ColorToHSVValues(orange), (THSVValues{10, 255, 255}));
    dlg.Load(tw::Bitmap(40, 30, orange), SeedAt(5, 5), QPoint(5, 5), TTintwellSettings{}, kZoom1);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    EXPECT_EQ(dlg.SeedColor(), orange);
    twtest::Child<QTabWidget>(dlg, "pages")->setCurrentWidget(twtest::Child<QWidget>(dlg, "settingsPage"));
    Pump(50);

    for (int p : {0, 5, 100}) {
        twtest::Child<QSlider>(dlg, "valueTolerance")->setValue(p);
        EXPECT_EQ(twtest::Child<QLabel>(dlg, "valueToleranceText")->text(),
                  QString::number(p) + " % deviation");
    }

    const tw::Bitmap* strip = &twtest::Child<TRuleStripImage>(dlg, "hueStrip")->Picture();
    ASSERT_GT(strip->Width(), 100);
    EXPECT_EQ(strip->Height(), 8);
    EXPECT_EQ(strip->Width(), twtest::Child<TRuleStripImage>(dlg, "hueStrip")->width());

    twtest::Child<QSlider>(dlg, "hueTolerance")->setValue(0);
    strip = &twtest::Child<TRuleStripImage>(dlg, "hueStrip")->Picture();
    for (int b = 0; b < strip->Width(); ++b)
        ASSERT_EQ(strip->Pixel(b, 3), orange) << b;

    // Half 90 around hue 10: from 280 over 360/0 up to about 100.
    twtest::Child<QSlider>(dlg, "hueTolerance")->setValue(50);
    EXPECT_EQ(twtest::Child<QLabel>(dlg, "hueToleranceText")->text(), "50 % deviation");
    strip = &twtest::Child<TRuleStripImage>(dlg, "hueStrip")->Picture();
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

    EXPECT_EQ(TGrowPartDialog::LevelStripHalf(20), 26); // 25.5 rounds to even
    EXPECT_EQ(TGrowPartDialog::LevelStripHalf(60), 76); // 76.5 rounds to even
    EXPECT_EQ(TGrowPartDialog::HueStripHalf(50), 90);
}

TEST_F(MaskDialogTest, SaturationStripOnAWhiteSeedIsClampedOnItsLeftHalf) {
    TGrowPartDialog dlg;
    twtest::Child<QSlider>(dlg, "saturationTolerance")->setValue(20);
    dlg.Load(tw::Bitmap(30, 30, tw::kWhite), SeedAt(3, 3), QPoint(3, 3), TTintwellSettings{}, kZoom1);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    const tw::Bitmap& strip = twtest::Child<TRuleStripImage>(dlg, "saturationStrip")->Picture();
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
    TGrowPartDialog dlg;
    const tw::Bitmap picture = tw::StartPicture();
    dlg.Load(picture, SeedAt(98, 118), QPoint(98, 118), TTintwellSettings::Initial(), kZoom1);
    dlg.show();
    // The walk starts once the dialog is up, on the page "Coloring mask".
    twtest::Child<QTabWidget>(dlg, "pages")->setCurrentWidget(twtest::Child<QWidget>(dlg, "settingsPage"));
    ASSERT_TRUE(WalkDone(dlg));
    EXPECT_EQ(twtest::Child<QTabWidget>(dlg, "pages")->currentWidget(),
              twtest::Child<QWidget>(dlg, "maskPage"));

    // Walking: its end can only arrive through the event loop, which does not run here.
    dlg.StartWalk();
    ASSERT_TRUE(dlg.Walking());
    EXPECT_TRUE(twtest::Child<QPushButton>(dlg, "stop")->isEnabled());
    EXPECT_FALSE(twtest::Child<QPushButton>(dlg, "cancel")->isEnabled());
    EXPECT_FALSE(twtest::Child<QPushButton>(dlg, "addThis")->isEnabled());
    EXPECT_FALSE(twtest::Child<QPushButton>(dlg, "restart")->isEnabled());
    EXPECT_FALSE(dlg.CanClose());
    EXPECT_FALSE(dlg.close());
    dlg.reject(); // Escape
    EXPECT_TRUE(dlg.isVisible());
    // "Restart" during a walk only shows the mask page.
    twtest::Child<QTabWidget>(dlg, "pages")->setCurrentWidget(twtest::Child<QWidget>(dlg, "settingsPage"));
    dlg.RestartWalk();
    EXPECT_EQ(twtest::Child<QTabWidget>(dlg, "pages")->currentWidget(),
              twtest::Child<QWidget>(dlg, "maskPage"));

    // Stopping: still registered, nothing to press but the check box.
    twtest::Child<QPushButton>(dlg, "stop")->click();
    EXPECT_TRUE(dlg.Walking());
    EXPECT_FALSE(twtest::Child<QPushButton>(dlg, "stop")->isEnabled());
    EXPECT_FALSE(twtest::Child<QPushButton>(dlg, "cancel")->isEnabled());
    EXPECT_FALSE(dlg.close());

    // Idle again once the worker has ended.
    ASSERT_TRUE(PumpUntil([&] { return !dlg.Walking(); }));
    EXPECT_FALSE(twtest::Child<QPushButton>(dlg, "stop")->isEnabled());
    EXPECT_TRUE(twtest::Child<QPushButton>(dlg, "cancel")->isEnabled());
    EXPECT_TRUE(twtest::Child<QPushButton>(dlg, "addThis")->isEnabled());
    EXPECT_TRUE(twtest::Child<QPushButton>(dlg, "restart")->isEnabled());
    dlg.StopWalk(); // nothing to stop
    EXPECT_FALSE(dlg.Walking());

    // The close button leaves without a part.
    int added = 0;
    QObject::connect(&dlg, &TGrowPartDialog::partAccepted, [&] { ++added; });
    EXPECT_TRUE(dlg.close());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(added, 0);

    // Control state lasts from one showing to the next.
    twtest::Child<QCheckBox>(dlg, "useHue")->setChecked(false);
    twtest::Child<QSlider>(dlg, "valueTolerance")->setValue(17);
    dlg.Load(picture, SeedAt(300, 96), QPoint(300, 96), TTintwellSettings::Initial(), kZoom1);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    EXPECT_FALSE(twtest::Child<QCheckBox>(dlg, "useHue")->isChecked());
    EXPECT_EQ(twtest::Child<QSlider>(dlg, "valueTolerance")->value(), 17);
    EXPECT_EQ(twtest::Child<QLabel>(dlg, "valueToleranceText")->text(), "17 % deviation");
    dlg.close();

    // A dialog that goes away during a walk lets the walk end first: it owns
    // the picture the walk reads and the mask it writes.
    {
        TGrowPartDialog going;
        going.Load(picture, SeedAt(200, 176), QPoint(200, 176), TTintwellSettings::Initial(), kZoom1);
        going.StartWalk();
        ASSERT_TRUE(going.Walking());
    }
}

TEST_F(MaskDialogTest, AddThisHandsTheGrownMaskOver) {
    TGrowPartDialog dlg;
    // A 20 x 10 block of one colour on white grows into exactly that block.
    tw::Bitmap picture(60, 40, tw::kWhite);
    picture.FillRect(QRect(10, 10, 20, 10), RGBToColor(200, 40, 40));
    const TTintwellSettings keep{0, true, false, 0, 0, false};
    dlg.Load(picture, SeedAt(15, 12), QPoint(33, 44), keep, kZoom1);
    tw::Bitmap handed;
    QPoint anchor;
    int added = 0;
    QObject::connect(&dlg, &TGrowPartDialog::partAccepted,
                     [&](const tw::Bitmap& mask, QPoint at, const std::optional<TPartGrowth>&) {
                         handed = mask;
                         anchor = at;
                         ++added;
                     });
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    twtest::Child<QPushButton>(dlg, "addThis")->click();
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

TEST_F(MaskDialogTest, RulesRegrowTheMaskByThemselvesAndTheSizeIsShown) {
    TGrowPartDialog dlg;
    // Two red blocks apart on white; the left one has a dark hole of 12 pixels
    // and a darker right half.
    tw::Bitmap picture(80, 30, tw::kWhite);
    picture.FillRect(QRect(5, 5, 30, 20), RGBToColor(200, 40, 40));
    picture.FillRect(QRect(20, 5, 15, 20), RGBToColor(150, 30, 30));
    picture.FillRect(QRect(10, 10, 4, 3), RGBToColor(20, 4, 4));
    picture.FillRect(QRect(45, 5, 30, 20), RGBToColor(200, 40, 40));
    dlg.Load(picture, SeedAt(7, 7), QPoint(7, 7), TTintwellSettings{0, true, false, 0, 0, false}, kZoom1);
    TWalkerRules rules = TWalkerRules::Default();
    rules.ValueDeviation = 10; // not the darker half
    dlg.SetRules(rules);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    auto* count = twtest::Child<QLabel>(dlg, "pixelCount");
    EXPECT_EQ(dlg.PixelCount(), 15 * 20 - 12);
    EXPECT_EQ(count->text(), "288 pixels");
    EXPECT_EQ(count->accessibleName(), "288 pixels");
    twtest::Child<QTabWidget>(dlg, "pages")->setCurrentWidget(twtest::Child<QWidget>(dlg, "settingsPage"));

    // Each rule regrows after a pause, without Restart, on the page the user is on.
    const auto regrown = [&](int64_t expected) {
        EXPECT_FALSE(dlg.Walking()) << "not before the pause";
        return PumpUntil([&] { return dlg.PixelCount() == expected && !dlg.Walking(); }, 5000);
    };
    twtest::Child<QSlider>(dlg, "valueTolerance")->setValue(40);
    EXPECT_TRUE(regrown(30 * 20 - 12));
    EXPECT_EQ(twtest::Child<QTabWidget>(dlg, "pages")->currentWidget(),
              twtest::Child<QWidget>(dlg, "settingsPage"));
    twtest::Child<QSpinBox>(dlg, "fillHoles")->setValue(12);
    EXPECT_TRUE(regrown(30 * 20));
    twtest::Child<QCheckBox>(dlg, "anywhere")->setChecked(true);
    EXPECT_TRUE(regrown(2 * 30 * 20));
    ASSERT_TRUE(dlg.Growth());
    EXPECT_TRUE(dlg.Growth()->Rules.Anywhere);
    EXPECT_EQ(dlg.Growth()->Rules.FillHoles, 12);

    // The whole picture needs seed compare.
    twtest::Child<QCheckBox>(dlg, "compareToNeighbour")->setChecked(true);
    EXPECT_FALSE(twtest::Child<QCheckBox>(dlg, "anywhere")->isEnabled());
    EXPECT_FALSE(dlg.Rules().Anywhere);
    EXPECT_TRUE(regrown(30 * 20));
    dlg.close();
}

TEST_F(MaskDialogTest, AddToAndRemoveFromTheCurrentPart) {
    TGrowPartDialog dlg;
    tw::Bitmap picture(40, 30, tw::kWhite);
    picture.FillRect(QRect(10, 10, 20, 10), RGBToColor(200, 40, 40));
    int combined = 0;
    bool removed = false;
    QObject::connect(&dlg, &TGrowPartDialog::partCombined,
                     [&](const tw::Bitmap& mask, const std::optional<TPartGrowth>& growth, bool remove) {
                         ++combined;
                         removed = remove;
                         EXPECT_NE(mask.Pixel(12, 12), tw::kWhite);
                         EXPECT_TRUE(growth);
                     });
    auto* add = twtest::Child<QPushButton>(dlg, "addThis");
    auto* addTo = twtest::Child<QPushButton>(dlg, "addToPart");
    auto* removeFrom = twtest::Child<QPushButton>(dlg, "removeFromPart");
    // No current part: a plain Fill.
    dlg.Load(picture, SeedAt(12, 12), QPoint(12, 12), TTintwellSettings::Initial(), kZoom1, false,
             TGrowTarget::AddToPart);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    EXPECT_TRUE(add->isDefault());
    EXPECT_FALSE(addTo->isEnabled());
    EXPECT_FALSE(removeFrom->isEnabled());
    dlg.close();

    for (const TGrowTarget target : {TGrowTarget::AddToPart, TGrowTarget::RemoveFromPart}) {
        dlg.Load(picture, SeedAt(12, 12), QPoint(12, 12), TTintwellSettings::Initial(), kZoom1, true, target);
        QPushButton* ready = target == TGrowTarget::AddToPart ? addTo : removeFrom;
        EXPECT_TRUE(ready->isDefault());
        EXPECT_FALSE(add->isDefault());
        dlg.show();
        ASSERT_TRUE(WalkDone(dlg));
        ready->click();
        EXPECT_EQ(removed, target == TGrowTarget::RemoveFromPart);
        EXPECT_FALSE(dlg.isVisible());
    }
    EXPECT_EQ(combined, 2);
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
    TGrowPartDialog dlg;
    dlg.Load(MarkedGrey(), SeedAt(150, 150), QPoint(150, 150), TTintwellSettings{}, kZoom1);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    twtest::Child<QTabWidget>(dlg, "pages")->setCurrentWidget(twtest::Child<QWidget>(dlg, "settingsPage"));

    struct Case {
        QPushButton* button;
        int value; // Round(dV / 2.55) of the farthest marker reached
    };
    for (const Case& c : {Case{twtest::Child<QPushButton>(dlg, "suggest7x7"), 4},
                          Case{twtest::Child<QPushButton>(dlg, "suggest21x21"), 20},
                          Case{twtest::Child<QPushButton>(dlg, "suggest51x51"), 35},
                          Case{twtest::Child<QPushButton>(dlg, "suggest101x101"), 51}}) {
        c.button->click();
        EXPECT_EQ(twtest::Child<QSlider>(dlg, "valueTolerance")->value(), c.value)
            << c.button->text().toStdString();
        EXPECT_EQ(twtest::Child<QSlider>(dlg, "hueTolerance")->value(), 0);
        EXPECT_EQ(twtest::Child<QSlider>(dlg, "saturationTolerance")->value(), 0);
        // Idle before: the suggestion starts a walk with the new rules at once.
        EXPECT_TRUE(dlg.Walking());
        EXPECT_EQ(twtest::Child<QTabWidget>(dlg, "pages")->currentWidget(),
                  twtest::Child<QWidget>(dlg, "maskPage"));
        ASSERT_TRUE(PumpUntil([&] { return !dlg.Walking(); }));
    }
    EXPECT_TRUE(twtest::Child<QCheckBox>(dlg, "useHue")->isChecked());

    // During a walk: the walk stops, the bars move, no new walk starts.
    dlg.StartWalk();
    ASSERT_TRUE(dlg.Walking());
    twtest::Child<QPushButton>(dlg, "suggest7x7")->click();
    EXPECT_EQ(twtest::Child<QSlider>(dlg, "valueTolerance")->value(), 4);
    EXPECT_TRUE(dlg.Walking());
    EXPECT_FALSE(twtest::Child<QPushButton>(dlg, "stop")->isEnabled());
    EXPECT_FALSE(twtest::Child<QPushButton>(dlg, "restart")->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return !dlg.Walking(); }));
    EXPECT_TRUE(twtest::Child<QPushButton>(dlg, "restart")->isEnabled());
    twtest::Child<QPushButton>(dlg, "restart")->click();
    EXPECT_TRUE(dlg.Walking());
    ASSERT_TRUE(PumpUntil([&] { return !dlg.Walking(); }));
    dlg.close();
}

TEST_F(MaskDialogTest, PreviewIsCentredOnTheClickOnce) {
    EXPECT_EQ(TGrowPartDialog::CenteredPosition(900, 569, 2000), 616);
    EXPECT_EQ(TGrowPartDialog::CenteredPosition(900, 569, 800), 231);
    EXPECT_EQ(TGrowPartDialog::CenteredPosition(100, 569, 2000), 0);
    EXPECT_EQ(TGrowPartDialog::CenteredPosition(2900, 569, 2000), 0);

    TGrowPartDialog dlg;
    dlg.Load(tw::StartPicture(), SeedAt(300, 96), QPoint(600, 192), TTintwellSettings::Initial(), kZoom2);
    dlg.show();
    ASSERT_TRUE(WalkDone(dlg));
    Pump(50);
    EXPECT_EQ(twtest::Child<TnvOffscreenPaint>(dlg, "preview")->width(), 800);
    QScrollBar* h = twtest::Child<QScrollArea>(dlg, "previewArea")->horizontalScrollBar();
    QScrollBar* v = twtest::Child<QScrollArea>(dlg, "previewArea")->verticalScrollBar();
    const int boxW = twtest::Child<QScrollArea>(dlg, "previewArea")->viewport()->width();
    const int boxH = twtest::Child<QScrollArea>(dlg, "previewArea")->viewport()->height();
    EXPECT_EQ(h->value(), TGrowPartDialog::CenteredPosition(600, boxW, 800));
    EXPECT_EQ(v->value(), TGrowPartDialog::CenteredPosition(192, boxH, 800));
    EXPECT_GT(h->value(), 0);
    // Once per showing: the user's scrolling stays.
    h->setValue(0);
    twtest::Child<TnvOffscreenPaint>(dlg, "preview")->Invalidate();
    Pump(50);
    EXPECT_EQ(h->value(), 0);
    dlg.close();
}

TEST_F(MaskDialogTest, RealWalkGrowsInThePreviewAndBlinksOverThePicture) {
    TGrowPartDialog dlg;
    const tw::Bitmap picture = tw::StartPicture();
    dlg.Load(picture, SeedAt(98, 118), QPoint(98, 118), TTintwellSettings::Initial(), kZoom1);
    int paints = 0;
    int paintsWhileWalking = 0;
    const auto paint = twtest::Child<TnvOffscreenPaint>(dlg, "preview")->OnPaint;
    twtest::Child<TnvOffscreenPaint>(dlg, "preview")->OnPaint = [&](TnvOffscreenPaint& s) {
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
        const QRect area = twtest::Child<TnvOffscreenPaint>(dlg, "preview")->BufferArea();
        return twtest::Child<TnvOffscreenPaint>(dlg, "preview")->Buffer().Pixel(x - area.x(), y - area.y());
    };
    EXPECT_EQ(shown(98, 118), mask.Pixel(98, 118));
    EXPECT_EQ(shown(5, 5), tw::kWhite);

    // Blinking starts with the picture behind the mask.
    twtest::Child<QCheckBox>(dlg, "blinkOriginal")->click();
    EXPECT_TRUE(twtest::Child<QTimer>(dlg, "blinkTimer")->isActive());
    EXPECT_EQ(twtest::Child<QTimer>(dlg, "blinkTimer")->interval(), 2000);
    EXPECT_TRUE(dlg.ShowPictureBehind());
    Pump(50);
    EXPECT_EQ(shown(5, 5), picture.Pixel(5, 5));
    EXPECT_EQ(shown(98, 118), mask.Pixel(98, 118));
    dlg.Blink();
    EXPECT_FALSE(dlg.ShowPictureBehind());
    Pump(50);
    EXPECT_EQ(shown(5, 5), tw::kWhite);
    dlg.Blink();
    twtest::Child<QCheckBox>(dlg, "blinkOriginal")->click();
    EXPECT_FALSE(twtest::Child<QTimer>(dlg, "blinkTimer")->isActive());
    EXPECT_FALSE(dlg.ShowPictureBehind());
    dlg.close();
}

// --- Colour settings dialog ----------------------------------------------------

using ColorDialogTest = DialogTest;

TTintwellSettings SettingsOnScreen(TColourSettingsDialog& dlg) {
    return dlg.Settings();
}

TEST_F(ColorDialogTest, GoSolvesForTheGoalColour) {
    TColourSettingsDialog dlg;
    EXPECT_FALSE(twtest::Child<TColourSwatch>(dlg, "originalColor")->HasColor())
        << "no original until a part or the user gives one";
    EXPECT_EQ(twtest::Child<QLabel>(dlg, "saturationPercent")->text(), "0 %");
    EXPECT_EQ(twtest::Child<QLabel>(dlg, "valuePercent")->text(), "0 %");

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
        twtest::Child<QRadioButton>(dlg, "keepHue")->setChecked(true);
        twtest::Child<QCheckBox>(dlg, "avoidSingularities")->setChecked(false);
        twtest::Child<TColourSwatch>(dlg, "originalColor")->SetColor(c.original);
        twtest::Child<TColourSwatch>(dlg, "goalColor")->SetColor(c.goal);
        twtest::Child<QPushButton>(dlg, "go")->click();
        EXPECT_EQ(twtest::Child<QSlider>(dlg, "hue")->value(), c.hue);
        EXPECT_EQ(twtest::Child<QSlider>(dlg, "saturationTint")->value(), c.saturation);
        EXPECT_EQ(twtest::Child<QSlider>(dlg, "valueTint")->value(), c.value);
        EXPECT_EQ(twtest::Child<QLabel>(dlg, "saturationPercent")->text(),
                  QString::number(c.saturation) + " %");
        EXPECT_TRUE(twtest::Child<QRadioButton>(dlg, "changeHue")->isChecked());
        EXPECT_TRUE(twtest::Child<QCheckBox>(dlg, "avoidSingularities")->isChecked());
        EXPECT_TRUE(twtest::Child<QSlider>(dlg, "hue")->isEnabled());
        const TTintwellSettings s = SettingsOnScreen(dlg);
        EXPECT_EQ(s, (TTintwellSettings{c.hue, false, false, c.saturation, c.value, true}));
    }
}

// Tints are percentages: from a grey original "GO!" cannot reach a coloured
// goal, and the dialog says so with the colour the settings give instead.
TEST_F(ColorDialogTest, GoFromAGreyOriginalSaysTheGoalIsOutOfReach) {
    TColourSettingsDialog dlg;
    EXPECT_TRUE(twtest::Child<QLabel>(dlg, "unreachable")->isHidden());
    const TColorValue grey = RGBToColor(76, 76, 76);
    twtest::Child<TColourSwatch>(dlg, "originalColor")->SetColor(grey);
    twtest::Child<TColourSwatch>(dlg, "goalColor")->SetColor(RGBToColor(200, 120, 60));
    twtest::Child<QPushButton>(dlg, "go")->click();
    ASSERT_FALSE(twtest::Child<QLabel>(dlg, "unreachable")->isHidden());
    EXPECT_FALSE(twtest::Child<TColourSwatch>(dlg, "reachedColor")->isHidden());
    tw::Bitmap one(1, 1), other(1, 1);
    const TPartRecolourer onScreen(SettingsOnScreen(dlg), one, other);
    const TColorValue given = onScreen.TransformColor(grey);
    EXPECT_EQ(twtest::Child<TColourSwatch>(dlg, "reachedColor")->Color(), given);
    const TRGBValues rgb = ColorToRGBValues(given);
    EXPECT_EQ(twtest::Child<QLabel>(dlg, "unreachable")->text(),
              QString::asprintf("The goal cannot be reached from a grey original. These settings give "
                                "R:%d G:%d B:%d.",
                                rgb.R, rgb.G, rgb.B));
    // Changed settings are no longer those the note speaks of.
    twtest::Child<QSlider>(dlg, "valueTint")->setValue(10);
    EXPECT_TRUE(twtest::Child<QLabel>(dlg, "unreachable")->isHidden());
    // Black cannot be brightened either; a coloured original reaches its goal.
    twtest::Child<TColourSwatch>(dlg, "originalColor")->SetColor(0);
    twtest::Child<TColourSwatch>(dlg, "goalColor")->SetColor(RGBToColor(60, 60, 60));
    twtest::Child<QPushButton>(dlg, "go")->click();
    EXPECT_FALSE(twtest::Child<QLabel>(dlg, "unreachable")->isHidden());
    twtest::Child<TColourSwatch>(dlg, "originalColor")->SetColor(RGBToColor(200, 150, 100));
    twtest::Child<QPushButton>(dlg, "go")->click();
    EXPECT_TRUE(twtest::Child<QLabel>(dlg, "unreachable")->isHidden());
}

TEST_F(ColorDialogTest, ResetKeepsTheHueOnScreenAndClearsTheRest) {
    TColourSettingsDialog dlg;
    dlg.ShowSettings({75, false, true, 120, -30, true});
    // Moved but not yet read back: Reset still keeps it.
    twtest::Child<QSlider>(dlg, "hue")->setValue(123);
    twtest::Child<QPushButton>(dlg, "reset")->click();
    EXPECT_TRUE(twtest::Child<QRadioButton>(dlg, "keepHue")->isChecked());
    EXPECT_EQ(twtest::Child<QSlider>(dlg, "saturationTint")->value(), 0);
    EXPECT_EQ(twtest::Child<QSlider>(dlg, "valueTint")->value(), 0);
    EXPECT_FALSE(twtest::Child<QCheckBox>(dlg, "avoidSingularities")->isChecked());
    EXPECT_EQ(SettingsOnScreen(dlg), (TTintwellSettings{123, true, false, 0, 0, false}));
}

TEST_F(ColorDialogTest, HueStripShowsShiftAndKeep) {
    TColourSettingsDialog dlg;
    tw::Bitmap picture(50, 50, RGBToColor(10, 200, 30));
    TImagePart part(tw::Bitmap(50, 50, tw::kWhite));
    part.ApplySettings(picture, {75, false, true, 0, 0, false});
    dlg.Prepare({75, false, true, 0, 0, false}, &picture, &part);
    EXPECT_EQ(twtest::Child<QSlider>(dlg, "hue")->value(), 75);
    EXPECT_TRUE(twtest::Child<QRadioButton>(dlg, "shiftHue")->isChecked());

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

    twtest::Child<QRadioButton>(dlg, "keepHue")->click();
    EXPECT_FALSE(twtest::Child<QSlider>(dlg, "hue")->isEnabled());
    const tw::Bitmap& pale = dlg.HueStrip();
    EXPECT_EQ(pale.Pixel(0, 0), Hsv(0, 100, 255));
    EXPECT_EQ(pale.Pixel(100, 14), Hsv(Round(100 * 360.0 / 204), 100, 255));

    twtest::Child<QRadioButton>(dlg, "changeHue")->click();
    EXPECT_TRUE(twtest::Child<QSlider>(dlg, "hue")->isEnabled());
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
    TColourSettingsDialog dlg;
    const TTintwellSettings shift{75, false, true, 0, 0, false};
    dlg.Prepare(shift, &f.picture, &f.part);
    dlg.show();
    Pump(50);
    QScrollBar* orgH = twtest::Child<QScrollArea>(dlg, "originalArea")->horizontalScrollBar();
    QScrollBar* orgV = twtest::Child<QScrollArea>(dlg, "originalArea")->verticalScrollBar();
    QScrollBar* newH = twtest::Child<QScrollArea>(dlg, "partArea")->horizontalScrollBar();
    QScrollBar* newV = twtest::Child<QScrollArea>(dlg, "partArea")->verticalScrollBar();
    // The part covers columns 0..199 and rows 0..299: its middle (99, 149)
    // sits in the middle of the preview.
    const QSize view = twtest::Child<QScrollArea>(dlg, "originalArea")->viewport()->size();
    const QPoint start(99 - view.width() / 2, 149 - view.height() / 2);
    EXPECT_EQ(orgH->value(), start.x());
    EXPECT_EQ(orgV->value(), start.y());
    EXPECT_EQ(newH->value(), start.x());
    EXPECT_EQ(dlg.OriginalSample().Pixel(0, 0), f.picture.Pixel(start.x(), start.y()));

    // Scrolling the right box moves the left one and takes new samples.
    newH->setValue(180);
    newV->setValue(20);
    EXPECT_EQ(orgH->value(), 180);
    EXPECT_EQ(orgV->value(), 20);
    EXPECT_EQ(dlg.OriginalSample().Pixel(0, 0), f.picture.Pixel(180, 20));
    EXPECT_EQ(dlg.OriginalSample().Pixel(144, 144), f.picture.Pixel(324, 164));
    // Columns 20.. of the sample lie right of the part: white there.
    Pump(50);
    const TPartRecolourer shifted(shift, f.picture, f.part.Bitmap);
    EXPECT_EQ(dlg.PartSample().Pixel(5, 5), shifted.TransformColor(f.picture.Pixel(185, 25)));
    EXPECT_EQ(dlg.PartSample().Pixel(30, 5), tw::kWhite);

    // The right preview follows the track bars, always from the original.
    twtest::Child<QSlider>(dlg, "valueTint")->setValue(-50);
    Pump(50);
    Pump(50);
    const TPartRecolourer darker({75, false, true, 0, -50, false}, f.picture, f.part.Bitmap);
    EXPECT_EQ(dlg.PartSample().Pixel(5, 5), darker.TransformColor(f.picture.Pixel(185, 25)));
    const auto shown = [](TnvOffscreenPaint* box, int x, int y) {
        const QRect area = box->BufferArea();
        return box->Buffer().Pixel(x - area.x(), y - area.y());
    };
    EXPECT_EQ(shown(twtest::Child<TnvOffscreenPaint>(dlg, "partPreview"), 185, 25),
              darker.TransformColor(f.picture.Pixel(185, 25)));
    EXPECT_EQ(shown(twtest::Child<TnvOffscreenPaint>(dlg, "originalPreview"), 185, 25),
              f.picture.Pixel(185, 25));

    // The mouse readout tells what is on screen under it.
    QMouseEvent move(
        QEvent::MouseMove, QPointF(190, 30),
        QPointF(twtest::Child<TnvOffscreenPaint>(dlg, "originalPreview")->mapToGlobal(QPoint(190, 30))),
        Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(twtest::Child<TnvOffscreenPaint>(dlg, "originalPreview"), &move);
    const THSVValues hsv = ColorToHSVValues(f.picture.Pixel(190, 30));
    EXPECT_EQ(twtest::Child<QLabel>(dlg, "hsvAtMouse")->text(),
              QString::asprintf("HSV at mouse: H:%d S:%d V:%d", hsv.H, hsv.S, hsv.V));

    // Grab and drag: the picture follows the mouse, both boxes move, and the
    // release after a drag picks no colour.
    twtest::Child<QToolButton>(dlg, "pickOriginal")->setChecked(true);
    const TColorValue before = twtest::Child<TColourSwatch>(dlg, "originalColor")->Color();
    const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at),
                      QPointF(twtest::Child<TnvOffscreenPaint>(dlg, "partPreview")->mapToGlobal(at)), button,
                      buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(twtest::Child<TnvOffscreenPaint>(dlg, "partPreview"), &e);
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
    EXPECT_EQ(twtest::Child<TColourSwatch>(dlg, "originalColor")->Color(), before);
    EXPECT_TRUE(twtest::Child<QToolButton>(dlg, "pickOriginal")->isChecked());
    EXPECT_EQ(dlg.OriginalSample().Pixel(0, 0), f.picture.Pixel(220, 50));

    dlg.reject();
    EXPECT_EQ(dlg.BoundPart(), nullptr);
    EXPECT_TRUE(dlg.OriginalSample().IsEmpty());
}

TEST_F(ColorDialogTest, ResizingGrowsThePreviewsAndTheirSamplesAndTheHueShowsItsNumber) {
    PartFixture f;
    TColourSettingsDialog dlg;
    dlg.Prepare({75, false, true, 0, 0, false}, &f.picture, &f.part);
    EXPECT_EQ(twtest::Child<QLabel>(dlg, "hueNumber")->text(), "75");
    twtest::Child<QSlider>(dlg, "hue")->setValue(300);
    EXPECT_EQ(twtest::Child<QLabel>(dlg, "hueNumber")->text(), "300");
    dlg.show();
    Pump(50);
    const QSize before = twtest::Child<QScrollArea>(dlg, "partArea")->size();
    dlg.resize(dlg.width() + 300, dlg.height() + 200);
    Pump(50);
    EXPECT_GE(twtest::Child<QScrollArea>(dlg, "originalArea")->width(), before.width() + 140);
    EXPECT_GE(twtest::Child<QScrollArea>(dlg, "partArea")->height(), before.height() + 180);
    // The sample covers the whole grown view, so the far corner is the picture's.
    const QSize view = twtest::Child<QScrollArea>(dlg, "originalArea")->viewport()->size();
    EXPECT_GE(dlg.OriginalSample().Width(), view.width());
    EXPECT_GE(dlg.OriginalSample().Height(), view.height());
    const QPoint at(twtest::Child<QScrollArea>(dlg, "originalArea")->horizontalScrollBar()->value(),
                    twtest::Child<QScrollArea>(dlg, "originalArea")->verticalScrollBar()->value());
    const QPoint corner(std::min(view.width(), 400 - at.x()) - 1, std::min(view.height(), 300 - at.y()) - 1);
    EXPECT_GT(corner.x(), TColourSettingsDialog::kSampleSize);
    EXPECT_EQ(dlg.OriginalSample().Pixel(corner.x(), corner.y()),
              f.picture.Pixel(at.x() + corner.x(), at.y() + corner.y()));
    dlg.reject();
}

TEST_F(ColorDialogTest, PickingSetsTheSwatchesOfTheButtonsDownAndReleasesThem) {
    PartFixture f;
    TColourSettingsDialog dlg;
    dlg.Prepare({0, true, false, 0, 0, false}, &f.picture, &f.part);
    dlg.show();
    Pump(50);
    const int sx = twtest::Child<QScrollArea>(dlg, "originalArea")->horizontalScrollBar()->value();
    const int sy = twtest::Child<QScrollArea>(dlg, "originalArea")->verticalScrollBar()->value();

    // Both down, one click, the same 5 x 5 average in both swatches.
    twtest::Child<QCheckBox>(dlg, "fivePointAverage")->setChecked(true);
    twtest::Child<QToolButton>(dlg, "pickOriginal")->setChecked(true);
    twtest::Child<QToolButton>(dlg, "pickGoal")->setChecked(true);
    SendClick(twtest::Child<TnvOffscreenPaint>(dlg, "originalPreview"), QPoint(sx + 10, sy + 20));
    int r = 0, g = 0, b = 0;
    for (int dx = -2; dx <= 2; ++dx)
        for (int dy = -2; dy <= 2; ++dy) {
            const TRGBValues c = ColorToRGBValues(f.picture.Pixel(sx + 10 + dx, sy + 20 + dy));
            r += c.R, g += c.G, b += c.B;
        }
    const TColorValue average = RGBToColor(r / 25, g / 25, b / 25);
    EXPECT_EQ(twtest::Child<TColourSwatch>(dlg, "originalColor")->Color(), average);
    EXPECT_EQ(twtest::Child<TColourSwatch>(dlg, "goalColor")->Color(), average);
    EXPECT_FALSE(twtest::Child<QToolButton>(dlg, "pickOriginal")->isChecked());
    EXPECT_FALSE(twtest::Child<QToolButton>(dlg, "pickGoal")->isChecked());

    // Neither down: a click does nothing. Goal only, single pixel, right box.
    SendClick(twtest::Child<TnvOffscreenPaint>(dlg, "partPreview"), QPoint(sx + 3, sy + 3));
    EXPECT_EQ(twtest::Child<TColourSwatch>(dlg, "originalColor")->Color(), average);
    twtest::Child<QCheckBox>(dlg, "fivePointAverage")->setChecked(false);
    twtest::Child<QToolButton>(dlg, "pickGoal")->setChecked(true);
    SendClick(twtest::Child<TnvOffscreenPaint>(dlg, "partPreview"), QPoint(sx + 3, sy + 3));
    EXPECT_EQ(twtest::Child<TColourSwatch>(dlg, "goalColor")->Color(), dlg.PartSample().Pixel(3, 3));
    EXPECT_EQ(twtest::Child<TColourSwatch>(dlg, "originalColor")->Color(), average);

    // The colour dialog buttons; cancelling leaves the swatch alone.
    dlg.SetColourChooser([](tw::ColorValue) { return std::optional<tw::ColorValue>(RGBToColor(1, 2, 3)); });
    twtest::Child<QToolButton>(dlg, "chooseOriginal")->click();
    EXPECT_EQ(twtest::Child<TColourSwatch>(dlg, "originalColor")->Color(), RGBToColor(1, 2, 3));
    dlg.SetColourChooser([](tw::ColorValue) { return std::optional<tw::ColorValue>(); });
    twtest::Child<QToolButton>(dlg, "chooseOriginal")->click();
    EXPECT_EQ(twtest::Child<TColourSwatch>(dlg, "originalColor")->Color(), RGBToColor(1, 2, 3));
    dlg.reject();
}

TEST_F(ColorDialogTest, AverageColorAtCountsOutsidePositionsWithTheNearestPixel) {
    EXPECT_EQ(TColourSettingsDialog::AverageColorAt(nullptr, 0, 0, 2), 0u);
    tw::Bitmap bmp(3, 3, 0);
    bmp.FillRect(QRect(0, 0, 1, 3), RGBToColor(250, 0, 10));
    EXPECT_EQ(TColourSettingsDialog::AverageColorAt(&bmp, 0, 1, 0), RGBToColor(250, 0, 10));
    // At the corner, columns -2..0 all read column 0: 15 of 25 positions.
    EXPECT_EQ(TColourSettingsDialog::AverageColorAt(&bmp, 0, 0, 2), RGBToColor(150, 0, 6));
    // Truncating division: 5 of 25 positions hold 250 and 10.
    EXPECT_EQ(TColourSettingsDialog::AverageColorAt(&bmp, 2, 2, 2), RGBToColor(50, 0, 2));
}

TEST_F(ColorDialogTest, WithoutAPartTheSettingsStillRoundTrip) {
    TColourSettingsDialog dlg;
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
    TGrowPartDialog mask;
    tw::Bitmap grown;
    QObject::connect(&mask, &TGrowPartDialog::partAccepted,
                     [&](const tw::Bitmap& m, QPoint, const std::optional<TPartGrowth>&) { grown = m; });
    mask.Load(picture, SeedAt(98, 118), QPoint(196, 236), TTintwellSettings::Initial(), kZoom2);
    mask.show();
    ASSERT_TRUE(WalkDone(mask));
    Pump(100);
    mask.grab().save("/tmp/dialog-selection-mask.png");
    twtest::Child<QCheckBox>(mask, "blinkOriginal")->click();
    Pump(100);
    mask.grab().save("/tmp/dialog-selection-blink.png");
    twtest::Child<QCheckBox>(mask, "blinkOriginal")->click();
    twtest::Child<QPushButton>(mask, "advanced")->click();
    Pump(100);
    mask.grab().save("/tmp/dialog-selection-settings.png");
    mask.StartWalk();
    Pump(5);
    mask.grab().save("/tmp/dialog-selection-walking.png");
    ASSERT_TRUE(PumpUntil([&] { return !mask.Walking(); }));
    twtest::Child<QPushButton>(mask, "addThis")->click();
    ASSERT_FALSE(grown.IsEmpty());

    TImagePart part(grown);
    part.ApplySettings(picture, TTintwellSettings::Initial());
    TColourSettingsDialog colors;
    colors.Prepare(TTintwellSettings::Initial(), &picture, &part);
    colors.show();
    Pump(100);
    colors.grab().save("/tmp/dialog-colors.png");
    twtest::Child<QRadioButton>(colors, "keepHue")->click();
    twtest::Child<QSlider>(colors, "valueTint")->setValue(-30);
    Pump(100);
    colors.grab().save("/tmp/dialog-colors-keep.png");
}

} // namespace
