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

ChangedRange correctionArtefacts(double* data, const int* peaks, int subWindowCount, const PeakGeometry& geometry) {
    const int n = geometry.window;
    const int area = geometry.area;
    ChangedRange changed{n, 0};
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
        changed.first = std::min(changed.first, start);
        changed.end = std::max(changed.end, end);
    }
    return changed;
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

// The engine's passes run after every push, so they first find only each
// sub-window's largest value, in one sweep; a side is copied out, corrected
// and written back only when the correction will change it: when fewer than
// half its peaks exceed the threshold and at least one lies above it. The
// values are those of correctShortPeaks on the copied window.

namespace {

// Both sides of a pair in one register: lane 0 left, lane 1 right, so each
// lane runs the sequential search of one side. Loads and stores need only
// 8-byte alignment. (A typedef: clang ignores a lowered alignment on a
// using-declaration, and would then assume 16 bytes.)
using Lanes = double __attribute__((vector_size(16)));
typedef double UnalignedLanes __attribute__((vector_size(16), aligned(8), may_alias));

// Whether the correction of a window changes it, from the largest value of
// each sub-window (-1.0 where none lies above -1.0).
bool changesWindow(const double* maxima, int subWindowCount, int threshold) {
    int exceeding = 0;
    bool above = false;
    for (int k = 0; k < subWindowCount; ++k) {
        exceeding += maxima[k] > -1.0 && magnitude(truncateToInt32(maxima[k]).value) > threshold;
        above |= maxima[k] > threshold;
    }
    return exceeding < subWindowCount / 2 && above;
}

// Corrects a copied window whose sub-window maxima are known: each peak is
// the first sample equal to its sub-window's largest value, which is where
// the sequential search stops.
ChangedRange correctWithMaxima(double* data, const double* maxima, int* peaks, const PeakGeometry& geometry) {
    const int subWindowCount = geometry.window / geometry.subWindow;
    for (int k = 0; k < subWindowCount; ++k) {
        peaks[k] = -1;
        if (!(maxima[k] > -1.0))
            continue;
        for (int i = k * geometry.subWindow; peaks[k] < 0; ++i)
            if (data[i] == maxima[k])
                peaks[k] = i;
    }
    return correctionArtefacts(data, peaks, subWindowCount, geometry);
}

} // namespace

void MathLib::processArtefacts() {
    const PeakGeometry geometry{fftWindow, peakWinSamples, peakAreaSamples, peakThreshold};
    const int subWindowCount = fftWindow / peakWinSamples;
    const std::size_t n = static_cast<std::size_t>(fftWindow);
    const std::int64_t first = static_cast<std::int64_t>(samplesMicrovolt.size()) - fftWindow;
    for (int k = 0; k < subWindowCount; ++k) {
        // Four running maxima per side break the chain of dependent
        // comparisons. The largest value does not depend on the order
        // (+0.0 and -0.0 aside, which the search for its position treats
        // alike), and NaN never wins a comparison.
        Lanes largest[4] = {{-1.0, -1.0}, {-1.0, -1.0}, {-1.0, -1.0}, {-1.0, -1.0}};
        samplesMicrovolt.forEachRun(first + static_cast<std::int64_t>(k) * peakWinSamples,
                                    static_cast<std::size_t>(peakWinSamples),
                                    [&](const _RawChannels* pairs, std::size_t count) {
                                        const auto* v = reinterpret_cast<const UnalignedLanes*>(pairs);
                                        std::size_t i = 0;
                                        for (; i + 4 <= count; i += 4)
                                            for (std::size_t a = 0; a < 4; ++a)
                                                largest[a] = v[i + a] > largest[a] ? v[i + a] : largest[a];
                                        for (; i < count; ++i)
                                            largest[0] = v[i] > largest[0] ? v[i] : largest[0];
                                    });
        for (std::size_t a = 1; a < 4; ++a)
            largest[0] = largest[a] > largest[0] ? largest[a] : largest[0];
        peakMaximaLeft[static_cast<std::size_t>(k)] = largest[0][0];
        peakMaximaRight[static_cast<std::size_t>(k)] = largest[0][1];
    }
    // Each side that changes is copied out, corrected, and the stretch the
    // correction rewrote is written back.
    for (const bool isLeft : {true, false}) {
        const std::vector<double>* maxima = isLeft ? &peakMaximaLeft : &peakMaximaRight;
        if (!changesWindow(maxima->data(), subWindowCount, peakThreshold))
            continue;
        double* side = peakLeft.data();
        std::size_t i = 0;
        samplesMicrovolt.forEachRun(first, n, [&](const _RawChannels* pairs, std::size_t count) {
            for (std::size_t j = 0; j < count; ++j)
                side[i++] = isLeft ? pairs[j].left : pairs[j].right;
        });
        const ChangedRange changed = correctWithMaxima(side, maxima->data(), peakPositionsLeft.data(), geometry);
        if (changed.first >= changed.end)
            continue;
        i = static_cast<std::size_t>(changed.first);
        samplesMicrovolt.updateRuns(first + changed.first, static_cast<std::size_t>(changed.end - changed.first),
                                    [&](_RawChannels* pairs, std::size_t count) {
                                        for (std::size_t j = 0; j < count; ++j)
                                            (isLeft ? pairs[j].left : pairs[j].right) = side[i++];
                                    });
    }
}

void MathLib::processArtefactsChannelsArray() {
    const PeakGeometry geometry{fftWindow, peakWinSamples, peakAreaSamples, peakThreshold};
    const int subWindowCount = fftWindow / peakWinSamples;
    const std::size_t n = static_cast<std::size_t>(fftWindow);
    const std::size_t channels = static_cast<std::size_t>(channelsNumber);
    const std::int64_t first = static_cast<std::int64_t>(channelSamplesMicrovolt.size()) - fftWindow;
    // channelMaxima[k * channels + c]: the largest value of channel c in
    // sub-window k, every channel found in the same sweep.
    std::fill(channelMaxima.begin(), channelMaxima.end(), -1.0);
    for (int k = 0; k < subWindowCount; ++k) {
        double* largest = channelMaxima.data() + static_cast<std::size_t>(k) * channels;
        channelSamplesMicrovolt.forEachRun(
            first + static_cast<std::int64_t>(k) * peakWinSamples, static_cast<std::size_t>(peakWinSamples),
            [&](const _RawChannelsArray* samples, std::size_t count) {
                for (std::size_t i = 0; i < count; ++i)
                    for (std::size_t c = 0; c < channels; ++c)
                        largest[c] = samples[i].channels[c] > largest[c] ? samples[i].channels[c] : largest[c];
            });
    }
    for (std::size_t c = 0; c < channels; ++c) {
        for (int k = 0; k < subWindowCount; ++k)
            peakMaximaLeft[static_cast<std::size_t>(k)] = channelMaxima[static_cast<std::size_t>(k) * channels + c];
        if (!changesWindow(peakMaximaLeft.data(), subWindowCount, peakThreshold))
            continue;
        std::size_t i = 0;
        channelSamplesMicrovolt.forEachRun(first, n, [&](const _RawChannelsArray* samples, std::size_t count) {
            for (std::size_t j = 0; j < count; ++j)
                peakLeft[i++] = samples[j].channels[c];
        });
        const ChangedRange changed =
            correctWithMaxima(peakLeft.data(), peakMaximaLeft.data(), peakPositionsLeft.data(), geometry);
        if (changed.first >= changed.end)
            continue;
        i = static_cast<std::size_t>(changed.first);
        channelSamplesMicrovolt.updateRuns(first + changed.first, static_cast<std::size_t>(changed.end - changed.first),
                                           [&](_RawChannelsArray* samples, std::size_t count) {
                                               for (std::size_t j = 0; j < count; ++j)
                                                   samples[j].channels[c] = peakLeft[i++];
                                           });
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
