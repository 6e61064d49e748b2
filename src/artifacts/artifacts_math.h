#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "kalo_artifacts/detector.h"
#include "kalo_artifacts/filters.h"
#include "shared/circular_buffer.h"
#include "shared/fft.h"
#include "shared/filter_handles.h"
#include "shared/spectral_window.h"

namespace OviMath::Artifacts {

// Only the value 1 means anything: the 62.5 Hz band-stop joins the input chain.
enum class Resistance : int { Off = 0, On = 1 };

// The sample position after one more window of `step` samples. Positions
// wrap within the non-negative integers, so a very long run never overflows
// and never produces -1, which means "no artifact in progress".
int advancedSamplePosition(int position, int step);

// Judges windows of EEG samples: an amplitude test (too many samples too
// large or too flat) and a spectral test (total power, or the power of the
// 14-25 Hz band, out of bounds). Keeps a signal-quality percentage and the
// positions where artifacts began and ended. Samples arrive in volts; every
// threshold is in microvolts.
class ArtifactsMath {
public:
    // The settings must be valid (Settings::checkArtifactsMathLibSetting).
    ArtifactsMath(int id, Types::_ArtifactSetting settings);
    ArtifactsMath(const ArtifactsMath&) = delete;
    ArtifactsMath& operator=(const ArtifactsMath&) = delete;
    ~ArtifactsMath();

    // What construction fixes.
    struct Geometry {
        int detectorId;
        int samplingRate;
        int step; // samples between windows
        int windowLength;
        int fftSize;
        double binsPerHz;
        std::uint64_t spectrumBins; // the bins below 50 Hz
    };

    // Stores and returns the transform length for a window: the smallest of
    // the candidate powers of two not below it, never one 100000 or more
    // above it. When none qualifies the length in force stays (0 before the
    // first).
    int getNearestPow2(int windowLength);

    void initArtifactDetect(int amplitudeThreshold, int bandPowerThreshold, int badSamplesPercent,
                            int qualityHistoryLength);
    // Builds the input chain through the filter C interface, replacing any
    // earlier one.
    void initFilters(int mainsFrequencyHz, Resistance resistance);
    void setHanningWinSpect() { useHanning = true; }
    void setHammingWinSpect() { useHamming = true; }
    void setArtifactDetectByTotalPower(int threshold);
    // Forces the clean state without recording an end.
    void resetArtifactLocation();

    // Judges one window of `count` samples (volts), filtering them in place
    // when the input chain exists; writes the quality percentage to *quality
    // and returns whether the window is artifacted. A negative count counts
    // as 0.
    bool isArtifactedWin(double* samples, int count, bool unused, int* quality);
    // The spectral test; also updates the quality. Called once per window.
    bool checkSpectralArtifacts(const double* samples, int count);
    // Empties the records and releases the transform buffer (rebuilt when
    // the next window needs it).
    void clearData();
    // Copies the recorded starts and ends, oldest first, to `out` (room for
    // artifactRecords().size() of them; null when there are none), then
    // clears as clearData does. Returns how many were copied.
    std::size_t drainArtifactRecords(Types::_ArtifactInfo* out);

    const Geometry& geometry() const { return fixed; }
    Types::_ArtifactInfo currentArtifact() const { return current; }
    // The recorded starts and ends, oldest first; at most one window length
    // of them (the oldest are overwritten).
    const Buffer::CircularBuffer<Types::_ArtifactInfo>& artifactRecords() const { return records; }
    double signalQuality() const { return quality; }
    // The sample position of the latest window judged.
    int position() const { return samplePosition; }
    std::size_t filterCount() const { return chainFilters; }
    // The powers the spectral test measured on the latest window.
    struct Powers {
        double total;
        double band; // 14 to 25 Hz
    };
    Powers powers() const { return lastPowers; }

private:
    void recordChange();
    void prepareSpectrumInput();
    // The weights of the window function in force for a window of m
    // samples (all 1 without one).
    const double* windowWeights(int m);
    // The spectrum's input for sample i: the weighted microvolts, or 0 for a
    // sample the amplitude test excludes.
    double spectrumValue(double microvolts, const double* weights, int i) const;
    // Transforms the input of a window of m samples and judges its powers.
    bool spectralTest(int m);
    void updateQuality(double powerScore);
    std::size_t longestQualityHistory() const;

    static constexpr double bandLowHz = 14.0;
    static constexpr double bandHighHz = 25.0;

    // Tuning.
    int amplitudeThreshold = 150; // microvolts
    int bandPowerThreshold = 50000;
    int badSamplesPercent = 10;
    int qualityHistoryLength = 100; // windows
    int totalPowerThreshold = 30000000;
    bool detectByTotalPower = false;
    bool useHanning = false;
    bool useHamming = false;

    Geometry fixed;

    // Running state.
    int samplePosition = 0;
    Types::_ArtifactInfo current{-1, true, 0};
    Buffer::CircularBuffer<Types::_ArtifactInfo> records;
    // The newest scores, at most longestQualityHistory() of them: grows until
    // it holds that many, then overwrites its oldest entry at qualityOldest.
    // Storage for the usual lengths is reserved up front, so judging windows
    // allocates nothing.
    std::vector<double> qualityHistory;
    std::size_t qualityOldest = 0;
    double quality = 0.0;
    Powers lastPowers{0.0, 0.0};
    FilterListHandle filterChain;
    std::size_t chainFilters = 0;
    ComplexArray fftInput;
    // The weights of a full window, computed once; a shorter one (a host's
    // short count) gets weights of its own length.
    OviMath::Functions::WindowWeights fullWindowWeights;
    std::vector<double> shortWindowWeights;
    // Taken at construction, so that judging a window never builds one.
    const OviMath::Functions::FftPlan* fftPlan;
};

} // namespace OviMath::Artifacts
