#include "filters/t_filter_list.h"

#include <stdexcept>

#include "filters/t_filter.h"

namespace Filters::Impl {

double TFilterList::Filter(double x) const {
    double v = x;
    for (const auto& filter : filters)
        v = filter->Filter(v);
    return v;
}

void TFilterList::Filter(double* values, int count) const {
    // Running each filter over the whole block in turn gives the same values
    // as passing every sample through the chain: each filter sees the same
    // inputs in the same order. It costs far fewer calls.
    if (count <= 0)
        return;
    for (const auto& filter : filters)
        filter->Filter(values, count);
}

void TFilterList::AddFilter(ITFilter* filter) {
    const auto* source = dynamic_cast<const TFilter*>(filter);
    if (source == nullptr)
        throw std::invalid_argument("only filters made by this library can be added to a list");
    auto copy = std::make_unique<TFilter>(*source);
    filters.push_back(std::move(copy));
}

void TFilterList::Reset() const {
    for (const auto& filter : filters)
        filter->Reset();
}

void TFilterList::ClearFilters() { filters.clear(); }

void TFilterList::DeleteFilter(int id) {
    for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
        if ((*it)->getID() == id) {
            filters.erase(std::next(it).base());
            return;
        }
    }
}

} // namespace Filters::Impl
