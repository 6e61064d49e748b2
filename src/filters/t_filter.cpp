#include "filters/t_filter.h"

#include <random>
#include <stdexcept>

namespace Filters::Impl {

namespace {

std::string copyOfText(const char* text) {
    if (text == nullptr)
        throw std::logic_error("coefficient text is null");
    return std::string(text);
}

} // namespace

TFilter::TFilter(const char* creationText)
    : id(generate_guid()), text(copyOfText(creationText)), filter(Create(text.c_str())) {}

TFilter::TFilter(const TFilter& other)
    : ITFilter(), id(generate_guid()), text(other.text), filter(Create(text.c_str())) {}

std::unique_ptr<Algorithms::IirFilter> TFilter::Create(const char* text) {
    double gain = 0.0;
    Algorithms::Sections sections = CreateCascades(text, gain);
    return std::make_unique<Algorithms::IirFilter>(0, 0, false, gain, std::move(sections));
}

int TFilter::generate_guid() {
    // A fresh device and generator per identity: identities are cheap to draw
    // and filters are created at setup, never on the sample path.
    std::random_device device("default");
    std::mt19937 generator(device());
    std::uniform_int_distribution<int> distribution(1000, 9999);
    return distribution(generator);
}

double TFilter::Filter(double x) { return filter->Filter(x); }

void TFilter::Filter(double* values, int count) {
    if (count > 0)
        filter->Filter(values, count);
}

void TFilter::ClearParams() { filter->Clear(); }

void TFilter::SetParams(const char* newText) {
    // Parse first: a null text throws before the filter changes.
    double gain = 0.0;
    Algorithms::Sections sections = CreateCascades(newText, gain);
    filter->SetParams(0, 0, false, gain, std::move(sections));
}

void TFilter::Reset() { filter->Reset(); }

} // namespace Filters::Impl
