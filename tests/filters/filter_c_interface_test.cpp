// The filter family's C interface, used as a host uses it: through the
// shared library only.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kalo_artifacts.h"

namespace {

TEST(FilterCInterface, FilterLifecycleWithTheErrorFlag) {
    bool error = true;
    TFilterHandle* filter = create_custom_TFilter(K_lp_30, &error);
    ASSERT_NE(filter, nullptr);
    EXPECT_FALSE(error);
    error = true;
    EXPECT_EQ(TFilter_Filter(filter, 1.0, &error), 2.863530017091789e-02); // impulse starts at K
    EXPECT_FALSE(error);
    const int id = getID_TFilter(filter, &error);
    EXPECT_GE(id, 1000);
    EXPECT_LE(id, 9999);
    TFilter_Reset(filter, &error);
    EXPECT_EQ(TFilter_Filter(filter, 1.0, &error), 2.863530017091789e-02);
    TFilter_ClearParams(filter, &error);
    EXPECT_EQ(TFilter_Filter(filter, 0.125, &error), 0.125);
    TFilter_SetParams(filter, K_lp_30, &error);
    EXPECT_FALSE(error);
    EXPECT_EQ(TFilter_Filter(filter, 1.0, &error), 2.863530017091789e-02);
    error = true;
    delete_TFilter(filter, &error);
    EXPECT_FALSE(error);
}

TEST(FilterCInterface, SetParamsWithNullTextKeepsTheOldCoefficients) {
    bool error = false;
    TFilterHandle* filter = create_custom_TFilter(K_hp_4, &error);
    TFilter_SetParams(filter, nullptr, &error);
    EXPECT_TRUE(error);
    EXPECT_EQ(TFilter_Filter(filter, 1.0, &error), .9043187344847895);
    EXPECT_FALSE(error);
    delete_TFilter(filter, &error);
}

TEST(FilterCInterface, ListKeepsFilteringAfterTheAddedFilterIsDeleted) {
    bool error = true;
    TFilterListHandle* list = create_TFilterList(&error);
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(error);
    EXPECT_EQ(TFilterList_Filter(list, 0.5, &error), 0.5); // empty list
    EXPECT_FALSE(error);

    TFilterHandle* filter = create_custom_TFilter(K_bs_62, &error);
    TFilterHandle* twin = create_custom_TFilter(K_bs_62, &error);
    error = true;
    TFilterList_AddFilter(list, filter, &error);
    EXPECT_FALSE(error);
    delete_TFilter(filter, &error);
    std::vector<double> samples = {1.0, 0.0, -0.5, 0.25, 2.0};
    std::vector<double> expected = samples;
    TFilterList_Filter_array(list, samples.data(), static_cast<int>(samples.size()), &error);
    EXPECT_FALSE(error);
    TFilter_Filter_array(twin, expected.data(), static_cast<int>(expected.size()), &error);
    EXPECT_EQ(samples, expected);

    TFilterList_Reset(list, &error);
    TFilter_Reset(twin, &error);
    EXPECT_EQ(TFilterList_Filter(list, 1.0, &error), TFilter_Filter(twin, 1.0, &error));

    TFilterList_Delete_TFilter(list, 0, &error); // no filter has identity 0
    EXPECT_FALSE(error);
    TFilter_List_ClearFilters(list, &error);
    EXPECT_FALSE(error);
    EXPECT_EQ(TFilterList_Filter(list, 3.0, &error), 3.0);
    delete_TFilterList(list, &error);
    EXPECT_FALSE(error);
    delete_TFilter(twin, &error);
}

TEST(FilterCInterface, NullHandlesFailWithTheFlagAndNeutralResults) {
    bool error = false;
    double sample = 1.0;
    TFilterHandle* filter = create_custom_TFilter(K_lp_30, &error);

    EXPECT_EQ(create_custom_TFilter(nullptr, &error), nullptr);
    EXPECT_TRUE(error);
    error = false;
    EXPECT_EQ(TFilter_Filter(nullptr, 1.0, &error), 0.0);
    EXPECT_TRUE(error);
    error = false;
    TFilter_Filter_array(nullptr, &sample, 1, &error);
    EXPECT_TRUE(error);
    error = false;
    TFilter_Reset(nullptr, &error);
    EXPECT_TRUE(error);
    error = false;
    TFilter_ClearParams(nullptr, &error);
    EXPECT_TRUE(error);
    error = false;
    TFilter_SetParams(nullptr, K_lp_30, &error);
    EXPECT_TRUE(error);
    error = false;
    EXPECT_EQ(getID_TFilter(nullptr, &error), 0);
    EXPECT_TRUE(error);

    error = false;
    EXPECT_EQ(TFilterList_Filter(nullptr, 1.0, &error), 0.0);
    EXPECT_TRUE(error);
    error = false;
    TFilterList_Filter_array(nullptr, &sample, 1, &error);
    EXPECT_TRUE(error);
    error = false;
    TFilterList_AddFilter(nullptr, filter, &error);
    EXPECT_TRUE(error);
    error = false;
    TFilterList_Reset(nullptr, &error);
    EXPECT_TRUE(error);
    error = false;
    TFilter_List_ClearFilters(nullptr, &error);
    EXPECT_TRUE(error);
    error = false;
    TFilterList_Delete_TFilter(nullptr, 1000, &error);
    EXPECT_TRUE(error);

    TFilterListHandle* list = create_TFilterList(&error);
    error = false;
    TFilterList_AddFilter(list, nullptr, &error);
    EXPECT_TRUE(error);
    EXPECT_EQ(TFilterList_Filter(list, 2.0, &error), 2.0); // nothing was added

    // Deleting nothing is not an error.
    error = true;
    delete_TFilter(nullptr, &error);
    EXPECT_FALSE(error);
    error = true;
    delete_TFilterList(nullptr, &error);
    EXPECT_FALSE(error);

    delete_TFilterList(list, &error);
    delete_TFilter(filter, &error);
}

TEST(FilterCInterface, NullSampleArrayFailsUnlessThereIsNothingToRead) {
    bool error = false;
    TFilterHandle* filter = create_custom_TFilter(K_lp_30, &error);
    TFilterListHandle* list = create_TFilterList(&error);
    TFilter_Filter_array(filter, nullptr, 4, &error);
    EXPECT_TRUE(error);
    TFilterList_Filter_array(list, nullptr, 4, &error);
    EXPECT_TRUE(error);
    TFilter_Filter_array(filter, nullptr, 0, &error);
    EXPECT_FALSE(error);
    TFilterList_Filter_array(list, nullptr, -1, &error);
    EXPECT_FALSE(error);
    // The failed calls did not advance the filter.
    EXPECT_EQ(TFilter_Filter(filter, 1.0, &error), 2.863530017091789e-02);
    delete_TFilterList(list, &error);
    delete_TFilter(filter, &error);
}

TEST(FilterCInterface, ANullFlagPointerIsTolerated) {
    TFilterHandle* filter = create_custom_TFilter(K_lp_30, nullptr);
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(TFilter_Filter(filter, 1.0, nullptr), 2.863530017091789e-02);
    EXPECT_EQ(TFilter_Filter(nullptr, 1.0, nullptr), 0.0);
    TFilterListHandle* list = create_TFilterList(nullptr);
    TFilterList_AddFilter(list, filter, nullptr);
    EXPECT_EQ(TFilterList_Filter(list, 1.0, nullptr), 2.863530017091789e-02);
    delete_TFilterList(list, nullptr);
    delete_TFilter(filter, nullptr);
}

TEST(FilterCInterface, TheCallersTextNeedNotOutliveCreation) {
    bool error = false;
    std::string text = K_hp_10_Cheb3;
    TFilterHandle* filter = create_custom_TFilter(text.c_str(), &error);
    text.assign(text.size(), '9');
    TFilterListHandle* list = create_TFilterList(&error);
    TFilterList_AddFilter(list, filter, &error); // parses the creation text again
    TFilterHandle* fresh = create_custom_TFilter(K_hp_10_Cheb3, &error);
    for (double x : {1.0, -1.0, 0.5, 0.25})
        EXPECT_EQ(TFilterList_Filter(list, x, &error), TFilter_Filter(fresh, x, &error));
    delete_TFilter(fresh, &error);
    delete_TFilterList(list, &error);
    delete_TFilter(filter, &error);
}

} // namespace
