#pragma once

// The acquisition GUI's own text files of the most widely used open EEG
// boards, in both layouts it has written:
//
// - the current one ("%OpenBCI Raw EXG Data"): "%" comment lines, then a
//   header row naming the columns ("Sample Index, EXG Channel 0, ...");
// - the older one ("%OpenBCI Raw EEG Data"): "%" comment lines only, which
//   give the rate and the number of channels; its channels are named as the
//   current layout names them ("EXG Channel 0", ...), so that one command
//   works on both.
//
// EXG values are microvolts. Accelerometer, digital, analog and other
// auxiliary columns are channels that are not EEG (ChannelInfo::eeg false,
// with a problem if chosen); columns of timestamps are not channels. A
// nonzero value in the marker column is an event. The first column is the
// board's packet counter, which wraps (at 255, or at 200 with the 16-channel
// daisy board): a jump in it is a dropped packet, reported as a gap and never
// filled.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "recording.h"

namespace kalo::host {

// Whether the first bytes of a file are those of either layout.
bool looksLikeBoardText(std::string_view head);

// `rateHz` overrides the rate the comments give; the file must give one
// otherwise. `rateOption` names that option in messages.
std::unique_ptr<Recording> readBoardTextRecording(const std::string& path, std::optional<int> rateHz,
                                                const std::string& rateOption);

} // namespace kalo::host
