// Engine construction, sample intake, the window schedule and the correction
// of short peaks.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <numbers>
#include <string>

#include "artifacts/artifacts_math.h"
#include "engine/bipolar_samples.h"
#include "engine/channel_samples.h"
#include "support/eeg_signals.h"
#include "support/engine_drive.h"

namespace {

using namespace kalo_test;
using OviMath::MathLib::correctShortPeaks;
using OviMath::MathLib::PeakGeometry;
using OviMath::MathLib::SampleStore;
using OviMath::MathLib::WindowSchedule;
constexpr double inf = std::numeric_limits<double>::infinity();

// Small enough that, filtered, no peak reaches the 30 uV correction threshold.
Samples quiet(int n) { return Samples(eegLike(n, 250.0, 1, 5.0, 2.0), eegLike(n, 250.0, 2, 5.0, 2.0)); }

// Channel 0 and 1 in microvolts, then in volts, at a position of the buffers.
std::array<double, 4> at(const SampleStore& s, std::int64_t p) {
    return {s.microvolts(p, 0), s.microvolts(p, 1), s.volts(p, 0), s.volts(p, 1)};
}

// Every stored position, oldest first.
std::vector<double> stored(const SampleStore& s) {
    std::vector<double> out;
    for (std::int64_t p = 0; p < static_cast<std::int64_t>(s.size()); ++p) {
        const std::array<double, 4> values = at(s, p);
        out.insert(out.end(), values.begin(), values.end());
    }
    return out;
}

TEST(EngineConstruction, DerivedSizesAndOneChainAndDetectorPerChannelOrSide) {
    // {rate, window, bipolar} -> windowShift, windowEnd, fftSize, peak window and area samples, filter chains
    // (one per stored channel), detectors, and the numbers of the first and last detector: channels count from
    // 0, the two sides are 1 and 2 whatever channels_number says (4 here). With 200 ms peak windows and areas
    // 1000 / rate drops its remainder, so at 256 and 300 Hz a sample counts as 3 ms.
    const struct { int rate, window; bool bipolar; std::vector<int> expected; } cases[] = {
        {250, 500, true, {10, 490, 512, 50, 50, 2, 2, 1, 2}},
        {256, 256, true, {10, 246, 256, 66, 66, 2, 2, 1, 2}},
        {300, 300, false, {12, 288, 512, 66, 66, 4, 4, 0, 3}}};
    const auto id = [](_ArtifactsMath* d) {
        return reinterpret_cast<OviMath::Artifacts::ArtifactsMath*>(d)->geometry().detectorId;
    };
    for (const auto& c : cases) {
        const EngineSettings s = engineSettings(c.rate, c.window, c.bipolar);
        const auto e = makeEngine(s);
        const PeakGeometry peaks = OviMath::MathLib::peakGeometry(s.mathLib, s.shortArtifactDetect);
        const auto& detectors = e->windowDetectors();
        EXPECT_EQ((std::vector<int>{e->windowSchedule().shift(), static_cast<int>(e->windowSchedule().windowEnd()),
                                    e->spectralStep().geometry().fftSize, peaks.subWindow, peaks.area,
                                    static_cast<int>(e->sampleStore().channelCount()),
                                    static_cast<int>(detectors.detectorCount()),
                                    id(c.bipolar ? detectors.sideDetector(LEFT) : detectors.channelDetector(0)),
                                    id(c.bipolar ? detectors.sideDetector(RIGHT) : detectors.channelDetector(3))}),
                  c.expected);
    }
    const auto engine = makeEngine(engineSettings(250, 500));
    EXPECT_EQ(engine->spectralStep().geometry().binsPerHz, 2.048);
    EXPECT_EQ(engine->spectralStep().geometry().bins50Hz, 102u);
    EXPECT_EQ(engine->calibration().windowsToRecord(), 200); // 8 s of 25 windows
    for (const auto& [n, size] : {std::pair{31, 32}, {32, 32}, {33, 64}}) // lengths the settings refuse
        EXPECT_EQ(engine->getNearestPow2(n), size) << n;
}

// In both modes, a sample store and its schedule. Once full, each new
// sample drops the oldest and moves every stored one, and the window, a
// position back. A position outside the stored ones (a window that begins
// before the oldest sample) reads 0 everywhere.
TEST(EngineSchedule, AWindowPerShiftOnceASampleLiesBeyondIt) {
    Samples q = quiet(15100);
    for (const bool bipolar : {true, false}) {
        std::vector<std::int64_t> ends, counts;
        const EngineSettings s = engineSettings(250, 500, bipolar, 2);
        const PeakGeometry peaks = OviMath::MathLib::peakGeometry(s.mathLib, s.shortArtifactDetect);
        WindowSchedule schedule(500, 10);
        std::unique_ptr<SampleStore> store;
        if (bipolar)
            store = std::make_unique<OviMath::MathLib::BipolarSamples>(peaks, schedule);
        else
            store = std::make_unique<OviMath::MathLib::ChannelSamples>(2, peaks, schedule);
        std::size_t pushed = 0;
        const auto push = [&](std::size_t count) {
            bipolar ? store->push(&q.pairs[pushed], count) : store->push(&q.arrays[pushed], count);
            pushed += count;
        };
        const auto process = [&] {
            while (schedule.nextWindow())
                ends.push_back(schedule.windowEnd());
        };
        for (const std::size_t count : {500, 1, 9, 1}) {
            push(count);
            process();
            counts.push_back(std::ssize(ends));
        }
        EXPECT_EQ(counts, (std::vector<std::int64_t>{0, 1, 1, 2}));
        EXPECT_EQ(ends, (std::vector<std::int64_t>{500, 510})); // the first covers positions 0 .. 499
        push(89); // to 600, then by 100
        process();
        while (pushed < 15000) {
            push(100);
            process();
        }
        const std::int64_t end = schedule.windowEnd();
        const std::size_t windows = ends.size();
        const std::vector<double> before = stored(*store);
        push(100);
        EXPECT_EQ(schedule.windowEnd(), end - 100);
        EXPECT_EQ(schedule.lastSample(), BufferSize - 1);
        process();
        EXPECT_EQ(ends.size() - windows, 10u);
        const std::vector<double> after = stored(*store);
        ASSERT_EQ(after.size(), before.size());
        EXPECT_TRUE(std::equal(after.begin(), after.end() - 400, before.begin() + 400)); // 100 positions older
        EXPECT_NE(after.back(), before.back());
        for (std::size_t i = 0; i < after.size(); i += 4) // nothing was corrected: each mode's volts from microvolts
            ASSERT_TRUE(bipolar ? after[i] == after[i + 2] * 1e6 && after[i + 1] == after[i + 3] * 1e6
                                : after[i + 2] == after[i] / 1e6 && after[i + 3] == after[i + 1] / 1e6) << i;
        for (const std::int64_t outside : {std::int64_t{-1}, std::int64_t{BufferSize}})
            EXPECT_EQ(at(*store, outside), (std::array<double, 4>{}));
    }
}

TEST(EngineIntake, RefusedBlocksLeaveNoTrace) {
    // field 0 / 1: the left / right value (channel 0 / 1); 2: the channel pointer.
    struct Case { bool bipolar, nullArray; int sample, field; double bad; const char* message; };
    const Case cases[] = {{true, true, 0, 0, 0, "Sample array is null"},
                          {true, false, 3, 1, std::numeric_limits<double>::quiet_NaN(), "Sample 3 (right channel)"},
                          {false, true, 0, 0, 0, "Sample array is null"},
                          {false, false, 4, 2, 0, "Sample 4 has no channel array"},
                          {false, false, 6, 1, -inf, "Sample 6 (channel 1)"},
                          // Finite, but enough to overflow a filter's state.
                          {true, false, 2, 0, -1.5e100, "Sample 2 (left channel)"},
                          {false, false, 5, 0, 1e300, "Sample 5 (channel 0)"},
                          {false, false, 7, 0, inf, "Sample 7 (channel 0)"}}; // the last sample, alone
    for (const Case& c : cases) {
        Samples spoiled = quiet(8), valid = quiet(40);
        spoiled.pairs[7].left = inf; // a later offender, not named (but in the last case)
        if (c.field == 2)
            spoiled.arrays[c.sample].channels = nullptr;
        else
            (c.field == 0 ? spoiled.pairs[c.sample].left : spoiled.pairs[c.sample].right) = c.bad;
        const EngineSettings settings = engineSettings(250, 500, c.bipolar, 2);
        const EngineHandle refused = createEngine(settings), twin = createEngine(settings);
        _OutStatus status{};
        EXPECT_FALSE(c.nullArray ? c.bipolar ? MathLibPushData(refused.get(), nullptr, 8, &status)
                                             : MathLibPushDataArr(refused.get(), nullptr, 8, &status)
                                 : push(refused.get(), c.bipolar, spoiled, 0, 8, &status));
        EXPECT_EQ(status.error_code, 1);
        EXPECT_NE(std::string(status.error_msg).find(c.message), std::string::npos) << status.error_msg;
        EXPECT_TRUE(stored(engineOf(refused.get()).sampleStore()).empty()) << c.message;
        // Filter state untouched: the next block comes out as from an engine that never saw the refused one.
        ASSERT_TRUE(push(refused.get(), c.bipolar, valid, 0, 40, &status) &&
                    push(twin.get(), c.bipolar, valid, 0, 40, &status));
        EXPECT_TRUE(same(stored(engineOf(refused.get()).sampleStore()), stored(engineOf(twin.get()).sampleStore())))
            << c.message;
    }
}

// 1e6 V is 1e12 uV, beyond the 32-bit microvolts that the amplitude tests
// compare, where it saturates (built with -fsanitize=float-cast-overflow, a
// plain conversion would be reported). Such windows are judged, like any
// wild signal, artifacted.
TEST(EngineWindows, HugeSamplesSaturateAndTheSideQueryFollowsTheSchedule) {
    std::vector<double> left(1500), right(1500);
    for (std::size_t i = 0; i < left.size(); ++i)
        left[i] = i % 2 ? 1e6 : -1e6, right[i] = i % 3 ? 1e6 : -1e6;
    Samples huge(left, right);
    for (const bool bipolar : {true, false}) {
        const EngineHandle engine = createEngine(engineSettings(250, 500, bipolar, 2));
        _OutStatus status{};
        bool artifacted = false;
        EXPECT_TRUE(MathLibIsArtifactedWin(engine.get(), LEFT, false, &artifacted, &status) && artifacted); // no window
        EXPECT_TRUE(push(engine.get(), bipolar, huge, 0, 1500, &status));
        EXPECT_TRUE(MathLibProcessDataArr(engine.get(), &status)) << status.error_msg;
        EXPECT_EQ(engineOf(engine.get()).mentalEstimator().instantQueue().size(), 100u); // (1499 - 490) / 10 windows
        EXPECT_TRUE(engineOf(engine.get()).isBothSidesArtifacted()) << bipolar;
        // Side NONE judges nothing; a multichannel engine has no side detectors, and says so.
        EXPECT_EQ(MathLibIsArtifactedWin(engine.get(), bipolar ? NONE : LEFT, false, &artifacted, &status), bipolar);
        EXPECT_EQ(artifacted, !bipolar); // a refused call writes nothing
        EXPECT_EQ(status.error_code, bipolar ? 0 : 1);
        EXPECT_STREQ(status.error_msg, bipolar ? "" : "ArtifactMAthLib pointer is null!");
    }
}

// 500 samples of about 5 uV, all distinct; peaks above 30 uV have the 50
// samples either side replaced by what precedes them.
TEST(PeakCorrection, WorkedWindows) {
    struct Moved { int from, to, offset; }; // data[j] takes original[j - offset]
    struct Case { int subWindow; std::vector<std::pair<int, double>> spikes; bool low; std::vector<Moved> moved; };
    const Case cases[] = {
        {50, {{300, 200}}, false, {{250, 350, 100}}},
        {50, {{25, 200}, {125, 200}, {225, 200}, {325, 200}, {425, 200}}, false, {}}, // 5 of 10: no minority
        {50, {{25, 1e12}, {125, 1e12}, {225, 1e12}, {325, 1e12}, {425, 1e12}}, false, {}}, // saturate, and count
        {50, {{300, 200}, {310, 200}}, false, {{250, 350, 100}}}, // the first of equal peaks
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
// does, and leaves the volt buffer and older samples alone. Spiked: one spike
// on the left; on the right one in each of five sub-windows, too many to
// correct. Then a 2 Hz wave of 0.1 V with 100 ms peak windows, which keeps
// whole 25-sample sub-windows below -1 uV after the high-pass: they have no
// peak, which is no reason to refuse the samples or to hold up the schedule.
TEST(PeakCorrectionInEngine, NewestWindowOfEachSideIsCorrectedOnItsOwn) {
    std::vector<double> left = eegLike(2000, 250.0, 4, 5.0, 2.0), right = eegLike(2000, 250.0, 5, 5.0, 2.0), wave(2000);
    for (std::size_t i = 0; i < wave.size(); ++i) {
        left[i] += i == 1600 ? 300 * microvolt : 0.0, right[i] += i % 100 == 25 ? 300 * microvolt : 0.0;
        wave[i] = 0.1 * std::sin(2.0 * std::numbers::pi * 2.0 * i / 250.0);
    }
    for (const bool spiked : {true, false}) {
        EngineSettings settings = engineSettings(250, 500);
        const int ms = spiked ? 200 : 100, subWindow = ms / 4; // 4 ms a sample
        settings.shortArtifactDetect.peak_win_ms = settings.shortArtifactDetect.peak_area_ms = ms;
        Samples samples(spiked ? left : wave, spiked ? right : wave);
        const EngineHandle handle = createEngine(settings);
        const Engine& engine = engineOf(handle.get());
        _OutStatus status{};
        EXPECT_TRUE(push(handle.get(), true, samples, 0, 2000, &status)) << status.error_msg;
        std::array<std::vector<double>, 2> window, corrected;
        for (std::int64_t p = 1500; p < 2000; ++p) {
            window[0].push_back(engine.sampleStore().volts(p, 0) * 1e6);
            window[1].push_back(engine.sampleStore().volts(p, 1) * 1e6);
        }
        std::array<bool, 2> changed{};
        std::vector<int> peaks(20);
        for (int side = 0; side < 2; ++side) {
            corrected[side] = window[side];
            changed[side] = correctShortPeaks(corrected[side].data(), peaks.data(), {500, subWindow, subWindow, 30});
        }
        for (std::int64_t p = 0; p < 2000; ++p) {
            const SampleStore& store = engine.sampleStore();
            ASSERT_EQ(store.microvolts(p, 0), p < 1500 ? store.volts(p, 0) * 1e6 : corrected[0][p - 1500]) << p;
            ASSERT_EQ(store.microvolts(p, 1), p < 1500 ? store.volts(p, 1) * 1e6 : corrected[1][p - 1500]) << p;
        }
        int peakless = 0;
        for (std::size_t first = 0; first < 500; first += 25)
            peakless += std::all_of(&window[0][first], &window[0][first] + 25, [](double uv) { return uv <= -1.0; });
        if (spiked)
            EXPECT_TRUE(changed[0] && corrected[0] != window[0] && !changed[1]);
        else
            EXPECT_GT(peakless, 0);
        EXPECT_EQ(engine.windowSchedule().lastSample(), 1999);
        EXPECT_TRUE(MathLibProcessDataArr(handle.get(), &status)) << status.error_msg;
        EXPECT_EQ(engine.windowSchedule().windowEnd(), 1990);
    }
}

} // namespace
