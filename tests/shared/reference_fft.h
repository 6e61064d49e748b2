#pragma once

// The transform in its plain recursive form, kept as the oracle that the
// library's transform must match bit for bit, and as the baseline of the
// benchmark. Deliberately naive: two new arrays per level, one cosine and one
// sine per butterfly. Do not optimise it; its value is that it is obviously
// the definition.

#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

namespace KaloTest {

inline void referenceFft(std::vector<std::complex<double>>& x) {
    const std::size_t n = x.size();
    const std::size_t h = n / 2;
    if (h == 0)
        return;

    std::vector<std::complex<double>> even(h);
    std::vector<std::complex<double>> odd(h);
    for (std::size_t i = 0; i < h; ++i) {
        even[i] = x[2 * i];
        odd[i] = x[2 * i + 1];
    }
    referenceFft(even);
    referenceFft(odd);

    for (std::size_t k = 0; k < h; ++k) {
        const double a = (static_cast<double>(k) * (-6.283185307179586)) / static_cast<double>(n);
        const std::complex<double> w(std::cos(a), std::sin(a));
        const std::complex<double> t = w * odd[k];
        x[k] = even[k] + t;
        x[k + h] = even[k] - t;
    }
}

} // namespace KaloTest
