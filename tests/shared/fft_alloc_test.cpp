// Counts heap allocations around transforms. It replaces the global
// allocation functions, so it lives in an executable of its own.

#include "shared/fft.h"

#include <gtest/gtest.h>

#include "support/counting_allocator.h"

namespace {

long allocationsDuring(void (*work)(OviMath::ComplexArray&), OviMath::ComplexArray& x) {
    return kalo_test::allocations::during([&] { work(x); });
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
