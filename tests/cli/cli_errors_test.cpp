// Every way a run can fail gives one line on stderr that says what is wrong,
// exit code 2, and no output file: neither the rows nor the summary, nor a
// temporary left behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "kalo_artifacts.h"
#include "kalo_process.h"

using kalo_test::runKalo;

namespace {

std::string csvRecording(int rateHz, int samples, int nanAt = -1) {
    std::string text = "t,a,b\n";
    for (int i = 0; i < samples; ++i)
        text += fmt::format("{},{},{}\n", static_cast<double>(i) / rateHz,
                            i == nanAt ? "nan" : fmt::format("{}", 2e-5 * std::sin(0.3 * i)), 1e-5 * std::cos(i));
    return text;
}

struct ErrorCase {
    const char* name;
    std::vector<std::string> args; // "@" stands for the scratch folder
    const char* message;
};

// Test names show the case name, not the bytes of its record.
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class Errors : public testing::TestWithParam<ErrorCase> {};

} // namespace

TEST_P(Errors, OneLineExitCodeTwoNoOutputFile) {
    kalo_test::ScratchDir dir;
    std::filesystem::create_directory(dir / "folder");
    dir.write("slow.csv", csvRecording(40, 800));
    dir.write("nan.csv", csvRecording(250, 5000, 3000));
    dir.write("cells.csv", "t,a,b\n0,1,2\n0.004,1,abc\n");
    dir.write("junk.edf", "this is not an EDF header\n");
    dir.write("notes.txt", "1,2\n");
    dir.write("stdin.csv", "1,2\n0,x\n");
    dir.write("header-t.csv", "t,a,b\n");
    dir.write("header.csv", "a,b\n");
    dir.write("160.csv", csvRecording(160, 3200));
    std::string micro = "t,a,b\n";
    for (int i = 0; i < 5000; ++i)
        micro += fmt::format("{},{},{}\n", i / 250.0, 20.0 * std::sin(0.3 * i), 10.0 * std::cos(i));
    dir.write("microvolts.csv", micro);
    dir.write("junk.txt", "garbage\n");

    std::vector<std::string> args;
    for (const std::string& a : GetParam().args)
        args.push_back(a[0] == '@' ? (dir.path() / a.substr(1)).string() : a);
    if (args[0] == "analyze")
        args.insert(args.end(), {"--out-dir", (dir / "out").string(), "--summary-json", (dir / "out/s.json").string()});
    const auto run = runKalo(args, kalo_test::slurp(dir / "stdin.csv"));

    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("kalo: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    if (std::filesystem::exists(dir / "out")) {
        EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Errors,
    testing::Values(
        ErrorCase{"MissingFile", {"analyze", "@absent.edf"}, "absent.edf: cannot open: No such file or directory"},
        ErrorCase{"Folder", {"analyze", "@folder"}, "folder: cannot open: Is a directory"},
        ErrorCase{"UnsupportedFormat", {"analyze", "@notes.txt"}, "notes.txt: unsupported format"},
        ErrorCase{"NotAnEdf", {"analyze", "@junk.edf"}, "junk.edf: not an EDF or BDF file"},
        ErrorCase{"RateTheEngineRefuses", {"analyze", "@slow.csv"}, "a sampling rate of 40 Hz is outside the 50\u20131000 Hz the engine analyses"},
        ErrorCase{"HeaderOnlyWithT", {"analyze", "@header-t.csv"}, "header-t.csv: no samples after the header line"},
        ErrorCase{"HeaderOnly", {"analyze", "@header.csv", "--rate", "250"}, "header.csv: no samples after the header line"},
        ErrorCase{"MicrovoltsWithoutUnits", {"analyze", "@microvolts.csv"}, "if the file holds microvolts, give --units uV"},
        ErrorCase{"WindowOutOfRange", {"analyze", "@160.csv", "--fft-window", "100000"},
                  "--fft-window 100000 is outside 160\u20131280 for a 160 Hz recording"},
        ErrorCase{"WindowFrequency", {"analyze", "@160.csv", "--process-win-freq", "30"}, "--process-win-freq 30 is outside 5\u201325"},
        ErrorCase{"SkipFirstSec", {"analyze", "@160.csv", "--skip-first-sec", "3"}, "--skip-first-sec 3 is outside 4\u20136"},
        ErrorCase{"AmplitudeThreshold", {"analyze", "@160.csv", "--amplitude-threshold", "30"}, "--amplitude-threshold 30 is outside 50\u2013120"},
        ErrorCase{"PeakThreshold", {"analyze", "@160.csv", "--peak-threshold", "100"}, "--peak-threshold 100 is outside 25\u201370"},
        ErrorCase{"FormatWord", {"analyze", "@160.csv", "--format", "xml"}, "--format takes csv or jsonl: \"xml\" is not accepted (kalo analyze --help"},
        ErrorCase{"CoefficientsWithoutText", {"filter", "--coefficients", "@junk.txt"}, "junk.txt: holds no coefficient text the library can use"},
        ErrorCase{"UnknownChannel",
                  {"analyze", "@slow.csv", "--left", "a", "--right", "O2"},
                  "no channel \"O2\"; its channels are: a, b"},
        ErrorCase{"NonNumericCell", {"analyze", "@cells.csv"}, "line 3, column 3 (b): \"abc\" is not a number"},
        // Rows are being written when the engine refuses the block: the
        // partial file must not appear.
        ErrorCase{"SampleTheEngineRefusesMidRun", {"analyze", "@nan.csv"}, "refused the samples from 12.000 s"},
        ErrorCase{"UnknownOption", {"analyze", "@nan.csv", "--priority", "up"}, "--priority"},
        ErrorCase{"FilterNotInCatalogue", {"filter", "--type", "LP", "--freq", "31.5", "--rate", "250"},
                  "no LP filter at 31.5 Hz"},
        ErrorCase{"FilterInputCell", {"filter", "--type", "LP", "--freq", "30", "--rate", "250"},
                  "line 2, column 2: \"x\" is not a number"}),
    [](const testing::TestParamInfo<ErrorCase>& instance) { return std::string(instance.param.name); });

// The filter command applies one catalogue filter per column, keeping the
// header: each column must equal the library's filter run on it alone.
TEST(FilterCommand, FiltersEveryColumnOnItsOwnAndKeepsTheHeader) {
    std::string input = "left,right\n";
    std::vector<double> columns[2];
    for (int i = 0; i < 300; ++i) {
        columns[0].push_back(std::sin(0.7 * i) + 0.1 * i);
        columns[1].push_back(i % 17 == 0 ? 5.0 : 0.0);
        input += fmt::format("{},{}\n", columns[0].back(), columns[1].back());
    }
    const auto run = runKalo({"filter", "--type", "lp", "--freq", "30", "--rate", "250"}, input);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.out.substr(0, 11), "left,right\n");

    std::string expected = "left,right\n";
    bool error = false;
    TFilterHandle* filters[2] = {create_TFilter_by_param({LP, 250, 30.0}, &error),
                                 create_TFilter_by_param({LP, 250, 30.0}, &error)};
    for (std::size_t i = 0; i < columns[0].size(); ++i)
        expected += fmt::format("{},{}\n", TFilter_Filter(filters[0], columns[0][i], &error),
                                TFilter_Filter(filters[1], columns[1][i], &error));
    for (TFilterHandle* f : filters)
        delete_TFilter(f, &error);
    EXPECT_EQ(run.out, expected);
}
