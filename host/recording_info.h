#pragma once

// What `kalo info` prints about a recording, as text, from the description
// every host can ask for (describeRecording): its format, duration and
// rate, the EEG channels and the others listed apart (each with its unit and
// rate, and which units were assumed), the events counted by description,
// the gaps and the readers' notes. Enough to choose channels from.

#include <string>

#include <nlohmann/json.hpp>

namespace kalo::host {

std::string formatRecordingInfo(const nlohmann::ordered_json& description);

} // namespace kalo::host
