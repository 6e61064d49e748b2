// The engine as a host sees it, through the C interface: refusals and the
// status record, random call sequences whose published numbers stay finite,
// a digest of every published bit, and real recordings.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <utility>

#include "support/eeg_signals.h"
#include "support/engine_drive.h"
#include "support/real_recordings.h"

namespace {

using namespace kalo_test;
using Call = std::function<bool(_OutStatus*)>;
#define CALL(expression) Call([&](_OutStatus* s) { return (expression); })

// "<returned> <code>: <message>|" of a call given a status of stale bytes:
// success must match the return and the message be NUL-padded to 512 bytes.
std::string outcome(const Call& call) {
    _OutStatus status;
    std::memset(&status, 0x7f, sizeof status);
    const bool returned = call(&status);
    const char* message = status.error_msg;
    const bool padded = std::all_of(std::find(message, message + 511, '\0'), message + 512, [](char c) { return !c; });
    return std::to_string(returned) + (status.success == returned ? " " : " success? ") +
           std::to_string(status.error_code) + ": " + (padded ? message : "?") + "|";
}

// Calls `function` with a null handle: every result pointer points to stale
// bytes that must stay as they are, other arguments are zero.
template <class T>
T argument(_OutStatus* status, unsigned char* stale) {
    if constexpr (std::is_pointer_v<T>)
        return std::is_same_v<T, _OutStatus*> ? reinterpret_cast<T>(status) : reinterpret_cast<T>(stale);
    else
        return T{};
}
template <class... Args>
std::string withNullHandle(bool (*function)(MathLib*, Args...)) {
    alignas(std::max_align_t) unsigned char stale[64];
    std::memset(stale, 0x5a, sizeof stale);
    const std::string seen = outcome([&](_OutStatus* s) { return function(nullptr, argument<Args>(s, stale)...); });
    return seen + (std::count(stale, stale + sizeof stale, 0x5a) == sizeof stale ? "\n" : " wrote a result\n");
}

TEST(EngineCInterface, EveryFunctionRefusesANullHandleAndWritesNoResult) {
    const auto check = [](auto... functions) {
        EXPECT_EQ(sizeof...(functions), 28u); // createMathLib, which takes no handle, makes 29
        std::string seen, expected;
        ((seen += withNullHandle(functions), expected += "0 1: MathLib pointer is null!|\n"), ...);
        EXPECT_EQ(seen, expected);
    };
    check(freeMathLib, MathLibSetHammingWinSpect, MathLibSetHanningWinSpect, MathLibSetCallibrationLength,
          MathLibSetSkipWinsAfterArtifact, MathLibSetMentalEstimationMode, MathLibSetPrioritySide, MathLibPushData,
          MathLibPushDataArr, MathLibProcessData, MathLibProcessWindow, MathLibProcessDataArr, MathLibStartCalibration,
          MathLibCalibrationFinished, MathLibIsArtifactedWin, MathLibIsArtifactedSequence, MathLibIsBothSidesArtifacted,
          MathLibReadAverageMentalData, MathLibReadSpectralDataPercentsArrSize, MathLibReadSpectralDataPercentsArr,
          MathLibReadMentalDataArrSize, MathLibReadMentalDataArr, MathLibReadRawSpectralVals, MathLibSetZeroSpectWaves,
          MathLibSetWeightsForSpectra, MathLibSetSpectNormalizationByBandsWidth, MathLibSetSpectNormalizationByCoeffs,
          MathLibGetCallibrationPercents);
}

TEST(EngineCInterface, RefusalsChangeNothingAndTheStatusIsClearedOnSuccess) {
    _MathLibSetting unset = MathLibSettingDefault; // sampling_rate and fft_window left at 0
    const EngineHandle bipolar = createEngine(engineSettings(250, 250, true));
    const EngineHandle multi = createEngine(engineSettings(250, 250, false, 2));
    MathLib *b = bipolar.get(), *m = multi.get();
    double two[2] = {1e-5, 1e-5};
    const std::vector<_RawChannelsArray> arrays(300, _RawChannelsArray{two});
    const std::vector<double> eeg = eegLike(1500, 250, 4);
    const Samples both(eeg, eeg);
    const _RawChannels* pairs = both.pairs.data();
    std::vector<_SpectralDataPercents> out(200);
    std::vector<_MindData> minds(200);
    int32_t n[3], bands = 0, levels = 0, room = 200;
    bool f[3];
    // In order; "(x = sentinel)" lets a reader prove that it wrote its result.
    for (const auto& [call, expected] : std::initializer_list<std::pair<Call, std::string>>{
             {CALL(createMathLib(unset, ArtifactDetectSettingDefault, ShortArtifactDetectSettingDefault,
                                 MentalAndSpectralSettingDefault, s) != nullptr),
              "0 1: Wrong settings for MathLibSetting!|"},
             {CALL(MathLibPushDataArr(b, arrays.data(), 300, s)), "0 1: Use PushData() for bipolar mode!|"},
             {CALL(MathLibPushData(m, nullptr, 0, s)), "0 1: Count data is empty|"}, // the count before the mode
             {CALL(MathLibPushData(m, nullptr, 1, s)), "0 1: Use PushDataArr() for non-bipolar mode!|"},
             // Nothing was stored; a fresh engine holds nothing.
             {CALL(MathLibProcessDataArr(b, s) && MathLibReadSpectralDataPercentsArrSize(b, &(n[0] = 1), s) &&
                   MathLibReadMentalDataArrSize(b, &(n[1] = 1), s) &&
                   MathLibGetCallibrationPercents(b, &(n[2] = 1), s) && (n[0] | n[1] | n[2]) == 0), "1 0: |"},
             {CALL(MathLibCalibrationFinished(b, &(f[0] = true), s) &&
                   MathLibIsArtifactedSequence(b, &(f[1] = true), s) &&
                   MathLibIsBothSidesArtifacted(b, &(f[2] = true), s) && !(f[0] || f[1] || f[2])), "1 0: |"},
             // A null status pointer is tolerated: the return tells the outcome.
             {CALL(MathLibPushData(b, pairs, 1500, nullptr) && !MathLibPushData(b, pairs, 0, nullptr) &&
                   MathLibProcessDataArr(b, s) && MathLibReadSpectralDataPercentsArrSize(b, &bands, s) &&
                   MathLibReadMentalDataArrSize(b, &levels, s) && bands * levels > 0), "1 0: |"},
             // Null result pointers are refused before any work: nothing is drained.
             {CALL(MathLibCalibrationFinished(b, nullptr, s)), "0 1002: "},
             {CALL(MathLibIsArtifactedWin(b, LEFT, false, nullptr, s)), "0 1002: "},
             {CALL(MathLibGetCallibrationPercents(b, nullptr, s)), "0 1002: "},
             {CALL(MathLibReadAverageMentalData(b, 5, nullptr, s)), "0 1002: "},
             {CALL(MathLibReadSpectralDataPercentsArr(b, out.data(), nullptr, s)), "0 1002: "},
             {CALL(MathLibReadSpectralDataPercentsArr(b, nullptr, &room, s)), "0 1002: "},
             {CALL(MathLibReadMentalDataArr(b, minds.data(), nullptr, s)), "0 1002: "},
             // A reader's result does not depend on what the host's record held.
             {CALL(MathLibReadAverageMentalData(b, 5, &(minds[0] = {}), s) &&
                   MathLibReadAverageMentalData(b, 5, &(minds[1] = {7, 7, 7, 7}), s) && same(minds[0], minds[1])),
              "1 0: |"},
             {CALL(MathLibReadSpectralDataPercentsArr(b, out.data(), &(n[0] = 200), s) && n[0] == bands), "1 0: |"},
             {CALL(MathLibReadMentalDataArr(b, minds.data(), &(n[0] = 200), s) && n[0] == levels), "1 0: |"}})
        EXPECT_EQ(outcome(call).substr(0, expected.size()), expected);
}


// Whatever a host throws at the engine, nothing it publishes is NaN or
// infinite, and a refused call changes nothing. Seeded random sequences of C
// calls run on an engine that sees every call and on a twin that sees only
// the accepted ones; the engine is deterministic, so any trace a refused call
// left would make the two read different bits.
using Numbers = std::vector<double>; // everything one call read
#define ON_ENGINE [&]([[maybe_unused]] MathLib * e, [[maybe_unused]] Numbers & out, _OutStatus * s) -> bool
constexpr double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
enum Expect { Succeeds, Refused, AsTwin }; // Expect(condition): refused when the condition holds

void runSequence(unsigned seed, bool bipolar, int calls) {
    std::mt19937 rng(seed);
    const auto pick = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    const int rates[] = {100, 160, 250, 256}, rate = rates[pick(0, 3)], window = pick(rate, 2 * rate);
    EngineSettings settings = engineSettings(rate, window, bipolar, pick(1, 4));
    settings.mathLib.process_win_freq = pick(5, 25);
    settings.mathLib.use_power_spectrum = pick(0, 1);
    for (int32_t* field : {&settings.mathLib.sampling_rate, &settings.mathLib.fft_window,
                           &settings.artifactDetect.amplitude_threshold, &settings.shortArtifactDetect.peak_threshold,
                           &settings.mentalAndSpectral.spectral_averaging_sec}) {
        const int32_t kept = std::exchange(*field, pick(0, 1) ? -1 : 100000); // out of range: no engine
        _OutStatus status{};
        EXPECT_TRUE(!createEngine(settings, &status) && status.error_code == 1) << *field;
        *field = kept;
    }
    const EngineHandle all = createEngine(settings), twin = createEngine(settings);
    ASSERT_TRUE(all && twin);
    const auto step = [&](Expect expect, const std::function<bool(MathLib*, Numbers&, _OutStatus*)>& call) {
        Numbers mine, theirs;
        _OutStatus status{}, twinStatus{};
        ASSERT_EQ(call(all.get(), mine, &status), status.success);
        if (expect == Refused) { // the twin never sees it
            ASSERT_TRUE(!status.success && status.error_code == 1) << status.error_code << ": " << status.error_msg;
            return;
        }
        ASSERT_TRUE(status.success || expect == AsTwin) << status.error_msg;
        call(twin.get(), theirs, &twinStatus);
        ASSERT_EQ(status.error_code, twinStatus.error_code);
        for (const double x : mine)
            ASSERT_TRUE(std::isfinite(x)) << "published " << x;
        ASSERT_TRUE(same(mine, theirs))
            << "the twin that saw only the accepted calls reads other numbers: a refused call left a trace";
    };
    // Every setter with good and bad values, pushes, processing, every reader.
    const double weights[] = {0.0, nan, 1e-13, -1.0, inf, 1e-12, 0.3, 1.0, 7.5, 1e6}; // the first five refused
    for (int i = 0; i < calls && !testing::Test::HasFatalFailure(); ++i) {
        const int v = pick(-3, 12), on = pick(0, 1), side = pick(0, 3); // side 3 lies outside the enumeration
        const int w[] = {pick(0, 9), pick(5, 9), pick(5, 9), pick(5, 9), pick(0, 9)};
        const int mask[] = {pick(-1, 3), pick(0, 3), pick(0, 3), pick(0, 3), on ? INT32_MAX : pick(-1, 2)};
        int32_t size = -1;
        switch (pick(0, 12)) {
        case 0: case 1: case 2: {
            // Blocks of 1 to 60 samples: 12 in 20 ordinary, 1 constant, 3 tiny to huge, 4 with a value not
            // finite. Values beyond what the engine takes (beyond 1e100 V a value could overflow the filters)
            // are refused like a NaN; only the second half of the odd seeds' sequences gets them.
            const int kind = pick(0, 19), width = bipolar ? 2 : settings.mathLib.channels_number, n = pick(1, 60);
            const double extreme[] = {1e-300, 3e-4, -2.0, 1e300, std::numeric_limits<double>::max()};
            const bool extremes = seed % 2 == 1 && 2 * i >= calls;
            std::normal_distribution<double> eeg(0.0, 2e-5);
            std::vector<double> rows(std::size_t(n * width));
            for (double& x : rows)
                x = kind == 12 ? 5e-3 : (kind >= 13 && kind <= 15 ? extreme[pick(0, extremes ? 4 : 2)] : eeg(rng));
            if (kind >= 16)
                rows[std::size_t(pick(0, n * width - 1))] = pick(0, 1) ? nan : -inf;
            const bool unusable =
                std::any_of(rows.begin(), rows.end(), [](double x) { return !(std::fabs(x) <= 1e100); });
            const bool wrongMode = pick(0, 9) == 0, pairsCall = bipolar != wrongMode;
            const std::size_t count = pick(0, 19) ? std::size_t(n) : 0;
            step(Expect(unusable || wrongMode || count == 0),
                 ON_ENGINE { return pushRows(e, pairsCall, rows, width, count, s); });
        } break;
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
        case 10: case 11: {
            // Every reader (the bands with the size just read or a random room: negative, 0, too much) and the
            // window procedures a host may call directly. Multichannel engines have no side detectors to ask:
            // whether that call succeeds is for the twin to confirm.
            const std::optional<int32_t> room = pick(0, 3) ? std::optional<int32_t>() : pick(-2, 5);
            step(AsTwin, ON_ENGINE {
                Reading r;
                bool artifacted = false;
                const bool ok = readAll(e, r, v * 15, s, room) &&
                                (side == 3 ? MathLibProcessData(e, LEFT, s) && MathLibProcessWindow(e, s)
                                           : MathLibIsArtifactedWin(e, _SideType(side), on, &artifacted, s));
                for (const _SpectralDataPercents& b : r.bands)
                    out.insert(out.end(), {b.delta, b.theta, b.alpha, b.beta, b.gamma});
                r.levels.push_back(r.mean);
                for (const _MindData& m : r.levels)
                    out.insert(out.end(), {m.rel_attention, m.rel_relaxation, m.inst_attention, m.inst_relaxation});
                out.insert(out.end(), {r.raw.alpha, r.raw.beta, double(r.bandCount), double(r.percents),
                                       double(r.finished + 2 * r.sequence + 4 * r.both + 8 * artifacted)});
                return ok;
            });
        } break;
        default: // a null handle
            step(Refused, ON_ENGINE { return MathLibReadMentalDataArrSize(nullptr, &size, s); });
            ASSERT_EQ(size, -1) << "a refused call wrote its result";
        }
    }
}

TEST(PublishedNumbers, EveryRecordIsFiniteAndRefusedCallsLeaveNoTrace) {
    for (const unsigned seed : {1u, 2u, 3u, 4u})
        for (const bool bipolar : {true, false}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << (bipolar ? ", bipolar" : ", multichannel"));
            runSequence(seed, bipolar, 1250);
            if (HasFatalFailure())
                return;
        }
}

// The digest's input uses only additions and multiplications (a rotating
// phasor and a linear congruential generator), so it is the same on every
// machine. Microvolts: alpha that swells and fades, broadband noise, now and
// then a blink-sized step and a stretch of electrode-off silence.
struct Signal {
    double re = 1.0, im = 0.0; // 10 Hz at 250 Hz: rotation by 2*pi/25
    std::uint64_t state = 12345;
    double next(std::size_t n) {
        const double c = 0.96858316112863108, s = 0.24868988716485479, r = re * c - im * s;
        im = re * s + im * c, re = r;
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        double uv = ((n / 2500) % 2 ? 30.0 : 6.0) * re + 25.0 * (static_cast<double>(state >> 11) * 0x1.0p-53 - 0.5);
        if (n % 3000 > 2900)
            uv += 400.0;
        return n % 7000 > 5500 ? 0.0 : uv * 1e-6;
    }
};

// FNV-1a of every byte read (readAll, mean of 3) after each push of four
// minutes in blocks of 10, calibrating from the 20th second.
std::uint64_t publishedDigest(const EngineSettings& settings, void (*configure)(MathLib*)) {
    _OutStatus status;
    const EngineHandle engine = createEngine(settings, &status);
    EXPECT_TRUE(engine) << status.error_msg;
    if (!engine)
        return 0;
    configure(engine.get());
    const bool bipolar = settings.mathLib.bipolar_mode;
    const std::size_t channels = bipolar ? 2 : std::size_t(settings.mathLib.channels_number);
    std::vector<Signal> signals(channels);
    for (std::size_t c = 0; c < channels; ++c)
        signals[c].state += c;
    std::uint64_t digest = 14695981039346656037ULL;
    std::vector<double> rows(10 * channels);
    Reading r;
    for (std::size_t n = 0; n < 60000; n += 10) {
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i] = signals[i % channels].next(n + i / channels);
        EXPECT_TRUE(pushRows(engine.get(), bipolar, rows, int(channels), 10, &status) &&
                    MathLibProcessDataArr(engine.get(), &status)) << status.error_msg;
        if (n == 5000)
            MathLibStartCalibration(engine.get(), &status);
        readAll(engine.get(), r, 3, &status);
        for (const unsigned char byte : bytesOf(r))
            digest = (digest ^ byte) * 1099511628211ULL;
    }
    return digest;
}

// Speed work must not change a single bit of what a host reads; when a change
// of the numbers is intended, the digests are updated in the same commit, with
// the reason.
TEST(PublishedDigest, EveryPublishedBitIsPinned) {
    EngineSettings power = engineSettings(250, 500, true), hanning = engineSettings(250, 500, false, 4);
    power.mathLib.use_power_spectrum = true;
    power.artifactDetect.use_hamming = true;
    hanning.artifactDetect.use_hanning = true;
    const struct {
        const char* name;
        EngineSettings settings;
        void (*configure)(MathLib*);
        std::uint64_t expected;
    } cases[] = {
        {"bipolar, defaults", engineSettings(250, 500, true), [](MathLib*) {}, 5542036671775032204ULL},
        {"bipolar, power spectrum, Hamming, left priority, coefficients, second mode", power,
         [](MathLib* e) {
             MathLibSetPrioritySide(e, LEFT, nullptr);
             MathLibSetSpectNormalizationByBandsWidth(e, false, nullptr);
             MathLibSetSpectNormalizationByCoeffs(e, true, nullptr);
             MathLibSetWeightsForSpectra(e, 1.0, 2.0, 3.0, 4.0, 5.0, nullptr);
             MathLibSetMentalEstimationMode(e, true, nullptr);
             MathLibSetZeroSpectWaves(e, true, 0, 1, 1, 1, 0, nullptr);
         },
         366054797614529113ULL},
        {"four channels, Hanning", hanning, [](MathLib*) {}, 18385423356499275181ULL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(publishedDigest(c.settings, c.configure), c.expected) << c.name;
}

// A real recording pushed in blocks as a device delivers them, every due
// window processed and both queues drained after each push: every call
// succeeds, each window adds as many records to one queue as to the other,
// and every published number is finite and in range.
void runRecording(const std::filesystem::path& csv, int leftColumn, int rightColumn, int rate, int window,
                  std::size_t block, std::vector<_MindData>& levels) {
    Samples samples(readVoltsChannel(csv, leftColumn), readVoltsChannel(csv, rightColumn));
    _OutStatus status{};
    const auto engine = createEngine(engineSettings(rate, window), &status);
    ASSERT_TRUE(engine) << status.error_msg;
    Reading r;
    for (std::size_t first = 0; first < samples.pairs.size(); first += block) {
        ASSERT_TRUE(push(engine.get(), true, samples, first, std::min(block, samples.pairs.size() - first), &status) &&
                    MathLibProcessDataArr(engine.get(), &status) && readAll(engine.get(), r, 0, &status))
            << status.error_msg;
        ASSERT_EQ(r.bandSize, r.levelSize);
        levels.insert(levels.end(), r.levels.begin(), r.levels.end());
        for (const _SpectralDataPercents& b : r.bands)
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
    const auto open = realRecording("S001R01.volts.csv");
    const auto closed = realRecording("S001R02_repaired60s.volts.csv");
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
    const auto path = realRecording(name);
    KALO_SKIP_WITHOUT_RECORDING(path, name);
    std::vector<_MindData> levels;
    runRecording(path, 6, 7, 250, 500, 10, levels);
    EXPECT_GE(levels.size(), (22490u - 501u) / 10u);
}

} // namespace
