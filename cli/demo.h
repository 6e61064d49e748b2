#pragma once

// A synthetic bipolar recording at 250 Hz for trying the program without a
// file, with the moments a person would label in a real one as its events.
// Its two-minute pattern (eyes open and closed, an electrode coming off)
// repeats for longer recordings.
// Always the same samples: the random numbers come from a fixed seed through
// generators whose output the C++ standard fixes.

#include <memory>
#include <string>
#include <vector>

#include "host/recording.h"

namespace kalo::cli {

enum class DemoState { EyesOpen, EyesClosed, ElectrodeOff };

struct DemoStretch {
    double beginSec;
    double endSec;
    DemoState state;
};

struct DemoRecording {
    // Channels "Left" and "Right", volts; events for every stretch and blink.
    std::unique_ptr<host::MemoryRecording> recording;
    std::vector<DemoStretch> stretches;
    std::vector<double> blinkSec; // start of each blink
};

constexpr int kDemoRateHz = 250;

DemoRecording synthesiseDemo(int minutes = 2);

std::string demoStateName(DemoState state);

} // namespace kalo::cli
