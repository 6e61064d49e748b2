#pragma once

namespace Filters {

// What callers of a filter see. Implemented by Filters::Impl::TFilter.
class ITFilter {
public:
    virtual double Filter(double x) = 0;
    // In place; nothing happens when count <= 0.
    virtual void Filter(double* values, int count) = 0;
    virtual void ClearParams() = 0;
    virtual void SetParams(const char* text) = 0;
    virtual void Reset() = 0;
    virtual ~ITFilter() = default;
    virtual int getID() const = 0;
};

} // namespace Filters
