#include "engine/kalo_setting.h"

#include <cstdint>

#include "engine/engine_messages.h"
#include "shared/spectral_geometry.h"

namespace OviMath::Math {

namespace {

namespace Messages = MathLib::Messages;

using namespace OviMath::Types;

bool within(std::int64_t value, std::int64_t low, std::int64_t high) { return low <= value && value <= high; }

bool validMathLib(const _MathLibSetting& s) {
    // The window bound is computed in 64 bits: 8 x rate overflows 32 bits
    // for absurd rates, which must fail, not wrap.
    const std::int64_t rate = s.sampling_rate;
    return 0 <= s.channel_for_analysis && s.channel_for_analysis < s.channels_number &&
           // A zero rate would divide by zero, a rate below the window
           // frequency would give windows 0 samples apart, and below 50 Hz the
           // bins up to 50 Hz would not fit the transform.
           rate >= Functions::lowestSamplingRateHz && rate >= s.process_win_freq && within(s.process_win_freq, 5, 25) &&
           within(s.fft_window, rate, 8 * rate) && within(s.n_first_sec_skipped, 4, 6);
}

bool validArtifactDetect(const _ArtifactDetectSetting& s) {
    return within(s.amplitude_threshold, 50, 120) && within(s.bad_samples_percent, 20, 70) &&
           s.band_power_threshold >= 600000 && s.artifact_sequence_sec >= 4;
}

bool validShortArtifactDetect(const _ShortArtifactDetectSetting& s, const _MathLibSetting& mathLib) {
    // Both divisions drop the remainder, as unsigned divisions; above
    // 1000 Hz the bound is 0 and the record fails. The rate is known to be
    // positive here.
    const std::uint64_t halfWindow = static_cast<std::uint32_t>(mathLib.fft_window) / 2u;
    const std::uint64_t msPerSample = 1000u / static_cast<std::uint32_t>(mathLib.sampling_rate);
    const std::int64_t longestPeakWindowMs = static_cast<std::int64_t>(halfWindow * msPerSample);
    return s.peak_win_ms >= 100 && s.peak_win_ms <= longestPeakWindowMs && s.peak_area_ms >= 100 &&
           s.peak_area_ms <= s.peak_win_ms && within(s.peak_threshold, 25, 70);
}

bool validMentalAndSpectral(const _MentalAndSpectralSetting& s) {
    return within(s.mental_estimation_sec, 1, 4) && within(s.spectral_averaging_sec, 1, 4);
}

} // namespace

_OutStatus checkSettingMathLib(const _MathLibSetting* mathLib, const _ArtifactDetectSetting* artifactDetect,
                               const _ShortArtifactDetectSetting* shortArtifactDetect,
                               const _MentalAndSpectralSetting* mentalAndSpectral) {
    if (mathLib == nullptr || !validMathLib(*mathLib))
        return Status::refusalStatus(Messages::wrongMathLibSetting);
    if (artifactDetect == nullptr || !validArtifactDetect(*artifactDetect))
        return Status::refusalStatus(Messages::wrongArtifactDetectSetting);
    if (shortArtifactDetect == nullptr || !validShortArtifactDetect(*shortArtifactDetect, *mathLib))
        return Status::refusalStatus(Messages::wrongShortArtifactDetectSetting);
    if (mentalAndSpectral == nullptr || !validMentalAndSpectral(*mentalAndSpectral))
        return Status::refusalStatus(Messages::wrongMentalAndSpectralSetting);
    return Status::successStatus();
}

} // namespace OviMath::Math
