#include "engine/mental_estimator.h"

#include <algorithm>

#include "engine/queue_drain.h"

namespace OviMath::MathLib {

namespace {

// The shares at which the relative levels reach 100 %.
constexpr double fullAttentionShare = 0.85;
constexpr double fullRelaxationShare = 0.95;

// (share - calibrated) / (top - calibrated) x 100, or 0 below the baseline
// or without one. Not clamped: a share above the top gives more than 100.
double relativeLevel(double share, double calibrated, double top) {
    if (calibrated == top || calibrated == 0.0 || share < calibrated)
        return 0.0;
    return ((share - calibrated) / (top - calibrated)) * 100.0;
}

double clampedPercent(double value) { return std::clamp(value, 0.0, 100.0); }

} // namespace

_MindData mentalLevels(double alpha, double beta, double theta, _RawSpectVals calibrated, bool alternativeMode) {
    const double s = alpha + beta;
    const double alphaShare = s > 0.0 ? alpha / s : 0.0;
    const double betaShare = s > 0.0 ? beta / s : 0.0;
    _MindData mind{};
    mind.rel_attention = relativeLevel(betaShare, calibrated.beta, fullAttentionShare);
    mind.rel_relaxation = relativeLevel(alphaShare, calibrated.alpha, fullRelaxationShare);
    if (alternativeMode) {
        // From the averages themselves, not their shares.
        mind.inst_attention = clampedPercent(beta > 0.0 ? (1.0 - alpha / beta) * 100.0 : 0.0);
        const double thetaThetaBeta = theta + theta + beta;
        mind.inst_relaxation = clampedPercent(thetaThetaBeta > 0.0 ? (alpha / thetaThetaBeta) * 100.0 : 0.0);
    } else if (s > 0.0) {
        mind.inst_attention = clampedPercent((beta / s) * 100.0);
        mind.inst_relaxation = clampedPercent((alpha / s) * 100.0);
    }
    return mind;
}

MentalEstimator::MentalEstimator(const _MathLibSetting& mathLib, const _MentalAndSpectralSetting& mentalAndSpectral)
    : instantWinsCount(mentalAndSpectral.mental_estimation_sec * mathLib.process_win_freq),
      processWinFreq(mathLib.process_win_freq) {
    averagedMental.allocate(static_cast<std::size_t>(MentalValueArraySize));
    instantMental.allocate(static_cast<std::size_t>(MentalValueArraySize));
}

void MentalEstimator::estimateMentalLevels(const Buffer::CircularBuffer<_SpectralDataPercents>& instantSpectra,
                                           _RawSpectVals calibratedShares) {
    const std::size_t n = instantSpectra.size();
    const std::size_t k = static_cast<std::size_t>(instantWinsCount);
    if (n < k) {
        addZero();
        return;
    }
    // Means of the k newest windows, each sum from zero, oldest first.
    double thetaSum = 0.0;
    double alphaSum = 0.0;
    double betaSum = 0.0;
    instantSpectra.forEach(static_cast<std::int64_t>(n - k), k, [&](const _SpectralDataPercents& entry) {
        thetaSum += entry.theta;
        alphaSum += entry.alpha;
        betaSum += entry.beta;
    });
    const double count = static_cast<double>(k);
    currentMind = mentalLevels(alphaSum / count, betaSum / count, thetaSum / count, calibratedShares,
                               mentalEstimationMode);
    instantMental.push(currentMind);
    refreshMentalValues();
}

void MentalEstimator::addZero() {
    currentMind = _MindData{};
    instantMental.push(currentMind);
    refreshMentalValues();
}

void MentalEstimator::addRepeat() {
    instantMental.push(currentMind);
    refreshMentalValues();
}

void MentalEstimator::refreshMentalValues() {
    const std::size_t h = static_cast<std::size_t>(processWinFreq / 2);
    const std::size_t n = instantMental.size();
    if (n < h) {
        averagedMental.push(currentMind);
        return;
    }
    _MindData sum{};
    instantMental.forEach(static_cast<std::int64_t>(n - h), h, [&](const _MindData& entry) {
        sum.rel_attention += entry.rel_attention;
        sum.rel_relaxation += entry.rel_relaxation;
        sum.inst_attention += entry.inst_attention;
        sum.inst_relaxation += entry.inst_relaxation;
    });
    const double count = static_cast<double>(h);
    averagedMental.push({sum.rel_attention / count, sum.rel_relaxation / count, sum.inst_attention / count,
                         sum.inst_relaxation / count});
}

void MentalEstimator::readMentalValsArr(_MindData* out, int& count) {
    drain(averagedMental, out, count, [](const _MindData& record) { return record; });
}

void MentalEstimator::readAverageMentalData(int n, _MindData& out) const {
    const int available = static_cast<int>(averagedMental.size());
    if (n <= 0 || n > available) {
        out = currentMind;
        return;
    }
    // Added to what `out` holds (the C interface hands a zeroed record), then
    // divided: the mean of the n newest records.
    averagedMental.forEach(available - n, static_cast<std::size_t>(n), [&](const _MindData& record) {
        out.rel_attention += record.rel_attention;
        out.rel_relaxation += record.rel_relaxation;
        out.inst_attention += record.inst_attention;
        out.inst_relaxation += record.inst_relaxation;
    });
    out.rel_attention /= n;
    out.rel_relaxation /= n;
    out.inst_attention /= n;
    out.inst_relaxation /= n;
}

} // namespace OviMath::MathLib
