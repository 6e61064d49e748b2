#pragma once

// Where a live run sends its records. The run hands each record to every
// output in turn, on its own thread, and an output must not keep it waiting:
// one that talks to a network queues or drops, never blocks.

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "session.h"

namespace kalo::host {

struct LiveRecord {
    const Row& row;
    const std::string& json;            // the record as one JSON object (row_json.h)
    const std::vector<double>& traceUv; // the chosen channels' samples since the previous record, microvolts, frame after frame
    int traceChannels = 0;
    const std::vector<std::string>& channelNames;
    int rateHz = 0; // the samples' rate, which spaces the trace in time
};

class LiveRun;

class LiveOutput {
public:
    virtual ~LiveOutput() = default;
    // The run that publishes to it, while it exists (nullptr afterwards):
    // an output that takes commands (calibrate) passes them on to it.
    virtual void connect(LiveRun* /*run*/) {}
    virtual void publish(const LiveRecord& record) = 0;
    // At the end: what is queued is sent (as far as the peer takes it).
    virtual void flush() {}
    // What a reader of the summary should know of this output (frames dropped, ...); null for nothing.
    virtual nlohmann::ordered_json report() const { return nullptr; }
    // One line for the text summary, or empty.
    virtual std::string reportText() const { return {}; }
};

// JSON lines on a stream (the program's stdout), each written through at once:
// a reader of a pipe sees a record when it is published.
class JsonLinesOutput final : public LiveOutput {
public:
    explicit JsonLinesOutput(std::FILE* out) : out_(out) {}
    void publish(const LiveRecord& record) override;
    bool failed() const { return failed_; }

private:
    std::FILE* out_;
    std::string line_;
    bool failed_ = false;
};

} // namespace kalo::host
