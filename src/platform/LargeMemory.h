#pragma once
// Large buffers (camera-size pictures, whole files) fault in thousands of small
// pages as they are first written, which costs more than the writing itself.

#include <cstddef>

namespace tw {

// Asks for large pages over the whole large pages inside [data, data + bytes).
// Call it before the buffer is first written; a no-op for small buffers and
// where the system has no such advice.
void AdviseLargePages(void* data, size_t bytes) noexcept;

} // namespace tw
