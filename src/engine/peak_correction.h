#pragma once

// Correction of short amplitude peaks. A window is cut into sub-windows; the
// largest sample of each is its peak. When peaks beyond the threshold are a
// minority, each peak above it is overwritten with the signal that precedes
// it. A window where they are the majority is left to the artifact
// detectors.

#include <cstddef>
#include <vector>

#include "kalo_artifacts/types.h"
#include "shared/circular_buffer.h"

namespace OviMath::MathLib {

// Where the correction looks for peaks in one window: a sub-window of
// `subWindow` samples holds at most one peak, and `area` samples either side
// of it are replaced.
struct PeakGeometry {
    int window;    // N
    int subWindow; // W
    int area;      // A
    int threshold; // T, microvolts
};

// The geometry of the settings: both divisions drop the remainder (at
// 300 Hz a sample lasts "3 ms", so 200 ms are 66 samples).
PeakGeometry peakGeometry(const _MathLibSetting& mathLib, const _ShortArtifactDetectSetting& shortArtifactDetect);

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

// Corrects the newest window of a microvolt sample buffer, each channel on
// its own, with the values of correctShortPeaks on the channel's window.
// Runs after every push, so it first finds only each sub-window's largest
// value, every channel in one sweep; a channel is copied out, corrected and
// written back only when the correction will change it: when fewer than
// half its peaks exceed the threshold and at least one lies above it. Its
// scratch arrays are sized at construction: correcting allocates nothing.
class PeakCorrector {
public:
    PeakCorrector(const PeakGeometry& geometry, std::size_t channels);

    // The buffer holds more than geometry.window samples.
    void correctNewestWindow(Buffer::CircularBuffer<_RawChannels>& pairs);
    void correctNewestWindow(Buffer::CircularBuffer<_RawChannelsArray>& samples);

    const PeakGeometry& geometry() const { return peaks; }

private:
    template <class Sample>
    void correctChannels(Buffer::CircularBuffer<Sample>& samples);
    void findMaxima(const Buffer::CircularBuffer<_RawChannels>& pairs, std::int64_t first);
    void findMaxima(const Buffer::CircularBuffer<_RawChannelsArray>& samples, std::int64_t first);

    PeakGeometry peaks;
    std::size_t channelCount;
    int subWindowCount;
    // maxima[c * subWindowCount + k]: the largest value of channel c in
    // sub-window k (-1.0 where none lies above -1.0).
    std::vector<double> maxima;
    std::vector<double> running; // each channel's maximum while a sub-window is swept
    std::vector<double> window;  // one channel's copy of the window
    std::vector<int> peakPositions;
};

} // namespace OviMath::MathLib
