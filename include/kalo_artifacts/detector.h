/* The artifact detector: judges one window of EEG samples at a time
 * (amplitude, total-power and band-power tests), keeps a signal-quality
 * percentage and records where artifacts begin and end.
 *
 * Every function returns a status record by value (createArtifactsMath fills
 * one through its pointer and returns the handle). A null handle gives code 1
 * and "ArtifactMAthLib pointer is null!"; a failure inside gives code 1002
 * (standard exception, its text) or 1003 ("Invalid error!"). No lock is
 * taken: one detector must be used by one thread at a time; separate
 * detectors are independent. */
#ifndef KALO_ARTIFACTS_DETECTOR_H
#define KALO_ARTIFACTS_DETECTOR_H

#include <stdbool.h>
#include <stdint.h>

#include "kalo_artifacts/export.h"
#include "kalo_artifacts/types.h"

#ifdef __cplusplus
namespace OviMath {
namespace Artifacts {
namespace Types {
extern "C" {
#endif

/* Geometry of the windows a detector judges. Valid when the sampling rate is
 * 50 Hz or more, 5 <= process_win_freq <= 25, and sampling_rate <=
 * fft_window <= 8 x sampling_rate with fft_window at most 131072. */
typedef struct _ArtifactSetting {
    int32_t sampling_rate;    /* Hz */
    int32_t process_win_freq; /* windows per second */
    int32_t fft_window;       /* samples per window */
} _ArtifactSetting;

/* Where an artifact began or ended. */
typedef struct _ArtifactInfo {
    int32_t position; /* the detector's sample position; -1: no artifact in progress */
    bool is_start;    /* true: began here; false: ended here */
    int32_t type;     /* 0 none, 1 amplitude, 2 spectral */
} _ArtifactInfo;

#ifdef __cplusplus
} /* extern "C" */
} /* namespace Types */
} /* namespace Artifacts */
} /* namespace OviMath */
using OviMath::Artifacts::Types::_ArtifactInfo;
using OviMath::Artifacts::Types::_ArtifactSetting;
extern "C" {
#endif

typedef struct _ArtifactsMath _ArtifactsMath;

KALO_API _ArtifactsMath* createArtifactsMath(int id, _ArtifactSetting settings, _OutStatus* status);
KALO_API _OutStatus freeArtifactsMath(_ArtifactsMath* detector);

/* Amplitude threshold in microvolts; band-power threshold; percentage of bad
 * samples above which a window is artifacted; windows the quality averages. */
KALO_API _OutStatus ArtifactsMathInit(_ArtifactsMath* detector, int amplitude_threshold, int band_power_threshold,
                                      int bad_samples_percent, int quality_history_length);
/* Builds an input chain (designed for 250 Hz): a 50 or 60 Hz band-stop for
 * that mains frequency, a 62.5 Hz band-stop when resistance is 1, then a
 * 10 Hz high-pass and a 30 Hz low-pass. Windows are then filtered in place. */
KALO_API _OutStatus ArtifactsMathInitFilters(_ArtifactsMath* detector, int mains_frequency, int resistance);
/* Judges `count` samples (volts). *artifacted receives the verdict, *quality
 * the signal quality in percent after this window. The last argument has no
 * effect. */
KALO_API _OutStatus ArtifactsMathIsArtifactedWin(bool* artifacted, int* quality, _ArtifactsMath* detector,
                                                 double* samples, int count, bool unused);
KALO_API _OutStatus ArtifactsMathReadArtifactInfo(_ArtifactsMath* detector, _ArtifactInfo* info);
KALO_API _OutStatus ArtifactsMathReadArtifactInfoArrSize(int* size, _ArtifactsMath* detector);
/* Copies the recorded starts and ends, oldest first, into `records` (room for
 * the size read just before), writes their number to *size, then empties the
 * record list. */
KALO_API _OutStatus ArtifactsMathReadArtifactInfoArr(_ArtifactsMath* detector, _ArtifactInfo* records, int* size);
KALO_API _OutStatus ArtifactsMathSetHanningWinSpect(_ArtifactsMath* detector);
KALO_API _OutStatus ArtifactsMathSetHammingWinSpect(_ArtifactsMath* detector);
KALO_API _OutStatus ArtifactsMathSetArtifactDetectByTotalPower(_ArtifactsMath* detector, int total_power_threshold);

#ifdef __cplusplus
} /* extern "C" */

/* Empties the record list. Exported for C++ callers only (under its C++
 * symbol). */
KALO_API _OutStatus ArtifactsMathClearData(_ArtifactsMath* detector);
#endif

#endif
