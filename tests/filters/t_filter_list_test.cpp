// Filter lists: order, copies, deletion by identity, clearing.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "filters/t_filter.h"
#include "filters/t_filter_list.h"
#include "kalo_artifacts/types.h"

namespace {

using Filters::Impl::TFilter;
using Filters::Impl::TFilterList;

std::vector<double> noise(int n, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> out(n);
    for (auto& x : out)
        x = normal(random);
    return out;
}

TEST(TFilterList, EmptyListPassesSamplesThrough) {
    TFilterList list;
    EXPECT_EQ(list.Filter(1.25), 1.25);
    std::vector<double> values = {1.0, -2.0};
    list.Filter(values.data(), 2);
    EXPECT_EQ(values, (std::vector<double>{1.0, -2.0}));
}

TEST(TFilterList, AppliesFiltersInTheOrderTheyWereAdded) {
    TFilter first(OviMath::Types::K_hp_10_Cheb3);
    TFilter second(OviMath::Types::K_lp_30);
    TFilterList list;
    list.AddFilter(&first);
    list.AddFilter(&second);

    TFilter a(OviMath::Types::K_hp_10_Cheb3);
    TFilter b(OviMath::Types::K_lp_30);
    for (double x : noise(500, 1))
        ASSERT_EQ(list.Filter(x), b.Filter(a.Filter(x)));
}

TEST(TFilterList, ArrayPathGivesTheSameBitsAsTheSampleChain) {
    // The engine's five-filter chain.
    const char* texts[] = {OviMath::Types::K_bs_45_55_4, OviMath::Types::K_bs_55_65, OviMath::Types::K_bs_62,
                           OviMath::Types::K_hp_10_Cheb3, OviMath::Types::K_lp_30};
    TFilterList bySample;
    TFilterList byBlock;
    for (const char* text : texts) {
        TFilter filter(text);
        bySample.AddFilter(&filter);
        byBlock.AddFilter(&filter);
    }
    const auto input = noise(2000, 2);
    std::vector<double> block = input;
    byBlock.Filter(block.data(), 1000);
    byBlock.Filter(block.data() + 1000, 1000);
    for (std::size_t i = 0; i < input.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint64_t>(bySample.Filter(input[i])), std::bit_cast<std::uint64_t>(block[i]))
            << "sample " << i;
}

TEST(TFilterList, AddingOneFilterTwiceGivesTwoIndependentCopies) {
    TFilter filter(OviMath::Types::K_lp_30);
    TFilterList list;
    list.AddFilter(&filter);
    list.AddFilter(&filter);
    TFilter a(OviMath::Types::K_lp_30);
    TFilter b(OviMath::Types::K_lp_30);
    for (double x : noise(300, 3))
        ASSERT_EQ(list.Filter(x), b.Filter(a.Filter(x)));
}

TEST(TFilterList, AddsAFilterAsBuiltFromItsCreationText) {
    TFilter used(OviMath::Types::K_hp_4);
    for (double x : noise(100, 4))
        used.Filter(x);
    used.SetParams(OviMath::Types::K_lp_30);
    TFilterList list;
    list.AddFilter(&used);
    used.ClearParams();

    TFilter fresh(OviMath::Types::K_hp_4);
    for (double x : noise(300, 5))
        ASSERT_EQ(list.Filter(x), fresh.Filter(x));
}

TEST(TFilterList, KeepsFilteringAfterTheCallersFilterIsDeleted) {
    TFilterList list;
    {
        auto filter = std::make_unique<TFilter>(OviMath::Types::K_bs_62);
        list.AddFilter(filter.get());
    }
    TFilter fresh(OviMath::Types::K_bs_62);
    for (double x : noise(100, 6))
        ASSERT_EQ(list.Filter(x), fresh.Filter(x));
}

TEST(TFilterList, DeleteFilterRemovesTheLastFilterWithTheIdentity) {
    // Copies draw their own identities; keep adding until two of them collide.
    TFilter filter(OviMath::Types::K_lp_30);
    TFilterList list;
    std::size_t first = 0;
    std::size_t second = 0;
    bool found = false;
    for (std::size_t added = 0; added < 20000 && !found; ++added) {
        list.AddFilter(&filter);
        const int newest = list.at(list.size() - 1).getID();
        for (std::size_t i = 0; i + 1 < list.size(); ++i) {
            if (list.at(i).getID() == newest) {
                first = i;
                second = list.size() - 1;
                found = true;
                break;
            }
        }
    }
    ASSERT_TRUE(found);
    std::vector<const Filters::ITFilter*> expected;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (i != second)
            expected.push_back(&list.at(i));
    list.DeleteFilter(list.at(first).getID());
    ASSERT_EQ(list.size(), expected.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(&list.at(i), expected[i]) << "position " << i;
}

TEST(TFilterList, DeleteFilterWithAnUnknownIdentityChangesNothing) {
    TFilter filter(OviMath::Types::K_lp_30);
    TFilterList list;
    list.AddFilter(&filter);
    list.DeleteFilter(0); // identities are never below 1000
    EXPECT_EQ(list.size(), 1u);
}

TEST(TFilterList, ClearFiltersThenReuse) {
    TFilter lowPass(OviMath::Types::K_lp_30);
    TFilter highPass(OviMath::Types::K_hp_4);
    TFilterList list;
    list.AddFilter(&lowPass);
    list.AddFilter(&lowPass);
    list.ClearFilters();
    EXPECT_EQ(list.Filter(2.0), 2.0);
    list.AddFilter(&highPass);
    EXPECT_EQ(list.size(), 1u);
    TFilter fresh(OviMath::Types::K_hp_4);
    for (double x : noise(100, 7))
        ASSERT_EQ(list.Filter(x), fresh.Filter(x));
}

TEST(TFilterList, ResetReturnsEveryFilterToZeroState) {
    TFilter filter(OviMath::Types::K_bs_55_65);
    TFilterList list;
    list.AddFilter(&filter);
    list.AddFilter(&filter);
    const auto input = noise(200, 8);
    std::vector<double> firstRun;
    for (double x : input)
        firstRun.push_back(list.Filter(x));
    list.Reset();
    for (std::size_t i = 0; i < input.size(); ++i)
        ASSERT_EQ(list.Filter(input[i]), firstRun[i]);
}

} // namespace
