#pragma once

// The window schedule: where in the sample buffers the newest window lies
// and when the next one is due. Positions are those of a sample buffer,
// counted from its oldest sample; once the buffer is full every push moves
// the stored samples, and the scheduled window with them, towards position 0.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "kalo_artifacts/types.h"
#include "shared/circular_buffer.h"

namespace OviMath::MathLib {

class WindowSchedule {
public:
    // `fftWindow` samples a window, `windowShift` (at least 1) between two.
    WindowSchedule(int windowLength, int shift);

    // A push of `count` samples has left `stored` samples in a buffer that
    // is `full` (has wrapped).
    void samplesStored(std::size_t count, bool full, std::size_t stored);
    // Moves on to the next window and returns true when one is due: when
    // windowShift samples lie beyond the window last scheduled. The first
    // needs fftWindow + 1 samples.
    bool nextWindow();

    // The position just past the window last scheduled, which covers
    // windowEnd() - fftWindow .. windowEnd() - 1.
    std::int64_t windowEnd() const { return windowEndIndex; }
    std::int64_t lastSample() const { return lastSampleIndex; }
    int windowLength() const { return fftWindow; }
    int shift() const { return windowShift; }

private:
    int fftWindow;
    int windowShift;
    // 64 bits: a host may push for months without processing, which moves
    // windowEndIndex far below 0.
    std::int64_t windowEndIndex;
    std::int64_t lastSampleIndex = 0;
};

// One channel of stored samples, chosen once, so that a loop over samples
// does not choose again for every sample: left is channel 0 of a pair,
// right channel 1.
template <class Sample>
struct Channel;

template <>
struct Channel<_RawChannels> {
    explicit Channel(std::size_t c) : field(c == 0 ? &_RawChannels::left : &_RawChannels::right) {}
    double operator()(const _RawChannels& pair) const { return pair.*field; }
    double& operator()(_RawChannels& pair) const { return pair.*field; }
    double _RawChannels::*field;
};

template <>
struct Channel<_RawChannelsArray> {
    explicit Channel(std::size_t c) : index(c) {}
    double operator()(const _RawChannelsArray& sample) const { return sample.channels[index]; }
    double& operator()(_RawChannelsArray& sample) const { return sample.channels[index]; }
    std::size_t index;
};

// Copies channels first .. first + channels - 1 of the `length` samples
// ending at position `end` of `samples` into `windows`, one channel after
// the other, `length` values each; zeros where no sample is stored. Every
// place is written once, and the runs of stored samples are walked once
// (channel after channel within a run, which stays in the cache), since
// this runs for every window and after every push.
template <class Sample>
void copyWindows(const Buffer::CircularBuffer<Sample>& samples, std::int64_t end, int length, std::size_t first,
                 std::size_t channels, double* windows) {
    const std::size_t n = static_cast<std::size_t>(length);
    const std::int64_t start = end - length;
    const auto zero = [&](std::size_t from, std::size_t to) {
        for (std::size_t c = 0; c < channels; ++c)
            std::fill(windows + c * n + from, windows + c * n + to, 0.0);
    };
    // Places before the oldest sample come first, those after the newest last.
    std::size_t next = static_cast<std::size_t>(std::clamp<std::int64_t>(-start, 0, length));
    zero(0, next);
    samples.forEachRun(start, n, [&](const Sample* run, std::size_t count) {
        for (std::size_t c = 0; c < channels; ++c) {
            const Channel<Sample> value(first + c);
            double* out = windows + c * n + next;
            for (std::size_t j = 0; j < count; ++j)
                out[j] = value(run[j]);
        }
        next += count;
    });
    zero(next, n);
}

} // namespace OviMath::MathLib
