// CSV recordings: the rate from the median spacing of t, gaps reported and
// never averaged into the rate, units, and every malformed file refused with
// a message that names the file and what is wrong.

#include <gtest/gtest.h>

#include <cmath>

#include <fmt/format.h>

#include "host/error.h"
#include "host/open_recording.h"
#include "support/scratch_dir.h"

using namespace kalo::host;

TEST(CsvRecording, GapsAreReportedAndTheRateComesFromTheMedianSpacing) {
    kalo_test::ScratchDir dir;
    // Three gaps, 365 samples in all, as a packet counter leaves them: a mean
    // spacing would give 247 Hz.
    std::string text = "t,a,b\n";
    const int rate = 250, samples = 30647 + 365;
    const auto dropped = [](int i) {
        return (i >= 1000 && i < 1200) || (i >= 9000 && i < 9100) || (i >= 20000 && i < 20065);
    };
    for (int i = 0; i < samples; ++i)
        if (!dropped(i))
            text += fmt::format("{:.6f},{},{}\n", static_cast<double>(i) / rate, 1e-5 * std::sin(0.1 * i), 0.0);
    dir.write("gaps.csv", text);
    const auto recording = openRecording((dir / "gaps.csv").string(), {});

    EXPECT_EQ(recording->channels()[0].rateHz, 250.0);
    EXPECT_EQ(recording->channels()[0].sampleCount, 30647);
    const std::vector<Gap>& gaps = recording->gaps();
    ASSERT_EQ(gaps.size(), 3u);
    const std::int64_t missing[] = {200, 100, 65};
    const std::int64_t after[] = {999, 9000 - 200 - 1, 20000 - 300 - 1};
    for (std::size_t g = 0; g < 3; ++g) {
        EXPECT_EQ(gaps[g].missingSamples, missing[g]);
        EXPECT_EQ(gaps[g].afterSample, after[g]);
        EXPECT_NEAR(gaps[g].missingSec, static_cast<double>(missing[g]) / rate, 1e-6);
    }
    EXPECT_NEAR(gaps[1].atSec, 8999.0 / rate, 1e-6);
    // The samples either side follow each other in what is read.
    const int first[] = {0};
    double around[2];
    recording->read(first, 999, 2, around);
    EXPECT_DOUBLE_EQ(around[0], 1e-5 * std::sin(0.1 * 999));
    EXPECT_DOUBLE_EQ(around[1], 1e-5 * std::sin(0.1 * 1200));
}

TEST(CsvRecording, UnitsRateOverrideAndTimeRounding) {
    kalo_test::ScratchDir dir;
    dir.write("uv.csv", "t,a\n0,100\n0.003906,-50\n0.007813,25\n0.011719,0\n");
    ReadOptions microvolts;
    microvolts.unitsPerVolt = 1e6;
    microvolts.unitName = "µV";
    const auto r = openRecording((dir / "uv.csv").string(), microvolts);
    EXPECT_EQ(r->channels()[0].rateHz, 256.0); // t rounded to 1 µs still gives a whole rate
    EXPECT_EQ(r->channels()[0].unit, "µV");
    EXPECT_TRUE(r->gaps().empty());
    const int channel[] = {0};
    double volts[4];
    r->read(channel, 0, 4, volts);
    EXPECT_EQ(volts[0], 100 / 1e6);
    EXPECT_EQ(volts[1], -50 / 1e6);

    ReadOptions override;
    override.rateHz = 500;
    EXPECT_EQ(openRecording((dir / "uv.csv").string(), override)->channels()[0].rateHz, 500.0);
}

struct BadCsv {
    const char* name;
    std::string text;
    const char* message;
};

void PrintTo(const BadCsv& c, std::ostream* os) { *os << c.name; }

class CsvRefused : public testing::TestWithParam<BadCsv> {};

TEST_P(CsvRefused, WithOneLineNamingTheFile) {
    kalo_test::ScratchDir dir;
    dir.write("bad.csv", GetParam().text);
    try {
        openRecording((dir / "bad.csv").string(), {});
        FAIL() << "accepted";
    } catch (const Error& e) {
        const std::string what = e.what();
        EXPECT_EQ(e.kind, ErrorKind::BadRecording);
        EXPECT_EQ(what.rfind((dir / "bad.csv").string() + ": ", 0), 0u) << what;
        EXPECT_NE(what.find(GetParam().message), std::string::npos) << what;
        EXPECT_EQ(what.find('\n'), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Host, CsvRefused,
    testing::Values(BadCsv{"Empty", "", "no header line"},
                    BadCsv{"HeaderOnlyWithT", "t,a,b\n", "no samples after the header line"},
                    BadCsv{"HeaderOnlyWithoutT", "a,b\n\n", "no samples after the header line"},
                    BadCsv{"OnlyATimeColumn", "t\n0\n", "names no channel"},
                    BadCsv{"NoTimeAndNoRate", "a,b\n1,2\n", "no t column, so give the sampling rate with --rate"},
                    BadCsv{"TimeGoesBack", "t,a\n0,1\n0.004,1\n0.002,1\n", "the times do not increase at sample 3"},
                    BadCsv{"RepeatedTime", "t,a\n0,1\n0,1\n", "do not increase at sample 2"},
                    BadCsv{"NotAWholeRate", "t,a\n0,1\n0.4,1\n0.8,1\n", "the times give 2.5 samples per second"},
                    BadCsv{"OneSample", "t,a\n0,1\n", "one sample gives no sampling rate"},
                    BadCsv{"ShortRow", "t,a,b\n0,1,2\n0.004,1\n", "line 3 has 2 cells where the header has 3"},
                    BadCsv{"Text", "t,a,b\n0,1,2\n0.004,1,abc\n", "line 3, column 3 (b): \"abc\" is not a number"}),
    [](const testing::TestParamInfo<BadCsv>& instance) { return std::string(instance.param.name); });
