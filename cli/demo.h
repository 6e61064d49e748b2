#pragma once

// A synthetic two-minute bipolar recording at 250 Hz for trying the program
// without a file, with the moments a person would label in a real one.
// Always the same samples: the random numbers come from a fixed seed through
// generators whose output the C++ standard fixes.

#include <string>
#include <vector>

#include "recording.h"

namespace kalo::cli {

enum class DemoState { EyesOpen, EyesClosed, ElectrodeOff };

struct DemoStretch {
    double beginSec;
    double endSec;
    DemoState state;
};

struct DemoRecording {
    Recording recording; // channels "Left" and "Right", volts
    std::vector<DemoStretch> stretches;
    std::vector<double> blinkSec; // centre of each blink
};

constexpr int kDemoRateHz = 250;

DemoRecording synthesiseDemo();

std::string demoStateName(DemoState state);

} // namespace kalo::cli
