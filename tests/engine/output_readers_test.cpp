// The readers: what a drain returns and discards, what an unread queue keeps,
// the band weighting, the mean of the newest mental records. A twin engine,
// fed the same samples and read differently, is the reference.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "support/eeg_signals.h"
#include "support/engine_settings.h"

namespace {

using namespace kalo_test;
using Engine = OviMath::MathLib::MathLib;
using Spectra = std::vector<_SpectralDataPercents>;
using Minds = std::vector<_MindData>;

const std::vector<double> eeg = eegLike(6000, 250.0, 3); // the right side is a later stretch

// Bit for bit: engines fed the same samples give the same records.
struct {
    template <class R>
    bool operator()(const R& a, const R& b) const { return std::memcmp(&a, &b, sizeof a) == 0; }
} same;

// Analyses `windows` more windows on the left side, as the driver does on
// clean signal without a priority side, with no detector.
void run(Engine& e, int windows) {
    e.setWindowHookForTesting([&e](std::int64_t) { e.processData(LEFT); });
    std::vector<_RawChannels> pairs;
    for (std::size_t i = e.microvoltSamples().size(), end = std::max<std::size_t>(i, 500) + 10 * windows; i < end; ++i)
        pairs.push_back({eeg[i], eeg[i + 3000]});
    e.pushData(pairs.data(), pairs.size());
    e.processDataArr();
}

std::unique_ptr<Engine> engine(int windows) {
    EngineSettings s = engineSettings();
    s.mentalAndSpectral.mental_estimation_sec = 1; // levels from the 25th window on
    auto e = makeEngine(s);
    run(*e, windows);
    return e;
}

std::pair<Spectra, Minds> drain(Engine& e, int count) { // both queues, as a host does
    std::pair<Spectra, Minds> out{Spectra(count), Minds(count)};
    int spectra = count, minds = count;
    e.readSpectralDataPercentsArr(out.first.data(), spectra);
    e.readMentalValsArr(out.second.data(), minds);
    out.first.resize(spectra), out.second.resize(minds);
    return out;
}

// The twin reads every record as it comes. Left unread for 250 windows, the
// queues keep the 200 newest band records and the 150 newest mental records,
// oldest first. Of 30 records, a larger count returns them all, a smaller one
// the oldest; both empty the queue. 0 leaves it alone; a negative count
// writes nothing, stays negative and empties it.
TEST(OutputReaders, DrainsReturnTheOldestAskedAndUnreadQueuesKeepTheNewest) {
    auto twin = engine(0);
    Spectra spectra;
    Minds minds;
    for (int n = 0; n < 250; ++n) {
        run(*twin, 1);
        const auto [s, m] = drain(*twin, 1);
        spectra.push_back(s.at(0)), minds.push_back(m.at(0));
    }
    const auto [keptSpectra, keptMinds] = drain(*engine(250), 300);
    EXPECT_TRUE(std::equal(keptSpectra.begin(), keptSpectra.end(), spectra.end() - 200, spectra.end(), same));
    EXPECT_TRUE(std::equal(keptMinds.begin(), keptMinds.end(), minds.end() - 150, minds.end(), same));
    for (auto [asked, written, left] : {std::array{40, 30, 0}, {28, 28, 0}, {0, 0, 30}, {-2, -2, 0}}) {
        auto e = engine(30);
        Spectra s(32, {-7, -7, -7, -7, -7});
        Minds m(32, {-7, -7, -7, -7});
        int sCount = asked, mCount = asked;
        e->readSpectralDataPercentsArr(s.data(), sCount);
        e->readMentalValsArr(m.data(), mCount);
        EXPECT_EQ((std::array{sCount, mCount, e->spectralDataPercentsCount(), e->mentalDataCount()}),
                  (std::array{written, written, left, left}));
        for (int i = 0; i < 32; ++i) {
            EXPECT_TRUE(same(s[i], i < written ? spectra[i] : _SpectralDataPercents{-7, -7, -7, -7, -7})) << i;
            EXPECT_TRUE(same(m[i], i < written ? minds[i] : _MindData{-7, -7, -7, -7})) << i;
        }
    }
}

// Weights (0, 0, 1, 1, 0) keep alpha and beta, rescaled to add up to 1.
TEST(OutputReaders, ZeroWaveWeightingKeepsAlphaAndBetaRescaled) {
    auto weighted = engine(0);
    auto* handle = reinterpret_cast<MathLib*>(weighted.get()); // the C handle is the engine itself
    _OutStatus status{};
    ASSERT_TRUE(MathLibSetZeroSpectWaves(handle, true, 0, 0, 1, 1, 0, &status));
    EXPECT_FALSE(MathLibSetZeroSpectWaves(handle, false, 1, 1, 1, -1, 1, &status)); // refused: the above stays
    EXPECT_EQ(status.error_code, 1);
    run(*weighted, 30);
    const Spectra read = drain(*weighted, 30).first, plain = drain(*engine(30), 30).first;
    ASSERT_EQ(read.size(), 30u);
    for (std::size_t i = 0; i < read.size(); ++i) {
        const double s = plain[i].alpha + plain[i].beta;
        ASSERT_GT(plain[i].theta * plain[i].gamma, 0.0); // there was something to leave out
        EXPECT_TRUE(same(read[i], _SpectralDataPercents{0, 0, plain[i].alpha / s, plain[i].beta / s, 0})) << i;
        EXPECT_NEAR(read[i].alpha + read[i].beta, 1.0, 1e-15);
    }
}

// n of 0, negative or beyond the queue gives the last window's record; n
// equal to the queue's size, the mean of every record held. The queue stays.
TEST(OutputReaders, AverageMentalDataIsTheMeanOfTheNewestOrTheLastWindow) {
    auto e = engine(40);
    for (int n : {0, -1, 41}) {
        _MindData out{};
        e->readAverageMentalData(n, out);
        EXPECT_TRUE(same(out, e->currentMindValues())) << n;
    }
    _MindData mean{}, sum{};
    e->readAverageMentalData(40, mean);
    for (const _MindData& r : drain(*e, 40).second) // all 40 still held
        sum = {sum.rel_attention + r.rel_attention, sum.rel_relaxation + r.rel_relaxation,
               sum.inst_attention + r.inst_attention, sum.inst_relaxation + r.inst_relaxation};
    EXPECT_TRUE(same(mean, _MindData{sum.rel_attention / 40, sum.rel_relaxation / 40, sum.inst_attention / 40,
                                     sum.inst_relaxation / 40}));
    EXPECT_FALSE(same(mean, e->currentMindValues()));
}

} // namespace
