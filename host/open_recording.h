#pragma once

// Opening any recording the host layer reads, with the reader chosen by the
// file's first bytes where the format has a signature (EDF, BDF, the GUI text
// of open EEG boards) and by its
// extension otherwise (.csv).

#include <memory>
#include <optional>
#include <string>

#include "recording.h"

namespace kalo::host {

// What the user said about reading files.
struct ReadOptions {
    std::optional<int> rateHz;          // required for a CSV without t; overrides the file's rate otherwise
    std::optional<double> unitsPerVolt; // units of text formats without a stated unit (CSV); volts when unset
    std::string unitName = "V";         // how the user spelled it
    std::optional<int> resampleHz;      // every channel resampled to this rate
};

std::unique_ptr<Recording> openRecording(const std::string& path, const ReadOptions& options,
                                         const std::string& rateOption = "--rate");

} // namespace kalo::host
