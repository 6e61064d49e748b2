#include "summary.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

namespace kalo::cli {

void LevelMeans::add(const Row& row) {
    ++windows;
    relAttention += row.mind.rel_attention;
    relRelaxation += row.mind.rel_relaxation;
    instAttention += row.mind.inst_attention;
    instRelaxation += row.mind.inst_relaxation;
}

LevelMeans LevelMeans::finished() const {
    if (windows == 0)
        return *this;
    const double n = windows;
    return {windows, relAttention / n, relRelaxation / n, instAttention / n, instRelaxation / n};
}

SummaryBuilder::SummaryBuilder(const EngineInput& input, const EngineConfig& config, std::string recording)
    : startupSec_(config.mathLib.n_first_sec_skipped),
      settledSec_(config.mathLib.n_first_sec_skipped + config.mentalAndSpectral.mental_estimation_sec) {
    summary_.recording = std::move(recording);
    summary_.bipolar = input.bipolar;
    summary_.rateHz = input.rateHz;
    for (const Channel* c : input.channels)
        summary_.channels.push_back(c->name);
}

bool SummaryBuilder::settled(const Row& row) const { return row.timeSec >= settledSec_ && !row.bothSidesArtifacted; }

void SummaryBuilder::add(const Row& row) {
    ++summary_.windows;
    if (row.timeSec >= startupSec_) {
        ++summary_.judgedWindows;
        summary_.artifactedWindows += row.bothSidesArtifacted;
        summary_.sequenceWindows += row.artifactedSequence;
    }
    if (!settled(row))
        return;
    // A record's time is the end of what it describes: 60.0 s closes minute 1.
    const std::size_t minute = static_cast<std::size_t>(std::max(1.0, std::ceil(row.timeSec / 60.0))) - 1;
    if (summary_.minutes.size() <= minute)
        summary_.minutes.resize(minute + 1);
    summary_.minutes[minute].add(row);
}

Summary SummaryBuilder::finish(const RunInfo& info) {
    summary_.durationSec = info.durationSec;
    summary_.calibrationStartSec = info.calibrationStartSec;
    summary_.calibrationEndSec = info.calibrationEndSec;
    for (LevelMeans& m : summary_.minutes)
        m = m.finished();
    return summary_;
}

namespace {

double share(int part, int whole) { return whole > 0 ? static_cast<double>(part) / whole : 0.0; }

std::string calibrationText(const Summary& s) {
    if (!s.calibrationStartSec)
        return "not run";
    if (!s.calibrationEndSec)
        return fmt::format("started at {:.2f} s, not finished (too few clean windows)", *s.calibrationStartSec);
    return fmt::format("started at {:.2f} s, finished at {:.2f} s", *s.calibrationStartSec, *s.calibrationEndSec);
}

nlohmann::ordered_json meansJson(const LevelMeans& m) {
    return {{"windows", m.windows},
            {"rel_attention", m.relAttention},
            {"rel_relaxation", m.relRelaxation},
            {"inst_attention", m.instAttention},
            {"inst_relaxation", m.instRelaxation}};
}

} // namespace

std::string formatSummary(const Summary& s) {
    std::string channels;
    for (const std::string& c : s.channels)
        channels += (channels.empty() ? "" : s.bipolar ? " / " : ", ") + c;
    std::string out = fmt::format("{}: {:.1f} s at {} Hz, {} {}\n", s.recording, s.durationSec, s.rateHz,
                                  s.bipolar ? "bipolar" : "channels", channels);
    out += fmt::format("  windows      {} published, {} judged after the start-up\n", s.windows, s.judgedWindows);
    out += fmt::format("  artifacted   {:.1f} % of judged windows on both sides, {:.1f} % in an artifacted sequence\n",
                       100.0 * share(s.artifactedWindows, s.judgedWindows),
                       100.0 * share(s.sequenceWindows, s.judgedWindows));
    out += fmt::format("  calibration  {}\n", calibrationText(s));
    out += "  mean levels per minute (start-up and windows artifacted on both sides left out)\n";
    out += "    minute  windows  rel_attention  rel_relaxation  inst_attention  inst_relaxation\n";
    for (std::size_t i = 0; i < s.minutes.size(); ++i) {
        const LevelMeans& m = s.minutes[i];
        out += fmt::format("    {:>6}  {:>7}  {:>13.1f}  {:>14.1f}  {:>14.1f}  {:>15.1f}\n", i + 1, m.windows,
                           m.relAttention, m.relRelaxation, m.instAttention, m.instRelaxation);
    }
    for (const auto& [label, m] : s.stretches)
        out += fmt::format("  {:<13}mean relaxation {:.1f} instantaneous, {:.1f} relative ({} windows)\n", label,
                           m.instRelaxation, m.relRelaxation, m.windows);
    return out;
}

nlohmann::ordered_json summaryJson(const Summary& s) {
    nlohmann::ordered_json minutes = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < s.minutes.size(); ++i) {
        nlohmann::ordered_json m = {{"minute", i + 1}};
        m.update(meansJson(s.minutes[i]));
        minutes.push_back(m);
    }
    nlohmann::ordered_json calibration = {{"started_s", nullptr}, {"finished_s", nullptr}};
    if (s.calibrationStartSec)
        calibration["started_s"] = *s.calibrationStartSec;
    if (s.calibrationEndSec)
        calibration["finished_s"] = *s.calibrationEndSec;
    nlohmann::ordered_json out = {
        {"recording", s.recording},
        {"mode", s.bipolar ? "bipolar" : "multichannel"},
        {"channels", s.channels},
        {"rate_hz", s.rateHz},
        {"duration_s", s.durationSec},
        {"windows", s.windows},
        {"judged_windows", s.judgedWindows},
        {"artifacted_share", share(s.artifactedWindows, s.judgedWindows)},
        {"artifacted_sequence_share", share(s.sequenceWindows, s.judgedWindows)},
        {"calibration", calibration},
        {"minutes", minutes},
    };
    if (!s.stretches.empty()) {
        nlohmann::ordered_json stretches = nlohmann::ordered_json::object();
        for (const auto& [label, m] : s.stretches)
            stretches[label] = meansJson(m);
        out["stretches"] = stretches;
    }
    return out;
}

} // namespace kalo::cli
