#include "analyze_recording.h"

#include <algorithm>

#include "resampled_recording.h"
#include "unit_check.h"

namespace kalo::host {

namespace {

// Samples per channel read at a time: large enough that reading costs little
// per sample, small enough that progress moves.
constexpr std::int64_t kBlockFrames = 1 << 14;

} // namespace

std::vector<Event> eventsFor(const Recording& recording, const Options& options) {
    std::vector<Event> events = recording.events();
    for (const std::string& file : options.eventFiles) {
        const std::vector<Event> more = readEventsCsv(file);
        events.insert(events.end(), more.begin(), more.end());
    }
    return events;
}

Summary analyseRecording(Recording& recording, const Options& options, const Session::RowSink& rows,
                         const ProgressSink& progress) {
    const EngineInput input = chooseChannels(recording, options.channels, options.style());
    refuseRateAboveEngine(recording, input, options.style());
    refuseImplausibleVolts(recording, input, options.style());
    const StreamLayout layout = chosenChannelsLayout(recording.source(), input);

    std::optional<SummaryBuilder> summary;
    Session session(options, layout, [&](const Row& row) {
        rows(row);
        summary->add(row);
    });
    summary.emplace(session.layout(), session.config());
    session.addEvents(eventsFor(recording, options));

    std::vector<double> block;
    const std::int64_t total = input.sampleCount;
    for (std::int64_t first = 0; first < total;) {
        const std::int64_t count = std::min(kBlockFrames, total - first);
        block.resize(static_cast<std::size_t>(count) * input.selection.columns.size());
        recording.read(input.selection.columns, first, count, block.data());
        session.push(block.data(), static_cast<std::size_t>(count));
        first += count;
        if (progress)
            progress(static_cast<double>(first) / static_cast<double>(total));
    }
    session.finish();
    Summary finished = summary->finish(session.info(), &recording);
    if (const std::string note = rateNote(input.rateHz, options.style()); !note.empty())
        finished.notes.push_back(note);
    return finished;
}

} // namespace kalo::host
