#pragma once

// Counts heap allocations made through the global operator new while a
// counting scope is open, and can make one of them fail. Including this
// header replaces the global allocation functions, so include it in exactly
// one source file of a test executable of its own.

#include <atomic>
#include <cstdlib>
#include <new>

namespace kalo_test::allocations {
// Counted only while a scope asks for it, so gtest's own allocations between
// checks do not count.
inline std::atomic<bool> counting{false};
inline std::atomic<long> count{0};
// Blocks allocated minus blocks released while counting: 0 after work that gives back all it took.
inline std::atomic<long> live{0};
// When positive, counted allocation number failAt (from 1) throws std::bad_alloc, as an exhausted heap would.
inline std::atomic<long> failAt{0};

// Runs `work` and returns how many allocations it made (or attempted).
template <class Work>
long during(Work&& work) {
    count = 0;
    live = 0;
    counting = true;
    work();
    counting = false;
    return count.load();
}
} // namespace kalo_test::allocations

void* operator new(std::size_t size) {
    namespace a = kalo_test::allocations;
    if (a::counting.load(std::memory_order_relaxed)) {
        if (a::count.fetch_add(1, std::memory_order_relaxed) + 1 == a::failAt.load(std::memory_order_relaxed))
            throw std::bad_alloc();
        a::live.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
// Kept out of line: once inlined next to a `new`, g++ sees free() meet a
// pointer from operator new and warns, not knowing that this new is malloc.
[[gnu::noinline]] void operator delete(void* p) noexcept {
    if (p != nullptr && kalo_test::allocations::counting.load(std::memory_order_relaxed))
        kalo_test::allocations::live.fetch_sub(1, std::memory_order_relaxed);
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
// The array forms too: a sanitizer runtime supplies its own, which would bypass the count.
void* operator new[](std::size_t size) { return operator new(size); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { operator delete(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
