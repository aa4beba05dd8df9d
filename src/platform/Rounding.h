#pragma once
// Rounding as every size, position and colour step of the program needs it:
// half to even, as std::nearbyint does in the default rounding mode.

#include <cstdint>

// Round half to even for 0 <= |x| < 2^51, exactly as std::nearbyint in the default
// rounding mode, without a library call (the two additions round in hardware).
inline double RoundHalfEven(double x) {
    constexpr double kShift = 6755399441055744.0; // 1.5 * 2^52
    const double shifted = x >= 0 ? x + kShift : x - kShift;
    return x >= 0 ? shifted - kShift : shifted + kShift;
}
inline int32_t Round(double x) {
    return static_cast<int32_t>(RoundHalfEven(x));
}
