#pragma once

// The ranges the engine accepts, checked before an engine is created, so
// that a refusal names the option, its value and the range for this
// recording's rate ("--fft-window 100000 is outside 160-1280 for a 160 Hz
// recording") rather than the engine's name for a settings record. The
// engine checks again; its own messages are unchanged.

#include "options.h"

namespace kalo::host {

// An Error (InvalidArgument) for the first option out of range, in the
// order of the program's help; the rate itself first.
void checkSettings(const Options& options, int rateHz);

} // namespace kalo::host
