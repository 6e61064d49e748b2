#pragma once

// Engines for tests: the four settings records, filled from the exported
// defaults, and owning handles for the C interface and for the engine class.

#include <memory>

#include "kalo_artifacts.h"

namespace kalo_test {

struct EngineSettings {
    _MathLibSetting mathLib = MathLibSettingDefault;
    _ArtifactDetectSetting artifactDetect = ArtifactDetectSettingDefault;
    _ShortArtifactDetectSetting shortArtifactDetect = ShortArtifactDetectSettingDefault;
    _MentalAndSpectralSetting mentalAndSpectral = MentalAndSpectralSettingDefault;
};

// The defaults with a rate and window filled in: bipolar unless asked.
inline EngineSettings engineSettings(int rateHz = 250, int windowSamples = 500, bool bipolar = true,
                                     int channels = 4) {
    EngineSettings settings;
    settings.mathLib.sampling_rate = rateHz;
    settings.mathLib.fft_window = windowSamples;
    settings.mathLib.bipolar_mode = bipolar;
    settings.mathLib.channels_number = channels;
    return settings;
}

struct EngineDeleter {
    void operator()(MathLib* engine) const { freeMathLib(engine, nullptr); }
};
using EngineHandle = std::unique_ptr<MathLib, EngineDeleter>;

// Through the C interface; null (with the status filled) on failure.
inline EngineHandle createEngine(const EngineSettings& s, _OutStatus* status = nullptr) {
    return EngineHandle(createMathLib(s.mathLib, s.artifactDetect, s.shortArtifactDetect, s.mentalAndSpectral, status));
}

} // namespace kalo_test

// The engine class itself, for tests that link the library's objects.
#if __has_include("engine/kalo_math.h")
#include "engine/kalo_math.h"
namespace kalo_test {
inline std::unique_ptr<OviMath::MathLib::MathLib> makeEngine(const EngineSettings& s) {
    return std::make_unique<OviMath::MathLib::MathLib>(s.mathLib, s.artifactDetect, s.shortArtifactDetect,
                                                        s.mentalAndSpectral);
}
} // namespace kalo_test
#endif
