#pragma once

// The filter family's C boundary: the one place where exceptions become the
// caller's error flag and opaque handles become objects.

#include <stdexcept>

#include "filters/i_t_filter.h"
#include "filters/t_filter_list.h"
#include "kalo_artifacts/filters.h"

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
    if (handle == nullptr)
        throw std::invalid_argument("filter handle is null");
    return *reinterpret_cast<ITFilter*>(handle);
}

inline ITFiltersList& listOf(TFilterListHandle* handle) {
    if (handle == nullptr)
        throw std::invalid_argument("filter list handle is null");
    return *reinterpret_cast<ITFiltersList*>(handle);
}

inline TFilterHandle* handleOf(ITFilter* filter) { return reinterpret_cast<TFilterHandle*>(filter); }
inline TFilterListHandle* handleOf(ITFiltersList* list) { return reinterpret_cast<TFilterListHandle*>(list); }

// A sample array may be null only when there is nothing to read from it.
inline void requireSamples(const double* samples, int count) {
    if (samples == nullptr && count > 0)
        throw std::invalid_argument("sample array is null");
}

} // namespace Filters::CBoundary
