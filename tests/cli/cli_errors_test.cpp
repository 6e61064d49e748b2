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
        ErrorCase{"RateTheEngineRefuses", {"analyze", "@slow.csv"}, "40 Hz recording: Wrong settings for MathLibSetting"},
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
