#pragma once

// Recognisers for the lines of a coefficient text. They decide exactly what
// these ECMAScript patterns, searched case-insensitively anywhere in a line,
// would decide:
//   coefficient line:  (([0-9.e-]+),\s*)+([0-9.e-]+)
//   gain line:         k\s*=\s*([0-9.e-]+)        (the capture is the gain)
//   term header:       term (\d+):
// They are written by hand because a backtracking regular-expression engine
// recurses once per character on long lines, and a host may hand us any text.

#include <optional>
#include <string_view>

namespace Filters::Impl::CoefficientText {

bool isCoefficientLine(std::string_view line);
// The characters captured after "k =", or nothing when the line sets no gain.
std::optional<std::string_view> gainCapture(std::string_view line);
bool isTermHeader(std::string_view line);

// strtod in the "C" locale's notation, whatever locale the host has set:
// leading white space skipped, the longest leading number read, the rest
// ignored; no number gives 0.0.
double toNumber(std::string_view piece);

} // namespace Filters::Impl::CoefficientText
