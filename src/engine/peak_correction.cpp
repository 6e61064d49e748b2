#include "engine/peak_correction.h"

#include <algorithm>

#include "engine/window_schedule.h"
#include "shared/truncated_int32.h"
#include "shared/two_lanes.h"

namespace OviMath::MathLib {

PeakGeometry peakGeometry(const _MathLibSetting& mathLib, const _ShortArtifactDetectSetting& shortArtifactDetect) {
    const int msPerSample = 1000 / mathLib.sampling_rate;
    return {mathLib.fft_window, shortArtifactDetect.peak_win_ms / msPerSample,
            shortArtifactDetect.peak_area_ms / msPerSample, shortArtifactDetect.peak_threshold};
}

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

namespace {

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
// the sequential search stops. The sub-window holds that value, so the
// search ends within it.
ChangedRange correctWithMaxima(double* data, const double* maxima, int* peaks, const PeakGeometry& geometry) {
    const int subWindowCount = geometry.window / geometry.subWindow;
    for (int k = 0; k < subWindowCount; ++k) {
        peaks[k] = -1;
        if (!(maxima[k] > -1.0))
            continue;
        const double largest = maxima[k];
        int i = k * geometry.subWindow;
        while (data[i] != largest) // NaN goes on, as it never equals
            ++i;
        peaks[k] = i;
    }
    return correctionArtefacts(data, peaks, subWindowCount, geometry);
}

} // namespace

PeakCorrector::PeakCorrector(const PeakGeometry& geometry, std::size_t channels)
    : peaks(geometry),
      channelCount(channels),
      subWindowCount(geometry.window / geometry.subWindow),
      maxima(channels * static_cast<std::size_t>(subWindowCount), -1.0),
      running(channels, -1.0),
      window(static_cast<std::size_t>(geometry.window), 0.0),
      peakPositions(static_cast<std::size_t>(subWindowCount), -1) {}

void PeakCorrector::correctNewestWindow(Buffer::CircularBuffer<_RawChannels>& pairs) { correctChannels(pairs); }

void PeakCorrector::correctNewestWindow(Buffer::CircularBuffer<_RawChannelsArray>& samples) {
    correctChannels(samples);
}

void PeakCorrector::findMaxima(const Buffer::CircularBuffer<_RawChannels>& pairs, std::int64_t first) {
    // Both sides of a pair in one register, lane 0 left and lane 1 right, so
    // each lane runs the sequential search of one side.
    for (int k = 0; k < subWindowCount; ++k) {
        // Four running maxima per side break the chain of dependent
        // comparisons. The largest value does not depend on the order
        // (+0.0 and -0.0 aside, which the search for its position treats
        // alike), and NaN never wins a comparison.
        Lanes largest[4] = {{-1.0, -1.0}, {-1.0, -1.0}, {-1.0, -1.0}, {-1.0, -1.0}};
        pairs.forEachRun(first + static_cast<std::int64_t>(k) * peaks.subWindow,
                         static_cast<std::size_t>(peaks.subWindow), [&](const _RawChannels* run, std::size_t count) {
                             const auto* v = reinterpret_cast<const UnalignedLanes*>(run);
                             std::size_t i = 0;
                             for (; i + 4 <= count; i += 4)
                                 for (std::size_t a = 0; a < 4; ++a)
                                     largest[a] = v[i + a] > largest[a] ? v[i + a] : largest[a];
                             for (; i < count; ++i)
                                 largest[0] = v[i] > largest[0] ? v[i] : largest[0];
                         });
        for (std::size_t a = 1; a < 4; ++a)
            largest[0] = largest[a] > largest[0] ? largest[a] : largest[0];
        maxima[static_cast<std::size_t>(k)] = largest[0][0];
        maxima[static_cast<std::size_t>(subWindowCount + k)] = largest[0][1];
    }
}

void PeakCorrector::findMaxima(const Buffer::CircularBuffer<_RawChannelsArray>& samples, std::int64_t first) {
    // Every channel of a sample in turn, each channel's maximum of the
    // sub-window kept in `running` until the sub-window ends.
    const std::size_t subWindows = static_cast<std::size_t>(subWindowCount);
    for (int k = 0; k < subWindowCount; ++k) {
        std::fill(running.begin(), running.end(), -1.0);
        samples.forEachRun(first + static_cast<std::int64_t>(k) * peaks.subWindow,
                           static_cast<std::size_t>(peaks.subWindow),
                           [&](const _RawChannelsArray* run, std::size_t count) {
                               for (std::size_t i = 0; i < count; ++i)
                                   for (std::size_t c = 0; c < channelCount; ++c)
                                       running[c] = run[i].channels[c] > running[c] ? run[i].channels[c] : running[c];
                           });
        for (std::size_t c = 0; c < channelCount; ++c)
            maxima[c * subWindows + static_cast<std::size_t>(k)] = running[c];
    }
}

template <class Sample>
void PeakCorrector::correctChannels(Buffer::CircularBuffer<Sample>& samples) {
    const std::int64_t first = static_cast<std::int64_t>(samples.size()) - peaks.window;
    findMaxima(samples, first);
    for (std::size_t c = 0; c < channelCount; ++c) {
        const double* channelMaxima = maxima.data() + c * static_cast<std::size_t>(subWindowCount);
        if (!changesWindow(channelMaxima, subWindowCount, peaks.threshold))
            continue;
        // The whole newest window is stored.
        const Channel<Sample> value(c);
        double* copy = window.data();
        samples.forEachRun(first, static_cast<std::size_t>(peaks.window), [&](const Sample* run, std::size_t count) {
            for (std::size_t j = 0; j < count; ++j)
                copy[j] = value(run[j]);
            copy += count;
        });
        const ChangedRange changed = correctWithMaxima(window.data(), channelMaxima, peakPositions.data(), peaks);
        if (changed.first >= changed.end)
            continue;
        // Only the stretch the correction rewrote is written back.
        const double* corrected = window.data() + changed.first;
        samples.updateRuns(first + changed.first, static_cast<std::size_t>(changed.end - changed.first),
                           [&](Sample* run, std::size_t count) {
                               for (std::size_t j = 0; j < count; ++j)
                                   value(run[j]) = corrected[j];
                               corrected += count;
                           });
    }
}

} // namespace OviMath::MathLib
