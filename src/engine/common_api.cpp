// The engine's C interface. Each function only converts: the handle to the
// engine, host pointers checked before any work, and whatever the work
// throws into the caller's status, all under the process-wide lock
// (engine/common_api.h).

#include <memory>

#include "engine/common_api.h"
#include "engine/kalo_math.h"
#include "kalo_artifacts/engine.h"
#include "engine/kalo_setting.h"
#include "shared/require.h"

namespace {

using Engine = OviMath::MathLib::MathLib;
using OviMath::requireNonNull;
using OviMath::MathLib::CBoundary::engineCall;
using OviMath::MathLib::CBoundary::lockedCall;
using OviMath::Status::ThrownStatus;

Engine* engineOf(MathLib* handle) { return reinterpret_cast<Engine*>(handle); }

// Most functions have no status of a detector to pass on; those whose work
// asks a detector say which way they report it.
template <class Work>
bool call(MathLib* handle, _OutStatus* status, Work&& work) {
    return engineCall(engineOf(handle), status, ThrownStatus::Copy, std::forward<Work>(work));
}

// Readers write their result only once the work has succeeded.
template <class Result, class Read>
bool read(MathLib* handle, Result* out, _OutStatus* status, Read&& readInto) {
    return call(handle, status, [&](Engine& engine) {
        requireNonNull(out, "result pointer is null");
        Result result{};
        readInto(engine, result);
        *out = result;
    });
}

} // namespace

extern "C" {

KALO_API MathLib* createMathLib(_MathLibSetting math_lib, _ArtifactDetectSetting artifact_detect,
                                _ShortArtifactDetectSetting short_artifact_detect,
                                _MentalAndSpectralSetting mental_and_spectral, _OutStatus* status) {
    MathLib* handle = nullptr;
    lockedCall(status, ThrownStatus::Copy, [&] {
        const _OutStatus verdict = OviMath::Math::checkSettingMathLib(&math_lib, &artifact_detect,
                                                                      &short_artifact_detect, &mental_and_spectral);
        if (!verdict.success)
            throw verdict;
        handle = reinterpret_cast<MathLib*>(
            std::make_unique<Engine>(math_lib, artifact_detect, short_artifact_detect, mental_and_spectral)
                .release());
    });
    return handle;
}

KALO_API bool freeMathLib(MathLib* math_lib, _OutStatus* status) {
    return call(math_lib, status, [](Engine& engine) { delete &engine; });
}

KALO_API bool MathLibSetHammingWinSpect(MathLib* math_lib, _OutStatus* status) {
    return call(math_lib, status, [](Engine& engine) { engine.setHammingWinSpect(); });
}

KALO_API bool MathLibSetHanningWinSpect(MathLib* math_lib, _OutStatus* status) {
    return call(math_lib, status, [](Engine& engine) { engine.setHanningWinSpect(); });
}

KALO_API bool MathLibSetCallibrationLength(MathLib* math_lib, int32_t seconds, _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) { engine.setCallibrationLength(seconds); });
}

KALO_API bool MathLibSetSkipWinsAfterArtifact(MathLib* math_lib, int32_t windows, _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) { engine.setSkipWinsAfterArtifact(windows); });
}

KALO_API bool MathLibSetMentalEstimationMode(MathLib* math_lib, bool mode, _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) { engine.setMentalEstimationMode(mode); });
}

KALO_API bool MathLibSetPrioritySide(MathLib* math_lib, _SideType side, _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) { engine.setPrioritySide(side); });
}

KALO_API bool MathLibPushData(MathLib* math_lib, const _RawChannels* samples, size_t count, _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) { engine.pushData(samples, count); });
}

KALO_API bool MathLibPushDataArr(MathLib* math_lib, const _RawChannelsArray* samples, size_t count,
                                 _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) { engine.pushDataArr(samples, count); });
}

// A failed detector call met while processing one window is passed on as
// the detector reported it. The two direct entries below are documented to
// report standard exceptions (1002) and anything else as an unknown failure
// (1003); a detector's status is not a standard exception, so there it is
// reported as 1003.
KALO_API bool MathLibProcessDataArr(MathLib* math_lib, _OutStatus* status) {
    return call(math_lib, status, [](Engine& engine) { engine.processDataArr(); });
}

KALO_API bool MathLibProcessWindow(MathLib* math_lib, _OutStatus* status) {
    return engineCall(engineOf(math_lib), status, ThrownStatus::AsOtherException,
                      [](Engine& engine) { engine.processWindow(); });
}

KALO_API bool MathLibProcessData(MathLib* math_lib, _SideType side, _OutStatus* status) {
    return engineCall(engineOf(math_lib), status, ThrownStatus::AsOtherException,
                      [&](Engine& engine) { engine.processData(side); });
}

KALO_API bool MathLibStartCalibration(MathLib* math_lib, _OutStatus* status) {
    return call(math_lib, status, [](Engine& engine) { engine.startCalibration(); });
}

KALO_API bool MathLibCalibrationFinished(MathLib* math_lib, bool* finished, _OutStatus* status) {
    return read(math_lib, finished, status, [](Engine& engine, bool& out) { out = engine.isCalibrationFinished(); });
}

KALO_API bool MathLibGetCallibrationPercents(MathLib* math_lib, int32_t* percents, _OutStatus* status) {
    return read(math_lib, percents, status,
                [](Engine& engine, int32_t& out) { out = engine.getCallibrationPercents(); });
}

KALO_API bool MathLibIsArtifactedWin(MathLib* math_lib, _SideType side, bool flag, bool* artifacted,
                                     _OutStatus* status) {
    return read(math_lib, artifacted, status,
                [&](Engine& engine, bool& out) { out = engine.isArtifactedWin(side, flag); });
}

KALO_API bool MathLibIsArtifactedSequence(MathLib* math_lib, bool* sequence, _OutStatus* status) {
    return read(math_lib, sequence, status, [](Engine& engine, bool& out) { out = engine.isArtifactedSequence(); });
}

KALO_API bool MathLibIsBothSidesArtifacted(MathLib* math_lib, bool* both, _OutStatus* status) {
    return read(math_lib, both, status, [](Engine& engine, bool& out) { out = engine.isBothSidesArtifacted(); });
}

KALO_API bool MathLibReadAverageMentalData(MathLib* math_lib, int32_t count, _MindData* out, _OutStatus* status) {
    return read(math_lib, out, status,
                [&](Engine& engine, _MindData& mean) { engine.readAverageMentalData(count, mean); });
}

KALO_API bool MathLibReadSpectralDataPercentsArrSize(MathLib* math_lib, int32_t* size, _OutStatus* status) {
    return read(math_lib, size, status,
                [](Engine& engine, int32_t& out) { out = engine.spectralDataPercentsCount(); });
}

KALO_API bool MathLibReadSpectralDataPercentsArr(MathLib* math_lib, _SpectralDataPercents* out, int32_t* count,
                                                 _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) {
        int room = *requireNonNull(count, "count pointer is null");
        engine.readSpectralDataPercentsArr(out, room);
        *count = room;
    });
}

KALO_API bool MathLibReadMentalDataArrSize(MathLib* math_lib, int32_t* size, _OutStatus* status) {
    return read(math_lib, size, status, [](Engine& engine, int32_t& out) { out = engine.mentalDataCount(); });
}

KALO_API bool MathLibReadMentalDataArr(MathLib* math_lib, _MindData* out, int32_t* count, _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) {
        int room = *requireNonNull(count, "count pointer is null");
        engine.readMentalValsArr(out, room);
        *count = room;
    });
}

KALO_API bool MathLibReadRawSpectralVals(MathLib* math_lib, _RawSpectVals* out, _OutStatus* status) {
    return read(math_lib, out, status, [](Engine& engine, _RawSpectVals& values) { engine.readRawSpectVals(values); });
}

KALO_API bool MathLibSetZeroSpectWaves(MathLib* math_lib, bool active, int32_t delta, int32_t theta, int32_t alpha,
                                       int32_t beta, int32_t gamma, _OutStatus* status) {
    return call(math_lib, status,
                [&](Engine& engine) { engine.setZeroSpectWaves(active, _SpectralData{delta, theta, alpha, beta, gamma}); });
}

KALO_API bool MathLibSetWeightsForSpectra(MathLib* math_lib, double delta, double theta, double alpha, double beta,
                                          double gamma, _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) {
        engine.setWeightsForSpectra(_SpectralDataPercents{delta, theta, alpha, beta, gamma});
    });
}

KALO_API bool MathLibSetSpectNormalizationByBandsWidth(MathLib* math_lib, bool on, _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) { engine.setSpectNormalizationByBandsWidth(on); });
}

KALO_API bool MathLibSetSpectNormalizationByCoeffs(MathLib* math_lib, bool on, _OutStatus* status) {
    return call(math_lib, status, [&](Engine& engine) { engine.setSpectNormalizationByCoeffs(on); });
}

} // extern "C"
