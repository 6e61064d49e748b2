#pragma once

// The emotional-state engine: one object per EEG recording. It filters the
// pushed samples, corrects short peaks, asks its artifact detectors about
// every window, turns clean windows into band shares, calibrates on request,
// estimates attention and relaxation, and keeps the results in queues that
// the host drains.
//
// The engine reaches the filters and the detectors only through their C
// interfaces and handles, as any host would. Everything it needs while
// samples flow is allocated at construction: bipolar intake and the window
// path allocate nothing afterwards (multichannel intake allocates its
// per-sample arrays only until the sample buffers first fill).
//
// Not thread-safe on its own: the C interface serialises every call on the
// process-wide lock.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "kalo_artifacts/detector.h"
#include "kalo_artifacts/filters.h"
#include "kalo_artifacts/types.h"
#include "shared/circular_buffer.h"
#include "shared/fft.h"

namespace OviMath::MathLib {

// The five EEG bands, in the order of every band record.
enum Band : int { Delta = 0, Theta, Alpha, Beta, Gamma, BandCount };

// Where the correction of short peaks looks for peaks in one window: a
// sub-window of `subWindow` samples holds at most one peak, and `area`
// samples either side of it are replaced.
struct PeakGeometry {
    int window;    // N
    int subWindow; // W
    int area;      // A
    int threshold; // T, microvolts
};

// The position of the largest sample of data[first .. first + length - 1]
// above -1.0 (the first of equal largest ones), or -1 when no sample exceeds
// -1.0: such a sub-window has no peak.
int findPeak(const double* data, int first, int length);

// Finds the peak of each sub-window of `data` (N microvolt values) and, when
// fewer than half the sub-windows have a peak beyond the threshold, replaces
// the stretch around every peak above it with the signal before it. `peaks`
// has room for N / W entries. Returns whether the window was corrected.
bool correctShortPeaks(double* data, int* peaks, const PeakGeometry& geometry);

// Positions first .. end - 1 of a window; empty when first >= end.
struct ChangedRange {
    int first;
    int end;
};

// The replacement step alone: for each sub-window k whose peak peaks[k] is
// above the threshold, data[j] = data[j - d] for j from max(0, p - A) to
// min(N, p + A) - 1 in increasing order, d being the distance to max(0,
// p - 3A). A peak of -1 means none. Returns the span of positions written.
ChangedRange correctionArtefacts(double* data, const int* peaks, int subWindowCount, const PeakGeometry& geometry);

// The four mental levels of one window from the band averages of the last
// few seconds and the calibrated alpha and beta shares. Relative levels:
// (share - calibrated) / (top - calibrated) x 100 with tops 0.85 (beta,
// attention) and 0.95 (alpha, relaxation), 0 below the baseline or without
// one, not clamped. Instantaneous levels, clamped to 0..100: the beta and
// alpha shares in percent, or with `alternativeMode` 1 - alpha/beta and
// alpha / (2 theta + beta).
_MindData mentalLevels(double alphaMean, double betaMean, double thetaMean, _RawSpectVals calibrated,
                       bool alternativeMode);

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
    // changed) a null sample array with a positive count, a null channel
    // array, and a block holding a sample that is not a finite number.
    void pushData(const _RawChannels* samples, std::size_t count);
    void pushDataArr(const _RawChannelsArray* samples, std::size_t count);
    // Processes every window that the buffered samples complete.
    void processDataArr();

    // --- window procedures ---
    void processWindow();
    void processWindowForChannelArrays();
    void processData(_SideType side);

    // --- artifacts ---
    void processArtefacts();
    void processArtefactsChannelsArray();
    bool isArtifactedWin(_SideType side, bool flag);

    // --- setters ---
    void setHanningWinSpect();
    void setHammingWinSpect();
    void setSpectNormalizationByBandsWidth(bool on) { normalizeByBandsWidth = on; }
    void setSpectNormalizationByCoeffs(bool on) { normalizeByCoeffs = on; }
    // Refuses (code 1) weights that are not finite numbers of at least
    // minimumSpectWeight; the weights in force stay.
    void setWeightsForSpectra(_SpectralDataPercents weights);
    // Refuses (code 1) a negative weight; the weighting in force stays.
    void setZeroSpectWaves(bool on, _SpectralData mask);
    // Refuses (code 1) a length of 0 or fewer seconds, or one whose window
    // count leaves 32 bits; the length in force stays.
    void setCallibrationLength(int seconds);
    void startCalibration() { calibrating = true; }
    void setMentalEstimationMode(bool mode) { mentalEstimationMode = mode; }
    // Refuses (code 1) a value other than LEFT, RIGHT or NONE; the policy in
    // force stays.
    void setPrioritySide(_SideType side);
    // Refuses (code 1) a negative count.
    void setSkipWinsAfterArtifact(int windows);

    // --- readers ---
    void readSpectralDataPercentsArr(_SpectralDataPercents* out, int& count);
    void readMentalValsArr(_MindData* out, int& count);
    void readAverageMentalData(int n, _MindData& out) const;
    void readRawSpectVals(_RawSpectVals& out) const { out = rawSpectVals; }
    int spectralDataPercentsCount() const { return static_cast<int>(averagedSpectra.size()); }
    int mentalDataCount() const { return static_cast<int>(averagedMental.size()); }
    bool isCalibrationFinished() const { return calibrationFinished; }
    int getCallibrationPercents() const { return calibrationPercents; }
    bool isArtifactedSequence() const { return artifactedSequence; }
    bool isBothSidesArtifacted() const { return bothSidesArtifacted; }

    // Smallest transform length for n samples among 32 .. 524288; stores it
    // in fftSize. When none qualifies fftSize keeps its value.
    int getNearestPow2(int n);

    // The smallest spectral weight accepted: smaller ones could push band
    // values past the largest double.
    static constexpr double minimumSpectWeight = 1e-12;

    // --- inspection, for tests and tools ---
    struct Geometry {
        int samplingRate, fftWindow, windowShift, fftSize, calibrationLength;
        int averagingWinsCount, instantWinsCount, artifactSequenceWins;
        int peakWinSamples, peakAreaSamples, peakThreshold;
        double binsPerHz;
        std::uint64_t bins50Hz;
    };
    Geometry geometry() const;
    bool bipolar() const { return bipolarMode; }
    std::int64_t windowEnd() const { return windowEndIndex; }
    std::int64_t lastSample() const { return lastSampleIndex; }
    const Buffer::CircularBuffer<_RawChannels>& microvoltSamples() const { return samplesMicrovolt; }
    const Buffer::CircularBuffer<_RawChannels>& voltSamples() const { return samplesVolt; }
    // Channel `channel` at `position` of the multichannel buffers; 0.0 where
    // no sample is stored.
    double channelMicrovolts(std::int64_t position, int channel) const;
    double channelVolts(std::int64_t position, int channel) const;
    std::size_t channelSampleCount() const { return channelSamplesMicrovolt.size(); }
    const Buffer::CircularBuffer<_SpectralDataPercents>& instantSpectraQueue() const { return instantSpectra; }
    const Buffer::CircularBuffer<_MindData>& instantMentalQueue() const { return instantMental; }
    _SpectralDataPercents currentSpectraValues() const { return currentSpectra; }
    _MindData currentMindValues() const { return currentMind; }
    _RawSpectVals calibratedShareValues() const { return calibratedShares; }
    int analysedChannel() const { return channelForAnalysis; }
    int lastChannelQuality() const { return channelQuality; }
    _SideType currentSideInUse() const { return currentSide; }
    int artifactedWindowsInRow() const { return artifactedWinsInRow; }
    int windowsStillToSkip() const { return winsToSkip; }
    std::size_t detectorCount() const;
    // The detector that judges a side's windows (LEFT, RIGHT; null in
    // multichannel mode) or a channel's (multichannel mode).
    _ArtifactsMath* sideDetector(_SideType side) const;
    _ArtifactsMath* channelDetector(int channel) const;
    std::size_t filterListCount() const;

    // Replaces the per-window procedures: the schedule then hands each due
    // window's end position to `hook` and nothing else happens. For tests and
    // benchmarks of intake and scheduling on their own; an empty function
    // restores the procedures.
    void setWindowHookForTesting(std::function<void(std::int64_t windowEnd)> hook) { windowHook = std::move(hook); }

private:
    struct FilterListDeleter {
        void operator()(TFilterListHandle* list) const;
    };
    struct FilterDeleter {
        void operator()(TFilterHandle* filter) const;
    };
    struct DetectorDeleter {
        void operator()(_ArtifactsMath* detector) const;
    };
    using FilterList = std::unique_ptr<TFilterListHandle, FilterListDeleter>;
    using Filter = std::unique_ptr<TFilterHandle, FilterDeleter>;
    using Detector = std::unique_ptr<_ArtifactsMath, DetectorDeleter>;

    // One channel's filter chain: the 50, 60 and 62.5 Hz band-stops, the
    // 10 Hz high-pass and the 30 Hz low-pass, in that order.
    struct Chain {
        FilterList list;
        std::array<Filter, 5> filters;
    };
    static Chain makeChain();
    static Detector makeDetector(int number, const _MathLibSetting& settings);
    void setUpDetector(_ArtifactsMath* detector, const _ArtifactDetectSetting& settings);

    // Intake helpers.
    void refuseUnusableSamples(const _RawChannels* samples, std::size_t count) const;
    void refuseUnusableSamples(const _RawChannelsArray* samples, std::size_t count) const;
    void reserveChannelSlots(std::size_t n);
    void storeChannelSample(std::size_t chunkIndex);
    double* channelChunk(int channel) { return filterChunk.data() + static_cast<std::size_t>(channel) * filterChunkSize; }
    void afterSamplesStored(std::size_t count, bool full, std::size_t stored);

    // Window helpers.
    // Copies the window ending at windowEndIndex of a side's values into
    // `left` and / or `right` (null: not wanted); zeros where no sample is
    // stored.
    void copyWindow(const Buffer::CircularBuffer<_RawChannels>& samples, double* left, double* right) const;
    // Hands visit(position, run, count) each run of stored samples of the
    // window ending at windowEndIndex, `position` being run[0]'s place in
    // the window. Places before the oldest or after the newest sample are
    // not visited.
    template <class Sample, class Visit>
    void forEachStoredWindowRun(const Buffer::CircularBuffer<Sample>& samples, Visit&& visit) const {
        const std::int64_t start = windowEndIndex - fftWindow;
        std::size_t position = static_cast<std::size_t>(std::clamp<std::int64_t>(-start, 0, fftWindow));
        samples.forEachRun(start, static_cast<std::size_t>(fftWindow), [&](const Sample* run, std::size_t count) {
            visit(position, run, count);
            position += count;
        });
    }
    bool startUpPeriod(std::size_t storedSamples) const;
    // One detector judgement of `window` (volts, fftWindow samples); a failed
    // call is raised as its status.
    bool isArtifacted(_ArtifactsMath* detector, double* window, bool flag = false);
    // Every side or channel artifacted: repeat the previous records, count
    // the run, and report a sequence once it is long enough.
    void artifactedWindow();
    void artifactedSideWindow();
    void processWindowLeftPriority();
    void processWindowRightPriority();
    void processWindowPreferring(_SideType preferred);
    void processWindowNoPriority();
    void processDataForChannel();
    void fillZeroValsOnSpectAndMental();
    void fillPreviousValsOnSpectAndMental();

    // The spectral step on the window in `spectralWindow`.
    void computeSpectra();
    void processDataRawAlphaBeta();
    void processDataCallibration();
    void refreshSpectralValues();
    void estimateMentalLevels();
    void refreshMentalValues();

    // Filters, detectors.
    Chain leftChain, rightChain;
    std::vector<Chain> channelChains;
    Detector leftDetector, rightDetector;
    std::vector<Detector> channelDetectors;

    // Sample buffers. The multichannel ones hold, per slot, a pointer into an
    // array owned by channelSlots*; once the buffers are full the oldest
    // slot's arrays are reused.
    Buffer::CircularBuffer<_RawChannels> samplesMicrovolt, samplesVolt;
    Buffer::CircularBuffer<_RawChannelsArray> channelSamplesMicrovolt, channelSamplesVolt;
    std::vector<std::unique_ptr<double[]>> channelSlotsMicrovolt, channelSlotsVolt;

    // Result queues.
    Buffer::CircularBuffer<_SpectralDataPercents> averagedSpectra, instantSpectra;
    Buffer::CircularBuffer<_RawSpectVals> rawAlphaBetaHistory;
    std::vector<_RawSpectVals> calibrationShares;
    Buffer::CircularBuffer<_MindData> averagedMental, instantMental;

    // Work arrays, sized at construction. windowLeft/Right and
    // channelWindows (channel after channel) hold the current window for the
    // detectors (volts), spectralWindow the window the
    // spectral step analyses (microvolts); peakLeft/Right are the peak-correction copies and
    // peakPositions their sub-windows' peaks; channelVerdicts and
    // channelQualities the multichannel detector results of one window.
    std::vector<double> windowLeft, windowRight, channelWindows, spectralWindow;
    std::vector<double> peakLeft, peakRight;
    std::vector<int> peakPositionsLeft, peakPositionsRight;
    std::vector<double> peakMaximaLeft, peakMaximaRight, channelMaxima;
    // Intake filters chunks of this many samples per side or channel.
    static constexpr std::size_t filterChunkSize = 256;
    std::vector<double> filterChunk;
    std::vector<char> channelVerdicts;
    std::vector<double> channelQualities;

    // Spectral step. `spectrum` is the transform array (fftSize entries);
    // the window weights and each examined bin's band are the same for every
    // window and computed once.
    ComplexArray spectrum;
    const Functions::FftPlan* fftPlan = nullptr; // shared by every user of this length
    std::vector<double> unitWeights, hammingWeights, hanningWeights;
    std::vector<signed char> binBand; // band of bins 0 .. bins50Hz - 1, -1 for none

    // Records.
    _RawSpectVals calibratedShares{};
    _RawSpectVals rawSpectVals{};
    _SpectralData zeroSpectWavesMask{};
    _SpectralDataPercents spectWeights{1.0, 1.0, 1.0, 1.0, 1.0};
    _SpectralDataPercents currentSpectra{};
    _MindData currentMind{};
    _SideType currentSide = LEFT;
    _SideType prioritySide = NONE;

    // Settings and derived values.
    int samplingRate;
    int channelsNumber;
    int channelForAnalysis;
    int processWinFreq;
    int fftWindow;
    int windowShift;
    // Positions in the sample buffers; 64 bits because a host may push for
    // months without processing, which moves windowEndIndex far below 0.
    std::int64_t windowEndIndex;
    std::int64_t lastSampleIndex = 0;
    int firstSecSkipped;
    int calibrationLength;
    int channelQuality = 0;
    int calibrationPercents = 0;
    int artifactedWinsInRow = 0;
    int calibrationWinsDone = 0;
    int averagingWinsCount;
    int instantWinsCount;
    int artifactSequenceWins;
    int amplitudeThreshold;
    int winsToSkip = 5;
    int skipWinsAfterArtifact = 10;
    int peakWinSamples;
    int peakAreaSamples;
    int peakThreshold;
    int fftSize = 0;
    double binsPerHz;
    std::uint64_t bins50Hz;
    static constexpr std::array<int, BandCount> bandBorders{4, 7, 14, 25, 50};
    std::array<double, BandCount> bandWidths{};
    bool bipolarMode;
    bool usePowerSpectrum;
    bool hanningWinSpect = false;
    bool hammingWinSpect = false;
    bool calibrating = false;
    bool calibrationFinished = false;
    bool bothSidesArtifacted = false;
    bool artifactedSequence = false;
    bool zeroSpectWaves = false;
    bool mentalEstimationMode = false;
    bool normalizeByCoeffs = false;
    bool normalizeByBandsWidth = true;

    std::function<void(std::int64_t)> windowHook;
};

} // namespace OviMath::MathLib
