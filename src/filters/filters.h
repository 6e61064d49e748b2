#pragma once

// Factories behind the filter C interface. Each returns an owning pointer;
// the C functions release it to the host, who gives it back to a delete
// function.

#include <memory>

#include "filters/i_t_filter.h"
#include "filters/t_filter_list.h"
#include "kalo_artifacts/filters.h"

namespace Filters {

std::unique_ptr<ITFiltersList> create_filters_list();
std::unique_ptr<ITFilter> create_filter(const char* text);
// The preinstalled filter that the record names; throws when there is none.
std::unique_ptr<ITFilter> create_filter_by_param(_FilterParam param);

} // namespace Filters
