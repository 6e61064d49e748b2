#pragma once

// The delay of each published record as a live host measures it: from the
// arrival of the sample that completed the record's window to the moment the
// record has been handed to every output. Kept whole, so the percentiles are
// exact (a day at 25 records per second is 2.2 million floats).

#include <cstddef>
#include <vector>

#include <nlohmann/json.hpp>

namespace kalo::host {

class LatencyRecord {
public:
    void add(double milliseconds) { samples_.push_back(static_cast<float>(milliseconds)); }
    std::size_t count() const { return samples_.size(); }
    // The nearest-rank percentile (0 < p <= 100), milliseconds; 0 without samples.
    double percentile(double p) const;
    double max() const;
    // {"p50", "p99", "max"} in milliseconds.
    nlohmann::ordered_json json() const;

private:
    std::vector<float> samples_;
};

} // namespace kalo::host
