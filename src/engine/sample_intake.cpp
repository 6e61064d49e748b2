// Sample intake: every sample runs through its channel's filter chain and is
// stored in microvolts (for the spectra) and in volts (for the detectors);
// then the newest window is corrected for short peaks, and the window
// schedule hands every complete window on.

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
    for (std::size_t i = 0; i < count; ++i) {
        // The filters of this mode run on volts.
        const double left = TFilterList_Filter(leftChain.list.get(), samples[i].left, &ignored);
        const double right = TFilterList_Filter(rightChain.list.get(), samples[i].right, &ignored);
        samplesMicrovolt.push({left * microvoltsPerVolt, right * microvoltsPerVolt});
        samplesVolt.push({left, right});
    }
    afterSamplesStored(count, samplesMicrovolt.full(), samplesMicrovolt.size());
}

void MathLib::pushDataArr(const _RawChannelsArray* samples, std::size_t count) {
    refuseUnusableSamples(samples, count);
    std::size_t i = 0;
    try {
        for (; i < count; ++i)
            storeChannelSample(samples[i]);
    } catch (...) {
        // Running out of memory for a new slot's arrays keeps the samples
        // stored so far, with the bookkeeping that goes with them.
        if (i > 0)
            afterSamplesStored(i, channelSamplesMicrovolt.full(), channelSamplesMicrovolt.size());
        throw;
    }
    afterSamplesStored(count, channelSamplesMicrovolt.full(), channelSamplesMicrovolt.size());
}

void MathLib::storeChannelSample(const _RawChannelsArray& sample) {
    _RawChannelsArray microvolt{};
    _RawChannelsArray volt{};
    if (channelSamplesMicrovolt.full()) {
        // The oldest sample's arrays take the new values.
        microvolt = channelSamplesMicrovolt.at(0);
        volt = channelSamplesVolt.at(0);
    } else {
        const std::size_t slot = channelSamplesMicrovolt.size();
        const std::size_t channels = static_cast<std::size_t>(channelsNumber);
        channelSlotsMicrovolt[slot] = std::make_unique<double[]>(channels);
        channelSlotsVolt[slot] = std::make_unique<double[]>(channels);
        microvolt.channels = channelSlotsMicrovolt[slot].get();
        volt.channels = channelSlotsVolt[slot].get();
    }
    bool ignored = false;
    for (int c = 0; c < channelsNumber; ++c) {
        // The filters of this mode run on microvolts.
        const double value = TFilterList_Filter(channelChains[static_cast<std::size_t>(c)].list.get(),
                                                sample.channels[c] * microvoltsPerVolt, &ignored);
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
