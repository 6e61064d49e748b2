#pragma once

#include <stdexcept>

namespace OviMath {

// A pointer a host passed in that must not be null: refused with
// std::invalid_argument naming it, which each C boundary turns into its
// report instead of a crash.
template <class T>
T* requireNonNull(T* pointer, const char* what) {
    if (pointer == nullptr)
        throw std::invalid_argument(what);
    return pointer;
}

} // namespace OviMath
