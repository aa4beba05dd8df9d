// The row-band pool: every band once on any number of threads, progress on
// the calling thread, a band's error thrown again, a cancel that stops it.
#include "platform/RowBandPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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

} // namespace
