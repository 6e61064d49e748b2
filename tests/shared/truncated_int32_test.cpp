// The amplitude comparisons decided on doubles agree with the comparison of
// the saturated 32-bit truncation, for every kind of value and limit.

#include "shared/truncated_int32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using namespace OviMath;

TEST(TruncatedInt32, ComparisonsOnDoublesAgreeWithTheTruncatedInteger) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr int intMax = std::numeric_limits<int>::max(), intMin = std::numeric_limits<int>::min();
    std::vector<double> values = {0.0, -0.0, std::nan(""), inf, -inf, 2147483647.0, 2147483647.5, 2147483648.0,
                                  -2147483648.0, -2147483648.5, -2147483649.0, 1e300, -1e300, 5e-324};
    for (const int limit : {intMin, -5, 0, 1, 3, 30, 70, intMax - 1, intMax})
        for (const double d : {-1.0, -0.5, -1e-9, 0.0, 1e-9, 0.5, 1.0})
            for (const double sign : {1.0, -1.0})
                values.push_back(sign * (static_cast<double>(limit) + d));
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> wide(-300.0, 300.0);
    for (int i = 0; i < 2000; ++i)
        values.push_back(wide(random));
    for (const int limit : {intMin, -5, 0, 1, 3, 30, 70, intMax - 1, intMax})
        for (const double x : values) {
            const TruncatedInt32 t = truncateToInt32(x);
            EXPECT_EQ(truncatedMagnitudeBelow(x, limit), t.isNumber && magnitude(t.value) < limit) << x << " " << limit;
            EXPECT_EQ(TruncatedMagnitudeLimit(limit).exceededBy(x), !t.isNumber || magnitude(t.value) > limit)
                << x << " " << limit;
        }
}

} // namespace
