#include "engine/channel_samples.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "shared/status_boundary.h"
#include "shared/units.h"

namespace OviMath::MathLib {

ChannelSamples::ChannelSamples(int channels, const PeakGeometry& peaks, WindowSchedule& windowSchedule)
    : SampleStore(windowSchedule),
      channelsNumber(channels),
      channelChains(static_cast<std::size_t>(channels)),
      channelSlotsMicrovolt(static_cast<std::size_t>(BufferSize)),
      channelSlotsVolt(static_cast<std::size_t>(BufferSize)),
      corrector(peaks, static_cast<std::size_t>(channels)),
      filterChunk(static_cast<std::size_t>(channels) * filterChunkSize, 0.0) {
    channelSamplesMicrovolt.allocate(static_cast<std::size_t>(BufferSize));
    channelSamplesVolt.allocate(static_cast<std::size_t>(BufferSize));
}

void ChannelSamples::refuseUnusableSamples(const _RawChannelsArray* samples, std::size_t count) const {
    if (samples == nullptr)
        Status::refuse("Sample array is null; nothing was stored");
    for (std::size_t i = 0; i < count; ++i) {
        if (samples[i].channels == nullptr)
            Status::refuse("Sample " + std::to_string(i) + " has no channel array; nothing of the block was stored");
        for (int c = 0; c < channelsNumber; ++c)
            // Written so that NaN fails too.
            if (!(std::fabs(samples[i].channels[c]) <= largestSampleVolts))
                refuseUnusable(i, "channel", c);
    }
}

void ChannelSamples::push(const _RawChannelsArray* samples, std::size_t count) {
    refuseUnusableSamples(samples, count);
    std::size_t stored = 0;
    try {
        for (std::size_t first = 0; first < count; first += filterChunkSize) {
            const std::size_t n = std::min(filterChunkSize, count - first);
            // The chunk's slots get their arrays before any filter moves on,
            // so running out of memory leaves every chain where its stored
            // samples left it.
            reserveChannelSlots(n);
            for (std::size_t c = 0; c < channelChains.size(); ++c) {
                double* values = channelChunk(c);
                for (std::size_t i = 0; i < n; ++i)
                    values[i] = samples[first + i].channels[c] * microvoltsPerVolt;
                channelChains[c].filter(values, n);
            }
            for (std::size_t i = 0; i < n; ++i, ++stored)
                storeChannelSample(i);
        }
    } catch (...) {
        if (stored > 0)
            afterSamplesStored(stored);
        throw;
    }
    afterSamplesStored(count);
}

void ChannelSamples::reserveChannelSlots(std::size_t n) {
    const std::size_t channels = channelChains.size();
    const std::size_t end = std::min(channelSamplesMicrovolt.capacity(), channelSamplesMicrovolt.size() + n);
    for (std::size_t slot = channelSamplesMicrovolt.full() ? end : channelSamplesMicrovolt.size(); slot < end;
         ++slot) {
        if (!channelSlotsMicrovolt[slot])
            channelSlotsMicrovolt[slot] = std::make_unique<double[]>(channels);
        if (!channelSlotsVolt[slot])
            channelSlotsVolt[slot] = std::make_unique<double[]>(channels);
    }
}

void ChannelSamples::storeChannelSample(std::size_t chunkIndex) {
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
    for (std::size_t c = 0; c < channelChains.size(); ++c) {
        const double value = channelChunk(c)[chunkIndex];
        microvolt.channels[c] = value;
        volt.channels[c] = value / microvoltsPerVolt;
    }
    channelSamplesMicrovolt.push(microvolt);
    channelSamplesVolt.push(volt);
}

void ChannelSamples::copyVolts(std::int64_t end, std::size_t first, std::size_t channels, double* windows) const {
    copyWindows(channelSamplesVolt, end, schedule.windowLength(), first, channels, windows);
}

void ChannelSamples::copyMicrovolts(std::int64_t end, std::size_t first, std::size_t channels,
                                    double* windows) const {
    copyWindows(channelSamplesMicrovolt, end, schedule.windowLength(), first, channels, windows);
}

double ChannelSamples::volts(std::int64_t position, std::size_t channel) const {
    const double* values = channelSamplesVolt.at(position).channels;
    return values != nullptr ? values[channel] : 0.0;
}

double ChannelSamples::microvolts(std::int64_t position, std::size_t channel) const {
    const double* values = channelSamplesMicrovolt.at(position).channels;
    return values != nullptr ? values[channel] : 0.0;
}

} // namespace OviMath::MathLib
