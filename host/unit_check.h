#pragma once

// A recording whose unit was assumed (a CSV without --units is read as
// volts) but whose values cannot be volts of EEG. A microvolt file read as
// volts has every window artifacted and no hint why; it is refused instead,
// with the option that reads it right.
//
// The rule: over the first five minutes of each chosen channel, the median
// absolute deviation from the median above 10 mV (no EEG varies that much),
// or the median itself beyond 1 V (no electrode offset reaches it). The
// deviation, not the plain median, so that the large DC offsets some
// amplifiers record (60 mV on one shared recording) pass.

#include "channel_choice.h"
#include "recording.h"

namespace kalo::host {

inline constexpr double kMostEegSpreadVolts = 0.01;
inline constexpr double kMostOffsetVolts = 1.0;

void refuseImplausibleVolts(Recording& recording, const EngineInput& input, OptionStyle style);

} // namespace kalo::host
