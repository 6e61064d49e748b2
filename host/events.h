#pragma once

// Events: something that happened during a recording, with its onset and
// duration in seconds on the recording's clock (0 at its first sample) and a
// description ("eyes closed", "T1", "blink"). They come from a recording's
// own annotations and from events files the user names; none is ever picked
// up without being asked for.

#include <string>
#include <vector>

namespace kalo::host {

struct Event {
    double onsetSec = 0.0;
    double durationSec = 0.0; // 0 for an instant (a marker)
    std::string description;
};

// An events file: a header line "onset_s,duration_s,description", then one
// event per line. The description is the rest of the line after the second
// comma, so it may hold commas; surrounding double quotes are removed.
std::vector<Event> readEventsCsv(const std::string& path);

// The descriptions of the events under an analysis window from `startSec` to
// `endSec`, joined by ";" in the order of their onsets. An event with a
// duration is under the window when the two overlap (onset < end, onset +
// duration > start); an instant when start <= onset < end.
class EventsUnderWindows {
public:
    explicit EventsUnderWindows(std::vector<Event> events);
    // Windows must come in order of their start, as rows do.
    std::string under(double startSec, double endSec);

private:
    std::vector<Event> events_; // by onset
    std::size_t first_ = 0;     // events before it have ended before every later window
};

} // namespace kalo::host
