#pragma once

// The geometry of one window's spectrum, common to the engine and the
// artifact detector: the transform lengths both choose from, how a bin maps
// to a frequency, and which bins lie below 50 Hz, the only ones either
// examines. Each keeps its own rule for choosing a length from the table.

#include <array>
#include <cstdint>

namespace OviMath::Functions {

// The transform lengths to choose from, ascending: 2^5 to 2^19.
inline constexpr std::array<int, 15> transformSizes{32,    64,    128,   256,    512,    1024,   2048,  4096,
                                                    8192,  16384, 32768, 65536, 131072, 262144, 524288};

// The lowest sampling rate whose 0-50 Hz band fits in a transform of the
// window (a window holds at least a second of samples).
inline constexpr int lowestSamplingRateHz = 50;

// The engine's rule: the smallest length of the table not below n; 0 when
// none is.
int smallestTransformSize(int n);

// The detector's rule: the same, except that a length 100000 or more above
// n is never taken; 0 when none qualifies.
int nearestTransformSize(int n);

struct BinGeometry {
    double binsPerHz;       // transform length / sampling rate
    std::uint64_t bins50Hz; // floor(binsPerHz x 50): bins 0 .. bins50Hz - 1 lie below 50 Hz
};

// The geometry of a transform of `fftSize` points of a signal sampled at
// `samplingRate` (positive) Hz.
BinGeometry binGeometry(int fftSize, int samplingRate);

} // namespace OviMath::Functions
