#pragma once

// The engine on a stream: frames pushed as they arrive go through the one
// driver (session.h), so a live run publishes the records an offline run of
// the same samples would; every record goes to every output, and the run
// keeps what its summary reports: the latency of each record, the inputs
// refused, and the pauses in arrival.
//
// push() and finish() are called from one thread, the one that reads the
// source. requestCalibration() may be called from any thread (a WebSocket
// command): the calibration starts at the next window step.

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "live_latency.h"
#include "live_output.h"
#include "recording.h"
#include "session.h"
#include "summary.h"

namespace kalo::host {

using LiveClock = std::chrono::steady_clock;

struct LiveReport {
    Summary summary;
    std::int64_t recordsPublished = 0;
    LatencyRecord latency;
    std::int64_t malformedInputs = 0;
    std::vector<nlohmann::ordered_json> outputs; // each output's report, when it has one
    std::vector<std::string> outputLines;
};

class LiveRun {
public:
    // `recording`, when the samples are a replay of one, gives the summary
    // its gaps and notes; it must outlive the run.
    LiveRun(const Options& options, StreamLayout layout, std::vector<LiveOutput*> outputs,
            const Recording* recording = nullptr);
    ~LiveRun();
    LiveRun(const LiveRun&) = delete;
    LiveRun& operator=(const LiveRun&) = delete;

    void addEvents(const std::vector<Event>& events) { session_.addEvents(events); }
    // `count` frames of layout().frameWidth values that arrived at `arrival`.
    void push(const double* frames, std::size_t count, LiveClock::time_point arrival);
    void countMalformed(std::int64_t count = 1) { malformed_ += count; }
    void requestCalibration() { calibrationRequested_.store(true); }
    // Pushes the last, shorter step and flushes the outputs.
    LiveReport finish();

    const StreamLayout& layout() const { return session_.layout(); }
    const Session& session() const { return session_; }

private:
    void publish(const Row& row);

    std::vector<LiveOutput*> outputs_;
    const Recording* recording_;
    Session session_;
    std::optional<SummaryBuilder> summary_;
    LatencyRecord latency_;
    std::atomic<bool> calibrationRequested_{false};
    std::int64_t malformed_ = 0;
    std::int64_t published_ = 0;
    std::size_t stepFill_ = 0;            // frames of the current window step pushed so far
    LiveClock::time_point arrival_{};     // of the frames being pushed
    std::optional<LiveClock::time_point> lastArrival_;
    std::int64_t arrivedFrames_ = 0;
    std::vector<Gap> pauses_;
    std::vector<double> traceUv_;
    std::string json_;
};

// A pause in arrival at least this long is a gap in the summary: longer than
// any acquisition program leaves between two of its packets.
inline constexpr double kLivePauseSec = 1.0;

} // namespace kalo::host

namespace kalo::host {

// The host summary followed by the live figures, as text and as JSON (the
// summary's fields plus records_published, latency_ms {p50, p99, max},
// malformed_inputs and outputs).
std::string formatLiveReport(const LiveReport& report);
nlohmann::ordered_json liveReportJson(const LiveReport& report);

} // namespace kalo::host
