// The command line as the program parses it: every host option reaches the
// host layer's Options with its value, switches need no value, and a value
// an option does not take is refused with a sentence that names the option
// and lists what it takes.

#include <gtest/gtest.h>

#include <cstring>

#include "host/error.h"
#include "options.h"

using namespace kalo::cli;

namespace {

// Parses `kalo <args>`; the error message, or empty when it parsed.
std::string parse(CommandLine& cl, std::vector<std::string> args) {
    CLI::App app{"kalo"};
    defineCommandLine(app, cl);
    args.insert(args.begin(), "kalo");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        return std::string("parse: ") + e.what();
    } catch (const kalo::host::Error& e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(CliOptions, EveryKindOfOptionReachesTheHostLayer) {
    CommandLine cl;
    ASSERT_EQ(parse(cl, {"analyze", "a.edf", "b.csv", "--left", "O1", "--right", "O2", "--fft-window", "400",
                         "--events", "x.csv", "--events", "y.csv", "--hanning", "--priority", "LEFT", "--calibrate-at",
                         "never", "--weights", "1,2,3,4,5e-1", "--units", "µV", "--rate", "128", "--skip-first-sec",
                         "6", "--format", "jsonl"}),
              "");
    const kalo::host::Options& o = cl.analyze.host;
    EXPECT_EQ(cl.analyze.recordings, (std::vector<std::string>{"a.edf", "b.csv"}));
    EXPECT_EQ(o.channels.left, "O1");
    EXPECT_EQ(o.channels.right, "O2");
    EXPECT_EQ(o.engine.fftWindow, 400);
    EXPECT_EQ(o.eventFiles, (std::vector<std::string>{"x.csv", "y.csv"}));
    EXPECT_TRUE(o.engine.artifactDetect.use_hanning);
    EXPECT_EQ(o.engine.priority, LEFT);
    EXPECT_FALSE(o.engine.calibrateAtSec.has_value());
    ASSERT_TRUE(o.engine.weights.has_value());
    EXPECT_EQ((*o.engine.weights)[4], 0.5);
    EXPECT_EQ(o.read.unitsPerVolt, 1e6);
    EXPECT_EQ(o.read.rateHz, 128);
    EXPECT_EQ(o.engine.mathLib.n_first_sec_skipped, 6);
    EXPECT_EQ(cl.analyze.format, RowFormat::JsonLines);
    // What was given is recorded as given (for the settings in force), nothing else.
    EXPECT_EQ(o.given().size(), 12u);

    CommandLine multi;
    ASSERT_EQ(parse(multi, {"analyze", "a.edf", "--channels", "O1,Oz,O2", "--analysis-channel", "Oz"}), "");
    EXPECT_EQ(multi.analyze.host.channels.channels, (std::vector<std::string>{"O1", "Oz", "O2"}));
    CommandLine demo;
    ASSERT_EQ(parse(demo, {"demo", "--minutes", "5", "--amplitude-threshold", "90"}), "");
    EXPECT_EQ(demo.demo.minutes, 5);
    EXPECT_EQ(demo.demo.host.engine.artifactDetect.amplitude_threshold, 90);
}

TEST(CliOptions, RefusedValuesNameTheOptionAndWhatItTakes) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--priority", "up"}, "--priority takes left, right or none: \"up\" is not accepted"},
        {{"--units", "volt-ish"}, "--units takes V, mV, uV (also µV or microvolts) or nV"},
        {{"--mental-mode", "sum"}, "--mental-mode takes shares or ratios"},
        {{"--fft-window", "1.5"}, "--fft-window takes a whole number: \"1.5\""},
        {{"--amplitude-threshold", "1e12"}, "--amplitude-threshold takes a whole number"},
        {{"--calibrate-at", "-3"}, "--calibrate-at takes seconds, 0 or more"},
        {{"--weights", "1,2,3"}, "--weights takes five comma-separated values"},
        {{"--zero-waves", "1,1,0.5,1,1"}, "--zero-waves takes five whole numbers"},
        {{"--left", "O1"}, "--left requires --right"},
        {{"--hanning", "--hamming"}, "--hanning excludes --hamming"},
    };
    for (const auto& c : cases) {
        CommandLine cl;
        std::vector<std::string> args = {"analyze", "a.edf"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const std::string message = parse(cl, args);
        EXPECT_NE(message.find(c.message), std::string::npos) << c.args.front() << ": " << message;
    }
}
