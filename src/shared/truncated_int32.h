#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace OviMath {

// A microvolt value as the amplitude tests see it: truncated toward zero to
// a signed 32-bit integer. Values beyond the integer's range take its limit
// of the same sign (a plain conversion would be undefined there); a NaN has
// no value and says so.
struct TruncatedInt32 {
    bool isNumber;
    std::int32_t value;
};

inline TruncatedInt32 truncateToInt32(double x) {
    if (std::isnan(x))
        return {false, 0};
    if (x >= 2147483648.0)
        return {true, std::numeric_limits<std::int32_t>::max()};
    if (x <= -2147483649.0)
        return {true, std::numeric_limits<std::int32_t>::min()};
    return {true, static_cast<std::int32_t>(x)};
}

// |value| without overflow for the most negative integer.
inline std::int64_t magnitude(std::int32_t value) { return value < 0 ? -static_cast<std::int64_t>(value) : value; }

} // namespace OviMath
