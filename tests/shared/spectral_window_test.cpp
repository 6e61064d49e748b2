#include "shared/spectral_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using OviMath::Functions::SpectralWindow;
using OviMath::Functions::chooseSpectralWindow;
using OviMath::Functions::spectralWindowWeight;

// The textbook definitions, in extended precision, written independently of
// the library's evaluation order.
long double hamming(int j, int n) {
    return 0.54L - 0.46L * std::cos(2.0L * std::numbers::pi_v<long double> * j / (n - 1));
}
long double hanning(int j, int n) {
    return 0.5L * (1.0L - std::cos(2.0L * std::numbers::pi_v<long double> * j / (n - 1)));
}

TEST(SpectralWindow, BothFlagsChooseHamming) {
    EXPECT_EQ(SpectralWindow::Hamming, chooseSpectralWindow(true, true));
    EXPECT_EQ(SpectralWindow::Hamming, chooseSpectralWindow(true, false));
    EXPECT_EQ(SpectralWindow::Hanning, chooseSpectralWindow(false, true));
    EXPECT_EQ(SpectralWindow::None, chooseSpectralWindow(false, false));
}

TEST(SpectralWindow, WeightsFollowTheDefinitions) {
    for (int n : {2, 3, 4, 5, 64, 250, 500, 1000, 4097}) {
        for (int j = 0; j < n; ++j) {
            EXPECT_NEAR(static_cast<double>(hamming(j, n)), spectralWindowWeight(SpectralWindow::Hamming, j, n), 1e-15)
                << "length " << n << ", sample " << j;
            EXPECT_NEAR(static_cast<double>(hanning(j, n)), spectralWindowWeight(SpectralWindow::Hanning, j, n), 1e-15)
                << "length " << n << ", sample " << j;
            EXPECT_EQ(1.0, spectralWindowWeight(SpectralWindow::None, j, n));
        }
    }
}

// Close is not enough: the weights must be exactly these doubles, since the
// spectra built from them are reproduced bit for bit. A tempting shortcut,
// computing the step 2 pi / (N - 1) once and multiplying it by j, already
// changes about a third of these weights in the last bits.
TEST(SpectralWindow, WeightsAreTheFixedEvaluationOrder) {
    for (int n : {7, 250, 1000}) {
        for (int j = 0; j < n; ++j) {
            const double theta = (j * 6.283185307179586) / (n + (-1.0));
            EXPECT_EQ(std::cos(theta) * (-0.46) + 0.54, spectralWindowWeight(SpectralWindow::Hamming, j, n));
            EXPECT_EQ((1 - std::cos(theta)) * 0.5, spectralWindowWeight(SpectralWindow::Hanning, j, n));
        }
    }
}

TEST(SpectralWindow, WeightsAreSymmetric) {
    for (int n : {2, 3, 10, 11, 250, 1001}) {
        for (int j = 0; j < n; ++j) {
            EXPECT_NEAR(spectralWindowWeight(SpectralWindow::Hamming, j, n),
                        spectralWindowWeight(SpectralWindow::Hamming, n - 1 - j, n), 1e-15);
            EXPECT_NEAR(spectralWindowWeight(SpectralWindow::Hanning, j, n),
                        spectralWindowWeight(SpectralWindow::Hanning, n - 1 - j, n), 1e-15);
        }
    }
}

TEST(SpectralWindow, EndpointsAndCentre) {
    for (int n : {2, 5, 250, 1001}) {
        EXPECT_NEAR(0.08, spectralWindowWeight(SpectralWindow::Hamming, 0, n), 1e-15);
        EXPECT_NEAR(0.08, spectralWindowWeight(SpectralWindow::Hamming, n - 1, n), 1e-15);
        EXPECT_NEAR(0.0, spectralWindowWeight(SpectralWindow::Hanning, 0, n), 1e-15);
        EXPECT_NEAR(0.0, spectralWindowWeight(SpectralWindow::Hanning, n - 1, n), 1e-15);
    }
    // An odd length has a centre sample at the top of the window.
    EXPECT_NEAR(1.0, spectralWindowWeight(SpectralWindow::Hamming, 500, 1001), 1e-15);
    EXPECT_NEAR(1.0, spectralWindowWeight(SpectralWindow::Hanning, 500, 1001), 1e-15);
}

TEST(SpectralWindow, OneSampleWindowHasWeightOne) {
    for (SpectralWindow w : {SpectralWindow::None, SpectralWindow::Hamming, SpectralWindow::Hanning})
        EXPECT_EQ(1.0, spectralWindowWeight(w, 0, 1));
}

} // namespace
