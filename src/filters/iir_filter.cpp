#include "filters/iir_filter.h"

#include <utility>

namespace Filters::Impl::Algorithms {

IirFilter::IirFilter(int tag1, int tag2, bool complement, double gain, Sections sections)
    : tag1_(tag1), tag2_(tag2), complement_(complement), gain_(gain), sections_(std::move(sections)) {}

void IirFilter::SetParams(int tag1, int tag2, bool complement, double gain, Sections sections) {
    tag1_ = tag1;
    tag2_ = tag2;
    complement_ = complement;
    gain_ = gain;
    sections_ = std::move(sections);
}

double IirFilter::Filter(double x) {
    double v = gain_ * x;
    for (auto& section : sections_)
        v = section->Filter(v);
    if (complement_)
        v = x - v;
    return v;
}

void IirFilter::Filter(double* values, int count) {
    if (count <= 0)
        return;
    if (!complement_) {
        for (int i = 0; i < count; ++i)
            values[i] = gain_ * values[i];
        for (auto& section : sections_)
            section->Filter(values, count);
        return;
    }
    // The complement needs each input after its output is known.
    for (int i = 0; i < count; ++i)
        values[i] = Filter(values[i]);
}

void IirFilter::Clear() {
    sections_.clear();
    gain_ = 1.0;
}

void IirFilter::Reset() {
    for (auto& section : sections_)
        section->Reset();
}

} // namespace Filters::Impl::Algorithms
