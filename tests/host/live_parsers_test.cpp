// The live stream parsers: every shape a sender may produce, good or not.
// A piece that holds no samples must be refused whole (so it is counted),
// and the samples of a good one must be exactly the values sent, in volts.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "host/live_latency.h"
#include "host/live_parsers.h"

using namespace kalo::host;

TEST(LiveParsers, DatagramsOfTheGuiShapeAreReadAndEveryOtherShapeRefused) {
    struct Case {
        const char* text;
        int channels; // 0: refused
        std::vector<double> microvolts;
    };
    const Case cases[] = {
        {R"({"type":"timeSeriesRaw","data":[[1.5,-2.25],[3.125,4.0]]})"
         "\r\n",
         2, {1.5, 3.125, -2.25, 4.0}},
        {R"({"type":"timeSeriesFiltered","data":[[-0.001]]})", 1, {-0.001}},
        {R"({"data":[[1,2,3],[4,5,6],[7,8,9]],"type":"timeSeriesRaw"})", 3, {1, 4, 7, 2, 5, 8, 3, 6, 9}},
        {R"({"type":"fft","data":[[1,2]]})", 0, {}},
        {R"({"type":"timeSeriesRaw","data":[[1,2],[3]]})", 0, {}},
        {R"({"type":"timeSeriesRaw","data":[[1,"x"]]})", 0, {}},
        {R"({"type":"timeSeriesRaw","data":[]})", 0, {}},
        {R"({"type":"timeSeriesRaw","data":[[]]})", 0, {}},
        {R"({"type":"timeSeriesRaw","data":[1,2]})", 0, {}},
        {R"({"type":"timeSeriesRaw","data":[[1,2]])", 0, {}},
        {"", 0, {}},
        {"[1,2,3]", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string why;
        const auto frames = parseSampleDatagram(c.text, &why);
        if (c.channels == 0) {
            EXPECT_FALSE(frames.has_value());
            EXPECT_FALSE(why.empty());
            continue;
        }
        ASSERT_TRUE(frames.has_value()) << why;
        EXPECT_EQ(frames->channels, c.channels);
        ASSERT_EQ(frames->volts.size(), c.microvolts.size());
        for (std::size_t i = 0; i < c.microvolts.size(); ++i)
            EXPECT_EQ(frames->volts[i], c.microvolts[i] / 1e6) << "value " << i; // as the CSV reader converts
    }
}

TEST(LiveParsers, SampleLinesNeedEveryCellAFiniteNumber) {
    struct Case {
        const char* line;
        std::vector<double> values; // empty: refused
    };
    const Case cases[] = {
        {"1.5,-2", {1.5, -2}},
        {" 1e-3 ,\t+4\r", {1e-3, 4}},
        {"1,2,3", {}},
        {"1", {}},
        {"1,", {}},
        {"1,abc", {}},
        {"1,nan", {}},
        {"1,inf", {}},
        {"1,2x", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto values = parseSampleLine(c.line, 2, 1000.0); // millivolts
        if (c.values.empty()) {
            EXPECT_FALSE(values.has_value());
            continue;
        }
        ASSERT_TRUE(values.has_value());
        ASSERT_EQ(values->size(), 2u);
        for (std::size_t i = 0; i < 2; ++i)
            EXPECT_EQ((*values)[i], c.values[i] / 1000.0);
    }
}

TEST(LiveParsers, Float32FramesAreCompletedAcrossPiecesAndNonFiniteOnesDropped) {
    const float values[] = {1.0f, -2.5f, std::numeric_limits<float>::quiet_NaN(), 3.0f, 0.25f, 8.0f, 9.0f};
    char bytes[sizeof values];
    std::memcpy(bytes, values, sizeof values);
    Float32Frames parser(2, 1.0);
    std::vector<double> got;
    // Pieces cut inside values and inside frames.
    std::size_t from = 0;
    for (const std::size_t cut : {std::size_t{3}, std::size_t{6}, std::size_t{13}, std::size_t{20}, sizeof bytes}) {
        const Frames f = parser.add(bytes + from, cut - from);
        EXPECT_EQ(f.volts.size() % 2, 0u);
        got.insert(got.end(), f.volts.begin(), f.volts.end());
        from = cut;
    }
    EXPECT_EQ(got, (std::vector<double>{1.0, -2.5, 0.25, 8.0}));
    EXPECT_EQ(parser.refused(), 1u);
    EXPECT_EQ(parser.pending(), sizeof(float)); // half a frame at the end
}

TEST(LiveParsers, LatencyPercentilesAreNearestRank) {
    LatencyRecord latency;
    EXPECT_EQ(latency.percentile(99), 0.0);
    for (int i = 100; i >= 1; --i)
        latency.add(i * 0.5);
    EXPECT_EQ(latency.percentile(50), 25.0f);
    EXPECT_EQ(latency.percentile(99), 49.5f);
    EXPECT_EQ(latency.max(), 50.0f);
}
