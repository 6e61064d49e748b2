// Heap use of the engine once built, and when building it runs out of
// memory. Replaces the global allocation functions: an executable of its own.

#include <gtest/gtest.h>

#include <vector>

#include "support/counting_allocator.h"
#include "support/eeg_signals.h"
#include "support/engine_drive.h"

namespace {

using namespace kalo_test;

TEST(EngineAllocations, NothingOnceBuiltButTheFirstMultichannelSlots) {
    // EEG, flat (electrode off) for 1.6 s of every 4: clean and artifacted windows.
    std::vector<double> eeg = eegLike(20000, 250.0, 7);
    for (std::size_t i = 0; i < eeg.size(); ++i)
        eeg[i] = i % 1000 < 600 ? eeg[i] : 0.0;
    Samples samples(eeg, eeg);
    for (const bool bipolar : {true, false}) {
        const auto engine = makeEngine(engineSettings(250, 500, bipolar, 2));
        bool clean = false, artifacted = false;
        const auto run = [&](std::size_t first, std::size_t last, bool process) {
            return allocations::during([&] {
                for (std::size_t i = first; i < last; i += 25) {
                    bipolar ? engine->pushData(&samples.pairs[i], 25) : engine->pushDataArr(&samples.arrays[i], 25);
                    if (process)
                        engine->processDataArr(), (engine->isBothSidesArtifacted() ? artifacted : clean) = true;
                }
            });
        };
        EXPECT_EQ(run(0, 15000, false) > 0, !bipolar); // multichannel slots get their arrays as the buffers fill
        engine->startCalibration();
        EXPECT_EQ(run(15000, 20000, true), 0) << bipolar; // intake and every window step
        EXPECT_TRUE(clean && artifacted) << bipolar;
        EXPECT_GT(engine->getCallibrationPercents(), 0) << bipolar;
    }
}

// The k-th allocation of construction fails, for every k in turn: each
// failed attempt reports 1002 and gives back all it took (the sanitizer
// build checks for leaks at exit as well). Then 1000 engines built and freed.
TEST(EngineAllocations, FailedConstructionReleasesEverything) {
    for (const bool bipolar : {true, false}) {
        const EngineSettings s = engineSettings(250, 500, bipolar, 2);
        createEngine(s); // builds what the library makes once
        long failures = 0;
        for (long k = 1;; ++k) {
            _OutStatus status{};
            MathLib* engine = nullptr;
            allocations::failAt = k;
            const long attempted = allocations::during([&] { engine = createEngine(s, &status).release(); });
            allocations::failAt = 0;
            // A success either failed nothing or met a failure absorbed where
            // allowed (shrink_to_fit is only a request).
            EXPECT_TRUE(engine != nullptr || (status.error_code == 1002 && allocations::live.load() == 0)) << k;
            failures += engine == nullptr;
            freeMathLib(engine, &status);
            if (engine != nullptr && attempted < k)
                break; // no allocation left to fail
        }
        EXPECT_GT(failures, 100);
        allocations::during([&] {
            for (int i = 0; i < 1000; ++i)
                createEngine(s);
        });
        EXPECT_EQ(allocations::live.load(), 0);
    }
}

} // namespace
