// Many rounds of ordinary work in one window: the memory in use must not creep
// up from round to round. Under AddressSanitizer the leak checker at exit does
// the same job more strictly, and the resident size means little there (freed
// memory is held in quarantine), so only the leak check counts.
#include "app/PressWhen.h"
#include "app/WindowDriver.h"
#include "dialogs/ColourSettingsDialog.h"
#include "dialogs/GrowPartDialog.h"
#include "grid/nvGrid.h"
#include "platform/DeferredCalls.h"
#include "platform/Thread.h"

#include "support/WidgetLookup.h"
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TW_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TW_SANITIZED 1
#endif
#endif

namespace {

#ifdef TW_SANITIZED
constexpr bool kSanitized = true;
constexpr int kRounds = 60;
#else
constexpr bool kSanitized = false;
constexpr int kRounds = 300;
#endif

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

struct Session : twtest::TWindow {
    TGrowPartDialog* grow = nullptr;
    TColourSettingsDialog* colors = nullptr;

    Session() {
        // The undo history grows to its own bound by design (the document's
        // tests hold it to it); what must stay flat is everything else.
        Doc().SetHistoryLimit(0);
        grow = window->findChild<TGrowPartDialog*>();
        colors = window->findChild<TColourSettingsDialog*>();
    }
    ~Session() { EXPECT_TRUE(messages.empty()) << messages.front().toStdString(); }

    void Select(int row, bool add) {
        if (add)
            AddToSelection(row);
        else
            TWindow::Select(row);
    }
    // A Fill click answered with "Add this" once the walk has ended.
    void Grow(QPoint seed) {
        TGrowPartDialog* dialog = grow;
        PressWhen([dialog] { return dialog->isVisible() && !dialog->Walking(); },
                  twtest::Child<QPushButton>(dialog, "addThis"), 5);
        Trigger("fill");
        Click(seed);
    }
    // "Change color..." on the current part with Change to the given hue.
    void ChangeColor(int hue) {
        TColourSettingsDialog* dialog = colors;
        PressWhen(
            [dialog, hue] {
                if (!dialog->isVisible()) return false;
                twtest::Child<QRadioButton>(dialog, "changeHue")->setChecked(true);
                twtest::Child<QSlider>(dialog, "hue")->setValue(hue);
                return true;
            },
            twtest::Child<QPushButton>(dialog, "ok"), 5);
        Trigger("changeColor");
    }
    // One round: two grown parts, one recoloured and painted on with the
    // brush, both joined, the result composed, then the joined part deleted.
    void Round(int i) {
        const int rows = Grid().RowCount();
        Grow(QPoint(140, 120));        // a balloon
        Grow(QPoint(20 + i % 50, 20)); // the sky
        ASSERT_EQ(Grid().RowCount(), rows + 2);
        Select(rows + 1, false);
        ChangeColor((i * 37) % 360);
        Trigger("brush");
        for (int x = 100; x < 200; x += 5)
            MoveTo({x, 150 + i % 20}, true);
        Select(rows, true);
        ASSERT_EQ(Doc().SelectedCount(), 2);
        Trigger("joinSelectedImageParts");
        ASSERT_EQ(Grid().RowCount(), rows + 1);
        const tw::Bitmap result = Doc().ComposeResult();
        ASSERT_EQ(result.Width(), Picture().Width());
        Select(rows, false);
        Trigger("deleteImagePart");
        ASSERT_EQ(Grid().RowCount(), rows);
        Trigger("fill");
    }
};

TEST(LongUse, HundredsOfRoundsKeepMemoryFlat) {
    Session session;
    session.Round(0);
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    malloc_trim(0);
    const long afterFirst = ResidentBytes();
    for (int i = 1; i < kRounds; ++i) {
        session.Round(i);
        ASSERT_FALSE(testing::Test::HasFatalFailure()) << "round " << i;
    }
    malloc_trim(0);
    const long afterAll = ResidentBytes();
    std::printf("resident after the first round %ld KiB, after %d rounds %ld KiB\n", afterFirst / 1024,
                kRounds, afterAll / 1024);
    if (!kSanitized) {
        EXPECT_LE(afterAll, afterFirst + afterFirst / 10) << "memory grew over " << kRounds << " rounds";
    }
}

} // namespace
