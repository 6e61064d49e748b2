#include "demo.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

namespace kalo::cli {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kMicrovolt = 1e-6;
constexpr double kPatternSec = 120.0;
constexpr double kLidBurstSec = 0.45;

// Eyes open at the start (so a calibration there is the open-eyes baseline),
// then alternating, with the electrodes off for 7 s: longer than the 4 s after
// which the engine reports an artifacted sequence.
const std::vector<DemoStretch> kPattern = {
    {0.0, 25.0, DemoState::EyesOpen},  {25.0, 50.0, DemoState::EyesClosed},   {50.0, 70.0, DemoState::EyesOpen},
    {70.0, 77.0, DemoState::ElectrodeOff}, {77.0, 100.0, DemoState::EyesClosed}, {100.0, 120.0, DemoState::EyesOpen},
};

// std::normal_distribution differs between standard libraries; Box-Muller
// over std::mt19937 (whose output the standard fixes) does not.
class Gaussian {
public:
    explicit Gaussian(std::uint32_t seed) : engine_(seed) {}
    double operator()() {
        const double u1 = (static_cast<double>(engine_()) + 0.5) / 4294967296.0;
        const double u2 = (static_cast<double>(engine_()) + 0.5) / 4294967296.0;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
    }

private:
    std::mt19937 engine_;
};

// 1/f ("pink") noise: white noise through a sum of first-order low-passes
// whose corners are spread over the EEG range, scaled to `rmsUv`.
std::vector<double> pinkNoiseUv(std::size_t n, std::uint32_t seed, double rmsUv) {
    Gaussian white(seed);
    static constexpr double pole[] = {0.99886, 0.99332, 0.96900, 0.86650, 0.55000, -0.7616};
    static constexpr double gain[] = {0.0555179, 0.0750759, 0.1538520, 0.3104856, 0.5329522, -0.0168980};
    double state[6] = {};
    std::vector<double> out(n);
    double sumSquares = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double w = white();
        double y = 0.5362 * w;
        for (int k = 0; k < 6; ++k) {
            state[k] = pole[k] * state[k] + gain[k] * w;
            y += state[k];
        }
        out[i] = y;
        sumSquares += y * y;
    }
    const double scale = rmsUv / std::sqrt(sumSquares / static_cast<double>(n));
    for (double& v : out)
        v *= scale;
    return out;
}

// Muscle activity as the engine's 10-30 Hz input sees it: white noise
// through a resonator around `centreHz`, scaled to unit rms.
std::vector<double> bandNoise(std::size_t n, std::uint32_t seed, double centreHz, double bandwidthHz) {
    Gaussian white(seed);
    const double r = std::exp(-kPi * bandwidthHz / kDemoRateHz);
    const double a1 = 2.0 * r * std::cos(2.0 * kPi * centreHz / kDemoRateHz);
    const double a2 = r * r;
    std::vector<double> out(n);
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0, sumSquares = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = white();
        const double y = (x - x2) + a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        out[i] = y;
        sumSquares += y * y;
    }
    const double scale = 1.0 / std::sqrt(sumSquares / static_cast<double>(n));
    for (double& v : out)
        v *= scale;
    return out;
}

// The pattern repeated over the whole recording, the last stretch cut at
// its end.
std::vector<DemoStretch> stretchesFor(double durationSec) {
    std::vector<DemoStretch> stretches;
    for (double offset = 0; offset < durationSec; offset += kPatternSec)
        for (const DemoStretch& s : kPattern)
            if (offset + s.beginSec < durationSec)
                stretches.push_back({offset + s.beginSec, std::min(offset + s.endSec, durationSec), s.state});
    return stretches;
}

DemoState stateAt(const std::vector<DemoStretch>& stretches, double t) {
    for (const DemoStretch& s : stretches)
        if (t >= s.beginSec && t < s.endSec)
            return s.state;
    return DemoState::EyesOpen;
}

// Blinks every 5 s in the open-eyes stretches, from 2.5 s into each, none
// in the engine's start-up seconds (where nothing is judged).
std::vector<double> blinkTimes(const std::vector<DemoStretch>& stretches) {
    std::vector<double> times;
    for (const DemoStretch& s : stretches)
        if (s.state == DemoState::EyesOpen)
            for (double t = s.beginSec + 2.5; t < s.endSec - 1.5; t += 5.0)
                if (t > 6.0)
                    times.push_back(t);
    return times;
}

// An eye blink seen at the forehead: the lid's fast downstroke, then a slow
// return (a gamma-function shape peaking `tau` after its start).
double blinkUv(double dt) {
    constexpr double peakUv = 300.0;
    constexpr double tau = 0.05;
    if (dt < 0)
        return 0.0;
    return peakUv * (dt / tau) * std::exp(1.0 - dt / tau);
}

} // namespace

std::string demoStateName(DemoState state) {
    switch (state) {
    case DemoState::EyesOpen: return "eyes open";
    case DemoState::EyesClosed: return "eyes closed";
    case DemoState::ElectrodeOff: return "electrode off";
    }
    return {};
}

DemoRecording synthesiseDemo(int minutes) {
    const double durationSec = 60.0 * minutes;
    const std::size_t n = static_cast<std::size_t>(durationSec * kDemoRateHz);
    DemoRecording demo;
    demo.stretches = stretchesFor(durationSec);
    demo.blinkSec = blinkTimes(demo.stretches);
    demo.recording = std::make_unique<host::MemoryRecording>("demo (synthetic)", "synthetic");

    const std::vector<double> background[2] = {pinkNoiseUv(n, 11, 18.0), pinkNoiseUv(n, 12, 18.0)};
    Gaussian offNoise(13);
    const std::vector<double> lidMuscle = bandNoise(n, 14, 20.0, 12.0);
    for (int side = 0; side < 2; ++side) {
        std::vector<double> volts(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / kDemoRateHz;
            const DemoState state = stateAt(demo.stretches, t);
            double uv = 0.0;
            if (state == DemoState::ElectrodeOff) {
                // Contact lost: the amplifier sees almost nothing.
                uv = 0.3 * offNoise();
            } else {
                // Alpha waxes and waning over seconds; strong with eyes closed.
                const double envelope = 0.75 + 0.25 * std::sin(2.0 * kPi * 0.15 * t + side);
                const double alphaUv = (state == DemoState::EyesClosed ? 30.0 : 4.0) * envelope;
                uv = background[side][i] + alphaUv * std::sin(2.0 * kPi * 10.0 * t + 0.2 * side) +
                     15.0 * std::sin(2.0 * kPi * 50.0 * t); // mains
                for (const double b : demo.blinkSec)
                    if (t >= b && t < b + 0.8) {
                        uv += (side == 0 ? 1.0 : 0.9) * blinkUv(t - b);
                        // The lid muscles fire with the blink. This burst,
                        // not the slow deflection (which the engine's 10 Hz
                        // high-pass removes), is what marks the window.
                        if (t < b + kLidBurstSec)
                            uv += 35.0 * std::sin(kPi * (t - b) / kLidBurstSec) * lidMuscle[i];
                    }
            }
            volts[i] = uv * kMicrovolt;
        }
        demo.recording->addChannel({side == 0 ? "Left" : "Right", "V", kDemoRateHz, 0, true, {}}, std::move(volts));
    }
    for (const DemoStretch& s : demo.stretches)
        demo.recording->addEvent({s.beginSec, s.endSec - s.beginSec, demoStateName(s.state)});
    for (const double b : demo.blinkSec)
        demo.recording->addEvent({b, 0.5, "blink"});
    return demo;
}

} // namespace kalo::cli
