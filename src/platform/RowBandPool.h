#pragma once
// The threads of whole-picture passes: a parallel-for over bands of rows, and
// groups of tasks that run beside the calling thread. Each band is handed to
// exactly one thread and must depend only on its own rows, so the result is
// the same whatever the number of threads.

#include <atomic>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

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

    // Tasks that run beside the calling thread and each other, for work that
    // is no band of rows: a reader ahead of the composition, a second decoding,
    // parts carried up while the next are made. Every task has a thread of its
    // own from the start, since tasks may wait for one another.
    class TTaskGroup {
      public:
        TTaskGroup() = default;
        TTaskGroup(const TTaskGroup&) = delete;
        TTaskGroup& operator=(const TTaskGroup&) = delete;
        // Waits for the tasks still running; what they threw is dropped.
        ~TTaskGroup();

        void Start(std::function<void()> task);
        // Waits for the oldest tasks until at most running of them are left,
        // then throws again the first exception a task threw, if one did.
        void Wait(size_t running = 0);

      private:
        std::deque<std::thread> threads_;
        std::mutex mutex_;
        std::exception_ptr failure_;
    };

  private:
    int threads_;
};
