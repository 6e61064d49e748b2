#include "unit_check.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "error.h"

namespace kalo::host {

namespace {

constexpr double kLookedAtSec = 300.0;

double medianOf(std::vector<double>& values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

void refuseImplausibleVolts(Recording& recording, const EngineInput& input, OptionStyle style) {
    const std::int64_t count =
        std::min<std::int64_t>(input.sampleCount, static_cast<std::int64_t>(kLookedAtSec * input.rateHz));
    if (count <= 0)
        return;
    for (const int column : input.selection.columns) {
        const ChannelInfo& info = recording.channels()[static_cast<std::size_t>(column)];
        if (!info.unitAssumed)
            continue;
        std::vector<double> values(static_cast<std::size_t>(count));
        const int one[] = {column};
        recording.read(one, 0, count, values.data());
        std::vector<double> copy = values;
        const double median = medianOf(copy);
        for (double& v : values)
            v = std::abs(v - median);
        const double spread = medianOf(values);
        if (spread > kMostEegSpreadVolts || std::abs(median) > kMostOffsetVolts) {
            const std::string option = style == OptionStyle::Keyword ? "units=\"uV\"" : "--units uV";
            throw badRecording(fmt::format("{}: channel {}: its values (median {:.4g}, median deviation {:.4g}) are "
                                           "far beyond EEG in volts; if the file holds microvolts, give {}",
                                           recording.source(), info.name, median, spread, option));
        }
    }
}

} // namespace kalo::host
