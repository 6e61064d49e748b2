// Filters built from catalogue parameters: the frequency text of a name, the
// TFilter constructor and factory, and the three catalogue C functions.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "filters/filters.h"
#include "filters/preinstalled.h"
#include "filters/t_filter.h"
#include "kalo_artifacts/filters.h"
#include "support/comma_locale.h"

namespace {

using Filters::Impl::TFilter;
using Filters::Preinstalled::PreinstaledFilter;

_FilterParam param(int kind, int rate, double frequency) {
    _FilterParam p{};
    p.filter_type = static_cast<_FilterType>(kind);
    p.sampling_rate = rate;
    p.frequency = frequency;
    return p;
}

std::vector<_FilterParam> catalogueList() {
    int count = 0;
    PreinstaledFilter().GetPreinstalledCount(count);
    std::vector<_FilterParam> list(static_cast<std::size_t>(count));
    PreinstaledFilter().GetList(list.data());
    return list;
}

// Expects construction from the record to fail with the catalogue's message.
void expectNoSuchFilter(const _FilterParam& p, const std::string& what) {
    try {
        TFilter filter(p);
        ADD_FAILURE() << what << ": a filter was built";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Filter with params does not exist!") << what;
    }
    EXPECT_THROW((void)Filters::create_filter_by_param(p), std::runtime_error) << what;
}

TEST(FrequencyText, FractionalCatalogueFrequencies) {
    EXPECT_EQ(TFilter::convertFreqToString(0.1), "0p1");
    EXPECT_EQ(TFilter::convertFreqToString(0.3), "0p3");
    EXPECT_EQ(TFilter::convertFreqToString(0.5), "0p5");
    EXPECT_EQ(TFilter::convertFreqToString(1.75), "1p75");
    EXPECT_EQ(TFilter::convertFreqToString(2.25), "2p25");
    EXPECT_EQ(TFilter::convertFreqToString(59.5), "59p5");
    EXPECT_EQ(TFilter::convertFreqToString(62.5), "62p5");
}

TEST(FrequencyText, SixDecimalsThenTrailingZerosDropped) {
    EXPECT_EQ(TFilter::convertFreqToString(30.0000001), "30p") << "rounds to six zero decimals";
    EXPECT_EQ(TFilter::convertFreqToString(10.0), "10p");
    EXPECT_EQ(TFilter::convertFreqToString(100.5), "100p5");
    EXPECT_EQ(TFilter::convertFreqToString(0.0000015), "0p000002");
    EXPECT_EQ(TFilter::convertFreqToString(-1.25), "-1p25");
}

TEST(FrequencyText, AgreesWithPrintfInTheCLocale) {
    // 0.0078125 is exactly representable and halfway between two six-decimal
    // values: both must round it the same way.
    for (double f : {0.1, 1.75, 33.333333333, 0.0078125, 2.5e-7, 123456.7890125, 1e15 + 0.5, 4.999999999}) {
        char printed[64];
        std::snprintf(printed, sizeof printed, "%f", f);
        std::string expected(printed);
        for (char& c : expected)
            if (c == '.')
                c = 'p';
        expected.erase(expected.find_last_not_of('0') + 1);
        EXPECT_EQ(TFilter::convertFreqToString(f), expected) << printed;
    }
}

TEST(FrequencyText, NamesAreBuiltAndReadAlikeUnderADecimalCommaLocale) {
    kalo_test::CommaLocale comma;
    if (!comma.available())
        GTEST_SKIP() << "locale " << comma.name << " is not available; cannot show the comma-decimal case";
    const std::string text = TFilter::convertFreqToString(1.75);
    bool built = false;
    try {
        const TFilter filter(param(BP, 500, 1.75));
        built = true;
    } catch (const std::exception&) {
    }
    const std::vector<_FilterParam> list = catalogueList();
    comma.restore();

    ASSERT_TRUE(comma.hasDecimalComma()) << comma.name << " does not use a decimal comma";
    EXPECT_EQ(text, "1p75");
    EXPECT_TRUE(built) << "BP_1p75_500 not found under " << comma.name;
    ASSERT_GT(list.size(), 1u);
    EXPECT_EQ(list[1].frequency, 1.75) << "BP_1p75_500 read under " << comma.name;
}

TEST(FilterByParam, RecordNamesTheRightCatalogueEntry) {
    const PreinstaledFilter catalogue;
    const struct {
        _FilterParam record;
        const char* name;
    } cases[] = {
        {param(LP, 250, 30.0), "LP_30_250"},   {param(BP, 500, 1.75), "BP_1p75_500"},
        {param(BS, 250, 62.5), "BS_62p5_250"}, {param(HP, 1000, 0.1), "HP_0p1_1000"},
        {param(HP, 250, 0.5), "HP_0p5_250"},   {param(BS, 125, 59.5), "BS_59p5_125"},
    };
    for (const auto& c : cases) {
        const TFilter filter(c.record);
        EXPECT_EQ(filter.creationText(), std::string(catalogue.GetFilterData(c.name))) << c.name;
    }
}

TEST(FilterByParam, EveryListedRecordBuildsTheFilterOfItsText) {
    const PreinstaledFilter catalogue;
    const std::vector<_FilterParam> list = catalogueList();
    ASSERT_EQ(list.size(), 151u);
    std::size_t i = 0;
    for (const auto& entry : Filters::Resources::get_filesystem().iterate_directory("preinstalled/resources")) {
        const std::string name = entry.name().substr(0, entry.name().size() - 4);
        TFilter byParam(list[i++]);
        TFilter byText(catalogue.GetFilterData(name.c_str()));
        EXPECT_EQ(byParam.creationText(), byText.creationText()) << name;
        EXPECT_EQ(byParam.iir().gain(), byText.iir().gain()) << name;
        EXPECT_EQ(byParam.iir().sections().size(), byText.iir().sections().size()) << name;
        for (int n = 0; n < 64; ++n) {
            const double x = n == 0 ? 1.0 : std::sin(0.37 * n);
            ASSERT_EQ(byParam.Filter(x), byText.Filter(x)) << name << " sample " << n;
        }
    }
}

TEST(FilterByParam, RecordsTheCatalogueDoesNotHoldFail) {
    expectNoSuchFilter(param(LP, 250, 30.5), "LP 30.5 Hz at 250");
    expectNoSuchFilter(param(LP, 250, 31.5), "LP 31.5 Hz at 250");
    expectNoSuchFilter(param(4, 250, 30.0), "kind 4");
    expectNoSuchFilter(param(0xFF, 250, 30.0), "kind 255");
    expectNoSuchFilter(param(LP, 250, 30.0000001), "30.0000001 Hz formats as 30p");
    expectNoSuchFilter(param(HP, 125, 0.5), "HP 0.5 Hz at 125");
    expectNoSuchFilter(param(LP, 0, 30.0), "rate 0");
    expectNoSuchFilter(param(LP, 250, -30.0), "negative frequency");
    expectNoSuchFilter(param(LP, 250, std::numeric_limits<double>::quiet_NaN()), "NaN");
    expectNoSuchFilter(param(LP, 250, std::numeric_limits<double>::infinity()), "infinity");
    expectNoSuchFilter(param(LP, 250, 1e300), "beyond int");
}

TEST(FilterByParam, FrequencyJustBelowAWholeNumberIsNoEntry) {
    // 30 - 1e-12 has a fractional part, so it is written with six decimals:
    // "30.000000", giving "LP_30p_250", which is no entry.
    expectNoSuchFilter(param(LP, 250, 30.0 - 1e-12), "just below 30");
}

TEST(FilterByParam, HighPassStepResponseStartsAtGainAndDecays) {
    TFilter filter(param(HP, 250, 0.5));
    const double gain = filter.iir().gain();
    EXPECT_NEAR(gain, 0.9875121748695907, 1e-12);
    EXPECT_EQ(filter.Filter(1.0), gain);
    double previous = gain;
    double largestLate = 0.0;
    for (int n = 1; n < 250 * 30; ++n) {
        const double y = filter.Filter(1.0);
        if (n < 25) {
            EXPECT_LT(y, previous) << "sample " << n;
        }
        if (n >= 250 * 20)
            largestLate = std::max(largestLate, std::fabs(y));
        previous = y;
    }
    EXPECT_LT(largestLate, 1e-6) << "a high-pass step response decays to 0";
}

TEST(FilterByParam, CopyRebuildsFromTheStoredText) {
    TFilter original(param(BP, 500, 11.0));
    for (int n = 0; n < 100; ++n)
        original.Filter(1.0);
    TFilter copy(original);
    TFilter fresh(param(BP, 500, 11.0));
    EXPECT_EQ(copy.creationText(), fresh.creationText());
    for (int n = 0; n < 100; ++n) {
        const double x = std::cos(0.2 * n);
        ASSERT_EQ(copy.Filter(x), fresh.Filter(x)) << "sample " << n;
    }
}

// The C functions, linked statically here; tests/interface/c99_host.c runs the
// same calls against the shared library.

TEST(CatalogueCInterface, CountAndListThroughTheFlagConvention) {
    bool flag = true;
    int count = -1;
    get_preinstalled_filter_count(&count, &flag);
    EXPECT_FALSE(flag);
    EXPECT_EQ(count, 151);

    std::vector<_FilterParam> list(static_cast<std::size_t>(count) + 1, param(0xEE, -1, -1.0));
    flag = true;
    get_preinstalled_filter_list(list.data(), &flag);
    EXPECT_FALSE(flag);
    EXPECT_EQ(static_cast<int>(list[0].filter_type), BP);
    EXPECT_EQ(list[0].sampling_rate, 500);
    EXPECT_EQ(list[0].frequency, 11.0);
    EXPECT_EQ(static_cast<int>(list[150].filter_type), LP);
    EXPECT_EQ(static_cast<int>(list[151].filter_type), 0xEE) << "nothing written past the entries";
    EXPECT_EQ(list[151].sampling_rate, -1);
}

TEST(CatalogueCInterface, NullPointersSetTheFlag) {
    bool flag = false;
    get_preinstalled_filter_count(nullptr, &flag);
    EXPECT_TRUE(flag);
    flag = false;
    get_preinstalled_filter_list(nullptr, &flag);
    EXPECT_TRUE(flag);
    // A null flag pointer is tolerated.
    int count = 0;
    get_preinstalled_filter_count(&count, nullptr);
    EXPECT_EQ(count, 151);
    get_preinstalled_filter_count(nullptr, nullptr);
    EXPECT_EQ(create_TFilter_by_param(param(LP, 250, 31.5), nullptr), nullptr);
}

TEST(CatalogueCInterface, CreateByParam) {
    bool flag = true;
    TFilterHandle* filter = create_TFilter_by_param(param(LP, 250, 30.0), &flag);
    ASSERT_NE(filter, nullptr);
    EXPECT_FALSE(flag);
    EXPECT_EQ(TFilter_Filter(filter, 1.0, &flag), 2.863530017091789e-02);
    EXPECT_FALSE(flag);
    delete_TFilter(filter, &flag);
    EXPECT_FALSE(flag);

    for (const _FilterParam& missing : {param(LP, 250, 31.5), param(LP, 250, 30.5), param(4, 250, 30.0),
                                        param(LP, 250, 30.0000001)}) {
        flag = false;
        EXPECT_EQ(create_TFilter_by_param(missing, &flag), nullptr);
        EXPECT_TRUE(flag);
    }
}

} // namespace
