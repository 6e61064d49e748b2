// Counts heap allocations while the detector judges windows. It replaces the
// global allocation functions, so it lives in an executable of its own.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "artifacts/artifacts_math.h"
#include "support/eeg_signals.h"

namespace {
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
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(DetectorAllocations, JudgingCleanWindowsAllocatesOnlyForTheBoundedHistory) {
    OviMath::Artifacts::ArtifactsMath detector(1, {250, 25, 500});
    detector.initArtifactDetect(70, 800000, 50, 10);
    detector.initFilters(50, OviMath::Artifacts::Resistance::On);
    const std::vector<double> source = kalo_test::eegLike(500, 250.0, 3);
    std::vector<double> window(source.size());
    int quality = 0;
    for (int i = 0; i < 20; ++i) { // warm up: transform plan, full history
        window = source;
        detector.isArtifactedWin(window.data(), 500, false, &quality);
    }
    const int windows = 640;
    allocations = 0;
    counting = true;
    for (int i = 0; i < windows; ++i) {
        std::copy(source.begin(), source.end(), window.begin());
        ASSERT_FALSE(detector.isArtifactedWin(window.data(), 500, false, &quality));
    }
    counting = false;
    // The quality history is a queue of fixed length whose storage moves on
    // in blocks of many scores: far fewer allocations than windows. A window
    // buffer or spectrum allocated per window would give at least one each.
    EXPECT_LT(allocations.load(), windows / 16);
}

} // namespace
