// The demo recording end to end: the engine must see in it what a person
// would label (blinks, an electrode coming off, closed eyes), and the EDF
// file `kalo demo --write` leaves must analyse like the samples it holds.

#include <gtest/gtest.h>

#include <algorithm>

#include "demo.h"
#include "host/analyze_recording.h"
#include "kalo_process.h"

using namespace kalo::cli;
using kalo::host::Row;
using kalo_test::runKalo;

namespace {

std::vector<Row> analyseDemo(DemoRecording& demo) {
    std::vector<Row> rows;
    kalo::host::analyseRecording(*demo.recording, kalo::host::Options{}, [&](const Row& row) { rows.push_back(row); });
    return rows;
}

// A window covers the 2 s before its record; a record shows it a little later.
constexpr double kReachSec = 2.6;

bool anyRow(const std::vector<Row>& rows, double from, double to, bool Row::*flag) {
    return std::any_of(rows.begin(), rows.end(),
                       [&](const Row& r) { return r.timeSec >= from && r.timeSec <= to && r.*flag; });
}

} // namespace

TEST(Demo, FlagsEveryBlinkAndTheElectrodeOffStretchAndNothingElse) {
    DemoRecording demo = synthesiseDemo();
    const std::vector<Row> rows = analyseDemo(demo);
    ASSERT_GT(rows.size(), 2500u);
    const auto off = std::find_if(demo.stretches.begin(), demo.stretches.end(),
                                  [](const DemoStretch& s) { return s.state == DemoState::ElectrodeOff; });
    ASSERT_NE(off, demo.stretches.end());
    ASSERT_GT(off->endSec - off->beginSec, 4.0);

    for (const double blink : demo.blinkSec)
        EXPECT_TRUE(anyRow(rows, blink, blink + kReachSec, &Row::bothSidesArtifacted)) << "blink at " << blink;
    EXPECT_TRUE(anyRow(rows, off->beginSec, off->endSec + kReachSec, &Row::artifactedSequence));

    // Flags only where something happened: no window without a blink or the
    // electrode off is artifacted, and only the electrode off makes a sequence.
    for (const Row& r : rows) {
        const bool nearBlink = std::any_of(demo.blinkSec.begin(), demo.blinkSec.end(),
                                           [&](double b) { return r.timeSec >= b && r.timeSec <= b + kReachSec; });
        const bool nearOff = r.timeSec >= off->beginSec && r.timeSec <= off->endSec + kReachSec;
        EXPECT_FALSE(r.bothSidesArtifacted && !nearBlink && !nearOff) << "at " << r.timeSec;
        EXPECT_FALSE(r.artifactedSequence && !nearOff) << "at " << r.timeSec;
    }
}

TEST(Demo, ClosedEyesRelaxMoreAndTheSummaryIsReproducible) {
    kalo_test::ScratchDir dir;
    const auto first = runKalo({"demo", "--summary-json", (dir / "a.json").string()});
    const auto second = runKalo({"demo", "--summary-json", (dir / "b.json").string()});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("eyes closed"), std::string::npos) << first.out;
    EXPECT_EQ(first.out, second.out);
    EXPECT_EQ(kalo_test::slurp(dir / "a.json"), kalo_test::slurp(dir / "b.json"));

    const auto summary = nlohmann::json::parse(kalo_test::slurp(dir / "a.json"));
    const auto& open = summary["stretches"]["eyes open"];
    const auto& closed = summary["stretches"]["eyes closed"];
    ASSERT_GT(open["windows"].get<int>(), 500);
    ASSERT_GT(closed["windows"].get<int>(), 500);
    // The calibration ran with open eyes, so closed eyes must rise above it.
    EXPECT_GT(closed["inst_relaxation"].get<double>(), open["inst_relaxation"].get<double>() + 10.0);
    EXPECT_GT(closed["rel_relaxation"].get<double>(), open["rel_relaxation"].get<double>() + 20.0);
    EXPECT_NE(summary["calibration"]["finished_s"], nullptr);
}

TEST(Demo, WrittenEdfAnalysesLikeTheSynthesisedSamples) {
    kalo_test::ScratchDir dir;
    const std::string edf = (dir / "demo.edf").string();
    ASSERT_EQ(runKalo({"demo", "--write", edf}).exitCode, 0);
    const auto run = runKalo({"analyze", edf, "--format", "jsonl"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto fromFile = kalo_test::jsonLines(run.out);

    DemoRecording demo = synthesiseDemo();
    const std::vector<Row> direct = analyseDemo(demo);
    ASSERT_EQ(fromFile.size(), direct.size());
    // The file holds 16-bit samples: levels may move by quantisation, not more.
    for (std::size_t i = 0; i < direct.size(); ++i) {
        ASSERT_DOUBLE_EQ(fromFile[i]["time_s"].get<double>(), direct[i].timeSec);
        EXPECT_NEAR(fromFile[i]["inst_relaxation"].get<double>(), direct[i].mind.inst_relaxation, 0.5)
            << "at " << direct[i].timeSec;
        EXPECT_EQ(fromFile[i]["artifacted_sequence"].get<bool>(), direct[i].artifactedSequence);
        // The stretches and blinks went into the file as annotations.
        EXPECT_EQ(fromFile[i]["events"].get<std::string>(), direct[i].events) << "at " << direct[i].timeSec;
    }
}

// A longer demo repeats the two-minute pattern: every stretch comes back, the
// written file carries each as an annotation, and the first two minutes are
// the same recording as the default one.
TEST(Demo, LongerRecordingsRepeatThePatternAndKeepItsAnnotations) {
    const DemoRecording two = synthesiseDemo(2);
    DemoRecording five = synthesiseDemo(5);
    EXPECT_DOUBLE_EQ(five.recording->durationSec(), 300.0);
    ASSERT_EQ(five.stretches.size(), 2 * two.stretches.size() + 3);
    for (std::size_t i = 0; i < five.stretches.size(); ++i) {
        const DemoStretch& s = five.stretches[i];
        const DemoStretch& pattern = two.stretches[i % two.stretches.size()];
        EXPECT_EQ(s.state, pattern.state);
        EXPECT_DOUBLE_EQ(s.beginSec, pattern.beginSec + 120.0 * static_cast<double>(i / two.stretches.size()));
    }
    EXPECT_DOUBLE_EQ(five.stretches.back().endSec, 300.0);

    kalo_test::ScratchDir dir;
    const auto run = runKalo({"demo", "--minutes", "5", "--write", (dir / "five.edf").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = runKalo({"analyze", (dir / "five.edf").string(), "--format", "jsonl"});
    ASSERT_EQ(rows.exitCode, 0) << rows.err;
    int closedAfterFourMinutes = 0;
    for (const auto& row : kalo_test::jsonLines(rows.out))
        closedAfterFourMinutes += row["time_s"].get<double>() > 240 &&
                                  row["events"].get<std::string>().find("eyes closed") != std::string::npos;
    EXPECT_GT(closedAfterFourMinutes, 400);
}
