// The artifact detector: geometry, tuning, the window decision and its
// records, on constructed windows and on signals a user would recognise.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "artifacts/artifacts_math.h"
#include "artifacts/artifacts_setting.h"
#include "filters/t_filter.h"
#include "filters/t_filter_list.h"
#include "support/eeg_signals.h"

namespace {

using OviMath::Artifacts::ArtifactsMath;
using OviMath::Artifacts::Resistance;
using OviMath::Artifacts::Types::_ArtifactInfo;
using OviMath::Artifacts::Types::_ArtifactSetting;
using namespace kalo_test;

constexpr double rate = 250.0;

// Judges one window; returns the verdict and stores the quality.
struct Judge {
    ArtifactsMath& detector;
    int quality = -1;
    bool operator()(std::vector<double> window) {
        return detector.isArtifactedWin(window.data(), static_cast<int>(window.size()), false, &quality);
    }
};

std::vector<double> constant(int n, double volts) { return std::vector<double>(n, volts); }

bool sameRecord(const _ArtifactInfo& a, const _ArtifactInfo& b) {
    return a.position == b.position && a.is_start == b.is_start && a.type == b.type;
}

TEST(ArtifactsMath, GeometryFollowsTheSettings) {
    ArtifactsMath second(1, {250, 25, 1000});
    EXPECT_EQ(second.geometry().step, 10);
    EXPECT_EQ(second.geometry().fftSize, 1024);
    EXPECT_EQ(second.geometry().binsPerHz, 4.096);
    EXPECT_EQ(second.geometry().spectrumBins, 204u);

    ArtifactsMath half(2, {250, 25, 500});
    EXPECT_EQ(half.geometry().fftSize, 512);
    EXPECT_EQ(half.geometry().spectrumBins, 102u);
}

TEST(ArtifactsMath, TransformLengthIsTheSmallestPowerOfTwoFrom32NotBelowTheWindow) {
    ArtifactsMath detector(0, {250, 25, 250});
    EXPECT_EQ(detector.getNearestPow2(10), 32);
    EXPECT_EQ(detector.getNearestPow2(32), 32);
    EXPECT_EQ(detector.getNearestPow2(33), 64);
    EXPECT_EQ(detector.getNearestPow2(1024), 1024);
    EXPECT_EQ(detector.getNearestPow2(1025), 2048);
    EXPECT_EQ(detector.getNearestPow2(131072), 131072);
    // 262144 lies 100000 or more above: no candidate, the length stays.
    EXPECT_EQ(detector.getNearestPow2(131073), 131072);
}

TEST(ArtifactsMath, SettingsValidationBoundaries) {
    using OviMath::Artifacts::Settings::checkArtifactsMathLibSetting;
    auto valid = [](_ArtifactSetting s) { return checkArtifactsMathLibSetting(&s); };
    EXPECT_TRUE(valid({250, 5, 250}));
    EXPECT_TRUE(valid({250, 25, 2000}));
    EXPECT_FALSE(valid({250, 4, 250}));
    EXPECT_FALSE(valid({250, 26, 250}));
    EXPECT_FALSE(valid({250, 25, 249}));
    EXPECT_FALSE(valid({250, 25, 2001}));
    // Below 50 Hz the 0-50 Hz bins would not fit the transform; 0 would divide by zero.
    EXPECT_TRUE(valid({50, 25, 50}));
    EXPECT_FALSE(valid({49, 25, 49}));
    EXPECT_FALSE(valid({0, 25, 0}));
    // Beyond 131072 samples no transform length exists.
    EXPECT_TRUE(valid({20000, 25, 131072}));
    EXPECT_FALSE(valid({20000, 25, 131073}));
    EXPECT_FALSE(checkArtifactsMathLibSetting(nullptr));

    const auto status = OviMath::Artifacts::Settings::checkSettingArtifactsSetting(nullptr);
    EXPECT_EQ(status.error_code, 1);
    EXPECT_STREQ(status.error_msg, "Wrong settings for ArtifactSetting!");
}

TEST(ArtifactsMath, FreshDetectorHasNoArtifact) {
    ArtifactsMath detector(7, {250, 25, 500});
    EXPECT_EQ(detector.geometry().detectorId, 7);
    EXPECT_TRUE(sameRecord(detector.currentArtifact(), {-1, true, 0}));
    EXPECT_TRUE(detector.artifactRecords().empty());
    EXPECT_EQ(detector.filterCount(), 0u);
}

// The chain is observed through what it does to a window: the same samples
// through a list built by hand from the expected filters.
void expectChain(int mains, Resistance resistance, const std::vector<const char*>& texts) {
    ArtifactsMath detector(0, {250, 25, 250});
    detector.initFilters(mains, resistance);
    EXPECT_EQ(detector.filterCount(), texts.size());

    Filters::Impl::TFilterList expected;
    for (const char* text : texts) {
        Filters::Impl::TFilter filter(text);
        expected.AddFilter(&filter);
    }
    for (unsigned seed = 1; seed <= 2; ++seed) { // the chain's state carries over windows
        std::vector<double> window = eegLike(250, rate, seed);
        std::vector<double> reference = window;
        int quality = 0;
        detector.isArtifactedWin(window.data(), 250, false, &quality);
        expected.Filter(reference.data(), 250);
        EXPECT_EQ(window, reference);
    }
}

TEST(ArtifactsMath, InputChainsForMainsAndResistance) {
    using namespace OviMath::Types;
    expectChain(50, Resistance::Off, {K_bs_45_55_4, K_hp_10_Cheb3, K_lp_30});
    expectChain(60, Resistance::On, {K_bs_55_65, K_bs_62, K_hp_10_Cheb3, K_lp_30});
    expectChain(55, Resistance::On, {K_bs_62, K_hp_10_Cheb3, K_lp_30});
}

TEST(ArtifactsMath, AllZeroWindowIsAnAmplitudeArtifact) {
    ArtifactsMath detector(0, {250, 25, 500});
    Judge judge{detector};
    EXPECT_TRUE(judge(constant(500, 0.0)));
    EXPECT_TRUE(sameRecord(detector.currentArtifact(), {10, true, 1}));
}

TEST(ArtifactsMath, EmptyWindowIsASpectralArtifactInEitherMode) {
    for (bool totalPowerMode : {false, true}) {
        ArtifactsMath detector(0, {250, 25, 500});
        if (totalPowerMode)
            detector.setArtifactDetectByTotalPower(30000000);
        int quality = -1;
        EXPECT_TRUE(detector.isArtifactedWin(nullptr, 0, false, &quality));
        EXPECT_EQ(detector.currentArtifact().type, 2);
        EXPECT_EQ(quality, 0);
        EXPECT_EQ(detector.powers().total, 0.0);
    }
}

TEST(ArtifactsMath, NegativeCountCountsAsNoSamples) {
    ArtifactsMath detector(0, {250, 25, 500});
    std::vector<double> window = eegLike(500, rate, 3);
    const std::vector<double> before = window;
    int quality = -1;
    EXPECT_TRUE(detector.isArtifactedWin(window.data(), -5, false, &quality));
    EXPECT_EQ(detector.currentArtifact().type, 2); // like an empty window
    EXPECT_EQ(window, before);
}

TEST(ArtifactsMath, ThresholdBoundarySamples) {
    // Every sample at exactly the threshold (70 uV) is no bad sample but is
    // left out of the spectrum: total power 0, a spectral artifact.
    ArtifactsMath atThreshold(0, {250, 25, 500});
    atThreshold.initArtifactDetect(70, 800000, 50, 100);
    atThreshold.setArtifactDetectByTotalPower(2000000000);
    Judge judge{atThreshold};
    EXPECT_TRUE(judge(constant(500, 70.5 * microvolt)));
    EXPECT_EQ(atThreshold.currentArtifact().type, 2);
    EXPECT_EQ(atThreshold.powers().total, 0.0);

    // One microvolt less enters the spectrum and the window is clean.
    ArtifactsMath below(0, {250, 25, 500});
    below.initArtifactDetect(70, 800000, 50, 100);
    below.setArtifactDetectByTotalPower(2000000000);
    Judge judgeBelow{below};
    EXPECT_FALSE(judgeBelow(constant(500, 69.5 * microvolt)));
    EXPECT_GT(below.powers().total, 0.0);

    // 2 uV is too flat: every sample bad.
    ArtifactsMath flat(0, {250, 25, 500});
    flat.initArtifactDetect(70, 800000, 50, 100);
    Judge judgeFlat{flat};
    EXPECT_TRUE(judgeFlat(constant(500, 2.5 * microvolt)));
    EXPECT_EQ(flat.currentArtifact().type, 1);
}

TEST(ArtifactsMath, BadSampleLimitIsAPercentageOfTheWindow) {
    for (int badCount : {100, 101}) {
        ArtifactsMath detector(0, {250, 25, 1000});
        detector.initArtifactDetect(150, 800000, 10, 100);
        detector.setArtifactDetectByTotalPower(2000000000); // spectral test quiet
        std::vector<double> window = eegLike(1000, rate, 5, 40.0, 2.0);
        for (auto& x : window) // keep every other sample clear of the flat band
            x = std::copysign(std::max(std::abs(x), 5.0 * microvolt), x);
        for (int i = 0; i < badCount; ++i)
            window[i * 9] = 0.0;
        Judge judge{detector};
        EXPECT_EQ(judge(window), badCount == 101) << badCount << " bad samples";
    }
}

TEST(ArtifactsMath, RecordsTheStartAndEndOfAnArtifact) {
    ArtifactsMath detector(0, {250, 25, 250});
    detector.initArtifactDetect(70, 800000, 20, 100);
    detector.setArtifactDetectByTotalPower(2000000000);
    Judge judge{detector};
    EXPECT_FALSE(judge(eegLike(250, rate, 1)));                // clean, position 10
    EXPECT_TRUE(judge(constant(250, 0.0)));                   // amplitude, position 20
    EXPECT_TRUE(judge(constant(250, 70.5 * microvolt)));      // spectral, position 30
    EXPECT_FALSE(judge(eegLike(250, rate, 2)));                // clean, position 40
    const auto& records = detector.artifactRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(sameRecord(records.at(0), {20, true, 1}));
    EXPECT_TRUE(sameRecord(records.at(1), {40, false, 1}));
    EXPECT_TRUE(sameRecord(detector.currentArtifact(), {-1, false, 0}));
}

TEST(ArtifactsMath, ResetArtifactLocationForcesTheCleanStateWithoutAnEndRecord) {
    ArtifactsMath detector(0, {250, 25, 250});
    Judge judge{detector};
    judge(constant(250, 0.0));
    detector.resetArtifactLocation();
    EXPECT_TRUE(sameRecord(detector.currentArtifact(), {-1, true, 0}));
    EXPECT_EQ(detector.artifactRecords().size(), 1u);
}

TEST(ArtifactsMath, QualityAveragesTheRecentPowerScores) {
    ArtifactsMath detector(0, {250, 25, 250});
    detector.setArtifactDetectByTotalPower(2000000000);
    Judge judge{detector};
    judge(eegLike(250, rate, 1)); // score 1
    EXPECT_EQ(judge.quality, 100);
    judge(constant(250, 0.0)); // total power below 100: score 0
    EXPECT_EQ(judge.quality, 50);
}

TEST(ArtifactsMath, QualityHistoryKeepsItsLength) {
    ArtifactsMath detector(0, {250, 25, 250});
    detector.initArtifactDetect(150, 50000, 10, 3);
    detector.setArtifactDetectByTotalPower(2000000000);
    Judge judge{detector};
    judge(constant(250, 0.0)); // 0
    judge(eegLike(250, rate, 1)); // 1
    judge(eegLike(250, rate, 2)); // 1
    EXPECT_EQ(judge.quality, 67); // round(100 * 2/3)
    judge(eegLike(250, rate, 3)); // pushes out the first score
    EXPECT_EQ(judge.quality, 100);
}

TEST(ArtifactsMath, AHistoryLengthBelowOneKeepsOnlyTheNewestScore) {
    ArtifactsMath detector(0, {250, 25, 250});
    detector.initArtifactDetect(150, 50000, 10, 0);
    detector.setArtifactDetectByTotalPower(2000000000);
    Judge judge{detector};
    judge(eegLike(250, rate, 1));
    EXPECT_EQ(judge.quality, 100);
    judge(constant(250, 0.0));
    EXPECT_EQ(judge.quality, 0);
}

TEST(ArtifactsMath, RecordsAreTrimmedToTheWindowLength) {
    ArtifactsMath detector(0, {250, 25, 250});
    detector.initArtifactDetect(70, 800000, 20, 100);
    detector.setArtifactDetectByTotalPower(2000000000);
    Judge judge{detector};
    for (int i = 0; i < 126; ++i) { // 252 starts and ends
        judge(constant(250, 0.0));
        judge(eegLike(250, rate, 1));
    }
    const auto& records = detector.artifactRecords();
    ASSERT_EQ(records.size(), 250u);
    EXPECT_TRUE(sameRecord(records.at(0), {30, true, 1})); // the two oldest are gone
    EXPECT_TRUE(sameRecord(records.newest(), {2520, false, 1}));
}

TEST(ArtifactsMath, OnlyTheWindowLengthEntersTheSpectrumButAllSamplesAreTested) {
    ArtifactsMath longer(0, {250, 25, 250});
    ArtifactsMath exact(0, {250, 25, 250});
    longer.setArtifactDetectByTotalPower(2000000000);
    exact.setArtifactDetectByTotalPower(2000000000);
    std::vector<double> window = eegLike(250, rate, 4, 40.0, 2.0);
    for (auto& x : window) // no flat samples inside the window
        x = std::copysign(std::max(std::abs(x), 5.0 * microvolt), x);
    std::vector<double> extended = window;
    extended.resize(400, 0.0); // 150 flat samples past the window
    int quality = 0;
    EXPECT_FALSE(exact.isArtifactedWin(window.data(), 250, false, &quality));
    // The flat tail is tested for amplitude (37.5 % bad > 10 %) ...
    EXPECT_TRUE(longer.isArtifactedWin(extended.data(), 400, false, &quality));
    EXPECT_EQ(longer.currentArtifact().type, 1);
    // ... but the spectrum is that of the first 250 samples only.
    EXPECT_EQ(longer.powers().total, exact.powers().total);
}

// Total power of a window computed from its definition: a direct DFT of the
// weighted, zero-padded window; the detector's transform must agree.
double directTotalPower(const std::vector<double>& window, int fftSize, unsigned bins, double (*weight)(int, int)) {
    double total = 0.0;
    const int m = static_cast<int>(window.size());
    for (unsigned k = 0; k < bins; ++k) {
        std::complex<double> x = 0.0;
        for (int i = 0; i < m; ++i)
            x += window[i] * 1e6 * weight(i, m) * std::polar(1.0, -2.0 * std::numbers::pi * k * i / fftSize);
        total += std::norm(2.0 * x);
    }
    return total;
}

double hamming(int i, int m) { return 0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * i / (m - 1)); }
double hanning(int i, int m) { return 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * i / (m - 1))); }
double rectangular(int, int) { return 1.0; }

TEST(ArtifactsMath, WindowFunctionsShapeTheSpectrumAndHammingWinsOverHanning) {
    const std::vector<double> window = eegLike(250, rate, 9);
    auto totalWith = [&](bool setHamming, bool setHanning) {
        ArtifactsMath detector(0, {250, 25, 250});
        if (setHanning)
            detector.setHanningWinSpect();
        if (setHamming)
            detector.setHammingWinSpect();
        std::vector<double> copy = window;
        int quality = 0;
        detector.isArtifactedWin(copy.data(), 250, false, &quality);
        return detector.powers().total;
    };
    const double none = totalWith(false, false);
    const double withHamming = totalWith(true, false);
    const double withHanning = totalWith(false, true);
    const double both = totalWith(true, true);
    EXPECT_NEAR(none, directTotalPower(window, 256, 51, rectangular), none * 1e-10);
    EXPECT_NEAR(withHamming, directTotalPower(window, 256, 51, hamming), withHamming * 1e-10);
    EXPECT_NEAR(withHanning, directTotalPower(window, 256, 51, hanning), withHanning * 1e-10);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(both), std::bit_cast<std::uint64_t>(withHamming));
    EXPECT_NE(withHamming, withHanning);
}

TEST(ArtifactsMath, TotalPowerModeFlagsAboveFourTimesTheThresholdAndPassesExactlyFourTimes) {
    // An impulse of 2^-8 V (3906.25 uV) at 200 Hz with a 512-point transform:
    // every one of the 128 bins below 50 Hz holds (2 x 3906.25)^2, so the
    // total power is exactly 4 x 1953125000.
    std::vector<double> impulse(400, 0.0);
    impulse[0] = 1.0 / 256.0;
    for (const int threshold : {1953125000, 1953124999}) {
        ArtifactsMath detector(0, {200, 25, 400});
        detector.initArtifactDetect(1000000, 50000, 100, 100); // amplitude test quiet
        detector.setArtifactDetectByTotalPower(threshold);
        std::vector<double> window = impulse;
        int quality = 0;
        const bool artifacted = detector.isArtifactedWin(window.data(), 400, false, &quality);
        ASSERT_EQ(detector.geometry().spectrumBins, 128u);
        EXPECT_EQ(detector.powers().total, 4.0 * 1953125000.0);
        EXPECT_EQ(artifacted, threshold != 1953125000) << "threshold " << threshold;
        EXPECT_EQ(quality, 25);
    }
}

TEST(ArtifactsMath, TotalPowerThresholdZeroFlagsEveryWindow) {
    ArtifactsMath detector(0, {250, 25, 250});
    detector.initArtifactDetect(70, 800000, 20, 100);
    detector.setArtifactDetectByTotalPower(0);
    Judge judge{detector};
    EXPECT_TRUE(judge(eegLike(250, rate, 1)));
    EXPECT_EQ(detector.currentArtifact().type, 2);
}

// Engine-like tuning: 70 uV, band power 800000, 20 % bad samples.
struct RecognisableSignals : ::testing::Test {
    ArtifactsMath detector{1, {250, 25, 250}};
    void SetUp() override { detector.initArtifactDetect(70, 800000, 20, 100); }
    int judgeType(std::vector<double> window) {
        detector.resetArtifactLocation();
        int quality = 0;
        const bool artifacted = detector.isArtifactedWin(window.data(), static_cast<int>(window.size()), false, &quality);
        EXPECT_EQ(artifacted, detector.currentArtifact().type != 0);
        return detector.currentArtifact().type;
    }
};

TEST_F(RecognisableSignals, BackgroundEegWithAlphaIsClean) {
    for (unsigned seed = 1; seed <= 5; ++seed)
        EXPECT_EQ(judgeType(eegLike(250, rate, seed)), 0) << "seed " << seed;
}

TEST_F(RecognisableSignals, ABlinkIsAnAmplitudeArtifact) {
    for (unsigned seed = 1; seed <= 5; ++seed)
        EXPECT_EQ(judgeType(withBlink(eegLike(250, rate, seed), rate)), 1) << "seed " << seed;
}

TEST_F(RecognisableSignals, AFlatLineIsAnAmplitudeArtifact) {
    EXPECT_EQ(judgeType(flatLine(250, 1)), 1);
}

TEST_F(RecognisableSignals, AMuscleLikeBetaBurstIsASpectralArtifact) {
    for (unsigned seed = 1; seed <= 5; ++seed)
        EXPECT_EQ(judgeType(withTone(eegLike(250, rate, seed, 10.0), rate, 20.0, 35.0)), 2) << "seed " << seed;
}

TEST(ArtifactsMath, OutOfRangeAndNonNumberSamplesAreBad) {
    for (double odd : {1e10, -1e10, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        ArtifactsMath detector(0, {250, 25, 250});
        detector.initArtifactDetect(150, 800000, 10, 100);
        detector.setArtifactDetectByTotalPower(2000000000);
        std::vector<double> window = eegLike(250, rate, 6, 40.0, 2.0);
        for (auto& x : window)
            x = std::copysign(std::max(std::abs(x), 5.0 * microvolt), x);
        for (int i = 0; i < 25; ++i) // 10 %: exactly the limit
            window[i * 10] = odd;
        Judge judge{detector};
        EXPECT_FALSE(judge(window)) << odd;
        EXPECT_TRUE(std::isfinite(detector.powers().total)) << odd; // left out of the spectrum
        window[5] = odd; // one more
        EXPECT_TRUE(judge(window)) << odd;
    }
}

TEST(ArtifactsMath, JudgingAfterClearDataRebuildsTheWorkBuffer) {
    ArtifactsMath detector(0, {250, 25, 250});
    detector.setArtifactDetectByTotalPower(2000000000);
    Judge judge{detector};
    judge(constant(250, 0.0));
    ASSERT_EQ(detector.artifactRecords().size(), 1u);
    ArtifactsMath fresh(0, {250, 25, 250});
    fresh.setArtifactDetectByTotalPower(2000000000);
    Judge judgeFresh{fresh};
    judgeFresh(constant(250, 0.0));

    detector.clearData();
    EXPECT_TRUE(detector.artifactRecords().empty());
    const auto window = eegLike(250, rate, 8);
    EXPECT_FALSE(judge(window));
    EXPECT_FALSE(judgeFresh(window));
    EXPECT_EQ(detector.powers().total, fresh.powers().total);
}

TEST(ArtifactsMath, SamplePositionWrapsWithoutOverflowAndNeverReadsMinusOne) {
    using OviMath::Artifacts::advancedSamplePosition;
    constexpr int largest = std::numeric_limits<int>::max();
    EXPECT_EQ(advancedSamplePosition(0, 10), 10);
    EXPECT_EQ(advancedSamplePosition(largest - 10, 10), largest);
    EXPECT_EQ(advancedSamplePosition(largest - 9, 10), 0);
    EXPECT_EQ(advancedSamplePosition(largest, 200), 199);
    // Stepping across the wrap from just below it: every position stays in
    // 0..largest, so none is -1, and each is the previous one plus the step,
    // modulo 2^31.
    int position = largest - 300;
    bool wrapped = false;
    for (int i = 0; i < 100; ++i) {
        const int next = advancedSamplePosition(position, 7);
        ASSERT_GE(next, 0);
        ASSERT_EQ((static_cast<long long>(position) + 7) % (1LL << 31), next);
        wrapped |= next < position;
        position = next;
    }
    EXPECT_TRUE(wrapped);
}

} // namespace
