#pragma once

// Draining a published queue into a host's array.

#include "shared/circular_buffer.h"
#include "shared/require.h"

namespace OviMath::MathLib {

// Copies up to `count` records, oldest first, each through `transform`, then
// empties the queue, the records beyond `count` included. `count` comes back
// as the number written; 0 leaves the queue alone and a negative count
// writes nothing.
template <class Record, class Transform>
void drain(Buffer::CircularBuffer<Record>& queue, Record* out, int& count, Transform&& transform) {
    const int available = static_cast<int>(queue.size());
    if (count > available)
        count = available;
    if (count == 0)
        return;
    if (count > 0) {
        requireNonNull(out, "output array is null");
        int i = 0;
        queue.forEach(0, static_cast<std::size_t>(count), [&](const Record& record) { out[i++] = transform(record); });
    }
    queue.reset();
}

} // namespace OviMath::MathLib
