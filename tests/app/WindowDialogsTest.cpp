#include "app/PressWhen.h"

#include "app/HelpModule.h"
#include "app/HelpViewer.h"
#include "app/WindowDriver.h"
#include "dialogs/ColourSettingsDialog.h"
#include "dialogs/GrowPartDialog.h"
#include "grid/nvGrid.h"
#include "platform/DeferredCalls.h"
#include "platform/Thread.h"
#include "recolour/PartRecolourer.h"
#include "support/TestFiles.h"

#include "support/WidgetLookup.h"
#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using twtest::PartPixels;

// The whole road of a Fill click: the mask dialog grows a part from the seed on
// its worker thread, "Add this" appends it to the list as the only selected row.
TEST(WindowDialogs, FillClickGrowsAPartAndAddThisAddsIt) {
    tw::EnableSynchronizeFromEventLoop();
    twtest::TWindow w;
    TGrowPartDialog* grow = w->findChild<TGrowPartDialog*>();

    // The red balloon of the start picture.
    const QPoint seed(140, 120);
    PressWhen([&] { return grow->isVisible() && !grow->Walking(); },
              twtest::Child<QPushButton>(grow, "addThis"));
    w.Trigger("fill");
    w.Click(seed);

    ASSERT_EQ(w.Grid().RowCount(), 3);
    const TImagePart* grown = w.PartAt(2);
    ASSERT_NE(grown, nullptr);
    EXPECT_GT(PartPixels(grown->Bitmap), 2000) << "the balloon, not just the seed";
    EXPECT_NE(grown->Bitmap.Pixel(seed.x(), seed.y()), w.Picture().Pixel(seed.x(), seed.y()))
        << "grown pixels arrive recoloured";
    EXPECT_EQ(w.Doc().SelectedCount(), 1);
    EXPECT_TRUE(grown->Growth.has_value()) << "how it grew, for the full-size save and projects";

    // "Change color..." with Change 240: the grown part is recoloured from the
    // picture with the new settings.
    auto* colors = w->findChild<TColourSettingsDialog*>();
    PressWhen(
        [&] {
            if (!colors->isVisible()) return false;
            twtest::Child<QRadioButton>(colors, "changeHue")->setChecked(true);
            twtest::Child<QSlider>(colors, "hue")->setValue(240);
            return true;
        },
        twtest::Child<QPushButton>(colors, "ok"));
    w.Trigger("changeColor");
    const TTintwellSettings change240{240, false, false, 0, 0, false};
    EXPECT_EQ(grown->Settings, change240);
    tw::Bitmap one(1, 1), other(1, 1);
    const TPartRecolourer expected(change240, one, other);
    EXPECT_EQ(grown->Bitmap.Pixel(seed.x(), seed.y()),
              expected.TransformColor(w.Picture().Pixel(seed.x(), seed.y())));
}

// "Change color..." takes the dialog's settings for the selected part and for
// new parts; Cancel takes nothing over.
TEST(WindowDialogs, ChangeColorTakesTheDialogsSettingsOnOkOnly) {
    twtest::TWindow w;
    auto* colors = w->findChild<TColourSettingsDialog*>();
    const TTintwellSettings before = w.Doc().CurrentSettings();

    PressWhen([&] { return colors->isVisible(); }, twtest::Child<QPushButton>(colors, "cancel"));
    w.Trigger("changeColor");
    EXPECT_EQ(w.Doc().CurrentSettings(), before);

    // Reset switches to Keep with no tints; OK hands that back.
    PressWhen(
        [&] {
            if (!colors->isVisible()) return false;
            twtest::Child<QPushButton>(colors, "reset")->click();
            return true;
        },
        twtest::Child<QPushButton>(colors, "ok"));
    w.Trigger("changeColor");
    EXPECT_TRUE(w.Doc().CurrentSettings().KeepHue);
    EXPECT_FALSE(w.Doc().CurrentSettings().ShiftHue);
    EXPECT_EQ(w.PartAt(1)->Settings, w.Doc().CurrentSettings());
}

// A part grown from a click on the view at zoom 2 is anchored at the clicked
// picture pixel, so "Change color..." opens with the part in its previews.
TEST(WindowDialogs, AGrownPartIsAnchoredInPicturePixels) {
    tw::EnableSynchronizeFromEventLoop();
    twtest::TWindow w;
    TGrowPartDialog* grow = w->findChild<TGrowPartDialog*>();
    w.SetZoom(6); // factor 2
    w.Trigger("fill");

    // The red balloon of the start picture, clicked at twice its coordinates.
    PressWhen([&] { return grow->isVisible() && !grow->Walking(); },
              twtest::Child<QPushButton>(grow, "addThis"));
    w.Click({280, 240});
    ASSERT_EQ(w.Grid().RowCount(), 3);
    const TImagePart* grown = w.PartAt(2);
    EXPECT_EQ(QPoint(grown->AnchorX, grown->AnchorY), QPoint(140, 120));

    auto* colors = w->findChild<TColourSettingsDialog*>();
    int shownPartPixels = -1;
    PressWhen(
        [&] {
            if (!colors->isVisible()) return false;
            shownPartPixels = PartPixels(colors->PartSample());
            return true;
        },
        twtest::Child<QPushButton>(colors, "cancel"));
    w.Trigger("changeColor");
    EXPECT_GT(shownPartPixels, 100) << "\"Image part to change\" shows the balloon";
}

// F1 in either dialog shows its help page, and the help window stays usable
// while the dialog is open.
TEST(WindowDialogs, F1ShowsTheDialogsHelpAndTheHelpWindowStaysUsable) {
    tw::EnableSynchronizeFromEventLoop();
    twtest::TempDir programDir;
    tw::THelpModuleSetup setup;
    setup.ProgramFile = QString::fromStdString(programDir.Path("tintwell"));
    tw::THelpModule help(setup);
    twtest::TWindow w({}, {}, &help);
    TGrowPartDialog* grow = w->findChild<TGrowPartDialog*>();
    auto* colors = w->findChild<TColourSettingsDialog*>();
    w->show();
    help.ShowHelpFor(w.window.get()); // opened before the dialogs
    tw::THelpViewer* viewer = help.Viewer();
    ASSERT_NE(viewer, nullptr);
    QToolButton* home = nullptr;
    for (QToolButton* b : viewer->findChildren<QToolButton*>())
        if (b->text() == QStringLiteral("Home")) home = b;
    ASSERT_NE(home, nullptr);

    // Inside the dialog's own loop: F1 there, then a click on the help window's Home.
    auto useHelpIn = [&](QDialog* dialog, std::vector<std::string>& pages) {
        QApplication::setActiveWindow(dialog);
        QTest::keyClick(dialog, Qt::Key_F1);
        pages.push_back(viewer->CurrentPage().fileName().toStdString());
        QTest::mouseClick(viewer->windowHandle(), Qt::LeftButton, {},
                          home->mapTo(viewer, home->rect().center()));
        pages.push_back(viewer->CurrentPage().fileName().toStdString());
    };
    std::vector<std::string> maskPages, colorPages;
    PressWhen(
        [&] {
            if (!grow->isVisible() || grow->Walking()) return false;
            useHelpIn(grow, maskPages);
            return true;
        },
        twtest::Child<QPushButton>(grow, "cancel"));
    w.Trigger("fill");
    w.Click({10, 10});
    PressWhen(
        [&] {
            if (!colors->isVisible()) return false;
            useHelpIn(colors, colorPages);
            return true;
        },
        twtest::Child<QPushButton>(colors, "cancel"));
    w.Trigger("changeColor");

    const std::string homePage = "What_is_Tintwell.htm";
    EXPECT_EQ(maskPages, (std::vector<std::string>{"Color_mask_generation.htm", homePage}));
    EXPECT_EQ(colorPages, (std::vector<std::string>{"Change_color_dialog.htm", homePage}));
}

} // namespace
