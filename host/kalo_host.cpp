// The C interface of the host layer: each function checks its pointers,
// calls the C++ core and converts, through guarded().

#include "kalo_host.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "open_recording.h"
#include "recording_description.h"
#include "analysis_run.h"
#include "status_boundary.h"

using namespace kalo::host;

struct kalo_options {
    Options options;
};

struct kalo_recording {
    std::unique_ptr<Recording> recording;
};

struct kalo_session {
    std::unique_ptr<AnalysisRun> run;
    std::vector<std::string> lastEvents; // what the events pointers of the last rows read point into
};

namespace {

char* copyText(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr)
        throw std::bad_alloc();
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

kalo_row toC(const Row& r, const char* events) {
    kalo_row row{};
    row.time_s = r.timeSec;
    row.mind = r.mind;
    row.bands = r.bands;
    row.raw = r.raw;
    row.calibration_percent = r.calibrationPercent;
    row.both_sides_artifacted = r.bothSidesArtifacted;
    row.artifacted_sequence = r.artifactedSequence;
    row.calibration_finished = r.calibrationFinished;
    row.window_start_s = r.windowStartSec;
    row.events = events;
    return row;
}

// A C callback as a row sink: false from the callback stops the run.
Session::RowSink sinkOf(kalo_row_callback onRow, void* user) {
    if (onRow == nullptr)
        return {};
    return [onRow, user](const Row& row) {
        const kalo_row c = toC(row, row.events.c_str());
        if (!onRow(&c, user))
            throw Error(ErrorKind::Stopped, "stopped by the row callback");
    };
}

} // namespace

extern "C" {

const char* kalo_host_version(void) { return KALO_HOST_VERSION; }

void kalo_text_free(char* text) { std::free(text); }

kalo_options* kalo_options_create(int32_t style, kalo_host_status* status) {
    kalo_options* created = nullptr;
    guarded(status, [&] {
        if (style != KALO_HOST_STYLE_FLAGS && style != KALO_HOST_STYLE_KEYWORDS)
            throw invalidArgument("the style is KALO_HOST_STYLE_FLAGS or KALO_HOST_STYLE_KEYWORDS");
        created = new kalo_options{
            Options(style == KALO_HOST_STYLE_FLAGS ? OptionStyle::CommandLine : OptionStyle::Keyword)};
    });
    return created;
}

bool kalo_options_set(kalo_options* options, const char* key, const char* value, kalo_host_status* status) {
    return guarded(status, [&] { need(options, "options").options.set(need(key, "key"), need(value, "value")); });
}

void kalo_options_free(kalo_options* options) { delete options; }

char* kalo_options_keys(kalo_host_status* status) {
    char* text = nullptr;
    guarded(status, [&] { text = copyText(keysJson().dump()); });
    return text;
}

kalo_recording* kalo_recording_open(const char* path, const kalo_options* options, kalo_host_status* status) {
    kalo_recording* opened = nullptr;
    guarded(status, [&] {
        const Options& o = need(options, "options").options;
        opened = new kalo_recording{openRecording(need(path, "path"), o.read, o.name("rate"))};
    });
    return opened;
}

char* kalo_recording_describe(const kalo_recording* recording, kalo_host_status* status) {
    char* text = nullptr;
    guarded(status, [&] { text = copyText(describeRecording(*need(recording, "recording").recording).dump()); });
    return text;
}

bool kalo_recording_read(kalo_recording* recording, const int32_t* channels, size_t channel_count, int64_t first,
                         int64_t count, double* out, kalo_host_status* status) {
    return guarded(status, [&] {
        Recording& r = *need(recording, "recording").recording;
        if (channel_count > 0)
            need(channels, "channels");
        if (channel_count > 0 && count > 0)
            need(out, "out");
        const std::vector<int> chosen(channels, channels + channel_count);
        r.read(chosen, first, count, out);
    });
}

void kalo_recording_free(kalo_recording* recording) { delete recording; }

kalo_session* kalo_analyze_recording(kalo_recording* recording, const kalo_options* options,
                                     kalo_row_callback on_row, kalo_progress_callback on_progress, void* user,
                                     kalo_host_status* status) {
    kalo_session* session = nullptr;
    guarded(status, [&] {
        Recording& r = *need(recording, "recording").recording;
        const Options& o = need(options, "options").options;
        ProgressSink progress;
        if (on_progress != nullptr)
            progress = [on_progress, user](double fraction) {
                if (!on_progress(fraction, user))
                    throw Error(ErrorKind::Stopped, "stopped by the progress callback");
            };
        auto run = std::make_unique<AnalysisRun>(r, o, sinkOf(on_row, user), progress);
        session = new kalo_session{std::move(run), {}};
    });
    return session;
}

kalo_session* kalo_session_open(const kalo_options* options, const char* source, int32_t rate_hz,
                                size_t channel_count, const char* const* names, kalo_host_status* status) {
    kalo_session* session = nullptr;
    guarded(status, [&] {
        const Options& o = need(options, "options").options;
        std::vector<std::string> channelNames;
        if (channel_count > 0 && names == nullptr)
            throw NullArgument{"names"};
        for (size_t c = 0; c < channel_count; ++c)
            channelNames.emplace_back(need(names[c], "a channel name"));
        auto run = std::make_unique<AnalysisRun>(o, source != nullptr ? source : "samples", rate_hz, channelNames);
        session = new kalo_session{std::move(run), {}};
    });
    return session;
}

bool kalo_session_set_row_callback(kalo_session* session, kalo_row_callback on_row, void* user,
                                   kalo_host_status* status) {
    return guarded(status, [&] { need(session, "session").run->setSink(sinkOf(on_row, user)); });
}

bool kalo_session_add_event(kalo_session* session, double onset_s, double duration_s, const char* description,
                            kalo_host_status* status) {
    return guarded(status, [&] {
        need(session, "session").run->addEvent(Event{onset_s, duration_s, need(description, "description")});
    });
}

bool kalo_session_push(kalo_session* session, const double* frames, size_t frame_count, kalo_host_status* status) {
    return guarded(status, [&] {
        AnalysisRun& run = *need(session, "session").run;
        if (frame_count > 0)
            need(frames, "frames");
        run.push(frames, frame_count);
    });
}

bool kalo_session_start_calibration(kalo_session* session, kalo_host_status* status) {
    return guarded(status, [&] { need(session, "session").run->startCalibration(); });
}

bool kalo_session_finish(kalo_session* session, kalo_host_status* status) {
    return guarded(status, [&] { need(session, "session").run->finish(); });
}

bool kalo_session_row_count(const kalo_session* session, size_t* count, kalo_host_status* status) {
    return guarded(status, [&] { need(count, "count") = need(session, "session").run->waiting(); });
}

bool kalo_session_read_rows(kalo_session* session, kalo_row* rows, size_t capacity, size_t* count,
                            kalo_host_status* status) {
    return guarded(status, [&] {
        kalo_session& s = need(session, "session");
        need(count, "count");
        if (capacity > 0)
            need(rows, "rows");
        std::vector<Row> taken = s.run->take(capacity);
        s.lastEvents.clear();
        for (Row& r : taken)
            s.lastEvents.push_back(std::move(r.events));
        for (std::size_t i = 0; i < taken.size(); ++i)
            rows[i] = toC(taken[i], s.lastEvents[i].c_str());
        *count = taken.size();
    });
}

char* kalo_session_summary(const kalo_session* session, bool as_json, kalo_host_status* status) {
    char* text = nullptr;
    guarded(status, [&] {
        const Summary& summary = need(session, "session").run->summary();
        text = copyText(as_json ? summaryJson(summary).dump() : formatSummary(summary));
    });
    return text;
}

void kalo_session_free(kalo_session* session) { delete session; }

} // extern "C"
