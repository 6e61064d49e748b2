// The settings file as a user meets it: what --print-settings writes, read
// back with --settings, gives the same rows; a flag wins over the file
// whichever comes first; a bad file is one line naming the file, the key and
// the problem, and nothing is written; a file fitted for another rate or
// window is reported in the summary.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "kalo_process.h"

using kalo_test::runKalo;
using kalo_test::ScratchDir;
using kalo_test::slurp;

namespace {

// Twenty seconds at 250 Hz with alpha, beta and a few large swings, so that
// the thresholds and setters change the rows.
std::string csvRecording() {
    std::string text = "t,a,b\n";
    for (int i = 0; i < 5000; ++i) {
        const double t = i / 250.0;
        const double swing = (i / 600) % 3 == 2 ? 1.2e-4 * std::sin(2.0 * t) : 0.0;
        text += fmt::format("{},{},{}\n", t, 2e-5 * std::sin(2 * M_PI * 10 * t) + 8e-6 * std::sin(2 * M_PI * 18 * t) + swing,
                            1.5e-5 * std::sin(2 * M_PI * 9 * t + 1) + 1e-5 * std::cos(2 * M_PI * 20 * t));
    }
    return text;
}

struct Fixture {
    ScratchDir dir;
    std::string recording = (dir / "rec.csv").string();
    Fixture() { dir.write("rec.csv", csvRecording()); }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    kalo_test::KaloRun analyze(std::vector<std::string> args) const {
        args.insert(args.begin(), {"analyze", recording, "--quiet", "--format", "jsonl"});
        return runKalo(args);
    }
    nlohmann::json printed(std::vector<std::string> args) const {
        args.insert(args.begin(), {"analyze", "--print-settings"});
        const kalo_test::KaloRun run = runKalo(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return nlohmann::json::parse(run.out);
    }
};

} // namespace

TEST(SettingsFile, PrintedSettingsReadBackGiveTheSameRowsBitForBit) {
    const Fixture f;
    const std::vector<std::vector<std::string>> flagSets = {
        {},
        {"--band-power-threshold", "700000", "--amplitude-threshold", "60", "--hanning", "--calibrate-at", "2.5",
         "--priority", "left", "--weights", "1,2,3,4,0.5", "--normalize", "coeffs", "--mental-mode", "ratios",
         "--skip-after-artifact", "3", "--fft-window", "400"},
    };
    for (const auto& flags : flagSets) {
        const kalo_test::KaloRun direct = f.analyze(flags);
        ASSERT_EQ(direct.exitCode, 0) << direct.err;
        std::vector<std::string> print = {"analyze", "--print-settings"};
        print.insert(print.end(), flags.begin(), flags.end());
        const kalo_test::KaloRun written = runKalo(print);
        ASSERT_EQ(written.exitCode, 0) << written.err;
        f.dir.write("settings.json", written.out);

        const kalo_test::KaloRun fromFile = f.analyze({"--settings", f.path("settings.json")});
        ASSERT_EQ(fromFile.exitCode, 0) << fromFile.err;
        EXPECT_GT(direct.out.size(), 1000u);
        EXPECT_EQ(fromFile.out, direct.out) << "with " << flags.size() << " flags";
        // Read and printed again, the file is the same.
        EXPECT_EQ(runKalo({"analyze", "--print-settings", "--settings", f.path("settings.json")}).out, written.out);
    }
    // The thresholds change the rows, so the comparison above can fail.
    EXPECT_NE(f.analyze({}).out, f.analyze({"--band-power-threshold", "600000", "--amplitude-threshold", "50"}).out);
}

TEST(SettingsFile, AFlagWinsOverTheFileBeforeOrAfterIt) {
    const Fixture f;
    f.dir.write("s.json", R"({"settings": {"amplitude_threshold": 60, "hanning": true, "zero_waves": [1,1,0,1,1]}})");
    for (const bool flagFirst : {false, true}) {
        std::vector<std::string> args = {"--settings", f.path("s.json")};
        args.insert(flagFirst ? args.begin() : args.end(), {"--amplitude-threshold", "100"});
        const nlohmann::json s = f.printed(args)["settings"];
        EXPECT_EQ(s["amplitude_threshold"], 100) << "flag first: " << flagFirst;
        EXPECT_EQ(s["hanning"], true);
        EXPECT_EQ(s["zero_waves"], nlohmann::json::parse("[1,1,0,1,1]"));
    }
}

TEST(SettingsFile, ABadFileIsOneLineNamingFileKeyAndProblem) {
    const struct {
        const char* text;
        const char* key;     // named in the message
        const char* problem; // the rest of it
    } cases[] = {
        {"{\"settings\": {\"amplitude_threshold\": 60,}", "", "the text is not JSON"},
        {R"({"settings": {"amplitud_threshold": 60}})", "\"amplitud_threshold\"", "is not an engine setting"},
        {R"({"settings": {"left": "O1"}})", "\"left\"", "is not an engine setting"},
        {R"({"settings": {"amplitude_threshold": "sixty"}})", "amplitude_threshold", "takes a whole number"},
        {R"({"settings": {"priority": "up"}})", "priority", "takes left, right or none"},
        {R"({"settings": {"weights": {"a": 1}}})", "\"weights\"", "takes a number, true or false"},
        {R"({"settings": {}, "fitted_for": {"rate_hz": -4}})", "\"fitted_for.rate_hz\"", "takes a whole number"},
        {R"({"threshold": 5})", "\"threshold\"", "is not known"},
    };
    for (const auto& c : cases) {
        const Fixture f;
        f.dir.write("bad.json", c.text);
        const kalo_test::KaloRun run = f.analyze({"--settings", f.path("bad.json")});
        EXPECT_EQ(run.exitCode, 2) << c.text;
        EXPECT_EQ(run.out, "") << c.text;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        for (const std::string& part : {f.path("bad.json"), std::string(c.key), std::string(c.problem)})
            EXPECT_NE(run.err.find(part), std::string::npos) << c.text << " -> " << run.err;
    }
}

TEST(SettingsFile, AFileFittedForAnotherRateOrWindowIsReportedByName) {
    const Fixture f;
    f.dir.write("fitted.json", R"({"fitted_for": {"rate_hz": 160, "fft_window": 320},
                                   "settings": {"band_power_threshold": 900000}})");
    const kalo_test::KaloRun other = f.analyze({"--settings", f.path("fitted.json")});
    ASSERT_EQ(other.exitCode, 0) << other.err;
    EXPECT_NE(other.err.find("fitted for 160 Hz with a 320-sample window; this run is at 250 Hz with a 500-sample "
                             "window"),
              std::string::npos)
        << other.err;
    f.dir.write("same.json", R"({"fitted_for": {"rate_hz": 250, "fft_window": 500}, "settings": {}})");
    const kalo_test::KaloRun same = f.analyze({"--settings", f.path("same.json")});
    EXPECT_EQ(same.err.find("fitted for"), std::string::npos) << same.err;
    // The file's fitted_for is kept when the settings are printed again.
    EXPECT_EQ(f.printed({"--settings", f.path("fitted.json")})["fitted_for"]["rate_hz"], 160);
}
