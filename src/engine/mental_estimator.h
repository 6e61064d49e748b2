#pragma once

// Mental levels: attention follows the beta band, relaxation the alpha band.
// Each computed window estimates them from the band shares of the last few
// seconds, relative to the calibration baseline and instantaneously; the
// published levels are smoothed over about half a second. Every window that
// produces output adds exactly one record, computed, zero or repeated.

#include "kalo_artifacts/types.h"
#include "shared/circular_buffer.h"

namespace OviMath::MathLib {

// The four mental levels of one window from the band averages of the last
// few seconds and the calibrated alpha and beta shares. Relative levels:
// (share - calibrated) / (top - calibrated) x 100 with tops 0.85 (beta,
// attention) and 0.95 (alpha, relaxation), 0 below the baseline or without
// one, not clamped. Instantaneous levels, clamped to 0..100: the beta and
// alpha shares in percent, or with `alternativeMode` 1 - alpha/beta and
// alpha / (2 theta + beta).
_MindData mentalLevels(double alphaMean, double betaMean, double thetaMean, _RawSpectVals calibrated,
                       bool alternativeMode);

class MentalEstimator {
public:
    MentalEstimator(const _MathLibSetting& mathLib, const _MentalAndSpectralSetting& mentalAndSpectral);

    // A computed window, from the band shares of every window so far (the
    // newest last) and the calibration baseline; all zero until there are
    // instantWinsCount of them.
    void estimateMentalLevels(const Buffer::CircularBuffer<_SpectralDataPercents>& instantSpectra,
                              _RawSpectVals calibratedShares);
    // A window of the start-up period: zero levels.
    void addZero();
    // An artifacted or skipped window: the levels of the last window again.
    void addRepeat();
    void setMentalEstimationMode(bool mode) { mentalEstimationMode = mode; }

    void readMentalValsArr(_MindData* out, int& count);
    void readAverageMentalData(int n, _MindData& out) const;
    int mentalDataCount() const { return static_cast<int>(averagedMental.size()); }
    // The last window's levels.
    const _MindData& currentLevels() const { return currentMind; }
    // The per-window records, newest last.
    const Buffer::CircularBuffer<_MindData>& instantQueue() const { return instantMental; }

private:
    void refreshMentalValues();

    int instantWinsCount;
    int processWinFreq;
    bool mentalEstimationMode = false;
    _MindData currentMind{};
    Buffer::CircularBuffer<_MindData> averagedMental, instantMental;
};

} // namespace OviMath::MathLib
