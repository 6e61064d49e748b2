#include "filters/iir_filter.h"

#include <utility>

namespace Filters::Impl::Algorithms {

IirFilter::IirFilter(int tag1, int tag2, bool complement, double gain, Sections sections)
    : firstTag(tag1), secondTag(tag2), complemented(complement), inputGain(gain), cascade(std::move(sections)) {}

void IirFilter::SetParams(int tag1, int tag2, bool complement, double gain, Sections sections) {
    firstTag = tag1;
    secondTag = tag2;
    complemented = complement;
    inputGain = gain;
    cascade = std::move(sections);
}

double IirFilter::Filter(double x) {
    double v = inputGain * x;
    for (auto& section : cascade)
        v = section->Filter(v);
    if (complemented)
        v = x - v;
    return v;
}

void IirFilter::Filter(double* values, int count) {
    if (count <= 0)
        return;
    if (!complemented) {
        for (int i = 0; i < count; ++i)
            values[i] = inputGain * values[i];
        for (auto& section : cascade)
            section->Filter(values, count);
        return;
    }
    // The complement needs each input after its output is known.
    for (int i = 0; i < count; ++i)
        values[i] = Filter(values[i]);
}

void IirFilter::Clear() {
    cascade.clear();
    inputGain = 1.0;
}

void IirFilter::Reset() {
    for (auto& section : cascade)
        section->Reset();
}

} // namespace Filters::Impl::Algorithms
