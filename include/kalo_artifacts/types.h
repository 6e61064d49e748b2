/* Records, settings, defaults and constants shared by the engine's C
 * interface, and the fixed coefficient texts of the engine's filters.
 *
 * Every record is a plain C record with natural alignment. Booleans are one
 * byte, integers signed 32-bit, real values IEEE doubles. Samples cross the
 * interface in volts; thresholds and spectra are in microvolts; band values
 * are fractions (0..1), mental levels and progress are percentages.
 *
 * In C++ the same declarations live in the namespace OviMath::Types and are
 * also brought to the global namespace, so C and C++ hosts spell them alike. */
#ifndef KALO_ARTIFACTS_TYPES_H
#define KALO_ARTIFACTS_TYPES_H

#include <stdbool.h>
#include <stdint.h>

#include "kalo_artifacts/export.h"

#ifdef __cplusplus
namespace OviMath {
namespace Types {
extern "C" {
#endif

/* In C++ the enumeration has a fixed 32-bit type, so any value a C host
 * passes is a valid value of it (the engine then refuses what it does not
 * know) rather than undefined behaviour. */
#ifdef __cplusplus
enum _SideType : int32_t { LEFT = 0, RIGHT = 1, NONE = 2 };
#else
typedef enum _SideType { LEFT = 0, RIGHT = 1, NONE = 2 } _SideType;
#endif

/* One bipolar sample pair, volts. */
typedef struct _RawChannels {
    double left;
    double right;
} _RawChannels;

/* One multichannel sample: channels_number values (volts), owned by the
 * caller; the engine copies them. */
typedef struct _RawChannelsArray {
    double* channels;
} _RawChannelsArray;

/* One mental-level estimate, percent. */
typedef struct _MindData {
    double rel_attention;
    double rel_relaxation;
    double inst_attention;
    double inst_relaxation;
} _MindData;

/* One value per EEG band: delta below 4 Hz (0 Hz excluded), theta 4-7, alpha
 * 7-14, beta 14-25, gamma 25-50 Hz. */
typedef struct _SpectralDataPercents {
    double delta;
    double theta;
    double alpha;
    double beta;
    double gamma;
} _SpectralDataPercents;

typedef struct _RawSpectVals {
    double alpha;
    double beta;
} _RawSpectVals;

/* Per-band integers (multipliers of the published spectra: 0 drops a band). */
typedef struct _SpectralData {
    int32_t delta;
    int32_t theta;
    int32_t alpha;
    int32_t beta;
    int32_t gamma;
} _SpectralData;

typedef struct _MathLibSetting {
    int32_t sampling_rate;       /* Hz */
    int32_t process_win_freq;    /* analysis windows per second, 5..25 */
    int32_t fft_window;          /* samples per window, sampling_rate..8*sampling_rate */
    int32_t n_first_sec_skipped; /* 4..6 */
    bool bipolar_mode;
    bool use_power_spectrum;
    int32_t channels_number;
    int32_t channel_for_analysis;
} _MathLibSetting;

typedef struct _ArtifactDetectSetting {
    int32_t amplitude_threshold; /* microvolts, 50..120 */
    int32_t bad_samples_percent; /* 20..70 */
    int32_t band_power_threshold; /* 600000 or more */
    int32_t total_power_threshold;
    int32_t artifact_sequence_sec; /* 4 or more */
    bool detect_by_total_power;
    bool use_hanning;
    bool use_hamming;
    int32_t quality_history_length; /* windows */
} _ArtifactDetectSetting;

typedef struct _ShortArtifactDetectSetting {
    int32_t peak_win_ms;
    int32_t peak_area_ms;
    int32_t peak_threshold; /* microvolts, 25..70 */
} _ShortArtifactDetectSetting;

typedef struct _MentalAndSpectralSetting {
    int32_t mental_estimation_sec;  /* 1..4 */
    int32_t spectral_averaging_sec; /* 1..4 */
} _MentalAndSpectralSetting;

/* How a call went. On success all 512 message bytes are zero. */
typedef struct _OutStatus {
    bool success;
    int32_t error_code; /* 0 success, 1 refused, 1002 standard exception, 1003 other */
    char error_msg[512];
} _OutStatus;

/* Defaults. MathLibSettingDefault has sampling_rate and fft_window at 0: a
 * host fills in at least those two before creating an engine. */
KALO_API extern const _MathLibSetting MathLibSettingDefault;
KALO_API extern const _ArtifactDetectSetting ArtifactDetectSettingDefault;
KALO_API extern const _ShortArtifactDetectSetting ShortArtifactDetectSettingDefault;
KALO_API extern const _MentalAndSpectralSetting MentalAndSpectralSettingDefault;

/* Capacities of the engine's buffers. */
KALO_API extern const int32_t BufferSize;
KALO_API extern const int32_t MentalValueArraySize;
KALO_API extern const int32_t AttEstBufferSize;
KALO_API extern const int32_t SpectralPercentsArraySize;

/* Coefficient texts of the engine's fixed filters, designed for 250 Hz. */
KALO_API extern const char* const K_bs_45_55_4;
KALO_API extern const char* const K_bs_55_65;
KALO_API extern const char* const K_bs_62;
KALO_API extern const char* const K_hp_4;
KALO_API extern const char* const K_hp_10_Cheb3;
KALO_API extern const char* const K_lp_30;

#ifdef __cplusplus
} /* extern "C" */
} /* namespace Types */
} /* namespace OviMath */

using OviMath::Types::_SideType;
using OviMath::Types::LEFT;
using OviMath::Types::RIGHT;
using OviMath::Types::NONE;
using OviMath::Types::_RawChannels;
using OviMath::Types::_RawChannelsArray;
using OviMath::Types::_MindData;
using OviMath::Types::_SpectralDataPercents;
using OviMath::Types::_RawSpectVals;
using OviMath::Types::_SpectralData;
using OviMath::Types::_MathLibSetting;
using OviMath::Types::_ArtifactDetectSetting;
using OviMath::Types::_ShortArtifactDetectSetting;
using OviMath::Types::_MentalAndSpectralSetting;
using OviMath::Types::_OutStatus;
using OviMath::Types::MathLibSettingDefault;
using OviMath::Types::ArtifactDetectSettingDefault;
using OviMath::Types::ShortArtifactDetectSettingDefault;
using OviMath::Types::MentalAndSpectralSettingDefault;
using OviMath::Types::BufferSize;
using OviMath::Types::MentalValueArraySize;
using OviMath::Types::AttEstBufferSize;
using OviMath::Types::SpectralPercentsArraySize;
using OviMath::Types::K_bs_45_55_4;
using OviMath::Types::K_bs_55_65;
using OviMath::Types::K_bs_62;
using OviMath::Types::K_hp_4;
using OviMath::Types::K_hp_10_Cheb3;
using OviMath::Types::K_lp_30;

/* The process-wide lock held for the whole of every engine C function. C++
 * hosts that also call the engine's internals may take it themselves. */
#include <mutex>
KALO_API extern std::mutex g_lock;
#endif

#endif
