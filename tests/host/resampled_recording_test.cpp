// Resampling: a sine comes out as the same sine sampled at the new rate (no
// delay, no change of amplitude), channels of different rates meet at one
// rate, and events and gaps keep their times.

#include <gtest/gtest.h>

#include <cmath>

#include "host/channel_choice.h"
#include "host/resampled_recording.h"

using namespace kalo::host;

namespace {

std::vector<double> sine(double rate, double seconds, double hz, double offset) {
    std::vector<double> v;
    for (int i = 0; i < static_cast<int>(rate * seconds); ++i)
        v.push_back(offset + 30e-6 * std::sin(2 * M_PI * hz * i / rate));
    return v;
}

} // namespace

TEST(ResampledRecording, SinesKeepTheirPhaseAndChannelsOfDifferentRatesMeet) {
    auto source = std::make_unique<MemoryRecording>("mixed.edf", "EDF+");
    source->addChannel({"Cz", "uV", 2048.0, 0, true, {}, false}, sine(2048, 20, 10, 0.0));
    source->addChannel({"Pz", "uV", 512.0, 0, true, {}, false}, sine(512, 20, 7, 0.05)); // a 50 mV offset
    source->addEvent({3.5, 1.0, "eyes closed"});
    source->addGap({2048 * 8, 8.0, 2048, 1.0});
    const auto r = resampleRecording(std::move(source), 250);

    ASSERT_EQ(r->channels().size(), 2u);
    for (const ChannelInfo& c : r->channels()) {
        EXPECT_EQ(c.rateHz, 250.0);
        EXPECT_EQ(c.sampleCount, 5000);
    }
    ChannelChoice pair;
    pair.left = "Cz";
    pair.right = "Pz";
    EXPECT_EQ(chooseChannels(*r, pair, OptionStyle::CommandLine).rateHz, 250); // refused before resampling
    EXPECT_EQ(r->events().at(0).onsetSec, 3.5);
    EXPECT_EQ(r->gaps().at(0).afterSample, 2000);
    EXPECT_EQ(r->gaps().at(0).missingSamples, 250);
    EXPECT_EQ(r->gaps().at(0).atSec, 8.0);

    std::vector<double> frames(2 * 5000);
    const int both[] = {0, 1};
    r->read(both, 0, 5000, frames.data());
    const std::vector<double> cz = sine(250, 20, 10, 0.0), pz = sine(250, 20, 7, 0.05);
    double worst = 0;
    // Away from the ends, where the filter meets the edge of the recording.
    for (int i = 250; i < 4750; ++i) {
        worst = std::max(worst, std::abs(frames[2 * i] - cz[i]));
        worst = std::max(worst, std::abs(frames[2 * i + 1] - pz[i]));
    }
    EXPECT_LT(worst, 30e-6 * 1e-4);
    // A later read of a part gives the same samples.
    double again[2];
    r->read(both, 1234, 1, again);
    EXPECT_EQ(again[0], frames[2 * 1234]);
    EXPECT_EQ(again[1], frames[2 * 1234 + 1]);
}
