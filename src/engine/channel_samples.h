#pragma once

// The sample store of a multichannel engine: one array of channelsNumber
// values per stored sample, each channel through its own filter chain,
// which runs on microvolts. A slot's arrays are allocated when the slot is
// first written, until the buffers first fill; from then on each new sample
// reuses the arrays of the oldest.

#include <memory>
#include <vector>

#include "engine/filter_chain.h"
#include "engine/peak_correction.h"
#include "engine/sample_store.h"
#include "shared/circular_buffer.h"

namespace OviMath::MathLib {

class ChannelSamples final : public SampleStore {
public:
    ChannelSamples(int channels, const PeakGeometry& peaks, WindowSchedule& windowSchedule);

    using SampleStore::push;
    // Running out of memory for a slot leaves the samples stored before it,
    // with the schedule and the peak correction that go with them.
    void push(const _RawChannelsArray* samples, std::size_t count) override;

    std::size_t size() const override { return channelSamplesMicrovolt.size(); }
    bool full() const override { return channelSamplesMicrovolt.full(); }
    std::size_t channelCount() const override { return channelChains.size(); }
    void copyVolts(std::int64_t end, std::size_t first, std::size_t channels, double* windows) const override;
    void copyMicrovolts(std::int64_t end, std::size_t first, std::size_t channels, double* windows) const override;
    double volts(std::int64_t position, std::size_t channel) const override;
    double microvolts(std::int64_t position, std::size_t channel) const override;

private:
    void refuseUnusableSamples(const _RawChannelsArray* samples, std::size_t count) const;
    void reserveChannelSlots(std::size_t n);
    void storeChannelSample(std::size_t chunkIndex);
    double* channelChunk(std::size_t channel) { return filterChunk.data() + channel * filterChunkSize; }
    void correctNewestWindow() override { processArtefactsChannelsArray(); }
    // The correction of short peaks in the newest window, every channel.
    void processArtefactsChannelsArray() { corrector.correctNewestWindow(channelSamplesMicrovolt); }

    int channelsNumber;
    std::vector<FilterChain> channelChains;
    // Per slot, a pointer into an array owned by channelSlots*.
    Buffer::CircularBuffer<_RawChannelsArray> channelSamplesMicrovolt, channelSamplesVolt;
    std::vector<std::unique_ptr<double[]>> channelSlotsMicrovolt, channelSlotsVolt;
    PeakCorrector corrector;
    std::vector<double> filterChunk; // channel after channel
};

} // namespace OviMath::MathLib
