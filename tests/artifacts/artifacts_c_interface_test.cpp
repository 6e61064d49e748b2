// The detector's C interface, used through the shared library as a host does.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kalo_artifacts.h"

namespace {

const std::string nullHandle = "ArtifactMAthLib pointer is null!";

::testing::AssertionResult refusedForNullHandle(const _OutStatus& status) {
    char expected[512] = {};
    std::memcpy(expected, nullHandle.data(), nullHandle.size());
    if (status.success || status.error_code != 1 || std::memcmp(status.error_msg, expected, 512) != 0)
        return ::testing::AssertionFailure() << status.success << " " << status.error_code << " " << status.error_msg;
    return ::testing::AssertionSuccess();
}

bool succeeded(const _OutStatus& status) {
    const char zeros[512] = {};
    return status.success && status.error_code == 0 && std::memcmp(status.error_msg, zeros, 512) == 0;
}

_ArtifactsMath* create(_ArtifactSetting settings = {250, 25, 250}) {
    _OutStatus status;
    _ArtifactsMath* detector = createArtifactsMath(1, settings, &status);
    EXPECT_TRUE(succeeded(status));
    return detector;
}

TEST(DetectorCInterface, EveryFunctionRefusesANullHandleAndWritesNothing) {
    bool verdict = true;
    int quality = 77;
    int size = 77;
    _ArtifactInfo info = {5, false, 2};
    _ArtifactInfo records[2] = {{5, false, 2}, {5, false, 2}};
    double samples[4] = {1, 2, 3, 4};

    EXPECT_TRUE(refusedForNullHandle(freeArtifactsMath(nullptr)));
    EXPECT_TRUE(refusedForNullHandle(ArtifactsMathInit(nullptr, 70, 800000, 20, 100)));
    EXPECT_TRUE(refusedForNullHandle(ArtifactsMathInitFilters(nullptr, 50, 0)));
    EXPECT_TRUE(refusedForNullHandle(ArtifactsMathIsArtifactedWin(&verdict, &quality, nullptr, samples, 4, false)));
    EXPECT_TRUE(refusedForNullHandle(ArtifactsMathReadArtifactInfo(nullptr, &info)));
    EXPECT_TRUE(refusedForNullHandle(ArtifactsMathReadArtifactInfoArrSize(&size, nullptr)));
    EXPECT_TRUE(refusedForNullHandle(ArtifactsMathReadArtifactInfoArr(nullptr, records, &size)));
    EXPECT_TRUE(refusedForNullHandle(ArtifactsMathSetHanningWinSpect(nullptr)));
    EXPECT_TRUE(refusedForNullHandle(ArtifactsMathSetHammingWinSpect(nullptr)));
    EXPECT_TRUE(refusedForNullHandle(ArtifactsMathSetArtifactDetectByTotalPower(nullptr, 1)));
    EXPECT_TRUE(refusedForNullHandle(ArtifactsMathClearData(nullptr)));

    EXPECT_TRUE(verdict);
    EXPECT_EQ(quality, 77);
    EXPECT_EQ(size, 77);
    EXPECT_EQ(info.position, 5);
    EXPECT_EQ(records[1].type, 2);
    EXPECT_EQ(samples[0], 1.0);
}

TEST(DetectorCInterface, InvalidSettingsGiveNoDetector) {
    _OutStatus status;
    EXPECT_EQ(createArtifactsMath(1, {250, 30, 250}, &status), nullptr);
    EXPECT_FALSE(status.success);
    EXPECT_EQ(status.error_code, 1);
    EXPECT_STREQ(status.error_msg, "Wrong settings for ArtifactSetting!");
    EXPECT_EQ(createArtifactsMath(1, {40, 25, 40}, &status), nullptr);
    EXPECT_EQ(status.error_code, 1);
    EXPECT_EQ(createArtifactsMath(1, {250, 30, 250}, nullptr), nullptr); // no status wanted
}

TEST(DetectorCInterface, FreshDetectorAndItsRecordsAfterAnArtifact) {
    _ArtifactsMath* detector = create();
    _ArtifactInfo info{};
    EXPECT_TRUE(succeeded(ArtifactsMathReadArtifactInfo(detector, &info)));
    EXPECT_EQ(info.position, -1);
    EXPECT_TRUE(info.is_start);
    EXPECT_EQ(info.type, 0);
    int size = -1;
    EXPECT_TRUE(succeeded(ArtifactsMathReadArtifactInfoArrSize(&size, detector)));
    EXPECT_EQ(size, 0);

    EXPECT_TRUE(succeeded(ArtifactsMathInit(detector, 70, 800000, 20, 100)));
    EXPECT_TRUE(succeeded(ArtifactsMathSetArtifactDetectByTotalPower(detector, 2000000000)));
    std::vector<double> flat(250, 0.0);
    std::vector<double> busy(250);
    for (int i = 0; i < 250; ++i)
        busy[i] = (i % 2 ? 20e-6 : -20e-6) + 10e-6 * (i % 7);
    bool verdict = false;
    int quality = -1;
    EXPECT_TRUE(succeeded(ArtifactsMathIsArtifactedWin(&verdict, &quality, detector, flat.data(), 250, false)));
    EXPECT_TRUE(verdict);
    EXPECT_TRUE(succeeded(ArtifactsMathIsArtifactedWin(&verdict, &quality, detector, busy.data(), 250, false)));
    EXPECT_FALSE(verdict);
    EXPECT_EQ(quality, 50);

    EXPECT_TRUE(succeeded(ArtifactsMathReadArtifactInfoArrSize(&size, detector)));
    ASSERT_EQ(size, 2);
    std::vector<_ArtifactInfo> records(size);
    int written = 0;
    EXPECT_TRUE(succeeded(ArtifactsMathReadArtifactInfoArr(detector, records.data(), &written)));
    EXPECT_EQ(written, 2);
    EXPECT_EQ(records[0].position, 10);
    EXPECT_TRUE(records[0].is_start);
    EXPECT_EQ(records[0].type, 1);
    EXPECT_EQ(records[1].position, 20);
    EXPECT_FALSE(records[1].is_start);
    EXPECT_EQ(records[1].type, 1);
    EXPECT_TRUE(succeeded(ArtifactsMathReadArtifactInfoArrSize(&size, detector)));
    EXPECT_EQ(size, 0);

    // Judging goes on after the records were read (the work buffer is rebuilt).
    EXPECT_TRUE(succeeded(ArtifactsMathIsArtifactedWin(&verdict, &quality, detector, flat.data(), 250, false)));
    EXPECT_TRUE(verdict);
    EXPECT_TRUE(succeeded(ArtifactsMathClearData(detector)));
    EXPECT_TRUE(succeeded(ArtifactsMathReadArtifactInfoArrSize(&size, detector)));
    EXPECT_EQ(size, 0);
    EXPECT_TRUE(succeeded(freeArtifactsMath(detector)));
}

TEST(DetectorCInterface, MissingResultPointersAreRefusedWithoutConsumingTheWindow) {
    _ArtifactsMath* detector = create();
    std::vector<double> window(250, 0.0);
    int quality = 0;
    bool verdict = false;
    _OutStatus status = ArtifactsMathIsArtifactedWin(nullptr, &quality, detector, window.data(), 250, false);
    EXPECT_EQ(status.error_code, 1002);
    status = ArtifactsMathIsArtifactedWin(&verdict, &quality, detector, nullptr, 250, false);
    EXPECT_EQ(status.error_code, 1002);
    EXPECT_EQ(ArtifactsMathReadArtifactInfoArrSize(nullptr, detector).error_code, 1002);
    EXPECT_EQ(ArtifactsMathReadArtifactInfo(detector, nullptr).error_code, 1002);
    // Nothing was judged: the first real window still carries position step.
    EXPECT_TRUE(succeeded(ArtifactsMathIsArtifactedWin(&verdict, &quality, detector, window.data(), 250, false)));
    _ArtifactInfo info{};
    ArtifactsMathReadArtifactInfo(detector, &info);
    EXPECT_EQ(info.position, 10);
    // A record array is required only when there are records to copy.
    int size = 0;
    EXPECT_EQ(ArtifactsMathReadArtifactInfoArr(detector, nullptr, &size).error_code, 1002);
    ArtifactsMathReadArtifactInfoArrSize(&size, detector);
    EXPECT_EQ(size, 1); // the refused read did not clear the records
    freeArtifactsMath(detector);
}

TEST(DetectorCInterface, InputFiltersAndWindowFunctionsAreAccepted) {
    _ArtifactsMath* detector = create();
    EXPECT_TRUE(succeeded(ArtifactsMathInitFilters(detector, 50, 1)));
    EXPECT_TRUE(succeeded(ArtifactsMathSetHanningWinSpect(detector)));
    EXPECT_TRUE(succeeded(ArtifactsMathSetHammingWinSpect(detector)));
    std::vector<double> window(250, 1e-5);
    const std::vector<double> original = window;
    bool verdict = false;
    int quality = 0;
    EXPECT_TRUE(succeeded(ArtifactsMathIsArtifactedWin(&verdict, &quality, detector, window.data(), 250, false)));
    EXPECT_NE(window, original); // filtered in place
    EXPECT_TRUE(succeeded(freeArtifactsMath(detector)));
}

} // namespace
