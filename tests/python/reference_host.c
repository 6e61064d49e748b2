/* A plain C host of the library for the Python tests: it prints what the C
 * interface itself gives, so the tests can hold the binding's results against
 * it bit for bit.
 *
 *   reference_host layout
 *       one line "NAME VALUE" per record size and field offset, as this C
 *       compiler lays the public records out.
 *   reference_host detector RATE WINDOW STEP < samples
 *       samples in volts, one per line; judges the window of WINDOW samples
 *       starting at every multiple of STEP (default thresholds, the 50 Hz
 *       input chain, the Hann window) and prints per window
 *       "window ARTIFACTED QUALITY POSITION IS_START TYPE", then one line
 *       "record POSITION IS_START TYPE" per recorded start or end. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kalo_artifacts.h"
#include "record_layout.h"

static int fail(const char* what, _OutStatus status) {
    fprintf(stderr, "%s: %s (code %d)\n", what, status.error_msg, (int)status.error_code);
    return 1;
}

static int print_layout(void) {
    size_t count = 0;
    const KaloLayoutEntry* entries = kalo_c_record_layout(&count);
    for (size_t i = 0; i < count; ++i)
        printf("%s %zu\n", entries[i].name, entries[i].value);
    return 0;
}

static double* read_samples(size_t* count) {
    size_t capacity = 4096;
    double* samples = malloc(capacity * sizeof *samples);
    *count = 0;
    double value = 0.0;
    while (samples != NULL && scanf("%lf", &value) == 1) {
        if (*count == capacity) {
            capacity *= 2;
            double* larger = realloc(samples, capacity * sizeof *samples);
            if (larger == NULL) {
                free(samples);
                return NULL;
            }
            samples = larger;
        }
        samples[(*count)++] = value;
    }
    return samples;
}

static int run_detector(int rate, int window, int step) {
    size_t count = 0;
    double* samples = read_samples(&count);
    double* work = malloc((size_t)window * sizeof *work);
    if (samples == NULL || work == NULL || step < 1)
        return 1;
    _ArtifactSetting setting = {rate, 25, window};
    _OutStatus status;
    _ArtifactsMath* detector = createArtifactsMath(0, setting, &status);
    if (detector == NULL)
        return fail("createArtifactsMath", status);
    const _ArtifactDetectSetting d = ArtifactDetectSettingDefault;
    status = ArtifactsMathInit(detector, d.amplitude_threshold, d.band_power_threshold, d.bad_samples_percent,
                               d.quality_history_length);
    if (!status.success)
        return fail("ArtifactsMathInit", status);
    status = ArtifactsMathInitFilters(detector, 50, 0);
    if (!status.success)
        return fail("ArtifactsMathInitFilters", status);
    status = ArtifactsMathSetHanningWinSpect(detector);
    if (!status.success)
        return fail("ArtifactsMathSetHanningWinSpect", status);

    for (size_t first = 0; first + (size_t)window <= count; first += (size_t)step) {
        memcpy(work, samples + first, (size_t)window * sizeof *work); /* judged windows are filtered in place */
        bool artifacted = false;
        int quality = 0;
        _ArtifactInfo info;
        status = ArtifactsMathIsArtifactedWin(&artifacted, &quality, detector, work, window, false);
        if (!status.success)
            return fail("ArtifactsMathIsArtifactedWin", status);
        status = ArtifactsMathReadArtifactInfo(detector, &info);
        if (!status.success)
            return fail("ArtifactsMathReadArtifactInfo", status);
        printf("window %d %d %d %d %d\n", (int)artifacted, quality, (int)info.position, (int)info.is_start,
               (int)info.type);
    }
    int size = 0;
    status = ArtifactsMathReadArtifactInfoArrSize(&size, detector);
    if (!status.success)
        return fail("ArtifactsMathReadArtifactInfoArrSize", status);
    _ArtifactInfo* records = calloc((size_t)size + 1, sizeof *records);
    status = ArtifactsMathReadArtifactInfoArr(detector, records, &size);
    if (!status.success)
        return fail("ArtifactsMathReadArtifactInfoArr", status);
    for (int i = 0; i < size; ++i)
        printf("record %d %d %d\n", (int)records[i].position, (int)records[i].is_start, (int)records[i].type);
    freeArtifactsMath(detector);
    free(records);
    free(work);
    free(samples);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "layout") == 0)
        return print_layout();
    if (argc == 5 && strcmp(argv[1], "detector") == 0)
        return run_detector(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]));
    fprintf(stderr, "usage: %s layout | detector RATE WINDOW STEP < samples\n", argv[0]);
    return 2;
}
