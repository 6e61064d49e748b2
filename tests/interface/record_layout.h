/* Sizes and field offsets of the public records, as a C compiler lays them
 * out. The C++ test compares them with C++'s view and with the pinned ABI. */
#ifndef KALO_TEST_RECORD_LAYOUT_H
#define KALO_TEST_RECORD_LAYOUT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct KaloLayoutEntry {
    const char* name;
    size_t value;
} KaloLayoutEntry;

/* Generates one entry per record size and per field offset. */
#define KALO_RECORD_LAYOUT(SIZE, OFFSET)                                                                   \
    SIZE(_SideType)                                                                                        \
    SIZE(_RawChannels) OFFSET(_RawChannels, left) OFFSET(_RawChannels, right)                              \
    SIZE(_RawChannelsArray) OFFSET(_RawChannelsArray, channels)                                            \
    SIZE(_MindData) OFFSET(_MindData, rel_attention) OFFSET(_MindData, rel_relaxation)                     \
    OFFSET(_MindData, inst_attention) OFFSET(_MindData, inst_relaxation)                                   \
    SIZE(_SpectralDataPercents) OFFSET(_SpectralDataPercents, delta) OFFSET(_SpectralDataPercents, theta)  \
    OFFSET(_SpectralDataPercents, alpha) OFFSET(_SpectralDataPercents, beta)                               \
    OFFSET(_SpectralDataPercents, gamma)                                                                   \
    SIZE(_RawSpectVals) OFFSET(_RawSpectVals, alpha) OFFSET(_RawSpectVals, beta)                           \
    SIZE(_SpectralData) OFFSET(_SpectralData, delta) OFFSET(_SpectralData, theta)                          \
    OFFSET(_SpectralData, alpha) OFFSET(_SpectralData, beta) OFFSET(_SpectralData, gamma)                  \
    SIZE(_MathLibSetting) OFFSET(_MathLibSetting, sampling_rate) OFFSET(_MathLibSetting, process_win_freq)  \
    OFFSET(_MathLibSetting, fft_window) OFFSET(_MathLibSetting, n_first_sec_skipped)                       \
    OFFSET(_MathLibSetting, bipolar_mode) OFFSET(_MathLibSetting, use_power_spectrum)                      \
    OFFSET(_MathLibSetting, channels_number) OFFSET(_MathLibSetting, channel_for_analysis)                 \
    SIZE(_ArtifactDetectSetting) OFFSET(_ArtifactDetectSetting, amplitude_threshold)                       \
    OFFSET(_ArtifactDetectSetting, bad_samples_percent) OFFSET(_ArtifactDetectSetting, band_power_threshold) \
    OFFSET(_ArtifactDetectSetting, total_power_threshold)                                                  \
    OFFSET(_ArtifactDetectSetting, artifact_sequence_sec)                                                  \
    OFFSET(_ArtifactDetectSetting, detect_by_total_power) OFFSET(_ArtifactDetectSetting, use_hanning)      \
    OFFSET(_ArtifactDetectSetting, use_hamming) OFFSET(_ArtifactDetectSetting, quality_history_length)     \
    SIZE(_ShortArtifactDetectSetting) OFFSET(_ShortArtifactDetectSetting, peak_win_ms)                     \
    OFFSET(_ShortArtifactDetectSetting, peak_area_ms) OFFSET(_ShortArtifactDetectSetting, peak_threshold)  \
    SIZE(_MentalAndSpectralSetting) OFFSET(_MentalAndSpectralSetting, mental_estimation_sec)               \
    OFFSET(_MentalAndSpectralSetting, spectral_averaging_sec)                                              \
    SIZE(_OutStatus) OFFSET(_OutStatus, success) OFFSET(_OutStatus, error_code) OFFSET(_OutStatus, error_msg) \
    SIZE(_FilterParam) OFFSET(_FilterParam, filter_type) OFFSET(_FilterParam, sampling_rate)               \
    OFFSET(_FilterParam, frequency)                                                                        \
    SIZE(_ArtifactSetting) OFFSET(_ArtifactSetting, sampling_rate) OFFSET(_ArtifactSetting, process_win_freq) \
    OFFSET(_ArtifactSetting, fft_window)                                                                   \
    SIZE(_ArtifactInfo) OFFSET(_ArtifactInfo, position) OFFSET(_ArtifactInfo, is_start) OFFSET(_ArtifactInfo, type)

/* The layout as the C compiler sees it (record_layout.c). */
const KaloLayoutEntry* kalo_c_record_layout(size_t* count);

#ifdef __cplusplus
}
#endif

#endif
