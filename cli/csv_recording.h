#pragma once

#include <string>

#include "recording.h"

namespace kalo::cli {

// A CSV recording: a header line naming the columns, then one row per sample.
// A column named "t" holds the time in seconds and gives the rate; every
// other column is a channel in the units of InputOptions.
Recording readCsvRecording(const std::string& path, const InputOptions& options);

} // namespace kalo::cli
