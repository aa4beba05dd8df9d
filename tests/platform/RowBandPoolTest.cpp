// The row-band pool: every band once on any number of threads, progress on
// the calling thread, a band's error thrown again, a cancel that stops it;
// task groups whose tasks run side by side.
#include "platform/RowBandPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(RowBandPool, EveryRowOnceProgressOnCallerErrorsAndCancel) {
    for (const int threads : {1, 2, 5}) {
        const TRowBandPool pool(threads);
        std::vector<int> hits(1000);
        std::mutex m;
        int lastDone = 0;
        TBandControl control;
        control.OnProgress = [&, caller = std::this_thread::get_id()](int done, int total) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            EXPECT_EQ(total, 15);
            lastDone = done;
        };
        EXPECT_TRUE(pool.Run(
            1000, 70,
            [&](int y0, int y1) {
                const std::lock_guard lock(m);
                for (int y = y0; y < y1; ++y)
                    ++hits[y];
            },
            control));
        EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), 1000) << threads << " threads";
        EXPECT_EQ(lastDone, 15);

        EXPECT_THROW(pool.Run(100, 10,
                              [](int y0, int) {
                                  if (y0 == 30) throw std::runtime_error("band failed");
                              }),
                     std::runtime_error);

        std::atomic<bool> cancel{false};
        std::atomic<int> ran{0};
        EXPECT_FALSE(pool.Run(1000, 1,
                              [&](int, int) {
                                  ++ran;
                                  cancel = true;
                              },
                              {&cancel, {}}));
        EXPECT_LE(ran.load(), threads) << "no band starts after the flag is seen";
    }
}

// Tasks may wait for each other, so each has a thread of its own; Wait(n)
// leaves the newest n running and throws what a task threw, once.
TEST(RowBandPool, TaskGroupsRunTasksSideBySide) {
    std::mutex m;
    std::condition_variable changed;
    int stage = 0;
    const auto await = [&](int s) {
        std::unique_lock lock(m);
        changed.wait(lock, [&] { return stage >= s; });
    };
    const auto reach = [&](int s) {
        {
            const std::lock_guard lock(m);
            stage = std::max(stage, s);
        }
        changed.notify_all();
    };
    TRowBandPool::TTaskGroup tasks;
    std::atomic<bool> lastDone{false};
    tasks.Start([&] {
        await(1); // only the second task gets it there
        reach(2);
    });
    tasks.Start([&] { reach(1); });
    tasks.Start([&] {
        await(3);
        lastDone = true;
        throw std::runtime_error("late");
    });
    tasks.Wait(1);
    EXPECT_EQ(stage, 2) << "the two oldest have ended";
    EXPECT_FALSE(lastDone);
    reach(3);
    EXPECT_THROW(tasks.Wait(), std::runtime_error);
    EXPECT_TRUE(lastDone);
    EXPECT_NO_THROW(tasks.Wait()) << "thrown once";

    // A group that goes waits for its tasks and drops what they threw.
    std::atomic<bool> ran{false};
    {
        TRowBandPool::TTaskGroup dropped;
        dropped.Start([&] {
            ran = true;
            throw std::runtime_error("unheard");
        });
    }
    EXPECT_TRUE(ran);
}

} // namespace
