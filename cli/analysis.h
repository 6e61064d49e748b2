#pragma once

// The analysis runner: feeds a recording to one engine through the library's
// C interface, the way a live host would, and hands on every record the
// engine publishes.
//
// Samples are pushed in blocks of window-shift samples (sampling rate /
// process_win_freq, the distance between two analysis windows), and after
// every block the engine processes what is due and both published queues are
// drained. So normally each block yields one record, and the time of a record
// is the number of samples pushed when it was published divided by the rate:
// the moment a live host would have received it.

#include <array>
#include <functional>
#include <optional>

#include "kalo_artifacts.h"
#include "recording.h"

namespace kalo::cli {

enum class Normalization { Width, Coeffs, None };

// The four settings records (from the library's exported defaults) and the
// setters applied after creation. Unset optionals leave the engine's own
// behaviour in place.
struct EngineConfig {
    _MathLibSetting mathLib = MathLibSettingDefault;
    _ArtifactDetectSetting artifactDetect = ArtifactDetectSettingDefault;
    _ShortArtifactDetectSetting shortArtifactDetect = ShortArtifactDetectSettingDefault;
    _MentalAndSpectralSetting mentalAndSpectral = MentalAndSpectralSettingDefault;

    std::optional<int> fftWindow;                // samples; 2 x the rate when unset
    std::optional<double> calibrateAtSec = 0.0;  // nullopt: no calibration
    std::optional<int> calibrationSec;
    std::optional<_SideType> priority;
    std::optional<bool> mentalRatios;            // true: 1 - a/b and a/(2t + b)
    std::optional<Normalization> normalization;
    std::optional<std::array<double, 5>> weights;
    std::optional<std::array<int, 5>> zeroWaves;
    std::optional<int> skipAfterArtifact;
};

struct Row {
    double timeSec = 0.0;
    _MindData mind{};
    _SpectralDataPercents bands{};
    _RawSpectVals raw{};
    int calibrationPercent = 0;
    bool bothSidesArtifacted = false;
    bool artifactedSequence = false;
};

// Facts about a finished run that a reader of the rows needs.
struct RunInfo {
    int rateHz = 0;
    int fftWindow = 0;
    double durationSec = 0.0;
    std::optional<double> calibrationStartSec;
    std::optional<double> calibrationEndSec;
};

using RowSink = std::function<void(const Row&)>;
using ProgressSink = std::function<void(double fraction)>;

RunInfo analyse(const EngineInput& input, const EngineConfig& config, const RowSink& sink,
                const ProgressSink& progress = {});

} // namespace kalo::cli
