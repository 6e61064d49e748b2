#pragma once

// The summary of one analysed recording: how long it was, how many windows
// the engine published, how many of them were artifacted, how the
// calibration went, and the mean mental levels per minute.
//
// Means leave out the start-up (the engine's first n_first_sec_skipped
// seconds give zero records, and its levels average mental_estimation_sec
// seconds of them) and the windows artifacted on both sides (which repeat the
// previous record).

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "recording.h"
#include "session.h"

namespace kalo::host {

struct LevelMeans {
    int windows = 0;
    double relAttention = 0, relRelaxation = 0, instAttention = 0, instRelaxation = 0; // sums until finished

    void add(const Row& row);
    LevelMeans finished() const; // sums divided by windows
};

struct Summary {
    std::string recording;
    std::vector<std::string> channels;
    bool bipolar = true;
    int rateHz = 0;
    double durationSec = 0;
    int windowStep = 0;       // samples between two records
    std::optional<double> calibrateAtSec; // asked for; nullopt: never
    int calibrationSec = 8;   // clean seconds a calibration covers
    int windows = 0;          // published records
    int judgedWindows = 0;    // after the start-up seconds
    int artifactedWindows = 0;
    int sequenceWindows = 0;
    std::optional<double> calibrationStartSec, calibrationEndSec;
    LevelMeans whole;                                           // every settled window
    std::vector<LevelMeans> minutes;                            // minute 1 first
    std::vector<std::pair<std::string, LevelMeans>> stretches;  // labelled spans (the demo's)
    std::vector<Gap> gaps;            // samples missing from the recording
    std::vector<std::string> notes;   // what a reader assumed
    nlohmann::ordered_json settings;  // every field of the four settings records the engine was created with
};

// Whether a row carries an estimate of the levels: the engine publishes all
// zeros until its estimator has windows to average, after the start-up too
// when the first windows were artifacted.
bool hasEstimate(const Row& row);

// Which rows count towards the means, given in the order published: after
// the start-up and the seconds the levels average; not artifacted on both
// sides (a repeat of the previous record); with an estimate, and with
// mental_estimation_sec seconds of estimates behind it, since the published
// levels average that much and the records after a stretch without an
// estimate still average its zeros.
class SettledRows {
public:
    explicit SettledRows(const EngineConfig& config);
    bool counts(const Row& row);

private:
    double startupSec_;
    double averagedSec_;
    double lastWithoutEstimateSec_ = -1e300;
};

class SummaryBuilder {
public:
    SummaryBuilder(const StreamLayout& layout, const EngineConfig& config);
    void add(const Row& row);
    // The recording's gaps and notes, when the samples came from one.
    Summary finish(const RunInfo& info, const Recording* recording = nullptr);

private:
    Summary summary_;
    EngineConfig config_;
    SettledRows settled_;
};

std::string formatSummary(const Summary& summary);
nlohmann::ordered_json summaryJson(const Summary& summary);

} // namespace kalo::host
