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

// The length of the UTF-8 sequence at text[at], 0 when it is not one
// (overlong forms and surrogates included).
size_t Utf8Length(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0;
    };
    const unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

std::string Escape(const char* prefix, unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%s%0*X", prefix, digits, value);
    return text;
}

void WriteToStderr(const std::string& message) noexcept {
    std::fprintf(stderr, "Tintwell: %s\n", message.c_str());
}

} // namespace

ErrorHandler SetErrorHandler(ErrorHandler handler) {
    std::lock_guard guard(HandlerLock());
    return std::exchange(Handler(), std::move(handler));
}

void RunReportingErrors(const std::function<void()>& work) noexcept {
    try {
        work();
    } catch (...) {
        ReportException(std::current_exception());
    }
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

std::string Printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c < 0x80) {
            if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c == '\t')
                out += "\\t";
            else if (c < 0x20 || c == 0x7F)
                out += Escape("\\x", c, 2);
            else
                out += static_cast<char>(c);
            ++at;
            continue;
        }
        const size_t length = Utf8Length(text, at);
        if (length == 0) {
            out += Escape("\\x", c, 2);
            ++at;
            continue;
        }
        char32_t code = c & (0xFF >> (length + 1));
        for (size_t i = 1; i < length; ++i)
            code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
        if (code < 0xA0 || code == 0x2028 || code == 0x2029)
            out += Escape("\\u", static_cast<unsigned>(code), 4);
        else
            out.append(text, at, length);
        at += length;
    }
    return out;
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
