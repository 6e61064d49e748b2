#include "engine/window_detectors.h"

namespace OviMath::MathLib {

WindowDetectors::Detector WindowDetectors::makeDetector(int number, const _MathLibSetting& settings) {
    _OutStatus status{};
    Detector detector(createArtifactsMath(
        number, _ArtifactSetting{settings.sampling_rate, settings.process_win_freq, settings.fft_window}, &status));
    if (!detector)
        throw status;
    return detector;
}

void WindowDetectors::setUpDetector(_ArtifactsMath* detector, const _ArtifactDetectSetting& settings) {
    // These calls cannot fail on a detector that exists; their statuses carry
    // nothing to act on.
    ArtifactsMathInit(detector, settings.amplitude_threshold, settings.band_power_threshold,
                      settings.bad_samples_percent, settings.quality_history_length);
    if (settings.use_hanning)
        ArtifactsMathSetHanningWinSpect(detector);
    else if (settings.use_hamming)
        ArtifactsMathSetHammingWinSpect(detector);
    if (settings.detect_by_total_power)
        ArtifactsMathSetArtifactDetectByTotalPower(detector, settings.total_power_threshold);
}

WindowDetectors::WindowDetectors(const _MathLibSetting& mathLib, const _ArtifactDetectSetting& artifactDetect)
    : windowLength(static_cast<std::size_t>(mathLib.fft_window)) {
    if (mathLib.bipolar_mode) {
        leftDetector = makeDetector(1, mathLib);
        rightDetector = makeDetector(2, mathLib);
        setUpDetector(leftDetector.get(), artifactDetect);
        setUpDetector(rightDetector.get(), artifactDetect);
        windows.assign(2 * windowLength, 0.0);
        return;
    }
    const std::size_t channels = static_cast<std::size_t>(mathLib.channels_number);
    channelDetectors.reserve(channels);
    for (int c = 0; c < mathLib.channels_number; ++c)
        channelDetectors.push_back(makeDetector(c, mathLib));
    for (const Detector& detector : channelDetectors)
        setUpDetector(detector.get(), artifactDetect);
    windows.assign(channels * windowLength, 0.0);
    channelVerdicts.assign(channels, 0);
    channelQualities.assign(channels, 0.0);
}

_ArtifactsMath* WindowDetectors::sideDetector(_SideType side) const {
    return side == LEFT ? leftDetector.get() : (side == RIGHT ? rightDetector.get() : nullptr);
}

_ArtifactsMath* WindowDetectors::channelDetector(std::size_t channel) const {
    return channelDetectors.at(channel).get();
}

bool WindowDetectors::isArtifacted(_ArtifactsMath* detector, double* samples, bool flag) {
    bool artifacted = true;
    const _OutStatus status = ArtifactsMathIsArtifactedWin(&artifacted, &channelQuality, detector, samples,
                                                           static_cast<int>(windowLength), flag);
    if (!status.success)
        throw status;
    return artifacted;
}

bool WindowDetectors::judgeChannels() {
    bool anyClean = false;
    for (std::size_t c = 0; c < channelDetectors.size(); ++c) {
        const bool artifacted = isArtifacted(channelDetectors[c].get(), window(c));
        channelVerdicts[c] = artifacted;
        channelQualities[c] = channelQuality;
        anyClean |= !artifacted;
    }
    return anyClean;
}

void WindowDetectors::setHanningWinSpect() {
    // A call on a detector that exists cannot fail.
    for (const Detector* side : {&leftDetector, &rightDetector})
        if (*side)
            ArtifactsMathSetHanningWinSpect(side->get());
}

void WindowDetectors::setHammingWinSpect() {
    for (const Detector* side : {&leftDetector, &rightDetector})
        if (*side)
            ArtifactsMathSetHammingWinSpect(side->get());
}

} // namespace OviMath::MathLib
