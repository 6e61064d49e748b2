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

} // namespace OviMath::Functions
