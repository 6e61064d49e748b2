#pragma once

// EDF, EDF+, BDF and BDF+ files, read and written through EDFlib.

#include <string>

#include "recording.h"

namespace kalo::cli {

// Physical values are converted to volts with the unit each signal's header
// names (nV, uV, mV, V); a signal in another unit gets an unitProblem and is
// refused only if chosen. Annotation signals are not channels.
Recording readEdf(const std::string& path);

struct EdfAnnotation {
    double onsetSec;
    double durationSec;
    std::string text;
};

// Whether a file name asks for BDF (24-bit samples) rather than EDF.
bool namesBdf(const std::string& path);

// Writes every channel (all at one whole rate, in volts) as EDF+ (or BDF+)
// in microvolts, with the given annotations. The file at `path` is
// replaced; callers that need atomicity pass a temporary path.
void writeEdf(const std::string& path, bool bdf, const Recording& recording,
              const std::vector<EdfAnnotation>& annotations);

} // namespace kalo::cli
