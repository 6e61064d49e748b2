// Counts heap allocations around transforms. It replaces the global
// allocation functions, so it lives in an executable of its own.

#include "shared/fft.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
// Counted only while a test asks for it, so gtest's own allocations on other
// threads or between checks do not count.
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
} // namespace

void* operator new(std::size_t size) {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
// Kept out of line: once inlined next to a `new`, g++ sees free() meet a
// pointer from operator new and warns, not knowing that this new is malloc.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

long allocationsDuring(void (*work)(OviMath::ComplexArray&), OviMath::ComplexArray& x) {
    allocations = 0;
    counting = true;
    work(x);
    counting = false;
    return allocations.load();
}

void engineFft(OviMath::ComplexArray& x) { OviMath::Functions::fft(&x); }
void detectorFft(OviMath::ComplexArray& x) { OviMath::Artifacts::Functions::fft(x); }

TEST(FftAllocation, OnlyTheFirstCallOfALengthAllocates) {
    for (std::size_t n : {64, 512, 8192}) {
        OviMath::ComplexArray x(n, std::complex<double>(1.0, -1.0));
        // The first call of a length builds its plan; this shows that the
        // counter sees the library's allocations at all.
        EXPECT_GT(allocationsDuring(engineFft, x), 0) << "length " << n;
        for (int round = 0; round < 5; ++round) {
            EXPECT_EQ(0, allocationsDuring(engineFft, x)) << "length " << n;
            EXPECT_EQ(0, allocationsDuring(detectorFft, x)) << "length " << n;
        }
    }
}

TEST(FftAllocation, TinyLengthsNeverAllocate) {
    OviMath::ComplexArray empty;
    OviMath::ComplexArray one(1, std::complex<double>(2.0, 3.0));
    EXPECT_EQ(0, allocationsDuring(engineFft, empty));
    EXPECT_EQ(0, allocationsDuring(engineFft, one));
    EXPECT_EQ(0, allocationsDuring(detectorFft, one));
}

} // namespace
