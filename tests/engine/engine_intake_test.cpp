// Engine construction, sample intake and the window schedule.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "artifacts/artifacts_math.h"
#include "support/eeg_signals.h"
#include "support/engine_settings.h"

namespace {

using Engine = OviMath::MathLib::MathLib;
using namespace kalo_test;

Engine& engineOf(const EngineHandle& handle) { return *reinterpret_cast<Engine*>(handle.get()); }

// Small enough that, filtered, no peak reaches the 30 uV correction threshold.
// Multichannel samples (2 channels) point into the pairs.
struct Quiet {
    std::vector<_RawChannels> pairs;
    std::vector<_RawChannelsArray> samples;
    explicit Quiet(int n) : pairs(n), samples(n) {
        const std::vector<double> left = eegLike(n, 250.0, 1, 5.0, 2.0), right = eegLike(n, 250.0, 2, 5.0, 2.0);
        for (int i = 0; i < n; ++i)
            pairs[i] = {left[i], right[i]}, samples[i].channels = &pairs[i].left;
    }
};

// Per stored position, oldest first: channel 0 and 1 in microvolts, then in volts.
std::vector<double> stored(const Engine& e) {
    std::vector<double> out;
    for (std::int64_t p = 0; p < static_cast<std::int64_t>(e.channelSampleCount() + e.voltSamples().size()); ++p) {
        const _RawChannels uv = e.microvoltSamples().at(p), v = e.voltSamples().at(p);
        if (e.bipolar())
            out.insert(out.end(), {uv.left, uv.right, v.left, v.right});
        else
            out.insert(out.end(), {e.channelMicrovolts(p, 0), e.channelMicrovolts(p, 1), e.channelVolts(p, 0),
                                   e.channelVolts(p, 1)});
    }
    return out;
}

TEST(EngineConstruction, DerivedSizesAndOneChainAndDetectorPerChannelOrSide) {
    // {rate, window, windowShift, windowEnd, fftSize, peak samples}. With 200 ms
    // peak windows and areas: 1000 / rate drops its remainder, so at 256 and
    // 300 Hz a sample counts as 3 ms.
    for (const auto& c : {std::vector<int>{250, 500, 10, 490, 512, 50}, {256, 256, 10, 246, 256, 66},
                          {300, 300, 12, 288, 512, 66}}) {
        const auto engine = makeEngine(engineSettings(c[0], c[1]));
        const Engine::Geometry g = engine->geometry();
        EXPECT_EQ((std::vector<int>{g.windowShift, static_cast<int>(engine->windowEnd()), g.fftSize,
                                    g.peakWinSamples, g.peakAreaSamples}),
                  (std::vector<int>{c[2], c[3], c[4], c[5], c[5]}));
    }
    const auto engine = makeEngine(engineSettings(250, 500));
    EXPECT_EQ(engine->geometry().binsPerHz, 2.048);
    EXPECT_EQ(engine->geometry().bins50Hz, 102u);
    EXPECT_EQ(engine->geometry().calibrationLength, 200); // 8 s of 25 windows
    for (const auto& [n, size] : {std::pair{31, 32}, {32, 32}, {33, 64}}) // lengths the settings refuse
        EXPECT_EQ(engine->getNearestPow2(n), size) << n;
    // Channel detectors are numbered from 0; bipolar mode has two sides, 1 and 2, whatever channels_number says.
    const auto multichannel = makeEngine(engineSettings(250, 500, false, 4)), bipolar = makeEngine(engineSettings());
    const auto id = [](_ArtifactsMath* d) { return reinterpret_cast<OviMath::Artifacts::ArtifactsMath*>(d)->id(); };
    EXPECT_EQ((std::vector<std::size_t>{multichannel->filterListCount(), multichannel->detectorCount(),
                                        bipolar->filterListCount(), bipolar->detectorCount()}),
              (std::vector<std::size_t>{4, 4, 2, 2}));
    EXPECT_EQ((std::vector<int>{id(multichannel->channelDetector(0)), id(multichannel->channelDetector(3)),
                                id(bipolar->sideDetector(LEFT)), id(bipolar->sideDetector(RIGHT))}),
              (std::vector<int>{0, 3, 1, 2}));
}

TEST(EngineSchedule, AWindowPerShiftOnceASampleLiesBeyondIt) {
    const Quiet quiet(15100);
    std::vector<std::int64_t> ends, counts;
    const auto engine = makeEngine(engineSettings(250, 500));
    engine->setWindowHookForTesting([&](std::int64_t end) { ends.push_back(end); });
    std::size_t pushed = 0;
    for (const std::size_t count : {500, 1, 9, 1}) {
        engine->pushData(&quiet.pairs[pushed], count);
        pushed += count;
        engine->processDataArr();
        counts.push_back(static_cast<std::int64_t>(ends.size()));
    }
    EXPECT_EQ(counts, (std::vector<std::int64_t>{0, 1, 1, 2}));
    EXPECT_EQ(ends, (std::vector<std::int64_t>{500, 510})); // the first covers positions 0 .. 499
    for (std::size_t count = 89; pushed < 15000; pushed += count, count = 100) { // to 600, then by 100
        engine->pushData(&quiet.pairs[pushed], count);
        engine->processDataArr();
    }
    // Full: 100 more samples move every stored one, and the window, 100 back.
    const std::int64_t end = engine->windowEnd();
    const std::size_t windows = ends.size();
    engine->pushData(&quiet.pairs[pushed], 100);
    EXPECT_EQ(engine->windowEnd(), end - 100);
    EXPECT_EQ(engine->lastSample(), BufferSize - 1);
    engine->processDataArr();
    EXPECT_EQ(ends.size() - windows, 10u);
    const std::vector<double> values = stored(*engine);
    for (std::size_t i = 0; i < values.size(); i += 4) // nothing was corrected
        ASSERT_EQ((std::pair{values[i], values[i + 1]}), (std::pair{values[i + 2] * 1e6, values[i + 3] * 1e6})) << i;
    const auto batch = makeEngine(engineSettings(250, 500));
    ends.clear();
    batch->setWindowHookForTesting([&](std::int64_t end) { ends.push_back(end); });
    batch->pushData(quiet.pairs.data(), 1000);
    batch->processDataArr();
    EXPECT_EQ(ends.size(), 50u); // (999 - 490) / 10
    EXPECT_EQ(ends.back(), 990);
}

TEST(EngineIntake, MultichannelWrapDropsTheOldestAndReadsOutsideAreZero) {
    const Quiet quiet(15001);
    const auto engine = makeEngine(engineSettings(250, 500, false, 2));
    engine->pushDataArr(quiet.samples.data(), 15000);
    const std::vector<double> before = stored(*engine);
    engine->pushDataArr(&quiet.samples[15000], 1); // into the first sample's slot
    const std::vector<double> after = stored(*engine);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(after.begin(), after.end() - 4, before.begin() + 4)); // one position older
    EXPECT_NE(after.back(), before.back()); // the newest, at BufferSize - 1
    for (const std::int64_t outside : {std::int64_t{-1}, std::int64_t{BufferSize}})
        EXPECT_EQ((std::vector<double>{engine->channelMicrovolts(outside, 0), engine->channelVolts(outside, 1)}),
                  (std::vector<double>{0.0, 0.0}));
}

TEST(EngineIntake, RefusedBlocksLeaveNoTrace) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    // field 0 / 1: the left / right value (channel 0 / 1); 2: the channel pointer.
    struct Case { bool bipolar, nullArray; int sample, field; double bad; const char* message; };
    const Case cases[] = {{true, true, 0, 0, 0, "Sample array is null"},
                          {true, false, 3, 1, std::numeric_limits<double>::quiet_NaN(), "Sample 3 (right channel)"},
                          {false, true, 0, 0, 0, "Sample array is null"},
                          {false, false, 4, 2, 0, "Sample 4 has no channel array"},
                          {false, false, 6, 1, -inf, "Sample 6 (channel 1)"},
                          // Finite, but enough to overflow a filter's state.
                          {true, false, 2, 0, -1.5e100, "Sample 2 (left channel)"},
                          {false, false, 5, 0, 1e300, "Sample 5 (channel 0)"}};
    for (const Case& c : cases) {
        Quiet spoiled(8), valid(40);
        spoiled.pairs[7].left = inf; // a later offender, not named
        if (c.field == 2)
            spoiled.samples[c.sample].channels = nullptr;
        else
            (c.field == 0 ? spoiled.pairs[c.sample].left : spoiled.pairs[c.sample].right) = c.bad;
        const EngineSettings settings = engineSettings(250, 500, c.bipolar, 2);
        const EngineHandle refused = createEngine(settings), twin = createEngine(settings);
        const auto push = [&](const EngineHandle& e, Quiet& q, bool null, _OutStatus& s) {
            return c.bipolar ? MathLibPushData(e.get(), null ? nullptr : q.pairs.data(), q.pairs.size(), &s)
                             : MathLibPushDataArr(e.get(), null ? nullptr : q.samples.data(), q.pairs.size(), &s);
        };
        _OutStatus status{};
        EXPECT_FALSE(push(refused, spoiled, c.nullArray, status));
        EXPECT_EQ(status.error_code, 1);
        EXPECT_NE(std::string(status.error_msg).find(c.message), std::string::npos) << status.error_msg;
        EXPECT_TRUE(stored(engineOf(refused)).empty()) << c.message;
        // Filter state untouched: the next block comes out as from an engine that never saw the refused one.
        ASSERT_TRUE(push(refused, valid, false, status) && push(twin, valid, false, status));
        const std::vector<double> a = stored(engineOf(refused)), b = stored(engineOf(twin));
        ASSERT_EQ(a.size(), b.size());
        EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0) << c.message;
    }
}

// 1e6 V is 1e12 uV, beyond the 32-bit microvolts that the amplitude tests
// compare, where it saturates (built with -fsanitize=float-cast-overflow, a
// plain conversion would be reported). Such windows are judged, like any
// wild signal, artifacted.
TEST(EngineWindows, HugeSamplesSaturateAndTheSideQueryFollowsTheSchedule) {
    Quiet huge(1500);
    for (std::size_t i = 0; i < huge.pairs.size(); ++i)
        huge.pairs[i] = {i % 2 ? 1e6 : -1e6, i % 3 ? 1e6 : -1e6};
    for (const bool bipolar : {true, false}) {
        const EngineHandle engine = createEngine(engineSettings(250, 500, bipolar, 2));
        _OutStatus status{};
        bool artifacted = false;
        EXPECT_TRUE(MathLibIsArtifactedWin(engine.get(), LEFT, false, &artifacted, &status) && artifacted); // no window
        EXPECT_TRUE(bipolar ? MathLibPushData(engine.get(), huge.pairs.data(), 1500, &status)
                            : MathLibPushDataArr(engine.get(), huge.samples.data(), 1500, &status));
        EXPECT_TRUE(MathLibProcessDataArr(engine.get(), &status)) << status.error_msg;
        EXPECT_EQ(engineOf(engine).instantMentalQueue().size(), 100u); // (1499 - 490) / 10 windows
        EXPECT_TRUE(engineOf(engine).isBothSidesArtifacted()) << bipolar;
        // Side NONE judges nothing; a multichannel engine has no side detectors, and says so.
        EXPECT_EQ(MathLibIsArtifactedWin(engine.get(), bipolar ? NONE : LEFT, false, &artifacted, &status), bipolar);
        EXPECT_EQ(artifacted, !bipolar); // a refused call writes nothing
        EXPECT_EQ(status.error_code, bipolar ? 0 : 1);
        EXPECT_STREQ(status.error_msg, bipolar ? "" : "ArtifactMAthLib pointer is null!");
    }
}

} // namespace
