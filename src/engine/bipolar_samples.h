#pragma once

// The sample store of a bipolar engine: left and right pairs, each side
// through its own filter chain, which runs on volts.

#include <vector>

#include "engine/filter_chain.h"
#include "engine/peak_correction.h"
#include "engine/sample_store.h"
#include "shared/circular_buffer.h"

namespace OviMath::MathLib {

class BipolarSamples final : public SampleStore {
public:
    BipolarSamples(const PeakGeometry& peaks, WindowSchedule& windowSchedule);

    using SampleStore::push;
    void push(const _RawChannels* samples, std::size_t count) override;

    std::size_t size() const override { return samplesMicrovolt.size(); }
    bool full() const override { return samplesMicrovolt.full(); }
    std::size_t channelCount() const override { return 2; }
    void copyVolts(std::int64_t end, std::size_t first, std::size_t channels, double* windows) const override;
    void copyMicrovolts(std::int64_t end, std::size_t first, std::size_t channels, double* windows) const override;
    double volts(std::int64_t position, std::size_t channel) const override;
    double microvolts(std::int64_t position, std::size_t channel) const override;

private:
    // A block is checked whole before any of it is stored, so a refused block
    // leaves the buffers and the filter states as they were.
    static void refuseUnusableSamples(const _RawChannels* samples, std::size_t count);
    void correctNewestWindow() override { processArtefacts(); }
    // The correction of short peaks in the newest window, both sides.
    void processArtefacts() { corrector.correctNewestWindow(samplesMicrovolt); }

    FilterChain leftChain, rightChain;
    Buffer::CircularBuffer<_RawChannels> samplesMicrovolt, samplesVolt;
    PeakCorrector corrector;
    std::vector<double> filterChunk; // left, then right
};

} // namespace OviMath::MathLib
