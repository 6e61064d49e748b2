#include "live_latency.h"

#include <algorithm>
#include <cmath>

namespace kalo::host {

double LatencyRecord::percentile(double p) const {
    if (samples_.empty())
        return 0.0;
    std::vector<float> sorted = samples_;
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
    const std::size_t index = std::clamp<std::size_t>(rank, 1, sorted.size()) - 1;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(index), sorted.end());
    return sorted[index];
}

double LatencyRecord::max() const {
    return samples_.empty() ? 0.0 : *std::max_element(samples_.begin(), samples_.end());
}

nlohmann::ordered_json LatencyRecord::json() const {
    return {{"p50", percentile(50)}, {"p99", percentile(99)}, {"max", max()}};
}

} // namespace kalo::host
