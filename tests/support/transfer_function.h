#pragma once

// Frequency response of a parsed filter, evaluated from its coefficients:
//   H(e^jw) = K * prod (1 + b1 z^-1 [+ b2 z^-2]) / (1 + a1 z^-1 [+ a2 z^-2]),
// with z = e^jw and w = 2 pi f / fs. Tests compare what the filters do with
// this, the mathematics, rather than with the filter code.

#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>
#include <vector>

#include "filters/filter_cascade.h"
#include "filters/iir_filter.h"

namespace kalo_test {

struct SectionCoefficients {
    bool secondOrder;
    double b1, b2, a1, a2;
};

inline SectionCoefficients coefficientsOf(const Filters::Impl::Algorithms::IFilterCascade& section) {
    using namespace Filters::Impl::Algorithms;
    if (const auto* full = dynamic_cast<const FullfilterCascade*>(&section))
        return {true, full->feedforward1(), full->feedforward2(), full->feedback1(), full->feedback2()};
    if (const auto* half = dynamic_cast<const HalfFilterCascade*>(&section))
        return {false, half->feedforward1(), 0.0, half->feedback1(), 0.0};
    throw std::logic_error("unknown section kind");
}

inline std::complex<double> response(const Filters::Impl::Algorithms::IirFilter& filter, double hz,
                                     double samplingRate) {
    const double w = 2.0 * std::numbers::pi * hz / samplingRate;
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    std::complex<double> h = filter.gain();
    for (const auto& section : filter.sections()) {
        const SectionCoefficients c = coefficientsOf(*section);
        h *= (1.0 + c.b1 * z1 + c.b2 * z2) / (1.0 + c.a1 * z1 + c.a2 * z2);
    }
    return h;
}

inline double magnitude(const Filters::Impl::Algorithms::IirFilter& filter, double hz, double samplingRate) {
    return std::abs(response(filter, hz, samplingRate));
}

// Largest pole radius of all sections (1 + a1 z^-1 + a2 z^-2 = 0).
inline double largestPoleRadius(const Filters::Impl::Algorithms::IirFilter& filter) {
    double largest = 0.0;
    for (const auto& section : filter.sections()) {
        const SectionCoefficients c = coefficientsOf(*section);
        if (!c.secondOrder) {
            largest = std::max(largest, std::abs(c.a1));
            continue;
        }
        const std::complex<double> root = std::sqrt(std::complex<double>(c.a1 * c.a1 - 4.0 * c.a2));
        largest = std::max({largest, std::abs((-c.a1 + root) / 2.0), std::abs((-c.a1 - root) / 2.0)});
    }
    return largest;
}

} // namespace kalo_test
