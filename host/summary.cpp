#include "summary.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "recording_description.h"
#include "settings_file.h"

namespace kalo::host {

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

bool hasEstimate(const Row& row) { return row.mind.inst_attention != 0.0 || row.mind.inst_relaxation != 0.0; }

SettledRows::SettledRows(const EngineConfig& config)
    : startupSec_(config.mathLib.n_first_sec_skipped + config.mentalAndSpectral.mental_estimation_sec),
      averagedSec_(config.mentalAndSpectral.mental_estimation_sec) {}

bool SettledRows::counts(const Row& row) {
    if (!hasEstimate(row)) {
        lastWithoutEstimateSec_ = row.timeSec;
        return false;
    }
    return row.timeSec >= startupSec_ && !row.bothSidesArtifacted &&
           row.timeSec >= lastWithoutEstimateSec_ + averagedSec_;
}

SummaryBuilder::SummaryBuilder(const StreamLayout& layout, const EngineConfig& config)
    : config_(config), settled_(config) {
    summary_.recording = layout.source;
    summary_.bipolar = layout.selection.bipolar;
    summary_.rateHz = layout.rateHz;
    summary_.channels = layout.names;
    summary_.calibrateAtSec = config.calibrateAtSec;
    summary_.calibrationSec = config.calibrationSec.value_or(8);
}

void SummaryBuilder::add(const Row& row) {
    ++summary_.windows;
    if (row.timeSec >= config_.mathLib.n_first_sec_skipped) {
        ++summary_.judgedWindows;
        summary_.artifactedWindows += row.bothSidesArtifacted;
        summary_.sequenceWindows += row.artifactedSequence;
    }
    if (!settled_.counts(row))
        return;
    // A record's time is the end of what it describes: 60.0 s closes minute 1.
    const std::size_t minute = static_cast<std::size_t>(std::max(1.0, std::ceil(row.timeSec / 60.0))) - 1;
    if (summary_.minutes.size() <= minute)
        summary_.minutes.resize(minute + 1);
    summary_.minutes[minute].add(row);
    summary_.whole.add(row);
}

Summary SummaryBuilder::finish(const RunInfo& info, const Recording* recording) {
    summary_.durationSec = info.durationSec;
    summary_.windowStep = info.windowStep;
    if (recording != nullptr) {
        summary_.gaps = recording->gaps();
        summary_.notes = recording->notes();
    }
    if (const std::optional<std::string> mismatch = fittedForMismatch(config_, info.rateHz, info.fftWindow))
        summary_.notes.push_back(*mismatch);
    summary_.calibrationStartSec = info.calibrationStartSec;
    summary_.calibrationEndSec = info.calibrationEndSec;
    for (LevelMeans& m : summary_.minutes)
        m = m.finished();
    summary_.whole = summary_.whole.finished();
    const _MathLibSetting& m = info.mathLib;
    const _ArtifactDetectSetting& a = config_.artifactDetect;
    const _ShortArtifactDetectSetting& p = config_.shortArtifactDetect;
    const _MentalAndSpectralSetting& s = config_.mentalAndSpectral;
    summary_.settings = {
        {"sampling_rate", m.sampling_rate},
        {"process_win_freq", m.process_win_freq},
        {"fft_window", m.fft_window},
        {"n_first_sec_skipped", m.n_first_sec_skipped},
        {"bipolar_mode", m.bipolar_mode},
        {"use_power_spectrum", m.use_power_spectrum},
        {"channels_number", m.channels_number},
        {"channel_for_analysis", m.channel_for_analysis},
        {"amplitude_threshold", a.amplitude_threshold},
        {"bad_samples_percent", a.bad_samples_percent},
        {"band_power_threshold", a.band_power_threshold},
        {"total_power_threshold", a.total_power_threshold},
        {"artifact_sequence_sec", a.artifact_sequence_sec},
        {"detect_by_total_power", a.detect_by_total_power},
        {"use_hanning", a.use_hanning},
        {"use_hamming", a.use_hamming},
        {"quality_history_length", a.quality_history_length},
        {"peak_win_ms", p.peak_win_ms},
        {"peak_area_ms", p.peak_area_ms},
        {"peak_threshold", p.peak_threshold},
        {"mental_estimation_sec", s.mental_estimation_sec},
        {"spectral_averaging_sec", s.spectral_averaging_sec},
    };
    return summary_;
}

namespace {

double share(int part, int whole) { return whole > 0 ? static_cast<double>(part) / whole : 0.0; }

// A whole number of samples apart: at 160 Hz and 25 windows a second, 6
// samples, 37.5 ms.
double recordIntervalMs(const Summary& s) {
    return s.rateHz > 0 ? 1000.0 * s.windowStep / s.rateHz : 0.0;
}

std::string calibrationText(const Summary& s) {
    if (!s.calibrationStartSec)
        return s.calibrateAtSec ? fmt::format("not run: the recording ends before {:.2f} s, when it was to start",
                                              *s.calibrateAtSec)
                                : "not run";
    if (!s.calibrationEndSec) {
        const double left = s.durationSec - *s.calibrationStartSec;
        if (left < s.calibrationSec)
            return fmt::format("started at {:.2f} s, not finished: the recording is shorter than the calibration "
                               "({:.1f} s left for {} s of clean windows)",
                               *s.calibrationStartSec, left, s.calibrationSec);
        return fmt::format("started at {:.2f} s, not finished (too few clean windows)", *s.calibrationStartSec);
    }
    return fmt::format("started at {:.2f} s, finished at {:.2f} s", *s.calibrationStartSec, *s.calibrationEndSec);
}

nlohmann::ordered_json meansJson(const LevelMeans& m) {
    return {{"windows", m.windows},
            {"rel_attention", m.relAttention},
            {"rel_relaxation", m.relRelaxation},
            {"inst_attention", m.instAttention},
            {"inst_relaxation", m.instRelaxation}};
}

double missingSec(const Summary& s) {
    double total = 0;
    for (const Gap& g : s.gaps)
        total += g.missingSec;
    return total;
}

std::string gapsText(const Summary& s) {
    constexpr std::size_t kShown = 5;
    std::string where;
    for (std::size_t i = 0; i < s.gaps.size() && i < kShown; ++i)
        where += fmt::format("{}{:.3f} s ({} samples)", i == 0 ? "" : ", ", s.gaps[i].atSec,
                             s.gaps[i].missingSamples);
    if (s.gaps.size() > kShown)
        where += fmt::format(" and {} more", s.gaps.size() - kShown);
    return fmt::format("{} where samples are missing, {:.3f} s in all, after {}; the samples on either side are "
                       "analysed as if adjacent\n",
                       s.gaps.size(), missingSec(s), where);
}

} // namespace

std::string formatSummary(const Summary& s) {
    std::string channels;
    for (const std::string& c : s.channels)
        channels += (channels.empty() ? "" : s.bipolar ? " / " : ", ") + c;
    std::string out = fmt::format("{}: {:.1f} s at {} Hz, {} {}\n", s.recording, s.durationSec, s.rateHz,
                                  s.bipolar ? "bipolar" : "channels", channels);
    out += fmt::format("  windows      {} published, one every {:.4g} ms ({:.3g} a second), {} judged after the "
                       "start-up\n",
                       s.windows, recordIntervalMs(s), 1000.0 / recordIntervalMs(s), s.judgedWindows);
    out += fmt::format("  artifacted   {:.1f} % of judged windows {}, {:.1f} % in an artifacted sequence\n",
                       100.0 * share(s.artifactedWindows, s.judgedWindows),
                       s.bipolar ? "on both sides" : "with no clean channel to analyse",
                       100.0 * share(s.sequenceWindows, s.judgedWindows));
    out += fmt::format("  calibration  {}\n", calibrationText(s));
    if (!s.gaps.empty())
        out += "  gaps         " + gapsText(s);
    for (const std::string& note : s.notes)
        out += fmt::format("  note         {}\n", note);
    out += fmt::format("  mean levels per minute (the start-up, records without an estimate yet and windows artifacted "
                       "{} left out)\n",
                       s.bipolar ? "on both sides" : "on every channel");
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
        {"record_interval_ms", recordIntervalMs(s)},
        {"windows", s.windows},
        {"judged_windows", s.judgedWindows},
        {"artifacted_share", share(s.artifactedWindows, s.judgedWindows)},
        {"artifacted_sequence_share", share(s.sequenceWindows, s.judgedWindows)},
        {"calibration", calibration},
        {"means", meansJson(s.whole)},
        {"minutes", minutes},
    };
    nlohmann::ordered_json where = nlohmann::ordered_json::array();
    std::int64_t missingSamples = 0;
    for (const Gap& g : s.gaps) {
        where.push_back(gapJson(g));
        missingSamples += g.missingSamples;
    }
    out["gaps"] = {{"count", s.gaps.size()},
                   {"missing_samples", missingSamples},
                   {"missing_s", missingSec(s)},
                   {"where", where}};
    if (!s.notes.empty())
        out["notes"] = s.notes;
    out["settings"] = s.settings;
    if (!s.stretches.empty()) {
        nlohmann::ordered_json stretches = nlohmann::ordered_json::object();
        for (const auto& [label, m] : s.stretches)
            stretches[label] = meansJson(m);
        out["stretches"] = stretches;
    }
    return out;
}

} // namespace kalo::host
