#include "filters/filter_cascade.h"

namespace Filters::Impl::Algorithms {

// The block forms copy the state into locals: the sample array could alias
// the members, and locals let the compiler keep the state in registers.

void HalfFilterCascade::Filter(double* values, int count) {
    double s1 = w1;
    for (int i = 0; i < count; ++i)
        values[i] = step(values[i], a1, b1, s1);
    w1 = s1;
}

void FullfilterCascade::Filter(double* values, int count) {
    double s1 = w1;
    double s2 = w2;
    for (int i = 0; i < count; ++i)
        values[i] = step(values[i], a1, a2, b1, b2, s1, s2);
    w1 = s1;
    w2 = s2;
}

} // namespace Filters::Impl::Algorithms
