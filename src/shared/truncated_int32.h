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

// The amplitude comparisons on the truncated value, decided on the double
// itself so that per-sample loops need neither a conversion nor a branch.
//
// For an integer limit, |trunc(x)| < limit holds exactly when |x| < limit
// (a NaN: never).
inline bool truncatedMagnitudeBelow(double x, int limit) { return std::fabs(x) < limit; }

// |trunc(x)| > limit holds exactly when x <= lower or x >= upper, with
// lower = -(limit + 1) and upper = limit + 1: saturation included, except
// that a positive value saturates at INT_MAX while a negative one reaches
// INT_MIN, so for limit INT_MAX only the negative side can exceed it. A NaN
// counts as exceeding: for the amplitude tests it is as bad as a huge value.
struct TruncatedMagnitudeLimit {
    explicit TruncatedMagnitudeLimit(int limit)
        : lower(-(limit + 1.0)), upper(limit + 1.0), positiveCanExceed(limit < std::numeric_limits<std::int32_t>::max()) {}
    bool exceededBy(double x) const { return (!(x > lower)) | (positiveCanExceed & (x >= upper)); }
    double lower;
    double upper;
    bool positiveCanExceed;
};

} // namespace OviMath
