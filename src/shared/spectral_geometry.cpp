#include "shared/spectral_geometry.h"

#include <cmath>

namespace OviMath::Functions {

int smallestTransformSize(int n) {
    for (const int size : transformSizes)
        if (size >= n)
            return size;
    return 0;
}

int nearestTransformSize(int n) {
    long long bestDifference = 100000;
    int best = 0;
    for (const int size : transformSizes) {
        const long long difference = static_cast<long long>(size) - n;
        if (difference >= 0 && difference < bestDifference) {
            best = size;
            bestDifference = difference;
        }
    }
    return best;
}

BinGeometry binGeometry(int fftSize, int samplingRate) {
    const double binsPerHz = static_cast<double>(fftSize) / static_cast<double>(samplingRate);
    return {binsPerHz, static_cast<std::uint64_t>(std::floor(binsPerHz * 50.0))};
}

} // namespace OviMath::Functions
