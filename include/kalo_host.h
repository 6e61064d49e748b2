/* libkalo_host: what every program around the engine needs, once.
 *
 * Recordings of any format the layer reads (channel names, rate, units,
 * samples in volts read in blocks, events, gaps), the one driver that runs the
 * engine over samples (one window step per push, both queues drained after
 * each), and the summary of a run. Programs, the Python package and live
 * hosts all drive the engine through it, so they publish the same rows.
 *
 * Conventions: every function that can fail fills a kalo_host_status and
 * returns false or null on failure; a null status pointer is allowed (the
 * report is then lost). A refused call changes nothing. Null handles and null
 * pointers are refused with KALO_HOST_INVALID_ARGUMENT. Texts returned as
 * char* are the caller's and are released with kalo_text_free.
 *
 * Options are set by key, with the program's flags as keys ("fft_window" for
 * --fft-window, "left", "channels", "events", "calibrate_at", ...);
 * kalo_options_keys lists them. Values are texts, as on a command line.
 */
#ifndef KALO_HOST_H
#define KALO_HOST_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "kalo_artifacts.h"

#if defined(KALO_HOST_BUILDING_LIBRARY)
#define KALO_HOST_API __attribute__((visibility("default")))
#else
#define KALO_HOST_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes. */
#define KALO_HOST_OK 0
#define KALO_HOST_INVALID_ARGUMENT 1 /* a null pointer, an unknown option or a value it does not take */
#define KALO_HOST_BAD_RECORDING 2    /* a file that cannot be read, or holds what cannot be analysed */
#define KALO_HOST_ENGINE_REFUSED 3   /* the engine refused settings or samples; its message is passed on */
#define KALO_HOST_STOPPED 4          /* a callback returned false */
#define KALO_HOST_INTERNAL 5         /* anything else (out of memory, ...) */

typedef struct kalo_host_status {
    int32_t code;       /* KALO_HOST_OK on success */
    char message[1024]; /* one line naming the file, option or value; empty on success */
} kalo_host_status;

/* How messages name options: as the program's flags ("--fft-window") or as
 * keywords ("fft_window="). */
#define KALO_HOST_STYLE_FLAGS 0
#define KALO_HOST_STYLE_KEYWORDS 1

typedef struct kalo_options kalo_options;
typedef struct kalo_recording kalo_recording;
typedef struct kalo_session kalo_session;

/* One published record with the facts of the moment it was published. */
typedef struct kalo_row {
    double time_s;         /* samples pushed when published / rate: the end of its analysis window */
    _MindData mind;        /* percent */
    _SpectralDataPercents bands;
    _RawSpectVals raw;
    int32_t calibration_percent;
    bool both_sides_artifacted;
    bool artifacted_sequence;
    bool calibration_finished;
    double window_start_s; /* the first sample of its analysis window */
    const char* events;    /* descriptions of the events under the window joined by ";", "" when none;
                              valid until the next call on the session, or during the callback */
} kalo_row;

/* Returns true to go on, false to stop the run (KALO_HOST_STOPPED). */
typedef bool (*kalo_row_callback)(const kalo_row* row, void* user);
typedef bool (*kalo_progress_callback)(double fraction, void* user);

KALO_HOST_API const char* kalo_host_version(void);
KALO_HOST_API void kalo_text_free(char* text);

/* Options. */
KALO_HOST_API kalo_options* kalo_options_create(int32_t style, kalo_host_status* status);
/* "events" may be set several times (each adds a file); other keys replace. */
KALO_HOST_API bool kalo_options_set(kalo_options* options, const char* key, const char* value,
                                    kalo_host_status* status);
KALO_HOST_API void kalo_options_free(kalo_options* options);
/* JSON array of {key, group, value, help, default}. */
KALO_HOST_API char* kalo_options_keys(kalo_host_status* status);

/* Recordings, with the reader chosen by content and extension; the options
 * give the rate and units where the file does not. */
KALO_HOST_API kalo_recording* kalo_recording_open(const char* path, const kalo_options* options,
                                                  kalo_host_status* status);
/* JSON: format, duration_s, channels [{name, unit, rate_hz, samples, eeg, problem}], events, gaps, notes. */
KALO_HOST_API char* kalo_recording_describe(const kalo_recording* recording, kalo_host_status* status);
/* `count` samples of each listed channel from sample `first`, in volts, frame after frame
 * (out[i * channel_count + c]); out holds count * channel_count values. */
KALO_HOST_API bool kalo_recording_read(kalo_recording* recording, const int32_t* channels, size_t channel_count,
                                       int64_t first, int64_t count, double* out, kalo_host_status* status);
KALO_HOST_API void kalo_recording_free(kalo_recording* recording);

/* The whole recording, with the options' channels, settings and events
 * files. Rows go to on_row when given, else they wait in the returned
 * session for kalo_session_read_rows. The session is finished: its summary
 * can be read. */
KALO_HOST_API kalo_session* kalo_analyze_recording(kalo_recording* recording, const kalo_options* options,
                                                   kalo_row_callback on_row, kalo_progress_callback on_progress,
                                                   void* user, kalo_host_status* status);

/* The block entry: samples from the caller (arrays, a stream), frames of
 * channel_count values named by `names`, of which the options choose the
 * channels as for a recording. Rows wait in the session for
 * kalo_session_read_rows unless a callback is set. */
KALO_HOST_API kalo_session* kalo_session_open(const kalo_options* options, const char* source, int32_t rate_hz,
                                              size_t channel_count, const char* const* names,
                                              kalo_host_status* status);
KALO_HOST_API bool kalo_session_set_row_callback(kalo_session* session, kalo_row_callback on_row, void* user,
                                                 kalo_host_status* status);
/* Before the first push. */
KALO_HOST_API bool kalo_session_add_event(kalo_session* session, double onset_s, double duration_s,
                                          const char* description, kalo_host_status* status);
/* Any number of frames; each complete window step is pushed to the engine at once. */
KALO_HOST_API bool kalo_session_push(kalo_session* session, const double* frames, size_t frame_count,
                                     kalo_host_status* status);
/* Starts a calibration at the next window step ("calibrate now"), whatever
 * calibrate_at said; a calibration that runs starts anew. */
KALO_HOST_API bool kalo_session_start_calibration(kalo_session* session, kalo_host_status* status);
/* Pushes the last, shorter step; nothing can be pushed afterwards. */
KALO_HOST_API bool kalo_session_finish(kalo_session* session, kalo_host_status* status);
KALO_HOST_API bool kalo_session_row_count(const kalo_session* session, size_t* count, kalo_host_status* status);
/* Moves up to `capacity` waiting rows, oldest first, into `rows`; `count` says how many. */
KALO_HOST_API bool kalo_session_read_rows(kalo_session* session, kalo_row* rows, size_t capacity, size_t* count,
                                          kalo_host_status* status);
/* The summary of a finished session: text as the program prints it, or JSON. */
KALO_HOST_API char* kalo_session_summary(const kalo_session* session, bool as_json, kalo_host_status* status);
KALO_HOST_API void kalo_session_free(kalo_session* session);

#ifdef __cplusplus
}
#endif

#endif
