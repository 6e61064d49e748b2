// Engine sequences: the input decides the four settings records, then any
// order of the engine's C functions with fuzzed arguments (samples with NaN,
// infinities and huge values, zero and large counts, null arrays and result
// pointers, out-of-range enumerations and settings).
//
// Every call goes to two engines built alike: `engine` gets every call,
// `twin` only the calls that succeeded on `engine`. The engine is
// deterministic, so a failed call (refused with code 1, or with 1002 for a
// missing result pointer) that left any trace a reader can see would make
// the two read different bits.
//
// Invariants: every status is well formed (status_check.h) and matches the
// returned flag; a refused call writes no result; every number read after a
// successful call is finite; queue sizes and records read stay within the
// queues' capacities and the room given; the twin reads the same bits.
//
// channels_number is capped at 16 here: every channel has its own filter
// chain and detector, so a count in the thousands only makes each run slow
// without reaching other code.

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "fuzz_input.h"
#include "kalo_artifacts/engine.h"
#include "status_check.h"

namespace {

using kalo_fuzz::checkStatus;
using kalo_fuzz::Input;

struct Settings {
    _MathLibSetting mathLib;
    _ArtifactDetectSetting artifactDetect;
    _ShortArtifactDetectSetting shortArtifactDetect;
    _MentalAndSpectralSetting mentalAndSpectral;
};

Settings settingsFrom(Input& input) {
    static constexpr std::int32_t rates[] = {100, 125, 128, 160, 250, 250, 256, 500, 50, 49, 0, -250, 1001};
    static constexpr std::int32_t frequencies[] = {5, 10, 25, 4, 26};
    static constexpr std::int32_t skipped[] = {4, 5, 6, 3, 7};
    static constexpr std::int32_t channels[] = {1, 2, 3, 4, 16, 0, -1};
    Settings s{MathLibSettingDefault, ArtifactDetectSettingDefault, ShortArtifactDetectSettingDefault,
               MentalAndSpectralSettingDefault};
    _MathLibSetting& m = s.mathLib;
    m.sampling_rate = input.setting(rates);
    m.process_win_freq = input.setting(frequencies);
    const std::int64_t rate = m.sampling_rate;
    const std::int32_t windows[] = {static_cast<std::int32_t>(rate), static_cast<std::int32_t>(2 * rate),
                                    static_cast<std::int32_t>(rate + 7), static_cast<std::int32_t>(8 * rate),
                                    static_cast<std::int32_t>(8 * rate + 1), static_cast<std::int32_t>(rate - 1)};
    m.fft_window = input.setting(windows);
    m.n_first_sec_skipped = input.setting(skipped);
    m.bipolar_mode = input.flag();
    m.use_power_spectrum = input.flag();
    m.channels_number = input.setting(channels);
    if (m.channels_number > 16)
        m.channels_number %= 17;
    const std::int32_t analysed[] = {0, 1, m.channels_number - 1, m.channels_number, -1};
    m.channel_for_analysis = input.setting(analysed);

    static constexpr std::int32_t amplitudes[] = {50, 80, 120, 49, 121};
    static constexpr std::int32_t percents[] = {20, 50, 70, 19, 71};
    static constexpr std::int32_t bandPowers[] = {600000, 1000000, 599999, INT32_MAX};
    static constexpr std::int32_t totalPowers[] = {0, 30000000, -1, INT32_MAX};
    static constexpr std::int32_t sequences[] = {4, 5, 10, 3, INT32_MAX};
    static constexpr std::int32_t histories[] = {1, 10, 100, 0, -1};
    _ArtifactDetectSetting& a = s.artifactDetect;
    a.amplitude_threshold = input.setting(amplitudes);
    a.bad_samples_percent = input.setting(percents);
    a.band_power_threshold = input.setting(bandPowers);
    a.total_power_threshold = input.setting(totalPowers);
    a.artifact_sequence_sec = input.setting(sequences);
    a.detect_by_total_power = input.flag();
    a.use_hanning = input.flag();
    a.use_hamming = input.flag();
    a.quality_history_length = input.setting(histories);

    static constexpr std::int32_t peakWindows[] = {100, 200, 250, 99, 2000};
    static constexpr std::int32_t peakAreas[] = {100, 150, 200, 99};
    static constexpr std::int32_t peakThresholds[] = {25, 40, 70, 24, 71};
    s.shortArtifactDetect = {input.setting(peakWindows), input.setting(peakAreas), input.setting(peakThresholds)};
    static constexpr std::int32_t seconds[] = {1, 2, 3, 4, 0, 5};
    s.mentalAndSpectral = {input.setting(seconds), input.setting(seconds)};
    return s;
}

MathLib* create(const Settings& s, _OutStatus* status) {
    return createMathLib(s.mathLib, s.artifactDetect, s.shortArtifactDetect, s.mentalAndSpectral, status);
}

using Numbers = std::vector<double>; // everything one call read

void checkFinite(const Numbers& numbers, const char* call) {
    for (const double x : numbers)
        FUZZ_CHECK(std::isfinite(x), "%s published %a", call, x);
}

// The samples of one push: `count` rows of `width` values, a few fuzzed
// values repeated (long blocks cost little input), in one exact heap block.
struct Block {
    std::unique_ptr<double[]> values;
    std::vector<_RawChannels> pairs;
    std::vector<_RawChannelsArray> rows;
};

Block blockFrom(Input& input, std::size_t count, int width) {
    Block b;
    const std::size_t n = count * static_cast<std::size_t>(width);
    b.values.reset(new double[n + 1]);
    double pattern[24];
    const std::size_t k = static_cast<std::size_t>(input.pick(1, 24));
    const bool eeg = input.byte() < 200; // else only the pattern's values
    for (std::size_t i = 0; i < k; ++i)
        pattern[i] = input.sample();
    for (std::size_t i = 0; i < n; ++i)
        // A slow wave keeps most blocks from being a constant, which the detectors reject.
        b.values[i] = pattern[i % k] + (eeg ? 2e-5 * std::sin(0.25 * static_cast<double>(i / static_cast<std::size_t>(width))) : 0.0);
    for (std::size_t r = 0; r < count; ++r) {
        b.pairs.push_back({b.values[r * static_cast<std::size_t>(width)], b.values[r * static_cast<std::size_t>(width) + static_cast<std::size_t>(width) - 1]});
        b.rows.push_back({b.values.get() + r * static_cast<std::size_t>(width)});
    }
    if (count > 0 && input.byte() >= 250)
        b.rows[static_cast<std::size_t>(input.pick(0, static_cast<std::int64_t>(count) - 1))].channels = nullptr;
    return b;
}

// One call with its arguments fixed, run on an engine; returns the flag and
// appends what it read.
using Call = std::function<bool(MathLib*, Numbers&, _OutStatus*)>;

class Sequence {
public:
    Sequence(MathLib* engine, MathLib* twin) : engine_(engine), twin_(twin) {}

    void run(const char* name, const Call& call) {
        Numbers mine, theirs;
        _OutStatus status, twinStatus;
        std::memset(&status, 0x7f, sizeof status);
        std::memset(&twinStatus, 0x7f, sizeof twinStatus);
        const bool returned = call(engine_, mine, &status);
        checkStatus(status, name);
        FUZZ_CHECK(returned == status.success, "%s returned %d with success %d", name, returned, status.success);
        if (!status.success) { // the twin never sees it
            FUZZ_CHECK(mine.empty(), "%s failed but read numbers", name);
            return;
        }
        checkFinite(mine, name);
        call(twin_, theirs, &twinStatus);
        FUZZ_CHECK(twinStatus.success, "%s failed on the twin: %d %s", name, twinStatus.error_code,
                   twinStatus.error_msg);
        FUZZ_CHECK(mine.size() == theirs.size() &&
                       (mine.empty() || std::memcmp(mine.data(), theirs.data(), mine.size() * sizeof(double)) == 0),
                   "%s: the twin that saw only accepted calls reads other numbers: a refused call left a trace",
                   name);
    }

private:
    MathLib* engine_;
    MathLib* twin_;
};

template <class Record>
void append(Numbers& out, const Record& r) {
    static_assert(sizeof(Record) % sizeof(double) == 0);
    double values[sizeof(Record) / sizeof(double)];
    std::memcpy(values, &r, sizeof r);
    out.insert(out.end(), values, values + sizeof(Record) / sizeof(double));
}

// A result pointer, now and then null (refused with code 1002, nothing done).
template <class T>
T* maybeNull(Input& input, T* p) {
    return input.byte() >= 248 ? nullptr : p;
}

void step(Input& input, Sequence& seq, const Settings& s) {
    static constexpr std::int32_t sides[] = {LEFT, RIGHT, NONE, 3, -1, INT32_MIN};
    static constexpr std::int32_t counts[] = {1, 2, 5, 10, 0, -1, 60, INT32_MAX, INT32_MIN};
    static constexpr double weights[] = {1.0, 0.5, 2.0, 1e-12, 1e6, 0.0, -1.0, 1e-13,
                                         std::numeric_limits<double>::quiet_NaN(),
                                         std::numeric_limits<double>::infinity()};
    const int op = static_cast<int>(input.pick(0, 31));
    const bool on = input.flag();
    const int width = s.mathLib.bipolar_mode ? 2 : s.mathLib.channels_number;
    switch (op) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: { // a push, in either layout
        const std::int64_t step = s.mathLib.sampling_rate / s.mathLib.process_win_freq;
        const std::size_t sizes[] = {10, 1, static_cast<std::size_t>(step), static_cast<std::size_t>(5 * step),
                                     static_cast<std::size_t>(s.mathLib.sampling_rate), 0};
        const std::size_t count = input.byte() < 224 ? input.oneOf(sizes) : static_cast<std::size_t>(input.pick(0, 4000));
        const bool pairs = input.byte() < 240 ? s.mathLib.bipolar_mode : !s.mathLib.bipolar_mode;
        const bool nullArray = input.byte() >= 250;
        Block b = blockFrom(input, count, width);
        if (pairs)
            seq.run("MathLibPushData", [&](MathLib* e, Numbers&, _OutStatus* st) {
                return MathLibPushData(e, nullArray ? nullptr : b.pairs.data(), count, st);
            });
        else
            seq.run("MathLibPushDataArr", [&](MathLib* e, Numbers&, _OutStatus* st) {
                return MathLibPushDataArr(e, nullArray ? nullptr : b.rows.data(), count, st);
            });
        if (input.flag())
            seq.run("MathLibProcessDataArr", [](MathLib* e, Numbers&, _OutStatus* st) { return MathLibProcessDataArr(e, st); });
    } break;
    case 7: case 8:
        seq.run("MathLibProcessDataArr", [](MathLib* e, Numbers&, _OutStatus* st) { return MathLibProcessDataArr(e, st); });
        break;
    case 9: seq.run("MathLibProcessWindow", [](MathLib* e, Numbers&, _OutStatus* st) { return MathLibProcessWindow(e, st); }); break;
    case 10: {
        const auto side = static_cast<_SideType>(input.oneOf(sides));
        seq.run("MathLibProcessData", [&](MathLib* e, Numbers&, _OutStatus* st) { return MathLibProcessData(e, side, st); });
    } break;
    case 11: {
        const auto side = static_cast<_SideType>(input.oneOf(sides));
        seq.run("MathLibSetPrioritySide", [&](MathLib* e, Numbers&, _OutStatus* st) { return MathLibSetPrioritySide(e, side, st); });
    } break;
    case 12: {
        const std::int32_t n = input.oneOf(counts);
        seq.run("MathLibSetSkipWinsAfterArtifact", [&](MathLib* e, Numbers&, _OutStatus* st) { return MathLibSetSkipWinsAfterArtifact(e, n, st); });
    } break;
    case 13: {
        const std::int32_t n = input.oneOf(counts);
        seq.run("MathLibSetCallibrationLength", [&](MathLib* e, Numbers&, _OutStatus* st) { return MathLibSetCallibrationLength(e, n, st); });
    } break;
    case 14: {
        double w[5];
        for (double& x : w)
            x = input.byte() < 240 ? input.oneOf(weights) : input.raw<double>();
        seq.run("MathLibSetWeightsForSpectra", [&](MathLib* e, Numbers&, _OutStatus* st) {
            return MathLibSetWeightsForSpectra(e, w[0], w[1], w[2], w[3], w[4], st);
        });
    } break;
    case 15: {
        std::int32_t m[5];
        for (std::int32_t& x : m)
            x = input.byte() < 240 ? static_cast<std::int32_t>(input.pick(-1, 3)) : input.raw<std::int32_t>();
        seq.run("MathLibSetZeroSpectWaves", [&](MathLib* e, Numbers&, _OutStatus* st) {
            return MathLibSetZeroSpectWaves(e, on, m[0], m[1], m[2], m[3], m[4], st);
        });
    } break;
    case 16: case 17: {
        const int which = static_cast<int>(input.pick(0, 5));
        seq.run("a switch", [&](MathLib* e, Numbers&, _OutStatus* st) {
            switch (which) {
            case 0: return MathLibSetHammingWinSpect(e, st);
            case 1: return MathLibSetHanningWinSpect(e, st);
            case 2: return MathLibSetMentalEstimationMode(e, on, st);
            case 3: return MathLibSetSpectNormalizationByBandsWidth(e, on, st);
            case 4: return MathLibSetSpectNormalizationByCoeffs(e, on, st);
            default: return MathLibStartCalibration(e, st);
            }
        });
    } break;
    case 18: case 19: { // both queues: sizes, then drained with the size read or another room
        const std::int32_t room = input.byte() < 192 ? -2 : input.oneOf(counts) % 400;
        seq.run("queue readers", [&](MathLib* e, Numbers& out, _OutStatus* st) {
            std::int32_t bands = -1, levels = -1;
            if (!MathLibReadSpectralDataPercentsArrSize(e, &bands, st) || !MathLibReadMentalDataArrSize(e, &levels, st))
                return false;
            FUZZ_CHECK(bands >= 0 && bands <= SpectralPercentsArraySize && levels >= 0 && levels <= MentalValueArraySize,
                       "queue sizes %d and %d", bands, levels);
            std::int32_t bandRoom = room == -2 ? bands : room, levelRoom = room == -2 ? levels : room;
            const std::int32_t bandsGiven = bandRoom, levelsGiven = levelRoom;
            // Exactly the room given, so a write past it is seen.
            std::unique_ptr<_SpectralDataPercents[]> b(new _SpectralDataPercents[static_cast<std::size_t>(bandRoom > 0 ? bandRoom : 0)]);
            std::unique_ptr<_MindData[]> m(new _MindData[static_cast<std::size_t>(levelRoom > 0 ? levelRoom : 0)]);
            if (!MathLibReadSpectralDataPercentsArr(e, b.get(), &bandRoom, st) || !MathLibReadMentalDataArr(e, m.get(), &levelRoom, st))
                return false;
            FUZZ_CHECK(bandRoom <= bandsGiven && bandRoom <= bands && levelRoom <= levelsGiven && levelRoom <= levels,
                       "read %d of %d bands with room %d, %d of %d levels with room %d", bandRoom, bands, bandsGiven,
                       levelRoom, levels, levelsGiven);
            out.insert(out.end(), {double(bands), double(levels), double(bandRoom), double(levelRoom)});
            for (std::int32_t i = 0; i < bandRoom; ++i)
                append(out, b[static_cast<std::size_t>(i)]);
            for (std::int32_t i = 0; i < levelRoom; ++i)
                append(out, m[static_cast<std::size_t>(i)]);
            return true;
        });
    } break;
    case 20: {
        const std::int32_t n = input.byte() < 128 ? static_cast<std::int32_t>(input.pick(-2, 160)) : input.oneOf(counts);
        const bool missing = input.byte() >= 248;
        seq.run("MathLibReadAverageMentalData", [&](MathLib* e, Numbers& out, _OutStatus* st) {
            _MindData mean{-1.0, -1.0, -1.0, -1.0};
            const bool ok = MathLibReadAverageMentalData(e, n, missing ? nullptr : &mean, st);
            if (ok)
                append(out, mean);
            return ok;
        });
    } break;
    case 21: {
        const bool missing = input.byte() >= 248;
        seq.run("MathLibReadRawSpectralVals", [&](MathLib* e, Numbers& out, _OutStatus* st) {
            _RawSpectVals raw{};
            const bool ok = MathLibReadRawSpectralVals(e, missing ? nullptr : &raw, st);
            if (ok)
                append(out, raw);
            return ok;
        });
    } break;
    case 22: case 23: { // flags and progress
        const auto side = static_cast<_SideType>(input.oneOf(sides));
        bool flags[4] = {};
        std::int32_t percents = -1;
        bool* finished = maybeNull(input, &flags[0]);
        std::int32_t* progress = maybeNull(input, &percents);
        seq.run("flag readers", [&](MathLib* e, Numbers& out, _OutStatus* st) {
            const bool ok = MathLibCalibrationFinished(e, finished, st) && MathLibGetCallibrationPercents(e, progress, st) &&
                            MathLibIsArtifactedSequence(e, &flags[1], st) && MathLibIsBothSidesArtifacted(e, &flags[2], st);
            if (!ok)
                return false;
            FUZZ_CHECK(percents >= 0 && percents <= 100, "calibration at %d percent", percents);
            out.insert(out.end(), {double(flags[0]), double(flags[1]), double(flags[2]), double(percents)});
            return true;
        });
        bool* artifacted = maybeNull(input, &flags[3]);
        seq.run("MathLibIsArtifactedWin", [&](MathLib* e, Numbers& out, _OutStatus* st) {
            const bool ok = MathLibIsArtifactedWin(e, side, on, artifacted, st);
            if (ok)
                out.push_back(double(flags[3]));
            return ok;
        });
    } break;
    case 24: { // a null handle: refused, no result written
        std::int32_t size = -7;
        seq.run("null handle", [&](MathLib*, Numbers&, _OutStatus* st) {
            const bool ok = MathLibReadMentalDataArrSize(nullptr, &size, st);
            FUZZ_CHECK(!ok && st->error_code == 1 && size == -7, "a null handle was not refused");
            return ok;
        });
    } break;
    case 25: { // a null status pointer: the flag alone tells
        seq.run("null status", [&](MathLib* e, Numbers& out, _OutStatus* st) {
            std::int32_t size = -1;
            FUZZ_CHECK(MathLibReadMentalDataArrSize(e, &size, nullptr) && size >= 0, "a null status pointer");
            out.push_back(double(size));
            return MathLibGetCallibrationPercents(e, &size, st);
        });
    } break;
    default: // more pushes and processing than anything else
        step(input, seq, s);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    Settings settings = settingsFrom(input);
    _OutStatus status;
    std::memset(&status, 0x7f, sizeof status);
    MathLib* engine = create(settings, &status);
    checkStatus(status, "createMathLib");
    FUZZ_CHECK((engine != nullptr) == status.success && (status.success || status.error_code == 1),
               "createMathLib: %p with %d %s", static_cast<void*>(engine), status.error_code, status.error_msg);
    if (engine == nullptr) {
        // Settings that were refused: the sequence runs on valid ones of the same mode and width.
        freeMathLib(nullptr, &status);
        FUZZ_CHECK(status.error_code == 1, "freeMathLib(NULL): %d", status.error_code);
        const bool bipolar = settings.mathLib.bipolar_mode;
        const std::int32_t channels = settings.mathLib.channels_number;
        settings = {MathLibSettingDefault, ArtifactDetectSettingDefault, ShortArtifactDetectSettingDefault,
                    MentalAndSpectralSettingDefault};
        settings.mathLib.sampling_rate = 250;
        settings.mathLib.fft_window = 500;
        settings.mathLib.bipolar_mode = bipolar;
        settings.mathLib.channels_number = channels >= 1 ? channels : 2;
        settings.mathLib.channel_for_analysis = 0;
        engine = create(settings, &status);
        FUZZ_CHECK(engine != nullptr, "valid settings refused: %s", status.error_msg);
    }
    MathLib* twin = create(settings, &status);
    FUZZ_CHECK(twin != nullptr, "the twin was refused: %s", status.error_msg);
    Sequence seq(engine, twin);
    for (int calls = 0; calls < 400 && !input.empty(); ++calls)
        step(input, seq, settings);
    for (MathLib* e : {engine, twin}) {
        std::memset(&status, 0x7f, sizeof status);
        FUZZ_CHECK(freeMathLib(e, &status), "freeMathLib: %s", status.error_msg);
        checkStatus(status, "freeMathLib");
    }
    return 0;
}
