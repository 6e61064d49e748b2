#include "settings_check.h"

#include <cmath>
#include <cstdint>

#include <fmt/format.h>

#include "error.h"

namespace kalo::host {

namespace {

// The longest window the detectors find a transform for.
constexpr std::int64_t kLongestDetectorWindow = 131072;

struct Checker {
    const Options& options;
    int rateHz;

    [[noreturn]] void outside(const char* key, std::int64_t value, const std::string& range) const {
        throw invalidArgument(fmt::format("{} is outside {} for a {} Hz recording",
                                          optionWithValue(key, value, options.style()), range, rateHz));
    }
    void within(const char* key, std::int64_t value, std::int64_t low, std::int64_t high) const {
        if (value < low || value > high)
            outside(key, value, fmt::format("{}\u2013{}", low, high));
    }
    void atLeast(const char* key, std::int64_t value, std::int64_t low) const {
        if (value < low)
            outside(key, value, fmt::format("{} or more", low));
    }
};

} // namespace

void checkSettings(const Options& options, int rateHz) {
    if (rateHz < 50 || rateHz > 1000)
        throw badRecording(
            fmt::format("a sampling rate of {} Hz is outside the 50\u20131000 Hz the engine analyses", rateHz));
    const Checker c{options, rateHz};
    const EngineConfig& e = options.engine;
    const std::int64_t rate = rateHz;
    c.within("process_win_freq", e.mathLib.process_win_freq, 5, std::min<std::int64_t>(25, rate));
    const std::int64_t window = e.fftWindow.value_or(2 * rateHz);
    c.within("fft_window", window, rate, std::min(8 * rate, kLongestDetectorWindow));
    c.within("skip_first_sec", e.mathLib.n_first_sec_skipped, 4, 6);
    c.within("amplitude_threshold", e.artifactDetect.amplitude_threshold, 50, 120);
    c.within("bad_samples_percent", e.artifactDetect.bad_samples_percent, 20, 70);
    c.atLeast("band_power_threshold", e.artifactDetect.band_power_threshold, 600000);
    c.atLeast("artifact_sequence_sec", e.artifactDetect.artifact_sequence_sec, 4);
    // The longest peak window is half the analysis window, in whole
    // milliseconds per sample, as the engine computes it.
    const std::int64_t longestPeakWindowMs = (window / 2) * (1000 / rate);
    c.within("peak_win_ms", e.shortArtifactDetect.peak_win_ms, 100, longestPeakWindowMs);
    c.within("peak_area_ms", e.shortArtifactDetect.peak_area_ms, 100, e.shortArtifactDetect.peak_win_ms);
    c.within("peak_threshold", e.shortArtifactDetect.peak_threshold, 25, 70);
    c.within("mental_estimation_sec", e.mentalAndSpectral.mental_estimation_sec, 1, 4);
    c.within("spectral_averaging_sec", e.mentalAndSpectral.spectral_averaging_sec, 1, 4);
    if (e.calibrationSec)
        c.atLeast("calibration_sec", *e.calibrationSec, 1);
    if (e.skipAfterArtifact)
        c.atLeast("skip_after_artifact", *e.skipAfterArtifact, 0);
    if (e.weights)
        for (const double w : *e.weights)
            if (!(std::isfinite(w) && w >= 1e-12))
                throw invalidArgument(fmt::format("{} takes five finite numbers of at least 1e-12 (a band is "
                                                  "silenced with {}), not {}",
                                                  options.name("weights"), options.name("zero_waves"), w));
    if (e.zeroWaves)
        for (const int z : *e.zeroWaves)
            c.atLeast("zero_waves", z, 0);
}

} // namespace kalo::host
