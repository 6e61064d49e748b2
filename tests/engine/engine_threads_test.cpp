// Eight host threads drive engines through the C interface at once, engines of
// their own and two shared ones: every call succeeds, and an engine of its own
// publishes, bit for bit, what a single-threaded run of the same input does.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/eeg_signals.h"
#include "support/engine_drive.h"

namespace {

using namespace kalo_test;
using Bytes = std::vector<unsigned char>;

// Pushes 12 s with blinks in blocks of 25 pairs into a new engine and returns
// the bytes of all it publishes; a `shared` engine gets the same blocks and a
// round of setters and readers between.
Bytes run(int variant, MathLib* shared, std::atomic<int>& failures) {
    Samples samples(withBlink(eegLike(3000, 250, variant), 250, 400.0, 2.0),
                    withBlink(eegLike(3000, 250, variant + 8), 250, 400.0, 1.0));
    _OutStatus status;
    const auto ok = [&](bool returned) { failures += !returned || !status.success; };
    const EngineHandle own = createEngine(engineSettings(250, 500, true), &status);
    ok(own && MathLibSetPrioritySide(own.get(), static_cast<_SideType>(variant % 3), &status) &&
       MathLibSetSkipWinsAfterArtifact(own.get(), variant, &status));
    Bytes published;
    Reading mine, theirs;
    for (std::size_t at = 0; at < 3000; at += 25) {
        if (shared != nullptr)
            ok(push(shared, true, samples, at, 25, &status) && MathLibProcessDataArr(shared, &status) &&
               MathLibSetPrioritySide(shared, static_cast<_SideType>(at % 3), &status) &&
               MathLibSetHanningWinSpect(shared, &status) && readAll(shared, theirs, 5, &status));
        ok(push(own.get(), true, samples, at, 25, &status) && MathLibProcessDataArr(own.get(), &status) &&
           readAll(own.get(), mine, 5, &status));
        const Bytes bytes = bytesOf(mine);
        published.insert(published.end(), bytes.begin(), bytes.end());
    }
    return published;
}

TEST(EngineThreads, EightThreadsPublishWhatSingleThreadedRunsPublish) {
    std::atomic<int> failures = 0;
    std::vector<Bytes> alone, together(8);
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
    // One record of each kind a window, besides what the 120 readings hold of their own.
    const std::size_t leastBytes =
        250 * (sizeof(_SpectralDataPercents) + sizeof(_MindData)) + 120 * bytesOf(Reading{}).size();
    for (int t = 0; t < 8; ++t)
        EXPECT_TRUE(together[t] == alone[t] && alone[t].size() >= leastBytes) << "thread " << t;
}

} // namespace
