#pragma once

// The catalogue of preinstalled filters: coefficient texts stored as files
// "preinstalled/resources/<kind>_<frequency>_<rate>.dat" in the embedded
// resource store, such as "BP_1p75_500.dat" (kind BP, 1.75 Hz, 500 Hz). A
// catalogue name is the file name without ".dat".

#include <string>

#include "filters/embedded_filesystem.h"
#include "kalo_artifacts/filters.h"

namespace Filters::Preinstalled {

// Holds a handle to the store and nothing else: every text it hands out lives
// in the library's constant data for the whole run, so callers make one on
// the stack for each request.
class PreinstaledFilter {
public:
    PreinstaledFilter();

    // The number of entries of the catalogue directory.
    void GetPreinstalledCount(int& count) const;

    // Writes one record per entry into list[0 .. count-1], in catalogue order
    // (byte-wise order of the file names), and nothing past them. Throws
    // std::invalid_argument for a null list.
    void GetList(_FilterParam* list) const;

    // Whether the catalogue holds the name (exact and case-sensitive; slashes
    // are normalised by the store). Throws std::invalid_argument for null.
    bool FilterExist(const char* name) const;

    // The zero-terminated text of the name's file. A name that is not in the
    // catalogue raises the store's std::system_error (ENOENT); a null name
    // std::invalid_argument.
    const char* GetFilterData(const char* name) const;

    // Replaces a catalogue name by the store path of its file.
    static void buildFullPath(std::string& name);

private:
    Resources::embedded_filesystem filesystem;
};

} // namespace Filters::Preinstalled
