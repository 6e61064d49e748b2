// The engine's C interface as a host sees it: refusals, the status record, a
// fresh engine's readings.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>

#include "support/eeg_signals.h"
#include "support/engine_settings.h"

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
    std::vector<_RawChannels> pairs;
    for (const double v : eegLike(1500, 250, 4))
        pairs.push_back({v, v});
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
             {CALL(MathLibPushData(b, pairs.data(), 1500, nullptr) && !MathLibPushData(b, pairs.data(), 0, nullptr) &&
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
             {CALL(MathLibReadSpectralDataPercentsArr(b, out.data(), &(n[0] = 200), s) && n[0] == bands), "1 0: |"},
             {CALL(MathLibReadMentalDataArr(b, minds.data(), &(n[0] = 200), s) && n[0] == levels), "1 0: |"}})
        EXPECT_EQ(outcome(call).substr(0, expected.size()), expected);
}

} // namespace
