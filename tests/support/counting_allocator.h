#pragma once

// Counts heap allocations made through the global operator new while a
// counting scope is open. Including this header replaces the global
// allocation functions, so include it in exactly one source file of a test
// executable of its own.

#include <atomic>
#include <cstdlib>
#include <new>

namespace kalo_test::allocations {
// Counted only while a scope asks for it, so gtest's own allocations between
// checks do not count.
inline std::atomic<bool> counting{false};
inline std::atomic<long> count{0};

// Runs `work` and returns how many allocations it made.
template <class Work>
long during(Work&& work) {
    count = 0;
    counting = true;
    work();
    counting = false;
    return count.load();
}
} // namespace kalo_test::allocations

void* operator new(std::size_t size) {
    if (kalo_test::allocations::counting.load(std::memory_order_relaxed))
        kalo_test::allocations::count.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
// Kept out of line: once inlined next to a `new`, g++ sees free() meet a
// pointer from operator new and warns, not knowing that this new is malloc.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
