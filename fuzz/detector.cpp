// Detector sequences: the input decides the settings record, then any order
// of set-up calls, windows of samples (NaN, infinities, huge values, short,
// empty, negative and overlong counts, null arrays) and reads of the records.
//
// Invariants: every status is well formed (status_check.h); the settings are
// accepted exactly when the header says they are valid; a call on a detector
// with usable pointers succeeds, one with a null handle is refused with code
// 1, one with a null result pointer with code 1002, and neither writes a
// result; the quality stays within 0..100; the current record and the list of
// records are consistent (an artifact in progress has a position and a type,
// the list holds starts and ends of amplitude or spectral artifacts, at most
// one window length of them, and reading it empties it).

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_input.h"
#include "kalo_artifacts/detector.h"
#include "status_check.h"

namespace {

using kalo_fuzz::checkStatus;
using kalo_fuzz::Input;

_ArtifactSetting settingsFrom(Input& input) {
    static constexpr std::int32_t rates[] = {50, 100, 125, 128, 250, 256, 500, 1000, 49, 0, -250};
    static constexpr std::int32_t frequencies[] = {5, 10, 25, 4, 26, 0};
    _ArtifactSetting s{};
    s.sampling_rate = input.setting(rates);
    s.process_win_freq = input.setting(frequencies);
    // Mostly a valid window for the rate, from one second to eight.
    const std::int64_t rate = s.sampling_rate;
    const std::int32_t windows[] = {static_cast<std::int32_t>(rate), static_cast<std::int32_t>(2 * rate),
                                    static_cast<std::int32_t>(8 * rate), static_cast<std::int32_t>(8 * rate + 1),
                                    static_cast<std::int32_t>(rate - 1), 131072, 131073};
    s.fft_window = input.setting(windows);
    return s;
}

bool valid(const _ArtifactSetting& s) {
    const std::int64_t rate = s.sampling_rate, window = s.fft_window;
    return rate >= 50 && s.process_win_freq >= 5 && s.process_win_freq <= 25 && rate <= window &&
           window <= 8 * rate && window <= 131072;
}

void checkRecord(const _ArtifactInfo& r, const char* what) {
    FUZZ_CHECK((r.position == -1) == (r.type == 0) && r.position >= -1 && r.type >= 0 && r.type <= 2,
               "%s {%d, %d, %d}", what, r.position, static_cast<int>(r.is_start), r.type);
}

// Calls with a null handle are refused with code 1 and write no result.
void nullHandleCall(Input& input) {
    const char expected[] = "ArtifactMAthLib pointer is null!";
    alignas(8) unsigned char stale[16];
    std::memset(stale, 0x5a, sizeof stale);
    double sample = 0.0;
    _OutStatus status{};
    switch (input.pick(0, 6)) {
    case 0: status = ArtifactsMathInit(nullptr, 80, 600000, 30, 10); break;
    case 1: status = ArtifactsMathIsArtifactedWin(reinterpret_cast<bool*>(stale), reinterpret_cast<int*>(stale + 4),
                                                  nullptr, &sample, 1, false); break;
    case 2: status = ArtifactsMathReadArtifactInfo(nullptr, reinterpret_cast<_ArtifactInfo*>(stale)); break;
    case 3: status = ArtifactsMathReadArtifactInfoArrSize(reinterpret_cast<int*>(stale), nullptr); break;
    case 4: status = ArtifactsMathReadArtifactInfoArr(nullptr, reinterpret_cast<_ArtifactInfo*>(stale),
                                                      reinterpret_cast<int*>(stale + 12)); break;
    case 5: status = freeArtifactsMath(nullptr); break;
    default: status = ArtifactsMathClearData(nullptr);
    }
    checkStatus(status, "null handle");
    FUZZ_CHECK(!status.success && status.error_code == 1 && std::strcmp(status.error_msg, expected) == 0,
               "null handle: %d %s", status.error_code, status.error_msg);
    for (const unsigned char b : stale)
        FUZZ_CHECK(b == 0x5a, "a call with a null handle wrote a result");
}

// A window of `count` samples (at least one element allocated, exactly
// max(count, 1)): a few fuzzed samples repeated, so long windows cost little
// input.
std::unique_ptr<double[]> windowOf(Input& input, int count) {
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 1u;
    std::unique_ptr<double[]> samples(new double[n]);
    double pattern[16];
    const std::size_t k = static_cast<std::size_t>(input.pick(1, 16));
    for (std::size_t i = 0; i < k; ++i)
        pattern[i] = input.sample();
    for (std::size_t i = 0; i < n; ++i)
        samples[i] = pattern[i % k];
    return samples;
}

void judge(Input& input, _ArtifactsMath* detector, const _ArtifactSetting& s) {
    const int window = s.fft_window, step = s.sampling_rate / s.process_win_freq;
    const int counts[] = {window, window, window, step, 0, 1, 2, -1, INT32_MIN, window + 1, 2 * window,
                          static_cast<int>(input.pick(0, window))};
    const int count = input.oneOf(counts);
    std::unique_ptr<double[]> samples = windowOf(input, count);
    bool artifacted = false;
    int quality = -1;
    // Sometimes a pointer is missing: refused with code 1002, nothing written, nothing consumed.
    const int missing = input.byte() < 240 ? 0 : static_cast<int>(input.pick(1, 3));
    const _OutStatus status = ArtifactsMathIsArtifactedWin(missing == 1 ? nullptr : &artifacted,
                                                           missing == 2 ? nullptr : &quality, detector,
                                                           missing == 3 ? nullptr : samples.get(), count, input.flag());
    checkStatus(status, "ArtifactsMathIsArtifactedWin");
    if (missing != 0 && !(missing == 3 && count <= 0)) {
        FUZZ_CHECK(!status.success && status.error_code == 1002 && quality == -1,
                   "a missing pointer: %d %s", status.error_code, status.error_msg);
        return;
    }
    FUZZ_CHECK(status.success, "judging %d samples: %d %s", count, status.error_code, status.error_msg);
    FUZZ_CHECK(quality >= 0 && quality <= 100, "quality %d", quality);
}

void readRecords(Input& input, _ArtifactsMath* detector, const _ArtifactSetting& s) {
    _ArtifactInfo current{};
    _OutStatus status = ArtifactsMathReadArtifactInfo(detector, &current);
    checkStatus(status, "ArtifactsMathReadArtifactInfo");
    FUZZ_CHECK(status.success, "ArtifactsMathReadArtifactInfo failed");
    checkRecord(current, "current");

    int size = -1;
    status = ArtifactsMathReadArtifactInfoArrSize(&size, detector);
    checkStatus(status, "ArtifactsMathReadArtifactInfoArrSize");
    FUZZ_CHECK(status.success && size >= 0 && size <= s.fft_window, "record count %d", size);
    if (input.flag())
        return; // the size alone
    // Exactly as many records as the size said (an empty list gets a null array).
    std::unique_ptr<_ArtifactInfo[]> records(size > 0 ? new _ArtifactInfo[static_cast<std::size_t>(size)] : nullptr);
    int read = -1;
    status = ArtifactsMathReadArtifactInfoArr(detector, records.get(), &read);
    checkStatus(status, "ArtifactsMathReadArtifactInfoArr");
    FUZZ_CHECK(status.success && read == size, "read %d records of %d", read, size);
    for (int i = 0; i < read; ++i) {
        const _ArtifactInfo& r = records[static_cast<std::size_t>(i)];
        FUZZ_CHECK(r.position >= 0 && (r.type == 1 || r.type == 2), "record {%d, %d, %d}", r.position,
                   static_cast<int>(r.is_start), r.type);
    }
    status = ArtifactsMathReadArtifactInfoArrSize(&size, detector);
    FUZZ_CHECK(status.success && size == 0, "%d records left after reading them", size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const _ArtifactSetting settings = settingsFrom(input);
    _OutStatus status;
    std::memset(&status, 0x7f, sizeof status);
    _ArtifactsMath* detector = createArtifactsMath(input.raw<std::int32_t>(), settings, &status);
    checkStatus(status, "createArtifactsMath");
    FUZZ_CHECK((detector != nullptr) == status.success && status.success == valid(settings),
               "settings {%d, %d, %d}: detector %p, status %d %s", settings.sampling_rate, settings.process_win_freq,
               settings.fft_window, static_cast<void*>(detector), status.error_code, status.error_msg);
    if (detector == nullptr) {
        nullHandleCall(input);
        return 0;
    }
    static constexpr std::int32_t amplitudes[] = {50, 80, 120, 150, 0, -1, 1, INT32_MAX, INT32_MIN};
    static constexpr std::int32_t powers[] = {600000, 50000, 30000000, 0, -1, 100, INT32_MAX, INT32_MIN};
    static constexpr std::int32_t percents[] = {10, 20, 70, 0, 100, -5, 101, INT32_MAX};
    static constexpr std::int32_t histories[] = {1, 10, 100, 0, -3, 100000, INT32_MAX};
    static constexpr std::int32_t mains[] = {50, 60, 0, 55, -50};
    static constexpr std::int32_t resistances[] = {0, 1, 2, -1};
    for (int steps = 0; steps < 64 && !input.empty(); ++steps) {
        switch (input.pick(0, 15)) {
        case 0:
            status = ArtifactsMathInit(detector, input.setting(amplitudes), input.setting(powers),
                                       input.setting(percents), input.setting(histories));
            break;
        case 1: status = ArtifactsMathInitFilters(detector, input.setting(mains), input.setting(resistances)); break;
        case 2: status = ArtifactsMathSetHanningWinSpect(detector); break;
        case 3: status = ArtifactsMathSetHammingWinSpect(detector); break;
        case 4: status = ArtifactsMathSetArtifactDetectByTotalPower(detector, input.setting(powers)); break;
        case 5: status = ArtifactsMathClearData(detector); break;
        case 6: case 7: readRecords(input, detector, settings); continue;
        case 8: nullHandleCall(input); continue;
        default: judge(input, detector, settings); continue;
        }
        checkStatus(status, "set-up call");
        FUZZ_CHECK(status.success, "a set-up call failed: %d %s", status.error_code, status.error_msg);
    }
    readRecords(input, detector, settings);
    status = freeArtifactsMath(detector);
    checkStatus(status, "freeArtifactsMath");
    FUZZ_CHECK(status.success, "freeArtifactsMath failed");
    return 0;
}
