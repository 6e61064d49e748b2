#pragma once

// The settings file: the engine's settings and setters that the program has
// as flags, by their option keys, in one JSON object, with the rate and the
// analysis window the values were fitted for:
//
//   {"fitted_for": {"rate_hz": 250, "fft_window": 500},
//    "settings": {"band_power_threshold": 1200000, "hanning": true, ...}}
//
// A file is read into Options under the keys given so far: what the caller
// set by flag or keyword, before or after the file, wins over it. The
// thresholds that suit a recording depend on its rate and window (the
// spectral test's band mean grows with the window's length squared), so a
// file used at another rate or window is reported, not refused.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "options.h"

namespace kalo::host {

// Reads `path` into `options`; keys already given stay as they are. An Error
// (InvalidArgument) of one line naming the file, the key and the problem.
void loadSettingsFile(Options& options, const std::string& path);

// The settings in force as a settings file: every engine key, with the
// library's default where nothing was given (keys without one, such as
// fft_window, only when given), and the fitted_for of a file that was read.
nlohmann::ordered_json settingsInForce(const Options& options);

// A note when the settings were fitted for another rate or window than the
// run's: "the settings in FILE were fitted for 250 Hz and a 500-sample
// window; this recording is at 160 Hz with a 320-sample window, ...".
std::optional<std::string> fittedForMismatch(const EngineConfig& config, int rateHz, int fftWindow);

} // namespace kalo::host
