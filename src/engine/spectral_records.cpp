#include "engine/spectral_records.h"

#include <algorithm>

#include "engine/queue_drain.h"
#include "shared/status_boundary.h"

namespace OviMath::MathLib {

SpectralRecords::SpectralRecords(const _MathLibSetting& mathLib, const _MentalAndSpectralSetting& mentalAndSpectral)
    : averagingWinsCount(mentalAndSpectral.spectral_averaging_sec * mathLib.process_win_freq) {
    averagedSpectra.allocate(static_cast<std::size_t>(SpectralPercentsArraySize));
    rawAlphaBetaHistory.allocate(static_cast<std::size_t>(SpectralPercentsArraySize));
    instantSpectra.allocate(static_cast<std::size_t>(AttEstBufferSize));
}

void SpectralRecords::addComputed(const BandValues& bands) {
    // The raw values see the normalised bands before their division.
    processDataRawAlphaBeta(bands.normalised);
    currentSpectra = bands.shares;
    instantSpectra.push(currentSpectra);
    refreshSpectralValues();
}

void SpectralRecords::addZero() {
    instantSpectra.push(_SpectralDataPercents{});
    refreshSpectralValues();
}

void SpectralRecords::addRepeat() {
    // The newest entry is copied before the push, which may overwrite it.
    const _SpectralDataPercents previous = instantSpectra.newest();
    instantSpectra.push(previous);
    refreshSpectralValues();
}

void SpectralRecords::processDataRawAlphaBeta(const _SpectralDataPercents& normalised) {
    rawAlphaBetaHistory.push({normalised.alpha, normalised.beta});
    const std::size_t n = rawAlphaBetaHistory.size();
    const std::size_t m = std::min(n, static_cast<std::size_t>(averagingWinsCount));
    double alpha = 0.0;
    double beta = 0.0;
    rawAlphaBetaHistory.forEach(static_cast<std::int64_t>(n - m), m, [&](const _RawSpectVals& entry) {
        alpha += entry.alpha;
        beta += entry.beta;
    });
    rawSpectVals = {alpha / static_cast<double>(m), beta / static_cast<double>(m)};
}

void SpectralRecords::refreshSpectralValues() {
    const std::size_t n = instantSpectra.size();
    const std::size_t m = static_cast<std::size_t>(averagingWinsCount);
    if (n < m) {
        averagedSpectra.push(currentSpectra);
        return;
    }
    // Each field summed from zero, oldest entry first.
    std::array<double, BandCount> sums{};
    instantSpectra.forEach(static_cast<std::int64_t>(n - m), m, [&](const _SpectralDataPercents& e) {
        const std::array<double, BandCount> values{e.delta, e.theta, e.alpha, e.beta, e.gamma};
        for (std::size_t i = 0; i < sums.size(); ++i)
            sums[i] += values[i];
    });
    for (double& sum : sums)
        sum = sum / static_cast<double>(m);
    averagedSpectra.push({sums[Delta], sums[Theta], sums[Alpha], sums[Beta], sums[Gamma]});
}

void SpectralRecords::setZeroSpectWaves(bool on, _SpectralData mask) {
    for (const int weight : {mask.delta, mask.theta, mask.alpha, mask.beta, mask.gamma})
        if (weight < 0)
            Status::refuse("Band weights must be 0 or more (0 leaves a band out)");
    zeroSpectWaves = on;
    zeroSpectWavesMask = mask;
}

void SpectralRecords::readSpectralDataPercentsArr(_SpectralDataPercents* out, int& count) {
    const bool weighted = zeroSpectWaves;
    const double wDelta = zeroSpectWavesMask.delta;
    const double wTheta = zeroSpectWavesMask.theta;
    const double wAlpha = zeroSpectWavesMask.alpha;
    const double wBeta = zeroSpectWavesMask.beta;
    const double wGamma = zeroSpectWavesMask.gamma;
    drain(averagedSpectra, out, count, [&](const _SpectralDataPercents& e) -> _SpectralDataPercents {
        if (!weighted)
            return e;
        // Weighted bands rescaled to add up to 1; the stored records stay.
        const double s = (((wDelta * e.delta + wTheta * e.theta) + wAlpha * e.alpha) + wBeta * e.beta) +
                         wGamma * e.gamma;
        if (s == 0.0)
            return {};
        return {wDelta * e.delta / s, wTheta * e.theta / s, wAlpha * e.alpha / s, wBeta * e.beta / s,
                wGamma * e.gamma / s};
    });
}

} // namespace OviMath::MathLib
