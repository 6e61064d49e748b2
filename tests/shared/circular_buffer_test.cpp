// The ring behind the engine's samples and results.

#include "shared/circular_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace {

using Ring = OviMath::Buffer::CircularBuffer<int>;

std::vector<int> visited(const Ring& ring, std::int64_t first, std::size_t count) {
    std::vector<int> out;
    ring.forEach(first, count, [&](int v) { out.push_back(v); });
    return out;
}

TEST(CircularBuffer, PositionsFromTheOldestWrapOnceFullAndReadEmptyOutside) {
    Ring ring(3);
    ring.push(1);
    ring.push(2);
    ring.set(1, 20); // in place
    EXPECT_EQ(visited(ring, -1, 4), (std::vector<int>{0, 1, 20, 0}));
    ring.push(3);
    ring.push(4); // full: the oldest, 1, is overwritten
    EXPECT_TRUE(ring.full());
    // Positions -1 and 3 map onto stored slots; a write there must not reach them.
    for (const std::int64_t outside : {std::int64_t{-1}, std::int64_t{3}, std::numeric_limits<std::int64_t>::min()}) {
        ring.set(outside, 99);
        EXPECT_EQ(ring.at(outside), 0) << outside;
    }
    ring.update(-1, 5, [](int& v) { v *= 10; }); // only the stored three
    EXPECT_EQ(visited(ring, -1, 5), (std::vector<int>{0, 200, 30, 40, 0}));
    ring.reset();
    EXPECT_EQ(ring.size(), 0u);
    EXPECT_EQ(ring.capacity(), 3u);
    ring.push(5);
    EXPECT_EQ(visited(ring, 0, 2), (std::vector<int>{5, 0}));
}

} // namespace
