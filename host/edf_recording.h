#pragma once

// EDF, EDF+, BDF and BDF+ files, read and written through EDFlib.

#include <memory>
#include <string>
#include <vector>

#include "recording.h"

namespace kalo::host {

// Physical values are converted to volts with the unit each signal's header
// names; a signal in another unit gets a problem and is refused only if
// chosen. Annotation signals are not channels: their annotations become
// events. Samples are read from the file block by block, as asked.
std::unique_ptr<Recording> openEdfRecording(const std::string& path);

// Whether a file name asks for BDF (24-bit samples) rather than EDF.
bool namesBdf(const std::string& path);

// Writes every channel (all at one whole rate, in volts, of equal length) as
// EDF+ (or BDF+) in microvolts, with the given events as annotations. The
// file at `path` is replaced; callers that need atomicity pass a temporary.
struct ChannelSamples {
    std::string name;
    const std::vector<double>* volts;
};
void writeEdf(const std::string& path, bool bdf, int rateHz, const std::vector<ChannelSamples>& channels,
              const std::vector<Event>& events);

} // namespace kalo::host
