/* The emotional-state engine: push EEG samples, let it process every
 * complete analysis window, read attention, relaxation and band shares.
 *
 * A typical host:
 *
 *     _MathLibSetting settings = MathLibSettingDefault;
 *     settings.sampling_rate = 250;
 *     settings.fft_window = 500;
 *     settings.bipolar_mode = true;
 *     _OutStatus status;
 *     MathLib* engine = createMathLib(settings, ArtifactDetectSettingDefault,
 *         ShortArtifactDetectSettingDefault, MentalAndSpectralSettingDefault, &status);
 *     ...
 *     MathLibPushData(engine, pairs, count, &status);   (volts)
 *     MathLibProcessDataArr(engine, &status);
 *     MathLibReadMentalDataArrSize(engine, &size, &status);
 *     MathLibReadMentalDataArr(engine, levels, &size, &status);
 *     ...
 *     freeMathLib(engine, &status);
 *
 * Every function fills the caller's status record (a null status pointer is
 * accepted: nothing is written there) and returns the success flag;
 * createMathLib returns the new handle or NULL. Codes: 0 success; 1 refused
 * (null handle, empty or unusable samples, wrong mode, an argument out of
 * range, settings that failed validation), with a message; 1002 a failure
 * inside, with its description, or a null result pointer (named in the
 * message; the call does nothing); 1003 "Invalid error!". A refused call
 * changes nothing and writes none of its result pointers.
 *
 * All functions of this family, across all engines of the process, hold one
 * process-wide lock for their whole duration: they may be called from any
 * thread, and never overlap. */
#ifndef KALO_ARTIFACTS_ENGINE_H
#define KALO_ARTIFACTS_ENGINE_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "kalo_artifacts/export.h"
#include "kalo_artifacts/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque engine handle. */
typedef struct MathLib MathLib;

/* Validates the four records and builds an engine; NULL on failure. */
KALO_API MathLib* createMathLib(_MathLibSetting math_lib, _ArtifactDetectSetting artifact_detect,
                                _ShortArtifactDetectSetting short_artifact_detect,
                                _MentalAndSpectralSetting mental_and_spectral, _OutStatus* status);
/* Releases the engine; the handle is invalid afterwards. */
KALO_API bool freeMathLib(MathLib* math_lib, _OutStatus* status);

/* Window function applied before the spectra (Hamming wins once both were set). */
KALO_API bool MathLibSetHammingWinSpect(MathLib* math_lib, _OutStatus* status);
KALO_API bool MathLibSetHanningWinSpect(MathLib* math_lib, _OutStatus* status);
/* Length of a calibration, seconds (1 or more). */
KALO_API bool MathLibSetCallibrationLength(MathLib* math_lib, int32_t seconds, _OutStatus* status);
/* Clean windows that repeat the previous records after an artifact (0 or more). */
KALO_API bool MathLibSetSkipWinsAfterArtifact(MathLib* math_lib, int32_t windows, _OutStatus* status);
/* false: instantaneous levels are the beta and alpha shares; true: 1 - alpha/beta
 * and alpha / (2 theta + beta). */
KALO_API bool MathLibSetMentalEstimationMode(MathLib* math_lib, bool mode, _OutStatus* status);
/* The side analysed first in bipolar mode; NONE: stay on a side while it is clean. */
KALO_API bool MathLibSetPrioritySide(MathLib* math_lib, _SideType side, _OutStatus* status);

/* Samples in volts. PushData for bipolar engines, PushDataArr (each element
 * pointing to channels_number values) for multichannel ones. A block holding a
 * sample that is not a finite number within +-1e100 V is refused whole. */
KALO_API bool MathLibPushData(MathLib* math_lib, const _RawChannels* samples, size_t count, _OutStatus* status);
KALO_API bool MathLibPushDataArr(MathLib* math_lib, const _RawChannelsArray* samples, size_t count,
                                 _OutStatus* status);
/* Processes every window the pushed samples complete. */
KALO_API bool MathLibProcessDataArr(MathLib* math_lib, _OutStatus* status);
/* Re-processes the most recently scheduled window (bipolar procedure), or
 * runs the spectral step of one side on it; the schedule does not move. */
KALO_API bool MathLibProcessWindow(MathLib* math_lib, _OutStatus* status);
KALO_API bool MathLibProcessData(MathLib* math_lib, _SideType side, _OutStatus* status);

/* Calibration over the next clean windows (8 seconds unless set otherwise). */
KALO_API bool MathLibStartCalibration(MathLib* math_lib, _OutStatus* status);
KALO_API bool MathLibCalibrationFinished(MathLib* math_lib, bool* finished, _OutStatus* status);
KALO_API bool MathLibGetCallibrationPercents(MathLib* math_lib, int32_t* percents, _OutStatus* status);

/* Asks a side's detector about the most recently scheduled window (true
 * before the first window). `flag` has no effect. */
KALO_API bool MathLibIsArtifactedWin(MathLib* math_lib, _SideType side, bool flag, bool* artifacted,
                                     _OutStatus* status);
/* The artifacted run has lasted longer than artifact_sequence_sec. */
KALO_API bool MathLibIsArtifactedSequence(MathLib* math_lib, bool* sequence, _OutStatus* status);
/* The last window was artifacted on every side or channel. */
KALO_API bool MathLibIsBothSidesArtifacted(MathLib* math_lib, bool* both, _OutStatus* status);

/* Mean of the `count` newest published mental records (the last window's
 * record when count is 0, negative or more than are held). */
KALO_API bool MathLibReadAverageMentalData(MathLib* math_lib, int32_t count, _MindData* out, _OutStatus* status);
/* Published queues. Ask for the size, provide that many records, read: a
 * read empties the queue; *count is the room in `out` on entry and the number
 * written on return. */
KALO_API bool MathLibReadSpectralDataPercentsArrSize(MathLib* math_lib, int32_t* size, _OutStatus* status);
KALO_API bool MathLibReadSpectralDataPercentsArr(MathLib* math_lib, _SpectralDataPercents* out, int32_t* count,
                                                 _OutStatus* status);
KALO_API bool MathLibReadMentalDataArrSize(MathLib* math_lib, int32_t* size, _OutStatus* status);
KALO_API bool MathLibReadMentalDataArr(MathLib* math_lib, _MindData* out, int32_t* count, _OutStatus* status);
/* Averaged alpha and beta values before their division by the total. */
KALO_API bool MathLibReadRawSpectralVals(MathLib* math_lib, _RawSpectVals* out, _OutStatus* status);

/* Per-band integer weights (0 or more) applied to the spectra when they are
 * read, rescaled to add up to 1: (0, 0, 1, 1, 0) keeps only alpha and beta. */
KALO_API bool MathLibSetZeroSpectWaves(MathLib* math_lib, bool active, int32_t delta, int32_t theta, int32_t alpha,
                                       int32_t beta, int32_t gamma, _OutStatus* status);
/* Band divisors used while normalisation by coefficients is on and by band
 * width is off: finite numbers of at least 1e-12. */
KALO_API bool MathLibSetWeightsForSpectra(MathLib* math_lib, double delta, double theta, double alpha, double beta,
                                          double gamma, _OutStatus* status);
KALO_API bool MathLibSetSpectNormalizationByBandsWidth(MathLib* math_lib, bool on, _OutStatus* status);
KALO_API bool MathLibSetSpectNormalizationByCoeffs(MathLib* math_lib, bool on, _OutStatus* status);

#ifdef __cplusplus
}
#endif

#endif
