#pragma once
// A worker thread object that is created suspended, can be asked to stop, can
// run code on the GUI thread and wait for it (Synchronize), and reports its end
// on the GUI thread (OnTerminate), optionally freeing itself afterwards.
//
// The GUI thread is the thread that initialised the program. It runs the
// synchronised calls either from the Qt event loop (after
// EnableSynchronizeFromEventLoop, nested modal loops included) or, headless,
// whenever it calls CheckSynchronize.

#include <atomic>
#include <exception>
#include <functional>
#include <thread>

namespace tw {

// The processors this process may run on: under a batch scheduler or a
// container often fewer than the machine has.
int UsableCores();

class Thread {
  public:
    Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // Waits for a running thread that does not free itself.
    virtual ~Thread();

    // Starts the thread (the first time) — it is created suspended.
    void Resume();
    // Instead of Resume, on the GUI thread: runs Execute and OnTerminate right
    // here, the synchronised calls inline, for a caller that would only wait
    // for the thread (the batch tool). Handing every call over to another
    // thread and back costs more than the walk when processes share the cores.
    void RunHere();
    // Asks Execute to stop; Execute decides when it looks.
    void Terminate() { terminated_.store(true, std::memory_order_relaxed); }
    bool Terminated() const { return terminated_.load(std::memory_order_relaxed); }
    // Runs the thread at idle priority (SCHED_IDLE), now or when it starts.
    void SetIdlePriority();
    // Blocks until Execute and OnTerminate have run. Not for threads that free
    // themselves, and never on the GUI thread while it must service the thread.
    void WaitFor();

    // When set before the thread ends, the object deletes itself after OnTerminate.
    bool FreeOnTerminate = false;
    // Runs on the GUI thread once Execute has returned (or thrown).
    std::function<void(Thread*)> OnTerminate;
    // What Execute threw, if it ended that way; read it in OnTerminate.
    std::exception_ptr FatalException() const { return fatal_; }

    // Runs fn on the GUI thread and waits for it; an exception it throws is
    // re-thrown here. On the GUI thread itself fn simply runs.
    static void Synchronize(const std::function<void()>& fn);

  protected:
    virtual void Execute() = 0;

  private:
    void Run();
    void ApplyPriority();

    std::thread thread_;
    std::exception_ptr fatal_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> idle_{false};
    std::atomic<bool> finished_{false};
    bool started_ = false;
};

// Runs the synchronised calls that are waiting, on the calling (GUI) thread.
// Waits up to timeoutMs for one to arrive when none is waiting. Returns whether
// any ran.
bool CheckSynchronize(int timeoutMs = 0);
// Lets the Qt event loop of the GUI thread run synchronised calls as they come.
// Needs a QCoreApplication.
void EnableSynchronizeFromEventLoop();
bool IsGuiThread();

} // namespace tw
