#include "filters/filters.h"

#include "filters/t_filter.h"
#include "filters/t_filter_list.h"

namespace Filters {

std::unique_ptr<ITFiltersList> create_filters_list() { return std::make_unique<Impl::TFilterList>(); }

std::unique_ptr<ITFilter> create_filter(const char* text) { return std::make_unique<Impl::TFilter>(text); }

std::unique_ptr<ITFilter> create_filter_by_param(_FilterParam param) { return std::make_unique<Impl::TFilter>(param); }

} // namespace Filters
