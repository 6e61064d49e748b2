// The rows of `kalo analyze` on the shared recordings, pinned by digest:
// bipolar and multichannel, EDF and CSV. The first fifteen columns are the
// engine's records as the program has always published them; any change to
// the program's reading or driving that alters a bit of them shows here.

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

#include <fmt/format.h>

#include "kalo_process.h"
#include "support/real_recordings.h"

using kalo_test::runKalo;

namespace {

// FNV-1a over the first fifteen cells of every line (the header included),
// each line ending in "\n": later columns may be added without moving it.
std::string firstFifteenColumnsDigest(const std::string& csv) {
    std::uint64_t hash = 14695981039346656037ull;
    const auto add = [&](char c) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    };
    std::istringstream in(csv);
    int lines = 0;
    for (std::string line; std::getline(in, line); ++lines) {
        int cells = 0;
        for (const char c : line) {
            if (c == ',' && ++cells == 15)
                break;
            add(c);
        }
        add('\n');
    }
    return fmt::format("{:016x}/{}", hash, lines);
}

struct PinnedCase {
    const char* name;
    const char* recording;  // in the real-recordings folder; empty for the demo's own EDF
    std::vector<std::string> options;
    const char* digest;
};

void PrintTo(const PinnedCase& c, std::ostream* os) { *os << c.name; }

class PinnedRows : public testing::TestWithParam<PinnedCase> {};

} // namespace

TEST_P(PinnedRows, FirstFifteenColumnsAreUnchanged) {
    const PinnedCase& c = GetParam();
    kalo_test::ScratchDir dir;
    std::string path;
    if (*c.recording == '\0') {
        path = (dir / "demo.edf").string();
        ASSERT_EQ(runKalo({"demo", "--write", path}).exitCode, 0);
    } else {
        path = kalo_test::realRecording(c.recording).string();
        KALO_SKIP_WITHOUT_RECORDING(path, c.recording);
    }
    std::vector<std::string> args = {"analyze", path, "--quiet"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto run = runKalo(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(firstFifteenColumnsDigest(run.out), c.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, PinnedRows,
    testing::Values(
        PinnedCase{"DemoEdfBipolar", "", {}, "273fec73a9917743/2964"},
        PinnedCase{"PhysioNetEdfBipolar", "S001R01.edf", {"--left", "O1", "--right", "O2"}, "cd6da2d60abe9d15/1590"},
        PinnedCase{"PhysioNetEdfMultichannel", "S001R02_repaired60s.edf", {"--channels", "O1,Oz,O2", "--analysis-channel", "Oz"}, "5f1ea6eefcce310b/1548"},
        PinnedCase{"PhysioNetCsvBipolar", "S001R02_repaired60s.volts.csv", {"--left", "O1", "--right", "O2"}, "b024df0e0758428c/1557"},
        PinnedCase{"OpenBciCsvBipolar", "OpenBCI_GUI-v6-blinks-jawClench-alpha.volts.csv",
                   {"--left", "EXG_Channel_6", "--right", "EXG_Channel_7", "--priority", "left"}, "db147967ba55f6e5/2209"},
        PinnedCase{"MuseCsvMultichannel", "eegnb_muse_P300_subject3_session2_2018-04-15-20.52.23.volts.csv",
                   {"--channels", "TP9,AF7,AF8,TP10", "--calibrate-at", "10"}, "fac76cd8bb96fe58/3024"}),
    [](const testing::TestParamInfo<PinnedCase>& instance) { return std::string(instance.param.name); });
