#pragma once

// The spectral step: a clean window's samples become five band values, each
// a share of a common divisor. The transform plan, the window weights and
// each examined bin's band are the same for every window and computed once.
//
// The arithmetic is written in the order it must run, so that every host
// gets the same numbers, bit for bit: sums start from zero and take their
// terms in bin order.

#include <array>
#include <cstdint>
#include <vector>

#include "kalo_artifacts/types.h"
#include "shared/fft.h"
#include "shared/spectral_window.h"

namespace OviMath::MathLib {

// The five EEG bands, in the order of every band record.
enum Band : int { Delta = 0, Theta, Alpha, Beta, Gamma, BandCount };

// One window's bands: normalised (by band width or coefficient when that is
// on) but not divided, and as shares of the divisor.
struct BandValues {
    _SpectralDataPercents normalised;
    _SpectralDataPercents shares;
};

class SpectralStep {
public:
    // What construction fixes (getNearestPow2 aside, which stores fftSize).
    struct Geometry {
        int fftWindow;
        int fftSize;
        double binsPerHz;
        std::uint64_t bins50Hz; // bins 0 .. bins50Hz - 1 are examined
    };

    SpectralStep(const _MathLibSetting& mathLib, const _ArtifactDetectSetting& artifactDetect);

    // The bands of `window` (fftWindow microvolt samples). Until the first
    // calibration has completed (`calibrated` false) alpha and beta are
    // measured against each other and delta is left out.
    BandValues compute(const double* window, bool calibrated);

    // Neither clears the other flag: once both are set the Hamming window is
    // used.
    void setHanningWinSpect() { hanningWinSpect = true; }
    void setHammingWinSpect() { hammingWinSpect = true; }
    void setSpectNormalizationByBandsWidth(bool on) { normalizeByBandsWidth = on; }
    void setSpectNormalizationByCoeffs(bool on) { normalizeByCoeffs = on; }
    // Refuses (code 1) weights that are not finite numbers of at least
    // minimumSpectWeight; the weights in force stay.
    void setWeightsForSpectra(_SpectralDataPercents weights);

    // Smallest transform length for n samples among 32 .. 524288; stores it
    // in fftSize. When none qualifies fftSize keeps its value.
    int getNearestPow2(int n);
    const Geometry& geometry() const { return fixed; }

    // The smallest spectral weight accepted: smaller ones could push band
    // values past the largest double.
    static constexpr double minimumSpectWeight = 1e-12;

private:
    Geometry fixed;
    int amplitudeThreshold;
    bool usePowerSpectrum;
    bool hanningWinSpect;
    bool hammingWinSpect;
    bool normalizeByCoeffs = false;
    bool normalizeByBandsWidth = true;
    _SpectralDataPercents spectWeights{1.0, 1.0, 1.0, 1.0, 1.0};
    static constexpr std::array<int, BandCount> bandBorders{4, 7, 14, 25, 50};
    std::array<double, BandCount> bandWidths{};

    ComplexArray spectrum; // the transform array, fftSize entries
    const Functions::FftPlan* fftPlan; // shared by every user of this length
    Functions::WindowWeights weights;
    std::vector<signed char> binBand; // band of bins 0 .. bins50Hz - 1, -1 for none
};

} // namespace OviMath::MathLib
