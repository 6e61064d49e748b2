#pragma once

// The filter family's C boundary: the one place where exceptions become the
// caller's error flag and opaque handles become objects.


#include "filters/i_t_filter.h"
#include "filters/t_filter_list.h"
#include "kalo_artifacts/filters.h"
#include "shared/require.h"

namespace Filters::CBoundary {

// Clears the flag, runs the work, and on any exception sets the flag and
// returns `neutral`. A null flag pointer is tolerated.
template <class Result, class Work>
Result withErrorFlag(bool* error_flag, Result neutral, Work&& work) noexcept {
    if (error_flag != nullptr)
        *error_flag = false;
    try {
        return work();
    } catch (...) {
        if (error_flag != nullptr)
            *error_flag = true;
        return neutral;
    }
}

template <class Work>
void withErrorFlag(bool* error_flag, Work&& work) noexcept {
    withErrorFlag(error_flag, 0, [&] {
        work();
        return 0;
    });
}

inline ITFilter& filterOf(TFilterHandle* handle) {
    return *reinterpret_cast<ITFilter*>(OviMath::requireNonNull(handle, "filter handle is null"));
}

inline ITFiltersList& listOf(TFilterListHandle* handle) {
    return *reinterpret_cast<ITFiltersList*>(OviMath::requireNonNull(handle, "filter list handle is null"));
}

inline TFilterHandle* handleOf(ITFilter* filter) { return reinterpret_cast<TFilterHandle*>(filter); }
inline TFilterListHandle* handleOf(ITFiltersList* list) { return reinterpret_cast<TFilterListHandle*>(list); }

// A sample array may be null only when there is nothing to read from it.
inline void requireSamples(const double* samples, int count) {
    if (count > 0)
        OviMath::requireNonNull(samples, "sample array is null");
}

} // namespace Filters::CBoundary
