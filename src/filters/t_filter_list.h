#pragma once

#include <memory>
#include <vector>

#include "filters/i_t_filter.h"

namespace Filters {

// A chain of filters: every sample passes through all of them in the order
// they were added. Operations marked const leave the list as it is but do
// advance (or reset) the filters' delay states.
class ITFiltersList {
public:
    virtual double Filter(double x) const = 0;
    virtual void Filter(double* values, int count) const = 0;
    // Appends a copy of the filter; the caller keeps (and deletes) its own.
    virtual void AddFilter(ITFilter* filter) = 0;
    virtual void Reset() const = 0;
    virtual void ClearFilters() = 0;
    // Removes the last filter with this identity; nothing when none has it.
    virtual void DeleteFilter(int id) = 0;
    virtual ~ITFiltersList() = default;
};

namespace Impl {

class TFilterList final : public ITFiltersList {
public:
    TFilterList() = default;

    double Filter(double x) const override;
    void Filter(double* values, int count) const override;
    void AddFilter(ITFilter* filter) override;
    void Reset() const override;
    void ClearFilters() override;
    void DeleteFilter(int id) override;

    std::size_t size() const { return filters.size(); }
    const ITFilter& at(std::size_t i) const { return *filters.at(i); }

private:
    std::vector<std::unique_ptr<ITFilter>> filters;
};

} // namespace Impl
} // namespace Filters
