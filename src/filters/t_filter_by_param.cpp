// TFilter built from catalogue parameters: the record is turned into a
// catalogue name such as "LP_30_250" or "BP_1p75_500", and the filter is built
// from that entry's stored text.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "filters/preinstalled.h"
#include "filters/t_filter.h"

namespace Filters::Impl {

namespace {

[[noreturn]] void noSuchFilter() { throw std::runtime_error("Filter with params does not exist!"); }

// Only the one byte of the kind is read; other values add no prefix, which
// makes a name the catalogue does not hold.
const char* prefixOf(_FilterType kind) {
    switch (static_cast<std::uint8_t>(kind)) {
    case HP:
        return "HP_";
    case LP:
        return "LP_";
    case BS:
        return "BS_";
    case BP:
        return "BP_";
    default:
        return "";
    }
}

std::string catalogueName(const _FilterParam& param) {
    std::string name = prefixOf(param.filter_type);
    // A whole frequency is written as the int it truncates to. NaN, infinities
    // and values beyond int cannot be converted (and no name holds them).
    const double frequency = param.frequency;
    if (!(frequency > -2147483649.0 && frequency < 2147483648.0))
        noSuchFilter();
    double whole = 0.0;
    if (std::modf(frequency, &whole) > 0.0)
        name += TFilter::convertFreqToString(frequency);
    else
        name += std::to_string(static_cast<int>(frequency));
    name += '_';
    name += std::to_string(param.sampling_rate);
    return name;
}

std::string catalogueText(const _FilterParam& param) {
    const std::string name = catalogueName(param);
    const Preinstalled::PreinstaledFilter catalogue;
    if (!catalogue.FilterExist(name.c_str()))
        noSuchFilter();
    return catalogue.GetFilterData(name.c_str());
}

} // namespace

TFilter::TFilter(_FilterParam param)
    : id(generate_guid()), text(catalogueText(param)), filter(Create(text.c_str())) {}

std::string TFilter::convertFreqToString(double frequency) {
    // Six decimals, as "%f" writes them in the "C" locale. std::to_chars
    // rounds the same way but never follows the host's numeric locale, which
    // could turn the point into a comma and every lookup into a miss.
    char digits[512];
    const auto written = std::to_chars(digits, digits + sizeof digits, frequency, std::chars_format::fixed, 6);
    std::string result(digits, written.ptr);
    for (char& c : result)
        if (c == '.')
            c = 'p';
    result.erase(result.find_last_not_of('0') + 1);
    return result;
}

} // namespace Filters::Impl
