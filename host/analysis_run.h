#pragma once

// A run of the engine as a host holds it between calls: the session (while
// samples still come), the rows waiting to be read or the sink they go to,
// and the summary once the run is finished. A run that failed midway (a
// refused block, a sink that asked to stop) takes no more samples.

#include <deque>
#include <memory>
#include <optional>

#include "analyze_recording.h"
#include "session.h"
#include "summary.h"

namespace kalo::host {

class AnalysisRun {
public:
    // The block entry: frames of the named channels, chosen by the options.
    AnalysisRun(const Options& options, const std::string& source, int rateHz, const std::vector<std::string>& names);
    // A whole recording, finished on return. Rows go to `sink` when given,
    // else they wait.
    AnalysisRun(Recording& recording, const Options& options, Session::RowSink sink, const ProgressSink& progress);

    void setSink(Session::RowSink sink);
    void addEvent(Event event);
    void push(const double* frames, std::size_t count);
    void startCalibration();
    void finish();

    std::size_t waiting() const { return waiting_.size(); }
    // Up to `most` of the oldest waiting rows.
    std::vector<Row> take(std::size_t most);
    // Once finished.
    const Summary& summary() const;

private:
    void deliver(const Row& row);
    void mustBeOpen() const;

    std::unique_ptr<Session> session_;
    std::optional<SummaryBuilder> builder_;
    std::optional<Summary> summary_;
    std::deque<Row> waiting_;
    Session::RowSink sink_;
    bool failed_ = false;
};

} // namespace kalo::host
