/* A complete host of the host layer, in C: analyses a recording and prints
 * how many rows it published, the last row, and the summary.
 *
 *   host_analyze RECORDING [KEY=VALUE ...]
 *   host_analyze demo.edf
 *   host_analyze S001R01.edf left=O1 right=O2 calibrate_at=5
 *
 * Keys are the kalo program's options ("fft_window" for --fft-window). */
#include <stdio.h>
#include <string.h>

#include <kalo_host.h>

struct counts {
    long rows;
    kalo_row last;
};

static bool on_row(const kalo_row* row, void* user) {
    struct counts* counts = (struct counts*)user;
    ++counts->rows;
    counts->last = *row;
    counts->last.events = ""; /* the text lives only during the call */
    return true;
}

int main(int argc, char** argv) {
    kalo_host_status status;
    kalo_options* options;
    kalo_recording* recording;
    kalo_session* session;
    struct counts counts = {0};
    char* summary;
    int i;

    if (argc < 2) {
        fprintf(stderr, "usage: %s RECORDING [KEY=VALUE ...]\n", argv[0]);
        return 2;
    }
    options = kalo_options_create(KALO_HOST_STYLE_FLAGS, &status);
    for (i = 2; options != NULL && i < argc; ++i) {
        char key[128];
        const char* equals = strchr(argv[i], '=');
        size_t length = equals != NULL ? (size_t)(equals - argv[i]) : 0;
        if (equals == NULL || length >= sizeof key) {
            fprintf(stderr, "%s: expected KEY=VALUE\n", argv[i]);
            kalo_options_free(options);
            return 2;
        }
        memcpy(key, argv[i], length);
        key[length] = '\0';
        if (!kalo_options_set(options, key, equals + 1, &status)) {
            fprintf(stderr, "%s\n", status.message);
            kalo_options_free(options);
            return 2;
        }
    }
    recording = options != NULL ? kalo_recording_open(argv[1], options, &status) : NULL;
    session = recording != NULL ? kalo_analyze_recording(recording, options, on_row, NULL, &counts, &status) : NULL;
    if (session == NULL) {
        fprintf(stderr, "%s\n", status.message);
        kalo_recording_free(recording);
        kalo_options_free(options);
        return 2;
    }
    printf("%ld rows; the last at %.2f s: relaxation %.1f %%, attention %.1f %%\n", counts.rows,
           counts.last.time_s, counts.last.mind.inst_relaxation, counts.last.mind.inst_attention);
    summary = kalo_session_summary(session, false, &status);
    if (summary != NULL)
        fputs(summary, stdout);
    kalo_text_free(summary);
    kalo_session_free(session);
    kalo_recording_free(recording);
    kalo_options_free(options);
    return counts.rows > 0 ? 0 : 1;
}
