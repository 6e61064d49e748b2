#pragma once

// Synthetic EEG windows a user would recognise, in volts: background
// activity with an alpha rhythm, a blink, a flat line (electrode off), a
// muscle-like beta burst.

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace kalo_test {

constexpr double microvolt = 1e-6;

// 10 Hz alpha of `alphaUv` microvolts on Gaussian background noise of
// `noiseUv` microvolts (standard deviation).
inline std::vector<double> eegLike(int n, double rateHz, unsigned seed, double alphaUv = 20.0, double noiseUv = 6.0) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, noiseUv);
    std::vector<double> out(n);
    for (int i = 0; i < n; ++i)
        out[i] = (alphaUv * std::sin(2.0 * std::numbers::pi * 10.0 * i / rateHz + 0.3) + noise(random)) * microvolt;
    return out;
}

// Adds a raised-cosine bump of `peakUv` microvolts and `widthS` seconds
// centred in the window: the shape of an eye blink.
inline std::vector<double> withBlink(std::vector<double> window, double rateHz, double peakUv = 150.0,
                                     double widthS = 0.4) {
    const double centre = window.size() / rateHz / 2.0;
    for (std::size_t i = 0; i < window.size(); ++i) {
        const double t = i / rateHz - centre;
        if (std::abs(t) < widthS / 2.0)
            window[i] += peakUv * 0.5 * (1.0 + std::cos(2.0 * std::numbers::pi * t / widthS)) * microvolt;
    }
    return window;
}

// Adds a sinusoid of `amplitudeUv` microvolts at `hz`.
inline std::vector<double> withTone(std::vector<double> window, double rateHz, double hz, double amplitudeUv) {
    for (std::size_t i = 0; i < window.size(); ++i)
        window[i] += amplitudeUv * std::sin(2.0 * std::numbers::pi * hz * i / rateHz) * microvolt;
    return window;
}

// What an electrode that lost contact delivers: a line within a microvolt of 0.
inline std::vector<double> flatLine(int n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> tiny(-1.0, 1.0);
    std::vector<double> out(n);
    for (auto& x : out)
        x = tiny(random) * microvolt;
    return out;
}

} // namespace kalo_test
