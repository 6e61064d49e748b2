// Any bytes as coefficient texts, through every path a text takes: creating a
// filter, giving a filter new coefficients, copying a filter into a list, and
// the sample and array paths.
//
// Input: the creation text up to the first zero byte, the text for
// TFilter_SetParams up to the next one, then the decisions (samples, counts).
// The library gets a heap copy of exactly each text's bytes plus its
// terminator, freed as soon as the library no longer needs it, so the address
// sanitizer sees any read past the terminator or of a text kept too long.
//
// Invariants: a malformed text is no error (a filter is created, its calls
// succeed); a failed call sets the flag and returns the neutral value; the
// array path, the sample path and the list's copy of a filter give the same
// numbers; new coefficients act as a filter created from the same text.

#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "kalo_artifacts/filters.h"

namespace {

using kalo_fuzz::Input;

// A NUL-terminated heap copy of exactly these bytes.
std::unique_ptr<char[]> textCopy(std::string_view bytes) {
    std::unique_ptr<char[]> copy(new char[bytes.size() + 1]);
    if (!bytes.empty())
        std::memcpy(copy.get(), bytes.data(), bytes.size());
    copy[bytes.size()] = '\0';
    return copy;
}

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0; }

// The next text of the input: the bytes before the next zero byte (all the
// rest when there is none), and the bytes after it.
std::string_view nextText(std::string_view& rest) {
    const std::size_t end = rest.find('\0');
    const std::string_view text = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return text;
}

// Each sample through the filter and through the list, which must agree.
std::vector<double> filterEach(TFilterHandle* filter, TFilterListHandle* list, const std::vector<double>& in) {
    std::vector<double> out;
    bool flag = true, listFlag = true;
    for (const double x : in) {
        const double y = TFilter_Filter(filter, x, &flag);
        FUZZ_CHECK(!flag, "TFilter_Filter failed on a created filter");
        if (list != nullptr) {
            const double z = TFilterList_Filter(list, x, &listFlag);
            FUZZ_CHECK(!listFlag && same(y, z), "the list's copy gives %a where the filter gives %a", z, y);
        }
        out.push_back(y);
    }
    return out;
}

// The array path on an exact heap copy of the samples gives the sample path's numbers.
void checkArrayPath(TFilterHandle* filter, const std::vector<double>& in, const std::vector<double>& expected) {
    bool flag = true;
    TFilter_Reset(filter, &flag);
    FUZZ_CHECK(!flag, "TFilter_Reset failed");
    std::unique_ptr<double[]> values(new double[in.size() + 1]);
    std::memcpy(values.get(), in.data(), in.size() * sizeof(double));
    TFilter_Filter_array(filter, values.get(), static_cast<int>(in.size()), &flag);
    FUZZ_CHECK(!flag, "TFilter_Filter_array failed");
    for (std::size_t i = 0; i < in.size(); ++i)
        FUZZ_CHECK(same(values[i], expected[i]), "array path %a, sample path %a at %zu", values[i], expected[i], i);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view creationText = nextText(rest), newText = nextText(rest);
    Input input(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
    std::vector<double> samples(static_cast<std::size_t>(input.pick(0, 48)));
    for (double& x : samples)
        x = input.sample();
    if (samples.empty())
        samples = {1.0, 0.0, 0.0, 0.0}; // an impulse

    bool flag = false;
    std::unique_ptr<char[]> text = textCopy(creationText);
    TFilterHandle* filter = create_custom_TFilter(text.get(), &flag);
    FUZZ_CHECK(filter != nullptr && !flag, "a text is never an error, yet no filter (flag %d)", flag);
    text.reset(); // the filter keeps its own copy

    const int id = getID_TFilter(filter, &flag);
    FUZZ_CHECK(!flag && id >= 1000 && id <= 9999, "identity %d", id);
    TFilterListHandle* list = create_TFilterList(&flag);
    FUZZ_CHECK(list != nullptr && !flag, "no list");
    TFilterList_AddFilter(list, filter, &flag); // re-parses the filter's own copy of its text
    FUZZ_CHECK(!flag, "TFilterList_AddFilter failed");
    const std::vector<double> first = filterEach(filter, list, samples);
    checkArrayPath(filter, samples, first);

    // The array functions: a count of 0 or less reads nothing, a null array
    // with a positive count fails with the flag.
    double untouched = 42.0;
    for (const int count : {0, -1, static_cast<int>(input.raw<std::int32_t>() | INT32_MIN)}) {
        TFilter_Filter_array(filter, &untouched, count, &flag);
        FUZZ_CHECK(!flag && untouched == 42.0, "count %d", count);
        TFilterList_Filter_array(list, &untouched, count, &flag);
        FUZZ_CHECK(!flag && untouched == 42.0, "list count %d", count);
    }
    TFilter_Filter_array(filter, nullptr, 1 + input.byte(), &flag);
    FUZZ_CHECK(flag, "null array with a positive count accepted");
    TFilterList_Filter_array(list, nullptr, 1 + input.byte(), &flag);
    FUZZ_CHECK(flag, "null array with a positive count accepted by the list");

    // New coefficients act as a filter created from the same text.
    text = textCopy(newText);
    TFilter_SetParams(filter, text.get(), &flag);
    FUZZ_CHECK(!flag, "TFilter_SetParams failed on a text");
    TFilterHandle* twin = create_custom_TFilter(text.get(), &flag);
    FUZZ_CHECK(twin != nullptr && !flag, "no filter from the second text");
    text.reset();
    TFilter_SetParams(filter, nullptr, &flag); // refused; the coefficients stay
    FUZZ_CHECK(flag, "a null text accepted");
    TFilter_Reset(filter, &flag);
    const std::vector<double> second = filterEach(filter, nullptr, samples);
    const std::vector<double> expected = filterEach(twin, nullptr, samples);
    for (std::size_t i = 0; i < samples.size(); ++i)
        FUZZ_CHECK(same(second[i], expected[i]), "new coefficients give %a, a new filter %a", second[i], expected[i]);

    // Without coefficients a filter passes samples through.
    TFilter_ClearParams(filter, &flag);
    FUZZ_CHECK(!flag, "TFilter_ClearParams failed");
    const std::vector<double> passed = filterEach(filter, nullptr, samples);
    for (std::size_t i = 0; i < samples.size(); ++i)
        FUZZ_CHECK(same(passed[i], samples[i]), "a cleared filter changed %a into %a", samples[i], passed[i]);

    // The list's copy outlives the filter, under an identity of its own;
    // removing an identity the list may not hold is no error, and an emptied
    // list passes samples through.
    delete_TFilter(filter, &flag);
    FUZZ_CHECK(!flag, "delete_TFilter failed");
    TFilterList_Delete_TFilter(list, input.raw<std::int32_t>(), &flag);
    FUZZ_CHECK(!flag, "TFilterList_Delete_TFilter failed");
    TFilter_List_ClearFilters(list, &flag);
    FUZZ_CHECK(!flag && same(TFilterList_Filter(list, samples[0], &flag), samples[0]) && !flag,
               "an emptied list changes samples");

    // Failed calls: the flag, and the neutral result.
    FUZZ_CHECK(create_custom_TFilter(nullptr, &flag) == nullptr && flag, "null text");
    FUZZ_CHECK(TFilter_Filter(nullptr, samples[0], &flag) == 0.0 && flag, "null filter");
    FUZZ_CHECK(getID_TFilter(nullptr, &flag) == 0 && flag, "null filter identity");

    delete_TFilter(twin, &flag);
    delete_TFilterList(list, &flag);
    FUZZ_CHECK(!flag, "delete_TFilterList failed");
    return 0;
}
