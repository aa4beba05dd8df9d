#include "platform/Thread.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <stdexcept>
#include <thread>

namespace tw {

int UsableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

namespace {

// Static initialisation runs on the thread that starts the program.
const std::thread::id gGuiThread = std::this_thread::get_id();

struct SyncCall {
    const std::function<void()>* fn;
    std::exception_ptr error;
    std::atomic<bool> done{false};
};

// A hand-over to the GUI thread usually takes microseconds; both sides spin
// this long before they sleep, which saves two context switches per call
// (a walk makes hundreds of them).
constexpr auto kSpin = std::chrono::microseconds(200);

template <class Ready> bool SpinUntil(const Ready& ready) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    do {
        if (ready()) return true;
        std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < until);
    return ready();
}

struct SyncQueue {
    std::mutex mutex;
    std::condition_variable arrived;  // wakes a headless CheckSynchronize
    std::condition_variable finished; // wakes the waiting workers
    std::deque<SyncCall*> calls;
    std::atomic<size_t> waiting{0}; // calls.size(), readable without the mutex
    std::atomic<bool> fromEventLoop{false};
};

SyncQueue& Queue() {
    // Never destroyed: a self-freeing thread may still be leaving Synchronize
    // when the program ends right after its OnTerminate.
    static SyncQueue* const queue = new SyncQueue;
    return *queue;
}

} // namespace

bool IsGuiThread() {
    return std::this_thread::get_id() == gGuiThread;
}

void EnableSynchronizeFromEventLoop() {
    Queue().fromEventLoop = true;
}

bool CheckSynchronize(int timeoutMs) {
    SyncQueue& q = Queue();
    if (timeoutMs > 0) SpinUntil([&] { return q.waiting.load(std::memory_order_acquire) > 0; });
    std::unique_lock lock(q.mutex);
    if (q.calls.empty() && timeoutMs > 0)
        q.arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !q.calls.empty(); });
    if (q.calls.empty()) return false;
    while (!q.calls.empty()) {
        SyncCall* call = q.calls.front();
        q.calls.pop_front();
        q.waiting.store(q.calls.size(), std::memory_order_release);
        lock.unlock();
        try {
            (*call->fn)();
        } catch (...) {
            call->error = std::current_exception();
        }
        lock.lock();
        call->done.store(true, std::memory_order_release);
        q.finished.notify_all();
    }
    return true;
}

void Thread::Synchronize(const std::function<void()>& fn) {
    if (IsGuiThread()) {
        fn();
        return;
    }
    SyncQueue& q = Queue();
    SyncCall call{&fn, nullptr};
    {
        std::lock_guard lock(q.mutex);
        q.calls.push_back(&call);
        q.waiting.store(q.calls.size(), std::memory_order_release);
    }
    q.arrived.notify_all();
    if (q.fromEventLoop)
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [] { CheckSynchronize(0); }, Qt::QueuedConnection);
    if (!SpinUntil([&] { return call.done.load(std::memory_order_acquire); })) {
        std::unique_lock lock(q.mutex);
        q.finished.wait(lock, [&] { return call.done.load(std::memory_order_acquire); });
    }
    // The GUI thread may still be inside notify_all for this call: take the mutex
    // once so the call record outlives every use of it.
    { std::lock_guard lock(q.mutex); }
    if (call.error) std::rethrow_exception(call.error);
}

Thread::Thread() = default;

Thread::~Thread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach(); // freeing itself at its end
        else
            thread_.join();
    }
}

void Thread::Resume() {
    if (started_) return;
    started_ = true;
    thread_ = std::thread([this] { Run(); });
}

void Thread::RunHere() {
    if (started_) return;
    if (!IsGuiThread()) throw std::logic_error("a thread's work runs in place only on the GUI thread");
    started_ = true;
    idle_ = false; // the GUI thread keeps its priority
    Run();
}

void Thread::SetIdlePriority() {
    idle_ = true;
    if (started_ && !finished_) ApplyPriority();
}

void Thread::ApplyPriority() {
    if (!idle_ || !thread_.joinable()) return;
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(thread_.native_handle(), SCHED_IDLE, &param);
}

void Thread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Thread::Run() {
    if (idle_) {
        sched_param param{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    }
    try {
        Execute();
    } catch (...) {
        // Execute ends here; OnTerminate still runs and the object is still freed.
        fatal_ = std::current_exception();
    }
    try {
        Synchronize([this] {
            if (OnTerminate) OnTerminate(this);
        });
    } catch (...) {
    }
    finished_ = true;
    if (FreeOnTerminate) delete this;
}

} // namespace tw
