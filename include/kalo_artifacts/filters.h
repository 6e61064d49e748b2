/* IIR filters, filter lists and the preinstalled filter catalogue.
 *
 * Error convention of this family: every function takes a pointer to a
 * one-byte error flag as its last argument. The flag is cleared on entry and
 * set when the call failed; a failed call returns 0, 0.0 or NULL. A null flag
 * pointer is accepted (nothing is written to it). A null handle, a null text,
 * or a null sample array with a positive count is a failed call, never a
 * crash.
 *
 * Filters are described by a coefficient text: a gain line "K = <value>"
 * followed by "Term N:" sections, each a numerator and a denominator line of
 * comma-separated coefficients. The library keeps its own copy of every text
 * it is given, so the caller's text need not outlive the call.
 *
 * None of these functions takes a lock: a handle (and a list together with
 * the filters in it) must be used by one thread at a time. */
#ifndef KALO_ARTIFACTS_FILTERS_H
#define KALO_ARTIFACTS_FILTERS_H

#include <stdbool.h>
#include <stdint.h>

#include "kalo_artifacts/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handles. */
typedef struct TFilterHandle TFilterHandle;
typedef struct TFilterListHandle TFilterListHandle;

/* Kind of a catalogue filter, stored in one byte. */
#ifdef __cplusplus
enum _FilterType : uint8_t { HP = 0, LP = 1, BS = 2, BP = 3 };
#else
typedef uint8_t _FilterType;
enum { HP = 0, LP = 1, BS = 2, BP = 3 };
#endif

/* Names one catalogue filter: kind, sampling rate (Hz) and cut-off or centre
 * frequency (Hz). */
typedef struct _FilterParam {
    _FilterType filter_type;
    int32_t sampling_rate;
    double frequency;
} _FilterParam;

/* Filter lists: every sample passes through the list's filters in the order
 * they were added. A list holds its own copies of the filters added to it. */
KALO_API TFilterListHandle* create_TFilterList(bool* error_flag);
KALO_API void TFilterList_AddFilter(TFilterListHandle* list, TFilterHandle* filter, bool* error_flag);
KALO_API double TFilterList_Filter(TFilterListHandle* list, double sample, bool* error_flag);
KALO_API void TFilterList_Filter_array(TFilterListHandle* list, double* samples, int count, bool* error_flag);
KALO_API void TFilterList_Reset(TFilterListHandle* list, bool* error_flag);
KALO_API void TFilter_List_ClearFilters(TFilterListHandle* list, bool* error_flag);
/* Removes the list's filter with this identity (the last one when several
 * share it); nothing happens when none has it. */
KALO_API void TFilterList_Delete_TFilter(TFilterListHandle* list, int id, bool* error_flag);
/* A null handle is not an error here: nothing happens and the flag reads 0. */
KALO_API void delete_TFilterList(TFilterListHandle* list, bool* error_flag);

/* Single filters. */
KALO_API TFilterHandle* create_custom_TFilter(const char* text, bool* error_flag);
KALO_API double TFilter_Filter(TFilterHandle* filter, double sample, bool* error_flag);
KALO_API void TFilter_Filter_array(TFilterHandle* filter, double* samples, int count, bool* error_flag);
KALO_API void TFilter_Reset(TFilterHandle* filter, bool* error_flag);
/* Removes every section and sets the gain to 1: the filter passes samples
 * through unchanged until it is given new coefficients. */
KALO_API void TFilter_ClearParams(TFilterHandle* filter, bool* error_flag);
/* Replaces gain and sections; the text is read during the call only. The
 * filter's creation text (used when it is copied into a list) is unchanged. */
KALO_API void TFilter_SetParams(TFilterHandle* filter, const char* text, bool* error_flag);
/* The filter's identity, 1000..9999 (not unique); 0 on error. */
KALO_API int getID_TFilter(TFilterHandle* filter, bool* error_flag);
/* A null handle is not an error here: nothing happens and the flag reads 0. */
KALO_API void delete_TFilter(TFilterHandle* filter, bool* error_flag);

/* The preinstalled catalogue. */
KALO_API TFilterHandle* create_TFilter_by_param(_FilterParam param, bool* error_flag);
KALO_API void get_preinstalled_filter_count(int* count, bool* error_flag);
/* Writes one record per catalogue entry; `list` must have room for the count
 * reported by get_preinstalled_filter_count. */
KALO_API void get_preinstalled_filter_list(_FilterParam* list, bool* error_flag);

#ifdef __cplusplus
}
#endif

#endif
