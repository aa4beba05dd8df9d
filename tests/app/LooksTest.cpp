// Pictures of the windows for looking at, not a check: run with
// --gtest_also_run_disabled_tests. TW_DARK=1 gives them a dark palette,
// QT_SCALE_FACTOR=2 double density; TW_SHOT_DIR says where the PNGs go.
#include "app/AboutBox.h"
#include "app/HelpViewer.h"
#include "app/WindowDriver.h"
#include "dialogs/ColourSettingsDialog.h"
#include "dialogs/ColourVariantsDialog.h"
#include "dialogs/GrowPartDialog.h"
#include "document/ViewTiles.h"
#include "platform/DeferredCalls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPalette>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTest>
#include <QToolButton>

#include "support/TestFiles.h"
#include "support/WidgetLookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

QPalette DarkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(45, 45, 48));
    p.setColor(QPalette::WindowText, QColor(230, 230, 230));
    p.setColor(QPalette::Base, QColor(30, 30, 32));
    p.setColor(QPalette::AlternateBase, QColor(45, 45, 48));
    p.setColor(QPalette::Text, QColor(230, 230, 230));
    p.setColor(QPalette::Button, QColor(55, 55, 60));
    p.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    p.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
    p.setColor(QPalette::Link, QColor(120, 170, 255));
    p.setColor(QPalette::Light, QColor(80, 80, 85));
    p.setColor(QPalette::Midlight, QColor(65, 65, 70));
    p.setColor(QPalette::Mid, QColor(40, 40, 42));
    p.setColor(QPalette::Dark, QColor(25, 25, 27));
    p.setColor(QPalette::Shadow, Qt::black);
    return p;
}

void Shoot(QWidget* w, const QString& name) {
    w->show();
    QTest::qWait(150);
    const QString dir = qEnvironmentVariable("TW_SHOT_DIR", QStringLiteral("/tmp/tintwell-looks"));
    QDir().mkpath(dir);
    w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace

// On a dark desktop the parts list's header and numbers, the links and the
// colour dialog's picking icons are drawn light, not black; the picking icon
// has a double-density picture.
TEST(Looks, OnADarkDesktopTextAndIconsStayReadable) {
    const QPalette before = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    {
        twtest::TWindow w;
        w->show();
        QTest::qWait(100);
        const tw::Bitmap& grid = w.Grid().Buffer();
        int light = 0;
        for (int y = 0; y < std::min(100, grid.Height()); ++y)
            for (int x = 0; x < std::min(60, grid.Width()); ++x)
                if (QColor::fromRgb(grid.Image().pixel(x, y)).lightness() > 180) ++light;
        EXPECT_GT(light, 20);
        EXPECT_GT(twtest::Child<QLabel>(w.window.get(), "helpLink")
                      ->palette()
                      .color(QPalette::WindowText)
                      .lightness(),
                  128);

        TColourSettingsDialog colours;
        EXPECT_GT(
            twtest::Child<QLabel>(colours, "unreachable")->palette().color(QPalette::WindowText).lightness(),
            128);
        const QIcon pick = twtest::Child<QToolButton>(colours, "pickOriginal")->icon();
        EXPECT_TRUE(pick.availableSizes().contains(QSize(32, 32)));
        const QImage small = pick.pixmap(QSize(16, 16), 1.0).toImage();
        EXPECT_GT(QColor::fromRgba(small.pixel(8, 1)).lightness(), 128);
    }
    QApplication::setPalette(before);
}

TEST(Looks, DISABLED_WindowsInTheDesktopsLook) {
    if (qEnvironmentVariable("TW_DARK") == QStringLiteral("1")) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(DarkPalette());
    }
    twtest::TWindow w;
    auto* colours = w->findChild<TColourSettingsDialog*>();
    auto* grow = w->findChild<TGrowPartDialog*>();
    Shoot(w.window.get(), QStringLiteral("main"));

    // A part: the middle of the picture.
    tw::Bitmap mask(w.Picture().Width(), w.Picture().Height(), tw::kWhite);
    for (int y = 120; y < 260; ++y)
        for (int x = 100; x < 300; ++x)
            mask.SetPixel(x, y, 0);
    TImagePart part(mask);
    const TTintwellSettings settings{200, false, false, 60, 0, false};
    part.ApplySettings(w.Picture(), settings);
    colours->Prepare(settings, &w.Picture(), &part);
    Shoot(colours, QStringLiteral("colour-settings"));
    colours->resize(900, 600);
    Shoot(colours, QStringLiteral("colour-settings-large"));
    colours->reject();
    colours->Prepare(TTintwellSettings::Match({0x442A1F, true}), &w.Picture(), &part);
    Shoot(colours, QStringLiteral("colour-match"));
    colours->reject();

    auto* variants = w->findChild<TColourVariantsDialog*>();
    variants->Prepare({{"navy", TGivenColour{RGBToColor(0x1F, 0x2A, 0x44), true}, {}},
                       {"sand", TGivenColour{RGBToColor(0xC8, 0xB0, 0x8A), true}, {}},
                       {"as-set", std::nullopt, {settings}}},
                      {settings});
    Shoot(variants, QStringLiteral("colour-variants"));

    grow->Load(w.Picture(), QPoint(200, 190), QPoint(200, 190), settings, 3);
    grow->show();
    for (int i = 0; i < 100 && grow->Walking(); ++i)
        QTest::qWait(50);
    Shoot(grow, QStringLiteral("mask"));
    twtest::Child<QTabWidget>(grow, "pages")->setCurrentIndex(0);
    Shoot(grow, QStringLiteral("mask-settings"));
    grow->close();

    // Ready to add to the current part, over the whole picture with holes filled.
    TWalkerRules wide = TWalkerRules::Default();
    wide.Anywhere = true;
    wide.FillHoles = 500;
    const TWalkerRules kept = grow->Rules();
    grow->SetRules(wide);
    grow->Load(w.Picture(), QPoint(110, 140), QPoint(110, 140), settings, 3, true, TGrowTarget::AddToPart);
    grow->show();
    for (int i = 0; i < 100 && (grow->Walking() || grow->PixelCount() == 0); ++i)
        QTest::qWait(50);
    Shoot(grow, QStringLiteral("mask-add-to-part"));
    twtest::Child<QTabWidget>(grow, "pages")->setCurrentIndex(0);
    Shoot(grow, QStringLiteral("mask-whole-picture"));
    grow->close();
    grow->SetRules(kept);

    tw::TAboutBox about;
    Shoot(&about, QStringLiteral("about"));
    tw::THelpViewer help(QStringLiteral(":/help/"), QStringLiteral("What_is_Tintwell.htm"));
    help.DisplayTopic(QStringLiteral("Tintwell.chm::/Main_window.htm"));
    Shoot(&help, QStringLiteral("help"));
    help.DisplayTopic(QStringLiteral("Tintwell.chm::/Colour_variants.htm"));
    Shoot(&help, QStringLiteral("help-variants"));
}

namespace {

long StatusKb(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(static_cast<int>(std::strlen(key))).trimmed().split(' ')[0].toLong();
    return -1;
}

} // namespace

// A 24-megapixel photo with five parts at fit, 100 %, 400 %, with Show
// Original and on white. Run with TW_VIEW_TRACE=1 for when each view is sharp; the memory
// the tiles add (peak minus after opening) is printed.
TEST(Looks, DISABLED_ThePhotoAtItsOwnSize) {
    twtest::TempDir dir;
    const QString photo = QString::fromStdString(dir.Path("photo.jpg"));
    {
        const QImage small(QStringLiteral(TW_TEST_PHOTOS "/coffee.jpg"));
        ASSERT_FALSE(small.isNull());
        ASSERT_TRUE(
            small.scaled(6000, 4000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(photo, "JPG", 95));
    }
    twtest::TWindow w;
    w->resize(1280, 900);
    w->show();
    QElapsedTimer open;
    open.start();
    w.Open(photo);
    std::printf("opened in %lld ms; resident %ld kB\n", static_cast<long long>(open.elapsed()),
                StatusKb("VmRSS:"));
    const long afterOpen = StatusKb("VmRSS:");
    if (!w.Action("showAllParts")->isChecked()) w.Trigger("showAllParts");
    const QPoint spots[5] = {{200, 150}, {600, 150}, {400, 270}, {200, 400}, {600, 400}};
    for (int i = 0; i < 5; ++i) {
        if (i > 0) w.Doc().AddBlankPart();
        w.Doc().SetSelection({w.Doc().Part(w.Doc().PartCount() - 1)});
        w.Doc().SetCurrentPart(w.Doc().Part(w.Doc().PartCount() - 1));
        w.Doc().BeginStroke();
        for (int k = 0; k < 6; ++k)
            w.Doc().Dab(TStrokeKind::Brush, spots[i] + QPoint(8 * k, 5 * k), 40);
        w.Doc().EndStroke();
        TTintwellSettings settings = TTintwellSettings::Initial();
        settings.Hue = 40 + 60 * i;
        w.Doc().ChangeColor(settings);
    }
    w.Settle();
    const auto waitSharp = [&] {
        for (int i = 0; i < 3000 && !(w.View().IsSharp() && !w.View().Tiles().Busy()); ++i)
            QTest::qWait(2);
        w.Settle();
    };
    Shoot(w.window.get(), QStringLiteral("photo-fit"));
    w.Key(Qt::Key_1, Qt::ControlModifier);
    w.View().horizontalScrollBar()->setValue(1600 - 400);
    w.View().verticalScrollBar()->setValue(1125 - 300);
    waitSharp();
    Shoot(w.window.get(), QStringLiteral("photo-100"));
    const auto timeRepaint = [&](const char* zoom) {
        QElapsedTimer paint;
        paint.start();
        for (int i = 0; i < 10; ++i)
            w.Surface().Repaint();
        std::printf("a repaint of the sharp view at %s takes %.1f ms\n", zoom, paint.nsecsElapsed() / 1e7);
    };
    timeRepaint("100 %");
    // The medium brush's frame: the working pixel a dab paints, on the photo.
    w.Trigger("mediumBrush");
    w.MoveTo(w.Surface().mapFrom(w.View().viewport(), QPoint(300, 300)));
    Shoot(w.window.get(), QStringLiteral("photo-100-brush"));
    // A dab on the border under the view.
    w.Doc().BeginStroke();
    w.Doc().Dab(TStrokeKind::Erase, {200, 150}, 1);
    w.Doc().EndStroke();
    waitSharp();
    // The parts on white, with the borders they have over the photo.
    w.Trigger("originalInBackground");
    waitSharp();
    Shoot(w.window.get(), QStringLiteral("photo-100-on-white"));
    w.Trigger("originalInBackground");
    w.View().ZoomTo(w.View().ZoomStepCount() - 1);
    waitSharp();
    Shoot(w.window.get(), QStringLiteral("photo-400"));
    w.Key(Qt::Key_Backslash);
    w.Settle();
    Shoot(w.window.get(), QStringLiteral("photo-400-original"));
    w.Key(Qt::Key_Backslash);
    // The least zoom that shows the photo's pixels (1.5 x the working picture,
    // 20 % of the photo) shows all of it: the most the tiles hold.
    w.View().ZoomTo(tw::kZoom100Step + 1);
    waitSharp();
    timeRepaint("20 %");
    std::printf("tiles %lld kB; resident after open %ld kB, peak %ld kB: %ld kB more\n",
                static_cast<long long>(w.View().Tiles().CachedBytes() / 1024), afterOpen, StatusKb("VmHWM:"),
                StatusKb("VmHWM:") - afterOpen);
}
