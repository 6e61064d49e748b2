#include "engine/spectral_step.h"

#include <cmath>

#include "shared/spectral_geometry.h"
#include "shared/status_boundary.h"
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

SpectralStep::Geometry geometryOf(const _MathLibSetting& mathLib) {
    const int fftSize = Functions::smallestTransformSize(mathLib.fft_window);
    const Functions::BinGeometry bins = Functions::binGeometry(fftSize, mathLib.sampling_rate);
    return {mathLib.fft_window, fftSize, bins.binsPerHz, bins.bins50Hz};
}

} // namespace

SpectralStep::SpectralStep(const _MathLibSetting& mathLib, const _ArtifactDetectSetting& artifactDetect)
    : fixed(geometryOf(mathLib)),
      amplitudeThreshold(artifactDetect.amplitude_threshold),
      usePowerSpectrum(mathLib.use_power_spectrum),
      hanningWinSpect(artifactDetect.use_hanning),
      hammingWinSpect(!artifactDetect.use_hanning && artifactDetect.use_hamming),
      spectrum(static_cast<std::size_t>(fixed.fftSize), {0.0, 0.0}),
      fftPlan(&Functions::sharedPlan(static_cast<std::size_t>(fixed.fftSize))),
      weights(mathLib.fft_window),
      binBand(static_cast<std::size_t>(fixed.bins50Hz), -1) {
    bandWidths[0] = bandBorders[0] - 1;
    for (std::size_t i = 1; i < bandBorders.size(); ++i)
        bandWidths[i] = bandBorders[i] - bandBorders[i - 1];
    // A bin k belongs to the first band whose edges in bins (edge in Hz x
    // binsPerHz, as doubles) hold it; bin 0 is in none.
    for (std::uint64_t k = 0; k < fixed.bins50Hz; ++k) {
        const double f = static_cast<double>(k);
        double lower = 0.0;
        for (int band = Delta; band < BandCount; ++band) {
            const double upper = bandBorders[static_cast<std::size_t>(band)] * fixed.binsPerHz;
            const bool inBand = band == Delta ? (k >= 1 && f < upper) : (lower <= f && f < upper);
            if (inBand) {
                binBand[k] = static_cast<signed char>(band);
                break;
            }
            lower = upper;
        }
    }
}

int SpectralStep::getNearestPow2(int n) {
    if (const int size = Functions::smallestTransformSize(n); size != 0)
        fixed.fftSize = size;
    return fixed.fftSize;
}

void SpectralStep::setWeightsForSpectra(_SpectralDataPercents w) {
    for (const double weight : {w.delta, w.theta, w.alpha, w.beta, w.gamma})
        // Written so that NaN fails too.
        if (!(std::isfinite(weight) && weight >= minimumSpectWeight))
            Status::refuse("Spectral weights must be finite numbers of at least 1e-12; to leave a band out, use "
                           "MathLibSetZeroSpectWaves");
    spectWeights = w;
}

BandValues SpectralStep::compute(const double* window, bool calibrated) {
    // Samples of amplitudeThreshold microvolts or more (and any value that is
    // not a number) are removed from the spectrum, not clipped; the window
    // weight applies to the window's samples, not to the zero padding.
    // Without a window function the weights are all 1, which leaves every
    // value as it is; the loop has no branch and vectorises.
    const double* w = weights.of(Functions::chooseSpectralWindow(hammingWinSpect, hanningWinSpect));
    const std::size_t n = static_cast<std::size_t>(fixed.fftWindow);
    for (std::size_t j = 0; j < n; ++j) {
        const double v = window[j];
        spectrum[j] = {truncatedMagnitudeBelow(v, amplitudeThreshold) ? w[j] * v : 0.0, 0.0};
    }
    for (std::size_t j = n; j < spectrum.size(); ++j)
        spectrum[j] = {0.0, 0.0};
    fftPlan->transform(spectrum.data());

    // Band sums over the bins below 50 Hz; bin 0 goes into the total only.
    std::array<double, BandCount> bands{};
    double total = 0.0;
    for (std::uint64_t k = 0; k < fixed.bins50Hz; ++k) {
        const double re = spectrum[k].real();
        const double im = spectrum[k].imag();
        const double amplitude = 2.0 * std::sqrt(re * re + im * im);
        const double contribution = usePowerSpectrum ? amplitude * amplitude : amplitude * 1.0;
        total += contribution;
        if (binBand[k] >= 0)
            bands[static_cast<std::size_t>(binBand[k])] += contribution;
    }

    double divisor = total;
    if (!calibrated) {
        divisor = bands[Alpha] + bands[Beta];
        bands[Delta] = 0.0;
    }

    // The divisor and the total stay as they are.
    const std::array<double, BandCount> coefficients = fieldsOf(spectWeights);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        if (normalizeByBandsWidth)
            bands[i] = bands[i] / (bandWidths[i] * fixed.binsPerHz);
        else if (normalizeByCoeffs)
            bands[i] = bands[i] / (coefficients[i] * fixed.binsPerHz);
    }
    BandValues values{recordOf(bands), {}};

    bool usable = divisor > 0.0;
    if (usable)
        for (double& band : bands) {
            band = band / divisor;
            usable = usable && std::fabs(band) <= largestShare;
        }
    values.shares = usable ? recordOf(bands) : _SpectralDataPercents{};
    return values;
}

} // namespace OviMath::MathLib
