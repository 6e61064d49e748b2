// Filter objects: identity, creation text, copies, clearing and new
// coefficients.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "filters/t_filter.h"
#include "kalo_artifacts/types.h"

namespace {

using Filters::Impl::TFilter;

const std::vector<double> ramp = {1.0, 0.5, -0.25, 2.0, 0.0, -1.0, 3.0, 0.75};

std::vector<double> run(TFilter& filter, const std::vector<double>& input = ramp) {
    std::vector<double> out;
    for (double x : input)
        out.push_back(filter.Filter(x));
    return out;
}

TEST(TFilter, IdentitiesAreDrawnFrom1000To9999) {
    std::set<int> seen;
    for (int i = 0; i < 200; ++i) {
        const int id = TFilter::generate_guid();
        ASSERT_GE(id, 1000);
        ASSERT_LE(id, 9999);
        seen.insert(id);
    }
    // A constant or badly seeded generator would repeat itself.
    EXPECT_GT(seen.size(), 150u);
}

TEST(TFilter, TwoFiltersOfOneTextFilterAlike) {
    TFilter a(OviMath::Types::K_bs_55_65);
    TFilter b(OviMath::Types::K_bs_55_65);
    EXPECT_EQ(run(a), run(b));
    EXPECT_GE(a.getID(), 1000);
    EXPECT_LE(b.getID(), 9999);
}

TEST(TFilter, TextWithoutGainGivesZeroUntilCleared) {
    TFilter filter("Term 1:\n1, 2., 1\n1, -.5, .25\n");
    for (double y : run(filter))
        EXPECT_EQ(y, 0.0);
    filter.ClearParams();
    EXPECT_EQ(run(filter), ramp);
    // New coefficients filter from zero states, like a new filter of them.
    filter.SetParams(OviMath::Types::K_lp_30);
    TFilter fresh(OviMath::Types::K_lp_30);
    EXPECT_EQ(run(filter), run(fresh));
}

TEST(TFilter, SetParamsWithNullTextLeavesTheFilterAsItWas) {
    TFilter filter(OviMath::Types::K_lp_30);
    TFilter twin(OviMath::Types::K_lp_30);
    run(filter);
    run(twin);
    EXPECT_THROW(filter.SetParams(nullptr), std::logic_error);
    EXPECT_EQ(run(filter), run(twin)); // same coefficients, same states
}

TEST(TFilter, ConstructionFromNullTextFails) { EXPECT_THROW(TFilter(nullptr), std::logic_error); }

TEST(TFilter, ACopyIsBuiltAfreshFromTheCreationText) {
    TFilter original(OviMath::Types::K_hp_10_Cheb3);
    run(original);
    original.SetParams(OviMath::Types::K_lp_30); // not carried over
    run(original);
    TFilter copy(original);
    EXPECT_EQ(copy.creationText(), std::string(OviMath::Types::K_hp_10_Cheb3));
    EXPECT_GE(copy.getID(), 1000);
    EXPECT_LE(copy.getID(), 9999);
    TFilter fresh(OviMath::Types::K_hp_10_Cheb3);
    EXPECT_EQ(run(copy), run(fresh));

    original.ClearParams();
    TFilter copyOfCleared(original);
    TFilter fresh2(OviMath::Types::K_hp_10_Cheb3);
    EXPECT_EQ(run(copyOfCleared), run(fresh2));
}

TEST(TFilter, KeepsItsOwnCopyOfTheCreationText) {
    std::string text = OviMath::Types::K_lp_30;
    TFilter filter(text.c_str());
    text.assign(text.size(), 'x'); // the host reuses its buffer
    TFilter copy(filter);
    TFilter fresh(OviMath::Types::K_lp_30);
    EXPECT_EQ(run(copy), run(fresh));
}

TEST(TFilter, ArrayFilteringWithNoSamplesChangesNothing) {
    TFilter filter(OviMath::Types::K_lp_30);
    TFilter twin(OviMath::Types::K_lp_30);
    run(filter);
    run(twin);
    std::vector<double> values = {1.0, 2.0};
    filter.Filter(values.data(), 0);
    filter.Filter(values.data(), -3);
    EXPECT_EQ(values, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(run(filter), run(twin));
}

TEST(TFilter, ArrayFilteringEqualsSampleFiltering) {
    TFilter a(OviMath::Types::K_bs_62);
    TFilter b(OviMath::Types::K_bs_62);
    std::vector<double> values = ramp;
    a.Filter(values.data(), static_cast<int>(values.size()));
    EXPECT_EQ(values, run(b));
}

} // namespace
