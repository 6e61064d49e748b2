#include "engine/window_schedule.h"

namespace OviMath::MathLib {

WindowSchedule::WindowSchedule(int windowLength, int shift)
    : fftWindow(windowLength), windowShift(shift), windowEndIndex(windowLength - shift) {}

void WindowSchedule::samplesStored(std::size_t count, bool full, std::size_t stored) {
    // Once the buffer is full every stored sample moves `count` positions
    // towards the oldest, and the scheduled window with them. The whole count
    // is taken even in the call during which the buffer fills, which places
    // the following windows up to count - 1 samples later than the samples
    // alone would: every published record from then on depends on that
    // placement, so it is kept.
    if (full)
        windowEndIndex -= static_cast<std::int64_t>(count);
    lastSampleIndex = static_cast<std::int64_t>(stored) - 1;
}

bool WindowSchedule::nextWindow() {
    // windowShift is at least 1, since the settings keep the sampling rate at
    // or above the window frequency: the caller's loop ends.
    if (lastSampleIndex - windowEndIndex < windowShift)
        return false;
    windowEndIndex += windowShift;
    return true;
}

} // namespace OviMath::MathLib
