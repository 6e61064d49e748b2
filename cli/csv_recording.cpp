#include "csv_recording.h"

#include <cmath>

#include <fmt/format.h>

#include "cli_error.h"
#include "csv_text.h"

namespace kalo::cli {

namespace {

// The rate the time column gives: samples per second over the whole span,
// which must be close to a whole number of hertz (the engine takes integers).
int rateFromTimes(const std::vector<double>& t, const std::string& path) {
    const double span = t.empty() ? 0.0 : t.back() - t.front();
    if (t.size() < 2 || !(span > 0.0))
        throw CliError(fmt::format("{}: the t column does not increase, so it gives no sampling rate; give --rate",
                                   path));
    const double estimate = static_cast<double>(t.size() - 1) / span;
    const double rate = std::round(estimate);
    if (rate < 1.0 || std::abs(estimate - rate) > 0.005 * rate)
        throw CliError(fmt::format(
            "{}: the t column gives {:.4g} samples per second, not a whole rate in Hz; give --rate", path, estimate));
    return static_cast<int>(rate);
}

} // namespace

Recording readCsvRecording(const std::string& path, const InputOptions& options) {
    const std::string text = readWholeFile(path);
    const std::vector<std::string_view> lines = splitLines(text);
    if (lines.empty() || lines.front().empty())
        throw CliError(fmt::format("{}: no header line naming the columns", path));

    const std::vector<std::string_view> header = splitCells(lines.front());
    int timeColumn = -1;
    Recording recording;
    recording.source = path;
    std::vector<int> channelOfColumn(header.size(), -1);
    for (std::size_t c = 0; c < header.size(); ++c) {
        if (channelKey(header[c]) == "t" && timeColumn < 0) {
            timeColumn = static_cast<int>(c);
            continue;
        }
        channelOfColumn[c] = static_cast<int>(recording.channels.size());
        recording.channels.push_back(Channel{std::string(header[c]), 0.0, {}, {}});
    }
    if (recording.channels.empty())
        throw CliError(fmt::format("{}: the header names no channel", path));
    if (timeColumn < 0 && !options.rateHz)
        throw CliError(fmt::format("{}: no t column, so give the sampling rate with --rate", path));

    std::vector<double> times;
    for (std::size_t l = 1; l < lines.size(); ++l) {
        if (lines[l].empty())
            continue;
        const std::vector<std::string_view> cells = splitCells(lines[l]);
        if (cells.size() != header.size())
            throw CliError(fmt::format("{}: line {} has {} cells where the header has {}", path, l + 1, cells.size(),
                                       header.size()));
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::optional<double> value = parseNumber(cells[c]);
            if (!value)
                throw CliError(fmt::format("{}: line {}, column {} ({}): \"{}\" is not a number", path, l + 1, c + 1,
                                           header[c], cells[c]));
            if (static_cast<int>(c) == timeColumn)
                times.push_back(*value);
            else
                recording.channels[static_cast<std::size_t>(channelOfColumn[c])].volts.push_back(
                    *value / options.csvUnitsPerVolt);
        }
    }
    const int rate = options.rateHz ? *options.rateHz : rateFromTimes(times, path);
    for (Channel& channel : recording.channels)
        channel.rateHz = rate;
    return recording;
}

} // namespace kalo::cli
