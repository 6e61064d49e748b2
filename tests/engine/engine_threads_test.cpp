// Eight host threads drive engines through the C interface at once, engines of
// their own and two shared ones: every call succeeds, and an engine of its own
// publishes, bit for bit, what a single-threaded run of the same input does.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/eeg_signals.h"
#include "support/engine_settings.h"

namespace {

using namespace kalo_test;

// Pushes 12 s with blinks in blocks of 25 pairs into a new engine and returns
// the bytes of all it publishes; a `shared` engine gets the same blocks and a
// round of setters and readers between.
std::vector<char> run(int variant, MathLib* shared, std::atomic<int>& failures) {
    const std::vector<double> left = withBlink(eegLike(3000, 250, variant), 250, 400.0, 2.0);
    const std::vector<double> right = withBlink(eegLike(3000, 250, variant + 8), 250, 400.0, 1.0);
    std::vector<_RawChannels> pairs;
    for (std::size_t i = 0; i < left.size(); ++i)
        pairs.push_back({left[i], right[i]});
    _OutStatus status;
    const auto ok = [&](bool returned) { failures += !returned || !status.success; };
    const EngineHandle own = createEngine(engineSettings(250, 500, true), &status);
    ok(own && MathLibSetPrioritySide(own.get(), static_cast<_SideType>(variant % 3), &status) &&
       MathLibSetSkipWinsAfterArtifact(own.get(), variant, &status));
    std::vector<char> published;
    _SpectralDataPercents bands[SpectralPercentsArraySize];
    _MindData levels[MentalValueArraySize];
    bool flag;
    for (std::size_t at = 0; at < pairs.size(); at += 25) {
        int32_t n = SpectralPercentsArraySize, m = MentalValueArraySize;
        if (shared != nullptr)
            ok(MathLibPushData(shared, &pairs[at], 25, &status) && MathLibProcessDataArr(shared, &status) &&
               MathLibSetPrioritySide(shared, static_cast<_SideType>(at % 3), &status) &&
               MathLibSetHanningWinSpect(shared, &status) && MathLibIsBothSidesArtifacted(shared, &flag, &status) &&
               MathLibReadAverageMentalData(shared, 5, levels, &status) &&
               MathLibReadMentalDataArr(shared, levels, &m, &status));
        ok(MathLibPushData(own.get(), &pairs[at], 25, &status) && MathLibProcessDataArr(own.get(), &status) &&
           MathLibReadSpectralDataPercentsArr(own.get(), bands, &n, &status) &&
           MathLibReadMentalDataArr(own.get(), levels, &(m = MentalValueArraySize), &status));
        published.insert(published.end(), reinterpret_cast<char*>(bands), reinterpret_cast<char*>(bands + n));
        published.insert(published.end(), reinterpret_cast<char*>(levels), reinterpret_cast<char*>(levels + m));
    }
    return published;
}

TEST(EngineThreads, EightThreadsPublishWhatSingleThreadedRunsPublish) {
    std::atomic<int> failures = 0;
    std::vector<std::vector<char>> alone, together(8);
    for (int t = 0; t < 8; ++t)
        alone.push_back(run(t, nullptr, failures));
    const EngineHandle shared[] = {createEngine(engineSettings(250, 500, true)),
                                   createEngine(engineSettings(250, 500, true))};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] { together[t] = run(t, shared[t % 2].get(), failures); });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    const std::size_t leastBytes = 250 * (sizeof(_SpectralDataPercents) + sizeof(_MindData)); // one record a window
    for (int t = 0; t < 8; ++t)
        EXPECT_TRUE(together[t] == alone[t] && alone[t].size() >= leastBytes) << "thread " << t;
}

} // namespace
