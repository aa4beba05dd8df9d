#include "app/Accessibility.h"
#include "app/AboutBox.h"
#include "app/HelpViewer.h"
#include "app/WindowDriver.h"
#include "dialogs/ColourSettingsDialog.h"
#include "dialogs/GrowPartDialog.h"
#include "platform/DeferredCalls.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QSlider>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>

#include "support/WidgetLookup.h"

#include <gtest/gtest.h>

namespace {

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
