// The detector's C interface. Each function only converts: the handle to the
// detector, the work's exceptions to the returned status.

#include <memory>

#include "artifacts/artifacts_math.h"
#include "artifacts/artifacts_setting.h"
#include "artifacts/detector_messages.h"
#include "kalo_artifacts/detector.h"
#include "shared/require.h"
#include "shared/status.h"
#include "shared/status_boundary.h"

namespace {

using OviMath::Artifacts::ArtifactsMath;
using OviMath::Types::_OutStatus;
namespace Status = OviMath::Status;

ArtifactsMath& detectorOf(_ArtifactsMath* handle) { return *reinterpret_cast<ArtifactsMath*>(handle); }

// A null handle is refused; everything the work throws becomes the status.
template <class Work>
_OutStatus detectorCall(_ArtifactsMath* handle, Work&& work) noexcept {
    if (handle == nullptr)
        return Status::refusalStatus(OviMath::Artifacts::Messages::artifactMathPointerIsNull);
    return Status::convertExceptions(Status::ThrownStatus::Copy, [&] { work(detectorOf(handle)); });
}

} // namespace

extern "C" {

KALO_API _ArtifactsMath* createArtifactsMath(int id, _ArtifactSetting settings, _OutStatus* status) {
    _OutStatus verdict = OviMath::Artifacts::Settings::checkSettingArtifactsSetting(&settings);
    _ArtifactsMath* handle = nullptr;
    if (verdict.success) {
        verdict = Status::convertExceptions(Status::ThrownStatus::Copy, [&] {
            handle = reinterpret_cast<_ArtifactsMath*>(std::make_unique<ArtifactsMath>(id, settings).release());
        });
    }
    if (status != nullptr)
        *status = verdict;
    return handle;
}

KALO_API _OutStatus freeArtifactsMath(_ArtifactsMath* detector) {
    return detectorCall(detector, [](ArtifactsMath& d) { delete &d; });
}

KALO_API _OutStatus ArtifactsMathInit(_ArtifactsMath* detector, int amplitude_threshold, int band_power_threshold,
                                      int bad_samples_percent, int quality_history_length) {
    return detectorCall(detector, [&](ArtifactsMath& d) {
        d.initArtifactDetect(amplitude_threshold, band_power_threshold, bad_samples_percent, quality_history_length);
    });
}

KALO_API _OutStatus ArtifactsMathInitFilters(_ArtifactsMath* detector, int mains_frequency, int resistance) {
    return detectorCall(detector, [&](ArtifactsMath& d) {
        d.initFilters(mains_frequency, static_cast<OviMath::Artifacts::Resistance>(resistance));
    });
}

KALO_API _OutStatus ArtifactsMathIsArtifactedWin(bool* artifacted, int* quality, _ArtifactsMath* detector,
                                                 double* samples, int count, bool unused) {
    return detectorCall(detector, [&](ArtifactsMath& d) {
        // Checked before the window is consumed, so a refused call changes nothing.
        OviMath::requireNonNull(artifacted, "verdict pointer is null");
        OviMath::requireNonNull(quality, "quality pointer is null");
        if (count > 0)
            OviMath::requireNonNull(samples, "sample array is null");
        int newQuality = 0;
        const bool verdict = d.isArtifactedWin(samples, count, unused, &newQuality);
        *artifacted = verdict;
        *quality = newQuality;
    });
}

KALO_API _OutStatus ArtifactsMathReadArtifactInfo(_ArtifactsMath* detector, _ArtifactInfo* info) {
    return detectorCall(detector,
                        [&](ArtifactsMath& d) { *OviMath::requireNonNull(info, "artifact record pointer is null") = d.currentArtifact(); });
}

KALO_API _OutStatus ArtifactsMathReadArtifactInfoArrSize(int* size, _ArtifactsMath* detector) {
    return detectorCall(detector, [&](ArtifactsMath& d) {
        *OviMath::requireNonNull(size, "size pointer is null") = static_cast<int>(d.artifactRecords().size());
    });
}

KALO_API _OutStatus ArtifactsMathReadArtifactInfoArr(_ArtifactsMath* detector, _ArtifactInfo* records, int* size) {
    return detectorCall(detector, [&](ArtifactsMath& d) {
        OviMath::requireNonNull(size, "size pointer is null");
        if (!d.artifactRecords().empty())
            OviMath::requireNonNull(records, "record array is null");
        *size = static_cast<int>(d.drainArtifactRecords(records));
    });
}

KALO_API _OutStatus ArtifactsMathSetHanningWinSpect(_ArtifactsMath* detector) {
    return detectorCall(detector, [](ArtifactsMath& d) { d.setHanningWinSpect(); });
}

KALO_API _OutStatus ArtifactsMathSetHammingWinSpect(_ArtifactsMath* detector) {
    return detectorCall(detector, [](ArtifactsMath& d) { d.setHammingWinSpect(); });
}

KALO_API _OutStatus ArtifactsMathSetArtifactDetectByTotalPower(_ArtifactsMath* detector, int total_power_threshold) {
    return detectorCall(detector, [&](ArtifactsMath& d) { d.setArtifactDetectByTotalPower(total_power_threshold); });
}

} // extern "C"

KALO_API _OutStatus ArtifactsMathClearData(_ArtifactsMath* detector) {
    return detectorCall(detector, [](ArtifactsMath& d) { d.clearData(); });
}
