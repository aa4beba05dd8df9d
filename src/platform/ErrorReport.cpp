#include "platform/ErrorReport.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace tw {
namespace {

std::mutex& HandlerLock() {
    static std::mutex lock;
    return lock;
}

ErrorHandler& Handler() {
    static ErrorHandler handler;
    return handler;
}

void WriteToStderr(const std::string& message) noexcept {
    std::fprintf(stderr, "Tintwell: %s\n", message.c_str());
}

} // namespace

ErrorHandler SetErrorHandler(ErrorHandler handler) {
    std::lock_guard guard(HandlerLock());
    return std::exchange(Handler(), std::move(handler));
}

std::string MessageOf(std::exception_ptr error) {
    if (!error) return "no error";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an unknown error occurred";
    }
}

void ReportException(std::exception_ptr error) noexcept {
    try {
        const std::string message = MessageOf(error);
        ErrorHandler handler;
        {
            // Called without the lock held, so the handler may install another one.
            std::lock_guard guard(HandlerLock());
            handler = Handler();
        }
        try {
            if (handler)
                handler(message);
            else
                WriteToStderr(message);
        } catch (...) {
            WriteToStderr(message);
        }
    } catch (...) {
        WriteToStderr("an error occurred while reporting an error");
    }
}

} // namespace tw
