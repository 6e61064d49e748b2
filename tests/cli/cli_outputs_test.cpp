// Outputs never destroy inputs: an output path that resolves to a recording
// being read is refused before any work, however it is spelled (relative,
// absolute, through "..", through a symlink), and an existing output file is
// kept unless --overwrite is given.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "kalo_process.h"

using kalo_test::runKalo;
using kalo_test::slurp;
namespace fs = std::filesystem;

namespace {

std::string csvRecording(int samples) {
    std::string text = "t,a,b\n";
    for (int i = 0; i < samples; ++i)
        text += fmt::format("{},{},{}\n", i / 250.0, 2e-5 * std::sin(0.3 * i), 1e-5 * std::cos(i));
    return text;
}

struct OverInputCase {
    const char* name;
    bool fromInsideData;            // the program starts in data/ instead of the scratch folder
    std::vector<std::string> args;  // "@" stands for the scratch folder's absolute path
};

void PrintTo(const OverInputCase& c, std::ostream* os) { *os << c.name; }

class OutputOverInput : public testing::TestWithParam<OverInputCase> {};

} // namespace

TEST_P(OutputOverInput, IsRefusedBeforeAnyWorkAndTheRecordingIsIntact) {
    kalo_test::ScratchDir dir;
    fs::create_directory(dir / "data");
    fs::create_directory(dir / "links");
    const std::string recording = csvRecording(3000);
    dir.write("data/rec.csv", recording);
    dir.write("data/other.csv", recording);
    fs::create_symlink(dir / "data/rec.csv", dir / "links/rec.csv");

    std::vector<std::string> args = {"analyze"};
    for (const std::string& a : GetParam().args)
        args.push_back(a[0] == '@' ? dir.path().string() + a.substr(1) : a);
    const auto cwd = GetParam().fromInsideData ? dir / "data" : dir.path();
    // --overwrite must not make an input writable either.
    for (const bool overwrite : {false, true}) {
        std::vector<std::string> all = args;
        if (overwrite)
            all.push_back("--overwrite");
        const auto run = runKalo(all, "", cwd);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find("writing it would destroy the recording"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(slurp(dir / "data/rec.csv"), recording);
        EXPECT_EQ(slurp(dir / "data/other.csv"), recording);
        EXPECT_TRUE(fs::is_symlink(dir / "links/rec.csv"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, OutputOverInput,
    testing::Values(OverInputCase{"RelativeDot", true, {"rec.csv", "--out-dir", "."}},
                    OverInputCase{"AbsoluteFolderOfSeveral", false,
                                  {"@/data/rec.csv", "@/data/other.csv", "--out-dir", "@/data/"}},
                    OverInputCase{"ThroughDotDot", false, {"data/rec.csv", "--out-dir", "links/../data"}},
                    OverInputCase{"OutputIsASymlinkToTheInput", false, {"data/rec.csv", "--out-dir", "links"}},
                    OverInputCase{"InputIsASymlinkToTheOutput", false, {"links/rec.csv", "--out-dir", "@/data"}},
                    OverInputCase{"SummaryOverTheInput", true, {"rec.csv", "--summary-json", "rec.csv"}}),
    [](const testing::TestParamInfo<OverInputCase>& instance) { return std::string(instance.param.name); });

TEST(OutputFiles, AnExistingOneIsKeptUnlessOverwriteIsGiven) {
    kalo_test::ScratchDir dir;
    dir.write("rec.csv", csvRecording(3000));
    fs::create_directory(dir / "out");
    dir.write("out/rec.csv", "earlier rows\n");
    dir.write("summary.json", "earlier summary\n");
    const std::vector<std::string> rowsOnly = {"analyze", (dir / "rec.csv").string(), "--out-dir",
                                               (dir / "out").string(), "--quiet"};
    std::vector<std::string> withSummary = rowsOnly;
    withSummary.insert(withSummary.end(), {"--summary-json", "summary.json"});

    for (const auto& args : {rowsOnly, withSummary}) {
        const auto kept = runKalo(args, "", dir.path());
        EXPECT_EQ(kept.exitCode, 2);
        EXPECT_NE(kept.err.find("already exists; give --overwrite to replace it"), std::string::npos) << kept.err;
        EXPECT_EQ(slurp(dir / "out/rec.csv"), "earlier rows\n");
        EXPECT_EQ(slurp(dir / "summary.json"), "earlier summary\n");
    }

    std::vector<std::string> replace = withSummary;
    replace.push_back("--overwrite");
    const auto replaced = runKalo(replace, "", dir.path());
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(slurp(dir / "out/rec.csv").rfind("time_s,", 0), 0u);
    EXPECT_EQ(slurp(dir / "summary.json").rfind("{", 0), 0u);

    // The demo's own outputs follow the same rule.
    const auto demo = runKalo({"demo", "--write", "summary.json"}, "", dir.path());
    EXPECT_EQ(demo.exitCode, 2);
    EXPECT_EQ(slurp(dir / "summary.json").rfind("{", 0), 0u);
}
