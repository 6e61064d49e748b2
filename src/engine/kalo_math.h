#pragma once

// The emotional-state engine: one object per EEG recording. A thin front
// over its parts, each with its own state and header:
//   - the sample store of its mode (BipolarSamples or ChannelSamples):
//     filter chains, buffers in microvolts and volts, peak correction;
//   - the window schedule (WindowSchedule): when a window is due, where it
//     lies;
//   - the artifact detectors and the windows they judge (WindowDetectors);
//   - the window policy (WindowPolicy): side priority, skip period, the
//     analysed channel, the artifact flags;
//   - the spectral step (SpectralStep) and what it feeds: the band records
//     and raw values (SpectralRecords), the calibration (Calibration) and the
//     mental levels (MentalEstimator).
// The front runs each window through them in order and forwards the host's
// setters and readers.
//
// The engine reaches the filters and the detectors only through their C
// interfaces and handles, as any host would. Everything it needs while
// samples flow is allocated at construction: bipolar intake and the window
// path allocate nothing afterwards (multichannel intake allocates its
// per-sample arrays only until the sample buffers first fill).
//
// Not thread-safe on its own: the C interface serialises every call on the
// process-wide lock.

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/calibration.h"
#include "engine/mental_estimator.h"
#include "engine/sample_store.h"
#include "engine/spectral_records.h"
#include "engine/spectral_step.h"
#include "engine/window_detectors.h"
#include "engine/window_policy.h"
#include "engine/window_schedule.h"
#include "kalo_artifacts/types.h"

namespace OviMath::MathLib {

class MathLib {
public:
    // The settings must have passed OviMath::Math::checkSettingMathLib. A
    // detector that cannot be created is raised as its _OutStatus, with
    // everything acquired so far released.
    MathLib(_MathLibSetting mathLib, _ArtifactDetectSetting artifactDetect,
            _ShortArtifactDetectSetting shortArtifactDetect, _MentalAndSpectralSetting mentalAndSpectral);
    MathLib(const MathLib&) = delete;
    MathLib& operator=(const MathLib&) = delete;
    ~MathLib();

    // --- intake and the window schedule ---
    // Each refuses (Status::Refusal, code 1, nothing stored, no filter state
    // changed) a count of 0, the other mode's samples, a null sample array
    // with a positive count, a null channel array, and a block holding a
    // sample that is not a finite number.
    void pushData(const _RawChannels* samples, std::size_t count);
    void pushDataArr(const _RawChannelsArray* samples, std::size_t count);
    // Processes every window that the buffered samples complete.
    void processDataArr();

    // --- window procedures, on the window last scheduled ---
    void processWindow();
    void processWindowForChannelArrays();
    void processData(_SideType side);
    // The spectral step on `window` (fftWindow microvolt samples) and
    // everything it feeds: raw values, band records, calibration, mental
    // levels.
    void computeSpectra(const double* window);
    // A side's detector on the current window (volts); a full judgement,
    // which moves the detector's state as a processed window does.
    bool isArtifactedWin(_SideType side, bool flag);

    // --- setters ---
    void setHanningWinSpect();
    void setHammingWinSpect();
    void setSpectNormalizationByBandsWidth(bool on) { step.setSpectNormalizationByBandsWidth(on); }
    void setSpectNormalizationByCoeffs(bool on) { step.setSpectNormalizationByCoeffs(on); }
    void setWeightsForSpectra(_SpectralDataPercents weights) { step.setWeightsForSpectra(weights); }
    void setZeroSpectWaves(bool on, _SpectralData mask) { spectra.setZeroSpectWaves(on, mask); }
    void setCallibrationLength(int seconds) { calibrator.setCallibrationLength(seconds); }
    void startCalibration() { calibrator.startCalibration(); }
    void setMentalEstimationMode(bool mode) { estimator.setMentalEstimationMode(mode); }
    void setPrioritySide(_SideType side) { policy.setPrioritySide(side); }
    void setSkipWinsAfterArtifact(int windows) { policy.setSkipWinsAfterArtifact(windows); }

    // --- readers ---
    void readSpectralDataPercentsArr(_SpectralDataPercents* out, int& count) {
        spectra.readSpectralDataPercentsArr(out, count);
    }
    void readMentalValsArr(_MindData* out, int& count) { estimator.readMentalValsArr(out, count); }
    void readAverageMentalData(int n, _MindData& out) const { estimator.readAverageMentalData(n, out); }
    void readRawSpectVals(_RawSpectVals& out) const { spectra.readRawSpectVals(out); }
    int spectralDataPercentsCount() const { return spectra.spectralDataPercentsCount(); }
    int mentalDataCount() const { return estimator.mentalDataCount(); }
    bool isCalibrationFinished() const { return calibrator.isCalibrationFinished(); }
    int getCallibrationPercents() const { return calibrator.getCallibrationPercents(); }
    bool isArtifactedSequence() const { return policy.isArtifactedSequence(); }
    bool isBothSidesArtifacted() const { return policy.isBothSidesArtifacted(); }

    // Smallest transform length for n samples among 32 .. 524288; stores it
    // in the spectral step's fftSize. When none qualifies it keeps its value.
    int getNearestPow2(int n) { return step.getNearestPow2(n); }

    // The parts, read through their own interfaces.
    const SampleStore& sampleStore() const { return *store; }
    const WindowSchedule& windowSchedule() const { return schedule; }
    const WindowDetectors& windowDetectors() const { return detectors; }
    const WindowPolicy& windowPolicy() const { return policy; }
    const SpectralStep& spectralStep() const { return step; }
    const SpectralRecords& spectralRecords() const { return spectra; }
    const Calibration& calibration() const { return calibrator; }
    const MentalEstimator& mentalEstimator() const { return estimator; }

private:
    // The first seconds, while the mode's sample buffers hold fewer than a
    // window or firstSecSkipped seconds of samples: zero records, no
    // detector asked.
    bool startUpPeriod(std::size_t storedSamples) const;
    // The spectral step on channelForAnalysis.
    void processDataForChannel();
    void fillZeroValsOnSpectAndMental();
    void fillPreviousValsOnSpectAndMental();

    bool bipolarMode;
    int samplingRate;
    int firstSecSkipped;
    WindowSchedule schedule;
    std::unique_ptr<SampleStore> store;
    WindowDetectors detectors;
    WindowPolicy policy;
    SpectralStep step;
    SpectralRecords spectra;
    Calibration calibrator;
    MentalEstimator estimator;
    std::vector<double> spectralWindow; // the window the spectral step analyses, microvolts
};

} // namespace OviMath::MathLib
