// Counts heap allocations while the detector judges windows. It replaces the
// global allocation functions, so it lives in an executable of its own.

#include <gtest/gtest.h>

#include <vector>

#include "artifacts/artifacts_math.h"
#include "support/counting_allocator.h"
#include "support/eeg_signals.h"

namespace {

TEST(DetectorAllocations, JudgingWindowsAllocatesNothing) {
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
    bool anyArtifact = false;
    const long allocations = kalo_test::allocations::during([&] {
        for (int i = 0; i < windows; ++i) {
            std::copy(source.begin(), source.end(), window.begin());
            anyArtifact |= detector.isArtifactedWin(window.data(), 500, false, &quality);
        }
    });
    EXPECT_FALSE(anyArtifact);
    // The records and the quality history are fixed rings and the transform
    // plan is taken at construction: nothing per window.
    EXPECT_EQ(allocations, 0);
}

} // namespace
