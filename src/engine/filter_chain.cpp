#include "engine/filter_chain.h"

#include <new>

#include "kalo_artifacts/types.h"

namespace OviMath::MathLib {

FilterChain::FilterChain() {
    bool failed = false;
    list.reset(create_TFilterList(&failed));
    if (failed || !list)
        throw std::bad_alloc();
    const std::array<const char*, 5> texts{Types::K_bs_45_55_4, Types::K_bs_55_65, Types::K_bs_62,
                                                  Types::K_hp_10_Cheb3, Types::K_lp_30};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        filters[i].reset(create_custom_TFilter(texts[i], &failed));
        if (failed || !filters[i])
            throw std::bad_alloc();
    }
    for (const FilterHandle& f : filters) {
        TFilterList_AddFilter(list.get(), f.get(), &failed);
        if (failed)
            throw std::bad_alloc();
    }
}

void FilterChain::filter(double* values, std::size_t n) {
    bool ignored = false; // a filter call can only fail on a null list, which construction rules out
    TFilterList_Filter_array(list.get(), values, static_cast<int>(n), &ignored);
}

} // namespace OviMath::MathLib
