#pragma once

// One channel's filter chain, built through the filter C interface as a host
// would: the 50, 60 and 62.5 Hz band-stops, the 10 Hz high-pass and the
// 30 Hz low-pass, in that order.

#include <array>
#include <cstddef>

#include "shared/filter_handles.h"

namespace OviMath::MathLib {

class FilterChain {
public:
    // With the library's own fixed texts a filter call can only fail for
    // want of memory; a chain missing a filter would quietly give other
    // numbers, so that is raised as std::bad_alloc instead.
    FilterChain();

    // Filters `n` values in place, the chain's state moving on as if they
    // came one by one.
    void filter(double* values, std::size_t n);

private:
    FilterListHandle list;
    std::array<FilterHandle, 5> filters;
};

} // namespace OviMath::MathLib
