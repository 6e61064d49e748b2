#include "recording.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fmt/format.h>

#include "cli_error.h"
#include "csv_recording.h"
#include "edf_file.h"

namespace kalo::cli {

namespace {

bool hasExtension(const std::string& path, std::initializer_list<std::string_view> extensions) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

// EDF starts with the version "0" and seven spaces; BDF with the byte 255
// and "BIOSEMI".
bool looksLikeEdfOrBdf(const std::string& head) {
    return head == std::string("0       ", 8) || head == std::string("\xff" "BIOSEMI", 8);
}

std::string channelList(const Recording& recording) {
    std::string names;
    for (const Channel& c : recording.channels)
        names += (names.empty() ? "" : ", ") + c.name;
    return names;
}

const Channel& findChannel(const Recording& recording, std::string_view name) {
    const std::string key = channelKey(name);
    for (const Channel& c : recording.channels)
        if (channelKey(c.name) == key)
            return c;
    throw CliError(fmt::format("{}: no channel \"{}\"; its channels are: {}", recording.source, name,
                               channelList(recording)));
}

} // namespace

Recording readRecording(const std::string& path, const InputOptions& options) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw CliError(fmt::format("{}: cannot open: Is a directory", path));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        throw CliError(fmt::format("{}: cannot open: {}", path, std::strerror(errno)));
    char head[8] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);

    if (looksLikeEdfOrBdf(std::string(head, got))) {
        Recording recording = readEdf(path);
        if (options.rateHz)
            for (Channel& c : recording.channels)
                c.rateHz = *options.rateHz;
        return recording;
    }
    if (hasExtension(path, {".edf", ".bdf", ".rec"}))
        throw CliError(fmt::format("{}: not an EDF or BDF file (it does not start with an EDF/BDF header)", path));
    if (hasExtension(path, {".csv"}))
        return readCsvRecording(path, options);
    throw CliError(fmt::format("{}: unsupported format: give an EDF, EDF+, BDF or BDF+ file, or a CSV file "
                               "ending in .csv",
                               path));
}

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

EngineInput chooseChannels(const Recording& recording, const ChannelChoice& choice,
                           std::optional<int> rateOverrideHz) {
    EngineInput input;
    if (!choice.channels.empty()) {
        input.bipolar = false;
        for (const std::string& name : choice.channels)
            input.channels.push_back(&findChannel(recording, name));
        if (!choice.analysisChannel.empty()) {
            const Channel* analysed = &findChannel(recording, choice.analysisChannel);
            const auto at = std::find(input.channels.begin(), input.channels.end(), analysed);
            if (at == input.channels.end())
                throw CliError(fmt::format("--analysis-channel {} is not one of --channels", choice.analysisChannel));
            input.analysisChannel = static_cast<int>(at - input.channels.begin());
        }
    } else if (!choice.left.empty() || !choice.right.empty()) {
        input.channels = {&findChannel(recording, choice.left), &findChannel(recording, choice.right)};
    } else if (recording.channels.size() == 2) {
        input.channels = {&recording.channels[0], &recording.channels[1]};
    } else {
        throw CliError(fmt::format("{}: {} channels; name a bipolar pair with --left and --right, or several with "
                                   "--channels (its channels are: {})",
                                   recording.source, recording.channels.size(), channelList(recording)));
    }

    const Channel& first = *input.channels.front();
    const double rate = rateOverrideHz ? *rateOverrideHz : first.rateHz;
    input.sampleCount = first.volts.size();
    for (const Channel* c : input.channels) {
        if (!c->unitProblem.empty())
            throw CliError(fmt::format("{}: channel {}: {}", recording.source, c->name, c->unitProblem));
        if (c->rateHz != first.rateHz)
            throw CliError(fmt::format("{}: channels {} ({} Hz) and {} ({} Hz) have different rates",
                                       recording.source, first.name, first.rateHz, c->name, c->rateHz));
        input.sampleCount = std::min(input.sampleCount, c->volts.size());
    }
    if (!(rate >= 1.0 && rate <= 1e6 && rate == std::floor(rate)))
        throw CliError(fmt::format("{}: a sampling rate of {} Hz is not a whole number of hertz", recording.source,
                                   rate));
    input.rateHz = static_cast<int>(rate);
    return input;
}

} // namespace kalo::cli
