#include "grid/nvDoLater.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct Recorder {
    std::vector<int> calls;
    void Note(int a) { calls.push_back(a); }
    void Other(int a) { calls.push_back(1000 + a); }
    void Plain() { calls.push_back(-100); }
    void CancelNotes(int a) {
        calls.push_back(-a);
        TDoLater::Cancel(this, &Recorder::Note);
        TDoLater::Cancel(this, &Recorder::CancelNotes); // the running call is not affected
    }
    void Again(int a) {
        calls.push_back(a);
        // Queues itself with the same argument while running: that is no duplicate.
        if (calls.size() < 3) TDoLater::Queue(this, &Recorder::Again, a);
    }
};

class DoLaterTest : public ::testing::Test {
  protected:
    void TearDown() override {
        TDoLater::RunQueue();
        QCoreApplication::processEvents();
    }
};

TEST_F(DoLaterTest, DuplicatesAreDroppedAndOrderIsKept) {
    Recorder r, s;
    for (int i = 0; i < 3; ++i)
        TDoLater::Queue(&r, &Recorder::Note, 7);
    TDoLater::Queue(&r, &Recorder::Other, 7); // another method
    TDoLater::Queue(&s, &Recorder::Note, 7);  // another object
    for (int a : {1, 2, 3})
        TDoLater::Queue(&r, &Recorder::Note, a);
    EXPECT_EQ(TDoLater::PendingCount(), 6u);
    TDoLater::RunQueue();
    EXPECT_EQ(r.calls, (std::vector<int>{7, 1007, 1, 2, 3}));
    EXPECT_EQ(s.calls, (std::vector<int>{7}));
    EXPECT_EQ(TDoLater::PendingCount(), 0u);
}

TEST_F(DoLaterTest, MethodsWithoutArgumentQueueOnceAndCancel) {
    Recorder r;
    for (int i = 0; i < 3; ++i)
        TDoLater::Queue(&r, &Recorder::Plain);
    TDoLater::Queue(&r, &Recorder::Note, 0); // not a duplicate of the call without argument
    TDoLater::RunQueue();
    EXPECT_EQ(r.calls, (std::vector<int>{-100, 0}));
    TDoLater::Queue(&r, &Recorder::Plain);
    TDoLater::Cancel(&r, &Recorder::Plain);
    EXPECT_EQ(TDoLater::PendingCount(), 0u);
}

TEST_F(DoLaterTest, CancelFromInsideARunningCall) {
    Recorder r;
    TDoLater::Queue(&r, &Recorder::CancelNotes, 1);
    TDoLater::Queue(&r, &Recorder::Note, 2);
    TDoLater::Queue(&r, &Recorder::Other, 3);
    TDoLater::RunQueue();
    EXPECT_EQ(r.calls, (std::vector<int>{-1, 1003}));
}

TEST_F(DoLaterTest, CallsQueuedWhileRunningRunInTheSamePass) {
    Recorder r;
    TDoLater::Queue(&r, &Recorder::Again, 4);
    TDoLater::Queue(&r, &Recorder::Other, 1);
    TDoLater::RunQueue();
    EXPECT_EQ(r.calls, (std::vector<int>{4, 1001, 4}));
}

TEST_F(DoLaterTest, TheEventLoopRunsTheQueueOnTheGuiThread) {
    Recorder r;
    std::thread::id ranOn;
    struct Probe {
        std::thread::id* where;
        void Run(int) { *where = std::this_thread::get_id(); }
    } probe{&ranOn};
    std::thread other([&] { TDoLater::Queue(&probe, &Probe::Run, 0); });
    other.join();
    TDoLater::Queue(&r, &Recorder::Note, 5);
    EXPECT_TRUE(r.calls.empty()) << "nothing runs before the event loop gets to it";
    QCoreApplication::processEvents();
    EXPECT_EQ(r.calls, (std::vector<int>{5}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(DoLaterTest, CancelAllForAnObjectThatGoesAway) {
    Recorder r, keep;
    TDoLater::Queue(&r, &Recorder::Note, 1);
    TDoLater::Queue(&r, &Recorder::Other, 1);
    TDoLater::Queue(&keep, &Recorder::Note, 1);
    TDoLater::CancelAll(&r);
    TDoLater::RunQueue();
    EXPECT_TRUE(r.calls.empty());
    EXPECT_EQ(keep.calls, (std::vector<int>{1}));
}

} // namespace
