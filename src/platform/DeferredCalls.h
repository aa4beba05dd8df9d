#pragma once
// Deferred calls: a method call queued now runs later on the GUI thread, after
// the current event, from the Qt event loop. A call identical to one already
// waiting (same object, same method, same argument) is dropped, so several
// triggers in one event cost one run. Methods may take one int or nothing.

#include <QString>

#include <chrono>
#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>

class TDeferredCalls {
  public:
    // Schedules (object->*method)(argument).
    template <class T> static void Queue(T* object, void (T::*method)(int), int argument) {
        Instance().QueueCall(object, KeyOf(method), argument,
                             [object, method](int a) { (object->*method)(a); });
    }
    // Schedules (object->*method)().
    template <class T> static void Queue(T* object, void (T::*method)()) {
        Instance().QueueCall(object, KeyOf(method), 0, [object, method](int) { (object->*method)(); });
    }
    // Drops every waiting call of that method on that object, except one that is running.
    template <class T> static void Cancel(T* object, void (T::*method)(int)) {
        Instance().CancelCalls(object, KeyOf(method));
    }
    template <class T> static void Cancel(T* object, void (T::*method)()) {
        Instance().CancelCalls(object, KeyOf(method));
    }
    // Drops every waiting call on that object (for destructors).
    static void CancelAll(const void* object);

    // Runs the queue now, on the calling thread: everything waiting, including
    // calls queued by the calls themselves. The event loop does this by itself.
    static void RunQueue();
    static size_t PendingCount();

  private:
    struct TCall {
        const void* Object;
        std::string Method;
        int Argument;
        std::function<void(int)> Call;
        std::chrono::steady_clock::time_point Queued;
    };

    template <class M> static std::string KeyOf(M method) {
        std::string key(typeid(M).name());
        key.append(reinterpret_cast<const char*>(&method), sizeof(M));
        return key;
    }

    static TDeferredCalls& Instance();
    void QueueCall(const void* object, std::string method, int argument, std::function<void(int)> call);
    void CancelCalls(const void* object, const std::string& method);
    void Post();

    std::recursive_mutex lock_;
    std::list<std::unique_ptr<TCall>> queue_;
};
