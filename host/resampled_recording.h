#pragma once

// A recording at another rate: every channel resampled to one whole rate
// (through libsoxr, linear phase, very high quality), so that a file above
// the engine's 1000 Hz, or one whose channels have different rates, can be
// analysed. A channel is resampled when it is first read, the whole of it
// from its source in blocks, and kept: only the channels analysed cost
// memory, at the new rate.
//
// Times stay where they were: events keep their seconds, gaps keep their
// seconds and move to the sample nearest their time at the new rate.

#include <memory>

#include "channel_choice.h"
#include "recording.h"

namespace kalo::host {

// The highest rate the engine accepts.
inline constexpr int kEngineMostRateHz = 1000;

std::unique_ptr<Recording> resampleRecording(std::unique_ptr<Recording> source, int rateHz);

// Refuses a rate the engine would refuse, with the option that reads it.
void refuseRateAboveEngine(const Recording& recording, const EngineInput& input, OptionStyle style);

// The summary's line for a rate other than the 250 Hz the engine's fixed
// filters are designed for, or empty at 250 Hz.
std::string rateNote(int rateHz, OptionStyle style);

} // namespace kalo::host
