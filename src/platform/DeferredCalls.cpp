#include "platform/DeferredCalls.h"

#include <QCoreApplication>
#include <QMetaObject>

TDeferredCalls& TDeferredCalls::Instance() {
    static TDeferredCalls instance;
    return instance;
}

void TDeferredCalls::QueueCall(const void* object, std::string method, int argument,
                               std::function<void(int)> call) {
    {
        std::lock_guard guard(lock_);
        for (const auto& c : queue_)
            if (c->Object == object && c->Argument == argument && c->Method == method) return;
        queue_.push_back(std::make_unique<TCall>(
            TCall{object, std::move(method), argument, std::move(call), std::chrono::steady_clock::now()}));
    }
    Post();
}

void TDeferredCalls::Post() {
    // One posted event per queued call; the loop of the GUI thread (modal loops
    // too) delivers it after the current event. Without an application, the
    // owner runs the queue itself.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] { TDeferredCalls::RunQueue(); }, Qt::QueuedConnection);
}

void TDeferredCalls::CancelCalls(const void* object, const std::string& method) {
    std::lock_guard guard(lock_);
    queue_.remove_if([&](const auto& c) { return c->Object == object && c->Method == method; });
}

void TDeferredCalls::CancelAll(const void* object) {
    TDeferredCalls& self = Instance();
    std::lock_guard guard(self.lock_);
    self.queue_.remove_if([&](const auto& c) { return c->Object == object; });
}

void TDeferredCalls::RunQueue() {
    TDeferredCalls& self = Instance();
    // The lock stays held while calls run, so other threads that queue wait for
    // the pass to end; it is re-entrant, so the calls themselves may queue.
    std::lock_guard guard(self.lock_);
    // A call that runs a nested event loop (a modal dialog) lets nested passes run
    // the calls queued meanwhile.
    while (!self.queue_.empty()) {
        // Taken off the queue first: a running call is not a duplicate of itself
        // (it may queue itself again) and cannot be cancelled.
        std::unique_ptr<TCall> c = std::move(self.queue_.front());
        self.queue_.pop_front();
        c->Call(c->Argument);
    }
}

size_t TDeferredCalls::PendingCount() {
    TDeferredCalls& self = Instance();
    std::lock_guard guard(self.lock_);
    return self.queue_.size();
}
