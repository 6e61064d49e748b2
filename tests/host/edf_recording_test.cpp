// An EDF+/BDF+ file written here with EDFlib, in several units and record
// lengths, reads back with its rate, its channel names, its annotations as
// events and its samples in volts, whichever blocks they are read in.

#include <gtest/gtest.h>

#include <edflib.h>

#include <cmath>

#include "host/channel_choice.h"
#include "host/error.h"
#include "host/open_recording.h"
#include "support/scratch_dir.h"

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
    ASSERT_EQ(edfwrite_annotation_utf8(handle, 15000, 20000, "eyes closed"), 0);
    ASSERT_EQ(edfwrite_annotation_utf8(handle, 32500, -1, "T1"), 0);
    ASSERT_EQ(edfclose_file(handle), 0);

    using namespace kalo::host;
    const auto recording = openRecording(path, {});
    ASSERT_EQ(recording->channels().size(), 3u);
    EXPECT_EQ(recording->channels()[0].name, "O1..");
    EXPECT_EQ(recording->channels()[1].name, "Cz");
    EXPECT_TRUE(recording->channels()[0].problem.empty());
    EXPECT_FALSE(recording->channels()[2].problem.empty()); // milliamperes are no voltage
    ASSERT_EQ(recording->events().size(), 2u);
    EXPECT_DOUBLE_EQ(recording->events()[0].onsetSec, 1.5);
    EXPECT_DOUBLE_EQ(recording->events()[0].durationSec, 2.0);
    EXPECT_EQ(recording->events()[0].description, "eyes closed");
    EXPECT_DOUBLE_EQ(recording->events()[1].onsetSec, 3.25);
    EXPECT_DOUBLE_EQ(recording->events()[1].durationSec, 0.0);

    const EngineInput input = chooseChannels(*recording, {"o1", "CZ", {}, {}}, OptionStyle::CommandLine);
    EXPECT_EQ(input.rateHz, c.rateHz);
    EXPECT_TRUE(input.selection.bipolar);
    ASSERT_EQ(input.sampleCount, records * c.samplesPerRecord);
    // One quantisation step of the file's resolution.
    const double step = 2 * 200e-6 / (2.0 * digitalMax + 1);
    const auto n = static_cast<std::size_t>(input.sampleCount);
    std::vector<double> whole(2 * n);
    recording->read(input.selection.columns, 0, input.sampleCount, whole.data());
    for (int s = 0; s < 2; ++s)
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_NEAR(whole[i * 2 + static_cast<std::size_t>(s)], sampleVolts(s, static_cast<int>(i)), step)
                << "channel " << s << ", sample " << i;
    // Blocks that straddle the file's records give the same bits.
    const int order[] = {1, 0};
    for (std::int64_t first = 0; first < input.sampleCount; first += 37) {
        const std::int64_t count = std::min<std::int64_t>(37, input.sampleCount - first);
        std::vector<double> block(static_cast<std::size_t>(2 * count));
        recording->read(order, first, count, block.data());
        for (std::int64_t i = 0; i < count; ++i) {
            const auto at = static_cast<std::size_t>(first + i);
            ASSERT_EQ(block[static_cast<std::size_t>(2 * i)], whole[2 * at + 1]);
            ASSERT_EQ(block[static_cast<std::size_t>(2 * i + 1)], whole[2 * at]);
        }
    }
    const int beyond[] = {0};
    std::vector<double> spare(2);
    EXPECT_THROW(recording->read(beyond, input.sampleCount - 1, 2, spare.data()), Error);
    EXPECT_THROW(chooseChannels(*recording, {"O1", "EMG", {}, {}}, OptionStyle::CommandLine), Error);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EdfRoundTrip,
    testing::Values(EdfCase{"EdfMicrovoltsOneSecondRecords", EDFLIB_FILETYPE_EDFPLUS, "uV", 1e6, 250, 100000, 250},
                    EdfCase{"BdfMillivoltsHalfSecondRecords", EDFLIB_FILETYPE_BDFPLUS, "mV", 1e3, 128, 50000, 256},
                    EdfCase{"EdfVoltsTwoSecondRecords", EDFLIB_FILETYPE_EDFPLUS, "V", 1.0, 320, 200000, 160}),
    [](const testing::TestParamInfo<EdfCase>& instance) { return std::string(instance.param.name); });
