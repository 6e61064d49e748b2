// Whatever a host throws at the engine, nothing it publishes is NaN or
// infinite, and a refused call changes nothing. Seeded random sequences of C
// calls run on an engine that sees every call and on a twin that sees only
// the accepted ones; the engine is deterministic, so any trace a refused call
// left would make the two read different bits.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "support/engine_settings.h"

namespace {

using Numbers = std::vector<double>; // everything one call read
#define ON_ENGINE [&]([[maybe_unused]] MathLib * e, [[maybe_unused]] Numbers & out, _OutStatus * s) -> bool
constexpr double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
enum Expect { Succeeds, Refused, AsTwin }; // Expect(condition): refused when the condition holds

class Sequence {
public:
    Sequence(unsigned seed, bool bipolar) : rng(seed), bipolar(bipolar), extremeSeed(seed % 2 == 1) {
        const int rates[] = {100, 160, 250, 256}, rate = rates[pick(0, 3)], window = pick(rate, 2 * rate);
        s = kalo_test::engineSettings(rate, window, bipolar, pick(1, 4));
        s.mathLib.process_win_freq = pick(5, 25);
        s.mathLib.use_power_spectrum = pick(0, 1);
        for (int32_t* field : {&s.mathLib.sampling_rate, &s.mathLib.fft_window, &s.artifactDetect.amplitude_threshold,
                               &s.shortArtifactDetect.peak_threshold, &s.mentalAndSpectral.spectral_averaging_sec}) {
            const int32_t kept = std::exchange(*field, pick(0, 1) ? -1 : 100000); // out of range: no engine
            _OutStatus status{};
            EXPECT_TRUE(!kalo_test::createEngine(s, &status) && status.error_code == 1) << *field;
            *field = kept;
        }
        all = kalo_test::createEngine(s);
        twin = kalo_test::createEngine(s);
    }

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }

    void step(Expect expect, const std::function<bool(MathLib*, Numbers&, _OutStatus*)>& call) {
        Numbers mine, theirs;
        _OutStatus status{}, twinStatus{};
        const bool ok = call(all.get(), mine, &status);
        ASSERT_EQ(ok, status.success);
        if (expect == Refused) { // the twin never sees it
            ASSERT_TRUE(!status.success && status.error_code == 1) << status.error_code << ": " << status.error_msg;
            return;
        }
        ASSERT_TRUE(status.success || expect == AsTwin) << status.error_msg;
        call(twin.get(), theirs, &twinStatus);
        ASSERT_EQ(status.error_code, twinStatus.error_code);
        for (const double x : mine)
            ASSERT_TRUE(std::isfinite(x)) << "published " << x;
        ASSERT_TRUE(mine.size() == theirs.size() &&
                    (mine.empty() || std::memcmp(mine.data(), theirs.data(), mine.size() * sizeof(double)) == 0))
            << "the twin that saw only the accepted calls reads other numbers: a refused call left a trace";
    }

    // Blocks of 1 to 60 samples: 12 in 20 ordinary, 1 constant, 3 tiny to huge, 4 with a value not finite.
    // Values beyond what the engine takes are refused; only the second half of some sequences gets them.
    void push() {
        const int kind = pick(0, 19), width = bipolar ? 2 : s.mathLib.channels_number, n = pick(1, 60);
        const double extreme[] = {1e-300, 3e-4, -2.0, 1e300, std::numeric_limits<double>::max()};
        std::normal_distribution<double> eeg(0.0, 2e-5);
        std::vector<double> flat(std::size_t(n * width));
        for (double& v : flat)
            v = kind == 12 ? 5e-3 : (kind >= 13 && kind <= 15 ? extreme[pick(0, extremes ? 4 : 2)] : eeg(rng));
        if (kind >= 16)
            flat[std::size_t(pick(0, n * width - 1))] = pick(0, 1) ? nan : -inf;
        std::vector<_RawChannels> pairs;
        std::vector<_RawChannelsArray> arrays;
        for (std::size_t i = 0; i < flat.size(); i += std::size_t(width)) {
            pairs.push_back({flat[i], flat[i + std::size_t(width) - 1]});
            arrays.push_back({&flat[i]});
        }
        bool unusable = false; // beyond 1e100 V a value could overflow the filters: refused like a NaN
        for (const double v : flat)
            unusable = unusable || !(std::fabs(v) <= 1e100);
        const bool wrongMode = pick(0, 9) == 0, pairsCall = bipolar != wrongMode;
        const std::size_t count = pick(0, 19) ? std::size_t(n) : 0;
        step(Expect(unusable || wrongMode || count == 0), ON_ENGINE {
            return pairsCall ? MathLibPushData(e, pairs.data(), count, s)
                             : MathLibPushDataArr(e, arrays.data(), count, s);
        });
    }

    // Every reader: the two queues (the size, then that many records, or for the spectra a random room:
    // negative, 0, too much), the others, and the window procedures a host may call directly. Multichannel
    // engines have no side detectors to ask: whether that call succeeds is for the twin to confirm.
    void read(int room, int meanOf, int side, bool flag) {
        step(AsTwin, ON_ENGINE {
            int32_t spectra = -1, mental = -1, percents = 0;
            bool flags[4] = {};
            _MindData mean{};
            _RawSpectVals raw{};
            std::vector<_SpectralDataPercents> bands(static_cast<std::size_t>(SpectralPercentsArraySize) + 5);
            std::vector<_MindData> levels(static_cast<std::size_t>(MentalValueArraySize));
            bool ok = MathLibReadSpectralDataPercentsArrSize(e, &spectra, s);
            int32_t count = room == -100 ? spectra : room;
            ok = ok && MathLibReadSpectralDataPercentsArr(e, bands.data(), &count, s);
            ok = ok && MathLibReadMentalDataArrSize(e, &mental, s);
            ok = ok && MathLibReadMentalDataArr(e, levels.data(), &mental, s);
            ok = ok && MathLibReadAverageMentalData(e, meanOf, &mean, s) && MathLibReadRawSpectralVals(e, &raw, s);
            ok = ok && MathLibCalibrationFinished(e, &flags[0], s) && MathLibGetCallibrationPercents(e, &percents, s);
            ok = ok && MathLibIsArtifactedSequence(e, &flags[1], s) && MathLibIsBothSidesArtifacted(e, &flags[2], s);
            ok = ok && (side == 3 ? MathLibProcessData(e, LEFT, s) && MathLibProcessWindow(e, s)
                                  : MathLibIsArtifactedWin(e, _SideType(side), flag, &flags[3], s));
            for (int k = 0; k < count; ++k)
                out.insert(out.end(), {bands[k].delta, bands[k].theta, bands[k].alpha, bands[k].beta, bands[k].gamma});
            levels.resize(std::size_t(std::max(mental, 0)));
            levels.push_back(mean);
            for (const _MindData& m : levels)
                out.insert(out.end(), {m.rel_attention, m.rel_relaxation, m.inst_attention, m.inst_relaxation});
            out.insert(out.end(), {raw.alpha, raw.beta, double(count), double(percents),
                                   double(flags[0] + 2 * flags[1] + 4 * flags[2] + 8 * flags[3])});
            return ok;
        });
    }

    // Every setter with good and bad values, processing, every reader.
    void run(int calls) {
        ASSERT_TRUE(all && twin);
        const double weights[] = {0.0, nan, 1e-13, -1.0, inf, 1e-12, 0.3, 1.0, 7.5, 1e6}; // the first five refused
        for (int i = 0; i < calls && !testing::Test::HasFatalFailure(); ++i) {
            extremes = extremeSeed && 2 * i >= calls;
            const int v = pick(-3, 12), on = pick(0, 1), side = pick(0, 3); // side 3 lies outside the enumeration
            const int w[] = {pick(0, 9), pick(5, 9), pick(5, 9), pick(5, 9), pick(0, 9)};
            const int mask[] = {pick(-1, 3), pick(0, 3), pick(0, 3), pick(0, 3), on ? INT32_MAX : pick(-1, 2)};
            int32_t size = -1;
            switch (pick(0, 12)) {
            case 0: case 1: case 2: push(); break;
            case 3: step(AsTwin, ON_ENGINE { return MathLibProcessDataArr(e, s); }); break;
            case 4: step(Expect(side == 3), ON_ENGINE { return MathLibSetPrioritySide(e, _SideType(side), s); }); break;
            case 5: step(Expect(v < 0), ON_ENGINE { return MathLibSetSkipWinsAfterArtifact(e, v, s); }); break;
            case 6: step(Expect(v <= 0 || v == 12), // 12: INT32_MAX seconds, a window count beyond 32 bits
                         ON_ENGINE { return MathLibSetCallibrationLength(e, v == 12 ? INT32_MAX : v, s); }); break;
            case 7: step(Expect(std::min(w[0], w[4]) < 5), ON_ENGINE {
                        return MathLibSetWeightsForSpectra(e, weights[w[0]], weights[w[1]], weights[w[2]],
                                                           weights[w[3]], weights[w[4]], s); }); break;
            case 8: step(Expect(std::min(mask[0], mask[4]) < 0), ON_ENGINE {
                        return MathLibSetZeroSpectWaves(e, on, mask[0], mask[1], mask[2], mask[3], mask[4], s);
                    }); break;
            case 9: step(Succeeds, ON_ENGINE {
                        return (v % 3 ? MathLibSetMentalEstimationMode(e, on, s) : MathLibStartCalibration(e, s)) &&
                               (v % 2 ? MathLibSetHammingWinSpect(e, s) : MathLibSetHanningWinSpect(e, s)) &&
                               (v > 5 ? MathLibSetSpectNormalizationByCoeffs(e, on, s)
                                      : MathLibSetSpectNormalizationByBandsWidth(e, on, s)); }); break;
            case 10: case 11: read(pick(0, 3) ? -100 : pick(-2, 5), v * 15, side, on); break; // -100: the size
            default: // a null handle
                step(Refused, ON_ENGINE { return MathLibReadMentalDataArrSize(nullptr, &size, s); });
                ASSERT_EQ(size, -1) << "a refused call wrote its result";
            }
        }
    }

private:
    std::mt19937 rng;
    bool bipolar, extremeSeed, extremes = false;
    kalo_test::EngineSettings s;
    kalo_test::EngineHandle all, twin;
};

TEST(PublishedNumbers, EveryRecordIsFiniteAndRefusedCallsLeaveNoTrace) {
    for (const unsigned seed : {1u, 2u, 3u, 4u})
        for (const bool bipolar : {true, false}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << (bipolar ? ", bipolar" : ", multichannel"));
            Sequence(seed, bipolar).run(1250);
            if (HasFatalFailure())
                return;
        }
}

} // namespace
