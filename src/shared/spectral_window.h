#pragma once

#include <vector>

namespace OviMath::Functions {

// The weighting applied to a window of samples before it is transformed. Only
// the samples of the window are weighted, not the zero padding after them.
enum class SpectralWindow { None, Hamming, Hanning };

// The users keep two independent flags; when both are set, Hamming wins.
SpectralWindow chooseSpectralWindow(bool useHamming, bool useHanning);

// Weight of sample j (0 <= j < length) of a window of `length` samples:
//   theta   = (j * 6.283185307179586) / (length + (-1.0))
//   Hamming : cos(theta) * (-0.46) + 0.54    (0.54 - 0.46 cos(2 pi j / (N-1)))
//   Hanning : (1 - cos(theta)) * 0.5         (0.5 (1 - cos(2 pi j / (N-1))))
//   None    : 1
// evaluated in double precision in exactly that order, so weights, and the
// spectra built from them, are reproducible bit for bit. A window of one
// sample has weight 1 whatever its kind: the formula would divide by zero.
double spectralWindowWeight(SpectralWindow window, int j, int length);

// The weights of every kind for a window of `length` samples, computed once
// so that weighting a window computes none.
class WindowWeights {
public:
    explicit WindowWeights(int length);
    // `length` weights of that kind (all 1 for None).
    const double* of(SpectralWindow window) const;

private:
    std::vector<double> unit, hamming, hanning;
};

} // namespace OviMath::Functions
