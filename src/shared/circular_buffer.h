#pragma once

// A ring of fixed capacity that overwrites its oldest element once full.
// Elements are addressed by position counted from the oldest stored element
// (0) to the newest (size() - 1). Reading a position outside that range,
// negative ones included, yields the all-zero empty value; writing there
// stores nothing. The slots are one array indexed modulo the capacity, so
// appending never moves data and, once allocated, never allocates.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace OviMath::Buffer {

template <class T>
class CircularBuffer {
public:
    CircularBuffer() = default;
    explicit CircularBuffer(std::size_t capacity) { allocate(capacity); }

    // Replaces the slots by `capacity` zero-filled ones. The counters are kept
    // (all 0 on a new buffer); callers allocate before the first push.
    void allocate(std::size_t capacity) {
        slots = std::make_unique<T[]>(capacity); // value-initialised: all zero
        slotCount = capacity;
    }

    std::size_t capacity() const { return slotCount; }
    std::size_t size() const { return wrapped ? slotCount : head; }
    bool empty() const { return size() == 0; }
    bool full() const { return wrapped; }

    void push(const T& value) {
        if (slotCount == 0)
            return;
        slots[head] = value;
        ++head;
        if (head == slotCount) {
            wrapped = true;
            head = 0;
        }
    }

    // The element at `position` from the oldest, or the empty value.
    const T& at(std::int64_t position) const {
        if (position < 0 || static_cast<std::uint64_t>(position) >= size())
            return emptyValue;
        return slots[slot(static_cast<std::size_t>(position))];
    }
    const T& newest() const { return at(static_cast<std::int64_t>(size()) - 1); }

    // Overwrites the element at `position` in place; outside the stored
    // elements nothing is written.
    void set(std::int64_t position, const T& value) {
        if (position < 0 || static_cast<std::uint64_t>(position) >= size())
            return;
        slots[slot(static_cast<std::size_t>(position))] = value;
    }

    // Forgets every element; the slots keep their contents.
    void reset() {
        head = 0;
        wrapped = false;
    }

    // Calls `visit(element)` for the elements at positions first .. first +
    // count - 1, oldest first; positions outside the stored range visit the
    // empty value. Walks the slots directly instead of dividing per element.
    template <class Visit>
    void forEach(std::int64_t first, std::size_t count, Visit&& visit) const {
        walk(*this, first, count, [&](const T* element) { visit(element != nullptr ? *element : emptyValue); });
    }

    // Calls `change(element)` on the stored elements among positions first ..
    // first + count - 1, oldest first; positions outside are skipped.
    template <class Change>
    void update(std::int64_t first, std::size_t count, Change&& change) {
        walk(*this, first, count, [&](T* element) {
            if (element != nullptr)
                change(*element);
        });
    }

    // Calls `visit(data, n)` for the stored elements among positions first ..
    // first + count - 1 as at most two runs of consecutive slots, oldest
    // first; positions outside the stored elements are skipped. For loops
    // that want plain arrays.
    template <class Visit>
    void forEachRun(std::int64_t first, std::size_t count, Visit&& visit) const {
        runs(*this, first, count, visit);
    }
    template <class Visit>
    void updateRuns(std::int64_t first, std::size_t count, Visit&& visit) {
        runs(*this, first, count, visit);
    }

private:
    template <class Self, class Visit>
    static void runs(Self& self, std::int64_t first, std::size_t count, Visit& visit) {
        std::int64_t begin = first < 0 ? 0 : first;
        const std::int64_t end = std::min<std::int64_t>(first + static_cast<std::int64_t>(count),
                                                        static_cast<std::int64_t>(self.size()));
        while (begin < end) {
            const std::size_t index = self.slot(static_cast<std::size_t>(begin));
            const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(end - begin), self.slotCount - index);
            visit(&self.slots[index], n);
            begin += static_cast<std::int64_t>(n);
        }
    }

    std::size_t slot(std::size_t position) const { return wrapped ? (head + position) % slotCount : position; }

    // Hands `step` a pointer to each slot of the range, or null for a
    // position outside the stored elements.
    template <class Self, class Step>
    static void walk(Self& self, std::int64_t first, std::size_t count, Step&& step) {
        const std::int64_t stored = static_cast<std::int64_t>(self.size());
        std::size_t done = 0;
        for (; done < count && first + static_cast<std::int64_t>(done) < 0; ++done)
            step(nullptr);
        std::int64_t position = first + static_cast<std::int64_t>(done);
        if (done < count && position < stored) {
            std::size_t index = self.slot(static_cast<std::size_t>(position));
            for (; done < count && position < stored; ++done, ++position) {
                step(&self.slots[index]);
                if (++index == self.slotCount)
                    index = 0;
            }
        }
        for (; done < count; ++done)
            step(nullptr);
    }

    std::unique_ptr<T[]> slots;
    std::size_t head = 0;
    std::size_t slotCount = 0;
    T emptyValue{};
    bool wrapped = false;
};

} // namespace OviMath::Buffer
