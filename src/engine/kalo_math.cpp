// The engine's front: construction of its parts, and what each window goes
// through. A window gets zero records during start-up, a repeat of the
// previous records when it is artifacted or falls in the skip period after
// an artifact, or freshly computed spectra and mental levels.

#include "engine/kalo_math.h"

#include <algorithm>
#include <optional>

#include "engine/bipolar_samples.h"
#include "engine/channel_samples.h"
#include "engine/engine_messages.h"
#include "engine/peak_correction.h"
#include "shared/status_boundary.h"

namespace OviMath::MathLib {

namespace {

std::unique_ptr<SampleStore> makeStore(const _MathLibSetting& mathLib, const _ShortArtifactDetectSetting& peaks,
                                       WindowSchedule& schedule) {
    const PeakGeometry geometry = peakGeometry(mathLib, peaks);
    if (mathLib.bipolar_mode)
        return std::make_unique<BipolarSamples>(geometry, schedule);
    return std::make_unique<ChannelSamples>(mathLib.channels_number, geometry, schedule);
}

} // namespace

MathLib::MathLib(_MathLibSetting mathLib, _ArtifactDetectSetting artifactDetect,
                 _ShortArtifactDetectSetting shortArtifactDetect, _MentalAndSpectralSetting mentalAndSpectral)
    : bipolarMode(mathLib.bipolar_mode),
      samplingRate(mathLib.sampling_rate),
      firstSecSkipped(mathLib.n_first_sec_skipped),
      schedule(mathLib.fft_window, mathLib.sampling_rate / mathLib.process_win_freq),
      store(makeStore(mathLib, shortArtifactDetect, schedule)),
      detectors(mathLib, artifactDetect),
      policy(mathLib, artifactDetect),
      step(mathLib, artifactDetect),
      spectra(mathLib, mentalAndSpectral),
      calibrator(mathLib),
      estimator(mathLib, mentalAndSpectral),
      spectralWindow(static_cast<std::size_t>(mathLib.fft_window), 0.0) {}

MathLib::~MathLib() = default;

void MathLib::pushData(const _RawChannels* samples, std::size_t count) {
    if (count == 0)
        Status::refuse(Messages::countDataIsEmpty);
    store->push(samples, count);
}

void MathLib::pushDataArr(const _RawChannelsArray* samples, std::size_t count) {
    if (count == 0)
        Status::refuse(Messages::countDataIsEmpty);
    store->push(samples, count);
}

void MathLib::processDataArr() {
    while (schedule.nextWindow()) {
        if (bipolarMode)
            processWindow();
        else
            processWindowForChannelArrays();
    }
}

bool MathLib::startUpPeriod(std::size_t storedSamples) const {
    const std::int64_t stored = static_cast<std::int64_t>(storedSamples);
    return stored < schedule.windowLength() || stored < static_cast<std::int64_t>(firstSecSkipped) * samplingRate;
}

void MathLib::processWindow() {
    // A multichannel engine holds no pairs: its bipolar procedure is always
    // in start-up.
    if (startUpPeriod(bipolarMode ? store->size() : 0)) {
        fillZeroValsOnSpectAndMental();
        return;
    }
    policy.windowStarts();
    store->copyVolts(schedule.windowEnd(), 0, 2, detectors.allWindows());
    const std::optional<_SideType> side = policy.sideToAnalyse([this](_SideType s) {
        return detectors.isArtifacted(detectors.sideDetector(s), detectors.window(s == LEFT ? 0 : 1));
    });
    if (side)
        processData(*side);
    else
        fillPreviousValsOnSpectAndMental();
}

void MathLib::processData(_SideType side) {
    const WindowPolicy::CleanWindow records = policy.processData();
    if (records.repeat)
        fillPreviousValsOnSpectAndMental();
    if (!records.compute)
        return;
    // The left side for LEFT, the right one for any other value. A
    // multichannel engine holds no pairs: its window reads as zeros.
    if (bipolarMode)
        store->copyMicrovolts(schedule.windowEnd(), side == LEFT ? 0 : 1, 1, spectralWindow.data());
    else
        std::fill(spectralWindow.begin(), spectralWindow.end(), 0.0);
    computeSpectra(spectralWindow.data());
}

void MathLib::processWindowForChannelArrays() {
    if (startUpPeriod(store->size())) {
        fillZeroValsOnSpectAndMental();
        return;
    }
    policy.windowStarts();
    store->copyVolts(schedule.windowEnd(), 0, store->channelCount(), detectors.allWindows());
    const bool anyClean = detectors.judgeChannels();
    policy.channelsJudged(anyClean, detectors.verdicts(), detectors.qualities());
    if (anyClean)
        processDataForChannel();
    else
        fillPreviousValsOnSpectAndMental();
}

void MathLib::processDataForChannel() {
    store->copyMicrovolts(schedule.windowEnd(), static_cast<std::size_t>(policy.analysedChannel()), 1,
                          spectralWindow.data());
    computeSpectra(spectralWindow.data());
}

void MathLib::computeSpectra(const double* window) {
    spectra.addComputed(step.compute(window, calibrator.isCalibrationFinished()));
    // The calibration sees the divided bands, after the averaged entry; the
    // mental levels see the new entry.
    calibrator.windowComputed(spectra.currentValues());
    estimator.estimateMentalLevels(spectra.instantQueue(), calibrator.baseline());
}

void MathLib::fillZeroValsOnSpectAndMental() {
    spectra.addZero();
    estimator.addZero();
}

void MathLib::fillPreviousValsOnSpectAndMental() {
    spectra.addRepeat();
    estimator.addRepeat();
}

bool MathLib::isArtifactedWin(_SideType side, bool flag) {
    // No window scheduled yet, or one that begins before the oldest sample.
    if (schedule.windowEnd() - schedule.windowLength() < 0)
        return true;
    if (side != LEFT && side != RIGHT)
        return false;
    const std::size_t index = side == LEFT ? 0 : 1;
    // A multichannel engine has no side detectors: the detector interface
    // refuses the null handle before reading the window, and that refusal is
    // raised.
    double* window = detectors.window(bipolarMode ? index : 0);
    if (bipolarMode)
        store->copyVolts(schedule.windowEnd(), index, 1, window);
    return detectors.isArtifacted(detectors.sideDetector(side), window, flag);
}

void MathLib::setHanningWinSpect() {
    step.setHanningWinSpect();
    detectors.setHanningWinSpect();
}

void MathLib::setHammingWinSpect() {
    step.setHammingWinSpect();
    detectors.setHammingWinSpect();
}

} // namespace OviMath::MathLib
