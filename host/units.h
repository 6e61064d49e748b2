#pragma once

// Voltage units, spelled the ways files and users spell them: "V", "mV",
// "uV", "µV" (the micro sign in UTF-8 or Latin-1, or the Greek mu),
// "microvolts", "nV", ... in any case. One vocabulary for every reader and
// every option, so a spelling accepted in one place is accepted in all.

#include <optional>
#include <string_view>

namespace kalo::host {

// How many of the unit make one volt (1e6 for microvolts); nothing when the
// text names no voltage unit.
std::optional<double> unitsPerVolt(std::string_view unit);

// The spellings, for messages.
inline constexpr const char* kVoltageUnitsHelp = "V, mV, uV (also µV or microvolts) or nV";

} // namespace kalo::host
