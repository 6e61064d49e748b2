#include "analysis_run.h"

#include <fmt/format.h>

#include "error.h"

namespace kalo::host {

namespace {

// Marks the run failed when the work throws, and passes the error on.
template <class Work>
void failing(bool& failed, Work&& work) {
    try {
        work();
    } catch (...) {
        failed = true;
        throw;
    }
}

} // namespace

AnalysisRun::AnalysisRun(const Options& options, const std::string& source, int rateHz, const std::vector<std::string>& names)
    : session_(std::make_unique<Session>(options, namedChannelsLayout(options, source, rateHz, names),
                                         [this](const Row& row) { deliver(row); })) {
    builder_.emplace(session_->layout(), session_->config());
    for (const std::string& file : options.eventFiles)
        session_->addEvents(readEventsCsv(file));
}

AnalysisRun::AnalysisRun(Recording& recording, const Options& options, Session::RowSink sink, const ProgressSink& progress)
    : sink_(std::move(sink)) {
    summary_ = analyseRecording(
        recording, options,
        [this](const Row& row) {
            if (sink_)
                sink_(row);
            else
                waiting_.push_back(row);
        },
        progress);
}

void AnalysisRun::setSink(Session::RowSink sink) { sink_ = std::move(sink); }

void AnalysisRun::mustBeOpen() const {
    if (failed_)
        throw invalidArgument("the run stopped at an earlier error and takes no more samples");
    if (!session_ || summary_)
        throw invalidArgument("the run is finished and takes no more samples");
}

void AnalysisRun::addEvent(Event event) {
    mustBeOpen();
    session_->addEvents({std::move(event)});
}

void AnalysisRun::deliver(const Row& row) {
    builder_->add(row);
    if (sink_)
        sink_(row);
    else
        waiting_.push_back(row);
}

void AnalysisRun::push(const double* frames, std::size_t count) {
    mustBeOpen();
    failing(failed_, [&] { session_->push(frames, count); });
}

void AnalysisRun::startCalibration() {
    mustBeOpen();
    session_->startCalibration();
}

void AnalysisRun::finish() {
    if (summary_ && !failed_)
        return;
    mustBeOpen();
    failing(failed_, [&] {
        session_->finish();
        summary_ = builder_->finish(session_->info());
    });
}

std::vector<Row> AnalysisRun::take(std::size_t most) {
    std::vector<Row> rows;
    while (!waiting_.empty() && rows.size() < most) {
        rows.push_back(std::move(waiting_.front()));
        waiting_.pop_front();
    }
    return rows;
}

const Summary& AnalysisRun::summary() const {
    if (!summary_)
        throw invalidArgument("the summary is known once the run is finished");
    return *summary_;
}

} // namespace kalo::host
