#pragma once

// What a recording holds, as JSON: enough to choose channels from it.

#include <nlohmann/json.hpp>

#include "recording.h"

namespace kalo::host {

// {source, format, duration_s, channels: [{name, unit, rate_hz, samples,
// eeg, problem, unit_assumed}], events: [{onset_s, duration_s, description}], gaps:
// [{after_sample, at_s, missing_samples, missing_s}], notes: [...]}
nlohmann::ordered_json describeRecording(const Recording& recording);

nlohmann::ordered_json gapJson(const Gap& gap);

} // namespace kalo::host
