// Correction of short amplitude peaks in the newest window of the microvolt
// buffers, and the engine's query of a side's current window.
//
// A window is cut into sub-windows; the largest sample of each is its peak.
// When peaks beyond the threshold are a minority, each peak above it is
// overwritten with the signal that precedes it. A window where they are the
// majority is left to the artifact detectors.

#include <algorithm>

#include "engine/kalo_math.h"
#include "shared/truncated_int32.h"

namespace OviMath::MathLib {

int findPeak(const double* data, int first, int length) {
    // The running maximum starts at -1.0 and moves only on a strictly larger
    // sample: the first of equal largest samples wins, and a sub-window whose
    // samples all lie at or below -1.0 (or are NaN) has no peak.
    double largest = -1.0;
    int position = -1;
    for (int i = first; i < first + length; ++i)
        if (data[i] > largest) {
            largest = data[i];
            position = i;
        }
    return position;
}

void correctionArtefacts(double* data, const int* peaks, int subWindowCount, const PeakGeometry& geometry) {
    const int n = geometry.window;
    const int area = geometry.area;
    for (int k = 0; k < subWindowCount; ++k) {
        const int p = peaks[k];
        // The value as corrected so far, compared as a double.
        if (p < 0 || !(data[p] > geometry.threshold))
            continue;
        const int start = std::max(0, p - area);
        const int end = std::min(n, p + area);
        if (start >= end)
            continue;
        const int source = std::max(0, p - 3 * area);
        const int distance = start - source;
        // Increasing j: near the window's start the copy reads values it has
        // just written.
        for (int j = start; j < end; ++j)
            data[j] = data[j - distance];
    }
}

bool correctShortPeaks(double* data, int* peaks, const PeakGeometry& geometry) {
    const int subWindowCount = geometry.window / geometry.subWindow;
    int exceeding = 0;
    for (int k = 0; k < subWindowCount; ++k) {
        peaks[k] = findPeak(data, k * geometry.subWindow, geometry.subWindow);
        // Exceeding: the peak's magnitude, truncated to an integer, is beyond
        // the threshold (so 30.5 uV does not exceed 30).
        if (peaks[k] >= 0 && magnitude(truncateToInt32(data[peaks[k]]).value) > geometry.threshold)
            ++exceeding;
    }
    if (exceeding >= subWindowCount / 2)
        return false;
    correctionArtefacts(data, peaks, subWindowCount, geometry);
    return true;
}

void MathLib::processArtefacts() {
    const PeakGeometry geometry{fftWindow, peakWinSamples, peakAreaSamples, peakThreshold};
    const std::size_t n = static_cast<std::size_t>(fftWindow);
    const std::int64_t first = static_cast<std::int64_t>(samplesMicrovolt.size()) - fftWindow;
    std::size_t i = 0;
    samplesMicrovolt.forEach(first, n, [&](const _RawChannels& pair) {
        peakLeft[i] = pair.left;
        peakRight[i] = pair.right;
        ++i;
    });
    const bool left = correctShortPeaks(peakLeft.data(), peakPositionsLeft.data(), geometry);
    const bool right = correctShortPeaks(peakRight.data(), peakPositionsRight.data(), geometry);
    // A side left alone holds exactly what the buffer holds.
    if (!left && !right)
        return;
    i = 0;
    samplesMicrovolt.update(first, n, [&](_RawChannels& pair) {
        if (left)
            pair.left = peakLeft[i];
        if (right)
            pair.right = peakRight[i];
        ++i;
    });
}

void MathLib::processArtefactsChannelsArray() {
    const PeakGeometry geometry{fftWindow, peakWinSamples, peakAreaSamples, peakThreshold};
    const std::size_t n = static_cast<std::size_t>(fftWindow);
    const std::int64_t first = static_cast<std::int64_t>(channelSamplesMicrovolt.size()) - fftWindow;
    for (int c = 0; c < channelsNumber; ++c) {
        std::size_t i = 0;
        channelSamplesMicrovolt.forEach(first, n, [&](const _RawChannelsArray& sample) {
            peakLeft[i++] = sample.channels != nullptr ? sample.channels[c] : 0.0;
        });
        if (!correctShortPeaks(peakLeft.data(), peakPositionsLeft.data(), geometry))
            continue;
        i = 0;
        channelSamplesMicrovolt.update(first, n, [&](_RawChannelsArray& sample) { sample.channels[c] = peakLeft[i++]; });
    }
}

bool MathLib::isArtifactedWin(_SideType side, bool flag) {
    const std::int64_t start = windowEndIndex - fftWindow;
    // No window scheduled yet, or one that begins before the oldest sample.
    if (start < 0)
        return true;
    double* window = nullptr;
    _ArtifactsMath* detector = nullptr;
    if (side == LEFT) {
        window = windowLeft.data();
        detector = leftDetector.get();
        std::size_t i = 0;
        samplesVolt.forEach(start, windowLeft.size(), [&](const _RawChannels& pair) { window[i++] = pair.left; });
    } else if (side == RIGHT) {
        window = windowRight.data();
        detector = rightDetector.get();
        std::size_t i = 0;
        samplesVolt.forEach(start, windowRight.size(), [&](const _RawChannels& pair) { window[i++] = pair.right; });
    } else {
        return false;
    }
    return isArtifacted(detector, window, flag);
}

} // namespace OviMath::MathLib
