#pragma once

// Which channels the engine is given: a bipolar pair (left, right), or
// several channels with one of them analysed. Names match ignoring case and
// surrounding dots and spaces, so "o1" finds the EDF label "O1..".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "option_names.h"

namespace kalo::host {

class Recording;

std::string channelKey(std::string_view name);

// What the user asked for; all empty when nothing was asked.
struct ChannelChoice {
    std::string left, right;
    std::vector<std::string> channels;
    std::string analysisChannel;
};

// The choice resolved against a list of names.
struct Selection {
    bool bipolar = true;
    std::vector<int> columns;   // indices into the names: left and right, or the listed channels
    int analysisChannel = 0;    // index into columns
};

// With no choice and exactly two names, the first is left and the second
// right. Messages name the options in the caller's `style`.
Selection selectChannels(const std::vector<std::string>& names, const ChannelChoice& choice,
                         const std::string& source, OptionStyle style);

// The selection for a recording, with its rate: every chosen channel must be
// a voltage at one whole rate. The sample count is the shortest chosen one.
struct EngineInput {
    Selection selection;
    std::vector<std::string> names; // of the chosen channels
    int rateHz = 0;
    std::int64_t sampleCount = 0;
};
EngineInput chooseChannels(const Recording& recording, const ChannelChoice& choice, OptionStyle style);

} // namespace kalo::host
