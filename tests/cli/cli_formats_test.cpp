// kalo on the formats users have: the real GUI text file of an open EEG
// board gives the rows of its volts CSV twin, `kalo info` lists what a
// recording holds, and a rate above the engine's limit is refused with the
// option that reads it, which then does.

#include <gtest/gtest.h>

#include <cmath>

#include <fmt/format.h>

#include "host/edf_recording.h"
#include "kalo_process.h"
#include "support/real_recordings.h"

using kalo_test::runKalo;

namespace {

void expectSameRows(const std::vector<nlohmann::json>& actual, const std::vector<nlohmann::json>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        for (const auto& [column, value] : expected[i].items()) {
            if (!value.is_number())
                continue;
            const double a = actual[i][column].get<double>(), e = value.get<double>();
            ASSERT_LE(std::abs(a - e), 1e-9 * std::max(1.0, std::abs(e))) << "row " << i << ", " << column;
        }
}

} // namespace

TEST(Formats, RealGuiTextGivesTheRowsOfItsVoltsTwin) {
    const auto text = kalo_test::realRecording("OpenBCI_GUI-v6-blinks-jawClench-alpha.txt");
    const auto twin = kalo_test::realRecording("OpenBCI_GUI-v6-blinks-jawClench-alpha.volts.csv");
    KALO_SKIP_WITHOUT_RECORDING(text, "OpenBCI_GUI-v6-blinks-jawClench-alpha.txt");
    KALO_SKIP_WITHOUT_RECORDING(twin, "OpenBCI_GUI-v6-blinks-jawClench-alpha.volts.csv");

    const auto fromText =
        runKalo({"analyze", text.string(), "--format", "jsonl", "--channels",
                 "EXG Channel 0,EXG Channel 1,EXG Channel 2,EXG Channel 3,EXG Channel 4,EXG Channel 5,EXG Channel 6,"
                 "EXG Channel 7",
                 "--analysis-channel", "EXG Channel 6"});
    ASSERT_EQ(fromText.exitCode, 0) << fromText.err;
    const auto fromTwin =
        runKalo({"analyze", twin.string(), "--rate", "250", "--format", "jsonl", "--channels",
                 "EXG_Channel_0,EXG_Channel_1,EXG_Channel_2,EXG_Channel_3,EXG_Channel_4,EXG_Channel_5,EXG_Channel_6,"
                 "EXG_Channel_7",
                 "--analysis-channel", "EXG_Channel_6"});
    ASSERT_EQ(fromTwin.exitCode, 0) << fromTwin.err;
    const auto rows = kalo_test::jsonLines(fromText.out);
    EXPECT_GT(rows.size(), 89u * 5u); // about 90 s of records
    expectSameRows(rows, kalo_test::jsonLines(fromTwin.out));
}

TEST(Formats, InfoListsEegApartFromOtherChannelsWithEventsGapsAndAssumedUnits) {
    kalo_test::ScratchDir dir;
    std::string text = "%OpenBCI Raw EXG Data\n%Sample Rate = 250 Hz\n"
                       "Sample Index, EXG Channel 0, EXG Channel 1, Accel Channel 0, Marker Channel\n";
    for (int i = 0; i < 1000; ++i)
        if (i < 600 || i >= 605)
            text += fmt::format("{}, {}, {}, 0.5, {}\n", i % 256, i % 7, -(i % 5), i % 300 == 10 ? 2 : 0);
    dir.write("board.txt", text);
    dir.write("plain.csv", "t,Fp1,Fp2\n0,0,0\n0.004,1e-6,1e-6\n0.008,0,0\n");

    const auto shown = runKalo({"info", (dir / "board.txt").string(), (dir / "plain.csv").string()});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    for (const char* expected : {"EEG channels (2):", "other channels, not EEG (1):", "Accel Channel 0", "3.980 s",
                                 "     4 x marker 2", "gaps       1 (5 samples missing", "Fp2", "V (assumed)",
                                 "--units"})
        EXPECT_NE(shown.out.find(expected), std::string::npos) << expected << " not in:\n" << shown.out;
    // The EEG list ends before the other channels begin.
    EXPECT_LT(shown.out.find("EXG Channel 1"), shown.out.find("other channels"));

    const auto json = runKalo({"info", "--json", (dir / "board.txt").string()});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto d = nlohmann::json::parse(json.out);
    ASSERT_EQ(d["channels"].size(), 3u);
    EXPECT_FALSE(d["channels"][2]["eeg"].get<bool>());
    EXPECT_EQ(d["gaps"][0]["missing_samples"], 5);
    EXPECT_EQ(d["events"].size(), 4u);

    const auto missing = runKalo({"info", (dir / "absent.edf").string()});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("absent.edf"), std::string::npos) << missing.err;
}

TEST(Formats, ARateAboveTheEnginesIsRefusedNamingResampleWhichReadsIt) {
    kalo_test::ScratchDir dir;
    const int rate = 2048, seconds = 12;
    std::vector<double> left, right;
    for (int i = 0; i < rate * seconds; ++i) {
        const double t = static_cast<double>(i) / rate;
        left.push_back(20e-6 * std::sin(2 * M_PI * 10 * t) + 5e-6 * std::sin(2 * M_PI * 21 * t));
        right.push_back(15e-6 * std::sin(2 * M_PI * 9 * t + 1) + 8e-6 * std::sin(2 * M_PI * 18 * t));
    }
    const std::string bdf = (dir / "fast.bdf").string();
    kalo::host::writeEdf(bdf, true, rate, {{"C3", &left}, {"C4", &right}}, {});

    const auto refused = runKalo({"analyze", bdf, "--quiet"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("2048 Hz"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--resample"), std::string::npos) << refused.err;
    EXPECT_TRUE(refused.out.empty());

    const auto resampled = runKalo({"analyze", bdf, "--resample", "256", "--quiet", "--format", "jsonl"});
    ASSERT_EQ(resampled.exitCode, 0) << resampled.err;
    const auto rows = kalo_test::jsonLines(resampled.out);
    ASSERT_GT(rows.size(), 20u);
    // Records come a whole number of samples apart at the new rate.
    EXPECT_NEAR(rows.back()["time_s"].get<double>(), 12.0, 0.1);
    EXPECT_GT(rows.back()["alpha"].get<double>(), rows.back()["delta"].get<double>());
    EXPECT_NE(resampled.err.find("at 256 Hz"), std::string::npos) << resampled.err;
    EXPECT_NE(resampled.err.find("--resample 250"), std::string::npos) << resampled.err; // the filters' note
    EXPECT_NE(resampled.err.find("resampled from 2048 Hz to 256 Hz"), std::string::npos) << resampled.err;

    const auto outOfRange = runKalo({"analyze", bdf, "--resample", "2000"});
    EXPECT_EQ(outOfRange.exitCode, 2);
    EXPECT_NE(outOfRange.err.find("--resample takes a rate from 1 to 1000 Hz"), std::string::npos)
        << outOfRange.err;
}
