#pragma once

// A recording as the program holds it once read, whatever its file format:
// named channels of samples in volts, each with its sampling rate. And the
// choice of the channels the engine is given.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalo::cli {

struct Channel {
    std::string name;          // as stored in the file (EDF labels keep their dots)
    double rateHz = 0.0;       // may be fractional in EDF files; checked when chosen
    std::vector<double> volts;
    std::string unitProblem;   // non-empty when the file's unit is not a voltage
};

struct Recording {
    std::string source; // the path as the user gave it, for messages
    std::vector<Channel> channels;
};

// What the user said about reading a file.
struct InputOptions {
    std::optional<int> rateHz;     // --rate: required for a CSV without t, overrides otherwise
    double csvUnitsPerVolt = 1.0;  // --units: 1 for V, 1e3 for mV, 1e6 for uV
};

// Reads an EDF, EDF+, BDF or BDF+ file (recognised by its first bytes) or a
// CSV file (by its .csv extension).
Recording readRecording(const std::string& path, const InputOptions& options);

// Channel names match ignoring case and surrounding dots and spaces, so "o1"
// finds the EDF label "O1..".
std::string channelKey(std::string_view name);

// What the user asked for: a bipolar pair, or several channels with one
// analysed. Empty when not given.
struct ChannelChoice {
    std::string left, right;
    std::vector<std::string> channels;
    std::string analysisChannel;
};

// The samples the engine gets: two channels (left, right) in bipolar mode,
// or the listed channels with the index of the analysed one.
struct EngineInput {
    int rateHz = 0;
    bool bipolar = true;
    std::vector<const Channel*> channels;
    int analysisChannel = 0;
    std::size_t sampleCount = 0; // common to all chosen channels
};

EngineInput chooseChannels(const Recording& recording, const ChannelChoice& choice,
                           std::optional<int> rateOverrideHz);

} // namespace kalo::cli
