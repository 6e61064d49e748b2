// Calibration (progress, result, which windows count, changes of length) and
// the mental levels (worked values, the all-zero start, the smoothing).

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "support/eeg_signals.h"
#include "support/engine_settings.h"

namespace {

using namespace kalo_test;
using Engine = OviMath::MathLib::MathLib;

const std::vector<double> eeg = eegLike(10000, 250.0, 5); // the right side is a later stretch

// Pushes n samples, times `scale` (0: the electrodes are off). Unless the
// whole driver runs, each due window is analysed on the left side, as the
// driver does on clean signal without a priority side, with no detector.
void push(Engine& e, int n, bool driver = false, double scale = 1.0) {
    if (!driver)
        e.setWindowHookForTesting([&e](std::int64_t) { e.processData(LEFT); });
    std::vector<_RawChannels> pairs;
    for (std::size_t i = e.microvoltSamples().size(), end = i + n; i < end; ++i)
        pairs.push_back({eeg[i] * scale, eeg[i + 5000] * scale});
    e.pushData(pairs.data(), pairs.size());
    e.processDataArr();
}

TEST(Calibration, ProgressResultRestartsChangesOfLengthAndRefusals) {
    auto e = makeEngine(engineSettings()); // 25 windows a second, eight seconds by default
    auto* handle = reinterpret_cast<MathLib*>(e.get()); // the C handle is the engine itself
    _OutStatus status{};
    // Refused (INT_MAX / 25 + 1 s is the shortest whose windows leave 32 bits);
    // the 200 windows below show the length in force stayed.
    for (int seconds : {0, -1, INT_MIN, INT_MAX / 25 + 1, INT_MAX}) {
        EXPECT_FALSE(MathLibSetCallibrationLength(handle, seconds, &status)) << seconds;
        EXPECT_EQ(status.error_code, 1);
    }
    push(*e, 510);
    // Coefficients equal to this window's alpha and beta shares make its
    // normalised alpha and beta equal; the same window is analysed throughout.
    e->setSpectNormalizationByBandsWidth(false);
    e->processData(LEFT);
    const _SpectralDataPercents first = e->currentSpectraValues();
    e->setSpectNormalizationByCoeffs(true);
    e->setWeightsForSpectra({1.0, 1.0, first.alpha, first.beta, 1.0});
    e->startCalibration();
    e->startCalibration(); // as once; also at window 100, where it goes on
    for (int n = 1; n <= 200; ++n) {
        if (n == 100)
            e->startCalibration();
        e->processData(LEFT);
        EXPECT_EQ(e->getCallibrationPercents(), n / 2) << n; // 0, 1, ... 50 at the 100th, 100 at the end
        ASSERT_EQ(e->isCalibrationFinished(), n == 200) << n;
    }
    EXPECT_NEAR(e->calibratedShareValues().alpha, 0.5, 1e-12);
    EXPECT_NEAR(e->calibratedShareValues().beta, 0.5, 1e-12);
    // Shortened below the windows recorded (25 < 30), a calibration runs on
    // without a result until raised again (50), with a new, empty store: the
    // shares of its last 20 windows, each adding up to 1, over 50 entries.
    e->setCallibrationLength(2);
    e->startCalibration();
    for (int n = 1; n <= 60; ++n) {
        if (n == 31 || n == 41)
            e->setCallibrationLength(n == 31 ? 1 : 2);
        e->processData(LEFT);
        EXPECT_EQ(e->getCallibrationPercents(), n <= 30 ? 2 * n : n <= 40 ? 60 : 2 * (n - 10)) << n;
        const _RawSpectVals shares = e->calibratedShareValues();
        EXPECT_NEAR(shares.alpha + shares.beta, n < 60 ? 1.0 : 0.4, 1e-12) << n;
    }
}

TEST(Calibration, ArtifactedWindowsDoNotAdvanceIt) {
    auto e = makeEngine(engineSettings()); // the whole driver, detectors included
    e->setCallibrationLength(4);            // 100 windows: each one counted adds 1 %
    push(*e, 1350, true);                   // 4 s of start-up, then 10 windows uncalibrated
    e->startCalibration();
    int artifacted = 0;
    for (int i = 0; i < 110; ++i) { // 10 clean windows, then the electrodes come off
        const int was = e->getCallibrationPercents();
        push(*e, 10, true, i < 10 ? 1.0 : 0.0);
        artifacted += e->isBothSidesArtifacted();
        EXPECT_EQ(e->getCallibrationPercents() == was, e->isBothSidesArtifacted()) << i; // else one more
    }
    EXPECT_GT(artifacted, 50);
}

// Attention follows the beta share, relaxation the alpha share: relative to
// calibrated shares up to 0.85 and 0.95 (not clamped); instantaneously as
// the shares in percent or, in the alternative mode, as 1 - alpha/beta and
// alpha / (2 theta + beta), clamped to 0..100.
TEST(MentalLevels, WorkedValuesInBothModes) {
    // alpha, beta, theta means; both calibrated shares; mode; the four levels
    const std::array<double, 9> cases[] = {
        {0.15, 0.85, 0, 0.5, 0, 100, 0, 85, 15},
        {0.4, 0.6, 0, 0.5, 0, 100 * 0.1 / 0.35, 0, 60, 40},
        {0.6, 0.4, 0, 0.5, 0, 0, 100 * 0.1 / 0.45, 40, 60},
        {0.95, 0.05, 0, 0.5, 0, 0, 100, 5, 95},
        {1, 0, 0, 0.5, 0, 0, 100 * 0.5 / 0.45, 0, 100},
        {3, 1, 2, 0, 0, 0, 0, 25, 75}, // no calibration yet
        {0, 0, 2, 0.5, 0, 0, 0, 0, 0}, // no alpha or beta at all
        {2, 2, 1, 0, 1, 0, 0, 0, 50},
        {3, 1, 2, 0, 1, 0, 0, 0, 60}, // 1 - 3 clamped to 0
        {0, 2, 1, 0, 1, 0, 0, 100, 0},
        {2, 1, 0, 0, 1, 0, 0, 0, 100}, // 200 clamped to 100
        {1, 1, 0, 0.5, 1, 0, 0, 0, 100},
        {1, 0, 1, 0, 1, 0, 0, 0, 50}, // no beta: no attention
    };
    for (const auto& c : cases) {
        const _MindData m = OviMath::MathLib::mentalLevels(c[0], c[1], c[2], {c[3], c[3]}, c[4] != 0);
        const std::array levels{m.rel_attention, m.rel_relaxation, m.inst_attention, m.inst_relaxation};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(levels[i], c[5 + i], 1e-9) << c[0] << " " << c[1] << " " << c[2] << " " << c[4] << " " << i;
    }
}

// Levels are all zero while fewer than K windows exist, whatever the signal
// (K = 50 at 25 windows a second and two-second estimates); the published
// record is the mean of the H newest (H = 2 at 5 windows a second).
TEST(MentalLevels, ZeroUntilKWindowsAndPublishedAsTheMeanOfTheNewestH) {
    for (auto [rate, seconds, k, h] : {std::array{25, 2, 50, 12}, std::array{5, 1, 5, 2}}) {
        EngineSettings s = engineSettings();
        s.mathLib.process_win_freq = rate;
        s.mentalAndSpectral.mental_estimation_sec = seconds;
        auto e = makeEngine(s);
        push(*e, 500);
        for (int n = 1; n <= k + 20; ++n) {
            push(*e, 250 / rate);
            const _MindData now = e->currentMindValues();
            EXPECT_EQ(now.inst_attention + now.inst_relaxation > 99.0, n >= k) << n; // the shares in percent
            _MindData sum{}, published{};
            for (int i = n - h; i < n; ++i) {
                const _MindData& r = e->instantMentalQueue().at(i);
                sum = {sum.rel_attention + r.rel_attention, sum.rel_relaxation + r.rel_relaxation,
                       sum.inst_attention + r.inst_attention, sum.inst_relaxation + r.inst_relaxation};
            }
            int count = 1;
            e->readMentalValsArr(&published, count);
            const _MindData mean = n < h ? now // until there are H, the window's own
                                         : _MindData{sum.rel_attention / h, sum.rel_relaxation / h,
                                                     sum.inst_attention / h, sum.inst_relaxation / h};
            EXPECT_EQ(std::memcmp(&published, &mean, sizeof mean), 0) << rate << " " << n;
        }
    }
}

} // namespace
