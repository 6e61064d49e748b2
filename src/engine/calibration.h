#pragma once

// The calibration: over the next clean windows after a start, how alpha and
// beta share their sum, kept as the mean shares that are the baseline of
// the relative mental levels.

#include <vector>

#include "kalo_artifacts/types.h"

namespace OviMath::MathLib {

class Calibration {
public:
    explicit Calibration(const _MathLibSetting& mathLib);

    void startCalibration() { calibrating = true; }
    // Refuses (code 1) a length of 0 or fewer seconds, or one whose window
    // count leaves 32 bits; the length in force stays.
    void setCallibrationLength(int seconds);
    // The shares of a computed window, recorded while a calibration runs.
    void windowComputed(const _SpectralDataPercents& shares);

    bool isCalibrationFinished() const { return calibrationFinished; }
    int getCallibrationPercents() const { return calibrationPercents; }
    // The result of the last completed calibration; zero before the first.
    _RawSpectVals baseline() const { return calibratedShares; }
    int windowsToRecord() const { return calibrationLength; }

private:
    void processDataCallibration(const _SpectralDataPercents& shares);

    int processWinFreq;
    int calibrationLength; // windows
    std::vector<_RawSpectVals> calibrationShares;
    int calibrationWinsDone = 0;
    int calibrationPercents = 0;
    bool calibrating = false;
    bool calibrationFinished = false;
    _RawSpectVals calibratedShares{};
};

} // namespace OviMath::MathLib
