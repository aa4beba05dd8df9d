#pragma once
// A parallel-for over bands of rows, for whole-picture passes. Each band is
// handed to exactly one thread and must depend only on its own rows, so the
// result is the same whatever the number of threads.

#include <atomic>
#include <functional>

// Cancel and progress for a run of bands. Progress is reported on the calling
// thread only, so the callback needs no locking of its own.
struct TBandControl {
    const std::atomic<bool>* Cancel = nullptr;
    std::function<void(int done, int total)> OnProgress;
};

class TRowBandPool {
  public:
    // threads < 1 means one per processor core.
    explicit TRowBandPool(int threads = 0);

    int Threads() const { return threads_; }

    // What "one per processor core" means for this process from now on
    // (0: the cores). A batch worker that shares the machine with other
    // workers sets 1, so that workers do not crowd each other's cores.
    static void SetDefaultThreads(int threads);

    // Runs work(firstRow, endRow) for every band of bandRows rows of [0, rows),
    // the calling thread taking its share. Returns false when the cancel flag
    // stopped it before every band ran. An exception thrown by a band stops the
    // others from starting and is thrown again here once all threads have ended.
    bool Run(int rows, int bandRows, const std::function<void(int, int)>& work,
             const TBandControl& control = {}) const;

  private:
    int threads_;
};
