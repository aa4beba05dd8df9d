// What the main window remembers between runs, the recent files, and the
// names and marks the user sees.

#include "app/AppSettings.h"
#include "app/WindowDriver.h"
#include "dialogs/ColourSettingsDialog.h"
#include "dialogs/GrowPartDialog.h"
#include "platform/DeferredCalls.h"
#include "platform/PictureFile.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "support/WidgetLookup.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// One run of the program: a window on the given settings file.
struct Session : twtest::TWindow {
    explicit Session(const std::string& settingsFile) : TWindow({}, Q(settingsFile)) {}
    QMenu* Recent() { return twtest::Child<QMenu>(window.get(), "recentFiles"); }
    QStringList RecentEntries() {
        QStringList names;
        for (QAction* a : Recent()->actions())
            if (!a->isSeparator() && a->objectName() != QStringLiteral("clearRecentFiles"))
                names << a->statusTip();
        return names;
    }
    // Chooses the entry of File > Open Recent that names path.
    void OpenRecent(const QString& path) {
        for (QAction* a : Recent()->actions())
            if (a->statusTip() == path) a->trigger();
        Settle();
    }
    TGrowPartDialog* GrowDialog() { return window->findChild<TGrowPartDialog*>(); }
};

} // namespace

TEST(WindowSettings, ShowAllPartsFoldersRecentFilesAndTheWindowAreRemembered) {
    twtest::TempDir dir;
    const std::string settings = dir.Path("tintwell.conf");
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(40, 30, 0x5080C0), dir.Path("a.png")));
    ASSERT_TRUE(tw::SavePicture(tw::Bitmap(40, 30, 0x5080C0), dir.Path("b.png")));
    {
        Session first(settings);
        ASSERT_TRUE(first.Action("showAllParts")->isChecked()) << "on by default";
        first.Action("showAllParts")->trigger();
        first.Open(Q(dir.Path("a.png")));
        first.Open(Q(dir.Path("b.png")));
        first.SaveProject(Q(dir.Path("work.tintwell")));
        EXPECT_EQ(first.RecentEntries(),
                  QStringList({Q(dir.Path("work.tintwell")), Q(dir.Path("b.png")), Q(dir.Path("a.png"))}));
        first->setGeometry(40, 50, 700, 500);
        first->close();
    }
    Session second(settings);
    EXPECT_FALSE(second.Action("showAllParts")->isChecked());
    EXPECT_FALSE(second.Doc().ShowsAllParts());
    EXPECT_EQ(second->size(), QSize(700, 500));
    second.Trigger("openPicture"); // cancelled; where does it start?
    EXPECT_EQ(second.saveFolders.size(), 0u);
    second.Trigger("savePicture");
    EXPECT_EQ(second.saveFolders.back(), QFileInfo(Q(dir.Path("b.png"))).absolutePath());
    EXPECT_EQ(second.RecentEntries().size(), 3);

    // A recent project opens with its picture; a file gone is taken off the list with a word.
    second.OpenRecent(Q(dir.Path("work.tintwell")));
    EXPECT_EQ(second->windowTitle(), QStringLiteral("work.tintwell - Tintwell"));
    ASSERT_TRUE(QFile::remove(Q(dir.Path("a.png"))));
    second.OpenRecent(Q(dir.Path("a.png")));
    ASSERT_EQ(second.messages.size(), 1u);
    EXPECT_TRUE(second.messages[0].contains(QStringLiteral("a.png"))) << second.messages[0].toStdString();
    EXPECT_EQ(second.RecentEntries(), QStringList({Q(dir.Path("work.tintwell")), Q(dir.Path("b.png"))}));
    second.Action("clearRecentFiles")->trigger();
    EXPECT_TRUE(second.RecentEntries().isEmpty());
    EXPECT_TRUE(TAppSettings(Q(settings)).RecentFiles().isEmpty());
}

TEST(WindowSettings, MaskRulesAreRememberedFromOneRunToTheNext) {
    twtest::TempDir dir;
    const std::string settings = dir.Path("tintwell.conf");
    {
        Session first(settings);
        TGrowPartDialog* grow = first.GrowDialog();
        EXPECT_EQ(grow->Rules(), TWalkerRules::Default());
        twtest::Child<QSlider>(grow, "hueTolerance")->setValue(17);
        twtest::Child<QCheckBox>(grow, "compareToNeighbour")->setChecked(true);
        grow->reject();
    }
    Session second(settings);
    EXPECT_EQ(twtest::Child<QSlider>(second.GrowDialog(), "hueTolerance")->value(), 17);
    EXPECT_TRUE(twtest::Child<QCheckBox>(second.GrowDialog(), "compareToNeighbour")->isChecked());
}

// What the user sees: no internal names in the menus, the project keys, no
// cross left behind by a pointer that has gone, and no made-up original colour.
TEST(WindowSettings, CaptionsKeysCrossAndOriginalSwatch) {
    twtest::TempDir dir;
    Session w(dir.Path("tintwell.conf"));
    QStringList tools;
    for (QAction* menu : w->menuBar()->actions())
        if (menu->text() == QStringLiteral("Tools"))
            for (QAction* a : menu->menu()->actions())
                if (!a->isSeparator()) tools << a->text();
    EXPECT_TRUE(tools.contains(QStringLiteral("Small brush")) &&
                tools.contains(QStringLiteral("Medium brush")) &&
                tools.contains(QStringLiteral("Large brush")))
        << tools.join(", ").toStdString();
    EXPECT_EQ(w.Action("openProject")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    EXPECT_EQ(w.Action("saveProject")->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));

    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window.get()));
    QWidget* view = w->findChild<QWidget*>(QStringLiteral("ImageView"));
    const auto redAbove = [&](QPoint at) {
        QApplication::processEvents();
        return view->grab().toImage().pixelColor(at - QPoint(0, 20)) == QColor(255, 0, 0);
    };
    const QPoint at(120, 120);
    QTest::mouseMove(view, at);
    EXPECT_TRUE(redAbove(at)) << "the cross follows the pointer";
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view, &leave);
    EXPECT_FALSE(redAbove(at)) << "and goes when it leaves the view";

    // The colour dialog's original is the part's own colour, or none.
    auto* colors = w->findChild<TColourSettingsDialog*>();
    EXPECT_FALSE(twtest::Child<TColourSwatch>(colors, "originalColor")->HasColor());
    EXPECT_FALSE(twtest::Child<QPushButton>(colors, "go")->isEnabled()) << "GO! needs an original";
    tw::Bitmap mask(w.Picture().Width(), w.Picture().Height());
    mask.FillRect(QRect(10, 10, 4, 4), 0x0000AA);
    w.Doc().AddGrownPart(mask, {10, 10}, TPartGrowth{QPoint(11, 11), 0x123456, TWalkerRules::Default()});
    colors->Prepare(w.Doc().CurrentSettings(), &w.Picture(), w.Doc().CurrentPart());
    EXPECT_EQ(twtest::Child<TColourSwatch>(colors, "originalColor")->Color(), 0x123456u);
    EXPECT_TRUE(twtest::Child<QPushButton>(colors, "go")->isEnabled());
}
