#include "channel_choice.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include <fmt/format.h>

#include "error.h"
#include "recording.h"

namespace kalo::host {

namespace {

std::string nameList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& n : names)
        list += (list.empty() ? "" : ", ") + n;
    return list;
}

int findName(const std::vector<std::string>& names, std::string_view wanted, const std::string& source) {
    const std::string key = channelKey(wanted);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (channelKey(names[i]) == key)
            return static_cast<int>(i);
    throw invalidArgument(
        fmt::format("{}: no channel \"{}\"; its channels are: {}", source, wanted, nameList(names)));
}

} // namespace

std::string channelKey(std::string_view name) {
    const auto strip = [](char c) { return c == '.' || c == ' '; };
    while (!name.empty() && strip(name.back()))
        name.remove_suffix(1);
    while (!name.empty() && strip(name.front()))
        name.remove_prefix(1);
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    return key;
}

Selection selectChannels(const std::vector<std::string>& names, const ChannelChoice& choice,
                         const std::string& source, OptionStyle style) {
    Selection selection;
    if (!choice.channels.empty()) {
        if (!choice.left.empty() || !choice.right.empty())
            throw invalidArgument(fmt::format("give either {} and {} (a bipolar pair) or {} (multichannel), not both",
                                              optionName("left", style), optionName("right", style),
                                              optionName("channels", style)));
        selection.bipolar = false;
        for (const std::string& name : choice.channels)
            selection.columns.push_back(findName(names, name, source));
        if (!choice.analysisChannel.empty()) {
            const int analysed = findName(names, choice.analysisChannel, source);
            const auto at = std::find(selection.columns.begin(), selection.columns.end(), analysed);
            if (at == selection.columns.end())
                throw invalidArgument(fmt::format("{} {} is not one of {}", optionName("analysis_channel", style),
                                                  choice.analysisChannel, optionName("channels", style)));
            selection.analysisChannel = static_cast<int>(at - selection.columns.begin());
        }
    } else if (!choice.left.empty() || !choice.right.empty()) {
        if (choice.left.empty() || choice.right.empty())
            throw invalidArgument(fmt::format("a bipolar pair needs both {} and {}", optionName("left", style),
                                              optionName("right", style)));
        selection.columns = {findName(names, choice.left, source), findName(names, choice.right, source)};
    } else if (names.size() == 2) {
        selection.columns = {0, 1};
    } else {
        throw invalidArgument(fmt::format("{}: {} channels; name a bipolar pair with {} and {}, or several with {} "
                                          "(its channels are: {})",
                                          source, names.size(), optionName("left", style), optionName("right", style),
                                          optionName("channels", style), nameList(names)));
    }
    return selection;
}

EngineInput chooseChannels(const Recording& recording, const ChannelChoice& choice, OptionStyle style) {
    std::vector<std::string> names;
    for (const ChannelInfo& c : recording.channels())
        names.push_back(c.name);
    EngineInput input;
    input.selection = selectChannels(names, choice, recording.source(), style);

    const ChannelInfo& first = recording.channels()[static_cast<std::size_t>(input.selection.columns.front())];
    input.sampleCount = first.sampleCount;
    for (const int column : input.selection.columns) {
        const ChannelInfo& c = recording.channels()[static_cast<std::size_t>(column)];
        if (!c.problem.empty())
            throw badRecording(fmt::format("{}: channel {}: {}", recording.source(), c.name, c.problem));
        if (c.rateHz != first.rateHz)
            throw badRecording(fmt::format("{}: channels {} ({} Hz) and {} ({} Hz) have different rates",
                                           recording.source(), first.name, first.rateHz, c.name, c.rateHz));
        input.sampleCount = std::min(input.sampleCount, c.sampleCount);
        input.names.push_back(c.name);
    }
    const double rate = first.rateHz;
    if (!(rate >= 1.0 && rate <= 1e6 && rate == std::floor(rate)))
        throw badRecording(fmt::format("{}: a sampling rate of {} Hz is not a whole number of hertz",
                                       recording.source(), rate));
    input.rateHz = static_cast<int>(rate);
    return input;
}

} // namespace kalo::host
