#include "csv_recording.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "channel_choice.h"
#include "csv_text.h"
#include "error.h"

namespace kalo::host {

namespace {

bool isTimeColumn(std::string_view name) { return channelKey(name) == "t"; }

} // namespace

TimeAxis timeAxisFrom(const std::vector<double>& t, const std::string& what, const std::string& rateOption) {
    if (t.size() < 2)
        throw badRecording(fmt::format("{}: one sample gives no sampling rate; give {}", what, rateOption));
    std::vector<double> spacing(t.size() - 1);
    for (std::size_t i = 1; i < t.size(); ++i) {
        spacing[i - 1] = t[i] - t[i - 1];
        if (!(spacing[i - 1] > 0.0))
            throw badRecording(fmt::format("{}: the times do not increase at sample {} ({} s after {} s)", what,
                                           i + 1, t[i], t[i - 1]));
    }
    std::vector<double> sorted = spacing;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    const double median = *middle;
    const double estimate = 1.0 / median;
    const double rate = std::round(estimate);
    if (!(rate >= 1.0) || std::abs(estimate - rate) > 0.005 * rate)
        throw badRecording(fmt::format("{}: the times give {:.4g} samples per second, not a whole rate in Hz; "
                                       "give {}",
                                       what, estimate, rateOption));
    TimeAxis axis;
    axis.rateHz = static_cast<int>(rate);
    for (std::size_t i = 0; i < spacing.size(); ++i)
        if (spacing[i] > 1.5 * median) {
            const auto missing = static_cast<std::int64_t>(std::llround(spacing[i] / median)) - 1;
            axis.gaps.push_back({static_cast<std::int64_t>(i), t[i] - t[0], std::max<std::int64_t>(missing, 1),
                                 spacing[i] - median});
        }
    return axis;
}

std::unique_ptr<Recording> readCsvRecording(const std::string& path, const CsvReadOptions& options) {
    const std::string text = readWholeFile(path);
    const std::vector<std::string_view> lines = splitLines(text);
    if (lines.empty() || lines.front().empty())
        throw badRecording(fmt::format("{}: no header line naming the columns", path));

    const std::vector<std::string_view> header = splitCells(lines.front());
    int timeColumn = -1;
    std::vector<std::string> names;
    std::vector<int> channelOfColumn(header.size(), -1);
    for (std::size_t c = 0; c < header.size(); ++c) {
        if (isTimeColumn(header[c]) && timeColumn < 0) {
            timeColumn = static_cast<int>(c);
            continue;
        }
        channelOfColumn[c] = static_cast<int>(names.size());
        names.emplace_back(header[c]);
    }
    if (names.empty())
        throw badRecording(fmt::format("{}: the header names no channel", path));
    std::vector<std::vector<double>> volts(names.size());
    std::vector<double> times;
    for (std::size_t l = 1; l < lines.size(); ++l) {
        if (lines[l].empty())
            continue;
        const std::vector<std::string_view> cells = splitCells(lines[l]);
        if (cells.size() != header.size())
            throw badRecording(fmt::format("{}: line {} has {} cells where the header has {}", path, l + 1,
                                           cells.size(), header.size()));
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::optional<double> value = parseNumber(cells[c]);
            if (!value)
                throw badRecording(fmt::format("{}: line {}, column {} ({}): \"{}\" is not a number", path, l + 1,
                                               c + 1, header[c], cells[c]));
            if (static_cast<int>(c) == timeColumn)
                times.push_back(*value);
            else
                volts[static_cast<std::size_t>(channelOfColumn[c])].push_back(*value / options.unitsPerVolt);
        }
    }
    if (volts.front().empty())
        throw badRecording(fmt::format("{}: no samples after the header line", path));
    if (timeColumn < 0 && !options.rateHz)
        throw badRecording(fmt::format("{}: no t column, so give the sampling rate with {}", path, options.rateOption));

    auto recording = std::make_unique<MemoryRecording>(path, "CSV");
    double rate = 0;
    if (options.rateHz) {
        rate = *options.rateHz;
    } else {
        TimeAxis axis = timeAxisFrom(times, path, options.rateOption);
        rate = axis.rateHz;
        for (const Gap& gap : axis.gaps)
            recording->addGap(gap);
    }
    for (std::size_t c = 0; c < names.size(); ++c)
        recording->addChannel({names[c], options.unitName, rate, 0, true, {}, !options.unitGiven},
                              std::move(volts[c]));
    return recording;
}

} // namespace kalo::host
