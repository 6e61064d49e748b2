// The GUI text files of open EEG boards, both layouts: channels named alike,
// microvolts read as volts, accelerometer and auxiliary columns kept apart
// from EEG, markers as events, and the wrapping packet counter's jumps
// reported as gaps (never filled); malformed files refused with a message.

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "host/channel_choice.h"
#include "host/error.h"
#include "host/open_recording.h"
#include "support/scratch_dir.h"

using namespace kalo::host;

namespace {

constexpr const char* kCurrentHeader =
    "%OpenBCI Raw EXG Data\n%Number of channels = 2\n%Sample Rate = 250 Hz\n%Board = OpenBCI_GUI$BoardCytonSerial\n"
    "Sample Index, EXG Channel 0, EXG Channel 1, Accel Channel 0, Accel Channel 1, Accel Channel 2, Not Used, "
    "Digital Channel 0 (D11), Timestamp, Marker Channel, Timestamp (Formatted)\n";

// A current-layout row for sample i (of the undropped sequence).
std::string currentRow(int i, int marker) {
    return fmt::format("{}, {:.2f}, {:.2f}, 0.040, 0.420, 0.238,0,1, {},{}, 12:00:53.329\r\n", i % 256, 0.5 * i,
                       -0.25 * i, 1557936053329 + 4 * i, marker);
}

} // namespace

TEST(BoardTextRecording, CurrentLayoutChannelsMarkersAndCounterGaps) {
    kalo_test::ScratchDir dir;
    // Packets 300-304 dropped, and 510-513, across the counter's wrap at 255.
    std::string text = kCurrentHeader;
    for (int i = 0; i < 600; ++i)
        if (!(i >= 300 && i < 305) && !(i >= 510 && i < 514))
            text += currentRow(i, i == 100 ? 3 : 0);
    dir.write("OpenBCI-RAW-current.txt", text);
    const auto r = openRecording((dir / "OpenBCI-RAW-current.txt").string(), {});

    EXPECT_EQ(r->format(), "Raw EXG text");
    const std::vector<std::tuple<std::string, bool, std::string>> expected = {
        {"EXG Channel 0", true, "uV"},  {"EXG Channel 1", true, "uV"},  {"Accel Channel 0", false, "g"},
        {"Accel Channel 1", false, "g"}, {"Accel Channel 2", false, "g"}, {"Digital Channel 0 (D11)", false, ""}};
    ASSERT_EQ(r->channels().size(), expected.size());
    for (std::size_t c = 0; c < expected.size(); ++c) {
        const ChannelInfo& info = r->channels()[c];
        EXPECT_EQ(info.name, std::get<0>(expected[c]));
        EXPECT_EQ(info.eeg, std::get<1>(expected[c])) << info.name;
        EXPECT_EQ(info.unit, std::get<2>(expected[c])) << info.name;
        EXPECT_EQ(info.problem.empty(), info.eeg) << info.name;
        EXPECT_EQ(info.rateHz, 250.0);
        EXPECT_EQ(info.sampleCount, 591);
    }
    ASSERT_EQ(r->gaps().size(), 2u);
    EXPECT_EQ(r->gaps()[0].afterSample, 299);
    EXPECT_EQ(r->gaps()[0].missingSamples, 5);
    EXPECT_DOUBLE_EQ(r->gaps()[0].atSec, 299 / 250.0);
    EXPECT_EQ(r->gaps()[1].afterSample, 504);
    EXPECT_EQ(r->gaps()[1].missingSamples, 4);
    EXPECT_DOUBLE_EQ(r->gaps()[1].atSec, 509 / 250.0); // on the recording's clock, earlier gaps included
    EXPECT_DOUBLE_EQ(r->gaps()[1].missingSec, 4 / 250.0);
    ASSERT_EQ(r->events().size(), 1u);
    EXPECT_EQ(r->events()[0].description, "marker 3");
    EXPECT_DOUBLE_EQ(r->events()[0].onsetSec, 100 / 250.0);

    // Microvolts to volts; the samples either side of a gap follow each other.
    const int both[] = {0, 1};
    double around[4];
    r->read(both, 299, 2, around);
    EXPECT_DOUBLE_EQ(around[0], 149.5 / 1e6);
    EXPECT_DOUBLE_EQ(around[1], -74.75 / 1e6);
    EXPECT_DOUBLE_EQ(around[2], 152.5 / 1e6);

    ChannelChoice accel;
    accel.left = "EXG Channel 0";
    accel.right = "accel channel 1";
    try {
        chooseChannels(*r, accel, OptionStyle::CommandLine);
        FAIL() << "an accelerometer axis was analysed";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("not an EEG channel"), std::string::npos) << e.what();
    }
}

TEST(BoardTextRecording, OlderLayoutIsNamedAsTheCurrentOne) {
    kalo_test::ScratchDir dir;
    std::string text = "%OpenBCI Raw EEG Data\n%Number of channels = 4\n%Sample Rate = 200.0 Hz\n"
                       "%First Column = SampleIndex\n%Last Column = Timestamp\n"
                       "%Other Columns = EEG data in microvolts followed by Accel Data (in G) interleaved with Aux "
                       "Data\n";
    for (int i = 0; i < 300; ++i)
        text += fmt::format("{}, {}, 2.0, 3.0, 4.0, 0.1, 0.2, 0.3, 12:00:{:06.3f}, {}\n", i % 256, i, i * 0.005,
                            1557936053329 + 5 * i);
    dir.write("older.txt", text);
    const auto r = openRecording((dir / "older.txt").string(), {});
    std::vector<std::string> names;
    for (const ChannelInfo& c : r->channels())
        names.push_back(c.name + (c.eeg ? "" : " (not EEG)"));
    EXPECT_EQ(names, (std::vector<std::string>{"EXG Channel 0", "EXG Channel 1", "EXG Channel 2", "EXG Channel 3",
                                               "Accel Channel 0 (not EEG)", "Accel Channel 1 (not EEG)",
                                               "Accel Channel 2 (not EEG)"}));
    EXPECT_EQ(r->channels()[0].rateHz, 200.0);
    EXPECT_EQ(r->channels()[0].sampleCount, 300);
    EXPECT_TRUE(r->gaps().empty()); // 255 -> 0 is the wrap, not a drop
    ChannelChoice pair;
    pair.left = "exg channel 0";
    pair.right = "EXG Channel 3";
    EXPECT_EQ(chooseChannels(*r, pair, OptionStyle::CommandLine).rateHz, 200);
    const int first[] = {0};
    double v = 0;
    r->read(first, 299, 1, &v);
    EXPECT_DOUBLE_EQ(v, 299 / 1e6);
}

TEST(BoardTextRecording, TheCounterWrapsAt255OrAt200WithTheDaisyBoard) {
    struct Case {
        const char* board;
        std::vector<int> counter;
        std::vector<std::pair<std::int64_t, std::int64_t>> gaps; // after sample, missing
    };
    const Case cases[] = {
        {"BoardCytonSerial", {253, 254, 255, 0, 1}, {}},
        {"BoardCytonSerial", {254, 255, 2, 3}, {{1, 2}}},
        {"BoardCytonSerialDaisy", {199, 200, 0, 1}, {}},
        {"BoardCytonSerialDaisy", {198, 199, 1, 2}, {{1, 2}}},
        {"BoardCytonSerial", {7, 7}, {{0, 255}}}, // a whole turn, less one
    };
    kalo_test::ScratchDir dir;
    for (const Case& c : cases) {
        std::string text = fmt::format("%OpenBCI Raw EXG Data\n%Sample Rate = 125 Hz\n%Board = OpenBCI_GUI${}\n"
                                       "Sample Index, EXG Channel 0\n",
                                       c.board);
        for (const int n : c.counter)
            text += fmt::format("{}, 1.0\n", n);
        dir.write("wrap.txt", text);
        const auto r = openRecording((dir / "wrap.txt").string(), {});
        std::vector<std::pair<std::int64_t, std::int64_t>> gaps;
        for (const Gap& g : r->gaps())
            gaps.emplace_back(g.afterSample, g.missingSamples);
        EXPECT_EQ(gaps, c.gaps) << c.board << " from " << c.counter.front();
    }
}

TEST(BoardTextRecording, MalformedFilesAreRefusedWithTheReason) {
    const std::string head = "%OpenBCI Raw EXG Data\n%Sample Rate = 250 Hz\nSample Index, EXG Channel 0\n";
    const std::pair<std::string, std::string> cases[] = {
        {head, "no samples"},
        {head + "0, 1.0\n1, 2.0, 3.0\n", "line 5 has 3 cells"},
        {head + "0, abc\n", "\"abc\" is not a number"},
        {head + "0, nan\n", "is not a number"},
        {head + "300, 1.0\n", "not a packet counter"},
        {"%OpenBCI Raw EXG Data\nSample Index, EXG Channel 0\n0, 1\n", "--rate"},
        {"%OpenBCI Raw EXG Data\n%Sample Rate = fast\n", "not a sampling rate"},
        {"%OpenBCI Raw EXG Data\n%Sample Rate = 250 Hz\nEXG Channel 0\n0\n", "no \"Sample Index\""},
        {"%OpenBCI Raw EXG Data\n%Sample Rate = 250 Hz\nSample Index, Accel Channel 0\n0, 1\n", "no \"EXG Channel\""},
        {"%OpenBCI Raw EEG Data\n%Sample Rate = 250 Hz\n0, 1.0, 2.0\n", "Number of channels"},
        {"%OpenBCI Raw EEG Data\n%Number of channels = 8\n%Sample Rate = 250 Hz\n0, 1.0, 2.0\n", "fewer than"},
    };
    kalo_test::ScratchDir dir;
    for (const auto& [text, reason] : cases) {
        dir.write("bad.txt", text);
        try {
            openRecording((dir / "bad.txt").string(), {});
            ADD_FAILURE() << "accepted: " << text;
        } catch (const Error& e) {
            EXPECT_EQ(e.kind, ErrorKind::BadRecording) << e.what();
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
}
