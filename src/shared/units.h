#pragma once

namespace OviMath {

// Samples cross the interface in volts; thresholds and spectra are in
// microvolts. This is the one conversion factor between them.
inline constexpr double microvoltsPerVolt = 1000000.0;

} // namespace OviMath
