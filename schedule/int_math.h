#pragma once

#include <cstdint>
#include <limits>

// Small integer helpers for the timer arithmetic. Entry fields can hold
// anything a report or a schedule file put there, so the arithmetic runs on
// 64-bit values and is clamped back into the 32-bit fields at the end.
namespace velmora::intmath {

// Quotient rounded towards minus infinity; d > 0.
constexpr long long floorDiv(long long n, long long d) {
    long long q = n / d;
    if ((n % d) != 0 && n < 0) --q;
    return q;
}

// Remainder in [0, d); d > 0.
constexpr long long floorMod(long long n, long long d) {
    long long r = n % d;
    return r < 0 ? r + d : r;
}

constexpr std::int32_t clamp32(long long v) {
    if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

}  // namespace velmora::intmath
