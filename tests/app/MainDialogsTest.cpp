#include "app/MainDialogs.h"
#include "app/PressWhen.h"

#include "app/Form_Main.h"
#include "app/HelpModule.h"
#include "app/HelpViewer.h"
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

int PartPixels(const tw::Bitmap& part) {
    int n = 0;
    for (int y = 0; y < part.Height(); ++y)
        for (int x = 0; x < part.Width(); ++x)
            n += part.Pixel(x, y) != tw::kWhite;
    return n;
}

// The whole road of a Fill click: the mask dialog grows a part from the seed on
// its worker thread, "Add this" appends it to the list as the only selected row.
TEST(MainDialogs, FillClickGrowsAPartAndAddThisAddsIt) {
    tw::EnableSynchronizeFromEventLoop();
    auto form = std::make_unique<TFormMain>();
    TDeferredCalls::RunQueue();
    const TMainDialogs dialogs = ConnectDialogs(*form);
    ASSERT_TRUE(form->OnShowMaskDialog);

    // The red balloon of the start picture.
    const QPoint seed(140, 120);
    PressWhen([&] { return dialogs.FormSelection->isVisible() && !dialogs.FormSelection->Walking(); },
              twtest::Child<QPushButton>(dialogs.FormSelection, "addThis"));
    form->OnShowMaskDialog(form->PictureBitmap, QRect(seed, seed), seed, form->CurrentSettings);
    TDeferredCalls::RunQueue();

    ASSERT_EQ(form->nvGridImageParts->RowCount(), 3);
    const TImagePart* grown = form->ImagePartAt(2);
    ASSERT_NE(grown, nullptr);
    EXPECT_GT(PartPixels(grown->Bitmap), 2000) << "the balloon, not just the seed";
    EXPECT_NE(grown->Bitmap.Pixel(seed.x(), seed.y()), form->PictureBitmap.Pixel(seed.x(), seed.y()))
        << "grown pixels arrive recoloured";
    EXPECT_EQ(form->SelectedRowCount(), 1);

    // "Change color..." with Change 240: the grown part is recoloured from the
    // picture with the new settings.
    TColourSettingsDialog* colors = dialogs.FormColorSettings;
    PressWhen(
        [&] {
            if (!colors->isVisible()) return false;
            twtest::Child<QRadioButton>(colors, "changeHue")->setChecked(true);
            twtest::Child<QSlider>(colors, "hue")->setValue(240);
            return true;
        },
        twtest::Child<QPushButton>(colors, "ok"));
    form->ActionChangeColor->trigger();
    const TTintwellSettings change240{240, false, false, 0, 0, false};
    EXPECT_EQ(grown->Settings, change240);
    tw::Bitmap one(1, 1), other(1, 1);
    const TPartRecolourer expected(change240, one, other);
    EXPECT_EQ(grown->Bitmap.Pixel(seed.x(), seed.y()),
              expected.TransformColor(form->PictureBitmap.Pixel(seed.x(), seed.y())));
    form.reset();
    TDeferredCalls::RunQueue();
}

// "Change color..." takes the dialog's settings for the selected part and for
// new parts; Cancel takes nothing over.
TEST(MainDialogs, ChangeColorTakesTheDialogsSettingsOnOkOnly) {
    auto form = std::make_unique<TFormMain>();
    TDeferredCalls::RunQueue();
    const TMainDialogs dialogs = ConnectDialogs(*form);
    TColourSettingsDialog* colors = dialogs.FormColorSettings;
    const TTintwellSettings before = form->CurrentSettings;

    PressWhen([&] { return colors->isVisible(); }, twtest::Child<QPushButton>(colors, "cancel")); // Cancel
    form->ActionChangeColor->trigger();
    EXPECT_EQ(form->CurrentSettings, before);

    // Reset switches to Keep with no tints; OK hands that back.
    PressWhen(
        [&] {
            if (!colors->isVisible()) return false;
            twtest::Child<QPushButton>(colors, "reset")->click();
            return true;
        },
        twtest::Child<QPushButton>(colors, "ok"));
    form->ActionChangeColor->trigger();
    EXPECT_TRUE(form->CurrentSettings.KeepHue);
    EXPECT_FALSE(form->CurrentSettings.ShiftHue);
    EXPECT_EQ(form->ImagePartAt(1)->Settings, form->CurrentSettings);
    form.reset();
    TDeferredCalls::RunQueue();
}

// A part grown from a click on the view at zoom 2 is anchored at the clicked
// picture pixel, so "Change color..." opens with the part in its previews.
TEST(MainDialogs, AGrownPartIsAnchoredInPicturePixels) {
    tw::EnableSynchronizeFromEventLoop();
    auto form = std::make_unique<TFormMain>();
    TDeferredCalls::RunQueue();
    const TMainDialogs dialogs = ConnectDialogs(*form);
    form->ZoomIndex = 6; // factor 2
    form->ResizeView();
    form->ActionFillMode->trigger();
    TDeferredCalls::RunQueue();

    // The red balloon of the start picture, clicked at twice its coordinates.
    PressWhen([&] { return dialogs.FormSelection->isVisible() && !dialogs.FormSelection->Walking(); },
              twtest::Child<QPushButton>(dialogs.FormSelection, "addThis"));
    form->ImageViewMouseDown(*form->ImageView, TMouseButton::Left, ssLeft, 280, 240);
    form->ImageViewClick(*form->ImageView);
    TDeferredCalls::RunQueue();
    ASSERT_EQ(form->nvGridImageParts->RowCount(), 3);
    const TImagePart* grown = form->ImagePartAt(2);
    EXPECT_EQ(QPoint(grown->AnchorX, grown->AnchorY), QPoint(140, 120));

    TColourSettingsDialog* colors = dialogs.FormColorSettings;
    int shownPartPixels = -1;
    PressWhen(
        [&] {
            if (!colors->isVisible()) return false;
            shownPartPixels = PartPixels(colors->PartSample());
            return true;
        },
        twtest::Child<QPushButton>(colors, "cancel"));
    form->ActionChangeColor->trigger();
    EXPECT_GT(shownPartPixels, 100) << "\"Image part to change\" shows the balloon";
    form.reset();
    TDeferredCalls::RunQueue();
}

// F1 in either dialog shows its help page, and the help window stays usable
// while the dialog is open.
TEST(MainDialogs, F1ShowsTheDialogsHelpAndTheHelpWindowStaysUsable) {
    tw::EnableSynchronizeFromEventLoop();
    twtest::TempDir programDir;
    tw::THelpModuleSetup setup;
    setup.ProgramFile = QString::fromStdString(programDir.Path("tintwell"));
    tw::THelpModule help(setup);
    TFormMainOptions options;
    options.Help = &help;
    auto form = std::make_unique<TFormMain>(options);
    TDeferredCalls::RunQueue();
    const TMainDialogs dialogs = ConnectDialogs(*form);
    form->show();
    help.ShowHelpFor(form.get()); // opened before the dialogs
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
            if (!dialogs.FormSelection->isVisible() || dialogs.FormSelection->Walking()) return false;
            useHelpIn(dialogs.FormSelection, maskPages);
            return true;
        },
        twtest::Child<QPushButton>(dialogs.FormSelection, "cancel"));
    form->OnShowMaskDialog(form->PictureBitmap, QRect(10, 10, 1, 1), QPoint(10, 10), form->CurrentSettings);
    PressWhen(
        [&] {
            if (!dialogs.FormColorSettings->isVisible()) return false;
            useHelpIn(dialogs.FormColorSettings, colorPages);
            return true;
        },
        twtest::Child<QPushButton>(dialogs.FormColorSettings, "cancel"));
    form->ActionChangeColor->trigger();

    const std::string homePage = "What_is_Tintwell.htm";
    EXPECT_EQ(maskPages, (std::vector<std::string>{"Color_mask_generation.htm", homePage}));
    EXPECT_EQ(colorPages, (std::vector<std::string>{"Change_color_dialog.htm", homePage}));
    form.reset();
    TDeferredCalls::RunQueue();
}

} // namespace
