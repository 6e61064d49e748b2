// An EDF+/BDF+ file written here with EDFlib, in several units and record
// lengths, reads back with its rate, its channel names and its samples in
// volts.

#include <gtest/gtest.h>

#include <edflib.h>

#include <cmath>

#include "cli_error.h"
#include "kalo_process.h"
#include "recording.h"

namespace {

struct EdfCase {
    const char* name;
    int filetype;
    const char* unit;
    double unitsPerVolt;
    int samplesPerRecord;
    int recordDurationTenMicroseconds; // EDFlib's unit
    int rateHz;
};

// Test names show the case name, not the bytes of its record.
void PrintTo(const EdfCase& c, std::ostream* os) { *os << c.name; }

class EdfRoundTrip : public testing::TestWithParam<EdfCase> {};

double sampleVolts(int channel, int i) { return (40.0 + 10.0 * channel) * 1e-6 * std::sin(0.05 * i + channel); }

} // namespace

TEST_P(EdfRoundTrip, ReadsBackRateChannelsAndVolts) {
    const EdfCase& c = GetParam();
    kalo_test::ScratchDir dir;
    const std::string path = (dir / "small.edf").string();
    const char* const labels[] = {"O1..", "Cz", "EMG"};
    const int records = 6, digitalMax = c.filetype == EDFLIB_FILETYPE_BDFPLUS ? 8388607 : 32767;
    const double rangeInUnits = 200e-6 * c.unitsPerVolt;

    const int handle = edfopen_file_writeonly(path.c_str(), c.filetype, 3);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(edf_set_datarecord_duration(handle, c.recordDurationTenMicroseconds), 0);
    for (int s = 0; s < 3; ++s) {
        ASSERT_EQ(edf_set_samplefrequency(handle, s, c.samplesPerRecord), 0);
        ASSERT_EQ(edf_set_physical_maximum(handle, s, rangeInUnits), 0);
        ASSERT_EQ(edf_set_physical_minimum(handle, s, -rangeInUnits), 0);
        ASSERT_EQ(edf_set_digital_maximum(handle, s, digitalMax), 0);
        ASSERT_EQ(edf_set_digital_minimum(handle, s, -digitalMax - 1), 0);
        ASSERT_EQ(edf_set_label(handle, s, labels[s]), 0);
        ASSERT_EQ(edf_set_physical_dimension(handle, s, s == 2 ? "mA" : c.unit), 0);
    }
    std::vector<double> buffer(static_cast<std::size_t>(c.samplesPerRecord));
    for (int r = 0; r < records; ++r)
        for (int s = 0; s < 3; ++s) {
            for (int i = 0; i < c.samplesPerRecord; ++i)
                buffer[static_cast<std::size_t>(i)] = sampleVolts(s, r * c.samplesPerRecord + i) * c.unitsPerVolt;
            ASSERT_EQ(edfwrite_physical_samples(handle, buffer.data()), 0);
        }
    ASSERT_EQ(edfclose_file(handle), 0);

    using namespace kalo::cli;
    const Recording recording = readRecording(path, {});
    ASSERT_EQ(recording.channels.size(), 3u);
    EXPECT_EQ(recording.channels[0].name, "O1..");
    EXPECT_EQ(recording.channels[1].name, "Cz");
    EXPECT_TRUE(recording.channels[0].unitProblem.empty());
    EXPECT_FALSE(recording.channels[2].unitProblem.empty()); // milliamperes are no voltage

    const EngineInput input = chooseChannels(recording, {"o1", "CZ", {}, {}}, std::nullopt);
    EXPECT_EQ(input.rateHz, c.rateHz);
    EXPECT_TRUE(input.bipolar);
    ASSERT_EQ(input.sampleCount, static_cast<std::size_t>(records * c.samplesPerRecord));
    // One quantisation step of the file's resolution.
    const double step = 2 * 200e-6 / (2.0 * digitalMax + 1);
    for (int s = 0; s < 2; ++s)
        for (std::size_t i = 0; i < input.sampleCount; ++i)
            ASSERT_NEAR(input.channels[static_cast<std::size_t>(s)]->volts[i], sampleVolts(s, static_cast<int>(i)),
                        step)
                << "channel " << s << ", sample " << i;
    EXPECT_THROW(chooseChannels(recording, {"O1", "EMG", {}, {}}, std::nullopt), CliError);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EdfRoundTrip,
    testing::Values(EdfCase{"EdfMicrovoltsOneSecondRecords", EDFLIB_FILETYPE_EDFPLUS, "uV", 1e6, 250, 100000, 250},
                    EdfCase{"BdfMillivoltsHalfSecondRecords", EDFLIB_FILETYPE_BDFPLUS, "mV", 1e3, 128, 50000, 256},
                    EdfCase{"EdfVoltsTwoSecondRecords", EDFLIB_FILETYPE_EDFPLUS, "V", 1.0, 320, 200000, 160}),
    [](const testing::TestParamInfo<EdfCase>& instance) { return std::string(instance.param.name); });
