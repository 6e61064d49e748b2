// kalo on real recordings: its rows must be the records the engine publishes
// when driven directly through the C interface with the same samples (taken
// here from the CSV copies, not through kalo's readers), the EDF and its CSV
// copy must give the same rows, and closed eyes must show more alpha and more
// relaxation than open eyes.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "kalo_process.h"
#include "support/engine_settings.h"
#include "support/real_recordings.h"

using kalo_test::runKalo;

namespace {

const char* const kColumns[] = {"time_s",        "rel_attention", "rel_relaxation", "inst_attention", "inst_relaxation",
                                "delta",         "theta",         "alpha",          "beta",           "gamma",
                                "raw_alpha",     "raw_beta",      "calibration_percent", "both_sides_artifacted",
                                "artifacted_sequence"};
using Record = std::array<double, std::size(kColumns)>;

std::vector<Record> toRecords(const std::vector<nlohmann::json>& rows) {
    std::vector<Record> records;
    for (const auto& row : rows) {
        Record r{};
        for (std::size_t c = 0; c < r.size(); ++c)
            r[c] = row[kColumns[c]].is_boolean() ? row[kColumns[c]].get<bool>() : row[kColumns[c]].get<double>();
        records.push_back(r);
    }
    return records;
}

int columnOf(const std::filesystem::path& csv, const std::string& name) {
    std::ifstream in(csv);
    std::string header;
    std::getline(in, header);
    std::stringstream cells(header);
    int index = -1;
    for (std::string cell; std::getline(cells, cell, ',');) {
        if (cell == name)
            return index;
        ++index;
    }
    return -2;
}

// The engine driven as the simplest host would: defaults with the rate from
// the file and a 2 s window, a calibration from the start, one window step
// pushed at a time, both queues drained after every step.
std::vector<Record> directRun(const std::vector<std::vector<double>>& channels, bool bipolar, int analysed) {
    auto settings = kalo_test::engineSettings(160, 320, bipolar, static_cast<int>(channels.size()));
    settings.mathLib.channel_for_analysis = analysed;
    auto engine = kalo_test::createEngine(settings);
    MathLib* e = engine.get();
    EXPECT_TRUE(MathLibStartCalibration(e, nullptr));
    const std::size_t shift = 160 / settings.mathLib.process_win_freq, n = channels[0].size();
    std::vector<Record> records;
    for (std::size_t first = 0; first < n; first += shift) {
        const std::size_t count = std::min(shift, n - first);
        std::vector<_RawChannels> pairs;
        std::vector<std::vector<double>> values;
        std::vector<_RawChannelsArray> samples;
        for (std::size_t i = first; i < first + count; ++i) {
            pairs.push_back({channels[0][i], channels[1][i]});
            values.emplace_back();
            for (const auto& channel : channels)
                values.back().push_back(channel[i]);
        }
        for (auto& v : values)
            samples.push_back({v.data()});
        EXPECT_TRUE(bipolar ? MathLibPushData(e, pairs.data(), count, nullptr)
                            : MathLibPushDataArr(e, samples.data(), count, nullptr));
        EXPECT_TRUE(MathLibProcessDataArr(e, nullptr));
        int32_t size = 0, mindSize = 0, percent = 0;
        MathLibReadSpectralDataPercentsArrSize(e, &size, nullptr);
        MathLibReadMentalDataArrSize(e, &mindSize, nullptr);
        EXPECT_EQ(size, mindSize);
        std::vector<_SpectralDataPercents> bands(static_cast<std::size_t>(size));
        std::vector<_MindData> minds(static_cast<std::size_t>(size));
        MathLibReadSpectralDataPercentsArr(e, bands.data(), &size, nullptr);
        MathLibReadMentalDataArr(e, minds.data(), &mindSize, nullptr);
        _RawSpectVals raw{};
        bool both = false, sequence = false;
        MathLibReadRawSpectralVals(e, &raw, nullptr);
        MathLibGetCallibrationPercents(e, &percent, nullptr);
        MathLibIsBothSidesArtifacted(e, &both, nullptr);
        MathLibIsArtifactedSequence(e, &sequence, nullptr);
        for (std::size_t k = 0; k < bands.size(); ++k) {
            const auto& m = minds[k];
            const auto& b = bands[k];
            records.push_back({(first + count) / 160.0, m.rel_attention, m.rel_relaxation, m.inst_attention,
                               m.inst_relaxation, b.delta, b.theta, b.alpha, b.beta, b.gamma, raw.alpha, raw.beta,
                               static_cast<double>(percent), static_cast<double>(both),
                               static_cast<double>(sequence)});
        }
    }
    return records;
}

void expectSameRecords(const std::vector<Record>& actual, const std::vector<Record>& expected, const char* what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (std::size_t i = 0; i < actual.size(); ++i)
        for (std::size_t c = 0; c < expected[i].size(); ++c)
            ASSERT_NEAR(actual[i][c], expected[i][c], 1e-9) << what << ": row " << i << ", " << kColumns[c];
}

struct Case {
    const char* name;
    const char* stem;
    std::vector<std::string> channelArgs;
    std::vector<std::string> channels; // CSV column names, in the engine's order
    bool bipolar;
    int analysed;
};

// Test names show the case name, not the bytes of its record.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RealRecording : public testing::TestWithParam<Case> {};

} // namespace

TEST_P(RealRecording, RowsAreTheEnginesRecordsFromEdfAndFromCsv) {
    const Case& c = GetParam();
    const auto edf = kalo_test::realRecording(std::string(c.stem) + ".edf");
    const auto csv = kalo_test::realRecording(std::string(c.stem) + ".volts.csv");
    KALO_SKIP_WITHOUT_RECORDING(edf, c.stem);
    KALO_SKIP_WITHOUT_RECORDING(csv, c.stem);

    std::vector<std::string> args = {"analyze", edf.string(), "--format", "jsonl"};
    args.insert(args.end(), c.channelArgs.begin(), c.channelArgs.end());
    const auto fromEdf = runKalo(args);
    ASSERT_EQ(fromEdf.exitCode, 0) << fromEdf.err;
    args[1] = csv.string();
    const auto fromCsv = runKalo(args);
    ASSERT_EQ(fromCsv.exitCode, 0) << fromCsv.err;

    std::vector<std::vector<double>> channels;
    for (const std::string& name : c.channels)
        channels.push_back(kalo_test::readVoltsChannel(csv, columnOf(csv, name)));
    const std::vector<Record> expected = directRun(channels, c.bipolar, c.analysed);
    ASSERT_GT(expected.size(), 1400u);
    // The whole recording ran: the last record closes its last window step.
    EXPECT_NEAR(expected.back()[0], static_cast<double>(channels[0].size()) / 160.0, 1e-9);
    expectSameRecords(toRecords(kalo_test::jsonLines(fromEdf.out)), expected, "EDF");
    expectSameRecords(toRecords(kalo_test::jsonLines(fromCsv.out)), expected, "CSV");
}

INSTANTIATE_TEST_SUITE_P(
    PhysioNet, RealRecording,
    testing::Values(Case{"EyesOpenBipolar", "S001R01", {"--left", "O1", "--right", "o2"}, {"O1", "O2"}, true, 0},
                    Case{"EyesClosedBipolar", "S001R02_repaired60s", {"--left", "o1..", "--right", "O2"},
                         {"O1", "O2"}, true, 0},
                    Case{"EyesOpenMultichannel", "S001R01", {"--channels", "O1,Oz,O2", "--analysis-channel", "oz"},
                         {"O1", "Oz", "O2"}, false, 1}),
    [](const testing::TestParamInfo<Case>& instance) { return std::string(instance.param.name); });

TEST(RealRecordings, ClosedEyesShowMoreAlphaAndRelaxationThanOpenEyes) {
    const auto open = kalo_test::realRecording("S001R01.edf");
    const auto closed = kalo_test::realRecording("S001R02_repaired60s.edf");
    KALO_SKIP_WITHOUT_RECORDING(open, "S001R01.edf");
    KALO_SKIP_WITHOUT_RECORDING(closed, "S001R02_repaired60s.edf");

    // Means over the windows the engine judged clean, after its start-up.
    const auto means = [](const std::filesystem::path& path) {
        const auto run = runKalo({"analyze", path.string(), "--left", "O1", "--right", "O2", "--format", "jsonl"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        double alpha = 0, relaxation = 0;
        int n = 0;
        for (const auto& row : kalo_test::jsonLines(run.out))
            if (row["time_s"].get<double>() >= 6.0 && !row["both_sides_artifacted"].get<bool>()) {
                alpha += row["raw_alpha"].get<double>();
                relaxation += row["inst_relaxation"].get<double>();
                ++n;
            }
        EXPECT_GT(n, 100) << path;
        return std::pair{alpha / n, relaxation / n};
    };
    const auto [openAlpha, openRelaxation] = means(open);
    const auto [closedAlpha, closedRelaxation] = means(closed);
    EXPECT_GT(closedAlpha, 1.5 * openAlpha);
    EXPECT_GT(closedRelaxation, openRelaxation + 5.0);
}

TEST(RealRecordings, ParallelJobsWriteWhatSingleRunsPrint) {
    const auto open = kalo_test::realRecording("S001R01.edf");
    const auto closed = kalo_test::realRecording("S001R02_repaired60s.edf");
    KALO_SKIP_WITHOUT_RECORDING(open, "S001R01.edf");
    KALO_SKIP_WITHOUT_RECORDING(closed, "S001R02_repaired60s.edf");

    kalo_test::ScratchDir dir;
    const std::vector<std::string> pair = {"--left", "O1", "--right", "O2"};
    std::vector<std::string> args = {"analyze", open.string(), closed.string(), "--jobs", "2", "--out-dir",
                                     (dir / "out").string(), "--summary-json", (dir / "summary.json").string()};
    args.insert(args.end(), pair.begin(), pair.end());
    const auto parallel = runKalo(args);
    ASSERT_EQ(parallel.exitCode, 0) << parallel.err;
    const auto summaries = nlohmann::json::parse(kalo_test::slurp(dir / "summary.json"));
    ASSERT_EQ(summaries.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const std::filesystem::path& path = i == 0 ? open : closed;
        const auto single = runKalo({"analyze", path.string(), "--left", "O1", "--right", "O2"});
        EXPECT_EQ(kalo_test::slurp(dir.path() / "out" / (path.stem().string() + ".csv")), single.out);
        EXPECT_EQ(summaries[i]["recording"], path.string());
        // Summaries go to stdout, in the order of the recordings.
        EXPECT_NE(parallel.out.find(single.err), std::string::npos);
    }
    EXPECT_LT(parallel.out.find(open.string()), parallel.out.find(closed.string()));
}
