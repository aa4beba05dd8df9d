#include "platform/DeferredCalls.h"

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
        TDeferredCalls::Cancel(this, &Recorder::Note);
        TDeferredCalls::Cancel(this, &Recorder::CancelNotes); // the running call is not affected
    }
    void Again(int a) {
        calls.push_back(a);
        // Queues itself with the same argument while running: that is no duplicate.
        if (calls.size() < 3) TDeferredCalls::Queue(this, &Recorder::Again, a);
    }
};

class DeferredCallsTest : public ::testing::Test {
  protected:
    void TearDown() override {
        TDeferredCalls::RunQueue();
        QCoreApplication::processEvents();
    }
};

TEST_F(DeferredCallsTest, DuplicatesAreDroppedAndOrderIsKept) {
    Recorder r, s;
    for (int i = 0; i < 3; ++i)
        TDeferredCalls::Queue(&r, &Recorder::Note, 7);
    TDeferredCalls::Queue(&r, &Recorder::Other, 7); // another method
    TDeferredCalls::Queue(&s, &Recorder::Note, 7);  // another object
    for (int a : {1, 2, 3})
        TDeferredCalls::Queue(&r, &Recorder::Note, a);
    EXPECT_EQ(TDeferredCalls::PendingCount(), 6u);
    TDeferredCalls::RunQueue();
    EXPECT_EQ(r.calls, (std::vector<int>{7, 1007, 1, 2, 3}));
    EXPECT_EQ(s.calls, (std::vector<int>{7}));
    EXPECT_EQ(TDeferredCalls::PendingCount(), 0u);
}

TEST_F(DeferredCallsTest, MethodsWithoutArgumentQueueOnceAndCancel) {
    Recorder r;
    for (int i = 0; i < 3; ++i)
        TDeferredCalls::Queue(&r, &Recorder::Plain);
    TDeferredCalls::Queue(&r, &Recorder::Note, 0); // not a duplicate of the call without argument
    TDeferredCalls::RunQueue();
    EXPECT_EQ(r.calls, (std::vector<int>{-100, 0}));
    TDeferredCalls::Queue(&r, &Recorder::Plain);
    TDeferredCalls::Cancel(&r, &Recorder::Plain);
    EXPECT_EQ(TDeferredCalls::PendingCount(), 0u);
}

TEST_F(DeferredCallsTest, CancelFromInsideARunningCall) {
    Recorder r;
    TDeferredCalls::Queue(&r, &Recorder::CancelNotes, 1);
    TDeferredCalls::Queue(&r, &Recorder::Note, 2);
    TDeferredCalls::Queue(&r, &Recorder::Other, 3);
    TDeferredCalls::RunQueue();
    EXPECT_EQ(r.calls, (std::vector<int>{-1, 1003}));
}

TEST_F(DeferredCallsTest, CallsQueuedWhileRunningRunInTheSamePass) {
    Recorder r;
    TDeferredCalls::Queue(&r, &Recorder::Again, 4);
    TDeferredCalls::Queue(&r, &Recorder::Other, 1);
    TDeferredCalls::RunQueue();
    EXPECT_EQ(r.calls, (std::vector<int>{4, 1001, 4}));
}

TEST_F(DeferredCallsTest, TheEventLoopRunsTheQueueOnTheGuiThread) {
    Recorder r;
    std::thread::id ranOn;
    struct Probe {
        std::thread::id* where;
        void Run(int) { *where = std::this_thread::get_id(); }
    } probe{&ranOn};
    std::thread other([&] { TDeferredCalls::Queue(&probe, &Probe::Run, 0); });
    other.join();
    TDeferredCalls::Queue(&r, &Recorder::Note, 5);
    EXPECT_TRUE(r.calls.empty()) << "nothing runs before the event loop gets to it";
    QCoreApplication::processEvents();
    EXPECT_EQ(r.calls, (std::vector<int>{5}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(DeferredCallsTest, CancelAllForAnObjectThatGoesAway) {
    Recorder r, keep;
    TDeferredCalls::Queue(&r, &Recorder::Note, 1);
    TDeferredCalls::Queue(&r, &Recorder::Other, 1);
    TDeferredCalls::Queue(&keep, &Recorder::Note, 1);
    TDeferredCalls::CancelAll(&r);
    TDeferredCalls::RunQueue();
    EXPECT_TRUE(r.calls.empty());
    EXPECT_EQ(keep.calls, (std::vector<int>{1}));
}

} // namespace
