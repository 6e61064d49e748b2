// The engine on real recordings, through the C interface as a host drives it:
// blocks pushed as a device delivers them, every due window processed after
// each push, both published queues drained as they fill.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/engine_settings.h"
#include "support/real_recordings.h"

namespace {

// Every call succeeds, each window adds as many records to one queue as to
// the other, and every published number is finite and in range.
void runRecording(const std::filesystem::path& csv, int leftColumn, int rightColumn, int rate, int window,
                  std::size_t block, std::vector<_MindData>& levels) {
    const std::vector<double> left = kalo_test::readVoltsChannel(csv, leftColumn);
    const std::vector<double> right = kalo_test::readVoltsChannel(csv, rightColumn);
    _OutStatus status{};
    const auto engine = kalo_test::createEngine(kalo_test::engineSettings(rate, window), &status);
    ASSERT_TRUE(engine) << status.error_msg;
    MathLib* e = engine.get();
    _SpectralDataPercents bands[200];
    for (std::size_t first = 0; first < left.size(); first += block) {
        std::vector<_RawChannels> pairs;
        for (std::size_t i = first; i < std::min(left.size(), first + block); ++i)
            pairs.push_back({left[i], right[i]});
        int32_t size = -1, spectra = -2;
        ASSERT_TRUE(MathLibPushData(e, pairs.data(), pairs.size(), &status) && MathLibProcessDataArr(e, &status) &&
                    MathLibReadMentalDataArrSize(e, &size, &status) &&
                    MathLibReadSpectralDataPercentsArrSize(e, &spectra, &status))
            << status.error_msg;
        ASSERT_EQ(size, spectra);
        levels.resize(levels.size() + std::size_t(size));
        ASSERT_TRUE(MathLibReadMentalDataArr(e, levels.data() + levels.size() - size, &size, &status) &&
                    MathLibReadSpectralDataPercentsArr(e, bands, &spectra, &status));
        for (const _SpectralDataPercents& b : std::vector(bands, bands + spectra))
            for (const double x : {b.delta, b.theta, b.alpha, b.beta, b.gamma})
                ASSERT_TRUE(std::isfinite(x) && x >= 0.0) << x;
    }
    for (const _MindData& m : levels) // relative levels are 0 without a calibration
        for (const double x : {m.rel_attention, m.rel_relaxation, m.inst_attention, m.inst_relaxation})
            ASSERT_TRUE(std::isfinite(x) && x >= 0.0 && x <= 100.0) << x;
}

// From the first estimate on: before it the engine publishes zeros while it
// starts up and gathers its first seconds of clean windows.
double meanRelaxation(const std::vector<_MindData>& levels) {
    auto m = std::find_if(levels.begin(), levels.end(), [](const _MindData& d) { return d.inst_relaxation > 0.0; });
    double sum = 0.0;
    for (auto it = m; it != levels.end(); ++it)
        sum += it->inst_relaxation;
    return m == levels.end() ? 0.0 : sum / double(levels.end() - m);
}

// One subject at rest, eyes open then closed: occipital alpha rises about
// fourfold with the eyes closed, and relaxation follows alpha. O1 and O2 are
// columns 60 and 62; blocks of 16 pairs are a tenth of a second at 160 Hz.
TEST(EngineRealRecording, RelaxationIsClearlyHigherWithEyesClosed) {
    const auto open = kalo_test::realRecording("S001R01.volts.csv");
    const auto closed = kalo_test::realRecording("S001R02_repaired60s.volts.csv");
    KALO_SKIP_WITHOUT_RECORDING(open, "S001R01.volts.csv");
    KALO_SKIP_WITHOUT_RECORDING(closed, "S001R02_repaired60s.volts.csv");
    std::vector<_MindData> eyesOpen, eyesClosed;
    runRecording(open, 60, 62, 160, 320, 16, eyesOpen);
    runRecording(closed, 60, 62, 160, 320, 16, eyesClosed);
    const double relaxationOpen = meanRelaxation(eyesOpen), relaxationClosed = meanRelaxation(eyesClosed);
    RecordProperty("mean_inst_relaxation_eyes_open", std::to_string(relaxationOpen));
    RecordProperty("mean_inst_relaxation_eyes_closed", std::to_string(relaxationClosed));
    EXPECT_GT(relaxationOpen, 0.0);
    EXPECT_GT(relaxationClosed, relaxationOpen + 5.0);
}

// 90 s at 250 Hz with DC offsets of tens of millivolts, mains, blinks and jaw
// clenches, on what is probably the occipital pair: at least one record per window.
TEST(EngineRealRecording, A250HzRecordingWithOffsetsMainsAndArtifactsPublishesOnlyNumbersInRange) {
    const char* name = "OpenBCI_GUI-v6-blinks-jawClench-alpha.volts.csv";
    const auto path = kalo_test::realRecording(name);
    KALO_SKIP_WITHOUT_RECORDING(path, name);
    std::vector<_MindData> levels;
    runRecording(path, 6, 7, 250, 500, 10, levels);
    EXPECT_GE(levels.size(), (22490u - 501u) / 10u);
}

} // namespace
