#include "events.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "csv_text.h"
#include "error.h"

namespace kalo::host {

std::vector<Event> readEventsCsv(const std::string& path) {
    const std::string text = readWholeFile(path);
    const std::vector<std::string_view> lines = splitLines(text);
    const std::vector<std::string_view> header = lines.empty() ? std::vector<std::string_view>{} : splitCells(lines[0]);
    if (header.size() < 3 || header[0] != "onset_s" || header[1] != "duration_s" || header[2] != "description")
        throw badRecording(fmt::format("{}: an events file starts with the header line "
                                       "\"onset_s,duration_s,description\"",
                                       path));
    std::vector<Event> events;
    for (std::size_t l = 1; l < lines.size(); ++l) {
        std::string_view line = lines[l];
        if (line.find_first_not_of(" \t") == std::string_view::npos)
            continue;
        const std::size_t first = line.find(',');
        const std::size_t second = first == std::string_view::npos ? first : line.find(',', first + 1);
        if (second == std::string_view::npos)
            throw badRecording(fmt::format("{}: line {} has fewer than three cells (onset_s,duration_s,description)",
                                           path, l + 1));
        const std::vector<std::string_view> times = splitCells(line.substr(0, second));
        std::string_view description = splitCells(line.substr(second + 1)).front();
        if (const std::size_t more = line.substr(second + 1).find(','); more != std::string_view::npos) {
            // A description with commas: the rest of the line, quotes removed.
            description = line.substr(second + 1);
            while (!description.empty() && (description.front() == ' ' || description.front() == '"'))
                description.remove_prefix(1);
            while (!description.empty() && (description.back() == ' ' || description.back() == '"'))
                description.remove_suffix(1);
        }
        const std::optional<double> onset = parseNumber(times[0]);
        const std::optional<double> duration = parseNumber(times[1]);
        if (!onset || !std::isfinite(*onset))
            throw badRecording(fmt::format("{}: line {}: the onset \"{}\" is not a number of seconds", path, l + 1,
                                           times[0]));
        if (!duration || !std::isfinite(*duration) || *duration < 0)
            throw badRecording(fmt::format("{}: line {}: the duration \"{}\" is not a number of seconds, 0 or more",
                                           path, l + 1, times[1]));
        events.push_back({*onset, *duration, std::string(description)});
    }
    return events;
}

EventsUnderWindows::EventsUnderWindows(std::vector<Event> events) : events_(std::move(events)) {
    std::stable_sort(events_.begin(), events_.end(),
                     [](const Event& a, const Event& b) { return a.onsetSec < b.onsetSec; });
}

std::string EventsUnderWindows::under(double startSec, double endSec) {
    const auto ended = [&](const Event& e) {
        return e.durationSec > 0 ? e.onsetSec + e.durationSec <= startSec : e.onsetSec < startSec;
    };
    while (first_ < events_.size() && ended(events_[first_]))
        ++first_;
    std::string joined;
    for (std::size_t i = first_; i < events_.size() && events_[i].onsetSec < endSec; ++i) {
        if (ended(events_[i]))
            continue;
        if (!joined.empty())
            joined += ';';
        joined += events_[i].description;
    }
    return joined;
}

} // namespace kalo::host
