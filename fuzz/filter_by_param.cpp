// Any _FilterParam through create_TFilter_by_param: every kind byte (the
// enumeration's four and the 252 others), any sampling rate (negative, 0,
// huge) and any frequency (NaN, infinities, negative, huge, catalogue values
// nudged by a little).
//
// Invariants: the result is a filter or the flag, never both and never
// neither; a record of the catalogue's list always gives a filter; a filter
// is only given for a kind and rate of the catalogue and a frequency that the
// catalogue's six-decimal name holds; a given filter filters.

#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "kalo_artifacts/filters.h"

namespace {

using kalo_fuzz::Input;

const std::vector<_FilterParam>& catalogue() {
    static const std::vector<_FilterParam> entries = [] {
        bool flag = true;
        int count = 0;
        get_preinstalled_filter_count(&count, &flag);
        FUZZ_CHECK(!flag && count > 0, "catalogue count %d", count);
        std::vector<_FilterParam> list(static_cast<std::size_t>(count));
        get_preinstalled_filter_list(list.data(), &flag);
        FUZZ_CHECK(!flag, "catalogue list");
        return list;
    }();
    return entries;
}

double frequency(Input& input, double catalogueValue) {
    static constexpr double special[] = {
        std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max(),
        -std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(), -0.0, 0.0, 2147483648.0,
        -2147483649.0, 1e300, 0.1, 0.5, 62.5};
    switch (input.pick(0, 4)) {
    case 0: return catalogueValue;
    case 1: return catalogueValue + static_cast<double>(input.raw<std::int16_t>()) * 1e-9; // nudged
    case 2: return input.oneOf(special);
    case 3: return static_cast<double>(input.raw<std::int16_t>()) / 4.0;
    default: return input.raw<double>();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const std::vector<_FilterParam>& entries = catalogue();
    while (!input.empty()) {
        const _FilterParam& entry = entries[static_cast<std::size_t>(input.pick(0, static_cast<std::int64_t>(entries.size()) - 1))];
        _FilterParam param = entry;
        if (input.flag())
            param.filter_type = static_cast<_FilterType>(input.byte());
        if (input.flag()) {
            static constexpr std::int32_t rates[] = {0, -250, 100, 125, 250, 500, 1000, INT32_MAX, INT32_MIN};
            param.sampling_rate = input.byte() < 128 ? input.oneOf(rates) : input.raw<std::int32_t>();
        }
        param.frequency = frequency(input, entry.frequency);

        bool flag = false;
        TFilterHandle* filter = create_TFilter_by_param(param, &flag);
        FUZZ_CHECK((filter == nullptr) == flag, "filter %p with flag %d", static_cast<void*>(filter), flag);

        bool listed = false, nameable = false;
        for (const _FilterParam& e : entries) {
            if (e.filter_type != param.filter_type || e.sampling_rate != param.sampling_rate)
                continue;
            listed = listed || e.frequency == param.frequency;
            // A name holds six decimals: a frequency closer than half a
            // millionth to an entry's may name it.
            nameable = nameable || std::fabs(e.frequency - param.frequency) < 5.0001e-7;
        }
        FUZZ_CHECK(!listed || filter != nullptr, "catalogue record {%d, %d, %a} gives no filter",
                   static_cast<int>(param.filter_type), param.sampling_rate, param.frequency);
        FUZZ_CHECK(filter == nullptr || nameable, "a filter for {%d, %d, %a}, which the catalogue does not hold",
                   static_cast<int>(param.filter_type), param.sampling_rate, param.frequency);
        if (filter != nullptr) {
            const double y = TFilter_Filter(filter, 1.0, &flag);
            FUZZ_CHECK(!flag && std::isfinite(y), "a catalogue filter's first output is %a", y);
            delete_TFilter(filter, &flag);
            FUZZ_CHECK(!flag, "delete_TFilter failed");
        }
    }
    return 0;
}
