#include "recording.h"

#include <algorithm>

#include <fmt/format.h>

#include "error.h"

namespace kalo::host {

double Recording::durationSec() const {
    double longest = 0.0;
    for (const ChannelInfo& c : channels_)
        if (c.rateHz > 0)
            longest = std::max(longest, static_cast<double>(c.sampleCount) / c.rateHz);
    return longest;
}

void Recording::read(std::span<const int> channels, std::int64_t first, std::int64_t count, double* out) {
    if (first < 0 || count < 0)
        throw invalidArgument(fmt::format("{}: samples from {} counting {} cannot be read", source_, first, count));
    for (const int c : channels) {
        if (c < 0 || static_cast<std::size_t>(c) >= channels_.size())
            throw invalidArgument(fmt::format("{}: it has no channel number {}", source_, c));
        if (channels_[static_cast<std::size_t>(c)].sampleCount - count < first)
            throw invalidArgument(fmt::format("{}: channel {} holds {} samples, not {}", source_,
                                              channels_[static_cast<std::size_t>(c)].name,
                                              channels_[static_cast<std::size_t>(c)].sampleCount, first + count));
    }
    if (count > 0 && !channels.empty())
        readChecked(channels, first, count, out);
}

void Recording::overrideRate(double rateHz) {
    for (ChannelInfo& c : channels_)
        c.rateHz = rateHz;
}

void MemoryRecording::addChannel(ChannelInfo info, std::vector<double> volts) {
    info.sampleCount = static_cast<std::int64_t>(volts.size());
    channels_.push_back(std::move(info));
    volts_.push_back(std::move(volts));
}

void MemoryRecording::readChecked(std::span<const int> channels, std::int64_t first, std::int64_t count,
                                  double* out) {
    const std::size_t width = channels.size();
    for (std::size_t c = 0; c < width; ++c) {
        const double* from = volts_[static_cast<std::size_t>(channels[c])].data() + first;
        for (std::int64_t i = 0; i < count; ++i)
            out[static_cast<std::size_t>(i) * width + c] = from[i];
    }
}

} // namespace kalo::host
