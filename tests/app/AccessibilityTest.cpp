#include "app/Accessibility.h"
#include "app/AboutBox.h"
#include "app/HelpViewer.h"
#include "app/WindowDriver.h"
#include "dialogs/ColourSettingsDialog.h"
#include "dialogs/GrowPartDialog.h"
#include "platform/DeferredCalls.h"
#include "platform/Thread.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "support/WidgetLookup.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using twtest::PartPixels;

QString Text(QWidget* w, QAccessible::Text which) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(which) : QString();
}

// Every button, track bar, scroll box and focusable control of the window has
// a name and a description that screen readers can read out.
void ExpectEveryControlNamed(QWidget* window) {
    int controls = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSlider*>(w) ||
                             qobject_cast<QAbstractScrollArea*>(w) || w->focusPolicy() != Qt::NoFocus;
        if (!control || qobject_cast<QLabel*>(w)) continue;
        ++controls;
        EXPECT_FALSE(Text(w, QAccessible::Name).trimmed().isEmpty())
            << window->windowTitle().toStdString() << ": a " << w->metaObject()->className()
            << " has no name";
        // Qt gives a tab bar no description, only its current tab's name.
        if (qobject_cast<QTabBar*>(w)) continue;
        EXPECT_FALSE(Text(w, QAccessible::Description).trimmed().isEmpty())
            << window->windowTitle().toStdString() << ": " << Text(w, QAccessible::Name).toStdString()
            << " has no description (" << w->metaObject()->className() << ")";
    }
    EXPECT_GT(controls, 3) << window->windowTitle().toStdString();
}

} // namespace

TEST(Accessibility, EveryControlOfEveryWindowHasANameAndADescription) {
    EXPECT_EQ(tw::WithoutAccessKeys("&Open Picture..."), "Open Picture...");
    EXPECT_EQ(tw::WithoutAccessKeys("Black && white"), "Black & white");

    twtest::TWindow w;
    auto* colours = w->findChild<TColourSettingsDialog*>();
    ExpectEveryControlNamed(w.window.get());
    ExpectEveryControlNamed(w->findChild<TGrowPartDialog*>());
    ExpectEveryControlNamed(colours);
    tw::TAboutBox about;
    ExpectEveryControlNamed(&about);
    EXPECT_EQ(Text(&about, QAccessible::Name), "About Tintwell");
    tw::THelpViewer help(QStringLiteral(":/help"), QStringLiteral("What_is_Tintwell.htm"));
    ExpectEveryControlNamed(&help);

    // A tool button is named after its command's caption, and follows it.
    auto* tools = twtest::Child<QToolBar>(w.window.get(), "ToolBarTools");
    auto* fill = qobject_cast<QToolButton*>(tools->widgetForAction(w.Action("fill")));
    ASSERT_NE(fill, nullptr);
    EXPECT_EQ(Text(fill, QAccessible::Name), tw::WithoutAccessKeys(w.Action("fill")->text()));
    auto* change = qobject_cast<QToolButton*>(tools->widgetForAction(w.Action("changeColor")));
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(Text(change, QAccessible::Name), "Change color...");
    w.Action("fill")->setText("Fi&ll here");
    EXPECT_EQ(Text(fill, QAccessible::Name), "Fill here");
    EXPECT_EQ(Text(twtest::Child<QSlider>(colours, "hue"), QAccessible::Name), "New hue");
}

namespace {

// The first interface below root (depth first) that has the role and whose name passes.
QAccessibleInterface* FindAccessible(QAccessibleInterface* root, QAccessible::Role role,
                                     const std::function<bool(const QString&)>& name) {
    if (!root) return nullptr;
    if (root->role() == role && name(root->text(QAccessible::Name))) return root;
    for (int i = 0; i < root->childCount(); ++i)
        if (QAccessibleInterface* found = FindAccessible(root->child(i), role, name)) return found;
    return nullptr;
}

} // namespace

// A Shift+click with Fill opens the mask dialog ready to add to the current
// part (the red balloon, then the blue one); driven through what a screen reader sees: a rule moved by its
// track bar regrows the part (its size shown) without Restart, and "Add to current part" joins it to the part
// as one step to undo.
TEST(Accessibility, MaskDialogRegrowsAndAddsToTheCurrentPartThroughTheTree) {
    tw::EnableSynchronizeFromEventLoop();
    twtest::TWindow w;
    auto* grow = w->findChild<TGrowPartDialog*>();
    const QPoint seed(140, 120); // the red balloon
    PressWhen([&] { return grow->isVisible() && !grow->Walking(); },
              twtest::Child<QPushButton>(grow, "addThis"));
    w.Trigger("fill");
    EXPECT_TRUE(w->statusBar()->currentMessage().contains("Shift+click adds to the current part"));
    w.Click(seed);
    const TImagePart* part = w.Doc().CurrentPart();
    ASSERT_NE(part, nullptr);
    const int before = PartPixels(part->Bitmap);
    const int steps = w.Doc().UndoStack().count();

    QAccessibleInterface* tree = nullptr;
    QString sizeBefore, sizeAfter;
    bool regrownByItself = false;
    tw::Bitmap shown;
    const auto size = [&] {
        QAccessibleInterface* label = FindAccessible(tree, QAccessible::StaticText, [](const QString& name) {
            return name.endsWith(QStringLiteral(" pixels")) && name.split(' ').size() == 2;
        });
        return label ? label->text(QAccessible::Name) : QString();
    };
    int stage = 0;
    auto* script = new QTimer;
    QObject::connect(script, &QTimer::timeout, [&] {
        if (!grow->isVisible() || grow->Walking()) return;
        tree = QAccessible::queryAccessibleInterface(grow);
        if (stage == 0) {
            EXPECT_TRUE(twtest::Child<QPushButton>(grow, "addToPart")->isDefault()) << "Shift: ready to add";
            sizeBefore = size();
            QAccessibleInterface* value = FindAccessible(tree, QAccessible::Slider, [](const QString& name) {
                return name.startsWith(QStringLiteral("Value rule"));
            });
            ASSERT_NE(value, nullptr);
            ASSERT_NE(value->valueInterface(), nullptr);
            value->valueInterface()->setCurrentValue(10);
            stage = 1;
        } else if (stage == 1) {
            if (size() == sizeBefore) return; // the pause, then the walk
            sizeAfter = size();
            regrownByItself = true;
            shown = grow->Mask();
            QAccessibleInterface* add = FindAccessible(tree, QAccessible::Button, [](const QString& name) {
                return name == QStringLiteral("Add to current part");
            });
            ASSERT_NE(add, nullptr);
            script->stop();
            script->deleteLater();
            add->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        }
    });
    script->start(20);
    const QPoint blue(215, 195);
    w.Mouse(QEvent::MouseButtonPress, blue, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    w.Release(blue);

    ASSERT_TRUE(regrownByItself);
    EXPECT_NE(sizeAfter, sizeBefore);
    EXPECT_EQ(sizeAfter, QString("%1 pixels").arg(PartPixels(shown)));
    ASSERT_EQ(w.Doc().CurrentPart(), part) << "no new part";
    int joined = 0;
    for (int y = 0; y < shown.Height(); ++y)
        for (int x = 0; x < shown.Width(); ++x)
            joined += shown.Pixel(x, y) != tw::kWhite || part->Bitmap.Pixel(x, y) != tw::kWhite;
    EXPECT_GT(PartPixels(part->Bitmap), before);
    EXPECT_EQ(PartPixels(part->Bitmap), joined);
    EXPECT_EQ(w.Doc().UndoStack().count(), steps + 1);
    EXPECT_EQ(w.Action("undo")->text(), QStringLiteral("Undo Add to current part"));
    EXPECT_EQ(w.Action("undo")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    w.Action("undo")->trigger();
    EXPECT_EQ(PartPixels(part->Bitmap), before);
}
