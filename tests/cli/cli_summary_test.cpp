// What the summaries say, and where they go: the real record interval, the
// wording for the mode, a calibration longer than the recording, and
// --summary-json checked before the run, on stdout with "-", and with an
// entry for every recording, failed ones included.

#include <gtest/gtest.h>

#include <cmath>

#include <fmt/format.h>

#include "kalo_process.h"

using kalo_test::runKalo;

namespace {

std::string csv(int rateHz, double seconds, int channels = 2) {
    std::string text = "t";
    for (int c = 0; c < channels; ++c)
        text += fmt::format(",ch{}", c);
    text += '\n';
    for (int i = 0; i < static_cast<int>(seconds * rateHz); ++i) {
        text += fmt::format("{}", static_cast<double>(i) / rateHz);
        for (int c = 0; c < channels; ++c)
            text += fmt::format(",{}", 2e-5 * std::sin(2 * M_PI * 10 * i / rateHz + c) + 3e-6 * std::sin(0.37 * i * (c + 1)));
        text += '\n';
    }
    return text;
}

} // namespace

TEST(Summary, StatesTheRealRecordIntervalTheModeAndACalibrationLongerThanTheRecording) {
    kalo_test::ScratchDir dir;
    dir.write("160.csv", csv(160, 30));
    dir.write("three.csv", csv(250, 30, 3));
    const auto pair = runKalo({"analyze", (dir / "160.csv").string(), "--quiet", "--calibration-sec", "100",
                               "--summary-json", (dir / "s.json").string()});
    ASSERT_EQ(pair.exitCode, 0) << pair.err;
    EXPECT_NE(pair.err.find("one every 37.5 ms (26.7 a second)"), std::string::npos) << pair.err;
    EXPECT_NE(pair.err.find("judged windows on both sides"), std::string::npos) << pair.err;
    EXPECT_NE(pair.err.find("not finished: the recording is shorter than the calibration (30.0 s left for 100 s"),
              std::string::npos)
        << pair.err;
    const auto json = nlohmann::json::parse(kalo_test::slurp(dir / "s.json"));
    EXPECT_DOUBLE_EQ(json["record_interval_ms"].get<double>(), 37.5);

    const auto multi = runKalo({"analyze", (dir / "three.csv").string(), "--quiet", "--channels", "ch0,ch1,ch2",
                                "--calibrate-at", "40"});
    ASSERT_EQ(multi.exitCode, 0) << multi.err;
    EXPECT_NE(multi.err.find("judged windows with no clean channel to analyse"), std::string::npos) << multi.err;
    EXPECT_EQ(multi.err.find("both sides"), std::string::npos) << multi.err;
    EXPECT_NE(multi.err.find("not run: the recording ends before 40.00 s"), std::string::npos) << multi.err;
}

TEST(SummaryJson, IsCheckedBeforeTheRunGoesToStandardOutputAndListsFailures) {
    kalo_test::ScratchDir dir;
    dir.write("a.csv", csv(250, 12));
    dir.write("bad.csv", "t,ch0,ch1\n0,1,2\n0.004,1,oops\n");
    const std::string a = (dir / "a.csv").string(), bad = (dir / "bad.csv").string();

    // A summary that cannot be written stops the run before any row.
    const auto unwritable = runKalo({"analyze", a, "--quiet", "--summary-json", (dir / "no/such/dir/s.json").string()});
    EXPECT_EQ(unwritable.exitCode, 2);
    EXPECT_EQ(unwritable.out, "");
    EXPECT_NE(unwritable.err.find("s.json: cannot be created"), std::string::npos) << unwritable.err;

    const auto toStdout = runKalo({"analyze", a, bad, "--quiet", "--out-dir", (dir / "out").string(),
                                   "--summary-json", "-"});
    EXPECT_EQ(toStdout.exitCode, 2); // one recording failed
    const auto summaries = nlohmann::json::parse(toStdout.out);
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[0]["recording"], a);
    EXPECT_GT(summaries[0]["windows"].get<int>(), 100);
    EXPECT_EQ(summaries[1]["recording"], bad);
    EXPECT_NE(summaries[1]["error"].get<std::string>().find("\"oops\" is not a number"), std::string::npos);
    EXPECT_NE(toStdout.err.find("a.csv: 12.0 s at 250 Hz"), std::string::npos) << toStdout.err; // the text summary
    EXPECT_FALSE(std::filesystem::exists(dir / "-"));

    // The same through --jobs: the children's summaries and errors come back in order.
    const auto jobs = runKalo({"analyze", bad, a, "--quiet", "--jobs", "2", "--overwrite", "--out-dir",
                               (dir / "out").string(), "--summary-json", (dir / "jobs.json").string()});
    EXPECT_EQ(jobs.exitCode, 2);
    const auto fromJobs = nlohmann::json::parse(kalo_test::slurp(dir / "jobs.json"));
    ASSERT_EQ(fromJobs.size(), 2u);
    EXPECT_TRUE(fromJobs[0].contains("error"));
    EXPECT_EQ(fromJobs[1]["windows"], summaries[0]["windows"]);
}

TEST(FilterCommand, PassesATimeColumnThroughAndNeverPrintsMinusZero) {
    // A filter that is its gain alone gives -0 for an input of -0.
    kalo_test::ScratchDir dir;
    dir.write("gain.txt", "K = 2\n");
    std::string input = "t,x\n";
    for (int i = 0; i < 50; ++i)
        input += fmt::format("{},{}\n", i / 250.0, i % 2 == 0 ? "-0" : "1.5");
    const auto run = runKalo({"filter", "--coefficients", (dir / "gain.txt").string()}, input);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "t,x");
    for (int i = 0; std::getline(lines, line); ++i) {
        EXPECT_EQ(line.substr(0, line.find(',')), fmt::format("{}", i / 250.0));
        EXPECT_EQ(line.substr(line.find(',') + 1), i % 2 == 0 ? "0" : "3") << line;
    }
}
