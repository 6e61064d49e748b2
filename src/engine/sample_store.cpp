#include "engine/sample_store.h"

#include <string>

#include "engine/engine_messages.h"
#include "shared/status_boundary.h"

namespace OviMath::MathLib {

void SampleStore::push(const _RawChannels*, std::size_t) { Status::refuse(Messages::usePushDataArr); }

void SampleStore::push(const _RawChannelsArray*, std::size_t) { Status::refuse(Messages::usePushData); }

void SampleStore::afterSamplesStored(std::size_t count) {
    if (size() > static_cast<std::size_t>(schedule.windowLength()))
        correctNewestWindow();
    schedule.samplesStored(count, full(), size());
}

void refuseUnusable(std::size_t sample, const char* channel, int number) {
    const std::string name = number < 0 ? std::string(channel) : std::string(channel) + " " + std::to_string(number);
    Status::refuse("Sample " + std::to_string(sample) + " (" + name +
                   ") is not a finite number within +-1e100 V; nothing of the block was stored");
}

} // namespace OviMath::MathLib
