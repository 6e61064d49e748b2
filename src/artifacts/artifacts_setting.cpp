#include "artifacts/artifacts_setting.h"

#include <cstdint>

#include "artifacts/detector_messages.h"
#include "shared/spectral_geometry.h"

namespace OviMath::Artifacts::Settings {

bool checkArtifactsMathLibSetting(const Types::_ArtifactSetting* settings) {
    if (settings == nullptr)
        return false;
    const std::int64_t rate = settings->sampling_rate;
    const std::int64_t window = settings->fft_window;
    // Below 50 Hz the bins up to 50 Hz would not fit the transform (and 0
    // would divide by zero); beyond the longest window no transform length
    // is found.
    return rate >= Functions::lowestSamplingRateHz && 5 <= settings->process_win_freq &&
           settings->process_win_freq <= 25 && rate <= window && window <= 8 * rate && window <= longestWindow;
}

OviMath::Types::_OutStatus checkSettingArtifactsSetting(const Types::_ArtifactSetting* settings) {
    if (!checkArtifactsMathLibSetting(settings))
        return Status::refusalStatus(Messages::wrongArtifactSetting);
    return Status::successStatus();
}

} // namespace OviMath::Artifacts::Settings
