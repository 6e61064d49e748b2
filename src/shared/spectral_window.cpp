#include "shared/spectral_window.h"

#include <cmath>

namespace OviMath::Functions {

SpectralWindow chooseSpectralWindow(bool useHamming, bool useHanning) {
    if (useHamming)
        return SpectralWindow::Hamming;
    if (useHanning)
        return SpectralWindow::Hanning;
    return SpectralWindow::None;
}

double spectralWindowWeight(SpectralWindow window, int j, int length) {
    if (window == SpectralWindow::None || length == 1)
        return 1.0;
    // All in double, in the order written in the header; an integer
    // (length - 1) would overflow for the most negative length, the double
    // form cannot.
    const double theta = (static_cast<double>(j) * 6.283185307179586) / (static_cast<double>(length) + (-1.0));
    if (window == SpectralWindow::Hamming)
        return std::cos(theta) * (-0.46) + 0.54;
    return (1.0 - std::cos(theta)) * 0.5;
}

WindowWeights::WindowWeights(int length)
    : unit(static_cast<std::size_t>(length), 1.0),
      hamming(static_cast<std::size_t>(length)),
      hanning(static_cast<std::size_t>(length)) {
    for (int j = 0; j < length; ++j) {
        hamming[static_cast<std::size_t>(j)] = spectralWindowWeight(SpectralWindow::Hamming, j, length);
        hanning[static_cast<std::size_t>(j)] = spectralWindowWeight(SpectralWindow::Hanning, j, length);
    }
}

const double* WindowWeights::of(SpectralWindow window) const {
    return (window == SpectralWindow::Hamming ? hamming : (window == SpectralWindow::Hanning ? hanning : unit)).data();
}

} // namespace OviMath::Functions
