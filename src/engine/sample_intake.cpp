// Sample intake: every sample runs through its channel's filter chain and is
// stored in microvolts (for the spectra) and in volts (for the detectors);
// then the newest window is corrected for short peaks, and the window
// schedule hands every complete window on.

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/kalo_math.h"
#include "shared/status_boundary.h"
#include "shared/units.h"

namespace OviMath::MathLib {

namespace {

// The largest sample magnitude taken, in volts. Far beyond any amplifier, and
// far enough below the largest double that no filter state can overflow: an
// infinity (and the NaN after it) in a filter's delay state would spoil every
// later output of the engine.
constexpr double largestSampleVolts = 1e100;

bool usable(double volts) { return std::fabs(volts) <= largestSampleVolts; } // false for NaN

[[noreturn]] void refuseUnusable(std::size_t sample, const std::string& channel) {
    Status::refuse("Sample " + std::to_string(sample) + " (" + channel +
                   ") is not a finite number within +-1e100 V; nothing of the block was stored");
}

} // namespace

// A block is checked whole before any of it is stored, so a refused block
// leaves the buffers and the filter states as they were.
void MathLib::refuseUnusableSamples(const _RawChannels* samples, std::size_t count) const {
    if (count == 0)
        Status::refuse(Status::countDataIsEmpty);
    if (!bipolarMode)
        Status::refuse(Status::usePushDataArr);
    if (samples == nullptr)
        Status::refuse("Sample array is null; nothing was stored");
    for (std::size_t i = 0; i < count; ++i) {
        if (!usable(samples[i].left))
            refuseUnusable(i, "left channel");
        if (!usable(samples[i].right))
            refuseUnusable(i, "right channel");
    }
}

void MathLib::refuseUnusableSamples(const _RawChannelsArray* samples, std::size_t count) const {
    if (count == 0)
        Status::refuse(Status::countDataIsEmpty);
    if (bipolarMode)
        Status::refuse(Status::usePushData);
    if (samples == nullptr)
        Status::refuse("Sample array is null; nothing was stored");
    for (std::size_t i = 0; i < count; ++i) {
        if (samples[i].channels == nullptr)
            Status::refuse("Sample " + std::to_string(i) + " has no channel array; nothing of the block was stored");
        for (int c = 0; c < channelsNumber; ++c)
            if (!usable(samples[i].channels[c]))
                refuseUnusable(i, "channel " + std::to_string(c));
    }
}

void MathLib::pushData(const _RawChannels* samples, std::size_t count) {
    refuseUnusableSamples(samples, count);
    bool ignored = false; // a filter call can only fail on a null list, which construction rules out
    // The filters of this mode run on volts. Each side's chain filters a
    // chunk at a time: the same values, sample by sample, as one call per
    // sample, for far fewer calls.
    double* left = filterChunk.data();
    double* right = filterChunk.data() + filterChunkSize;
    for (std::size_t first = 0; first < count; first += filterChunkSize) {
        const std::size_t n = std::min(filterChunkSize, count - first);
        for (std::size_t i = 0; i < n; ++i) {
            left[i] = samples[first + i].left;
            right[i] = samples[first + i].right;
        }
        TFilterList_Filter_array(leftChain.list.get(), left, static_cast<int>(n), &ignored);
        TFilterList_Filter_array(rightChain.list.get(), right, static_cast<int>(n), &ignored);
        for (std::size_t i = 0; i < n; ++i) {
            samplesMicrovolt.push({left[i] * microvoltsPerVolt, right[i] * microvoltsPerVolt});
            samplesVolt.push({left[i], right[i]});
        }
    }
    afterSamplesStored(count, samplesMicrovolt.full(), samplesMicrovolt.size());
}

void MathLib::pushDataArr(const _RawChannelsArray* samples, std::size_t count) {
    refuseUnusableSamples(samples, count);
    bool ignored = false;
    std::size_t stored = 0;
    try {
        for (std::size_t first = 0; first < count; first += filterChunkSize) {
            const std::size_t n = std::min(filterChunkSize, count - first);
            // The chunk's slots get their arrays before any filter moves on,
            // so running out of memory leaves every chain where its stored
            // samples left it.
            reserveChannelSlots(n);
            // The filters of this mode run on microvolts, a chunk of one
            // channel at a time: the same values as sample by sample.
            for (int c = 0; c < channelsNumber; ++c) {
                double* values = channelChunk(c);
                for (std::size_t i = 0; i < n; ++i)
                    values[i] = samples[first + i].channels[c] * microvoltsPerVolt;
                TFilterList_Filter_array(channelChains[static_cast<std::size_t>(c)].list.get(), values,
                                         static_cast<int>(n), &ignored);
            }
            for (std::size_t i = 0; i < n; ++i, ++stored)
                storeChannelSample(i);
        }
    } catch (...) {
        // The samples stored so far stay, with the bookkeeping that goes
        // with them.
        if (stored > 0)
            afterSamplesStored(stored, channelSamplesMicrovolt.full(), channelSamplesMicrovolt.size());
        throw;
    }
    afterSamplesStored(count, channelSamplesMicrovolt.full(), channelSamplesMicrovolt.size());
}

void MathLib::reserveChannelSlots(std::size_t n) {
    // Until the buffers first fill, each new sample takes a slot of its own;
    // afterwards it reuses the arrays of the oldest.
    const std::size_t channels = static_cast<std::size_t>(channelsNumber);
    const std::size_t end = std::min(channelSamplesMicrovolt.capacity(), channelSamplesMicrovolt.size() + n);
    for (std::size_t slot = channelSamplesMicrovolt.full() ? end : channelSamplesMicrovolt.size(); slot < end;
         ++slot) {
        if (!channelSlotsMicrovolt[slot])
            channelSlotsMicrovolt[slot] = std::make_unique<double[]>(channels);
        if (!channelSlotsVolt[slot])
            channelSlotsVolt[slot] = std::make_unique<double[]>(channels);
    }
}

void MathLib::storeChannelSample(std::size_t chunkIndex) {
    _RawChannelsArray microvolt{};
    _RawChannelsArray volt{};
    if (channelSamplesMicrovolt.full()) {
        // The oldest sample's arrays take the new values.
        microvolt = channelSamplesMicrovolt.at(0);
        volt = channelSamplesVolt.at(0);
    } else {
        const std::size_t slot = channelSamplesMicrovolt.size();
        microvolt.channels = channelSlotsMicrovolt[slot].get();
        volt.channels = channelSlotsVolt[slot].get();
    }
    for (int c = 0; c < channelsNumber; ++c) {
        const double value = channelChunk(c)[chunkIndex];
        microvolt.channels[c] = value;
        volt.channels[c] = value / microvoltsPerVolt;
    }
    channelSamplesMicrovolt.push(microvolt);
    channelSamplesVolt.push(volt);
}

void MathLib::afterSamplesStored(std::size_t count, bool full, std::size_t stored) {
    // Once the buffer is full every stored sample moves `count` positions
    // towards the oldest, and the scheduled window with them. The whole count
    // is taken even in the call during which the buffer fills, as the
    // schedule has always done.
    if (full)
        windowEndIndex -= static_cast<std::int64_t>(count);
    if (stored > static_cast<std::size_t>(fftWindow)) {
        if (bipolarMode)
            processArtefacts();
        else
            processArtefactsChannelsArray();
    }
    lastSampleIndex = static_cast<std::int64_t>(stored) - 1;
}

void MathLib::processDataArr() {
    // A window is due once windowShift samples lie beyond the last one; the
    // first needs fftWindow + 1 samples. windowShift is at least 1, since
    // the settings keep the sampling rate at or above the window frequency.
    while (lastSampleIndex - windowEndIndex >= windowShift) {
        windowEndIndex += windowShift;
        if (windowHook)
            windowHook(windowEndIndex);
        else if (bipolarMode)
            processWindow();
        else
            processWindowForChannelArrays();
    }
}

double MathLib::channelMicrovolts(std::int64_t position, int channel) const {
    const double* channels = channelSamplesMicrovolt.at(position).channels;
    return channels != nullptr ? channels[channel] : 0.0;
}

double MathLib::channelVolts(std::int64_t position, int channel) const {
    const double* channels = channelSamplesVolt.at(position).channels;
    return channels != nullptr ? channels[channel] : 0.0;
}

} // namespace OviMath::MathLib
