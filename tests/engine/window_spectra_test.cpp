// The spectral step against a plain model written from its definition
// (recursive transform, window weights from their formula, band test per bin,
// divisor, normalisation, division), bit for bit: the arithmetic is fixed.

#include <gtest/gtest.h>

#include <array>
#include <complex>

#include "shared/reference_fft.h"
#include "support/eeg_signals.h"
#include "support/engine_settings.h"

namespace {

using namespace kalo_test;
using Engine = OviMath::MathLib::MathLib;
using Bands = std::array<double, 5>;
enum class Window { None, Hamming, Hanning };
enum class Norm { Width, Coeffs, None };

Bands fields(const _SpectralDataPercents& s) { return {s.delta, s.theta, s.alpha, s.beta, s.gamma}; }

const std::vector<double> eeg = eegLike(6000, 250.0, 7, 20.0, 2.0); // a 10 Hz rhythm on weak noise

// Pushes n samples; each due window is analysed on the left side, as the
// driver does on clean signal without a priority side, with no detector.
void push(Engine& e, int n) {
    e.setWindowHookForTesting([&e](std::int64_t) { e.processData(LEFT); });
    std::vector<_RawChannels> pairs;
    for (std::size_t i = e.microvoltSamples().size(), end = i + n; i < end; ++i)
        pairs.push_back({eeg[i], eeg[i + 3000]}); // the right side: a later stretch
    e.pushData(pairs.data(), pairs.size());
    e.processDataArr();
}

// At 250 Hz with 500-sample windows (512-point transform, 2.048 bins per Hz)
// delta holds bins 1-8, theta 9-14, alpha 15-28, beta 29-51, gamma 52-101;
// bin 0 counts in the total only.
constexpr std::array<int, 6> firstBin{1, 9, 15, 29, 52, 102};
constexpr Bands widthsHz{3, 3, 7, 11, 25}, coefficients{0.5, 2.0, 3.0, 5.0, 7.0};

// The newest window's normalised bands (before the division) and its shares.
std::array<Bands, 2> model(const Engine& e, bool power, Window window, Norm norm, int threshold, bool calibrated) {
    std::vector<std::complex<double>> x(512);
    for (int j = 0; j < 500; ++j) {
        const double v = e.microvoltSamples().at(e.windowEnd() - 500 + j).left;
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

TEST(WindowSpectra, EveryWindowMatchesThePlainModelBitForBit) {
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
                    auto* handle = reinterpret_cast<MathLib*>(e.get());  // the C handle is the engine itself
                    _OutStatus status{};
                    const Bands refused{0.0, -1.0, 1e-13, std::nan(""), HUGE_VAL};
                    for (int bad = -1; bad < 5; ++bad) { // refused weights leave the first ones in force
                        Bands w = coefficients;
                        w[std::max(bad, 0)] = bad < 0 ? w[0] : refused[bad];
                        EXPECT_EQ(MathLibSetWeightsForSpectra(handle, w[0], w[1], w[2], w[3], w[4], &status), bad < 0);
                        EXPECT_EQ(status.error_code, bad < 0 ? 0 : 1);
                    }
                    e->setCallibrationLength(1);
                    push(*e, 500);
                    std::vector<std::array<Bands, 2>> seen;
                    for (int n = 1; n <= 75; ++n) {
                        if (n == 26)
                            e->startCalibration(); // windows 26 to 50; from 51 on the total divides
                        push(*e, 10);
                        seen.push_back(model(*e, power, window, norm, threshold, n > 50));
                        const Bands now = fields(e->currentSpectraValues());
                        ASSERT_EQ(now, seen.back()[1]) << "window " << n;
                        EXPECT_EQ(now[0] == 0.0, n <= 50 || threshold == 0); // delta only once calibrated
                        EXPECT_TRUE(threshold != 0 || now == Bands{}); // no sample below it: no power
                        if (threshold == 70 && norm != Norm::Coeffs) {
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

} // namespace
