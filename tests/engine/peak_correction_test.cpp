// Correction of short peaks: worked windows, then inside the engine.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "support/eeg_signals.h"
#include "support/engine_settings.h"

namespace {

using namespace OviMath::MathLib;
using namespace kalo_test;

// 500 samples of about 5 uV, all distinct; peaks above 30 uV have the 50
// samples either side replaced by what precedes them.
TEST(PeakCorrection, WorkedWindows) {
    struct Moved { int from, to, offset; }; // data[j] takes original[j - offset]
    struct Case { int subWindow; std::vector<std::pair<int, double>> spikes; bool low; std::vector<Moved> moved; };
    const Case cases[] = {
        {50, {{300, 200}}, false, {{250, 350, 100}}},
        {50, {{25, 200}, {125, 200}, {225, 200}, {325, 200}, {425, 200}}, false, {}}, // 5 of 10: no minority
        {50, {{25, 1e12}, {125, 1e12}, {225, 1e12}, {325, 1e12}, {425, 1e12}}, false, {}}, // saturate, and count
        {50, {{30, 200}}, false, {}}, // the stretch is its own source
        {50, {{120, 200}}, false, {{70, 140, 70}, {140, 170, 140}}}, // 140.. read 70.., already holding 0..
        // Two sub-windows: replaced only when no peak counts as exceeding; 30.5 truncates to 30.
        {250, {{300, 30.5}}, false, {{250, 350, 100}}},
        {250, {{300, 31.0}}, false, {}},
        // 100 .. 149 at or below -1 uV: a sub-window without peak, skipped; the pass goes on.
        {50, {{300, 200}}, true, {{250, 350, 100}}},
    };
    for (const Case& c : cases) {
        std::vector<double> original(500);
        for (int i = 0; i < 500; ++i)
            original[i] = c.low && i >= 100 && i < 150 ? -1.0 - i % 2 : 5.0 + 0.001 * i;
        for (const auto& [position, value] : c.spikes)
            original[position] = value;
        std::vector<double> expected = original, data = original;
        for (const Moved& m : c.moved)
            for (int j = m.from; j < m.to; ++j)
                expected[j] = original[j - m.offset];
        std::vector<int> peakPositions(500 / c.subWindow);
        correctShortPeaks(data.data(), peakPositions.data(), PeakGeometry{500, c.subWindow, 50, 30});
        EXPECT_EQ(data, expected) << c.subWindow << " " << c.spikes[0].first << " " << c.spikes[0].second;
    }
}

// Intake corrects each side's newest window on its own, as the free function
// does, and leaves the volt buffer and older samples alone. The left side has
// one spike; the right one in each of five sub-windows, too many to correct.
TEST(PeakCorrectionInEngine, NewestWindowOfEachSideIsCorrectedOnItsOwn) {
    const std::vector<double> left = eegLike(1000, 250.0, 4, 5.0, 2.0), right = eegLike(1000, 250.0, 5, 5.0, 2.0);
    std::vector<_RawChannels> pairs(1000);
    for (std::size_t i = 0; i < pairs.size(); ++i)
        pairs[i] = {left[i] + (i == 600 ? 300 * microvolt : 0.0), right[i] + (i % 100 == 25 ? 300 * microvolt : 0.0)};
    const auto engine = makeEngine(engineSettings(250, 500));
    engine->pushData(pairs.data(), pairs.size());
    std::vector<double> window[2] = {std::vector<double>(500), std::vector<double>(500)};
    for (std::int64_t p = 500; p < 1000; ++p) {
        window[0][p - 500] = engine->voltSamples().at(p).left * 1e6;
        window[1][p - 500] = engine->voltSamples().at(p).right * 1e6;
    }
    std::vector<double> corrected = window[0];
    std::vector<int> peaks(10);
    ASSERT_TRUE(correctShortPeaks(corrected.data(), peaks.data(), PeakGeometry{500, 50, 50, 30}));
    ASSERT_NE(corrected, window[0]);
    ASSERT_FALSE(correctShortPeaks(window[1].data(), peaks.data(), PeakGeometry{500, 50, 50, 30}));
    for (std::int64_t p = 0; p < 1000; ++p) {
        const _RawChannels uv = engine->microvoltSamples().at(p), v = engine->voltSamples().at(p);
        EXPECT_EQ(uv.left, p < 500 ? v.left * 1e6 : corrected[p - 500]) << p;
        EXPECT_EQ(uv.right, v.right * 1e6) << p;
    }
}

// A 2 Hz wave of 0.1 V keeps whole 25-sample sub-windows below -1 uV after
// the high-pass. They have no peak, which is no reason to refuse the samples
// or to hold up the schedule.
TEST(PeakCorrectionInEngine, SubWindowWithoutPeakDoesNotStopIntake) {
    EngineSettings settings = engineSettings(250, 500);
    settings.shortArtifactDetect.peak_win_ms = settings.shortArtifactDetect.peak_area_ms = 100;
    std::vector<_RawChannels> pairs(2000);
    for (std::size_t i = 0; i < pairs.size(); ++i)
        pairs[i].left = pairs[i].right = 0.1 * std::sin(2.0 * std::numbers::pi * 2.0 * i / 250.0);
    const EngineHandle handle = createEngine(settings);
    const auto& engine = *reinterpret_cast<const OviMath::MathLib::MathLib*>(handle.get());
    _OutStatus status{};
    EXPECT_TRUE(MathLibPushData(handle.get(), pairs.data(), pairs.size(), &status)) << status.error_msg;
    int peakless = 0;
    for (std::int64_t first = 1500; first < 2000; first += 25) {
        bool low = true;
        for (std::int64_t p = first; p < first + 25; ++p)
            low &= engine.voltSamples().at(p).left * 1e6 <= -1.0;
        peakless += low;
    }
    ASSERT_GT(peakless, 0);
    EXPECT_EQ(engine.lastSample(), 1999);
    EXPECT_TRUE(MathLibProcessDataArr(handle.get(), &status)) << status.error_msg;
    EXPECT_EQ(engine.windowEnd(), 1990);
}

} // namespace
