#include "engine/calibration.h"

#include <cstdint>
#include <limits>

#include "shared/status_boundary.h"

namespace OviMath::MathLib {

Calibration::Calibration(const _MathLibSetting& mathLib)
    : processWinFreq(mathLib.process_win_freq),
      calibrationLength(mathLib.process_win_freq * 8),
      calibrationShares(static_cast<std::size_t>(calibrationLength), _RawSpectVals{}) {}

void Calibration::setCallibrationLength(int seconds) {
    if (seconds <= 0)
        Status::refuse("Calibration length must be at least 1 second");
    const std::int64_t windows = static_cast<std::int64_t>(seconds) * processWinFreq;
    if (windows > std::numeric_limits<int>::max())
        Status::refuse("Calibration length is too long: its number of windows must fit in 32 bits");
    // The new store is built before anything changes, so running out of
    // memory leaves the length in force.
    std::vector<_RawSpectVals> store(static_cast<std::size_t>(windows), _RawSpectVals{});
    calibrationShares.swap(store);
    calibrationLength = static_cast<int>(windows);
}

void Calibration::windowComputed(const _SpectralDataPercents& shares) {
    if (calibrating)
        processDataCallibration(shares);
}

void Calibration::processDataCallibration(const _SpectralDataPercents& shares) {
    // A length shortened below the windows already recorded is never reached
    // again: the calibration keeps running until the length is raised.
    if (calibrationWinsDone < calibrationLength) {
        const double a = shares.alpha;
        const double b = shares.beta;
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
