// What each window adds to the records: the spectral step against a plain
// model, calibration, the mental levels, and the readers of the queues.

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <complex>

#include "shared/reference_fft.h"
#include "support/eeg_signals.h"
#include "support/engine_drive.h"

namespace {

using namespace kalo_test;
using Bands = std::array<double, 5>;
using Spectra = std::vector<_SpectralDataPercents>;
using Minds = std::vector<_MindData>;
enum class Window { None, Hamming, Hanning };
enum class Norm { Width, Coeffs, None };

Bands fields(const _SpectralDataPercents& s) { return {s.delta, s.theta, s.alpha, s.beta, s.gamma}; }

// At 250 Hz with 500-sample windows (512-point transform, 2.048 bins per Hz)
// delta holds bins 1-8, theta 9-14, alpha 15-28, beta 29-51, gamma 52-101;
// bin 0 counts in the total only.
constexpr std::array<int, 6> firstBin{1, 9, 15, 29, 52, 102};
constexpr Bands widthsHz{3, 3, 7, 11, 25}, coefficients{0.5, 2.0, 3.0, 5.0, 7.0};

// The newest window's normalised bands (before the division) and its shares,
// written from the definition: recursive transform, window weights from their
// formula, band test per bin, divisor, normalisation, division.
std::array<Bands, 2> model(const Engine& e, bool power, Window window, Norm norm, int threshold, bool calibrated) {
    std::vector<std::complex<double>> x(512);
    for (int j = 0; j < 500; ++j) {
        const double v = e.sampleStore().microvolts(lastDueWindowEnd(e) - 500 + j, 0);
        const double theta = (j * 6.283185307179586) / (500 + (-1.0));
        const double w = window == Window::Hamming   ? std::cos(theta) * (-0.46) + 0.54
                         : window == Window::Hanning ? (1 - std::cos(theta)) * 0.5
                                                     : 1.0;
        if (std::abs(static_cast<int>(v)) < threshold) // larger samples are left out, not clipped
            x[j] = w * v;
    }
    KaloTest::referenceFft(x);
    Bands bands{};
    double total = 0.0;
    for (int k = 0; k < 102; ++k) {
        const double amplitude = 2.0 * std::sqrt(x[k].real() * x[k].real() + x[k].imag() * x[k].imag());
        const double p = power ? amplitude * amplitude : amplitude * 1.0;
        total += p;
        for (int b = 0; b < 5; ++b)
            bands[b] += firstBin[b] <= k && k < firstBin[b + 1] ? p : 0.0;
    }
    const double divisor = calibrated ? total : bands[2] + bands[3]; // until then alpha and beta against each other
    bands[0] = calibrated ? bands[0] : 0.0;
    for (int b = 0; b < 5 && norm != Norm::None; ++b)
        bands[b] = bands[b] / ((norm == Norm::Width ? widthsHz[b] : coefficients[b]) * 2.048);
    Bands shares = bands;
    for (double& share : shares)
        share = divisor > 0.0 ? share / divisor : 0.0;
    return {bands, shares};
}

// Bit for bit: the arithmetic is fixed.
TEST(WindowSpectra, EveryWindowMatchesThePlainModelBitForBit) {
    const std::vector<double> eeg = eegLike(6000, 250.0, 7, 20.0, 2.0); // a 10 Hz rhythm on weak noise
    for (bool power : {false, true})
        for (Window window : {Window::None, Window::Hamming, Window::Hanning})
            for (Norm norm : {Norm::Width, Norm::Coeffs, Norm::None})
                for (int threshold : {70, 15, 0}) { // built directly: thresholds below what hosts may set
                    SCOPED_TRACE(testing::Message() << power << int(window) << int(norm) << " " << threshold);
                    EngineSettings s = engineSettings();
                    s.mathLib.use_power_spectrum = power;
                    s.artifactDetect.amplitude_threshold = threshold;
                    s.mentalAndSpectral.spectral_averaging_sec = 1; // published: the mean of 25 windows
                    auto e = makeEngine(s);
                    if (window != Window::None)
                        window == Window::Hamming ? e->setHammingWinSpect() : e->setHanningWinSpect();
                    e->setSpectNormalizationByBandsWidth(norm == Norm::Width);
                    e->setSpectNormalizationByCoeffs(norm != Norm::None); // width wins when both are on
                    _OutStatus status{};
                    const Bands refused{0.0, -1.0, 1e-13, std::nan(""), HUGE_VAL};
                    for (int bad = -1; bad < 5; ++bad) { // refused weights leave the first ones in force
                        Bands w = coefficients;
                        w[std::max(bad, 0)] = bad < 0 ? w[0] : refused[bad];
                        EXPECT_EQ(MathLibSetWeightsForSpectra(handleOf(*e), w[0], w[1], w[2], w[3], w[4], &status),
                                  bad < 0);
                        EXPECT_EQ(status.error_code, bad < 0 ? 0 : 1);
                    }
                    e->setCallibrationLength(1);
                    feedLeftOnly(*e, eeg.data(), eeg.data() + 3000, 500); // the right side: a later stretch
                    std::vector<std::array<Bands, 2>> seen;
                    for (int n = 1; n <= 75; ++n) {
                        if (n == 26)
                            e->startCalibration(); // windows 26 to 50; from 51 on the total divides
                        feedLeftOnly(*e, eeg.data(), eeg.data() + 3000, 10);
                        seen.push_back(model(*e, power, window, norm, threshold, n > 50));
                        const Bands now = fields(e->spectralRecords().currentValues());
                        ASSERT_EQ(now, seen.back()[1]) << "window " << n;
                        EXPECT_EQ(now[0] == 0.0, n <= 50 || threshold == 0); // delta only once calibrated
                        EXPECT_TRUE(threshold != 0 || now == Bands{}); // no sample below it: no power
                        if (threshold == 70 && norm != Norm::Coeffs) { // braces: the macro holds an if
                            EXPECT_GT(now[2], 3.0 * std::max({now[0], now[1], now[3], now[4]})) << n;
                        }
                        // Published: the mean of the 25 newest (until there are 25, the window's own);
                        // raw alpha and beta: the mean of the up to 25 newest, undivided.
                        const int m = std::min(n, 25);
                        std::array<Bands, 2> sum{};
                        for (int i = n - m; i < n; ++i)
                            for (int b = 0; b < 5; ++b)
                                sum[0][b] += seen[i][0][b], sum[1][b] += seen[i][1][b];
                        _SpectralDataPercents published{};
                        _RawSpectVals raw{};
                        int count = 1;
                        e->readSpectralDataPercentsArr(&published, count);
                        e->readRawSpectVals(raw);
                        for (int b = 0; b < 5; ++b)
                            ASSERT_EQ(fields(published)[b], m < 25 ? now[b] : sum[1][b] / 25.0) << n;
                        ASSERT_EQ((std::array{raw.alpha, raw.beta}), (std::array{sum[0][2] / m, sum[0][3] / m}));
                    }
                    // Calibrated, every examined bin divides, bin 0 and the rhythm's leakage included:
                    // unwindowed amplitudes leave alpha well below 1; squared, the leakage shrinks.
                    if (threshold == 70 && window == Window::None && norm == Norm::None) {
                        EXPECT_GT(seen.back()[1][2], power ? 0.95 : 0.7);
                        EXPECT_LT(seen.back()[1][2], power ? 1.0 : 0.85);
                    }
                }
}

const std::vector<double> calibrationEeg = eegLike(10000, 250.0, 5);

// Pushes n samples, times `scale` (0: the electrodes are off); the right side is a later stretch.
void push(Engine& e, int n, double scale = 1.0) {
    feed(e, calibrationEeg.data(), calibrationEeg.data() + 5000, n, scale);
}
void pushLeftOnly(Engine& e, int n) { feedLeftOnly(e, calibrationEeg.data(), calibrationEeg.data() + 5000, n); }

TEST(Calibration, ProgressResultRestartsChangesOfLengthAndRefusals) {
    auto e = makeEngine(engineSettings()); // 25 windows a second, eight seconds by default
    _OutStatus status{};
    // Refused (INT_MAX / 25 + 1 s is the shortest whose windows leave 32 bits);
    // the 200 windows below show the length in force stayed.
    for (int seconds : {0, -1, INT_MIN, INT_MAX / 25 + 1, INT_MAX}) {
        EXPECT_FALSE(MathLibSetCallibrationLength(handleOf(*e), seconds, &status)) << seconds;
        EXPECT_EQ(status.error_code, 1);
    }
    push(*e, 510);
    // Coefficients equal to this window's alpha and beta shares make its
    // normalised alpha and beta equal; the same window is analysed throughout.
    e->setSpectNormalizationByBandsWidth(false);
    e->processData(LEFT);
    const _SpectralDataPercents first = e->spectralRecords().currentValues();
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
    EXPECT_NEAR(e->calibration().baseline().alpha, 0.5, 1e-12);
    EXPECT_NEAR(e->calibration().baseline().beta, 0.5, 1e-12);
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
        const _RawSpectVals shares = e->calibration().baseline();
        EXPECT_NEAR(shares.alpha + shares.beta, n < 60 ? 1.0 : 0.4, 1e-12) << n;
    }
}

TEST(Calibration, ArtifactedWindowsDoNotAdvanceIt) {
    auto e = makeEngine(engineSettings()); // the whole driver, detectors included
    e->setCallibrationLength(4);            // 100 windows: each one counted adds 1 %
    push(*e, 1350);                         // 4 s of start-up, then 10 windows uncalibrated
    e->startCalibration();
    int artifacted = 0;
    for (int i = 0; i < 110; ++i) { // 10 clean windows, then the electrodes come off
        const int was = e->getCallibrationPercents();
        push(*e, 10, i < 10 ? 1.0 : 0.0);
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
        pushLeftOnly(*e, 500);
        for (int n = 1; n <= k + 20; ++n) {
            pushLeftOnly(*e, 250 / rate);
            const _MindData now = e->mentalEstimator().currentLevels();
            EXPECT_EQ(now.inst_attention + now.inst_relaxation > 99.0, n >= k) << n; // the shares in percent
            Minds newest;
            for (int i = std::max(n - h, 0); i < n; ++i)
                newest.push_back(e->mentalEstimator().instantQueue().at(i));
            _MindData published{};
            int count = 1;
            e->readMentalValsArr(&published, count);
            // Until there are H, the window's own.
            EXPECT_TRUE(same(published, n < h ? now : meanOf(newest))) << rate << " " << n;
        }
    }
}

// The readers' engines analyse left-only windows of this signal, levels from the 25th window on.
const std::vector<double> readersEeg = eegLike(6000, 250.0, 3);

void run(Engine& e, int windows) { feedLeftOnly(e, readersEeg.data(), readersEeg.data() + 3000, 10 * windows); }

std::unique_ptr<Engine> engine(int windows) {
    EngineSettings s = engineSettings();
    s.mentalAndSpectral.mental_estimation_sec = 1;
    auto e = makeEngine(s);
    feedLeftOnly(*e, readersEeg.data(), readersEeg.data() + 3000, 500 + 10 * windows); // the first window needs 501
    return e;
}

std::pair<Spectra, Minds> drain(Engine& e, int count) { // both queues, as a host does
    std::pair<Spectra, Minds> out{Spectra(count), Minds(count)};
    int spectra = count, minds = count;
    e.readSpectralDataPercentsArr(out.first.data(), spectra);
    e.readMentalValsArr(out.second.data(), minds);
    out.first.resize(spectra), out.second.resize(minds);
    return out;
}

// A twin engine, fed the same samples, reads every record as it comes. Left
// unread for 250 windows, the queues keep the 200 newest band records and the
// 150 newest mental records, oldest first. Of 30 records, a larger count
// returns them all, a smaller one the oldest; both empty the queue. 0 leaves
// it alone; a negative count writes nothing, stays negative and empties it.
// The mean of the n newest mental records leaves the queue alone: n equal to
// its size averages them all; n of 0, negative or beyond it gives the last
// window's record.
TEST(OutputReaders, DrainsReturnTheOldestAskedAndUnreadQueuesKeepTheNewest) {
    auto twin = engine(0);
    Spectra spectra;
    Minds minds;
    for (int n = 0; n < 250; ++n) {
        run(*twin, 1);
        const auto [s, m] = drain(*twin, 1);
        spectra.push_back(s.at(0)), minds.push_back(m.at(0));
    }
    const auto equal = [](const auto& a, const auto& b) { return same(a, b); };
    const auto [keptSpectra, keptMinds] = drain(*engine(250), 300);
    EXPECT_TRUE(std::equal(keptSpectra.begin(), keptSpectra.end(), spectra.end() - 200, spectra.end(), equal));
    EXPECT_TRUE(std::equal(keptMinds.begin(), keptMinds.end(), minds.end() - 150, minds.end(), equal));
    const _MindData all30 = meanOf(Minds(minds.begin(), minds.begin() + 30));
    for (auto [asked, written, left] : {std::array{40, 30, 0}, {28, 28, 0}, {0, 0, 30}, {-2, -2, 0}}) {
        auto e = engine(30);
        for (int n : {30, 0, -1, 31}) {
            _MindData mean{};
            e->readAverageMentalData(n, mean);
            EXPECT_TRUE(same(mean, n == 30 ? all30 : e->mentalEstimator().currentLevels())) << n;
        }
        Spectra s(32, {-7, -7, -7, -7, -7});
        Minds m(32, {-7, -7, -7, -7});
        int sCount = asked, mCount = asked;
        e->readSpectralDataPercentsArr(s.data(), sCount);
        e->readMentalValsArr(m.data(), mCount);
        EXPECT_EQ((std::array{sCount, mCount, e->spectralDataPercentsCount(), e->mentalDataCount()}),
                  (std::array{written, written, left, left}));
        for (int i = 0; i < 32; ++i) {
            EXPECT_TRUE(same(s[i], i < written ? spectra[i] : _SpectralDataPercents{-7, -7, -7, -7, -7})) << i;
            EXPECT_TRUE(same(m[i], i < written ? minds[i] : _MindData{-7, -7, -7, -7})) << i;
        }
    }
    EXPECT_FALSE(same(all30, engine(30)->mentalEstimator().currentLevels())); // the two readings differ
}

// Weights (0, 0, 1, 2, 0) keep alpha and beta, weighted and rescaled to add up to 1.
TEST(OutputReaders, ZeroWaveWeightingKeepsAlphaAndBetaRescaled) {
    auto weighted = engine(0);
    _OutStatus status{};
    ASSERT_TRUE(MathLibSetZeroSpectWaves(handleOf(*weighted), true, 0, 0, 1, 2, 0, &status));
    // Refused: the weighting above stays.
    EXPECT_FALSE(MathLibSetZeroSpectWaves(handleOf(*weighted), false, 1, 1, 1, -1, 1, &status));
    EXPECT_EQ(status.error_code, 1);
    run(*weighted, 30);
    const Spectra read = drain(*weighted, 30).first, plain = drain(*engine(30), 30).first;
    ASSERT_EQ(read.size(), 30u);
    for (std::size_t i = 0; i < read.size(); ++i) {
        const double s = plain[i].alpha + 2 * plain[i].beta;
        ASSERT_GT(plain[i].theta * plain[i].gamma, 0.0); // there was something to leave out
        EXPECT_TRUE(same(read[i], _SpectralDataPercents{0, 0, plain[i].alpha / s, 2 * plain[i].beta / s, 0})) << i;
    }
}

} // namespace
