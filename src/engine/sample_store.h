#pragma once

// The filtered samples of one engine: every pushed sample runs through its
// channel's filter chain and is stored in microvolts (for the spectra) and
// in volts (for the detectors); after each push the newest window of the
// microvolt samples is corrected for short peaks, and the window schedule
// learns where the stored samples now lie. One store per mode: pairs of a
// bipolar engine (BipolarSamples), channel arrays of a multichannel one
// (ChannelSamples).

#include <cstddef>
#include <cstdint>

#include "engine/window_schedule.h"
#include "kalo_artifacts/types.h"

namespace OviMath::MathLib {

class SampleStore {
public:
    SampleStore(const SampleStore&) = delete;
    SampleStore& operator=(const SampleStore&) = delete;
    virtual ~SampleStore() = default;

    // Intake of `count` (at least 1) samples. Each refuses (Status::Refusal)
    // the other mode's samples, a null sample array, a null channel array,
    // and a block holding a sample that is not a finite number within
    // +-1e100 V; a refused block stores nothing and changes no filter state.
    virtual void push(const _RawChannels* samples, std::size_t count);
    virtual void push(const _RawChannelsArray* samples, std::size_t count);

    // Samples held, up to BufferSize; the buffers are full once they wrapped.
    virtual std::size_t size() const = 0;
    virtual bool full() const = 0;
    virtual std::size_t channelCount() const = 0;

    // Copies channels first .. first + channels - 1 of the window ending at
    // position `end` (fftWindow samples), volts or microvolts, into
    // `windows`, one channel after the other; zeros where no sample is
    // stored.
    virtual void copyVolts(std::int64_t end, std::size_t first, std::size_t channels, double* windows) const = 0;
    virtual void copyMicrovolts(std::int64_t end, std::size_t first, std::size_t channels, double* windows) const = 0;
    // One stored value; 0.0 at a position where no sample is stored.
    virtual double volts(std::int64_t position, std::size_t channel) const = 0;
    virtual double microvolts(std::int64_t position, std::size_t channel) const = 0;

protected:
    explicit SampleStore(WindowSchedule& windowSchedule) : schedule(windowSchedule) {}
    // Once `count` samples of a push are stored: the newest window's peaks
    // are corrected once the buffers hold more than a window, and the
    // schedule is told.
    void afterSamplesStored(std::size_t count);
    virtual void correctNewestWindow() = 0;

    WindowSchedule& schedule;
};

// Intake filters chunks of this many samples per channel: the same values,
// sample by sample, as one filter call per sample, for far fewer calls.
inline constexpr std::size_t filterChunkSize = 256;

// The largest sample magnitude taken, in volts. Far beyond any amplifier, and
// far enough below the largest double that no filter state can overflow: an
// infinity (and the NaN after it) in a filter's delay state would spoil every
// later output of the engine.
inline constexpr double largestSampleVolts = 1e100;

// Refuses the block: sample `sample` (of `channel`) is unusable.
[[noreturn]] void refuseUnusable(std::size_t sample, const char* channel, int number = -1);

} // namespace OviMath::MathLib
