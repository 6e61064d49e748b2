// The detector on a real recording: a 250 Hz frontal channel with blinks,
// jaw clenches, a quiet eyes-closed stretch and movement at the end. Windows
// of 1 s, 25 a second, through the detector's own 60 Hz input chain (the
// recording has North American mains).

#include <gtest/gtest.h>

#include <vector>

#include "kalo_artifacts.h"
#include "support/real_recordings.h"

namespace {

constexpr int rate = 250;
constexpr int step = 10;

struct Stretch {
    double from;
    double to;
    int windows = 0;
    int artifacted = 0;
    double share() const { return windows == 0 ? 0.0 : static_cast<double>(artifacted) / windows; }
};

TEST(RealRecording, BlinksAndMovementAreFlaggedWhileTheQuietStretchIsNot) {
    const char* name = "OpenBCI_GUI-v6-blinks-jawClench-alpha.volts.csv";
    const auto path = kalo_test::realRecording(name);
    KALO_SKIP_WITHOUT_RECORDING(path, name);
    const std::vector<double> fp1 = kalo_test::readVoltsChannel(path, 0);
    ASSERT_GT(fp1.size(), 22000u);

    _OutStatus status;
    _ArtifactsMath* detector = createArtifactsMath(1, {rate, 25, rate}, &status);
    ASSERT_TRUE(status.success);
    ArtifactsMathInit(detector, 70, 800000, 50, 100);
    ArtifactsMathInitFilters(detector, 60, 0);

    // Blink trains and the closing movement transients, against the
    // eyes-closed stretch with hardly any blinks.
    Stretch blinksAndMovement[] = {{4.2, 6.2}, {15.3, 17.5}, {86.1, 89.0}};
    Stretch quiet{30.0, 75.0};
    for (std::size_t end = rate; end <= fp1.size(); end += step) {
        std::vector<double> window(fp1.begin() + static_cast<long>(end - rate), fp1.begin() + static_cast<long>(end));
        bool artifacted = false;
        int quality = 0;
        ASSERT_TRUE(ArtifactsMathIsArtifactedWin(&artifacted, &quality, detector, window.data(), rate, false).success);
        const double centre = (end - rate / 2.0) / rate;
        for (Stretch* s : {&blinksAndMovement[0], &blinksAndMovement[1], &blinksAndMovement[2], &quiet}) {
            if (centre >= s->from && centre < s->to) {
                ++s->windows;
                s->artifacted += artifacted ? 1 : 0;
            }
        }
    }
    freeArtifactsMath(detector);

    int windows = 0;
    int artifacted = 0;
    for (const auto& s : blinksAndMovement) {
        windows += s.windows;
        artifacted += s.artifacted;
    }
    const double eventShare = static_cast<double>(artifacted) / windows;
    RecordProperty("artifacted_share_events", std::to_string(eventShare));
    RecordProperty("artifacted_share_quiet", std::to_string(quiet.share()));
    EXPECT_GT(eventShare, 0.3);
    EXPECT_LT(quiet.share(), 0.1);
}

} // namespace
