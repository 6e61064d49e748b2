#pragma once

// BrainVision recordings: a header (.vhdr) naming a marker file (.vmrk)
// and a data file, in either header version. Binary data in INT_16, INT_32
// or IEEE_FLOAT_32, multiplexed (sample after sample) or vectorized
// (channel after channel), read from the file block by block; or ASCII
// data, read whole. Each channel's resolution and unit give volts; names
// are read in the header's codepage (UTF-8, or Latin-1 for "ANSI" and for
// files that state none) and kept as UTF-8. Markers become events, named
// "type/description", at (position - 1) / rate seconds.
//
// The header is read by a small parser of its INI-like lines (sections,
// key=value, ";" comments), which refuses what it does not understand with
// a message rather than guess; free-text sections ([Comment]) are skipped.

#include <memory>
#include <string>

#include "recording.h"

namespace kalo::host {

bool looksLikeBrainVisionHeader(std::string_view head);

std::unique_ptr<Recording> openBrainVisionRecording(const std::string& headerPath);

} // namespace kalo::host
