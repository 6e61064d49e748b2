#include "live_run.h"

#include <cmath>

#include <fmt/format.h>

#include "row_json.h"

namespace kalo::host {

namespace {

constexpr double kMicrovoltsPerVolt = 1e6;

} // namespace

LiveRun::LiveRun(const Options& options, StreamLayout layout, std::vector<LiveOutput*> outputs,
                 const Recording* recording)
    : outputs_(std::move(outputs)), recording_(recording),
      session_(options, std::move(layout), [this](const Row& row) { publish(row); }) {
    summary_.emplace(session_.layout(), session_.config());
    for (LiveOutput* output : outputs_)
        output->connect(this);
}

LiveRun::~LiveRun() {
    for (LiveOutput* output : outputs_)
        output->connect(nullptr);
}

void LiveRun::push(const double* frames, std::size_t count, LiveClock::time_point arrival) {
    const double rate = session_.layout().rateHz;
    if (lastArrival_) {
        // Samples that should have come during a long pause did not: the
        // stream lost them, or its sender stopped for a while.
        const double pauseSec = std::chrono::duration<double>(arrival - *lastArrival_).count();
        if (pauseSec >= kLivePauseSec) {
            Gap gap;
            gap.afterSample = arrivedFrames_ - 1;
            gap.atSec = static_cast<double>(arrivedFrames_) / rate;
            gap.missingSec = pauseSec;
            gap.missingSamples = static_cast<std::int64_t>(std::llround(pauseSec * rate));
            pauses_.push_back(gap);
        }
    }
    lastArrival_ = arrival;
    arrivedFrames_ += static_cast<std::int64_t>(count);
    arrival_ = arrival;

    // Up to each window step's end at a time, so the trace handed with a
    // record holds exactly the samples up to its window's end.
    const auto width = static_cast<std::size_t>(session_.layout().frameWidth);
    const std::vector<int>& columns = session_.layout().selection.columns;
    const auto step = static_cast<std::size_t>(session_.info().windowStep);
    for (std::size_t done = 0; done < count;) {
        if (stepFill_ == 0 && calibrationRequested_.exchange(false))
            session_.startCalibration();
        const std::size_t piece = std::min(count - done, step - stepFill_);
        const double* first = frames + done * width;
        for (std::size_t f = 0; f < piece; ++f)
            for (const int c : columns)
                traceUv_.push_back(first[f * width + static_cast<std::size_t>(c)] * kMicrovoltsPerVolt);
        session_.push(first, piece);
        done += piece;
        stepFill_ = (stepFill_ + piece) % step;
    }
}

void LiveRun::publish(const Row& row) {
    summary_->add(row);
    json_.clear();
    appendRowJson(json_, row);
    const LiveRecord record{row, json_, traceUv_, static_cast<int>(session_.layout().selection.columns.size()),
                            session_.layout().names, session_.layout().rateHz};
    for (LiveOutput* output : outputs_)
        output->publish(record);
    traceUv_.clear();
    ++published_;
    latency_.add(std::chrono::duration<double, std::milli>(LiveClock::now() - arrival_).count());
}

LiveReport LiveRun::finish() {
    arrival_ = LiveClock::now();
    session_.finish();
    for (LiveOutput* output : outputs_)
        output->flush();
    LiveReport report;
    report.summary = summary_->finish(session_.info(), recording_);
    report.summary.gaps.insert(report.summary.gaps.end(), pauses_.begin(), pauses_.end());
    report.recordsPublished = published_;
    report.latency = latency_;
    report.malformedInputs = malformed_;
    for (LiveOutput* output : outputs_) {
        nlohmann::ordered_json r = output->report();
        if (!r.is_null())
            report.outputs.push_back(std::move(r));
        std::string line = output->reportText();
        if (!line.empty())
            report.outputLines.push_back(std::move(line));
    }
    return report;
}

std::string formatLiveReport(const LiveReport& report) {
    std::string text = formatSummary(report.summary);
    text += fmt::format("  live         {} records published, latency p50 {:.3f} ms, p99 {:.3f} ms, max {:.3f} ms\n",
                        report.recordsPublished, report.latency.percentile(50), report.latency.percentile(99),
                        report.latency.max());
    text += fmt::format("  malformed    {} inputs skipped\n", report.malformedInputs);
    for (const std::string& line : report.outputLines)
        text += fmt::format("  {}\n", line);
    return text;
}

nlohmann::ordered_json liveReportJson(const LiveReport& report) {
    nlohmann::ordered_json json = summaryJson(report.summary);
    json["records_published"] = report.recordsPublished;
    json["latency_ms"] = report.latency.json();
    json["malformed_inputs"] = report.malformedInputs;
    json["outputs"] = report.outputs;
    return json;
}

} // namespace kalo::host
