// The spectral step: a clean window's samples become five band values, each
// a share of a common divisor, kept once per window for the estimation steps
// and as a moving average that the host reads.
//
// The arithmetic is written in the order it must run, so that every host
// gets the same numbers, bit for bit: sums start from zero and take their
// terms in bin order or oldest entry first.

#include <cmath>

#include "engine/kalo_math.h"
#include "shared/truncated_int32.h"

namespace OviMath::MathLib {

namespace {

// Shares beyond this size only arise from a divisor that is a rounding
// residue; they would overflow the averages downstream, so such a window
// counts as one without power.
constexpr double largestShare = 1e100;

std::array<double, BandCount> fieldsOf(const _SpectralDataPercents& s) {
    return {s.delta, s.theta, s.alpha, s.beta, s.gamma};
}

_SpectralDataPercents recordOf(const std::array<double, BandCount>& v) {
    return {v[Delta], v[Theta], v[Alpha], v[Beta], v[Gamma]};
}

} // namespace

void MathLib::computeSpectra() {
    // Samples of amplitudeThreshold microvolts or more (and any value that is
    // not a number) are removed from the spectrum, not clipped; the window
    // weight applies to the window's samples, not to the zero padding.
    // Without a window function the weights are all 1, which leaves every
    // value as it is; the loop has no branch and vectorises.
    const double* weights =
        (hammingWinSpect ? hammingWeights : (hanningWinSpect ? hanningWeights : unitWeights)).data();
    const std::size_t n = spectralWindow.size();
    for (std::size_t j = 0; j < n; ++j) {
        const double v = spectralWindow[j];
        spectrum[j] = {truncatedMagnitudeBelow(v, amplitudeThreshold) ? weights[j] * v : 0.0, 0.0};
    }
    for (std::size_t j = n; j < spectrum.size(); ++j)
        spectrum[j] = {0.0, 0.0};
    fftPlan->transform(spectrum.data());

    // Band sums over the bins below 50 Hz; bin 0 goes into the total only.
    std::array<double, BandCount> bands{};
    double total = 0.0;
    for (std::uint64_t k = 0; k < bins50Hz; ++k) {
        const double re = spectrum[k].real();
        const double im = spectrum[k].imag();
        const double amplitude = 2.0 * std::sqrt(re * re + im * im);
        const double contribution = usePowerSpectrum ? amplitude * amplitude : amplitude * 1.0;
        total += contribution;
        if (binBand[k] >= 0)
            bands[static_cast<std::size_t>(binBand[k])] += contribution;
    }

    // Until the first calibration has completed, alpha and beta are measured
    // against each other and delta is left out.
    double divisor = total;
    if (!calibrationFinished) {
        divisor = bands[Alpha] + bands[Beta];
        bands[Delta] = 0.0;
    }

    // The divisor and the total stay as they are.
    const std::array<double, BandCount> coefficients = fieldsOf(spectWeights);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        if (normalizeByBandsWidth)
            bands[i] = bands[i] / (bandWidths[i] * binsPerHz);
        else if (normalizeByCoeffs)
            bands[i] = bands[i] / (coefficients[i] * binsPerHz);
    }
    currentSpectra = recordOf(bands);

    // The raw values see the normalised bands before their division.
    processDataRawAlphaBeta();

    bool usable = divisor > 0.0;
    if (usable)
        for (double& band : bands) {
            band = band / divisor;
            usable = usable && std::fabs(band) <= largestShare;
        }
    currentSpectra = usable ? recordOf(bands) : _SpectralDataPercents{};

    instantSpectra.push(currentSpectra);
    refreshSpectralValues();
    // The calibration sees the divided bands, after the averaged entry.
    if (calibrating)
        processDataCallibration();
    estimateMentalLevels();
}

void MathLib::refreshSpectralValues() {
    const std::size_t n = instantSpectra.size();
    const std::size_t m = static_cast<std::size_t>(averagingWinsCount);
    if (n < m) {
        averagedSpectra.push(currentSpectra);
        return;
    }
    std::array<double, BandCount> sums{};
    instantSpectra.forEach(static_cast<std::int64_t>(n - m), m, [&](const _SpectralDataPercents& entry) {
        const std::array<double, BandCount> values = fieldsOf(entry);
        for (std::size_t i = 0; i < sums.size(); ++i)
            sums[i] += values[i];
    });
    for (double& sum : sums)
        sum = sum / static_cast<double>(m);
    averagedSpectra.push(recordOf(sums));
}

} // namespace OviMath::MathLib
