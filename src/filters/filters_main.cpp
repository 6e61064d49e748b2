// The filter family's C interface. Each function only converts: handles to
// objects, exceptions to the error flag (see flag_boundary.h).

#include <memory>

#include "filters/filters.h"
#include "filters/flag_boundary.h"
#include "filters/preinstalled.h"
#include "shared/require.h"
#include "kalo_artifacts/filters.h"

using namespace Filters::CBoundary;

extern "C" {

KALO_API TFilterListHandle* create_TFilterList(bool* error_flag) {
    return withErrorFlag<TFilterListHandle*>(error_flag, nullptr,
                                             [] { return handleOf(Filters::create_filters_list().release()); });
}

KALO_API void TFilterList_AddFilter(TFilterListHandle* list, TFilterHandle* filter, bool* error_flag) {
    withErrorFlag(error_flag, [&] { listOf(list).AddFilter(&filterOf(filter)); });
}

KALO_API double TFilterList_Filter(TFilterListHandle* list, double sample, bool* error_flag) {
    return withErrorFlag(error_flag, 0.0, [&] { return listOf(list).Filter(sample); });
}

KALO_API void TFilterList_Filter_array(TFilterListHandle* list, double* samples, int count, bool* error_flag) {
    withErrorFlag(error_flag, [&] {
        auto& chain = listOf(list);
        requireSamples(samples, count);
        chain.Filter(samples, count);
    });
}

KALO_API void TFilterList_Reset(TFilterListHandle* list, bool* error_flag) {
    withErrorFlag(error_flag, [&] { listOf(list).Reset(); });
}

KALO_API void TFilter_List_ClearFilters(TFilterListHandle* list, bool* error_flag) {
    withErrorFlag(error_flag, [&] { listOf(list).ClearFilters(); });
}

KALO_API void TFilterList_Delete_TFilter(TFilterListHandle* list, int id, bool* error_flag) {
    withErrorFlag(error_flag, [&] { listOf(list).DeleteFilter(id); });
}

KALO_API void delete_TFilterList(TFilterListHandle* list, bool* error_flag) {
    withErrorFlag(error_flag, [&] {
        if (list != nullptr)
            delete &listOf(list);
    });
}

KALO_API TFilterHandle* create_custom_TFilter(const char* text, bool* error_flag) {
    return withErrorFlag<TFilterHandle*>(error_flag, nullptr,
                                         [&] { return handleOf(Filters::create_filter(text).release()); });
}

KALO_API double TFilter_Filter(TFilterHandle* filter, double sample, bool* error_flag) {
    return withErrorFlag(error_flag, 0.0, [&] { return filterOf(filter).Filter(sample); });
}

KALO_API void TFilter_Filter_array(TFilterHandle* filter, double* samples, int count, bool* error_flag) {
    withErrorFlag(error_flag, [&] {
        auto& target = filterOf(filter);
        requireSamples(samples, count);
        target.Filter(samples, count);
    });
}

KALO_API void TFilter_Reset(TFilterHandle* filter, bool* error_flag) {
    withErrorFlag(error_flag, [&] { filterOf(filter).Reset(); });
}

KALO_API void TFilter_ClearParams(TFilterHandle* filter, bool* error_flag) {
    withErrorFlag(error_flag, [&] { filterOf(filter).ClearParams(); });
}

KALO_API void TFilter_SetParams(TFilterHandle* filter, const char* text, bool* error_flag) {
    withErrorFlag(error_flag, [&] { filterOf(filter).SetParams(text); });
}

KALO_API int getID_TFilter(TFilterHandle* filter, bool* error_flag) {
    return withErrorFlag(error_flag, 0, [&] { return filterOf(filter).getID(); });
}

KALO_API void delete_TFilter(TFilterHandle* filter, bool* error_flag) {
    withErrorFlag(error_flag, [&] {
        if (filter != nullptr)
            delete &filterOf(filter);
    });
}

} // extern "C"

// The preinstalled catalogue.

extern "C" {

KALO_API TFilterHandle* create_TFilter_by_param(_FilterParam param, bool* error_flag) {
    return withErrorFlag<TFilterHandle*>(error_flag, nullptr,
                                         [&] { return handleOf(Filters::create_filter_by_param(param).release()); });
}

KALO_API void get_preinstalled_filter_count(int* count, bool* error_flag) {
    withErrorFlag(error_flag, [&] {
        const Filters::Preinstalled::PreinstaledFilter catalogue;
        catalogue.GetPreinstalledCount(*OviMath::requireNonNull(count, "count pointer is null"));
    });
}

KALO_API void get_preinstalled_filter_list(_FilterParam* list, bool* error_flag) {
    withErrorFlag(error_flag, [&] {
        const Filters::Preinstalled::PreinstaledFilter catalogue;
        catalogue.GetList(OviMath::requireNonNull(list, "record array is null"));
    });
}

} // extern "C"
