#pragma once

#include <memory>
#include <vector>

#include "filters/filter_cascade.h"

namespace Filters::Impl::Algorithms {

using Sections = std::vector<std::unique_ptr<IFilterCascade>>;

// A gain followed by a cascade of sections:
//   H(z) = gain * H1(z) * H2(z) * ... * Hn(z)
// With `complement` set the filter returns x - H(x) instead.
class IirFilter {
public:
    // The two leading integers are carried for callers that tag their
    // filters; no operation reads them, and every creator passes 0.
    IirFilter(int tag1, int tag2, bool complement, double gain, Sections sections);

    // Replaces every field; the old sections are destroyed and the new ones
    // start from whatever state they were built with (zero, from the parser).
    // Taking the list by value moves it in, so this cannot fail.
    void SetParams(int tag1, int tag2, bool complement, double gain, Sections sections);

    double Filter(double x);
    // Same values as Filter(double) applied to each sample in turn.
    void Filter(double* values, int count);

    // Destroys every section and sets the gain to 1: the filter then passes
    // its input through unchanged.
    void Clear();
    // Zeroes every delay state; coefficients and gain stay.
    void Reset();

    int tag1() const { return firstTag; }
    int tag2() const { return secondTag; }
    bool complement() const { return complemented; }
    double gain() const { return inputGain; }
    const Sections& sections() const { return cascade; }

private:
    int firstTag;
    int secondTag;
    bool complemented;
    double inputGain;
    Sections cascade;
};

} // namespace Filters::Impl::Algorithms
