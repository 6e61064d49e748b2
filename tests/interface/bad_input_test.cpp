// Bad input at the C interface that the families' own tests do not cover:
// coefficient texts that describe no usable filter, detector tuning far
// outside its usual ranges, detector input chains for mains and resistance
// values other than the documented ones, and side values outside their
// enumeration. Through the shared library, as a host
// calls it; docs/behaviour.md lists every kind of bad input with its test.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "kalo_artifacts.h"
#include "support/eeg_signals.h"
#include "support/engine_drive.h"

namespace {

using namespace kalo_test;

// A text is never refused: what is no gain line leaves the gain at 0, what
// is no coefficient line is skipped, and numbers are read as strtod reads
// them, overflow included. The filter then computes what its coefficients
// say, infinities and NaN included; the flag only reports failed calls.
TEST(BadInput, TextsThatDescribeNoUsableFilterStillMakeFilters) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        const char* text;
        std::vector<double> in, out; // out empty: the last output is not finite
    } rows[] = {
        {"empty", "", {1.0, -2.0}, {0.0, 0.0}},
        {"binary bytes", "\x01\xfe\x7f garbage ,,, = K\n", {1.0, -2.0}, {0.0, 0.0}},
        {"a gain alone", "K = 2\n", {1.0, -2.0}, {2.0, -4.0}},
        {"a gain that overflows", "K = 1e999\n", {1.0, -2.0}, {inf, -inf}},
        {"a section whose pole lies outside the unit circle", "K = 1\nTerm 1:\n1, 0, 0\n1, -4, 0\n",
         std::vector<double>(1000, 1.0), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        bool error = true;
        TFilterHandle* filter = create_custom_TFilter(row.text, &error);
        ASSERT_NE(filter, nullptr);
        EXPECT_FALSE(error);
        std::vector<double> out;
        for (const double x : row.in) {
            out.push_back(TFilter_Filter(filter, x, &error));
            EXPECT_FALSE(error);
        }
        if (row.out.empty()) {
            EXPECT_FALSE(std::isfinite(out.back()));
            EXPECT_TRUE(std::isfinite(out.front()));
        } else {
            EXPECT_EQ(out, row.out);
        }
        delete_TFilter(filter, &error);
    }
}

// A clean window: 20 microvolts of alpha on a little noise (the detector's
// own tests judge it clean with the defaults, checked in the first row).
std::vector<double> cleanWindow() { return eegLike(250, 250.0, 7); }
// Every sample far beyond any amplitude threshold, and none in the spectrum.
std::vector<double> railedWindow() { return std::vector<double>(250, 1.0); }

struct Judgement {
    bool ok;
    bool artifacted;
    int quality;
    int type; // of the artifact in progress, 0 none
};

Judgement judgeOnce(_ArtifactsMath* detector, std::vector<double> window) {
    Judgement j{false, false, -1, -1};
    _ArtifactInfo current{};
    j.ok = ArtifactsMathIsArtifactedWin(&j.artifacted, &j.quality, detector, window.data(), 250, false).success &&
           ArtifactsMathReadArtifactInfo(detector, &current).success;
    j.type = current.type;
    return j;
}

// Every int is accepted as a tuning value. Where the arithmetic on one would
// leave the integer range the value saturates, and the quality stays a
// percentage whatever the thresholds.
TEST(BadInput, DetectorTuningOutsideItsUsualRangesIsTakenAndKeepsTheQualityAPercentage) {
    const struct {
        const char* what;
        int amplitude, bandPower, percent, history;
        bool byTotalPower;
        int totalPower;
        bool railed;
        bool artifacted;
        int type;
        int quality; // -1: any percentage
    } rows[] = {
        {"defaults, a clean window", 70, 800000, 50, 100, false, 0, false, false, 0, -1},
        {"defaults, a railed window: too many bad samples", 70, 800000, 50, 100, false, 0, true, true, 1, 0},
        // percent x count is far beyond the integer range: the limit saturates,
        // so no count of bad samples exceeds it, as with 100 %.
        {"percent INT_MAX", 70, 800000, INT_MAX, 100, false, 0, true, true, 2, 0},
        {"percent 100", 70, 800000, 100, 100, false, 0, true, true, 2, 0},
        // Below 0 the limit is below any count: every window has too many.
        {"percent -5", 70, 800000, -5, 100, false, 0, false, true, 1, -1},
        {"percent INT_MIN", 70, 800000, INT_MIN, 100, false, 0, false, true, 1, -1},
        // Every sample exceeds a negative threshold.
        {"amplitude INT_MIN", INT_MIN, 800000, 50, 100, false, 0, false, true, 1, -1},
        {"amplitude -1", -1, 800000, 50, 100, false, 0, false, true, 1, -1},
        // A band-power threshold below 0 flags every window as spectral.
        {"band power INT_MIN", 70, INT_MIN, 50, 100, false, 0, false, true, 2, -1},
        // A negative total-power threshold makes every score negative: the
        // window is artifacted and the score counts as 0.
        {"total power INT_MIN", 70, 800000, 50, 100, true, INT_MIN, false, true, 2, 0},
        {"total power -1", 70, 800000, 50, 100, true, -1, false, true, 2, 0},
        {"history INT_MIN: the newest score alone", 70, 800000, 50, INT_MIN, true, INT_MIN, false, true, 2, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        _OutStatus status;
        _ArtifactsMath* detector = createArtifactsMath(1, {250, 25, 250}, &status);
        ASSERT_NE(detector, nullptr) << status.error_msg;
        EXPECT_TRUE(ArtifactsMathInit(detector, row.amplitude, row.bandPower, row.percent, row.history).success);
        if (row.byTotalPower) {
            EXPECT_TRUE(ArtifactsMathSetArtifactDetectByTotalPower(detector, row.totalPower).success);
        }
        for (int window = 0; window < 3; ++window) { // the quality averages a history
            const Judgement j = judgeOnce(detector, row.railed ? railedWindow() : cleanWindow());
            ASSERT_TRUE(j.ok);
            EXPECT_EQ(j.artifacted, row.artifacted);
            EXPECT_EQ(j.type, row.type);
            EXPECT_GE(j.quality, 0);
            EXPECT_LE(j.quality, 100);
            if (row.quality >= 0) {
                EXPECT_EQ(j.quality, row.quality);
            }
        }
        EXPECT_TRUE(freeArtifactsMath(detector).success);
    }
}

// The input chain takes a mains band-stop only for 50 or 60 and the 62.5 Hz
// band-stop only for a resistance of 1; any other value leaves that filter
// out, without an error. The window the detector filtered in place is
// compared with the same window through a list built from the texts.
TEST(BadInput, DetectorInputChainForOtherMainsAndResistanceValues) {
    const struct {
        int mains, resistance;
        std::vector<const char*> texts;
    } rows[] = {
        {50, 0, {K_bs_45_55_4, K_hp_10_Cheb3, K_lp_30}},
        {60, 1, {K_bs_55_65, K_bs_62, K_hp_10_Cheb3, K_lp_30}},
        {55, 1, {K_bs_62, K_hp_10_Cheb3, K_lp_30}},
        {0, 2, {K_hp_10_Cheb3, K_lp_30}},
        {-50, -1, {K_hp_10_Cheb3, K_lp_30}},
        {INT_MAX, INT_MIN, {K_hp_10_Cheb3, K_lp_30}},
        {INT_MIN, INT_MAX, {K_hp_10_Cheb3, K_lp_30}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.mains) + " Hz, resistance " + std::to_string(row.resistance));
        _OutStatus status;
        _ArtifactsMath* detector = createArtifactsMath(1, {250, 25, 250}, &status);
        ASSERT_NE(detector, nullptr);
        EXPECT_TRUE(ArtifactsMathInitFilters(detector, row.mains, row.resistance).success);
        std::vector<double> judged = withTone(cleanWindow(), 250.0, 50.0, 40.0);
        std::vector<double> expected = judged;
        bool artifacted = false;
        int quality = 0;
        ASSERT_TRUE(
            ArtifactsMathIsArtifactedWin(&artifacted, &quality, detector, judged.data(), 250, false).success);

        bool error = true;
        TFilterListHandle* list = create_TFilterList(&error);
        for (const char* text : row.texts) {
            TFilterHandle* filter = create_custom_TFilter(text, &error);
            TFilterList_AddFilter(list, filter, &error);
            delete_TFilter(filter, &error);
        }
        TFilterList_Filter_array(list, expected.data(), 250, &error);
        EXPECT_FALSE(error);
        EXPECT_EQ(std::memcmp(judged.data(), expected.data(), 250 * sizeof(double)), 0);
        delete_TFilterList(list, &error);
        freeArtifactsMath(detector);
    }
}

// _SideType values outside LEFT, RIGHT and NONE: the priority setter refuses
// them; the window query answers "not artifacted" without asking a detector,
// as for NONE; the per-side step analyses the right side, as for RIGHT. In
// multichannel mode there are no side detectors: the query of a side reports
// the detector interface's null-handle refusal.
TEST(BadInput, SideValuesOutsideTheEnumeration) {
    const std::vector<double> left = eegLike(2000, 250.0, 11), right = eegLike(2000, 250.0, 12, 5.0);
    Samples samples(left, right);
    const auto fed = [&](bool bipolar) {
        _OutStatus status;
        EngineHandle e = createEngine(engineSettings(250, 500, bipolar, 2), &status);
        EXPECT_TRUE(e && push(e.get(), bipolar, samples, 0, 2000, &status) && MathLibProcessDataArr(e.get(), &status))
            << status.error_msg;
        return e;
    };
    const _SideType outside[] = {static_cast<_SideType>(3), static_cast<_SideType>(-1),
                                 static_cast<_SideType>(INT_MIN)};
    for (const _SideType side : outside) {
        SCOPED_TRACE(static_cast<int>(side));
        const EngineHandle e = fed(true), asRight = fed(true);
        _OutStatus status;
        EXPECT_FALSE(MathLibSetPrioritySide(e.get(), side, &status));
        EXPECT_EQ(status.error_code, 1);

        bool artifacted = true, none = true;
        EXPECT_TRUE(MathLibIsArtifactedWin(e.get(), side, false, &artifacted, &status));
        EXPECT_TRUE(MathLibIsArtifactedWin(e.get(), NONE, false, &none, &status));
        EXPECT_FALSE(artifacted);
        EXPECT_FALSE(none);

        Reading mine, theirs;
        ASSERT_TRUE(readAll(e.get(), mine, 0, &status) && readAll(asRight.get(), theirs, 0, &status));
        ASSERT_TRUE(MathLibProcessData(e.get(), side, &status) && MathLibProcessData(asRight.get(), RIGHT, &status));
        ASSERT_TRUE(readAll(e.get(), mine, 0, &status) && readAll(asRight.get(), theirs, 0, &status));
        ASSERT_EQ(mine.bands.size(), 1u);
        EXPECT_TRUE(bytesOf(mine) == bytesOf(theirs));
        // The left side gives other numbers: the comparison above can fail.
        const EngineHandle asLeft = fed(true);
        Reading leftReading;
        ASSERT_TRUE(readAll(asLeft.get(), leftReading, 0, &status) && MathLibProcessData(asLeft.get(), LEFT, &status) &&
                    readAll(asLeft.get(), leftReading, 0, &status));
        EXPECT_FALSE(bytesOf(leftReading) == bytesOf(theirs));
    }

    const EngineHandle multichannel = fed(false);
    for (const _SideType side : {LEFT, RIGHT}) {
        bool artifacted = false;
        _OutStatus status;
        EXPECT_FALSE(MathLibIsArtifactedWin(multichannel.get(), side, false, &artifacted, &status));
        EXPECT_EQ(status.error_code, 1);
        EXPECT_STREQ(status.error_msg, "ArtifactMAthLib pointer is null!");
    }
}

} // namespace
