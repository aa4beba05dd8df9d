#pragma once
// The application's general error handler, as seen from code that runs inside
// Qt's event loop. An exception must never unwind through Qt, so event handlers
// that call user code catch everything and hand it here; the application
// installs a handler that shows the message and carries on.

#include <exception>
#include <functional>
#include <string>

namespace tw {

using ErrorHandler = std::function<void(const std::string& message)>;

// Installs the handler and returns the previous one. An empty handler restores
// the default, which writes the message to stderr.
ErrorHandler SetErrorHandler(ErrorHandler handler);

// Passes the error's message to the handler. Never throws: a handler that fails
// is reported on stderr instead.
void ReportException(std::exception_ptr error) noexcept;

// Runs work; whatever it throws goes to ReportException. For commands called
// from Qt's event loop.
void RunReportingErrors(const std::function<void()>& work) noexcept;

// The text shown for an error: what() of a standard exception, else a generic line.
std::string MessageOf(std::exception_ptr error);

// The text with whatever could break a one-line message written as an escape:
// control characters ("\n", "\x1B"), line and paragraph separators ("\u2028")
// and bytes that are not UTF-8 ("\xE9"). Backslashes stay as they are, so
// escaping escaped text changes nothing.
std::string Printable(const std::string& text);

} // namespace tw
