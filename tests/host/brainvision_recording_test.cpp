// BrainVision recordings in every variant the reader takes (both header
// versions, INT_16 / INT_32 / IEEE_FLOAT_32 / ASCII, multiplexed and
// vectorized, UTF-8 and Latin-1): the same volts, names and events from
// each; malformed headers refused with the reason.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include <fmt/format.h>

#include "host/error.h"
#include "host/open_recording.h"
#include "support/scratch_dir.h"

using namespace kalo::host;

namespace {

constexpr int kSamples = 100;

// Counts of the two channels at sample i; volts are these times the resolutions.
double count(int channel, int i) { return channel == 0 ? i - 50 : 3 * i; }
constexpr double kResolution[] = {0.5, 0.1};

struct Variant {
    const char* name;
    bool version2;
    bool utf8;
    const char* format; // INT_16, INT_32, IEEE_FLOAT_32 or ASCII
    bool vectorized;
};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }

template <typename T>
void put(std::string& bytes, T value) {
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    bytes.append(raw, sizeof(T));
}

std::string dataFor(const Variant& v) {
    std::string out;
    const auto value = [&](int c, int i) {
        const std::string f = v.format;
        if (f == "INT_16")
            put(out, static_cast<std::int16_t>(count(c, i)));
        else if (f == "INT_32")
            put(out, static_cast<std::int32_t>(count(c, i)));
        else if (f == "IEEE_FLOAT_32")
            put(out, static_cast<float>(count(c, i)));
        else
            out += fmt::format("{} ", count(c, i));
    };
    const bool ascii = std::string(v.format) == "ASCII";
    if (v.vectorized) {
        for (int c = 0; c < 2; ++c) {
            if (ascii)
                out += c == 0 ? "Fp1 " : "Cz ";
            for (int i = 0; i < kSamples; ++i)
                value(c, i);
            if (ascii)
                out += "\n";
        }
    } else {
        for (int i = 0; i < kSamples; ++i) {
            value(0, i);
            value(1, i);
            if (ascii)
                out += "\r\n";
        }
    }
    return out;
}

void writeRecording(const kalo_test::ScratchDir& dir, const Variant& v) {
    const std::string micro = v.utf8 ? "\xC2\xB5V" : "\xB5V";
    const std::string name = v.utf8 ? "Fp\xC3\xA4" : "Fp\xE4"; // "Fpä"
    const bool ascii = std::string(v.format) == "ASCII";
    std::string header = v.version2 ? "BrainVision Data Exchange Header File Version 2.0\n"
                                    : "Brain Vision Data Exchange Header File Version 1.0\n";
    header += "; written by the test\n\n[Common Infos]\n";
    header += v.utf8 ? "Codepage=UTF-8\n" : "";
    header += fmt::format("DataFile=rec.eeg\nMarkerFile=rec.vmrk\nDataFormat={}\nDataOrientation={}\n"
                          "NumberOfChannels=2\nSamplingInterval=4000\n\n",
                          ascii ? "ASCII" : "BINARY", v.vectorized ? "VECTORIZED" : "MULTIPLEXED");
    header += ascii ? "[ASCII Infos]\nDecimalSymbol=.\nSkipLines=0\nSkipColumns=0\n\n"
                    : fmt::format("[Binary Infos]\nBinaryFormat={}\n\n", v.format);
    header += "[Channel Infos]\n; Ch<n>=<name>,<reference>,<resolution>,<unit>\n";
    // Version 1 files often state no unit: microvolts.
    header += v.version2 ? fmt::format("Ch1={},,0.5,{}\nCh2=C\\1z,,0.1,{}\n", name, micro, micro)
                         : fmt::format("Ch1={},,0.5\nCh2=C\\1z,,0.1\n", name);
    header += "\n[Comment]\nA m p l i f i e r  S e t u p\nNumber of channels: 2\n";
    dir.write("rec.vhdr", header);
    std::ofstream(dir / "rec.eeg", std::ios::binary) << dataFor(v);
    std::string markers = "Brain Vision Data Exchange Marker File, Version 1.0\n\n[Common Infos]\n";
    markers += v.utf8 ? "Codepage=UTF-8\n" : "";
    markers += "DataFile=rec.eeg\n\n[Marker Infos]\nMk1=New Segment,,1,1,0,20200101120000000000\n"
               "Mk2=Stimulus,S  1,51,1,0\nMk3=Comment,eyes\\1closed,81,20,0\n";
    dir.write("rec.vmrk", markers);
}

class BrainVision : public testing::TestWithParam<Variant> {};

} // namespace

TEST_P(BrainVision, EveryVariantGivesTheSameVoltsNamesAndEvents) {
    const Variant& v = GetParam();
    kalo_test::ScratchDir dir;
    writeRecording(dir, v);
    const auto r = openRecording((dir / "rec.vhdr").string(), {});

    ASSERT_EQ(r->channels().size(), 2u);
    EXPECT_EQ(r->channels()[0].name, "Fp\xC3\xA4"); // UTF-8 whatever the file's codepage
    EXPECT_EQ(r->channels()[1].name, "C,z");
    for (const ChannelInfo& c : r->channels()) {
        EXPECT_EQ(c.rateHz, 250.0);
        EXPECT_EQ(c.sampleCount, kSamples);
        EXPECT_TRUE(c.problem.empty()) << c.problem;
    }
    std::vector<double> frames(2 * kSamples);
    const int both[] = {0, 1};
    r->read(both, 0, kSamples, frames.data());
    for (int i = 0; i < kSamples; ++i)
        for (int c = 0; c < 2; ++c)
            ASSERT_DOUBLE_EQ(frames[2 * i + c], count(c, i) * kResolution[c] * 1e-6) << "sample " << i << ", " << c;
    // A part read from the middle, the second channel alone.
    const int second[] = {1};
    double mid[3];
    r->read(second, 40, 3, mid);
    EXPECT_DOUBLE_EQ(mid[2], count(1, 42) * kResolution[1] * 1e-6);

    ASSERT_EQ(r->events().size(), 3u);
    EXPECT_EQ(r->events()[0].description, "New Segment");
    EXPECT_EQ(r->events()[1].description, "Stimulus/S  1");
    EXPECT_DOUBLE_EQ(r->events()[1].onsetSec, 0.2);
    EXPECT_EQ(r->events()[2].description, "Comment/eyes,closed");
    EXPECT_DOUBLE_EQ(r->events()[2].durationSec, 0.08);
    EXPECT_EQ(r->notes().empty(), v.version2);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, BrainVision,
    testing::Values(Variant{"V1Int16Multiplexed", false, false, "INT_16", false},
                    Variant{"V2Int32MultiplexedUtf8", true, true, "INT_32", false},
                    Variant{"V2Float32VectorizedLatin1", true, false, "IEEE_FLOAT_32", true},
                    Variant{"V2Int16VectorizedUtf8", true, true, "INT_16", true},
                    Variant{"V2AsciiMultiplexed", true, true, "ASCII", false},
                    Variant{"V1AsciiVectorizedLatin1", false, false, "ASCII", true}),
    [](const testing::TestParamInfo<Variant>& instance) { return std::string(instance.param.name); });

TEST(BrainVisionMalformed, HeadersAndDataFilesThatCannotBeReadAreRefusedWithTheReason) {
    const std::string good = "BrainVision Data Exchange Header File Version 2.0\n[Common Infos]\nDataFile=rec.eeg\n"
                             "DataFormat=BINARY\nDataOrientation=MULTIPLEXED\nNumberOfChannels=1\n"
                             "SamplingInterval=4000\n[Binary Infos]\nBinaryFormat=INT_16\n[Channel Infos]\n"
                             "Ch1=Cz,,1,uV\n";
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"Some other file\n", "not a BrainVision header"},
        {replaced("NumberOfChannels=1\n", ""), "gives no numberofchannels"},
        {replaced("NumberOfChannels=1", "NumberOfChannels=2"), "describes 1"},
        {replaced("INT_16", "INT_64"), "INT_64 is not"},
        {replaced("SamplingInterval=4000", "SamplingInterval=0"), "not a time"},
        {replaced("Ch1=Cz,,1,uV\n", "Ch1=Cz,,1,uV\nthis line is no entry\n"), "is not key=value"},
        {replaced("Ch1=", "Ch3="), "lacks entry ch1"},
        {replaced("Ch1=Cz,,1,uV", "Ch1=Cz,,abc,uV"), "resolution"},
        {replaced("MULTIPLEXED", "SIDEWAYS"), "neither MULTIPLEXED"},
        {replaced("DataFile=rec.eeg", "DataFile=absent.eeg"), "absent.eeg"},
        {replaced("[Channel Infos]", "[Channel Infos"), "without \"]\""},
        {replaced("MULTIPLEXED", "VECTORIZED") + "; the data has 3 bytes\n", "not a whole number"},
    };
    kalo_test::ScratchDir dir;
    std::ofstream(dir / "rec.eeg", std::ios::binary) << std::string("\x01\x00\x02", 3);
    for (const auto& [text, reason] : cases) {
        dir.write("bad.vhdr", text);
        try {
            openRecording((dir / "bad.vhdr").string(), {});
            ADD_FAILURE() << "accepted:\n" << text;
        } catch (const Error& e) {
            EXPECT_EQ(e.kind, ErrorKind::BadRecording) << e.what();
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
    // A unit that is no voltage is read, and refused only when chosen.
    dir.write("ohm.vhdr", replaced("uV", "Ohm"));
    EXPECT_NE(openRecording((dir / "ohm.vhdr").string(), {})->channels()[0].problem.find("not a voltage"),
              std::string::npos);
}
