#pragma once

// The artifact detectors of one engine, reached through the detector C
// interface as a host would: one per side of a bipolar engine (numbered 1
// and 2), one per channel of a multichannel one (numbered from 0). Also the
// windows they judge, in volts: one per side or channel.

#include <cstddef>
#include <memory>
#include <vector>

#include "kalo_artifacts/detector.h"
#include "kalo_artifacts/types.h"

namespace OviMath::MathLib {

class WindowDetectors {
public:
    // A detector that cannot be created is raised as its _OutStatus, with
    // the detectors created so far released.
    WindowDetectors(const _MathLibSetting& mathLib, const _ArtifactDetectSetting& artifactDetect);

    // The detector of a side (LEFT, RIGHT; null in multichannel mode and for
    // any other side) or of a channel (multichannel mode).
    _ArtifactsMath* sideDetector(_SideType side) const;
    _ArtifactsMath* channelDetector(std::size_t channel) const;
    std::size_t detectorCount() const { return channelDetectors.size() + (leftDetector ? 2 : 0); }

    // The window to judge of a side (LEFT 0, RIGHT 1) or channel: fftWindow
    // values, the windows one after the other.
    double* window(std::size_t index) { return windows.data() + index * windowLength; }
    double* allWindows() { return windows.data(); }

    // One judgement of `window` (volts, fftWindow samples) by `detector`; the
    // detector's quality is kept as channelQuality. A failed call (a null
    // detector among them) is raised as its status.
    bool isArtifacted(_ArtifactsMath* detector, double* window, bool flag = false);
    // Every channel's window judged by its detector, in channel order. Returns
    // whether any is clean.
    bool judgeChannels();
    const std::vector<char>& verdicts() const { return channelVerdicts; }
    const std::vector<double>& qualities() const { return channelQualities; }

    // The window function of the side detectors. The channel detectors of a
    // multichannel engine keep the one chosen at construction.
    void setHanningWinSpect();
    void setHammingWinSpect();

private:
    struct DetectorDeleter {
        void operator()(_ArtifactsMath* detector) const { freeArtifactsMath(detector); }
    };
    using Detector = std::unique_ptr<_ArtifactsMath, DetectorDeleter>;
    static Detector makeDetector(int number, const _MathLibSetting& settings);
    static void setUpDetector(_ArtifactsMath* detector, const _ArtifactDetectSetting& settings);

    Detector leftDetector, rightDetector;
    std::vector<Detector> channelDetectors;
    std::size_t windowLength;
    std::vector<double> windows;
    int channelQuality = 0;
    // The multichannel results of one window, by channel.
    std::vector<char> channelVerdicts;
    std::vector<double> channelQualities;
};

} // namespace OviMath::MathLib
