// Raw alpha/beta values and the calibration. The raw values are the alpha
// and beta band values before their division, averaged over the spectral
// averaging length. A calibration records, over the next clean windows, how
// alpha and beta share their sum, and keeps the mean shares as the baseline
// of the relative mental levels.

#include "engine/kalo_math.h"

namespace OviMath::MathLib {

void MathLib::processDataRawAlphaBeta() {
    rawAlphaBetaHistory.push({currentSpectra.alpha, currentSpectra.beta});
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

void MathLib::processDataCallibration() {
    // A length shortened below the windows already recorded is never reached
    // again: the calibration keeps running until the length is raised.
    if (calibrationWinsDone < calibrationLength) {
        const double a = currentSpectra.alpha;
        const double b = currentSpectra.beta;
        const double s = a + b;
        calibrationShares[static_cast<std::size_t>(calibrationWinsDone)] =
            s > 0.0 ? _RawSpectVals{a / s, b / s} : _RawSpectVals{0.0, 0.0};
        ++calibrationWinsDone;
        calibrationPercents = static_cast<int>(calibrationWinsDone * 100.0 / calibrationLength);
    }
    if (calibrationWinsDone == calibrationLength) {
        calibrationPercents = 100;
        double alpha = 0.0;
        double beta = 0.0;
        for (const _RawSpectVals& share : calibrationShares) {
            alpha += share.alpha;
            beta += share.beta;
        }
        calibratedShares = {alpha / calibrationLength, beta / calibrationLength};
        calibrationWinsDone = 0;
        calibrating = false;
        calibrationFinished = true;
    }
}

} // namespace OviMath::MathLib
