// What each window contributes: zero records during start-up, a repeat of
// the previous records when it is artifacted or falls in the skip period
// after an artifact, or freshly computed spectra and mental levels. In
// bipolar mode the side detectors are asked in the order of the priority
// policy; in multichannel mode every channel's detector is asked and the
// analysis may move to the channel of best quality.

#include <algorithm>
#include <limits>

#include "engine/kalo_math.h"

namespace OviMath::MathLib {

bool MathLib::isArtifacted(_ArtifactsMath* detector, double* window, bool flag) {
    bool artifacted = true;
    const _OutStatus status =
        ArtifactsMathIsArtifactedWin(&artifacted, &channelQuality, detector, window, fftWindow, flag);
    if (!status.success)
        throw status;
    return artifacted;
}

void MathLib::copyWindow(const Buffer::CircularBuffer<_RawChannels>& samples, double* left, double* right) const {
    // Places without a stored sample read as zeros; each place is written
    // once, since this runs for every window.
    const auto zero = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            if (left != nullptr)
                left[i] = 0.0;
            if (right != nullptr)
                right[i] = 0.0;
        }
    };
    std::size_t next = 0;
    forEachStoredWindowRun(samples, [&](std::size_t position, const _RawChannels* pairs, std::size_t count) {
        zero(next, position);
        for (std::size_t j = 0; j < count; ++j) {
            if (left != nullptr)
                left[position + j] = pairs[j].left;
            if (right != nullptr)
                right[position + j] = pairs[j].right;
        }
        next = position + count;
    });
    zero(next, static_cast<std::size_t>(fftWindow));
}

bool MathLib::startUpPeriod(std::size_t storedSamples) const {
    const std::int64_t stored = static_cast<std::int64_t>(storedSamples);
    return stored < fftWindow || stored < static_cast<std::int64_t>(firstSecSkipped) * samplingRate;
}

void MathLib::processWindow() {
    if (startUpPeriod(samplesMicrovolt.size())) {
        fillZeroValsOnSpectAndMental();
        return;
    }
    bothSidesArtifacted = false;
    copyWindow(samplesVolt, windowLeft.data(), windowRight.data());
    if (prioritySide == LEFT)
        processWindowLeftPriority();
    else if (prioritySide == RIGHT)
        processWindowRightPriority();
    else
        processWindowNoPriority();
}

void MathLib::processWindowLeftPriority() { processWindowPreferring(LEFT); }
void MathLib::processWindowRightPriority() { processWindowPreferring(RIGHT); }

// Under a priority the other side's detector is asked only when the
// preferred side is artifacted.
void MathLib::processWindowPreferring(_SideType preferred) {
    const _SideType other = preferred == LEFT ? RIGHT : LEFT;
    const auto window = [this](_SideType side) { return side == LEFT ? windowLeft.data() : windowRight.data(); };
    if (!isArtifacted(sideDetector(preferred), window(preferred))) {
        artifactedSequence = false;
        processData(preferred);
    } else if (!isArtifacted(sideDetector(other), window(other))) {
        artifactedSequence = false;
        processData(other);
    } else {
        artifactedSideWindow();
    }
}

// Without a priority both detectors judge every window, and the analysis
// stays on one side while it is clean, moving only when it becomes
// artifacted.
void MathLib::processWindowNoPriority() {
    const bool leftArtifacted = isArtifacted(leftDetector.get(), windowLeft.data());
    const bool rightArtifacted = isArtifacted(rightDetector.get(), windowRight.data());
    if (leftArtifacted && rightArtifacted) {
        artifactedSideWindow();
        return;
    }
    artifactedSequence = false;
    if (currentSide == LEFT && leftArtifacted)
        currentSide = RIGHT;
    else if (currentSide == RIGHT && rightArtifacted)
        currentSide = LEFT;
    processData(currentSide);
}

// Both sides artifacted: the run grows and the skip period starts again.
void MathLib::artifactedSideWindow() {
    winsToSkip = skipWinsAfterArtifact;
    artifactedWindow();
}

void MathLib::artifactedWindow() {
    bothSidesArtifacted = true;
    if (artifactedWinsInRow < std::numeric_limits<int>::max())
        ++artifactedWinsInRow;
    fillPreviousValsOnSpectAndMental();
    if (artifactedWinsInRow > artifactSequenceWins)
        artifactedSequence = true;
}

void MathLib::processData(_SideType side) {
    // After an artifacted run the next skipWinsAfterArtifact clean windows
    // repeat the previous records; the window after them yields a repeat and
    // then its computed records.
    if (artifactedWinsInRow > 0) {
        fillPreviousValsOnSpectAndMental();
        if (winsToSkip > 0) {
            --winsToSkip;
            return;
        }
    }
    artifactedWinsInRow = 0;
    copyWindow(samplesMicrovolt, side == LEFT ? spectralWindow.data() : nullptr,
               side == LEFT ? nullptr : spectralWindow.data());
    computeSpectra();
}

void MathLib::processWindowForChannelArrays() {
    if (startUpPeriod(channelSamplesMicrovolt.size())) {
        fillZeroValsOnSpectAndMental();
        return;
    }
    bothSidesArtifacted = false;
    // Every channel's window in one sweep over the samples.
    const std::size_t n = static_cast<std::size_t>(fftWindow);
    const std::size_t channels = static_cast<std::size_t>(channelsNumber);
    std::fill(channelWindows.begin(), channelWindows.end(), 0.0);
    forEachStoredWindowRun(channelSamplesVolt,
                           [&](std::size_t position, const _RawChannelsArray* samples, std::size_t count) {
                               for (std::size_t j = 0; j < count; ++j)
                                   for (std::size_t c = 0; c < channels; ++c)
                                       channelWindows[c * n + position + j] = samples[j].channels[c];
                           });
    bool anyClean = false;
    for (int c = 0; c < channelsNumber; ++c) {
        double* window = channelWindows.data() + static_cast<std::size_t>(c) * n;
        const bool artifacted = isArtifacted(channelDetectors[static_cast<std::size_t>(c)].get(), window);
        channelVerdicts[static_cast<std::size_t>(c)] = artifacted;
        channelQualities[static_cast<std::size_t>(c)] = channelQuality;
        anyClean |= !artifacted;
    }
    // A channel that is artifacted or of poor quality hands the analysis to
    // the channel of best quality (the first of equals), artifacted or not.
    const std::size_t analysed = static_cast<std::size_t>(channelForAnalysis);
    if (channelVerdicts[analysed] || channelQualities[analysed] < 30.0) {
        std::size_t best = 0;
        for (std::size_t c = 1; c < channelQualities.size(); ++c)
            if (channelQualities[c] > channelQualities[best])
                best = c;
        channelForAnalysis = static_cast<int>(best);
    }
    if (anyClean) {
        artifactedSequence = false;
        artifactedWinsInRow = 0;
        processDataForChannel();
    } else {
        // Multichannel mode has no skip period.
        artifactedWindow();
    }
}

void MathLib::processDataForChannel() {
    std::fill(spectralWindow.begin(), spectralWindow.end(), 0.0);
    forEachStoredWindowRun(channelSamplesMicrovolt,
                           [&](std::size_t position, const _RawChannelsArray* samples, std::size_t count) {
                               for (std::size_t j = 0; j < count; ++j)
                                   spectralWindow[position + j] = samples[j].channels[channelForAnalysis];
                           });
    computeSpectra();
}

void MathLib::fillZeroValsOnSpectAndMental() {
    instantSpectra.push(_SpectralDataPercents{});
    refreshSpectralValues();
    currentMind = _MindData{};
    instantMental.push(currentMind);
    refreshMentalValues();
}

void MathLib::fillPreviousValsOnSpectAndMental() {
    // The newest entry is copied before the push, which may overwrite it.
    const _SpectralDataPercents previous = instantSpectra.newest();
    instantSpectra.push(previous);
    refreshSpectralValues();
    instantMental.push(currentMind);
    refreshMentalValues();
}

} // namespace OviMath::MathLib
