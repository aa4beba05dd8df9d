#include "platform/RowBandPool.h"

#include "platform/Thread.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace {
std::atomic<int> defaultThreads{0};
}

void TRowBandPool::SetDefaultThreads(int threads) {
    defaultThreads.store(std::max(0, threads));
}

TRowBandPool::TRowBandPool(int threads) : threads_(threads) {
    if (threads_ < 1) threads_ = defaultThreads.load();
    if (threads_ < 1) threads_ = tw::UsableCores();
}

bool TRowBandPool::Run(int rows, int bandRows, const std::function<void(int, int)>& work,
                       const TBandControl& control) const {
    if (rows <= 0) return true;
    bandRows = std::max(1, bandRows);
    const int bands = (rows - 1) / bandRows + 1;

    std::atomic<int> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable finished;
    int done = 0;
    std::exception_ptr failure;

    const auto cancelled = [&] { return control.Cancel && control.Cancel->load(std::memory_order_relaxed); };
    // Takes bands until none is left; returns after each band on the calling
    // thread so that it can report progress.
    const auto runBand = [&]() -> bool {
        if (stop.load(std::memory_order_relaxed) || cancelled()) return false;
        const int band = next.fetch_add(1);
        if (band >= bands) return false;
        try {
            const int first = band * bandRows;
            work(first, std::min(rows, first + bandRows));
        } catch (...) {
            const std::lock_guard lock(mutex);
            if (!failure) failure = std::current_exception();
            stop = true;
        }
        {
            const std::lock_guard lock(mutex);
            ++done;
        }
        finished.notify_one();
        return true;
    };

    TTaskGroup helpers;
    const int helperCount = std::min(threads_, bands) - 1;
    int reported = 0;
    const auto report = [&] {
        if (!control.OnProgress) return;
        int now;
        {
            const std::lock_guard lock(mutex);
            now = done;
        }
        if (now == reported) return;
        reported = now;
        control.OnProgress(now, bands);
    };
    try {
        for (int i = 0; i < helperCount; ++i)
            helpers.Start([&] {
                while (runBand()) {
                }
            });
        while (runBand())
            report();
        // Out of bands here: wait for the helpers' last ones, reporting each.
        std::unique_lock lock(mutex);
        const int started = std::min(next.load(), bands);
        while (done < started) {
            const int seen = done;
            finished.wait(lock, [&] { return done != seen; });
            lock.unlock();
            report();
            lock.lock();
        }
        lock.unlock();
        report(); // the helpers may have finished before the wait began
    } catch (...) {
        // A progress callback that threw, or a thread that could not start: let
        // the helpers run dry before the exception leaves.
        stop = true;
        throw;
    }
    helpers.Wait();
    if (failure) std::rethrow_exception(failure);
    return done == bands;
}

TRowBandPool::TTaskGroup::~TTaskGroup() {
    for (std::thread& t : threads_)
        t.join();
}

void TRowBandPool::TTaskGroup::Start(std::function<void()> task) {
    threads_.emplace_back([this, task = std::move(task)] {
        try {
            task();
        } catch (...) {
            const std::lock_guard lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
        }
    });
}

void TRowBandPool::TTaskGroup::Wait(size_t running) {
    while (threads_.size() > running) {
        threads_.front().join();
        threads_.pop_front();
    }
    const std::lock_guard lock(mutex_);
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}
