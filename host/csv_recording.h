#pragma once

// A CSV recording: a header line naming the columns, then one row per
// sample. A column named "t" holds the time in seconds and gives the rate;
// every other column is a channel in the units the user gives (volts when
// not given).

#include <memory>
#include <optional>
#include <string>

#include "recording.h"

namespace kalo::host {

struct CsvReadOptions {
    std::optional<int> rateHz;   // required without a t column; overrides it otherwise
    double unitsPerVolt = 1.0;
    std::string unitName = "V";
    bool unitGiven = false;            // false: volts assumed
    std::string rateOption = "--rate"; // how messages name the rate option
};

std::unique_ptr<Recording> readCsvRecording(const std::string& path, const CsvReadOptions& options);

// The rate a time column gives and the gaps in it. The rate is the inverse
// of the median spacing, which must be within 0.5 % of a whole number of
// hertz: acquisition software that writes t from a packet counter leaves
// gaps where packets were dropped, and a mean over the span would average
// them into the rate. A spacing above 1.5 times the median is a gap of
// round(spacing / median) - 1 samples. `what` names the file in messages.
struct TimeAxis {
    int rateHz = 0;
    std::vector<Gap> gaps;
};
TimeAxis timeAxisFrom(const std::vector<double>& times, const std::string& what, const std::string& rateOption);

} // namespace kalo::host
