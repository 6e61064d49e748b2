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

#include "analysis.h"

namespace kalo::cli {

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
    int windows = 0;          // published records
    int judgedWindows = 0;    // after the start-up seconds
    int artifactedWindows = 0;
    int sequenceWindows = 0;
    std::optional<double> calibrationStartSec, calibrationEndSec;
    std::vector<LevelMeans> minutes;                            // minute 1 first
    std::vector<std::pair<std::string, LevelMeans>> stretches;  // labelled spans (the demo's)
};

class SummaryBuilder {
public:
    SummaryBuilder(const EngineInput& input, const EngineConfig& config, std::string recording);
    void add(const Row& row);
    // Whether a row counts towards the means.
    bool settled(const Row& row) const;
    Summary finish(const RunInfo& info);

private:
    Summary summary_;
    double startupSec_;
    double settledSec_;
};

std::string formatSummary(const Summary& summary);
nlohmann::ordered_json summaryJson(const Summary& summary);

} // namespace kalo::cli
