// The per-window driver: which detectors judge a window (a detector's position
// advances once per judgement), the side or channel analysed, the records.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "artifacts/artifacts_math.h"
#include "support/eeg_signals.h"
#include "support/engine_drive.h"

namespace {

using namespace kalo_test;
constexpr int rate = 250; // 25 windows per second, 10 samples apart

auto inside(_ArtifactsMath* d) { return reinterpret_cast<OviMath::Artifacts::ArtifactsMath*>(d); }
int judged(_ArtifactsMath* d) { return inside(d)->position(); }
std::string times(int n, const std::string& text) { return n > 0 ? text + times(n - 1, text) : ""; }

TEST(WindowDriver, StartUpPriorityPolicySkipPeriodAndArtifactFlagsFollowEveryWindow) {
    // Left 12 Hz (alpha), right 27 Hz (gamma): a computed record shows its side.
    const std::vector<double> left = withTone(eegLike(4000, rate, 1, 0.0), rate, 12.0, 20.0);
    const std::vector<double> right = withTone(eegLike(4000, rate, 2, 0.0), rate, 27.0, 20.0);
    // Windows: verdicts "<left><right>", 'a' artifacted. Seen: the detectors
    // asked / the records appended ('=' a repeat, L or R computed from that
    // side), '!' once the artifacted run exceeds 4 s x 25 windows.
    const std::string run = times(100, "LR/= ") + "LR/=! LR/=! ";
    const struct { _SideType priority; int skip; std::string windows, seen; } scripts[] = {
        {LEFT, 10, "cc ac cc ", "L/L LR/R L/L "},
        {RIGHT, 10, "cc ca cc ", "R/R LR/L R/R "},
        {NONE, 10, "cc ac cc cc ca cc ", "LR/L LR/R LR/R LR/R LR/L LR/L "}, // stays on a side while it is clean
        {NONE, 10, "aa " + times(12, "cc "), times(11, "LR/= ") + "LR/=L LR/L "},
        {NONE, 0, "aa cc cc ", "LR/= LR/=L LR/L "},
        {LEFT, 1, "aa cc aa cc cc cc ", "LR/= L/= LR/= L/= L/=L L/L "}, // an artifact restarts the skip period
        {LEFT, 0, times(102, "aa ") + "ac ", run + "LR/=R "},
        {RIGHT, 0, times(102, "aa ") + "ca ", run + "LR/=L "},
        {NONE, 0, times(102, "aa ") + "ca ", run + "LR/=L "},
    };
    for (const auto& s : scripts) {
        const EngineSettings settings = engineSettings(rate, 259, true); // windows due at 260, 270, ... samples
        const auto engine = makeEngine(settings);
        std::vector<_SpectralDataPercents> sink(200);
        std::size_t next = 0;
        const auto pushAndDrain = [&](std::size_t samples) {
            for (samples += next; next < samples; ++next) {
                const _RawChannels pair{left[next], right[next]};
                engine->pushData(&pair, 1);
                engine->processDataArr();
            }
            int count = static_cast<int>(sink.size());
            engine->readSpectralDataPercentsArr(sink.data(), count);
            return count;
        };
        // Start-up, n_first_sec_skipped 4: while fewer than max(259, 4 x rate)
        // samples are held, windows (and a direct call) get zero records and
        // no detector is asked. The first scripted window ends at 1000.
        engine->processWindow();
        ASSERT_EQ(pushAndDrain(999), 75);
        const auto zero = [](const _SpectralDataPercents& r) { return same(r, {}); };
        ASSERT_TRUE(std::all_of(sink.begin(), sink.begin() + 75, zero));
        ASSERT_EQ(judged(engine->windowDetectors().sideDetector(LEFT)) + judged(engine->windowDetectors().sideDetector(RIGHT)), 0);
        MathLib* handle = handleOf(*engine);
        _OutStatus status;
        ASSERT_TRUE(MathLibSetPrioritySide(handle, s.priority, &status) &&
                    MathLibSetSkipWinsAfterArtifact(handle, s.skip, &status));
        // Out-of-range values are refused (code 1) and leave the ones just set in force.
        EXPECT_FALSE(MathLibSetPrioritySide(handle, static_cast<_SideType>(3), &status) || status.error_code != 1 ||
                     MathLibSetSkipWinsAfterArtifact(handle, -1, &status) || status.error_code != 1);
        std::string seen;
        for (std::size_t i = 0; i < s.windows.size(); i += 3) {
            const _ArtifactDetectSetting& a = settings.artifactDetect; // threshold 0 µV: every sample is bad
            for (const _SideType side : {LEFT, RIGHT})
                ArtifactsMathInit(engine->windowDetectors().sideDetector(side), s.windows[i + side] == 'a' ? 0 : a.amplitude_threshold,
                                  a.band_power_threshold, a.bad_samples_percent, a.quality_history_length);
            const int l = judged(engine->windowDetectors().sideDetector(LEFT)), r = judged(engine->windowDetectors().sideDetector(RIGHT));
            const int appended = pushAndDrain(10);
            seen += std::string(judged(engine->windowDetectors().sideDetector(LEFT)) != l ? "L" : "") +
                    (judged(engine->windowDetectors().sideDetector(RIGHT)) != r ? "R/" : "/");
            const auto& queue = engine->spectralRecords().instantQueue();
            for (auto k = std::ssize(queue) - appended; k < std::ssize(queue); ++k)
                seen += same(queue.at(k), queue.at(k - 1)) ? '=' : queue.at(k).alpha > queue.at(k).gamma ? 'L' : 'R';
            seen += engine->isArtifactedSequence() ? "! " : " ";
            EXPECT_EQ(engine->isBothSidesArtifacted(), s.windows.compare(i, 2, "aa") == 0) << s.windows << i / 3;
        }
        EXPECT_EQ(seen, s.seen) << s.windows;
    }
}

TEST(WindowDriver, MultichannelAnalysisMovesToTheBestChannelAndStaysWhileItIsClean) {
    EngineSettings settings = engineSettings(rate, rate, false, 3);
    settings.artifactDetect.quality_history_length = 1;
    const auto engine = makeEngine(settings);
    const auto detector = [&](int c) { return inside(engine->windowDetectors().channelDetector(c)); };
    // Arranged qualities: with a one-window history a window's quality is
    // 100 x 30000000 / its total power, once that exceeds 30000000. A 12.5 Hz
    // tone gives every window the same power (10 samples are half a period);
    // these amplitudes (µV) give the qualities asserted after each phase.
    // Amplitude 0 is a flat line: artifacted, quality 0.
    const struct { std::array<double, 3> microvolts; std::array<int, 3> quality; int analysed; } phases[] = {
        {{40.3, 24.2, 27.95}, {29, 80, 60}, 1},
        {{15.0, 39.6, 15.0}, {100, 30, 100}, 1}, // clean with 30: stays, better ones notwithstanding
        {{15.0, 0.0, 15.0}, {100, 0, 100}, 0},   // artifacted: to the first of the best
    };
    double cycles = 0.0;
    for (const auto& p : phases) {
        for (int i = 0; i < 1250; ++i, cycles += 12.5 / rate) {
            std::array<double, 3> values, q;
            for (int c = 0; c < 3; ++c)
                values[c] = p.microvolts[c] * microvolt * std::sin(2.0 * std::numbers::pi * cycles);
            const _RawChannelsArray sample{values.data()};
            engine->pushDataArr(&sample, 1);
            const int position = detector(0)->position(), before = engine->windowPolicy().analysedChannel();
            engine->processDataArr();
            if (detector(0)->position() == position)
                continue;
            // Every window: an artifacted channel, or one below 30, hands the
            // analysis to the channel of highest quality, the first of equals.
            for (int c = 0; c < 3; ++c)
                q[c] = detector(c)->signalQuality();
            const bool leave = detector(before)->currentArtifact().position != -1 || q[before] < 30;
            ASSERT_EQ(engine->windowPolicy().analysedChannel(), leave ? std::max_element(q.begin(), q.end()) - q.begin() : before);
        }
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(detector(c)->signalQuality(), p.quality[c]);
        EXPECT_EQ(engine->windowPolicy().analysedChannel(), p.analysed);
    }
    // The bipolar procedure on a multichannel engine finds its queue empty.
    const int position = detector(0)->position();
    engine->processWindow();
    EXPECT_TRUE(same(engine->spectralRecords().instantQueue().newest(), _SpectralDataPercents{}));
    EXPECT_EQ(detector(0)->position(), position);
}

} // namespace
