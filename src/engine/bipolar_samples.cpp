#include "engine/bipolar_samples.h"

#include <algorithm>
#include <cmath>

#include "shared/status_boundary.h"
#include "shared/units.h"

namespace OviMath::MathLib {

BipolarSamples::BipolarSamples(const PeakGeometry& peaks, WindowSchedule& windowSchedule)
    : SampleStore(windowSchedule), corrector(peaks, 2), filterChunk(2 * filterChunkSize, 0.0) {
    samplesMicrovolt.allocate(static_cast<std::size_t>(BufferSize));
    samplesVolt.allocate(static_cast<std::size_t>(BufferSize));
}

void BipolarSamples::refuseUnusableSamples(const _RawChannels* samples, std::size_t count) {
    if (samples == nullptr)
        Status::refuse("Sample array is null; nothing was stored");
    for (std::size_t i = 0; i < count; ++i) {
        // Written so that NaN fails too.
        if (!(std::fabs(samples[i].left) <= largestSampleVolts))
            refuseUnusable(i, "left channel");
        if (!(std::fabs(samples[i].right) <= largestSampleVolts))
            refuseUnusable(i, "right channel");
    }
}

void BipolarSamples::push(const _RawChannels* samples, std::size_t count) {
    refuseUnusableSamples(samples, count);
    double* left = filterChunk.data();
    double* right = filterChunk.data() + filterChunkSize;
    for (std::size_t first = 0; first < count; first += filterChunkSize) {
        const std::size_t n = std::min(filterChunkSize, count - first);
        for (std::size_t i = 0; i < n; ++i) {
            left[i] = samples[first + i].left;
            right[i] = samples[first + i].right;
        }
        leftChain.filter(left, n);
        rightChain.filter(right, n);
        for (std::size_t i = 0; i < n; ++i) {
            samplesMicrovolt.push({left[i] * microvoltsPerVolt, right[i] * microvoltsPerVolt});
            samplesVolt.push({left[i], right[i]});
        }
    }
    afterSamplesStored(count);
}

void BipolarSamples::copyVolts(std::int64_t end, std::size_t first, std::size_t channels, double* windows) const {
    copyWindows(samplesVolt, end, schedule.windowLength(), first, channels, windows);
}

void BipolarSamples::copyMicrovolts(std::int64_t end, std::size_t first, std::size_t channels,
                                    double* windows) const {
    copyWindows(samplesMicrovolt, end, schedule.windowLength(), first, channels, windows);
}

double BipolarSamples::volts(std::int64_t position, std::size_t channel) const {
    return Channel<_RawChannels>(channel)(samplesVolt.at(position));
}

double BipolarSamples::microvolts(std::int64_t position, std::size_t channel) const {
    return Channel<_RawChannels>(channel)(samplesMicrovolt.at(position));
}

} // namespace OviMath::MathLib
