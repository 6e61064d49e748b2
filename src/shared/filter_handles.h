#pragma once

// Owners of the handles of the filter C interface, for the detector and the
// engine, which reach their filters only through that interface. Header
// only: the shared family itself makes no filter call.

#include <memory>

#include "kalo_artifacts/filters.h"

namespace OviMath {

struct FilterListDeleter {
    void operator()(TFilterListHandle* list) const {
        bool ignored = false;
        delete_TFilterList(list, &ignored);
    }
};

struct FilterDeleter {
    void operator()(TFilterHandle* filter) const {
        bool ignored = false;
        delete_TFilter(filter, &ignored);
    }
};

using FilterListHandle = std::unique_ptr<TFilterListHandle, FilterListDeleter>;
using FilterHandle = std::unique_ptr<TFilterHandle, FilterDeleter>;

} // namespace OviMath
