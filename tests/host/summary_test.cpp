// The summary rules on rows made by hand: which windows are judged, which
// count towards the means, which minute a row belongs to, and the gaps.

#include <gtest/gtest.h>

#include "host/summary.h"

using namespace kalo::host;

namespace {

Row row(double timeSec, double instRelaxation, bool both = false, bool sequence = false) {
    Row r;
    r.timeSec = timeSec;
    r.mind = {1.0, 2.0, 100.0 - instRelaxation, instRelaxation};
    r.bothSidesArtifacted = both;
    r.artifactedSequence = sequence;
    return r;
}

StreamLayout pair() {
    StreamLayout layout;
    layout.source = "rec.edf";
    layout.rateHz = 160;
    layout.selection.bipolar = true;
    layout.names = {"O1", "O2"};
    return layout;
}

} // namespace

TEST(Summary, JudgedSettledAndMinutesFollowTheStartUpAndTheArtifacts) {
    EngineConfig config; // 4 s of start-up, levels over 2 s: settled from 6 s
    ASSERT_EQ(config.mathLib.n_first_sec_skipped, 4);
    ASSERT_EQ(config.mentalAndSpectral.mental_estimation_sec, 2);
    SummaryBuilder builder(pair(), config);
    const Row rows[] = {
        row(3.9, 0.0, true),      // start-up: not judged even though flagged
        row(4.0, 50.0, true),     // judged and artifacted, not settled
        row(5.9, 50.0),           // judged, not yet settled
        row(6.0, 40.0),           // minute 1
        [] { Row none = row(6.5, 0.0); none.mind = {}; return none; }(), // no estimate yet: left out
        row(8.4, 99.0),           // still averages the estimate missing at 6.5 s: left out
        row(30.0, 60.0, true, true),
        row(60.0, 80.0),          // 60.0 s closes minute 1
        row(60.04, 20.0),         // minute 2
        row(125.0, 30.0, false, true),  // minute 3; in a sequence but not both sides: counted
    };
    for (const Row& r : rows)
        builder.add(r);
    RunInfo info;
    info.durationSec = 125.0;
    info.calibrationStartSec = 0.0;
    const Summary s = builder.finish(info);

    EXPECT_EQ(s.windows, 10);
    EXPECT_EQ(s.judgedWindows, 9);
    EXPECT_EQ(s.artifactedWindows, 2);
    EXPECT_EQ(s.sequenceWindows, 2);
    ASSERT_EQ(s.minutes.size(), 3u);
    EXPECT_EQ(s.minutes[0].windows, 2);
    EXPECT_DOUBLE_EQ(s.minutes[0].instRelaxation, 60.0);
    EXPECT_DOUBLE_EQ(s.minutes[0].instAttention, 40.0);
    EXPECT_EQ(s.minutes[1].windows, 1);
    EXPECT_DOUBLE_EQ(s.minutes[1].instRelaxation, 20.0);
    EXPECT_EQ(s.minutes[2].windows, 1);

    const std::string text = formatSummary(s);
    EXPECT_NE(text.find("rec.edf: 125.0 s at 160 Hz, bipolar O1 / O2"), std::string::npos) << text;
    EXPECT_NE(text.find("22.2 % of judged windows on both sides"), std::string::npos) << text;
    EXPECT_EQ(s.whole.windows, 4);
    EXPECT_DOUBLE_EQ(s.whole.instRelaxation, (40.0 + 80.0 + 20.0 + 30.0) / 4);
    EXPECT_NE(text.find("started at 0.00 s, not finished"), std::string::npos) << text;
    const auto json = summaryJson(s);
    EXPECT_DOUBLE_EQ(json["artifacted_share"].get<double>(), 2.0 / 9.0);
    EXPECT_EQ(json["minutes"][2]["minute"], 3);
    EXPECT_EQ(json["gaps"]["count"], 0);
    EXPECT_TRUE(json["calibration"]["finished_s"].is_null());
}

TEST(Summary, GapsAreCountedTimedAndListed) {
    SummaryBuilder builder(pair(), EngineConfig{});
    Summary s = builder.finish(RunInfo{});
    s.gaps = {{249, 1.0, 5, 0.02}, {999, 4.0, 100, 0.4}};
    const std::string text = formatSummary(s);
    EXPECT_NE(text.find("gaps         2 where samples are missing, 0.420 s in all, after 1.000 s (5 samples), "
                        "4.000 s (100 samples)"),
              std::string::npos)
        << text;
    const auto json = summaryJson(s);
    EXPECT_EQ(json["gaps"]["count"], 2);
    EXPECT_EQ(json["gaps"]["missing_samples"], 105);
    EXPECT_DOUBLE_EQ(json["gaps"]["missing_s"].get<double>(), 0.42);
    EXPECT_EQ(json["gaps"]["where"][1]["after_sample"], 999);
}
