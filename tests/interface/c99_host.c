/* A host written in plain C99: it includes every public header and uses the
 * library through its exported functions only. Built with -std=c99
 * -pedantic-errors so the headers cannot drift into C++. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "kalo_artifacts.h"
#include "kalo_host.h"

static int failures = 0;

#define CHECK(cond)                                                    \
    do {                                                               \
        if (!(cond)) {                                                 \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                \
        }                                                              \
    } while (0)

static void filters(void) {
    bool error = true;
    TFilterHandle* filter = create_custom_TFilter(K_lp_30, &error);
    CHECK(filter != NULL);
    CHECK(!error);

    /* The first output of an impulse is the text's gain. */
    double first = TFilter_Filter(filter, 1.0, &error);
    CHECK(!error);
    CHECK(first == 2.863530017091789e-02);

    double block[250];
    int i;
    for (i = 0; i < 250; ++i)
        block[i] = sin(2.0 * 3.141592653589793 * 10.0 * i / 250.0);
    TFilter_Filter_array(filter, block, 250, &error);
    CHECK(!error);

    TFilterListHandle* list = create_TFilterList(&error);
    CHECK(list != NULL && !error);
    TFilterList_AddFilter(list, filter, &error);
    CHECK(!error);
    delete_TFilter(filter, &error);
    CHECK(!error);
    /* The list holds its own copy, built afresh: its first output is K again. */
    CHECK(TFilterList_Filter(list, 1.0, &error) == 2.863530017091789e-02);
    CHECK(!error);
    delete_TFilterList(list, &error);
    CHECK(!error);

    /* A null handle fails without crashing. */
    CHECK(TFilter_Filter(NULL, 1.0, &error) == 0.0);
    CHECK(error);
}

static void detector(void) {
    _ArtifactSetting settings = {250, 25, 250};
    _OutStatus status;
    _ArtifactsMath* detector = createArtifactsMath(1, settings, &status);
    CHECK(detector != NULL);
    CHECK(status.success && status.error_code == 0);

    double window[250];
    int i;
    for (i = 0; i < 250; ++i)
        window[i] = 0.0; /* a flat line: every sample too small */
    bool artifacted = false;
    int quality = -1;
    status = ArtifactsMathIsArtifactedWin(&artifacted, &quality, detector, window, 250, false);
    CHECK(status.success);
    CHECK(artifacted);

    _ArtifactInfo info;
    status = ArtifactsMathReadArtifactInfo(detector, &info);
    CHECK(status.success);
    CHECK(info.position == 10 && info.is_start && info.type == 1);

    int size = 0;
    status = ArtifactsMathReadArtifactInfoArrSize(&size, detector);
    CHECK(status.success && size == 1);
    _ArtifactInfo records[1];
    status = ArtifactsMathReadArtifactInfoArr(detector, records, &size);
    CHECK(status.success && size == 1 && records[0].type == 1);

    status = freeArtifactsMath(detector);
    CHECK(status.success);
    status = freeArtifactsMath(NULL);
    CHECK(!status.success && status.error_code == 1);
    CHECK(strcmp(status.error_msg, "ArtifactMAthLib pointer is null!") == 0);
}

/* The preinstalled catalogue: every listed record must give a filter. */
static void catalogue(void) {
    bool error = true;
    int count = 0;
    get_preinstalled_filter_count(&count, &error);
    CHECK(!error);
    CHECK(count == 151);
    if (count != 151)
        return;

    _FilterParam list[152];
    list[151].sampling_rate = -1;
    get_preinstalled_filter_list(list, &error);
    CHECK(!error);
    CHECK(list[151].sampling_rate == -1);
    CHECK(list[0].filter_type == BP && list[0].sampling_rate == 500 && list[0].frequency == 11.0);
    CHECK(list[150].filter_type == LP && list[150].sampling_rate == 250 && list[150].frequency == 9.0);

    int i;
    int created = 0;
    for (i = 0; i < count; ++i) {
        error = true;
        TFilterHandle* filter = create_TFilter_by_param(list[i], &error);
        CHECK(filter != NULL);
        CHECK(!error);
        if (filter == NULL)
            continue;
        ++created;
        /* The first output of an impulse is the gain: finite and non-zero. */
        double first = TFilter_Filter(filter, 1.0, &error);
        CHECK(!error && isfinite(first) && first != 0.0);
        delete_TFilter(filter, &error);
        CHECK(!error);
    }
    CHECK(created == 151);

    _FilterParam missing = {LP, 250, 31.5};
    error = false;
    CHECK(create_TFilter_by_param(missing, &error) == NULL);
    CHECK(error);
    get_preinstalled_filter_count(NULL, &error);
    CHECK(error);
    error = false;
    get_preinstalled_filter_list(NULL, &error);
    CHECK(error);
}

/* The engine as a C host drives it: defaults with the rate and window filled
 * in, a few seconds of a 10 Hz rhythm on both sides, then both queues drained
 * the way the header describes (ask the size, provide that many, read). */
static void emotionalEngine(void) {
    _MathLibSetting settings = MathLibSettingDefault;
    settings.sampling_rate = 250;
    settings.fft_window = 500;
    settings.bipolar_mode = true;
    _OutStatus status;
    MathLib* engine = createMathLib(settings, ArtifactDetectSettingDefault, ShortArtifactDetectSettingDefault,
                                    MentalAndSpectralSettingDefault, &status);
    CHECK(engine != NULL && status.success && status.error_code == 0);
    if (engine == NULL)
        return;

    static _RawChannels samples[250 * 8];
    int i;
    for (i = 0; i < 250 * 8; ++i) {
        samples[i].left = 20e-6 * sin(2.0 * 3.141592653589793 * 10.0 * i / 250.0);
        samples[i].right = 0.5 * samples[i].left;
    }
    for (i = 0; i < 250 * 8; i += 10) {
        CHECK(MathLibPushData(engine, samples + i, 10, &status) && status.error_code == 0);
        CHECK(MathLibProcessDataArr(engine, &status));
    }
    /* One window per 10 samples from the 501st on: 150 windows, each adding
     * one record to each queue (which keep up to 200 and 150). */
    int32_t size = -1;
    CHECK(MathLibReadSpectralDataPercentsArrSize(engine, &size, &status) && size == 150);
    static _SpectralDataPercents bands[200];
    int32_t count = size;
    CHECK(MathLibReadSpectralDataPercentsArr(engine, bands, &count, &status) && count == 150);
    /* Alpha stands out; delta stays 0 until a calibration has completed. */
    CHECK(bands[149].alpha > 4.0 * (bands[149].theta + bands[149].beta) && bands[149].delta == 0.0);
    CHECK(MathLibReadMentalDataArrSize(engine, &size, &status) && size == 150);
    static _MindData levels[150];
    count = size;
    CHECK(MathLibReadMentalDataArr(engine, levels, &count, &status) && count == 150);
    CHECK(levels[149].inst_relaxation > 90.0 && levels[149].rel_relaxation == 0.0);
    CHECK(MathLibReadMentalDataArrSize(engine, &size, &status) && size == 0); /* drained */

    /* Refusals come back as code 1 with a message. */
    CHECK(!MathLibPushData(engine, samples, 0, &status) && status.error_code == 1);
    CHECK(strcmp(status.error_msg, "Count data is empty") == 0);
    CHECK(!MathLibSetPrioritySide(NULL, LEFT, &status) && status.error_code == 1);
    CHECK(freeMathLib(engine, &status) && status.success);
}

/* The host layer's block entry: 12 s of a bipolar pair pushed at once come
 * back as one row per window step once the first window is full, with the
 * summary. */
static void hostLayer(void) {
    enum { rate = 250, seconds = 12 };
    static double frames[2 * rate * seconds];
    const char* names[2] = {"L", "R"};
    kalo_host_status status;
    kalo_options* options = kalo_options_create(KALO_HOST_STYLE_FLAGS, &status);
    kalo_session* session;
    kalo_row rows[400];
    size_t count = 0;
    char* summary;
    int i;
    CHECK(options != NULL && status.code == KALO_HOST_OK);
    CHECK(!kalo_options_set(options, "priority", "up", &status) && status.code == KALO_HOST_INVALID_ARGUMENT);
    for (i = 0; i < rate * seconds; ++i) {
        frames[2 * i] = 2e-5 * sin(2.0 * 3.141592653589793 * 10.0 * i / rate);
        frames[2 * i + 1] = 1e-5 * cos(0.3 * i);
    }
    session = kalo_session_open(options, "c99", rate, 2, names, &status);
    CHECK(session != NULL);
    CHECK(kalo_session_push(session, frames, rate * seconds, &status));
    CHECK(kalo_session_finish(session, &status));
    CHECK(kalo_session_read_rows(session, rows, 400, &count, &status));
    CHECK(count == 250); /* one a window step (10 samples) from the first full 2 s window on */
    CHECK(rows[count - 1].time_s == 12.0 && strcmp(rows[count - 1].events, "") == 0);
    summary = kalo_session_summary(session, false, &status);
    CHECK(summary != NULL && strstr(summary, "c99: 12.0 s at 250 Hz") == summary);
    kalo_text_free(summary);
    kalo_session_free(session);
    kalo_options_free(options);
}

int main(void) {
    filters();
    detector();
    catalogue();
    emotionalEngine();
    hostLayer();
    if (failures == 0)
        printf("C99 host: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
