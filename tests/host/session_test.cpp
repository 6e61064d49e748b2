// The driver: whatever way the samples arrive (a recording read in blocks, a
// caller's arrays of any length, one frame at a time), the engine sees the
// same pushes of one window step and publishes the same rows, and those are
// the records of the engine driven step by step through its C interface.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "host/analyze_recording.h"
#include "host/error.h"
#include "host/analysis_run.h"
#include "support/eeg_signals.h"

using namespace kalo::host;

namespace {

constexpr int kRate = 250;

std::unique_ptr<MemoryRecording> threeChannels(int seconds) {
    auto recording = std::make_unique<MemoryRecording>("three", "synthetic");
    const int n = seconds * kRate + 4; // the last push is 4 samples, shorter than a step
    recording->addChannel({"a", "V", kRate, 0, true, {}}, kalo_test::eegLike(n, kRate, 1, 25.0));
    recording->addChannel({"b", "V", kRate, 0, true, {}}, kalo_test::eegLike(n, kRate, 2, 5.0, 20.0));
    std::vector<double> c = kalo_test::eegLike(n, kRate, 3, 10.0);
    for (int i = 4000; i < 4100; ++i)
        c[static_cast<std::size_t>(i)] += 300e-6; // a step that the detectors flag
    recording->addChannel({"c", "V", kRate, 0, true, {}}, std::move(c));
    return recording;
}

bool sameBits(const Row& a, const Row& b) {
    return std::memcmp(&a.mind, &b.mind, sizeof a.mind) == 0 && std::memcmp(&a.bands, &b.bands, sizeof a.bands) == 0 &&
           std::memcmp(&a.raw, &b.raw, sizeof a.raw) == 0 && a.timeSec == b.timeSec &&
           a.calibrationPercent == b.calibrationPercent && a.bothSidesArtifacted == b.bothSidesArtifacted &&
           a.artifactedSequence == b.artifactedSequence && a.events == b.events;
}

void expectSameRows(const std::vector<Row>& got, const std::vector<Row>& expected, const std::string& how) {
    ASSERT_EQ(got.size(), expected.size()) << how;
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_TRUE(sameBits(got[i], expected[i])) << how << ": row " << i << " at " << expected[i].timeSec;
}

// The engine driven by hand: push one step, process, drain, as a live host
// does, calibration at the first step boundary at or after `calibrateAtSec`.
std::vector<Row> byHand(MemoryRecording& recording, const std::vector<int>& columns, bool bipolar, int analysed,
                        double calibrateAtSec) {
    _MathLibSetting m = MathLibSettingDefault;
    m.sampling_rate = kRate;
    m.fft_window = 2 * kRate;
    m.bipolar_mode = bipolar;
    m.channels_number = static_cast<int32_t>(columns.size());
    m.channel_for_analysis = analysed;
    _OutStatus s{};
    MathLib* e = createMathLib(m, ArtifactDetectSettingDefault, ShortArtifactDetectSettingDefault,
                               MentalAndSpectralSettingDefault, &s);
    const std::int64_t total = recording.channels()[0].sampleCount;
    const std::int64_t step = kRate / m.process_win_freq;
    const auto calibrationSample = static_cast<std::int64_t>(std::ceil(calibrateAtSec * kRate));
    bool calibrated = false;
    std::vector<Row> rows;
    std::vector<double> frames;
    for (std::int64_t pushed = 0; pushed < total;) {
        if (!calibrated && pushed >= calibrationSample) {
            MathLibStartCalibration(e, &s);
            calibrated = true;
        }
        const std::int64_t count = std::min(step, total - pushed);
        frames.resize(static_cast<std::size_t>(count) * columns.size());
        recording.read(columns, pushed, count, frames.data());
        if (bipolar) {
            std::vector<_RawChannels> pairs(static_cast<std::size_t>(count));
            for (std::size_t i = 0; i < pairs.size(); ++i)
                pairs[i] = {frames[2 * i], frames[2 * i + 1]};
            EXPECT_TRUE(MathLibPushData(e, pairs.data(), pairs.size(), &s));
        } else {
            std::vector<_RawChannelsArray> arrays(static_cast<std::size_t>(count));
            for (std::size_t i = 0; i < arrays.size(); ++i)
                arrays[i].channels = frames.data() + i * columns.size();
            EXPECT_TRUE(MathLibPushDataArr(e, arrays.data(), arrays.size(), &s));
        }
        pushed += count;
        MathLibProcessDataArr(e, &s);
        _SpectralDataPercents spectra[200];
        _MindData minds[150];
        int32_t n = 200, k = 150;
        MathLibReadSpectralDataPercentsArr(e, spectra, &n, &s);
        MathLibReadMentalDataArr(e, minds, &k, &s);
        EXPECT_EQ(n, k);
        Row row;
        row.timeSec = static_cast<double>(pushed) / kRate;
        int32_t percent = 0;
        MathLibReadRawSpectralVals(e, &row.raw, &s);
        MathLibGetCallibrationPercents(e, &percent, &s);
        MathLibIsBothSidesArtifacted(e, &row.bothSidesArtifacted, &s);
        MathLibIsArtifactedSequence(e, &row.artifactedSequence, &s);
        row.calibrationPercent = percent;
        for (int32_t i = 0; i < n; ++i) {
            row.bands = spectra[i];
            row.mind = minds[i];
            rows.push_back(row);
        }
    }
    freeMathLib(e, &s);
    return rows;
}

std::vector<Row> blockEntry(MemoryRecording& recording, const Options& options, std::int64_t framesPerPush) {
    const std::vector<std::string> names = {"a", "b", "c"};
    AnalysisRun run(options, "three", kRate, names);
    const std::int64_t total = recording.channels()[0].sampleCount;
    std::vector<double> frames;
    const std::vector<int> all = {0, 1, 2};
    for (std::int64_t first = 0; first < total; first += framesPerPush) {
        const std::int64_t count = std::min(framesPerPush, total - first);
        frames.resize(static_cast<std::size_t>(count) * 3);
        recording.read(all, first, count, frames.data());
        run.push(frames.data(), static_cast<std::size_t>(count));
    }
    run.finish();
    return run.take(run.waiting());
}

} // namespace

TEST(Session, EveryWayOfArrivingGivesTheRecordsOfTheEngineDrivenStepByStep) {
    const struct {
        const char* name;
        std::vector<std::pair<const char*, const char*>> options;
        std::vector<int> columns;
        bool bipolar;
        int analysed;
        double calibrateAtSec;
    } cases[] = {
        {"bipolar pair, calibration at 0", {{"left", "c"}, {"right", "a"}}, {2, 0}, true, 0, 0.0},
        {"multichannel, second analysed, calibration at 3.1 s",
         {{"channels", "b,a,c"}, {"analysis_channel", "A"}, {"calibrate_at", "3.1"}},
         {1, 0, 2},
         false,
         1,
         3.1},
    };
    for (const auto& c : cases) {
        auto recording = threeChannels(31);
        Options options;
        for (const auto& [key, value] : c.options)
            options.set(key, value);
        const std::vector<Row> expected = byHand(*recording, c.columns, c.bipolar, c.analysed, c.calibrateAtSec);
        ASSERT_GT(expected.size(), 700u) << c.name;

        std::vector<Row> fromRecording;
        const Summary summary =
            analyseRecording(*recording, options, [&](const Row& row) { fromRecording.push_back(row); });
        expectSameRows(fromRecording, expected, std::string(c.name) + ", whole recording");
        EXPECT_EQ(summary.windows, static_cast<int>(expected.size()));
        for (const std::int64_t framesPerPush : {std::int64_t{1}, std::int64_t{7}, std::int64_t{1 << 20}})
            expectSameRows(blockEntry(*recording, options, framesPerPush), expected,
                           std::string(c.name) + ", pushes of " + std::to_string(framesPerPush));
    }
}

TEST(Session, TheLastShortStepIsPushedAtTheEndAndRowsCarryTheirEvents) {
    auto recording = std::make_unique<MemoryRecording>("short", "synthetic");
    const int n = 20 * kRate + 3; // 3 samples after the last whole step
    recording->addChannel({"L", "V", kRate, 0, true, {}}, kalo_test::eegLike(n, kRate, 4));
    recording->addChannel({"R", "V", kRate, 0, true, {}}, kalo_test::eegLike(n, kRate, 5));
    recording->addEvent({12.0, 3.0, "eyes closed"});
    recording->addEvent({14.5, 0.0, "beep"});
    std::vector<Row> rows;
    analyseRecording(*recording, Options{}, [&](const Row& row) { rows.push_back(row); });
    ASSERT_FALSE(rows.empty());
    EXPECT_DOUBLE_EQ(rows.back().timeSec, static_cast<double>(n) / kRate);
    for (const Row& r : rows) {
        EXPECT_NEAR(r.windowStartSec, r.timeSec - 2.0, 1e-12);
        const bool closed = r.windowStartSec < 15.0 && r.timeSec > 12.0;
        const bool beep = r.windowStartSec <= 14.5 && 14.5 < r.timeSec;
        const std::string expected = std::string(closed ? "eyes closed" : "") + (closed && beep ? ";" : "") +
                                     (beep ? "beep" : "");
        EXPECT_EQ(r.events, expected) << "at " << r.timeSec;
    }
}

TEST(Session, RefusesWhatCannotBeAnalysedAndStopsAtTheFirstError) {
    const std::vector<std::string> names = {"L", "R"};
    try {
        AnalysisRun slow(Options{}, "slow", 40, names);
        FAIL() << "a 40 Hz engine was created";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind, ErrorKind::BadRecording);
        EXPECT_NE(std::string(e.what()).find("40 Hz is outside the 50"), std::string::npos) << e.what();
    }

    AnalysisRun run(Options{}, "pair", kRate, names);
    std::vector<double> frames(2 * 500, 1e-5);
    run.push(frames.data(), 500);
    EXPECT_THROW(run.addEvent({1.0, 1.0, "late"}), Error);
    frames[2 * 300 + 1] = std::nan("");
    EXPECT_THROW(run.push(frames.data(), 500), Error);
    // The engine refused a block: nothing more is taken, and no summary
    // pretends the run was complete.
    EXPECT_THROW(run.push(frames.data(), 1), Error);
    EXPECT_THROW(run.finish(), Error);
    EXPECT_THROW(run.summary(), Error);
}

TEST(Session, CalibrateNowStartsAtTheNextStepAndAgainLater) {
    auto recording = threeChannels(40);
    Options options;
    options.set("left", "a");
    options.set("right", "b");
    options.set("calibrate_at", "never");
    AnalysisRun run(options, "three", kRate, {"a", "b", "c"});
    std::vector<double> frames(3 * 40 * kRate);
    const std::vector<int> all = {0, 1, 2};
    recording->read(all, 0, 40 * kRate, frames.data());
    const auto pushSeconds = [&](int from, int to) {
        run.push(frames.data() + 3 * from * kRate, static_cast<std::size_t>((to - from) * kRate));
    };
    pushSeconds(0, 10);
    run.startCalibration();
    pushSeconds(10, 25);
    std::vector<Row> first = run.take(run.waiting());
    run.startCalibration();
    pushSeconds(25, 40);
    run.finish();
    std::vector<Row> second = run.take(run.waiting());

    const auto finishedAt = [](const std::vector<Row>& rows, double after) {
        for (const Row& r : rows)
            if (r.timeSec > after && r.calibrationPercent == 100)
                return r.timeSec;
        return -1.0;
    };
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.front().calibrationPercent, 0);
    const double firstEnd = finishedAt(first, 10.0);
    EXPECT_GE(firstEnd, 18.0); // 8 s of clean windows at the least
    // The second calibration starts from 0 again and reaches 100 later.
    EXPECT_LT(second.front().calibrationPercent, 100);
    const double secondEnd = finishedAt(second, 25.0);
    EXPECT_GE(secondEnd, 33.0);
    EXPECT_DOUBLE_EQ(*run.summary().calibrationStartSec, 25.0);
    EXPECT_DOUBLE_EQ(*run.summary().calibrationEndSec, secondEnd);
}
